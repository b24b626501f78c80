// SPDX-License-Identifier: MIT
// Every selector table of every print builder, at and around its boundaries:
// INT_MIN, -1, 0, each listed value, the first unlisted value and INT_MAX. Each
// row is one call; the mapped byte is read at its offset in the recorded write.
#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "capture.h"

using namespace quorvel::testing;

namespace {

struct Row {
    int argument;
    int byte;
};
using Rows = std::vector<Row>;

struct Mapping {
    std::string name;
    std::function<int(int)> call;  // the builder with the argument under test
    std::size_t offset;            // where the mapped byte lands in each write
    Rows rows;
};

void PrintTo(const Mapping& c, std::ostream* out) {
    *out << c.name;
}

class SelectorMapping : public RecordingLinkWithParam<Mapping> {};

TEST_P(SelectorMapping, MapsEveryRow) {
    const auto& m = GetParam();
    for (const auto& row : m.rows) {
        SCOPED_TRACE("argument " + std::to_string(row.argument));
        Capture c = capture([&] { return m.call(row.argument); });
        EXPECT_EQ(c.result, 1);
        ASSERT_FALSE(c.writes.empty());
        for (const auto& write : c.writes) {
            ASSERT_GT(write.size(), m.offset);
            EXPECT_EQ(write[m.offset], row.byte);
        }
    }
}

const Rows justification = {{INT_MIN, 2}, {-1, 2}, {0, 0}, {1, 1}, {2, 2}, {INT_MAX, 2}};
const Rows line_spacing = {{INT_MIN, 0x15}, {-1, 0x15}, {0, 0x20}, {1, 0x28}, {2, 0x30},
                           {3, 0x35},       {4, 0x40},  {5, 0x45}, {6, 0x15}, {INT_MAX, 0x15}};
const Rows zero_or_one = {{INT_MIN, 1}, {-1, 1}, {0, 0}, {1, 1}, {2, 1}, {INT_MAX, 1}};
const Rows feed_low_byte = {{INT_MIN, 0x00}, {-1, 0xFF},  {0, 0x00},   {1, 0x01},      {3, 0x03},
                            {255, 0xFF},     {256, 0x00}, {258, 0x02}, {INT_MAX, 0xFF}};
const Rows print_mode = {{INT_MIN, 0x80}, {-1, 0x80}, {0, 0x80}, {1, 0x01}, {2, 0x02},
                         {3, 0x08},       {4, 0x10},  {5, 0x30}, {6, 0x80}, {INT_MAX, 0x80}};
const Rows bar_height = {{INT_MIN, 0x50}, {-1, 0x50}, {0, 0x20},
                         {1, 0x32},       {2, 0x50},  {INT_MAX, 0x50}};
const Rows module_width = {{INT_MIN, 3}, {-1, 3}, {0, 3}, {1, 1}, {2, 2}, {3, 3}, {INT_MAX, 3}};
const Rows hri_position = {{INT_MIN, 3}, {-1, 3}, {0, 0}, {1, 1}, {2, 2}, {3, 3}, {INT_MAX, 3}};
const Rows nul_form_symbology = {{INT_MIN, 6}, {-1, 6}, {0, 0}, {1, 1}, {2, 2},      {3, 3},
                                 {4, 4},       {5, 5},  {6, 6}, {7, 6}, {INT_MAX, 6}};
const Rows counted_form_symbology = {
    {INT_MIN, 0x4A}, {-1, 0x4A}, {0, 0x41}, {1, 0x42}, {2, 0x43}, {3, 0x44},      {4, 0x45},
    {5, 0x46},       {6, 0x47},  {7, 0x48}, {8, 0x49}, {9, 0x4A}, {INT_MAX, 0x4A}};
const Rows one_to_six_else_seven = {{INT_MIN, 7}, {-1, 7}, {0, 7}, {1, 1}, {2, 2},      {3, 3},
                                    {4, 4},       {5, 5},  {6, 6}, {7, 7}, {INT_MAX, 7}};
const Rows qr_escz_model = {{INT_MIN, 0}, {-1, 0}, {0, 0},      {1, 0x31},
                            {2, 0x32},    {3, 0},  {INT_MAX, 0}};
const Rows qr_escz_ecc = {{INT_MIN, 0x48}, {-1, 0x48}, {0, 0x4C},      {1, 0x4D},
                          {2, 0x51},       {3, 0x48},  {INT_MAX, 0x48}};
const Rows pdf417_columns = [] {
    Rows rows = {{INT_MIN, 0x1E}, {-1, 0x1E}, {0, 0x1E}};
    for (int c = 1; c <= 29; ++c) rows.push_back({c, c});
    rows.insert(rows.end(), {{30, 0x1E}, {31, 0x1E}, {INT_MAX, 0x1E}});
    return rows;
}();
const Rows pdf417_p3 = {{INT_MIN, 6}, {-1, 6}, {0, 6}, {1, 1}, {2, 2},
                        {3, 3},       {4, 4},  {5, 5}, {6, 6}, {INT_MAX, 6}};
const Rows pdf417_ecc = {{INT_MIN, 8}, {-1, 8}, {0, 0}, {1, 1}, {2, 2}, {3, 3},      {4, 4},
                         {5, 5},       {6, 6},  {7, 7}, {8, 8}, {9, 8}, {INT_MAX, 8}};
const Rows datamatrix_p1 = {{INT_MIN, 4}, {-1, 4}, {0, 0}, {1, 1},
                            {2, 2},       {3, 3},  {4, 4}, {INT_MAX, 4}};
const Rows datamatrix_p2 = {{INT_MIN, 0x0B}, {-1, 0x0B}, {0, 0x00}, {1, 0x08},
                            {2, 0x09},       {3, 0x0A},  {4, 0x0B}, {INT_MAX, 0x0B}};
const Rows gs_k_model = {{INT_MIN, 0x32}, {-1, 0x32}, {0, 0x32},      {1, 0x31},
                         {2, 0x32},       {3, 0x32},  {INT_MAX, 0x32}};
const Rows gs_k_ecc = {{INT_MIN, 0x33}, {-1, 0x33}, {0, 0x30},      {1, 0x31},
                       {2, 0x32},       {3, 0x33},  {INT_MAX, 0x33}};
Rows any_type(int type) {
    return {{INT_MIN, type}, {-1, type}, {0, type}, {INT_MAX, type}};
}

const std::string code_list = consecutive_list(10, 22);

int two_symbols(int justification, int height, int width) {
    std::string codes = code_list;
    return ImprimeCode128_C(codes.data(), justification, height, width);
}

int one_symbol(int justification, int height) {
    std::string codes = code_list;
    return ImprimeCode128C(codes.data(), justification, height);
}

std::vector<Mapping> mappings() {
    // Offsets in the command layouts: justification at 4 everywhere;
    // text: spacing 7, bold 13, font 16 (ImprimeTextoInvertido: font 13),
    // mode 13; barcodes: width 7, height 10, HRI 13, symbology 16; ESC Z:
    // type 7, P1 10, P2 11, P3 12; GS ( k: model 12, size 21, ecc 29.
    return {
        {"Texto_justification", [](int v) { return ImprimeTexto("T", v, 0, 0, 0); }, 4,
         justification},
        {"TextoLF_justification", [](int v) { return ImprimeTextoLF("T", v, 0, 0, 0, 1); }, 4,
         justification},
        {"Texto180_justification", [](int v) { return ImprimeTexto180("T", v, 0, 0, 0); }, 4,
         justification},
        {"TextoInvertido_justification", [](int v) { return ImprimeTextoInvertido("T", v, 0, 0); },
         4, justification},
        {"TxFormatado_justification", [](int v) { return ImprimeTxFormatado("T", v, 0, 1); }, 4,
         justification},
        {"CodigoBarras_justification",
         [](int v) { return ImprimeCodigoBarras(v, 0, 0, 1, 0, "1"); }, 4, justification},
        {"CodigoBarras_C_justification",
         [](int v) { return ImprimeCodigoBarras_C(v, 0, 0, 1, 0, "1"); }, 4, justification},
        {"Code128_C_justification", [](int v) { return two_symbols(v, 0, 2); }, 4, justification},
        {"Code128C_justification", [](int v) { return one_symbol(v, 0); }, 4, justification},
        {"PDF417_justification", [](int v) { return ImprimePDF417_M2(v, 1, 1, 1, "D"); }, 4,
         justification},
        {"DataMatrix_justification", [](int v) { return ImprimeDataMatrix_M2(v, 1, 1, 1, "D"); }, 4,
         justification},
        {"QRCODE_M2_justification", [](int v) { return ImprimeQRCODE_M2(v, 2, 4, 1, "D"); }, 4,
         justification},
        {"QRCODE_M1_justification", [](int v) { return ImprimeQRCODE_M1(v, 2, 4, 1, "D"); }, 4,
         justification},

        {"Texto_spacing", [](int v) { return ImprimeTexto("T", 0, 0, v, 0); }, 7, line_spacing},
        {"TextoLF_spacing", [](int v) { return ImprimeTextoLF("T", 0, 0, v, 0, 1); }, 7,
         line_spacing},
        {"Texto180_spacing", [](int v) { return ImprimeTexto180("T", 0, 0, v, 0); }, 7,
         line_spacing},
        {"TextoInvertido_spacing", [](int v) { return ImprimeTextoInvertido("T", 0, 0, v); }, 7,
         line_spacing},
        {"TxFormatado_spacing", [](int v) { return ImprimeTxFormatado("T", 0, v, 1); }, 7,
         line_spacing},

        {"Texto_bold", [](int v) { return ImprimeTexto("T", 0, 0, 0, v); }, 13, zero_or_one},
        {"TextoLF_bold", [](int v) { return ImprimeTextoLF("T", 0, 0, 0, v, 1); }, 13, zero_or_one},
        {"Texto180_bold", [](int v) { return ImprimeTexto180("T", 0, 0, 0, v); }, 13, zero_or_one},
        {"Texto_font", [](int v) { return ImprimeTexto("T", 0, v, 0, 0); }, 16, zero_or_one},
        {"TextoLF_font", [](int v) { return ImprimeTextoLF("T", 0, v, 0, 0, 1); }, 16, zero_or_one},
        {"Texto180_font", [](int v) { return ImprimeTexto180("T", 0, v, 0, 0); }, 16, zero_or_one},
        {"TextoInvertido_font", [](int v) { return ImprimeTextoInvertido("T", 0, v, 0); }, 13,
         zero_or_one},
        {"TextoLF_feed", [](int v) { return ImprimeTextoLF("", 0, 0, 0, 0, v); }, 19,
         feed_low_byte},
        {"TxFormatado_mode", [](int v) { return ImprimeTxFormatado("T", 0, 0, v); }, 13,
         print_mode},

        {"CodigoBarras_height", [](int v) { return ImprimeCodigoBarras(0, 0, v, 1, 0, "1"); }, 10,
         bar_height},
        {"CodigoBarras_C_height", [](int v) { return ImprimeCodigoBarras_C(0, 0, v, 1, 0, "1"); },
         10, bar_height},
        {"Code128_C_height", [](int v) { return two_symbols(0, v, 2); }, 10, bar_height},
        {"Code128C_height", [](int v) { return one_symbol(0, v); }, 10, bar_height},
        {"CodigoBarras_width", [](int v) { return ImprimeCodigoBarras(0, 0, 0, v, 0, "1"); }, 7,
         module_width},
        {"CodigoBarras_C_width", [](int v) { return ImprimeCodigoBarras_C(0, 0, 0, v, 0, "1"); }, 7,
         module_width},
        {"Code128_C_width", [](int v) { return two_symbols(0, 0, v); }, 7, module_width},
        {"Code128C_width_fixed",
         [](int v) { return one_symbol(v, v); },
         7,
         {{INT_MIN, 2}, {-1, 2}, {0, 2}, {1, 2}, {3, 2}, {INT_MAX, 2}}},
        {"CodigoBarras_hri", [](int v) { return ImprimeCodigoBarras(0, 0, 0, 1, v, "1"); }, 13,
         hri_position},
        {"CodigoBarras_C_hri", [](int v) { return ImprimeCodigoBarras_C(0, 0, 0, 1, v, "1"); }, 13,
         hri_position},
        {"Code128_C_hri_fixed", [](int v) { return two_symbols(v, v, v); }, 13, any_type(0)},
        {"CodigoBarras_symbology", [](int v) { return ImprimeCodigoBarras(0, v, 0, 1, 0, "1"); },
         16, nul_form_symbology},
        {"CodigoBarras_C_symbology",
         [](int v) { return ImprimeCodigoBarras_C(0, v, 0, 1, 0, "1"); }, 16,
         counted_form_symbology},

        {"QRCODE_M2_model_P1", [](int v) { return ImprimeQRCODE_M2(0, v, 4, 1, "D"); }, 10,
         qr_escz_model},
        {"QRCODE_M2_ecc_P2", [](int v) { return ImprimeQRCODE_M2(0, 2, 4, v, "D"); }, 11,
         qr_escz_ecc},
        {"QRCODE_M2_size_P3", [](int v) { return ImprimeQRCODE_M2(0, 2, v, 1, "D"); }, 12,
         one_to_six_else_seven},
        {"QRCODE_M2_type", [](int v) { return ImprimeQRCODE_M2(0, v, v, v, "D"); }, 7, any_type(2)},
        {"PDF417_columns_P1", [](int v) { return ImprimePDF417_M2(0, v, 1, 1, "D"); }, 10,
         pdf417_columns},
        {"PDF417_ecc_P2", [](int v) { return ImprimePDF417_M2(0, 1, 1, v, "D"); }, 11, pdf417_ecc},
        {"PDF417_p3_P3", [](int v) { return ImprimePDF417_M2(0, 1, v, 1, "D"); }, 12, pdf417_p3},
        {"PDF417_type", [](int v) { return ImprimePDF417_M2(0, v, v, v, "D"); }, 7, any_type(0)},
        {"DataMatrix_P1", [](int v) { return ImprimeDataMatrix_M2(0, v, 1, 1, "D"); }, 10,
         datamatrix_p1},
        {"DataMatrix_P2", [](int v) { return ImprimeDataMatrix_M2(0, 1, v, 1, "D"); }, 11,
         datamatrix_p2},
        {"DataMatrix_P3", [](int v) { return ImprimeDataMatrix_M2(0, 1, 1, v, "D"); }, 12,
         one_to_six_else_seven},
        {"DataMatrix_type", [](int v) { return ImprimeDataMatrix_M2(0, v, v, v, "D"); }, 7,
         any_type(1)},

        {"QRCODE_M1_model", [](int v) { return ImprimeQRCODE_M1(0, v, 4, 1, "D"); }, 12,
         gs_k_model},
        {"QRCODE_M1_size", [](int v) { return ImprimeQRCODE_M1(0, 2, v, 1, "D"); }, 21,
         one_to_six_else_seven},
        {"QRCODE_M1_ecc", [](int v) { return ImprimeQRCODE_M1(0, 2, 4, v, "D"); }, 29, gs_k_ecc},
    };
}

INSTANTIATE_TEST_SUITE_P(Tables, SelectorMapping, ::testing::ValuesIn(mappings()),
                         [](const auto& info) { return info.param.name; });

}  // namespace

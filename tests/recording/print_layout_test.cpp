// SPDX-License-Identifier: MIT
// How each builder lays its data into the command: one write per command, the
// data verbatim at its offset, the closing bytes, the length fields, and the
// Code 128 code bytes taken from decimal lists.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "capture.h"

using namespace quorvel::testing;

namespace {

// n bytes cycling through 01..FF: control bytes and bytes of 80 hex and above.
std::string cycling_bytes(std::size_t n) {
    std::string out(n, '\0');
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<char>(1 + i % 255);
    return out;
}

struct Shape {
    const char* name;
    std::function<int(const char*)> call;
    std::size_t data_offset;
    Bytes tail;  // everything after the data
    std::size_t capacity;
};

void PrintTo(const Shape& c, std::ostream* out) {
    *out << c.name;
}

class CommandShape : public RecordingLinkWithParam<Shape> {};

TEST_P(CommandShape, OneWriteWithDataVerbatimThenTail) {
    const auto& s = GetParam();
    for (std::size_t length :
         {std::size_t{0}, std::size_t{1}, std::min<std::size_t>(255, s.capacity), s.capacity}) {
        SCOPED_TRACE("data length " + std::to_string(length));
        const std::string data = cycling_bytes(length);
        Capture c = capture([&] { return s.call(data.c_str()); });
        EXPECT_EQ(c.result, 1);
        ASSERT_EQ(c.writes.size(), 1u);
        const Bytes& w = c.writes[0];
        ASSERT_EQ(w.size(), s.data_offset + length + s.tail.size());
        EXPECT_EQ(Bytes(w.begin() + static_cast<long>(s.data_offset),
                        w.begin() + static_cast<long>(s.data_offset + length)),
                  bytes_of(data));
        EXPECT_EQ(hex(Bytes(w.end() - static_cast<long>(s.tail.size()), w.end())), hex(s.tail));
    }
}

const Bytes gs_k_print_tail = {0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x51, 0x30, 0x00, 0x00, 0x0A};

INSTANTIATE_TEST_SUITE_P(
    Builders, CommandShape,
    ::testing::Values(
        Shape{"Texto", [](const char* t) { return ImprimeTexto(t, 1, 1, 1, 1); }, 17, {0x0A}, 8174},
        Shape{"TextoLF",
              [](const char* t) { return ImprimeTextoLF(t, 1, 1, 1, 1, 260); },
              17,
              {0x1B, 0x64, 0x04},
              8172},
        Shape{"Texto180",
              [](const char* t) { return ImprimeTexto180(t, 1, 1, 1, 1); },
              20,
              {0x0A},
              8171},
        Shape{"TextoInvertido",
              [](const char* t) { return ImprimeTextoInvertido(t, 1, 1, 1); },
              17,
              {0x0A},
              8174},
        Shape{"TxFormatado",
              [](const char* t) { return ImprimeTxFormatado(t, 1, 1, 3); },
              14,
              {0x0A},
              8177},
        Shape{"CodigoBarras",
              [](const char* d) { return ImprimeCodigoBarras(1, 4, 1, 2, 2, d); },
              17,
              {0x00, 0x0A},
              91},
        Shape{"CodigoBarras_C",
              [](const char* d) { return ImprimeCodigoBarras_C(1, 4, 1, 2, 2, d); },
              18,
              {0x0A},
              93},
        Shape{"PDF417_M2",
              [](const char* d) { return ImprimePDF417_M2(1, 5, 2, 3, d); },
              15,
              {},
              4335},
        Shape{"DataMatrix_M2",
              [](const char* d) { return ImprimeDataMatrix_M2(1, 1, 2, 3, d); },
              15,
              {},
              4335},
        Shape{"QRCODE_M2",
              [](const char* d) { return ImprimeQRCODE_M2(1, 1, 3, 2, d); },
              15,
              {},
              4335},
        Shape{"QRCODE_M1", [](const char* d) { return ImprimeQRCODE_M1(1, 1, 3, 2, d); }, 38,
              gs_k_print_tail, 4295}),
    [](const auto& info) { return std::string(info.param.name); });

// Length fields that follow the data length: nL nH of ESC Z, pL pH of the
// GS ( k store function (data length + 3), the counted GS k length byte.
struct LengthField {
    const char* name;
    std::function<int(const char*)> call;
    std::size_t data_length;
    std::size_t offset;
    Bytes expected;
};

void PrintTo(const LengthField& c, std::ostream* out) {
    *out << c.name;
}

class DataLengthField : public RecordingLinkWithParam<LengthField> {};

TEST_P(DataLengthField, CarriesTheDataLength) {
    const auto& f = GetParam();
    const std::string data(f.data_length, 'Q');
    Capture c = capture([&] { return f.call(data.c_str()); });
    ASSERT_EQ(c.result, 1);
    ASSERT_EQ(c.writes.size(), 1u);
    const Bytes& w = c.writes[0];
    ASSERT_GE(w.size(), f.offset + f.expected.size());
    EXPECT_EQ(hex(Bytes(w.begin() + static_cast<long>(f.offset),
                        w.begin() + static_cast<long>(f.offset + f.expected.size()))),
              hex(f.expected));
}

int pdf417(const char* d) {
    return ImprimePDF417_M2(0, 1, 1, 1, d);
}
int datamatrix(const char* d) {
    return ImprimeDataMatrix_M2(0, 1, 1, 1, d);
}
int qr_escz(const char* d) {
    return ImprimeQRCODE_M2(0, 2, 4, 1, d);
}
int qr_gs_k(const char* d) {
    return ImprimeQRCODE_M1(0, 2, 4, 1, d);
}
int counted_barcode(const char* d) {
    return ImprimeCodigoBarras_C(0, 8, 0, 1, 0, d);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, DataLengthField,
    ::testing::Values(LengthField{"PDF417_0", pdf417, 0, 13, {0x00, 0x00}},
                      LengthField{"PDF417_255", pdf417, 255, 13, {0xFF, 0x00}},
                      LengthField{"PDF417_256", pdf417, 256, 13, {0x00, 0x01}},
                      LengthField{"PDF417_300", pdf417, 300, 13, {0x2C, 0x01}},
                      LengthField{"PDF417_4335", pdf417, 4335, 13, {0xEF, 0x10}},
                      LengthField{"DataMatrix_300", datamatrix, 300, 13, {0x2C, 0x01}},
                      LengthField{"DataMatrix_4335", datamatrix, 4335, 13, {0xEF, 0x10}},
                      LengthField{"QRCODE_M2_300", qr_escz, 300, 13, {0x2C, 0x01}},
                      LengthField{"QRCODE_M2_4335", qr_escz, 4335, 13, {0xEF, 0x10}},
                      LengthField{"QRCODE_M1_0", qr_gs_k, 0, 33, {0x03, 0x00}},
                      LengthField{"QRCODE_M1_252", qr_gs_k, 252, 33, {0xFF, 0x00}},
                      LengthField{"QRCODE_M1_253", qr_gs_k, 253, 33, {0x00, 0x01}},
                      LengthField{"QRCODE_M1_4295", qr_gs_k, 4295, 33, {0xCA, 0x10}},
                      LengthField{"CodigoBarras_C_0", counted_barcode, 0, 17, {0x00}},
                      LengthField{"CodigoBarras_C_5", counted_barcode, 5, 17, {0x05}},
                      LengthField{"CodigoBarras_C_93", counted_barcode, 93, 17, {0x5D}}),
    [](const auto& info) { return std::string(info.param.name); });

// Code 128 from decimal lists: the first 22 items give the code bytes (their
// low bytes); the one-symbol form sends them after "{C", the two-symbol form
// 11 after each "{B{C".
struct CodeList {
    const char* name;
    std::string codes;
    Bytes code_bytes;  // empty: the list is refused
};

void PrintTo(const CodeList& c, std::ostream* out) {
    *out << c.name;
}

class Code128List : public RecordingLinkWithParam<CodeList> {};

TEST_P(Code128List, OneSymbolCarriesAll22CodeBytes) {
    const auto& l = GetParam();
    std::string codes = l.codes;
    Capture c = capture([&] { return ImprimeCode128C(codes.data(), 0, 0); });
    if (l.code_bytes.empty()) {
        EXPECT_EQ(c.result, 0);
        EXPECT_TRUE(c.writes.empty());
        return;
    }
    EXPECT_EQ(c.result, 1);
    ASSERT_EQ(c.writes.size(), 1u);
    const Bytes& w = c.writes[0];
    ASSERT_EQ(w.size(), 44u);
    EXPECT_EQ(hex(Bytes(w.begin() + 14, w.begin() + 20)), "1D 6B 49 18 7B 43");
    EXPECT_EQ(hex(Bytes(w.begin() + 20, w.begin() + 42)), hex(l.code_bytes));
    EXPECT_EQ(hex(Bytes(w.begin() + 42, w.end())), "0D 0A");
}

TEST_P(Code128List, TwoSymbolsCarry11CodeBytesEach) {
    const auto& l = GetParam();
    std::string codes = l.codes;
    Capture c = capture([&] { return ImprimeCode128_C(codes.data(), 0, 0, 2); });
    if (l.code_bytes.empty()) {
        EXPECT_EQ(c.result, 0);
        EXPECT_TRUE(c.writes.empty());
        return;
    }
    EXPECT_EQ(c.result, 1);
    ASSERT_EQ(c.writes.size(), 2u);
    for (std::size_t half = 0; half < 2; ++half) {
        const Bytes& w = c.writes[half];
        ASSERT_EQ(w.size(), 35u);
        EXPECT_EQ(hex(Bytes(w.begin() + 14, w.begin() + 22)), "1D 6B 49 0F 7B 42 7B 43");
        const auto first = l.code_bytes.begin() + static_cast<long>(11 * half);
        EXPECT_EQ(hex(Bytes(w.begin() + 22, w.begin() + 33)), hex(Bytes(first, first + 11)));
        EXPECT_EQ(hex(Bytes(w.begin() + 33, w.end())), "0D 0A");
    }
}

Bytes counting(int first, int count) {
    Bytes out;
    for (int i = 0; i < count; ++i) out.push_back(static_cast<std::uint8_t>(first + i));
    return out;
}

std::string with_tail(const std::string& head, const std::string& item, int count) {
    std::string out = head;
    for (int i = 0; i < count; ++i) out += "," + item;
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Lists, Code128List,
    ::testing::Values(
        CodeList{"exactly_22", consecutive_list(0, 22), counting(0, 22)},
        CodeList{"low_bytes", "100,256,-1,355,-256," + consecutive_list(5, 17),
                 concat_bytes({{0x64, 0x00, 0xFF, 0x63, 0x00}, counting(5, 17)})},
        CodeList{"stray_commas",
                 ",," + consecutive_list(60, 11) + ",,," + consecutive_list(71, 11) + ",",
                 counting(60, 22)},
        CodeList{"read_as_percent_d", " 1,+2,3x,0x1B," + consecutive_list(5, 18),
                 concat_bytes({{1, 2, 3, 0}, counting(5, 18)})},
        CodeList{"items_after_22nd_not_sent", with_tail(consecutive_list(30, 22), "99", 75),
                 counting(30, 22)},
        CodeList{"bad_23rd_item_ignored", consecutive_list(30, 22) + ",x", counting(30, 22)},
        CodeList{"beyond_97_items", with_tail(consecutive_list(30, 22), "x", 200),
                 counting(30, 22)},
        CodeList{"empty", "", {}}, CodeList{"21_items", consecutive_list(0, 21), {}},
        CodeList{"first_not_a_number", "x," + consecutive_list(1, 21), {}},
        CodeList{
            "12th_not_a_number", consecutive_list(0, 11) + ",?," + consecutive_list(12, 10), {}},
        CodeList{"22nd_not_a_number", consecutive_list(0, 21) + ",+", {}},
        CodeList{"commas_only", ",,,,", {}}),
    [](const auto& info) { return std::string(info.param.name); });

// The caller's list is split as far as the 97-item code area holds, refused or
// not: the comma after each of those items becomes a NUL, later commas stay.
struct Marking {
    const char* name;
    std::string codes;
    long commas_left;
};

void PrintTo(const Marking& c, std::ostream* out) {
    *out << c.name;
}

class Code128Marking : public RecordingLinkWithParam<Marking> {};

TEST_P(Code128Marking, SplitsAsFarAsTheCodeAreaHolds) {
    const auto& m = GetParam();
    const std::string joined = [&] {
        std::string s = m.codes;
        std::replace(s.begin(), s.end(), ',', '\0');
        return s;
    }();
    for (int form = 0; form < 2; ++form) {
        std::string codes = m.codes;
        if (form == 0)
            ImprimeCode128C(codes.data(), 0, 0);
        else
            ImprimeCode128_C(codes.data(), 0, 0, 2);
        EXPECT_EQ(std::count(codes.begin(), codes.end(), ','), m.commas_left) << "form " << form;
        // Only commas change, each to a NUL.
        std::string commas_as_nul = codes;
        std::replace(commas_as_nul.begin(), commas_as_nul.end(), ',', '\0');
        EXPECT_EQ(commas_as_nul, joined);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, Code128Marking,
    ::testing::Values(Marking{"22_items", consecutive_list(0, 22), 0},
                      Marking{"97_items", consecutive_list(0, 97), 0},
                      Marking{"100_items", consecutive_list(0, 100), 2},
                      Marking{"refused_short", consecutive_list(0, 5), 0},
                      Marking{"refused_bad_first", "x," + consecutive_list(0, 40), 0},
                      Marking{"refused_bad_first_long", "x," + consecutive_list(0, 120), 23}),
    [](const auto& info) { return std::string(info.param.name); });

// A raw command list goes out in one write.
TEST_F(RecordingLink, RawCommandIsOneWrite) {
    std::string list = consecutive_list(1, 200);
    Capture c = capture([&] { return ComandoTx(list.data()); });
    EXPECT_EQ(c.result, 1);
    ASSERT_EQ(c.writes.size(), 1u);
    EXPECT_EQ(c.writes[0].size(), 203u);
}

}  // namespace

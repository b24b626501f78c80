// SPDX-License-Identifier: MIT
// Print commands as a printer on a real loopback connection receives them:
// whole commands byte for byte, the capacity edges, and refusals that
// must leave the printer untouched. Portable: the same file runs against the
// Windows build.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <functional>
#include <string>

#include "fake_printer.h"
#include "quorvel.h"

using namespace quorvel::testing;

namespace {

// "1B 40 0A" -> {0x1B, 0x40, 0x0A}
Bytes from_hex(const std::string& text) {
    Bytes out;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        out.push_back(
            static_cast<std::uint8_t>(std::strtoul(text.substr(i, 2).c_str(), nullptr, 16)));
        i += 2;
    }
    return out;
}

// Sent after the call under test so the bytes seen up to it are exactly what
// that call sent: nothing is missing, nothing extra.
const Bytes cut_command = {0x1D, 0x56, 0x00};

Bytes received_through_cut(FakePrinter& printer, std::size_t expected_before) {
    EXPECT_EQ(AcionaGuilhotina(), 1);
    return printer.wait_for_bytes(expected_before + cut_command.size());
}

// Data of n bytes cycling through 01..FF: every control byte and every byte of
// 80 hex and above, never a NUL.
std::string cycling_bytes(std::size_t n) {
    std::string out(n, '\0');
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<char>(1 + i % 255);
    return out;
}

std::string list_of(int first, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        if (i) out += ',';
        out += std::to_string(first + i);
    }
    return out;
}

struct Example {
    const char* name;
    std::function<int()> call;
    std::string expected_hex;
};

void PrintTo(const Example& c, std::ostream* out) {
    *out << c.name;
}

class ExactCommand : public ::testing::TestWithParam<Example> {};

TEST_P(ExactCommand, ArrivesByteForByte) {
    FakePrinter printer;
    ASSERT_EQ(AbreSocket(printer.address().c_str(), 0), 1);
    const Bytes expected = from_hex(GetParam().expected_hex);
    EXPECT_EQ(GetParam().call(), 1);
    Bytes all = expected;
    all.insert(all.end(), cut_command.begin(), cut_command.end());
    EXPECT_EQ(hex(received_through_cut(printer, expected.size())), hex(all));
}

const std::string ten_to_31 = list_of(10, 22);

INSTANTIATE_TEST_SUITE_P(
    StyledText, ExactCommand,
    ::testing::Values(
        Example{"Texto_AB", [] { return ImprimeTexto("AB", 1, 0, 5, 1); },
                "1B 40 1B 61 01 1B 33 45 1B 74 10 1B 45 01 1B 4D 00 41 42 0A"},
        Example{"Texto_empty", [] { return ImprimeTexto("", 0, 0, 0, 0); },
                "1B 40 1B 61 00 1B 33 20 1B 74 10 1B 45 00 1B 4D 00 0A"},
        Example{"TextoLF_empty_feed3", [] { return ImprimeTextoLF("", 0, 0, 0, 0, 3); },
                "1B 40 1B 61 00 1B 33 20 1B 74 10 1B 45 00 1B 4D 00 1B 64 03"},
        Example{"TextoLF_feed258", [] { return ImprimeTextoLF("A", 2, 1, 6, 5, 258); },
                "1B 40 1B 61 02 1B 33 15 1B 74 10 1B 45 01 1B 4D 01 41 1B 64 02"},
        Example{"Texto180_empty", [] { return ImprimeTexto180("", 1, 1, 1, 1); },
                "1B 40 1B 61 01 1B 33 28 1B 74 10 1B 45 01 1B 4D 01 1B 7B 01 0A"},
        Example{"Texto180_AB", [] { return ImprimeTexto180("AB", 0, 0, 2, 0); },
                "1B 40 1B 61 00 1B 33 30 1B 74 10 1B 45 00 1B 4D 00 1B 7B 01 41 42 0A"},
        Example{"TextoInvertido_empty", [] { return ImprimeTextoInvertido("", 0, -3, -1); },
                "1B 40 1B 61 00 1B 33 15 1B 74 10 1B 4D 01 1D 42 01 0A"},
        Example{"TextoInvertido_AB", [] { return ImprimeTextoInvertido("AB", 1, 0, 3); },
                "1B 40 1B 61 01 1B 33 35 1B 74 10 1B 4D 00 1D 42 01 41 42 0A"},
        Example{"Texto_control_and_high_bytes",
                [] { return ImprimeTexto("\x0A\x1B\x40\x80\xE7\xFF", 0, 0, 4, 0); },
                "1B 40 1B 61 00 1B 33 40 1B 74 10 1B 45 00 1B 4D 00 0A 1B 40 80 E7 FF 0A"}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    FormattedText, ExactCommand,
    ::testing::Values(Example{"mode5_AB", [] { return ImprimeTxFormatado("AB", 2, 1, 5); },
                              "1B 40 1B 61 02 1B 33 28 1B 74 10 1B 21 30 41 42 0A"},
                      Example{"mode0_empty", [] { return ImprimeTxFormatado("", 0, -1, 0); },
                              "1B 40 1B 61 00 1B 33 15 1B 74 10 1B 21 80 0A"},
                      Example{"mode2_high_bytes",
                              [] { return ImprimeTxFormatado("\xC7\x09", 1, 6, 2); },
                              "1B 40 1B 61 01 1B 33 15 1B 74 10 1B 21 02 C7 09 0A"}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    LinearBarcodes, ExactCommand,
    ::testing::Values(
        Example{"nul_form_empty", [] { return ImprimeCodigoBarras(0, 2, 0, 1, 0, ""); },
                "1B 40 1B 61 00 1D 77 01 1D 68 20 1D 48 00 1D 6B 02 00 0A"},
        Example{"counted_form_empty", [] { return ImprimeCodigoBarras_C(0, 2, 0, 1, 0, ""); },
                "1B 40 1B 61 00 1D 77 01 1D 68 20 1D 48 00 1D 6B 43 00 0A"},
        Example{"nul_form_12345", [] { return ImprimeCodigoBarras(5, -1, 2, 0, 4, "12345"); },
                "1B 40 1B 61 02 1D 77 03 1D 68 50 1D 48 03 1D 6B 06 31 32 33 34 35 00 0A"},
        Example{"counted_form_12345", [] { return ImprimeCodigoBarras_C(1, -1, 1, 2, 2, "12345"); },
                "1B 40 1B 61 01 1D 77 02 1D 68 32 1D 48 02 1D 6B 4A 05 31 32 33 34 35 0A"},
        Example{"counted_form_high_bytes",
                [] { return ImprimeCodigoBarras_C(0, 8, 0, 1, 1, "\x80\x7B\x42"); },
                "1B 40 1B 61 00 1D 77 01 1D 68 20 1D 48 01 1D 6B 49 03 80 7B 42 0A"}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Code128Lists, ExactCommand,
    ::testing::Values(
        Example{"two_symbols_10_to_31",
                [] {
                    std::string codes = ten_to_31;
                    return ImprimeCode128_C(codes.data(), 1, 0, 2);
                },
                "1B 40 1B 61 01 1D 77 02 1D 68 20 1D 48 00 1D 6B 49 0F 7B 42 7B 43 "
                "0A 0B 0C 0D 0E 0F 10 11 12 13 14 0D 0A "
                "1B 40 1B 61 01 1D 77 02 1D 68 20 1D 48 00 1D 6B 49 0F 7B 42 7B 43 "
                "15 16 17 18 19 1A 1B 1C 1D 1E 1F 0D 0A"},
        Example{"one_symbol_10_to_31",
                [] {
                    std::string codes = ten_to_31;
                    return ImprimeCode128C(codes.data(), -1, 2);
                },
                "1B 40 1B 61 02 1D 77 02 1D 68 50 1D 48 00 1D 6B 49 18 7B 43 "
                "0A 0B 0C 0D 0E 0F 10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F 0D 0A"},
        Example{"low_bytes_of_100_256_minus1",
                [] {
                    std::string codes = "100,256,-1," + list_of(3, 19);
                    return ImprimeCode128C(codes.data(), 0, 1);
                },
                "1B 40 1B 61 00 1D 77 02 1D 68 32 1D 48 00 1D 6B 49 18 7B 43 "
                "64 00 FF 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14 15 0D 0A"}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    EscZSymbols, ExactCommand,
    ::testing::Values(Example{"QRCODE_M2_ABC", [] { return ImprimeQRCODE_M2(1, 2, 4, 1, "ABC"); },
                              "1B 40 1B 61 01 1D 5A 02 1B 5A 32 4D 04 03 00 41 42 43"},
                      Example{"QRCODE_M2_empty", [] { return ImprimeQRCODE_M2(0, 0, 7, -1, ""); },
                              "1B 40 1B 61 00 1D 5A 02 1B 5A 00 48 07 00 00"},
                      Example{"PDF417_empty", [] { return ImprimePDF417_M2(2, 29, 5, -1, ""); },
                              "1B 40 1B 61 02 1D 5A 00 1B 5A 1D 08 05 00 00"},
                      Example{"DataMatrix_empty",
                              [] { return ImprimeDataMatrix_M2(1, -1, 1, 0, ""); },
                              "1B 40 1B 61 01 1D 5A 01 1B 5A 04 08 07 00 00"}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    GsParenKQr, ExactCommand,
    ::testing::Values(Example{"ABC", [] { return ImprimeQRCODE_M1(0, 2, 3, 1, "ABC"); },
                              "1B 40 1B 61 00 1D 28 6B 04 00 31 41 32 00 1D 28 6B 03 00 31 43 03 "
                              "1D 28 6B 03 00 31 45 31 1D 28 6B 06 00 31 50 30 41 42 43 "
                              "1D 28 6B 03 00 31 51 30 00 00 0A"},
                      Example{"empty", [] { return ImprimeQRCODE_M1(1, 1, 0, -1, ""); },
                              "1B 40 1B 61 01 1D 28 6B 04 00 31 41 31 00 1D 28 6B 03 00 31 43 07 "
                              "1D 28 6B 03 00 31 45 33 1D 28 6B 03 00 31 50 30 "
                              "1D 28 6B 03 00 31 51 30 00 00 0A"}),
    [](const auto& info) { return std::string(info.param.name); });

// Data lengths that need both length bytes, as the printer sees them.
struct LengthExample {
    const char* name;
    std::function<int(const char*)> call;
    std::size_t data_length;
    std::size_t field_offset;
    std::string field_hex;
    std::size_t total;
};

void PrintTo(const LengthExample& c, std::ostream* out) {
    *out << c.name;
}

class TwoByteLength : public ::testing::TestWithParam<LengthExample> {};

TEST_P(TwoByteLength, FieldAndTotalMatch) {
    const auto& c = GetParam();
    FakePrinter printer;
    ASSERT_EQ(AbreSocket(printer.address().c_str(), 0), 1);
    const std::string data = cycling_bytes(c.data_length);
    EXPECT_EQ(c.call(data.c_str()), 1);
    Bytes got = received_through_cut(printer, c.total);
    ASSERT_EQ(got.size(), c.total + cut_command.size());
    EXPECT_EQ(hex(Bytes(got.begin() + static_cast<long>(c.field_offset),
                        got.begin() + static_cast<long>(c.field_offset + 2))),
              c.field_hex);
}

INSTANTIATE_TEST_SUITE_P(
    Symbols, TwoByteLength,
    ::testing::Values(
        LengthExample{"PDF417_300", [](const char* d) { return ImprimePDF417_M2(0, 1, 1, 1, d); },
                      300, 13, "2C 01", 315},
        LengthExample{"DataMatrix_300",
                      [](const char* d) { return ImprimeDataMatrix_M2(0, 1, 1, 1, d); }, 300, 13,
                      "2C 01", 315},
        LengthExample{"QRCODE_M2_300",
                      [](const char* d) { return ImprimeQRCODE_M2(0, 2, 4, 1, d); }, 300, 13,
                      "2C 01", 315},
        LengthExample{"QRCODE_M1_252",
                      [](const char* d) { return ImprimeQRCODE_M1(0, 2, 4, 1, d); }, 252, 33,
                      "FF 00", 301},
        LengthExample{"QRCODE_M1_253",
                      [](const char* d) { return ImprimeQRCODE_M1(0, 2, 4, 1, d); }, 253, 33,
                      "00 01", 302}),
    [](const auto& info) { return std::string(info.param.name); });

// The largest data each builder takes goes out whole; one byte more is refused
// whole: result 0 and nothing reaches the printer.
struct Capacity {
    const char* name;
    std::function<int(const char*)> call;
    std::size_t limit;        // longest data accepted
    std::size_t fixed;        // bytes of the command besides the data
    std::size_t data_offset;  // where the data starts
};

void PrintTo(const Capacity& c, std::ostream* out) {
    *out << c.name;
}

class CapacityEdge : public ::testing::TestWithParam<Capacity> {};

TEST_P(CapacityEdge, LongestDataGoesOutWhole) {
    const auto& c = GetParam();
    FakePrinter printer;
    ASSERT_EQ(AbreSocket(printer.address().c_str(), 0), 1);
    const std::string data = cycling_bytes(c.limit);
    EXPECT_EQ(c.call(data.c_str()), 1);
    Bytes got = received_through_cut(printer, c.limit + c.fixed);
    ASSERT_EQ(got.size(), c.limit + c.fixed + cut_command.size());
    EXPECT_EQ(Bytes(got.begin() + static_cast<long>(c.data_offset),
                    got.begin() + static_cast<long>(c.data_offset + c.limit)),
              bytes_of(data));
}

TEST_P(CapacityEdge, OneByteMoreIsRefusedWhole) {
    const auto& c = GetParam();
    FakePrinter printer;
    ASSERT_EQ(AbreSocket(printer.address().c_str(), 0), 1);
    const std::string data = cycling_bytes(c.limit + 1);
    EXPECT_EQ(c.call(data.c_str()), 0);
    EXPECT_EQ(hex(received_through_cut(printer, 0)), hex(cut_command));
}

TEST_P(CapacityEdge, NullDataIsRefused) {
    FakePrinter printer;
    ASSERT_EQ(AbreSocket(printer.address().c_str(), 0), 1);
    EXPECT_EQ(GetParam().call(nullptr), 0);
    EXPECT_EQ(hex(received_through_cut(printer, 0)), hex(cut_command));
}

INSTANTIATE_TEST_SUITE_P(
    Builders, CapacityEdge,
    ::testing::Values(
        Capacity{"Texto", [](const char* t) { return ImprimeTexto(t, 0, 0, 0, 0); }, 8174, 18, 17},
        Capacity{"TextoInvertido", [](const char* t) { return ImprimeTextoInvertido(t, 0, 0, 0); },
                 8174, 18, 17},
        Capacity{"TextoLF", [](const char* t) { return ImprimeTextoLF(t, 0, 0, 0, 0, 1); }, 8172,
                 20, 17},
        Capacity{"Texto180", [](const char* t) { return ImprimeTexto180(t, 0, 0, 0, 0); }, 8171, 21,
                 20},
        Capacity{"TxFormatado", [](const char* t) { return ImprimeTxFormatado(t, 0, 0, 1); }, 8177,
                 15, 14},
        Capacity{"CodigoBarras",
                 [](const char* d) { return ImprimeCodigoBarras(0, 4, 0, 1, 0, d); }, 91, 19, 17},
        Capacity{"CodigoBarras_C",
                 [](const char* d) { return ImprimeCodigoBarras_C(0, 8, 0, 1, 0, d); }, 93, 19, 18},
        Capacity{"PDF417_M2", [](const char* d) { return ImprimePDF417_M2(0, 3, 2, 1, d); }, 4335,
                 15, 15},
        Capacity{"DataMatrix_M2", [](const char* d) { return ImprimeDataMatrix_M2(0, 0, 0, 1, d); },
                 4335, 15, 15},
        Capacity{"QRCODE_M2", [](const char* d) { return ImprimeQRCODE_M2(0, 2, 4, 1, d); }, 4335,
                 15, 15},
        Capacity{"QRCODE_M1", [](const char* d) { return ImprimeQRCODE_M1(0, 2, 4, 1, d); }, 4295,
                 49, 38}),
    [](const auto& info) { return std::string(info.param.name); });

// Code lists that cannot make a whole symbol are refused before anything is sent.
struct CodeListRefusal {
    const char* name;
    std::string codes;
};

void PrintTo(const CodeListRefusal& c, std::ostream* out) {
    *out << c.name;
}

class Code128Refusal : public ::testing::TestWithParam<CodeListRefusal> {};

TEST_P(Code128Refusal, BothFunctionsSendNothing) {
    FakePrinter printer;
    ASSERT_EQ(AbreSocket(printer.address().c_str(), 0), 1);
    std::string for_two = GetParam().codes, for_one = GetParam().codes;
    EXPECT_EQ(ImprimeCode128_C(for_two.data(), 0, 0, 2), 0);
    EXPECT_EQ(ImprimeCode128C(for_one.data(), 0, 0), 0);
    EXPECT_EQ(hex(received_through_cut(printer, 0)), hex(cut_command));
}

INSTANTIATE_TEST_SUITE_P(
    Lists, Code128Refusal,
    ::testing::Values(CodeListRefusal{"empty", ""}, CodeListRefusal{"commas_only", ",,,"},
                      CodeListRefusal{"21_items", list_of(0, 21)},
                      CodeListRefusal{"first_item_not_a_number", "x," + list_of(1, 21)},
                      CodeListRefusal{"22nd_item_not_a_number", list_of(0, 21) + ", "},
                      CodeListRefusal{"11th_item_sign_only",
                                      list_of(0, 10) + ",-," + list_of(11, 11)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Code128NullList, BothFunctionsSendNothing) {
    FakePrinter printer;
    ASSERT_EQ(AbreSocket(printer.address().c_str(), 0), 1);
    EXPECT_EQ(ImprimeCode128_C(nullptr, 0, 0, 2), 0);
    EXPECT_EQ(ImprimeCode128C(nullptr, 0, 0), 0);
    EXPECT_EQ(hex(received_through_cut(printer, 0)), hex(cut_command));
}

// Without any open link nothing can be written, and every builder says so.
TEST(PrintWithoutLink, EveryBuilderReportsNothingWritten) {
    const std::pair<const char*, std::function<int()>> calls[] = {
        {"ImprimeTexto", [] { return ImprimeTexto("A", 0, 0, 0, 0); }},
        {"ImprimeTextoLF", [] { return ImprimeTextoLF("A", 0, 0, 0, 0, 1); }},
        {"ImprimeTexto180", [] { return ImprimeTexto180("A", 0, 0, 0, 0); }},
        {"ImprimeTextoInvertido", [] { return ImprimeTextoInvertido("A", 0, 0, 0); }},
        {"ImprimeTxFormatado", [] { return ImprimeTxFormatado("A", 0, 0, 1); }},
        {"ImprimeCodigoBarras", [] { return ImprimeCodigoBarras(0, 0, 0, 1, 0, "1"); }},
        {"ImprimeCodigoBarras_C", [] { return ImprimeCodigoBarras_C(0, 0, 0, 1, 0, "1"); }},
        {"ImprimeCode128_C",
         [] {
             std::string codes = ten_to_31;
             return ImprimeCode128_C(codes.data(), 0, 0, 2);
         }},
        {"ImprimeCode128C",
         [] {
             std::string codes = ten_to_31;
             return ImprimeCode128C(codes.data(), 0, 0);
         }},
        {"ImprimePDF417_M2", [] { return ImprimePDF417_M2(0, 1, 1, 1, "A"); }},
        {"ImprimeDataMatrix_M2", [] { return ImprimeDataMatrix_M2(0, 1, 1, 1, "A"); }},
        {"ImprimeQRCODE_M2", [] { return ImprimeQRCODE_M2(0, 2, 4, 1, "A"); }},
        {"ImprimeQRCODE_M1", [] { return ImprimeQRCODE_M1(0, 2, 4, 1, "A"); }},
    };
    for (const auto& [name, call] : calls) EXPECT_EQ(call(), 0) << name;
}

}  // namespace

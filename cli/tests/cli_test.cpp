// SPDX-License-Identifier: MIT
// The built `quorvel` tool against fake printers on loopback: the bytes each
// subcommand sends, status output, usage errors and link failures.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "fake_printer.h"
#include "run_program.h"

using namespace quorvel::testing;

namespace {

using Args = std::vector<std::string>;

ProgramResult run_cli_at(const FakePrinter& printer, const Args& args,
                         const std::string& input = "") {
    Args full{"--tcp", printer.address()};
    full.insert(full.end(), args.begin(), args.end());
    return run_cli(full, input);
}

// ESC @, ESC a j, ESC 3 n, ESC t 16: the opening of every text command.
Bytes text_head(int justification, int spacing) {
    return bytes_of({0x1B, 0x40, 0x1B, 0x61, justification, 0x1B, 0x33, spacing, 0x1B, 0x74, 0x10});
}

const Bytes bold_off_font_a = bytes_of({0x1B, 0x45, 0x00, 0x1B, 0x4D, 0x00});
const std::string values_10_to_31 =
    "10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31";

Bytes code_bytes(int first, int last) {
    Bytes out;
    for (int v = first; v <= last; ++v) out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

struct SendCase {
    const char* name;
    Args args;
    std::string input;
    Bytes expected;
};

void PrintTo(const SendCase& c, std::ostream* os) {
    *os << c.name;
}

class CliSends : public ::testing::TestWithParam<SendCase> {};

TEST_P(CliSends, ExactBytesAndExitZero) {
    FakePrinter printer;
    auto result = run_cli_at(printer, GetParam().args, GetParam().input);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(printer.wait_for_disconnect());
    EXPECT_EQ(hex(printer.received()), hex(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Text, CliSends,
    ::testing::Values(
        SendCase{
            "utf8_becomes_windows1252",
            {"text", "Olá"},
            "",
            concat_bytes({text_head(0, 0x20), bold_off_font_a, bytes_of({'O', 'l', 0xE1, 0x0A})})},
        SendCase{"styles",
                 {"text", "--align", "center", "--bold", "--font", "b", "--spacing", "5", "AB"},
                 "",
                 concat_bytes({text_head(1, 0x45),
                               bytes_of({0x1B, 0x45, 0x01, 0x1B, 0x4D, 0x01, 'A', 'B', 0x0A})})},
        SendCase{"feed_lines",
                 {"text", "--feed", "3", "--align", "right", "Total"},
                 "",
                 concat_bytes({text_head(2, 0x20), bold_off_font_a, bytes_of("Total"),
                               bytes_of({0x1B, 0x64, 0x03})})},
        SendCase{
            "feed_zero",
            {"text", "--feed", "0", "x"},
            "",
            concat_bytes({text_head(0, 0x20), bold_off_font_a, bytes_of({'x', 0x1B, 0x64, 0x00})})},
        SendCase{"upside_down",
                 {"text", "--upside-down", "--spacing", "2", "--bold", "x"},
                 "",
                 concat_bytes({text_head(0, 0x30), bytes_of({0x1B, 0x45, 0x01, 0x1B, 0x4D, 0x00,
                                                             0x1B, 0x7B, 0x01, 'x', 0x0A})})},
        SendCase{"reverse",
                 {"text", "--reverse", "--font", "b", "x"},
                 "",
                 concat_bytes({text_head(0, 0x20),
                               bytes_of({0x1B, 0x4D, 0x01, 0x1D, 0x42, 0x01, 'x', 0x0A})})},
        SendCase{"empty_text_feeds_a_line",
                 {"text", ""},
                 "",
                 concat_bytes({text_head(0, 0x20), bold_off_font_a, bytes_of({0x0A})})},
        SendCase{"stdin_one_line_end_dropped",
                 {"text", "-"},
                 "Preço €5\r\n",
                 concat_bytes({text_head(0, 0x20), bold_off_font_a,
                               bytes_of({'P', 'r', 'e', 0xE7, 'o', ' ', 0x80, '5', 0x0A})})},
        SendCase{"raw_bytes_unchanged",
                 {"--raw-bytes", "text", "-"},
                 "\xE1\xFF",
                 concat_bytes({text_head(0, 0x20), bold_off_font_a, bytes_of({0xE1, 0xFF, 0x0A})})},
        SendCase{"global_option_after_subcommand",
                 {"text", "Olá", "--raw-bytes"},
                 "",
                 concat_bytes({text_head(0, 0x20), bold_off_font_a,
                               bytes_of({'O', 'l', 0xC3, 0xA1, 0x0A})})},
        SendCase{"dash_dash_allows_leading_dash",
                 {"text", "--", "-5% off"},
                 "",
                 concat_bytes({text_head(0, 0x20), bold_off_font_a, bytes_of("-5% off"),
                               bytes_of({0x0A})})},
        SendCase{"formatted_double",
                 {"formatted", "--mode", "double", "--align", "right", "--spacing", "1", "AB"},
                 "",
                 bytes_of({0x1B, 0x40, 0x1B, 0x61, 0x02, 0x1B, 0x33, 0x28, 0x1B, 0x74, 0x10, 0x1B,
                           0x21, 0x30, 'A', 'B', 0x0A})},
        SendCase{"formatted_modes_underline_and_bold",
                 {"formatted", "--mode", "underline", "ç"},
                 "",
                 concat_bytes({text_head(0, 0x20), bytes_of({0x1B, 0x21, 0x80, 0xE7, 0x0A})})}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Barcodes, CliSends,
    ::testing::Values(
        SendCase{"ean13_defaults",
                 {"barcode", "ean13", "5901234123457"},
                 "",
                 concat_bytes({bytes_of({0x1B, 0x40, 0x1B, 0x61, 0x01, 0x1D, 0x77, 0x02, 0x1D, 0x68,
                                         0x50, 0x1D, 0x48, 0x02, 0x1D, 0x6B, 0x02}),
                               bytes_of("5901234123457"), bytes_of({0x00, 0x0A})})},
        SendCase{"counted_code128",
                 {"barcode", "--counted", "code128", "--height", "32", "--width", "3", "--hri",
                  "none", "--align", "right", "{BNo. 12"},
                 "",
                 concat_bytes({bytes_of({0x1B, 0x40, 0x1B, 0x61, 0x02, 0x1D, 0x77, 0x03, 0x1D, 0x68,
                                         0x20, 0x1D, 0x48, 0x00, 0x1D, 0x6B, 0x49, 0x08}),
                               bytes_of("{BNo. 12"), bytes_of({0x0A})})},
        SendCase{"counted_upca_hri_both",
                 {"barcode", "--counted", "upc-a", "--hri", "both", "01234567890"},
                 "",
                 concat_bytes({bytes_of({0x1B, 0x40, 0x1B, 0x61, 0x01, 0x1D, 0x77, 0x02, 0x1D, 0x68,
                                         0x50, 0x1D, 0x48, 0x03, 0x1D, 0x6B, 0x41, 0x0B}),
                               bytes_of("01234567890"), bytes_of({0x0A})})},
        SendCase{"code93_takes_the_counted_form_by_itself",
                 {"barcode", "code93", "ABC"},
                 "",
                 concat_bytes({bytes_of({0x1B, 0x40, 0x1B, 0x61, 0x01, 0x1D, 0x77, 0x02, 0x1D, 0x68,
                                         0x50, 0x1D, 0x48, 0x02, 0x1D, 0x6B, 0x48, 0x03}),
                               bytes_of("ABC"), bytes_of({0x0A})})},
        SendCase{"codabar_with_start_and_stop",
                 {"barcode", "codabar", "A40156B"},
                 "",
                 concat_bytes({bytes_of({0x1B, 0x40, 0x1B, 0x61, 0x01, 0x1D, 0x77, 0x02, 0x1D, 0x68,
                                         0x50, 0x1D, 0x48, 0x02, 0x1D, 0x6B, 0x06}),
                               bytes_of("A40156B"), bytes_of({0x00, 0x0A})})},
        SendCase{"counted_gs1_128",
                 {"barcode", "gs1-128", "--counted", "0123"},
                 "",
                 concat_bytes({bytes_of({0x1B, 0x40, 0x1B, 0x61, 0x01, 0x1D, 0x77, 0x02, 0x1D, 0x68,
                                         0x50, 0x1D, 0x48, 0x02, 0x1D, 0x6B, 0x4A, 0x04}),
                               bytes_of("0123"), bytes_of({0x0A})})},
        SendCase{
            "code128_one_symbol",
            {"code128", values_10_to_31},
            "",
            concat_bytes({bytes_of({0x1B, 0x40, 0x1B, 0x61, 0x01, 0x1D, 0x77, 0x02, 0x1D, 0x68,
                                    0x50, 0x1D, 0x48, 0x00, 0x1D, 0x6B, 0x49, 0x18, 0x7B, 0x43}),
                          code_bytes(10, 31), bytes_of({0x0D, 0x0A})})},
        SendCase{
            "code128_from_44_digits",
            {"code128", "--height", "50", "10111213141516171819202122232425262728293031"},
            "",
            concat_bytes({bytes_of({0x1B, 0x40, 0x1B, 0x61, 0x01, 0x1D, 0x77, 0x02, 0x1D, 0x68,
                                    0x32, 0x1D, 0x48, 0x00, 0x1D, 0x6B, 0x49, 0x18, 0x7B, 0x43}),
                          code_bytes(10, 31), bytes_of({0x0D, 0x0A})})},
        SendCase{"code128_split_in_two",
                 {"code128", "--split", "--align", "center", "--height", "32", "--width", "2",
                  values_10_to_31},
                 "",
                 [] {
                     Bytes head = bytes_of({0x1B, 0x40, 0x1B, 0x61, 0x01, 0x1D, 0x77, 0x02,
                                            0x1D, 0x68, 0x20, 0x1D, 0x48, 0x00, 0x1D, 0x6B,
                                            0x49, 0x0F, 0x7B, 0x42, 0x7B, 0x43});
                     return concat_bytes({head, code_bytes(10, 20), bytes_of({0x0D, 0x0A}), head,
                                          code_bytes(21, 31), bytes_of({0x0D, 0x0A})});
                 }()}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Symbols, CliSends,
    ::testing::Values(
        SendCase{"qr_function_commands",
                 {"qr", "--module-size", "3", "--ecc", "M", "--align", "left", "ABC"},
                 "",
                 bytes_of({0x1B, 0x40, 0x1B, 0x61, 0x00, 0x1D, 0x28, 0x6B, 0x04, 0x00, 0x31,
                           0x41, 0x32, 0x00, 0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x43, 0x03,
                           0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x45, 0x31, 0x1D, 0x28, 0x6B,
                           0x06, 0x00, 0x31, 0x50, 0x30, 0x41, 0x42, 0x43, 0x1D, 0x28, 0x6B,
                           0x03, 0x00, 0x31, 0x51, 0x30, 0x00, 0x00, 0x0A})},
        SendCase{
            "qr_model1_ecc_h",
            {"qr", "--qr-model", "1", "--ecc", "H", "--module-size", "7", "é"},
            "",
            bytes_of({0x1B, 0x40, 0x1B, 0x61, 0x01, 0x1D, 0x28, 0x6B, 0x04, 0x00, 0x31, 0x41, 0x31,
                      0x00, 0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x43, 0x07, 0x1D, 0x28, 0x6B, 0x03,
                      0x00, 0x31, 0x45, 0x33, 0x1D, 0x28, 0x6B, 0x04, 0x00, 0x31, 0x50, 0x30, 0xE9,
                      0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x51, 0x30, 0x00, 0x00, 0x0A})},
        SendCase{"qr_escz",
                 {"qr", "--command-set", "escz", "--ecc", "M", "ABC"},
                 "",
                 bytes_of({0x1B, 0x40, 0x1B, 0x61, 0x01, 0x1D, 0x5A, 0x02, 0x1B, 0x5A, 0x32, 0x4D,
                           0x04, 0x03, 0x00, 'A', 'B', 'C'})},
        SendCase{"qr_escz_auto_model_ecc_q",
                 {"qr", "--command-set", "escz", "--qr-model", "auto", "--ecc", "Q",
                  "--module-size", "1", "x"},
                 "",
                 bytes_of({0x1B, 0x40, 0x1B, 0x61, 0x01, 0x1D, 0x5A, 0x02, 0x1B, 0x5A, 0x00, 0x51,
                           0x01, 0x01, 0x00, 'x'})},
        SendCase{"pdf417",
                 {"pdf417", "--columns", "29", "--ecc", "8", "--row-height", "5", "PDF"},
                 "",
                 bytes_of({0x1B, 0x40, 0x1B, 0x61, 0x01, 0x1D, 0x5A, 0x00, 0x1B, 0x5A, 0x1D, 0x08,
                           0x05, 0x03, 0x00, 'P', 'D', 'F'})},
        SendCase{"datamatrix",
                 {"datamatrix", "--size-v", "3", "--size-r", "1", "--module-size", "2", "DM"},
                 "",
                 bytes_of({0x1B, 0x40, 0x1B, 0x61, 0x01, 0x1D, 0x5A, 0x01, 0x1B, 0x5A, 0x03, 0x08,
                           0x02, 0x02, 0x00, 'D', 'M'})}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Device, CliSends,
    ::testing::Values(
        SendCase{"cut", {"cut"}, "", bytes_of({0x1D, 0x56, 0x00})},
        SendCase{"drawer", {"drawer"}, "", bytes_of({0x1B, 0x70, 0x00, 0x3C, 0x78})},
        SendCase{"self_test", {"self-test"}, "", bytes_of({0x1B, 0x40, 0x12, 0x54})},
        SendCase{"logo_defaults",
                 {"logo", "1"},
                 "",
                 bytes_of({0x1B, 0x40, 0x1B, 0x61, 0x01, 0x1C, 0x70, 0x01, 0x00})},
        SendCase{"logo_options",
                 {"logo", "255", "--align", "right", "--size", "quadruple"},
                 "",
                 bytes_of({0x1B, 0x40, 0x1B, 0x61, 0x02, 0x1C, 0x70, 0xFF, 0x03})},
        SendCase{"raw", {"raw", "27,97,1"}, "", bytes_of({0x1B, 0x40, 0x1B, 0x61, 0x01, 0x0A})},
        SendCase{"raw_zero_sent",
                 {"raw", "29, 86 ,0"},
                 "",
                 bytes_of({0x1B, 0x40, 0x1D, 0x56, 0x00, 0x0A})}),
    [](const auto& info) { return std::string(info.param.name); });

struct StatusCase {
    const char* name;
    Args args;
    int reply;
    Bytes query;
    int exit_code;
    std::string out;
};

void PrintTo(const StatusCase& c, std::ostream* os) {
    *os << c.name;
}

class CliStatus : public ::testing::TestWithParam<StatusCase> {};

TEST_P(CliStatus, PrintsCodeAndMeaning) {
    FakePrinter printer;
    printer.answer_with(bytes_of({GetParam().reply}));
    auto result = run_cli_at(printer, GetParam().args);
    EXPECT_EQ(result.exit_code, GetParam().exit_code) << result.err;
    EXPECT_EQ(result.out, GetParam().out);
    if (GetParam().exit_code == 1) {
        EXPECT_NE(result.err.find("no status"), std::string::npos) << result.err;
    }
    EXPECT_TRUE(printer.wait_for_disconnect());
    EXPECT_EQ(hex(printer.received()), hex(GetParam().query));
}

const Bytes dle_eot_1 = bytes_of({0x10, 0x04, 0x01});
const Bytes esc_v = bytes_of({0x1B, 0x76, 0x01});
const Bytes gs_r_2 = bytes_of({0x1D, 0x72, 0x02});

INSTANTIATE_TEST_SUITE_P(
    Replies, CliStatus,
    ::testing::Values(
        StatusCase{"ready",
                   {"status"},
                   0x12,
                   dle_eot_1,
                   0,
                   "32 ready: on line, drawer connector pin 3 low\n"},
        StatusCase{"offline",
                   {"--model", "1", "status"},
                   0x1A,
                   dle_eot_1,
                   3,
                   "5 off line, drawer connector pin 3 low\n"},
        StatusCase{"offline_drawer_high",
                   {"--model", "3", "status"},
                   0x1E,
                   dle_eot_1,
                   3,
                   "9 off line, drawer connector pin 3 high\n"},
        StatusCase{"drawer_high",
                   {"--model", "1", "status"},
                   0x16,
                   dle_eot_1,
                   3,
                   "24 on line, drawer connector pin 3 high\n"},
        StatusCase{"model0_unlisted_reply",
                   {"status"},
                   0xFF,
                   dle_eot_1,
                   3,
                   "24 on line, drawer connector pin 3 high (or an unlisted reply)\n"},
        StatusCase{"model1_unlisted_reply_is_no_status",
                   {"--model", "1", "status"},
                   0xFF,
                   dle_eot_1,
                   1,
                   ""},
        StatusCase{"model2_paper_end",
                   {"--model", "2", "status"},
                   0x04,
                   esc_v,
                   3,
                   "9 paper sensor reply 04 (paper end on most printers)\n"},
        StatusCase{"model2_paper_present",
                   {"status", "--model", "2"},
                   0x00,
                   esc_v,
                   0,
                   "24 paper sensor reply 00 (paper present)\n"},
        StatusCase{"model2_unlisted_reply", {"--model", "2", "status"}, 0x12, esc_v, 1, ""},
        StatusCase{
            "drawer_low", {"drawer-status"}, 0x00, gs_r_2, 0, "1 drawer connector pin 3 low\n"},
        StatusCase{"drawer_high_any_bit",
                   {"drawer-status"},
                   0x01,
                   gs_r_2,
                   0,
                   "2 drawer connector pin 3 high\n"},
        StatusCase{"drawer_high_ff",
                   {"drawer-status"},
                   0xFF,
                   gs_r_2,
                   0,
                   "2 drawer connector pin 3 high\n"}),
    [](const auto& info) { return std::string(info.param.name); });

class CliStatusLost : public ::testing::TestWithParam<FakePrinter::Behaviour> {};

// No reply, a closed or a reset connection: the tool exits 1 with its own line
// last (the library may have reported the failed receive before it).
TEST_P(CliStatusLost, IsFailureNotACode) {
    FakePrinter printer(GetParam());
    for (const char* subcommand : {"status", "drawer-status"}) {
        auto result = run_cli_at(printer, {subcommand});
        EXPECT_EQ(result.exit_code, 1) << subcommand;
        EXPECT_EQ(result.out, "");
        const std::string last_line = result.err.substr(result.err.rfind("quorvel: "));
        EXPECT_EQ(last_line.rfind("quorvel: no status: the printer gave no reply", 0), 0u)
            << result.err;
    }
}

INSTANTIATE_TEST_SUITE_P(Printers, CliStatusLost,
                         ::testing::Values(FakePrinter::Behaviour::record,  // never answers
                                           FakePrinter::Behaviour::close_at_once,
                                           FakePrinter::Behaviour::reset_on_data),
                         [](const auto& info) {
                             switch (info.param) {
                                 case FakePrinter::Behaviour::record:
                                     return "silent";
                                 case FakePrinter::Behaviour::close_at_once:
                                     return "closes";
                                 default:
                                     return "resets";
                             }
                         });

struct UsageCase {
    const char* name;
    Args args;
    std::string input;
    std::string message;  // part of what stderr must say
};

void PrintTo(const UsageCase& c, std::ostream* os) {
    *os << c.name;
}

class CliUsage : public ::testing::TestWithParam<UsageCase> {};

TEST_P(CliUsage, ExitTwoWithMessageAndNothingSent) {
    FakePrinter printer;
    auto result = run_cli_at(printer, GetParam().args, GetParam().input);
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_NE(result.err.find(GetParam().message), std::string::npos) << result.err;
    EXPECT_EQ(printer.connections(), 0) << "a usage error must not reach the printer";
}

const std::string values_with_100 =
    "100,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31";

INSTANTIATE_TEST_SUITE_P(
    Input, CliUsage,
    ::testing::Values(
        UsageCase{"unknown_symbology",
                  {"barcode", "qr99", "123"},
                  "",
                  "unknown symbology 'qr99'; choose upc-a|"},
        UsageCase{"symbology_by_number", {"barcode", "2", "123"}, "", "unknown symbology '2'"},
        UsageCase{"empty_barcode", {"barcode", "ean8", ""}, "", "barcode data is empty"},
        UsageCase{"barcode_too_long",
                  {"barcode", "code39", std::string(92, '1')},
                  "",
                  "92 bytes; one command holds at most 91"},
        UsageCase{"counted_barcode_too_long",
                  {"barcode", "--counted", "code39", std::string(94, '1')},
                  "",
                  "at most 93"},
        UsageCase{
            "raw_empty_item", {"raw", "27,,97"}, "", "raw: item 2 ('') is not a decimal number"},
        UsageCase{
            "raw_out_of_range", {"raw", "27,300"}, "", "item 2 (300) is out of range 0 to 255"},
        UsageCase{"code128_short_list", {"code128", "1,2,3"}, "", "exactly 22 values"},
        UsageCase{"code128_value_100",
                  {"code128", values_with_100},
                  "",
                  "item 1 (100) is out of range 0 to 99"},
        UsageCase{"code128_width_needs_split",
                  {"code128", "--width", "1", values_10_to_31},
                  "",
                  "--split"},
        UsageCase{"unencodable_character", {"text", "Snow ☃"}, "", "no Windows-1252 form: U+2603 at byte offset 5"},
        UsageCase{"unencodable_in_qr", {"qr", "π"}, "", "U+03C0"},
        UsageCase{"invalid_utf8_stdin", {"text", "-"}, "Ol\xE1!", "malformed UTF-8: byte 0xE1 at byte offset 2"},
        UsageCase{"nul_in_stdin", {"text", "-"}, std::string("a\0b", 3), "NUL byte"},
        UsageCase{"text_too_long",
                  {"text", "-"},
                  std::string(8175, 'a'),
                  "8175 bytes; one command holds at most 8174"},
        UsageCase{"feed_text_too_long",
                  {"text", "--feed", "1", "-"},
                  std::string(8173, 'a'),
                  "at most 8172"},
        UsageCase{"upside_text_too_long",
                  {"text", "--upside-down", "-"},
                  std::string(8172, 'a'),
                  "at most 8171"},
        UsageCase{"endless_stdin_is_cut_short",
                  {"text", "-"},
                  std::string(1 << 20, 'a'),
                  "one command holds at most 8174"},
        UsageCase{"qr_too_long", {"qr", "-"}, std::string(4296, 'q'), "at most 4295"},
        UsageCase{"spacing_out_of_range", {"text", "--spacing", "6", "x"}, "", "--spacing"},
        UsageCase{"reverse_has_no_bold", {"text", "--reverse", "--bold", "x"}, "", "excludes"},
        UsageCase{"two_text_variants", {"text", "--reverse", "--upside-down", "x"}, "", "excludes"},
        UsageCase{"unknown_alignment",
                  {"text", "--align", "middle", "x"},
                  "",
                  "unknown alignment 'middle'"},
        UsageCase{"unknown_print_mode",
                  {"formatted", "--mode", "italic", "x"},
                  "",
                  "unknown print mode 'italic'"},
        UsageCase{"bar_height_not_offered",
                  {"barcode", "--height", "60", "ean8", "1234567"},
                  "",
                  "unknown bar height '60'"},
        UsageCase{"logo_zero", {"logo", "0"}, "", "image"},
        UsageCase{"model_out_of_range", {"--model", "4", "status"}, "", "--model"},
        UsageCase{
            "qr_auto_needs_escz", {"qr", "--qr-model", "auto", "x"}, "", "--command-set escz"},
        UsageCase{"datamatrix_size_code", {"datamatrix", "--size-r", "5", "x"}, "", "--size-r"},
        UsageCase{"unknown_subcommand", {"frobnicate"}, "", "unknown subcommand 'frobnicate'"},
        UsageCase{"no_subcommand", {}, "", "subcommand"},
        UsageCase{"missing_text", {"text"}, "", "text is required"}),
    [](const auto& info) { return std::string(info.param.name); });

struct LinkUsageCase {
    const char* name;
    Args args;
    std::string message;
};

void PrintTo(const LinkUsageCase& c, std::ostream* os) {
    *os << c.name;
}

class CliLinkUsage : public ::testing::TestWithParam<LinkUsageCase> {};

TEST_P(CliLinkUsage, ExitTwo) {
    auto result = run_cli(GetParam().args);
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_NE(result.err.find(GetParam().message), std::string::npos) << result.err;
}

INSTANTIATE_TEST_SUITE_P(
    Link, CliLinkUsage,
    ::testing::Values(
        LinkUsageCase{"no_printer_named", {"cut"}, "--tcp IP or --serial PORT"},
        LinkUsageCase{"host_name", {"--tcp", "printer.local", "cut"}, "is not an IP address"},
        LinkUsageCase{"out_of_range_octet", {"--tcp", "127.0.0.300", "cut"}, "host names are not resolved"},
        LinkUsageCase{"port_given", {"--tcp", "127.0.0.1:9100", "cut"},
                      "quorvel: --tcp takes the address alone, not '127.0.0.1:9100': give the port "
                      "with --port, e.g. --tcp 127.0.0.1 --port 9100"},
        LinkUsageCase{"ipv6_port_given", {"--tcp", "[::1]:9101", "cut"}, "--port 9101"},
        LinkUsageCase{"port_without_tcp", {"--serial", "/dev/null", "--port", "9101", "cut"}, "--port requires --tcp"},
        LinkUsageCase{"port_out_of_range", {"--tcp", "127.0.0.1", "--port", "70000", "cut"}, "--port"},
        LinkUsageCase{"odd_speed", {"--serial", "/dev/null", "--speed", "1000", "cut"}, "--speed"},
        LinkUsageCase{
            "both_links", {"--tcp", "127.0.0.1", "--serial", "/dev/null", "cut"}, "excludes"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CliLink, SerialPortGetsTheCommand) {
    int controller = -1, device = -1;
    char name[128];
    ASSERT_EQ(::openpty(&controller, &device, name, nullptr, nullptr), 0);
    ::close(device);  // the tool opens it by name
    auto result = run_cli({"--serial", name, "drawer"});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    Bytes received;
    pollfd readable{controller, POLLIN, 0};
    while (received.size() < 5 && ::poll(&readable, 1, 2000) > 0) {
        std::uint8_t buffer[64];
        ssize_t count = ::read(controller, buffer, sizeof buffer);
        if (count <= 0) break;
        received.insert(received.end(), buffer, buffer + count);
    }
    EXPECT_EQ(hex(received), "1B 70 00 3C 78");
    ::close(controller);
}

class CliHelp : public ::testing::TestWithParam<std::string> {};

TEST_P(CliHelp, WorksAtEveryLevel) {
    Args args;
    if (!GetParam().empty()) args.push_back(GetParam());
    args.push_back("--help");
    auto result = run_cli(args);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_NE(result.out.find("Usage: "), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("--help"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Levels, CliHelp,
                         ::testing::Values("", "text", "formatted", "barcode", "code128", "qr",
                                           "pdf417", "datamatrix", "cut", "drawer", "self-test",
                                           "logo", "raw", "status", "drawer-status", "version"),
                         [](const auto& info) {
                             std::string name = info.param.empty() ? "top" : info.param;
                             for (char& c : name)
                                 if (c == '-') c = '_';
                             return name;
                         });

TEST_P(CliHelp, ShowsTheGlobalOptionsAndTheModels) {
    Args args;
    if (!GetParam().empty()) args.push_back(GetParam());
    args.push_back("--help");
    auto result = run_cli(args);
    for (const char* part : {"--tcp IP", "--port N", "--serial PORT", "--speed BPS", "--model 0-3",
                             "    0  DLE EOT 1 status", "    1  DLE EOT 1 status",
                             "    2  ESC v status", "    3  as model 1, at 9600 bit/s"})
        EXPECT_NE(result.out.find(part), std::string::npos) << part << " in\n" << result.out;
}

TEST(CliVersion, NeedsNoPrinter) {
    auto result = run_cli({"version"});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, "quorvel 1.2.0, library 1.2.0.0\n");
}

}  // namespace

// SPDX-License-Identifier: MIT
// UTF-8 to Windows-1252 conversion and the checks on lists and addresses that
// the tool makes before anything is sent.
#include "inputs.h"

#include <gtest/gtest.h>

#include <set>
#include <variant>

#include "text_encoding.h"

using namespace quorvel::cli;

namespace {

// A result is either the converted string or an error whose message holds the
// expected text; which one the case says.
template <typename Error>
void expect_converted_or_refused(const std::variant<std::string, Error>& result,
                                 const std::string& expected, bool refused) {
    if (refused) {
        ASSERT_TRUE(std::holds_alternative<Error>(result));
        EXPECT_NE(std::get<Error>(result).message.find(expected), std::string::npos)
            << std::get<Error>(result).message;
    } else {
        ASSERT_TRUE(std::holds_alternative<std::string>(result)) << std::get<Error>(result).message;
        EXPECT_EQ(std::get<std::string>(result), expected);
    }
}

struct ConversionCase {
    const char* name;
    std::string utf8;
    std::string expected;  // Windows-1252 bytes, or the start of the error text
    bool refused;
};

class Windows1252Conversion : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(Windows1252Conversion, ConvertsOrRefusesWhole) {
    expect_converted_or_refused(utf8_to_windows1252(GetParam().utf8), GetParam().expected,
                                GetParam().refused);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Windows1252Conversion,
    ::testing::Values(
        ConversionCase{"ascii_and_controls", "A\tb\n~\x7F", "A\tb\n~\x7F", false},
        ConversionCase{"latin1_range", "Olá ção ÿ ß", "Ol\xE1 \xE7\xE3o \xFF \xDF", false},
        ConversionCase{"euro_and_quotes", "€ ‘x’ “y” …", "\x80 \x91x\x92 \x93y\x94 \x85", false},
        ConversionCase{
            "whole_high_block_sample", "ƒ„†‡ˆ‰Š‹ŒŽ•–—˜™š›œžŸ",
            "\x83\x84\x86\x87\x88\x89\x8A\x8B\x8C\x8E\x95\x96\x97\x98\x99\x9A\x9B\x9C\x9E\x9F",
            false},
        ConversionCase{"empty", "", "", false},
        ConversionCase{"snowman_named", "ok ☃", "no Windows-1252 form: U+2603 at byte offset 3", true},
        ConversionCase{"emoji_named", "\xF0\x9F\x98\x80", "U+1F600", true},
        ConversionCase{"c1_control_has_no_form", "\xC2\x81", "U+0081", true},
        ConversionCase{"lone_continuation", "a\x80", "malformed UTF-8: byte 0x80 at byte offset 1", true},
        ConversionCase{"latin1_byte_not_utf8", "Ol\xE1", "byte 0xE1 at byte offset 2", true},
        ConversionCase{"bad_continuation", "\xC3(", "byte 0xC3 at byte offset 0", true},
        ConversionCase{"overlong_slash", "\xC0\xAF", "byte 0xC0", true},
        ConversionCase{"surrogate", "\xED\xA0\x80", "malformed UTF-8", true},
        ConversionCase{"past_unicode", "\xF4\x90\x80\x80", "malformed UTF-8", true}),
    [](const auto& info) { return std::string(info.param.name); });

// UTF-8 for one code point below U+10000.
std::string utf8_of(char32_t cp) {
    if (cp < 0x80) return std::string(1, static_cast<char>(cp));
    if (cp < 0x800)
        return {static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F))};
    return {static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
            static_cast<char>(0x80 | (cp & 0x3F))};
}

TEST(Windows1252Table, EveryByteHasOneCodePointAndBack) {
    // 251 code points convert, each to a byte of its own; the five bytes
    // Windows-1252 leaves undefined are never produced.
    std::set<unsigned char> produced;
    int mapped = 0;
    for (char32_t cp = 1; cp < 0x3000; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        auto converted = utf8_to_windows1252(utf8_of(cp));
        if (!std::holds_alternative<std::string>(converted)) continue;
        ASSERT_EQ(std::get<std::string>(converted).size(), 1u) << "U+" << std::hex << static_cast<unsigned>(cp);
        produced.insert(static_cast<unsigned char>(std::get<std::string>(converted)[0]));
        ++mapped;
    }
    EXPECT_EQ(mapped, 255 - 5);  // NUL is never sent
    EXPECT_EQ(produced.size(), 250u);
    for (unsigned char undefined : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) EXPECT_EQ(produced.count(undefined), 0u);
}

struct ListCase {
    const char* name;
    std::string input;
    std::string expected;  // normalised list, or part of the error text
    bool refused;
};

class ByteList : public ::testing::TestWithParam<ListCase> {};

TEST_P(ByteList, NormalisesOrRefuses) {
    expect_converted_or_refused(normalise_byte_list(GetParam().input, 4), GetParam().expected,
                                GetParam().refused);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ByteList,
    ::testing::Values(ListCase{"plain", "27,97,1", "27,97,1", false},
                      ListCase{"zero_kept", "29,86,0", "29,86,0", false},
                      ListCase{"spaces_trimmed", " 27 , 64", "27,64", false},
                      ListCase{"leading_zeros_read_decimal", "010,255", "10,255", false},
                      ListCase{"at_capacity", "1,2,3,4", "1,2,3,4", false},
                      ListCase{"over_capacity", "1,2,3,4,5", "at most 4", true},
                      ListCase{"empty", "", "empty", true},
                      ListCase{"empty_item", "27,,97", "item 2", true},
                      ListCase{"trailing_comma", "27,", "item 2", true},
                      ListCase{"word", "27,x", "'x') is not a decimal number", true},
                      ListCase{"hex_form", "0x1B", "not a decimal number", true},
                      ListCase{"signed", "-1", "not a decimal number", true},
                      ListCase{"too_big", "27,256", "item 2 (256) is out of range 0 to 255", true},
                      ListCase{"huge", "99999999999", "not a decimal number", true}),
    [](const auto& info) { return std::string(info.param.name); });

class Code128Values : public ::testing::TestWithParam<ListCase> {};

TEST_P(Code128Values, NormalisesOrRefuses) {
    expect_converted_or_refused(normalise_code128_values(GetParam().input), GetParam().expected,
                                GetParam().refused);
}

const std::string twenty_two = "10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31";

INSTANTIATE_TEST_SUITE_P(
    Cases, Code128Values,
    ::testing::Values(
        ListCase{"list", twenty_two, twenty_two, false},
        ListCase{"forty_four_digits", "10111213141516171819202122232425262728293031", twenty_two,
                 false},
        ListCase{"pairs_with_leading_zero", "00010203040506070809000102030405060708090099",
                 "0,1,2,3,4,5,6,7,8,9,0,1,2,3,4,5,6,7,8,9,0,99", false},
        ListCase{"twenty_one", "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21", "not 21",
                 true},
        ListCase{"twenty_three", twenty_two + ",5", "not 23", true},
        ListCase{"value_100", "100,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31",
                 "out of range 0 to 99", true},
        ListCase{"odd_digit_count", "123", "exactly 44 digits, not 3", true},
        ListCase{"empty", "", "not a decimal number", true}),
    [](const auto& info) { return std::string(info.param.name); });

struct AddressCase {
    const char* text;
    bool valid;
};

class DottedAddress : public ::testing::TestWithParam<AddressCase> {};

TEST_P(DottedAddress, AcceptsOnlyStrictDottedDecimal) {
    EXPECT_EQ(is_dotted_ipv4(GetParam().text), GetParam().valid) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DottedAddress,
    ::testing::Values(AddressCase{"127.0.0.1", true}, AddressCase{"192.168.0.50", true},
                      AddressCase{"255.255.255.255", true}, AddressCase{"0.0.0.0", true},
                      AddressCase{"256.1.1.1", false}, AddressCase{"1.2.3", false},
                      AddressCase{"1.2.3.4.5", false}, AddressCase{"01.2.3.4", false},
                      AddressCase{"1..3.4", false}, AddressCase{"printer.local", false},
                      AddressCase{"1.2.3.4 ", false}, AddressCase{"", false},
                      AddressCase{"1.2.3.-4", false}));

struct BarcodeCase {
    const char* name;
    Symbology symbology;
    std::string data;
    std::string refusal;  // part of the message; "" when the data is accepted
};

class BarcodeRules : public ::testing::TestWithParam<BarcodeCase> {};

TEST_P(BarcodeRules, AcceptsOrRefusesBeforeSending) {
    const auto error = check_barcode_data(GetParam().symbology, GetParam().data);
    if (GetParam().refusal.empty()) {
        EXPECT_FALSE(error) << error->message;
    } else {
        ASSERT_TRUE(error);
        EXPECT_NE(error->message.find(GetParam().refusal), std::string::npos) << error->message;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BarcodeRules,
    ::testing::Values(
        BarcodeCase{"ean13_without_check_digit", Symbology::ean13, "590123412345", ""},
        BarcodeCase{"ean13_with_check_digit", Symbology::ean13, "5901234123457", ""},
        BarcodeCase{"ean13_wrong_check_digit", Symbology::ean13, "5901234123458",
                    "check digit is 7, not 8"},
        BarcodeCase{"ean13_too_short", Symbology::ean13, "12345", "12 or 13 digits, not 5"},
        BarcodeCase{"ean13_letter", Symbology::ean13, "59012341234X",
                    "cannot encode 'X' at position 12; it takes digits only"},
        BarcodeCase{"ean8_full", Symbology::ean8, "96385074", ""},
        BarcodeCase{"ean8_wrong_check_digit", Symbology::ean8, "96385075", "check digit is 4"},
        BarcodeCase{"ean8_nine_digits", Symbology::ean8, "963850741", "7 or 8 digits, not 9"},
        BarcodeCase{"upca_full", Symbology::upc_a, "036000291452", ""},
        BarcodeCase{"upca_wrong_check_digit", Symbology::upc_a, "036000291453", "check digit is 2"},
        BarcodeCase{"upca_ten_digits", Symbology::upc_a, "0360002914", "11 or 12 digits, not 10"},
        BarcodeCase{"upce_six", Symbology::upc_e, "123456", ""},
        BarcodeCase{"upce_eleven_from_zero", Symbology::upc_e, "01234500006", ""},
        BarcodeCase{"upce_eleven_not_from_zero", Symbology::upc_e, "11234500006", "starts with 0"},
        BarcodeCase{"upce_nine", Symbology::upc_e, "123456789", "6 to 8 digits"},
        BarcodeCase{"empty_digits", Symbology::ean8, "", "EAN-8 data is empty"},
        BarcodeCase{"itf_even", Symbology::itf, "1234", ""},
        BarcodeCase{"itf_odd", Symbology::itf, "12345", "even number of digits, not 5"},
        BarcodeCase{"itf_letter", Symbology::itf, "12A4", "ITF cannot encode 'A' at position 3"},
        BarcodeCase{"codabar_ok", Symbology::codabar, "A40156B", ""},
        BarcodeCase{"codabar_lower_ends", Symbology::codabar, "c12-3$d", ""},
        BarcodeCase{"codabar_no_start", Symbology::codabar, "40156B", "starts and ends with A, B, C or D"},
        BarcodeCase{"codabar_no_stop", Symbology::codabar, "A40156", "starts and ends with A, B, C or D"},
        BarcodeCase{"codabar_bad_middle", Symbology::codabar, "A40X56B", "cannot encode 'X' at position 4"},
        BarcodeCase{"code39_ok", Symbology::code39, "AB-12 $%./+*", ""},
        BarcodeCase{"code39_lower_case", Symbology::code39, "Ab", "cannot encode 'b' at position 2"},
        BarcodeCase{"code39_control_byte", Symbology::code39, "A\x01", "byte 0x01"},
        BarcodeCase{"code93_any_ascii", Symbology::code93, "any text!", ""},
        BarcodeCase{"code128_free", Symbology::code128, "{Bx", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CountedForm, OnlyCode93Code128AndGs1128) {
    for (int m = 0; m <= static_cast<int>(Symbology::gs1_128); ++m)
        EXPECT_EQ(counted_form_only(static_cast<Symbology>(m)), m >= 7) << m;
}

struct WordsCase {
    const char* name;
    std::string line;
    std::vector<std::string> words;
    std::string refusal;
};

class BatchWords : public ::testing::TestWithParam<WordsCase> {};

TEST_P(BatchWords, SplitAsAShellWould) {
    auto result = split_words(GetParam().line);
    if (GetParam().refusal.empty()) {
        ASSERT_TRUE(std::holds_alternative<std::vector<std::string>>(result))
            << std::get<InputError>(result).message;
        EXPECT_EQ(std::get<std::vector<std::string>>(result), GetParam().words);
    } else {
        ASSERT_TRUE(std::holds_alternative<InputError>(result));
        EXPECT_NE(std::get<InputError>(result).message.find(GetParam().refusal), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BatchWords,
    ::testing::Values(
        WordsCase{"blanks", "  text\t--bold  x \r", {"text", "--bold", "x"}, ""},
        WordsCase{"empty_line", "   ", {}, ""},
        WordsCase{"double_quotes_keep_blanks", "text \"Total  1,50\"", {"text", "Total  1,50"}, ""},
        WordsCase{"empty_quoted_word", "text \"\"", {"text", ""}, ""},
        WordsCase{"escapes_in_double_quotes", R"(x "a\"b\\c\$d\n")", {"x", R"(a"b\c$d\n)"}, ""},
        WordsCase{"single_quotes_literal", R"(x 'a\b "c"')", {"x", R"(a\b "c")"}, ""},
        WordsCase{"pieces_join", R"(x a'b'"c"\ d)", {"x", "abc d"}, ""},
        WordsCase{"unclosed_single", "x 'a", {}, "' quote is not closed"},
        WordsCase{"unclosed_double", "x \"a", {}, "\" quote is not closed"},
        WordsCase{"lone_backslash", "x a\\", {}, "lone backslash"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PortSuffix, ToldApartFromIpv6) {
    for (const char* with_port : {"192.168.0.50:9100", "1.2.3.4:1", "[::1]:9100", "[fe80::1%2]:80"})
        EXPECT_TRUE(has_port_suffix(with_port)) << with_port;
    for (const char* without : {"192.168.0.50", "::1", "fe80::1", "[::1]", "1.2.3.4:", "2001:db8::9100",
                                "1:2", "printer:80", "1.2.3.4:x"})
        EXPECT_FALSE(has_port_suffix(without)) << without;
}

TEST(LineEnd, OnlyOneTrailingLineEndIsDropped) {
    EXPECT_EQ(strip_one_line_end("total\n"), "total");
    EXPECT_EQ(strip_one_line_end("total\r\n"), "total");
    EXPECT_EQ(strip_one_line_end("a\n\n"), "a\n");
    EXPECT_EQ(strip_one_line_end("a\nb"), "a\nb");
    EXPECT_EQ(strip_one_line_end("\r"), "\r");
}

}  // namespace

// UTF-8 to Windows-1252 conversion and the checks on lists and addresses that
// the tool makes before anything is sent.
#include "inputs.h"

#include <gtest/gtest.h>

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
        ConversionCase{"snowman_named", "ok ☃", "U+2603 '☃' at offset 3", true},
        ConversionCase{"emoji_named", "\xF0\x9F\x98\x80", "U+1F600", true},
        ConversionCase{"c1_control_has_no_form", "\xC2\x81", "U+0081", true},
        ConversionCase{"lone_continuation", "a\x80", "byte 0x80 at offset 1", true},
        ConversionCase{"latin1_byte_not_utf8", "Ol\xE1", "cut short at offset 2", true},
        ConversionCase{"bad_continuation", "\xC3(", "byte 0x28 at offset 1", true},
        ConversionCase{"overlong_slash", "\xC0\xAF", "byte 0xC0", true},
        ConversionCase{"surrogate", "\xED\xA0\x80", "bad sequence", true},
        ConversionCase{"past_unicode", "\xF4\x90\x80\x80", "bad sequence", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Windows1252Table, EveryByteHasOneCodePointAndBack) {
    // The five bytes Windows-1252 leaves undefined are never produced.
    int mapped = 0;
    for (char32_t cp = 0; cp < 0x3000; ++cp) {
        int byte = windows1252_byte(cp);
        if (byte < 0) continue;
        ++mapped;
        EXPECT_NE(byte, 0x81);
        EXPECT_NE(byte, 0x8D);
        EXPECT_NE(byte, 0x8F);
        EXPECT_NE(byte, 0x90);
        EXPECT_NE(byte, 0x9D);
    }
    EXPECT_EQ(mapped, 256 - 5);
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

TEST(LineEnd, OnlyOneTrailingLineEndIsDropped) {
    EXPECT_EQ(strip_one_line_end("total\n"), "total");
    EXPECT_EQ(strip_one_line_end("total\r\n"), "total");
    EXPECT_EQ(strip_one_line_end("a\n\n"), "a\n");
    EXPECT_EQ(strip_one_line_end("a\nb"), "a\nb");
    EXPECT_EQ(strip_one_line_end("\r"), "\r");
}

}  // namespace

// SPDX-License-Identifier: MIT
// Decimal lists (separa, ComandoTx) and the byte-string utilities (strlen1,
// concat). Raw commands are checked at a real loopback listener. Portable: the
// same file runs against the Windows build.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fake_printer.h"
#include "quorvel.h"

using namespace quorvel::testing;

namespace {

// Lists are written with '|' where a NUL byte is expected after the call.
std::string with_nuls(std::string text) {
    for (char& c : text)
        if (c == '|') c = '\0';
    return text;
}

// A writable copy of a list, with room for the NUL.
std::vector<char> writable(const std::string& text) {
    std::vector<char> out(text.begin(), text.end());
    out.push_back('\0');
    return out;
}

std::string left_text(const std::vector<char>& buffer) {
    return std::string(buffer.begin(), buffer.end() - 1);
}

constexpr int untouched = -12345;

struct SplitCase {
    const char* name;
    std::string list;
    int count;
    std::vector<int> values;  // the first entries of the array after the call
    std::string left;         // the caller's text afterwards, '|' for NUL
};

void PrintTo(const SplitCase& c, std::ostream* out) {
    *out << c.name;
}

class Separa : public ::testing::TestWithParam<SplitCase> {};

TEST_P(Separa, CountsStoresAndMarksTheText) {
    const auto& c = GetParam();
    auto text = writable(c.list);
    std::vector<int> values(c.values.size() + 2, untouched);
    EXPECT_EQ(separa(text.data(), values.data()), c.count);
    for (std::size_t i = 0; i < c.values.size(); ++i)
        EXPECT_EQ(values[i], c.values[i]) << "entry " << i;
    EXPECT_EQ(values[c.values.size()], untouched) << "wrote past the items";
    EXPECT_EQ(left_text(text), with_nuls(c.left));
}

INSTANTIATE_TEST_SUITE_P(
    Lists, Separa,
    ::testing::Values(
        SplitCase{"three_items", "10,20,30", 3, {10, 20, 30}, "10|20|30"},
        SplitCase{"empty", "", 0, {}, ""}, SplitCase{"commas_only", ",,,", 0, {}, ",,,"},
        SplitCase{"stray_commas", ",5,,-7,", 2, {5, -7}, ",5|,-7|"},
        SplitCase{"item_not_a_number_keeps_entry", "4,x,6", 3, {4, untouched, 6}, "4|x|6"},
        SplitCase{
            "read_as_percent_d", " 12,12x,+5,0x1B,-0", 5, {12, 12, 5, 0, 0}, " 12|12x|+5|0x1B|-0"},
        SplitCase{"white_space_kinds",
                  "\t7,\n8,\v9,\f10,\r11",
                  5,
                  {7, 8, 9, 10, 11},
                  "\t7|\n8|\v9|\f10|\r11"},
        SplitCase{"int32_bounds",
                  "2147483647,-2147483648",
                  2,
                  {INT_MAX, INT_MIN},
                  "2147483647|-2147483648"},
        SplitCase{"signs_and_blanks_convert_nothing",
                  "+,-, ,- 5",
                  4,
                  {untouched, untouched, untouched, untouched},
                  "+|-| |- 5"},
        SplitCase{"single_item", "255", 1, {255}, "255"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SeparaNull, NullTextOrArrayWritesNothing) {
    auto text = writable("1,2");
    int values[2] = {untouched, untouched};
    EXPECT_EQ(separa(nullptr, values), 0);
    EXPECT_EQ(values[0], untouched);
    EXPECT_EQ(separa(text.data(), nullptr), 0);
    EXPECT_EQ(left_text(text), "1,2");
}

// The host may be in the middle of splitting its own text with strtok; a list
// parsed by the library must not disturb that.
TEST(SeparaReentrancy, HostStrtokCarriesOn) {
    char host[] = "a;b;c";
    ASSERT_STREQ(std::strtok(host, ";"), "a");
    auto list = writable("1,2,3");
    int values[3] = {};
    EXPECT_EQ(separa(list.data(), values), 3);
    const char* next = std::strtok(nullptr, ";");
    ASSERT_NE(next, nullptr);
    EXPECT_STREQ(next, "b");
}

struct LengthCase {
    const char* name;
    std::string text;
    int length;
};

void PrintTo(const LengthCase& c, std::ostream* out) {
    *out << c.name;
}

class Strlen1 : public ::testing::TestWithParam<LengthCase> {};

TEST_P(Strlen1, CountsBytesBeforeTheFirstNul) {
    EXPECT_EQ(strlen1(GetParam().text.c_str()), GetParam().length);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Strlen1,
    ::testing::Values(LengthCase{"empty", "", 0}, LengthCase{"abc", "abc", 3},
                      LengthCase{"high_and_control_bytes", "\x01\x1B\x80\xFF", 4},
                      LengthCase{"stops_at_first_nul", std::string("ab\0cd", 5), 2},
                      LengthCase{"long", std::string(70000, 'x'), 70000}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Strlen1Null, IsZero) {
    EXPECT_EQ(strlen1(nullptr), 0);
}

struct ConcatCase {
    const char* name;
    const char* first;
    std::uint64_t first_len;
    const char* second;
    std::uint64_t second_len;
    std::string expected;  // dest afterwards; starts as eight '.'
};

void PrintTo(const ConcatCase& c, std::ostream* out) {
    *out << c.name;
}

class Concat : public ::testing::TestWithParam<ConcatCase> {};

TEST_P(Concat, CopiesBothRangesAndNothingElse) {
    const auto& c = GetParam();
    char dest[9] = "........";
    EXPECT_EQ(concat(dest, c.first, c.first_len, c.second, c.second_len), dest);
    EXPECT_EQ(std::string(dest, 8), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, Concat,
    ::testing::Values(ConcatCase{"ab_cde", "ab", 2, "cde", 3, "abcde..."},
                      ConcatCase{"both_empty", "ab", 0, "cde", 0, "........"},
                      ConcatCase{"first_only", "ab", 2, "cde", 0, "ab......"},
                      ConcatCase{"second_only", "ab", 0, "cde", 3, "cde....."},
                      ConcatCase{"nul_bytes_are_copied", "a\0", 2, "\0b", 2,
                                 std::string("a\0\0b....", 8)},
                      ConcatCase{"null_first_with_count", nullptr, 2, "cde", 3, "........"},
                      ConcatCase{"null_second_with_count", "ab", 2, nullptr, 1, "........"},
                      ConcatCase{"null_ranges_without_count", nullptr, 0, nullptr, 0, "........"},
                      ConcatCase{"null_first_zero_count", nullptr, 0, "cd", 2, "cd......"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConcatNullDest, ReturnsNull) {
    EXPECT_EQ(concat(nullptr, "ab", 2, "c", 1), nullptr);
}

// Sent after the call under test so the bytes seen up to it are exactly what
// that call sent.
const Bytes cut_command = {0x1D, 0x56, 0x00};

Bytes received_through_cut(FakePrinter& printer, std::size_t expected_before) {
    EXPECT_EQ(AcionaGuilhotina(), 1);
    return printer.wait_for_bytes(expected_before + cut_command.size());
}

struct RawCase {
    const char* name;
    std::string list;
    Bytes sent;  // between ESC @ and LF; ignored when refused
    bool refused;
    std::string left;  // the caller's text afterwards, '|' for NUL
};

void PrintTo(const RawCase& c, std::ostream* out) {
    *out << c.name;
}

class RawCommand : public ::testing::TestWithParam<RawCase> {};

TEST_P(RawCommand, SendsOneBytePerItemOrNothing) {
    const auto& c = GetParam();
    FakePrinter printer;
    ASSERT_EQ(AbreSocket(printer.address().c_str(), 0), 1);
    auto text = writable(c.list);
    Bytes expected;
    if (!c.refused) expected = concat_bytes({{0x1B, 0x40}, c.sent, {0x0A}});
    EXPECT_EQ(ComandoTx(text.data()), c.refused ? 0 : 1);
    expected.insert(expected.end(), cut_command.begin(), cut_command.end());
    EXPECT_EQ(hex(received_through_cut(printer, expected.size() - cut_command.size())),
              hex(expected));
    EXPECT_EQ(left_text(text), with_nuls(c.left));
}

INSTANTIATE_TEST_SUITE_P(
    Lists, RawCommand,
    ::testing::Values(
        RawCase{"esc_a_1", "27,97,1", {0x1B, 0x61, 0x01}, false, "27|97|1"},
        RawCase{"zero_is_sent", "27,97,0", {0x1B, 0x61, 0x00}, false, "27|97|0"},
        RawCase{"zero_in_the_middle", "27,0,64", {0x1B, 0x00, 0x40}, false, "27|0|64"},
        RawCase{"256_is_low_byte_00", "29,86,256", {0x1D, 0x56, 0x00}, false, "29|86|256"},
        RawCase{"last_value_low_byte_only", "27,64,300", {0x1B, 0x40, 0x2C}, false, "27|64|300"},
        RawCase{"earlier_value_low_byte_only", "300,64", {0x2C, 0x40}, false, "300|64"},
        RawCase{"negative_and_large",
                "-1,65535,16777216,2147483647,-2147483648",
                {0xFF, 0xFF, 0x00, 0xFF, 0x00},
                false,
                "-1|65535|16777216|2147483647|-2147483648"},
        RawCase{"stray_commas", ",27,,64,", {0x1B, 0x40}, false, ",27|,64|"},
        RawCase{"read_as_percent_d", " 27,+64,12x", {0x1B, 0x40, 0x0C}, false, " 27|+64|12x"},
        RawCase{"empty_list", "", {}, true, ""}, RawCase{"commas_only", ",,", {}, true, ",,"},
        RawCase{"first_item_not_a_number", "x,27", {}, true, "x|27"},
        RawCase{"middle_item_not_a_number", "27,x,1", {}, true, "27|x|1"},
        RawCase{"blank_item", "27, ,1", {}, true, "27| |1"},
        RawCase{"last_item_not_a_number", "27,97,-", {}, true, "27|97|-"}),
    [](const auto& info) { return std::string(info.param.name); });

std::string numbered_list(int count) {
    std::string list;
    for (int i = 0; i < count; ++i) {
        // Appended piece by piece: "," + std::to_string(...) makes GCC 12 at -O2/-O3
        // report a false overlap inside std::string (-Wrestrict).
        if (i) list += ',';
        list += std::to_string(1 + i % 255);
    }
    return list;
}

TEST(RawCommandCapacity, Holds4096ItemsInOneCommand) {
    FakePrinter printer;
    ASSERT_EQ(AbreSocket(printer.address().c_str(), 0), 1);
    auto text = writable(numbered_list(4096));
    EXPECT_EQ(ComandoTx(text.data()), 1);
    Bytes got = received_through_cut(printer, 4096 + 3);
    ASSERT_EQ(got.size(), 4096u + 3 + cut_command.size());
    EXPECT_EQ(got[0], 0x1B);
    EXPECT_EQ(got[1], 0x40);
    for (std::size_t i = 0; i < 4096; ++i) ASSERT_EQ(got[2 + i], 1 + i % 255) << "item " << i;
    EXPECT_EQ(got[4098], 0x0A);
}

TEST(RawCommandCapacity, Refuses4097Items) {
    FakePrinter printer;
    ASSERT_EQ(AbreSocket(printer.address().c_str(), 0), 1);
    auto text = writable(numbered_list(4097));
    EXPECT_EQ(ComandoTx(text.data()), 0);
    EXPECT_EQ(hex(received_through_cut(printer, 0)), hex(cut_command));
    // Still split to its end like any list.
    EXPECT_EQ(std::count(text.begin(), text.end(), ','), 0);
}

TEST(RawCommandNull, IsRefused) {
    FakePrinter printer;
    ASSERT_EQ(AbreSocket(printer.address().c_str(), 0), 1);
    EXPECT_EQ(ComandoTx(nullptr), 0);
    EXPECT_EQ(hex(received_through_cut(printer, 0)), hex(cut_command));
}

}  // namespace

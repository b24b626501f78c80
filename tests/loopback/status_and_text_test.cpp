// SPDX-License-Identifier: MIT
// quorvel_read_status against a loopback printer that answers each real-time
// status query as told, and quorvel_utf8_to_cp1252.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <thread>

#include "fake_printer.h"
#include "quorvel.h"

using namespace quorvel::testing;
using namespace std::chrono_literals;

namespace {

// Answers DLE EOT n with replies[n - 1]; a negative entry stays unanswered.
// before, if any, goes out ahead of every answer (an automatic status group).
void answer_queries(FakePrinter& printer, std::array<int, 4> replies, Bytes before = {}) {
    printer.set_responder([replies, before](const Bytes& chunk) {
        Bytes out;
        for (std::size_t i = 0; i + 2 < chunk.size(); ++i)
            if (chunk[i] == 0x10 && chunk[i + 1] == 0x04 && chunk[i + 2] >= 1 &&
                chunk[i + 2] <= 4 && replies[chunk[i + 2] - 1u] >= 0) {
                out.insert(out.end(), before.begin(), before.end());
                out.push_back(static_cast<std::uint8_t>(replies[chunk[i + 2] - 1u]));
            }
        return out;
    });
}

// The named fields in declaration order, then the raw bytes.
std::array<int, 18> fields(const quorvel_status& s) {
    return {s.online,
            s.drawer_pin3,
            s.waiting_recovery,
            s.feed_button,
            s.cover_open,
            s.paper_feeding,
            s.stopped_paper_end,
            s.error,
            s.recoverable_error,
            s.autocutter_error,
            s.unrecoverable_error,
            s.auto_recoverable_error,
            s.paper_near_end,
            s.paper_out,
            s.raw[0],
            s.raw[1],
            s.raw[2],
            s.raw[3]};
}

struct StatusCase {
    const char* name;
    std::array<int, 4> replies;
    Bytes before;
    int result;
    std::array<int, 18> expected;
};

class ReadStatus : public ::testing::TestWithParam<StatusCase> {
  protected:
    void TearDown() override { FechaSocket(); }
};

TEST_P(ReadStatus, FieldsFollowTheReplyBits) {
    const StatusCase& c = GetParam();
    FakePrinter printer;
    answer_queries(printer, c.replies, c.before);
    ASSERT_EQ(AbreSocket(printer.address().c_str(), 2), 1);
    // A late byte from before the call is dropped, not read as a reply.
    printer.send_unsolicited(bytes_of({0x1E}));
    std::this_thread::sleep_for(100ms);
    quorvel_status status;
    std::memset(&status, 0x55, sizeof status);
    const auto start = Clock::now();
    EXPECT_EQ(quorvel_read_status(&status), c.result);
    EXPECT_LT(seconds_since(start), 3.0) << "one missing reply ends the call";
    EXPECT_EQ(fields(status), c.expected);
    EXPECT_EQ(quorvel_last_error(nullptr, 0), c.result == 1 ? QUORVEL_E_OK : QUORVEL_E_NO_REPLY);
    // Queries stop after the first that went unanswered.
    Bytes queries;
    for (int n = 1; n <= 4; ++n) {
        queries.insert(queries.end(), {0x10, 0x04, static_cast<std::uint8_t>(n)});
        if (c.replies[static_cast<std::size_t>(n - 1)] < 0) break;
    }
    EXPECT_EQ(hex(printer.wait_for_bytes(queries.size() + 1, 300ms)), hex(queries));
}

const Bytes status_group = bytes_of({0x14, 0x00, 0x0C, 0x00});  // automatic status back

INSTANTIATE_TEST_SUITE_P(
    States, ReadStatus,
    ::testing::Values(
        StatusCase{"AllClear",
                   {0x12, 0x12, 0x12, 0x12},
                   {},
                   1,
                   {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x12, 0x12, 0x12, 0x12}},
        // Off line with pin 3 high; cover open, stopped by paper end; cutter error; paper out.
        StatusCase{"CoverOpenPaperOut",
                   {0x1E, 0x36, 0x1A, 0x72},
                   {},
                   1,
                   {0, 1, 0, 0, 1, 0, 1, 0, 0, 1, 0, 0, 0, 1, 0x1E, 0x36, 0x1A, 0x72}},
        // Waiting for recovery, feed button; feeding, error; three error causes; near end.
        StatusCase{"ErrorsNearEnd",
                   {0x72, 0x5A, 0x76, 0x1E},
                   {},
                   1,
                   {1, 0, 1, 1, 0, 1, 0, 1, 1, 0, 1, 1, 1, 0, 0x72, 0x5A, 0x76, 0x1E}},
        // Automatic status groups ahead of every reply are skipped.
        StatusCase{"StatusGroupsSkipped",
                   {0x16, 0x12, 0x12, 0x1E},
                   status_group,
                   1,
                   {1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0x16, 0x12, 0x12, 0x1E}},
        StatusCase{"ThirdUnanswered",
                   {0x12, 0x32, -1, 0x12},
                   {},
                   0,
                   {1, 0, 0, 0, 0, 0, 1, 0, -1, -1, -1, -1, -1, -1, 0x12, 0x32, -1, -1}},
        StatusCase{"Silent",
                   {-1, -1, -1, -1},
                   {},
                   0,
                   {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}}),
    [](const auto& info) { return std::string(info.param.name); });

struct Conversion {
    const char* name;
    const char* utf8;
    int result;
    const char* cp1252;  // the bytes when converted
    int code;
    const char* message;  // a part of the message
};

class Utf8ToCp1252 : public ::testing::TestWithParam<Conversion> {};

TEST_P(Utf8ToCp1252, ConvertsOrNamesTheFirstBadCharacter) {
    const Conversion& c = GetParam();
    char out[64];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(quorvel_utf8_to_cp1252(c.utf8, out, sizeof out), c.result);
    char message[QUORVEL_ERROR_MESSAGE_SIZE];
    EXPECT_EQ(quorvel_last_error(message, sizeof message), c.code);
    EXPECT_NE(std::strstr(message, c.message), nullptr) << message;
    if (c.result >= 0) {
        EXPECT_EQ(std::string(out), std::string(c.cp1252));
        EXPECT_EQ(quorvel_utf8_to_cp1252(c.utf8, nullptr, 0), c.result) << "measuring";
    } else {
        EXPECT_EQ(out[0], '\0') << "nothing half converted";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Utf8ToCp1252,
    ::testing::Values(
        Conversion{"Ascii", "Total: 12,50", 12, "Total: 12,50", QUORVEL_E_OK, "ok"},
        Conversion{"Empty", "", 0, "", QUORVEL_E_OK, "ok"},
        Conversion{"Latin1", "A\xC3\xA7\xC3\xA3o \xC3\xBF\xC2\xA0", 7, "A\xE7\xE3o \xFF\xA0",
                   QUORVEL_E_OK, "ok"},
        Conversion{
            "HighBlock",
            "\xE2\x82\xAC\xE2\x80\x94\xE2\x80\x9C\xE2\x80\x9D\xC5\xB8\xE2\x84\xA2\xC5\xA0\xCB\x86",
            8, "\x80\x97\x93\x94\x9F\x99\x8A\x88", QUORVEL_E_OK, "ok"},
        Conversion{"ByteOrderMark", "\xEF\xBB\xBF\xC3\xA9", 1, "\xE9", QUORVEL_E_OK, "ok"},
        Conversion{"Cjk", "ab\xE4\xB8\xAD", -1, "", QUORVEL_E_NOT_CP1252,
                   "U+4E2D at byte offset 2"},
        Conversion{"Emoji", "x\xF0\x9F\x98\x80", -1, "", QUORVEL_E_NOT_CP1252,
                   "U+1F600 at byte offset 1"},
        Conversion{"C1Control", "\xC2\x81", -1, "", QUORVEL_E_NOT_CP1252,
                   "U+0081 at byte offset 0"},
        Conversion{"CutShort", "a\xC3", -1, "", QUORVEL_E_BAD_UTF8, "0xC3 at byte offset 1"},
        Conversion{"Overlong", "ab\xC0\x80", -1, "", QUORVEL_E_BAD_UTF8, "0xC0 at byte offset 2"},
        Conversion{"OverlongThree", "\xE0\x80\xAF", -1, "", QUORVEL_E_BAD_UTF8, "offset 0"},
        Conversion{"Surrogate", "\xED\xA0\x80", -1, "", QUORVEL_E_BAD_UTF8,
                   "0xED at byte offset 0"},
        Conversion{"PastUnicode", "\xF4\x90\x80\x80", -1, "", QUORVEL_E_BAD_UTF8, "0xF4"},
        Conversion{"StrayContinuation", "abc\x80", -1, "", QUORVEL_E_BAD_UTF8,
                   "0x80 at byte offset 3"},
        Conversion{"BadSecondByte", "\xC3(", -1, "", QUORVEL_E_BAD_UTF8, "0xC3 at byte offset 0"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Utf8Buffer, TextAndItsNulMustFit) {
    const char* text = "\xE2\x82\xAC 5";  // 3 bytes in Windows-1252
    char out[8];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(quorvel_utf8_to_cp1252(text, out, 4), 3);
    EXPECT_STREQ(out, "\x80 5");
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(quorvel_utf8_to_cp1252(text, out, 3), -1);
    EXPECT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_BUFFER_TOO_SMALL);
    EXPECT_EQ(out[0], '\0');
    EXPECT_EQ(out[3], '#') << "nothing written past size";
    EXPECT_EQ(quorvel_utf8_to_cp1252(text, out, 0), -1);
    EXPECT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_BUFFER_TOO_SMALL);
    EXPECT_EQ(quorvel_utf8_to_cp1252(text, nullptr, 5), -1);
    EXPECT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_NULL_INPUT);
    EXPECT_EQ(quorvel_utf8_to_cp1252(text, out, -1), -1);
    EXPECT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_BAD_ARGUMENT);
}

}  // namespace

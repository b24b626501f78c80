// SPDX-License-Identifier: MIT
// Status queries over TCP against a real listener: the query each model sends,
// each row of each reply table, and every way a printer can fail to answer.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "fake_printer.h"
#include "quorvel.h"
#include "status_cases.h"

using namespace quorvel::testing;
using namespace std::chrono_literals;

namespace {

// Parameter cases print as their name in test listings.
template <typename Case>
requires requires(const Case& c) {
    c.name;
}
void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}


class TcpStatusTable : public ::testing::TestWithParam<StatusCase> {};

TEST_P(TcpStatusTable, QueryAndReplyCode) {
    const auto& c = GetParam();
    FakePrinter printer;
    printer.answer_with({c.reply});
    ASSERT_EQ(AbreSocket(printer.address().c_str(), c.model), 1);
    EXPECT_EQ(c.call(), c.expected);
    EXPECT_EQ(hex(printer.received()), hex(c.query));
    EXPECT_EQ(FechaSocket(), 1);
}

INSTANTIATE_TEST_SUITE_P(Rows, TcpStatusTable, ::testing::ValuesIn(status_table_cases()),
                         [](const auto& info) { return status_case_name(info.param); });

struct MultiByteCase {
    const char* name;
    int model;
    int (QUORVEL_CALL* call)();
    Bytes reply;
    int expected;
};

class TcpSeveralReplyBytes : public ::testing::TestWithParam<MultiByteCase> {};

// Only the first byte of the answer counts, and the rest is not taken for the
// answer to the next query either.
TEST_P(TcpSeveralReplyBytes, FirstByteCounts) {
    const auto& c = GetParam();
    FakePrinter printer;
    printer.answer_with(c.reply);
    ASSERT_EQ(AbreSocket(printer.address().c_str(), c.model), 1);
    EXPECT_EQ(c.call(), c.expected);
    printer.answer_with({0x1E});
    EXPECT_EQ(Le_Status(), c.model == 2 ? 0 : 9);
    EXPECT_EQ(FechaSocket(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, TcpSeveralReplyBytes,
    ::testing::Values(MultiByteCase{"ready_then_offline", 0, Le_Status, {0x12, 0x1E, 0x1E}, 32},
                      MultiByteCase{"drawer_low_then_high", 1, Le_Status_Gaveta, {0x00, 0xFF}, 1},
                      MultiByteCase{"paper_then_noise", 2, Le_Status, {0x04, 0x00, 0x12, 0x00}, 9}),
    [](const auto& info) { return std::string(info.param.name); });

// Bytes the printer sent unasked before a query are dropped, not read as its reply.
TEST(TcpStatus, StaleBytesBeforeQueryAreNotTheReply) {
    FakePrinter printer;
    ASSERT_EQ(AbreSocket(printer.address().c_str(), 0), 1);
    printer.send_unsolicited({0x12, 0x12});
    std::this_thread::sleep_for(100ms);  // let them reach the host's socket
    printer.answer_with({0x1E});
    EXPECT_EQ(Le_Status(), 9);
    printer.send_unsolicited({0x00});
    std::this_thread::sleep_for(100ms);
    printer.answer_with({0x01});
    EXPECT_EQ(Le_Status_Gaveta(), 2);
    EXPECT_EQ(FechaSocket(), 1);
}

struct SilentCase {
    const char* name;
    int model;
    int (QUORVEL_CALL* call)();
};

class TcpNoAnswer : public ::testing::TestWithParam<SilentCase> {};

// A printer that reads the query and never answers: no status after the 2 s
// reply bound (model 0 and the drawer would turn a reply byte 00 into a code).
TEST_P(TcpNoAnswer, NoStatusAfterTheReplyBound) {
    const auto& c = GetParam();
    FakePrinter printer;
    ASSERT_EQ(AbreSocket(printer.address().c_str(), c.model), 1);
    auto start = Clock::now();
    EXPECT_EQ(c.call(), 0);
    double took = seconds_since(start);
    EXPECT_GE(took, 1.8);
    EXPECT_LE(took, 3.5);
    EXPECT_EQ(printer.wait_for_bytes(3).size(), 3u);
    EXPECT_EQ(FechaSocket(), 1);
}

INSTANTIATE_TEST_SUITE_P(Queries, TcpNoAnswer,
                         ::testing::Values(SilentCase{"printer_model0", 0, Le_Status},
                                           SilentCase{"drawer", 0, Le_Status_Gaveta}),
                         [](const auto& info) { return std::string(info.param.name); });

struct EndingCase {
    const char* name;
    FakePrinter::Behaviour behaviour;
    bool command_first;  // a command before the query, for a printer that resets on data
    bool wait_for_end;   // the connection is already gone when the query is made
    const char* expected_stderr;
};

class TcpConnectionEnds : public ::testing::TestWithParam<EndingCase> {};

// A printer that closes gives no status and no message; one that resets gives
// no status and "recv() failed". Either way the call returns, and the link
// comes back by closing and opening it again.
TEST_P(TcpConnectionEnds, NoStatusAndTheHostCarriesOn) {
    const auto& c = GetParam();
    for (int (QUORVEL_CALL* call)() : {Le_Status, Le_Status_Gaveta}) {
        FakePrinter printer(c.behaviour);
        ASSERT_EQ(AbreSocket(printer.address().c_str(), 0), 1);
        if (c.command_first) AcionaGuilhotina();
        if (c.wait_for_end) {
            ASSERT_TRUE(printer.wait_for_disconnect());
        }
        ::testing::internal::CaptureStderr();
        auto start = Clock::now();
        int status = call();
        double took = seconds_since(start);
        std::string errors = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, 0);
        EXPECT_LT(took, 1.0);  // the end shows at once: no waiting out the reply bound
        EXPECT_EQ(errors, c.expected_stderr);
        EXPECT_EQ(FechaSocket(), 1);

        FakePrinter fresh;
        fresh.answer_with({0x12});
        ASSERT_EQ(AbreSocket(fresh.address().c_str(), 0), 1);
        EXPECT_EQ(Le_Status(), 32);
        EXPECT_EQ(FechaSocket(), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Endings, TcpConnectionEnds,
    ::testing::Values(EndingCase{"closed_before_query", FakePrinter::Behaviour::close_at_once,
                                 false, true, ""},
                      EndingCase{"reset_before_query", FakePrinter::Behaviour::reset_on_data, true,
                                 true, "recv() failed\n"},
                      EndingCase{"reset_on_query", FakePrinter::Behaviour::reset_on_data, false,
                                 false, "recv() failed\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// Models outside 0 to 3 have no status query: nothing is sent, nothing read.
TEST(TcpStatus, UnknownModelSendsNothing) {
    for (int model : {4, -1, 255}) {
        FakePrinter printer;
        printer.answer_with({0x12});
        ASSERT_EQ(AbreSocket(printer.address().c_str(), model), 1);
        EXPECT_EQ(Le_Status(), 0) << "model " << model;
        ASSERT_EQ(AcionaGuilhotina(), 1);  // a marker: anything sent before it arrives first
        EXPECT_EQ(hex(printer.wait_for_bytes(3)), "1D 56 00") << "model " << model;
        EXPECT_EQ(FechaSocket(), 1);
    }
}

TEST(TcpStatus, NoLinkOpenGivesNoStatusAtOnce) {
    auto start = Clock::now();
    EXPECT_EQ(Le_Status(), 0);
    EXPECT_EQ(Le_Status_Gaveta(), 0);
    EXPECT_LT(seconds_since(start), 0.5);
}

}  // namespace

namespace {

struct GroupCase {
    const char* name;
    int model;
    int (QUORVEL_CALL* call)();
    Bytes reply;
    int expected;
};

class TcpAutomaticStatusBack : public ::testing::TestWithParam<GroupCase> {};

// With automatic status back on, 4-byte groups (first byte 0xx1xx00) may come
// before the reply. DLE EOT and GS r replies never look like a group's first
// byte, so the groups are passed over; ESC v replies might, so model 2 reads
// the first byte as it always did. A group byte with nothing after it stands.
TEST_P(TcpAutomaticStatusBack, GroupsBeforeTheReplyArePassedOver) {
    const auto& c = GetParam();
    FakePrinter printer;
    printer.answer_with(c.reply);
    ASSERT_EQ(AbreSocket(printer.address().c_str(), c.model), 1);
    EXPECT_EQ(c.call(), c.expected);
    EXPECT_EQ(FechaSocket(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, TcpAutomaticStatusBack,
    ::testing::Values(
        GroupCase{"group_then_ready", 0, Le_Status, {0x10, 0, 0, 0, 0x12}, 32},
        GroupCase{"group_then_pin3_model1", 1, Le_Status, {0x14, 0, 0, 0, 0x16}, 24},
        GroupCase{"two_groups_then_offline", 3, Le_Status, {0x10, 0, 0, 0, 0x34, 0, 0x0C, 0, 0x1A},
                  5},
        GroupCase{"group_then_drawer_low", 0, Le_Status_Gaveta, {0x14, 0, 0x03, 0, 0x00}, 1},
        GroupCase{"esc_v_reads_the_first_byte", 2, Le_Status, {0x10, 0, 0, 0, 0x04}, 0},
        GroupCase{"lone_group_byte_stands", 0, Le_Status, {0x10}, 24},
        GroupCase{"group_without_reply_model1", 1, Le_Status, {0x14, 0, 0, 0}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// The reply may come after the group, in a later segment, within the bound.
TEST(TcpStatus, ReplyAfterAGroupInALaterSegment) {
    FakePrinter printer;
    printer.answer_with({0x18, 0, 0, 0});
    ASSERT_EQ(AbreSocket(printer.address().c_str(), 0), 1);
    std::thread late([&] {
        printer.wait_for_bytes(3);
        std::this_thread::sleep_for(300ms);
        printer.send_unsolicited({0x1E});
    });
    const auto start = Clock::now();
    EXPECT_EQ(Le_Status(), 9);
    EXPECT_LT(seconds_since(start), 1.5);
    late.join();
    EXPECT_EQ(FechaSocket(), 1);
}

}  // namespace

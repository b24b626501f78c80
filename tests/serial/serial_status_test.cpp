// SPDX-License-Identifier: MIT
// Status queries over a real pseudo-terminal: each row of each reply table,
// silence, several reply bytes and stale input.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "pty_pair.h"
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


class SerialStatusTable : public ::testing::TestWithParam<StatusCase> {};

TEST_P(SerialStatusTable, QueryAndReplyCode) {
    const auto& c = GetParam();
    PtyPair pty;
    ASSERT_EQ(AbrePortaSerial(pty.slave_name().c_str(), c.model), 1);
    auto printer = pty.answer_once(c.query.size(), {c.reply});
    EXPECT_EQ(c.call(), c.expected);
    EXPECT_EQ(hex(printer.get()), hex(c.query));
    EXPECT_TRUE(pty.read_master_for(50ms).empty());
}

INSTANTIATE_TEST_SUITE_P(Rows, SerialStatusTable, ::testing::ValuesIn(status_table_cases()),
                         [](const auto& info) { return status_case_name(info.param); });

// Reply bytes that a cooked line would eat or change (interrupt, flow control,
// carriage return, erase) reach the drawer query as they are: all read as high.
TEST(SerialStatus, ControlBytesAsRepliesPassRaw) {
    PtyPair pty;
    ASSERT_EQ(AbrePortaSerial(pty.slave_name().c_str(), 0), 1);
    for (std::uint8_t reply : {0x03, 0x11, 0x13, 0x0D, 0x7F, 0x15, 0x04, 0x1A, 0x1C}) {
        auto printer = pty.answer_once(3, {reply});
        EXPECT_EQ(Le_Status_Gaveta(), QUORVEL_DRAWER_HIGH) << hex({reply});
        EXPECT_EQ(hex(printer.get()), "1D 72 02");
    }
}

struct SilentCase {
    const char* name;
    int model;
    int (*call)();
    const char* query;
};

class SerialNoAnswer : public ::testing::TestWithParam<SilentCase> {};

// No reply byte within the 2 s read time-out: no status (model 0 and the drawer
// would turn a reply byte 00 into a code).
TEST_P(SerialNoAnswer, NoStatusAfterTheReadTimeout) {
    const auto& c = GetParam();
    PtyPair pty;
    ASSERT_EQ(AbrePortaSerial(pty.slave_name().c_str(), c.model), 1);
    auto start = Clock::now();
    EXPECT_EQ(c.call(), 0);
    double took = seconds_since(start);
    EXPECT_GE(took, 1.8);
    EXPECT_LE(took, 3.5);
    EXPECT_EQ(hex(pty.read_master(3)), c.query);
}

INSTANTIATE_TEST_SUITE_P(Queries, SerialNoAnswer,
                         ::testing::Values(SilentCase{"printer_model0", 0, Le_Status, "10 04 01"},
                                           SilentCase{"printer_model2", 2, Le_Status, "1B 76 01"},
                                           SilentCase{"drawer", 3, Le_Status_Gaveta, "1D 72 02"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct StaleCase {
    const char* name;
    int model;
    int (*call)();
    Bytes stale;  // waiting on the line before the query
    Bytes reply;
    int expected;
};

class SerialStaleInput : public ::testing::TestWithParam<StaleCase> {};

// Bytes waiting before a query, whether sent unasked or left over from a longer
// reply, are dropped: only the first byte of the fresh reply counts.
TEST_P(SerialStaleInput, OnlyTheFreshReplyCounts) {
    const auto& c = GetParam();
    PtyPair pty;
    ASSERT_EQ(AbrePortaSerial(pty.slave_name().c_str(), c.model), 1);
    ASSERT_TRUE(pty.write_master(c.stale));
    std::this_thread::sleep_for(100ms);  // let them reach the port's input queue
    auto printer = pty.answer_once(3, c.reply);
    EXPECT_EQ(c.call(), c.expected);
    printer.get();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SerialStaleInput,
    ::testing::Values(
        StaleCase{"ready_before_offline", 0, Le_Status, {0x12}, {0x1E}, QUORVEL_STATUS_OFFLINE_PIN3_HIGH},
        StaleCase{"many_before_drawer_high", 1, Le_Status, Bytes(300, 0x12), {0x1A}, 5},
        StaleCase{"paper_before_none", 2, Le_Status, {0x00}, {0x04}, QUORVEL_STATUS_OFFLINE_PIN3_HIGH},
        StaleCase{"low_before_high", 0, Le_Status_Gaveta, {0x00}, {0x01}, QUORVEL_DRAWER_HIGH},
        StaleCase{"several_reply_bytes", 3, Le_Status, {}, {0x12, 0x1E, 0x16}, 32}),
    [](const auto& info) { return std::string(info.param.name); });

// The tail of a longer reply is not taken as the answer to the next query.
TEST(SerialStatus, TailOfLongerReplyIsNotTheNextAnswer) {
    PtyPair pty;
    ASSERT_EQ(AbrePortaSerial(pty.slave_name().c_str(), 0), 1);
    auto first = pty.answer_once(3, {0x12, 0x1A, 0x1A});
    EXPECT_EQ(Le_Status(), QUORVEL_STATUS_READY);
    first.get();
    std::this_thread::sleep_for(100ms);
    auto second = pty.answer_once(3, {0x1E});
    EXPECT_EQ(Le_Status(), QUORVEL_STATUS_OFFLINE_PIN3_HIGH);
    second.get();
}

// One thread's query holds the port until its reply is read: another thread's
// commands wait, so they never land between a query and its answer.
TEST(SerialStatus, QueryHoldsThePortUntilItsReply) {
    PtyPair pty;
    ASSERT_EQ(AbrePortaSerial(pty.slave_name().c_str(), 0), 1);
    constexpr int queries = 4, cuts = 20;
    int queries_seen = 0, cuts_seen = 0, bytes_during_query = 0;
    std::thread printer([&] {
        // Every command here is three bytes long, so the stream splits into frames.
        while (queries_seen + cuts_seen < queries + cuts) {
            Bytes frame = pty.read_master(3);
            if (frame.size() != 3) return;
            if (hex(frame) == "1D 56 00") {
                ++cuts_seen;
                continue;
            }
            ++queries_seen;
            bytes_during_query += static_cast<int>(pty.read_master_for(100ms).size());
            pty.write_master({0x12});
        }
    });
    std::thread cutter([&] {
        for (int i = 0; i < cuts; ++i) {
            EXPECT_EQ(AcionaGuilhotina(), 1);
            std::this_thread::sleep_for(10ms);
        }
    });
    for (int i = 0; i < queries; ++i) EXPECT_EQ(Le_Status(), QUORVEL_STATUS_READY);
    cutter.join();
    printer.join();
    EXPECT_EQ(queries_seen, queries);
    EXPECT_EQ(cuts_seen, cuts);
    EXPECT_EQ(bytes_during_query, 0);
}

// Models outside 0 to 3 have no status query: nothing is written or read.
TEST(SerialStatus, UnknownModelSendsNothing) {
    PtyPair pty;
    for (int model : {4, -1, 100}) {
        ASSERT_EQ(AbrePortaSerial(pty.slave_name().c_str(), model), 1);
        ASSERT_TRUE(pty.write_master({0x12}));
        auto start = Clock::now();
        EXPECT_EQ(Le_Status(), 0) << "model " << model;
        EXPECT_LT(seconds_since(start), 0.5);
        EXPECT_TRUE(pty.read_master_for(100ms).empty()) << "model " << model;
    }
}

}  // namespace

// SPDX-License-Identifier: MIT
// A serial printer that goes silent, answers late, or whose terminal vanishes
// under an open link: calls return within their bounds with 0, the host lives.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "quorvel.h"
#include "raw_peer.h"

using namespace quorvel::testing;
using namespace std::chrono_literals;

namespace {

struct VanishedTerminalCase {
    const char* name;
    int (*call)();
};

void PrintTo(const VanishedTerminalCase& c, std::ostream* os) { *os << c.name; }

class TerminalVanishes : public ::testing::TestWithParam<VanishedTerminalCase> {};

// The master side closes while the port is open: a hang-up under the link.
TEST_P(TerminalVanishes, CallsReturnZeroAndTheHostCarriesOn) {
    Pty pty;
    ASSERT_EQ(AbrePortaSerial(pty.slave_name().c_str(), 0), 1);
    pty.close_master();
    pty.close_slave();
    auto start = Clock::now();
    EXPECT_EQ(GetParam().call(), 0);
    EXPECT_LT(seconds_since(start), 2.0 + 1.5);
    EXPECT_EQ(FechaPortaSerial(), 1);
    EXPECT_EQ(FechaPortaSerial(), 0);
}

INSTANTIATE_TEST_SUITE_P(Calls, TerminalVanishes,
                         ::testing::Values(VanishedTerminalCase{"cut", AcionaGuilhotina},
                                           VanishedTerminalCase{
                                               "long_text",
                                               [] {
                                                   static const std::string text(8000, 'y');
                                                   return ImprimeTexto(text.c_str(), 1, 0, 0, 1);
                                               }},
                                           VanishedTerminalCase{"status", Le_Status},
                                           VanishedTerminalCase{"drawer_status", Le_Status_Gaveta}),
                         [](const auto& info) { return std::string(info.param.name); });

struct SerialQueryCase {
    const char* name;
    int model;
    int (*query)();
    int late_reply;  // -1: never answers
    std::uint8_t prompt_reply;
    int expected_second;
};

void PrintTo(const SerialQueryCase& c, std::ostream* os) { *os << c.name; }

class SerialQuery : public ::testing::TestWithParam<SerialQueryCase> {};

// First query: no answer within 2 s (none at all, or one that comes late).
// Second query: answered at once, and the stale late byte is not read for it.
TEST_P(SerialQuery, NoAnswerInTimeGivesZeroThenFreshAnswerCounts) {
    const auto& c = GetParam();
    Pty pty;
    std::atomic<bool> done{false};
    std::thread printer([&] {
        std::uint8_t query[16];
        int seen = 0;
        while (!done) {
            if (read_some(pty.master(), query, sizeof query, 50ms) <= 0) continue;
            if (seen++ == 0) {
                if (c.late_reply < 0) continue;
                std::this_thread::sleep_for(2500ms);
                std::uint8_t late = static_cast<std::uint8_t>(c.late_reply);
                (void)!::write(pty.master(), &late, 1);
            } else {
                (void)!::write(pty.master(), &c.prompt_reply, 1);
            }
        }
    });
    ASSERT_EQ(AbrePortaSerial(pty.slave_name().c_str(), c.model), 1);
    auto start = Clock::now();
    EXPECT_EQ(c.query(), 0);
    double took = seconds_since(start);
    EXPECT_GE(took, 1.9);
    EXPECT_LT(took, 3.5);
    std::this_thread::sleep_for(1200ms);
    EXPECT_EQ(c.query(), c.expected_second);
    done = true;
    printer.join();
    EXPECT_EQ(FechaPortaSerial(), 1);
}

INSTANTIATE_TEST_SUITE_P(Queries, SerialQuery,
                         ::testing::Values(SerialQueryCase{"silent_then_ready", 0, Le_Status, -1,
                                                           0x12, QUORVEL_STATUS_READY},
                                           SerialQueryCase{"late_ready_then_offline", 3, Le_Status,
                                                           0x12, 0x1E, QUORVEL_STATUS_OFFLINE_PIN3_HIGH},
                                           SerialQueryCase{"late_low_then_high", 1,
                                                           Le_Status_Gaveta, 0x00, 0x01,
                                                           QUORVEL_DRAWER_HIGH}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

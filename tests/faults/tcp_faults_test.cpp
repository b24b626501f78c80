// SPDX-License-Identifier: MIT
// Printers that misbehave on a real TCP link: the host survives, every call
// returns within its bound, and the result is 0 whenever the command or the
// reply did not make it.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "fake_printer.h"
#include "quorvel.h"
#include "raw_peer.h"

using namespace quorvel::testing;
using namespace std::chrono_literals;

namespace {

const std::string long_text(8000, 'x');

// A large command goes out while the printer resets the connection after the
// first chunk it reads. The call caught by the reset returns 0 at once, and so
// does every later write: the link stays marked open until FechaSocket.
TEST(PrinterResets, InTheMiddleOfALargeCommand) {
    RawListener listener(4, 4096);
    std::atomic<long> first_chunk{-1};
    std::thread printer([&] {
        int fd = listener.accept_one();
        if (fd < 0) return;
        std::this_thread::sleep_for(300ms);  // the host fills both socket buffers meanwhile
        std::uint8_t buffer[1024];
        first_chunk = read_some(fd, buffer, sizeof buffer);
        reset_connection(fd);
    });
    ASSERT_EQ(AbreSocket(listener.address().c_str(), 0), 1);

    int accepted = 0, failed_at = -1;
    double failing_call_seconds = 0;
    for (int call = 0; call < 3000 && failed_at < 0; ++call) {
        auto start = Clock::now();
        int result = ImprimeTexto(long_text.c_str(), 0, 0, 0, 0);
        if (result == 1) {
            ++accepted;
        } else {
            failed_at = call;
            failing_call_seconds = seconds_since(start);
        }
    }
    printer.join();
    EXPECT_GT(first_chunk.load(), 0);
    ASSERT_GE(failed_at, 0) << "no write failed after the reset";
    EXPECT_LT(failing_call_seconds, 9.0 + 2.0);  // 1 ms per byte + 1000 ms, with slack
    // Never the whole stream: far less arrived than was reported written.
    EXPECT_LT(static_cast<long>(first_chunk), static_cast<long>(accepted) * 8018);

    EXPECT_EQ(ImprimeTexto("after reset", 0, 0, 0, 0), 0);
    EXPECT_EQ(AcionaGuilhotina(), 0);
    EXPECT_EQ(Le_Status(), 0);
    EXPECT_EQ(FechaSocket(), 1);

    FakePrinter healthy;  // FechaSocket then AbreSocket is the way back
    ASSERT_EQ(AbreSocket(healthy.address().c_str(), 0), 1);
    EXPECT_EQ(AcionaGuilhotina(), 1);
    EXPECT_EQ(hex(healthy.wait_for_bytes(3)), "1D 56 00");
}

// How the printer ends a status query, and what the host must see.
struct QueryEnding {
    const char* name;
    void (*printer_side)(int fd);
    const char* expected_stderr;
};

void reset_after_query(int fd) {
    std::uint8_t query[3];
    read_some(fd, query, sizeof query);
    reset_connection(fd);
}

void close_after_query(int fd) {
    std::uint8_t query[3];
    read_some(fd, query, sizeof query);
    ::close(fd);  // everything read: an orderly FIN
}

void keep_silent(int fd) {
    std::uint8_t query[3];
    read_some(fd, query, sizeof query);
    std::this_thread::sleep_for(3s);
    ::close(fd);
}

void PrintTo(const QueryEnding& c, std::ostream* os) { *os << c.name; }

class StatusQueryEnding : public ::testing::TestWithParam<QueryEnding> {};

TEST_P(StatusQueryEnding, ReturnsNoStatusWithinTheReplyBound) {
    RawListener listener;
    std::thread printer([&] {
        int fd = listener.accept_one();
        if (fd >= 0) GetParam().printer_side(fd);
    });
    // Model 0 reads every unlisted byte as 24: a missing reply must still be 0.
    ASSERT_EQ(AbreSocket(listener.address().c_str(), 0), 1);
    ::testing::internal::CaptureStderr();
    auto start = Clock::now();
    int status = Le_Status();
    double took = seconds_since(start);
    std::string errors = ::testing::internal::GetCapturedStderr();
    printer.join();
    EXPECT_EQ(status, 0);
    EXPECT_LT(took, 2.0 + 1.5);
    EXPECT_EQ(errors, GetParam().expected_stderr);
    EXPECT_EQ(FechaSocket(), 1);
}

INSTANTIATE_TEST_SUITE_P(Endings, StatusQueryEnding,
                         ::testing::Values(QueryEnding{"reset", reset_after_query,
                                                       "recv() failed\n"},
                                           QueryEnding{"orderly_close", close_after_query, ""},
                                           QueryEnding{"silence", keep_silent, ""}),
                         [](const auto& info) { return std::string(info.param.name); });

// A query that gets no answer, and one answered only after the 2 s bound:
// the late byte must not be taken as the answer to the next query.
struct LateAnswerCase {
    const char* name;
    int model;
    int (*query)();
    std::uint8_t late_reply, prompt_reply;
    int expected_second;
};

void PrintTo(const LateAnswerCase& c, std::ostream* os) { *os << c.name; }

class LateAnswer : public ::testing::TestWithParam<LateAnswerCase> {};

TEST_P(LateAnswer, FirstQueryGivesNothingAndSecondIgnoresTheStaleByte) {
    const auto& c = GetParam();
    std::atomic<int> queries{0};
    FakePrinter printer;
    printer.set_responder([&](const Bytes& chunk) {
        if (chunk.empty()) return Bytes{};
        if (queries++ == 0) {
            std::this_thread::sleep_for(2500ms);
            return Bytes{c.late_reply};
        }
        return Bytes{c.prompt_reply};
    });
    ASSERT_EQ(AbreSocket(printer.address().c_str(), c.model), 1);

    auto start = Clock::now();
    EXPECT_EQ(c.query(), 0);
    double took = seconds_since(start);
    EXPECT_GE(took, 1.9);
    EXPECT_LT(took, 3.5);

    std::this_thread::sleep_for(1200ms);  // the late byte is now waiting on the link
    EXPECT_EQ(c.query(), c.expected_second);
    EXPECT_EQ(queries.load(), 2);
}

INSTANTIATE_TEST_SUITE_P(
    Queries, LateAnswer,
    ::testing::Values(
        // A stale 0x12 would read as 32 (ready); the fresh 0x1E is 9 (offline).
        LateAnswerCase{"printer_status", 0, Le_Status, 0x12, 0x1E, QUORVEL_STATUS_OFFLINE_PIN3_HIGH},
        // Model 2: a stale 0x00 would read as 24; the fresh 0x04 is 9.
        LateAnswerCase{"paper_sensor", 2, Le_Status, 0x00, 0x04, QUORVEL_STATUS_OFFLINE_PIN3_HIGH},
        // A stale 0x00 would read as 1 (low); the fresh 0x01 is 2.
        LateAnswerCase{"drawer", 0, Le_Status_Gaveta, 0x00, 0x01, QUORVEL_DRAWER_HIGH}),
    [](const auto& info) { return std::string(info.param.name); });

// A printer that accepts and then never reads, with a small receive window:
// the socket buffers fill and the write gives up within 1 ms per byte + 1000 ms.
TEST(PrinterStopsReading, WriteGivesUpWithinItsBound) {
    RawListener listener(4, 4096);
    int printer_fd = -1;
    std::thread printer([&] { printer_fd = listener.accept_one(); });
    ASSERT_EQ(AbreSocket(listener.address().c_str(), 0), 1);
    printer.join();
    ASSERT_GE(printer_fd, 0);

    int accepted = 0, result = 1;
    double took = 0;
    for (int call = 0; call < 3000 && result == 1; ++call) {
        auto start = Clock::now();
        result = ImprimeTexto(long_text.c_str(), 0, 0, 0, 0);
        took = seconds_since(start);
        accepted += result;
    }
    EXPECT_EQ(result, 0) << "the buffers never filled";
    EXPECT_GT(accepted, 0);
    EXPECT_GE(took, 1.0);          // it did wait for room
    EXPECT_LT(took, 9.018 + 2.0);  // 8018 bytes: 9018 ms at most, with slack
    char why[QUORVEL_ERROR_MESSAGE_SIZE];
    EXPECT_EQ(quorvel_last_error(why, sizeof why), QUORVEL_E_WRITE_FAILED) << why;
    EXPECT_NE(std::string(why).find("before the time-out"), std::string::npos) << why;

    // Small commands still fit into the tail of the last queued segment for a
    // while (tens of thousands here); once none fits, a 3-byte command gives
    // up within 1003 ms.
    result = 1;
    int cuts = 0;
    for (int call = 0; call < 1000000 && result == 1; ++call, ++cuts) {
        auto start = Clock::now();
        result = AcionaGuilhotina();
        took = seconds_since(start);
    }
    EXPECT_EQ(result, 0) << cuts << " accepted " << accepted;
    EXPECT_LT(took, 1.003 + 1.5) << cuts;
    EXPECT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_WRITE_FAILED);
    EXPECT_EQ(FechaSocket(), 1);
    ::close(printer_fd);
}

// A listener with backlog 0 whose accept queue is already full drops further
// handshakes: AbreSocket gives up after 5 s and leaves the link closed.
TEST(HandshakeNeverCompletes, AbreSocketGivesUpAfterFiveSeconds) {
    RawListener listener(0);
    std::vector<int> fillers;
    for (int i = 0; i < 3; ++i) {
        fillers.push_back(start_connect(listener.address()));
        std::this_thread::sleep_for(50ms);
    }
    auto start = Clock::now();
    EXPECT_EQ(AbreSocket(listener.address().c_str(), 1), 0);
    double took = seconds_since(start);
    EXPECT_GE(took, 4.5);
    EXPECT_LT(took, 5.0 + 2.0);

    EXPECT_EQ(ImprimeTexto("nothing open", 0, 0, 0, 0), 0);
    EXPECT_EQ(Le_Status(), 0);
    EXPECT_EQ(FechaSocket(), 0);
    for (int fd : fillers) ::close(fd);
}

}  // namespace

// SPDX-License-Identifier: MIT
// Many host threads on one TCP link at once: every command arrives whole and
// unmixed, and every status reply reaches the query that asked for it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "fake_printer.h"
#include "quorvel.h"

using namespace quorvel::testing;
using namespace std::chrono_literals;

namespace {

constexpr int thread_count = 8;
constexpr int commands_per_thread = 10000;
constexpr std::size_t text_length = 8;  // "t3-01234"
constexpr std::size_t command_length = 17 + text_length + 1;

// Each thread prints with its own style, so a command whose opening came from
// one thread and whose text came from another does not parse.
struct Style {
    int justification, font, spacing, bold;
};

Style style_of(int thread) {
    return {thread % 3, thread & 1, thread % 7, (thread >> 1) & 1};
}

Bytes opening_of(int thread) {
    static constexpr std::uint8_t spacing_codes[] = {0x20, 0x28, 0x30, 0x35, 0x40, 0x45, 0x15};
    Style s = style_of(thread);
    return bytes_of({0x1B, 0x40, 0x1B, 0x61, s.justification, 0x1B, 0x33, spacing_codes[s.spacing],
                     0x1B, 0x74, 0x10, 0x1B, 0x45, s.bold, 0x1B, 0x4D, s.font});
}

// Splits the stream back into commands; reports the first one that is not a
// whole command of some thread in that thread's sequence.
::testing::AssertionResult parse_stream(const Bytes& stream, std::vector<int>& next_sequence) {
    std::size_t at = 0;
    while (at < stream.size()) {
        if (stream.size() - at < command_length)
            return ::testing::AssertionFailure() << "truncated command at offset " << at;
        std::string text(stream.begin() + static_cast<long>(at + 17),
                         stream.begin() + static_cast<long>(at + 17 + text_length));
        int thread = -1, sequence = -1;
        if (std::sscanf(text.c_str(), "t%1d-%5d", &thread, &sequence) != 2 || thread < 0 ||
            thread >= thread_count)
            return ::testing::AssertionFailure() << "unreadable text '" << text << "' at " << at;
        Bytes opening(stream.begin() + static_cast<long>(at),
                      stream.begin() + static_cast<long>(at + 17));
        if (opening != opening_of(thread))
            return ::testing::AssertionFailure() << "opening of another style at " << at;
        if (stream[at + command_length - 1] != 0x0A)
            return ::testing::AssertionFailure() << "no line end at " << at;
        if (sequence != next_sequence[static_cast<std::size_t>(thread)]++)
            return ::testing::AssertionFailure()
                   << "thread " << thread << " sequence " << sequence << " out of order at " << at;
        at += command_length;
    }
    return ::testing::AssertionSuccess();
}

void print_lines(int thread, int count, std::vector<int>& failures) {
    Style s = style_of(thread);
    char text[16];
    for (int sequence = 0; sequence < count; ++sequence) {
        std::snprintf(text, sizeof text, "t%d-%05d", thread, sequence);
        if (ImprimeTexto(text, s.justification, s.font, s.spacing, s.bold) != 1)
            ++failures[static_cast<std::size_t>(thread)];
    }
}

TEST(ManyThreadsOneLink, EveryCommandArrivesWholeAndUnmixed) {
    FakePrinter printer;
    ASSERT_EQ(AbreSocket(printer.address().c_str(), 0), 1);
    std::vector<int> failures(thread_count, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < thread_count; ++t)
        threads.emplace_back(print_lines, t, commands_per_thread, std::ref(failures));
    for (auto& thread : threads) thread.join();

    const std::size_t expected = std::size_t{thread_count} * commands_per_thread * command_length;
    Bytes stream = printer.wait_for_bytes(expected, 30s);
    EXPECT_EQ(FechaSocket(), 1);
    EXPECT_EQ(failures, std::vector<int>(thread_count, 0));
    ASSERT_EQ(stream.size(), expected);
    std::vector<int> next_sequence(thread_count, 0);
    EXPECT_TRUE(parse_stream(stream, next_sequence));
    EXPECT_EQ(next_sequence, std::vector<int>(thread_count, commands_per_thread));
}

// Printer status and drawer status queries from different threads, with
// printing in between: a reply that went to the wrong query would read as a
// different code (00 as 24 for Le_Status, 12 as 2 for Le_Status_Gaveta).
TEST(ManyThreadsOneLink, StatusRepliesNeverCross) {
    constexpr int queries_per_thread = 300;
    FakePrinter printer;
    Bytes tail;  // the serve thread's view of the last bytes, across chunks
    printer.set_responder([&tail](const Bytes& chunk) {
        Bytes replies;
        for (std::uint8_t byte : chunk) {
            tail.push_back(byte);
            if (tail.size() > 3) tail.erase(tail.begin());
            if (tail == bytes_of({0x10, 0x04, 0x01})) replies.push_back(0x12);
            if (tail == bytes_of({0x1D, 0x72, 0x02})) replies.push_back(0x00);
        }
        return replies;
    });
    ASSERT_EQ(AbreSocket(printer.address().c_str(), 0), 1);

    std::vector<int> wrong(4, 0), print_failures(thread_count, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &wrong] {
            for (int i = 0; i < queries_per_thread; ++i) {
                bool drawer = t % 2 == 1;
                int got = drawer ? Le_Status_Gaveta() : Le_Status();
                if (got != (drawer ? QUORVEL_DRAWER_LOW : QUORVEL_STATUS_READY))
                    ++wrong[static_cast<std::size_t>(t)];
            }
        });
    }
    for (int t = 0; t < 2; ++t)
        threads.emplace_back(print_lines, t, 2000, std::ref(print_failures));
    for (auto& thread : threads) thread.join();

    const std::size_t expected = 4u * queries_per_thread * 3 + 2u * 2000 * command_length;
    EXPECT_EQ(printer.wait_for_bytes(expected, 10s).size(), expected);
    EXPECT_EQ(FechaSocket(), 1);
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
    EXPECT_EQ(print_failures, std::vector<int>(thread_count, 0));
}

}  // namespace

// SPDX-License-Identifier: MIT
// The TCP link: opening, closing and what a printer that refuses, resets or
// closes the connection does to the results.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "fake_printer.h"
#include "quorvel.h"

using namespace quorvel::testing;
using namespace std::chrono_literals;

namespace {

const Bytes cut = bytes_of({0x1D, 0x56, 0x00});

// Every case leaves the link closed, so the cases also hold when run in one process.
class TcpLink : public ::testing::Test {
protected:
    void TearDown() override { FechaSocket(); }
};

TEST_F(TcpLink, SecondOpenKeepsFirstConnectionButTakesModel) {
    FakePrinter first, second;
    second.answer_with(bytes_of({0x12}));
    first.answer_with(bytes_of({0x04}));
    ASSERT_EQ(AbreSocket(first.address().c_str(), 0), 1);
    EXPECT_EQ(AbreSocket(second.address().c_str(), 2), 0);
    EXPECT_EQ(AcionaGuilhotina(), 1);
    // Model 2 now asks ESC v, still of the first printer.
    EXPECT_EQ(Le_Status(), 9);
    EXPECT_EQ(hex(first.wait_for_bytes(6)), hex(concat_bytes({cut, bytes_of({0x1B, 0x76, 0x01})})));
    EXPECT_EQ(second.connections(), 0);
}

TEST_F(TcpLink, CloseTwiceAndCloseWithNothingOpen) {
    EXPECT_EQ(FechaSocket(), 0);
    FakePrinter printer;
    ASSERT_EQ(AbreSocket(printer.address().c_str(), 0), 1);
    EXPECT_EQ(FechaSocket(), 1);
    EXPECT_TRUE(printer.wait_for_disconnect());
    EXPECT_EQ(FechaSocket(), 0);
    EXPECT_EQ(AcionaGuilhotina(), 0) << "nothing is open after the close";
}

TEST_F(TcpLink, ReopenMakesANewConnection) {
    FakePrinter printer;
    ASSERT_EQ(AbreSocket(printer.address().c_str(), 0), 1);
    ASSERT_EQ(FechaSocket(), 1);
    ASSERT_EQ(AbreSocket(printer.address().c_str(), 0), 1);
    EXPECT_EQ(AcionaGuilhotina(), 1);
    EXPECT_EQ(hex(printer.wait_for_bytes(3)), hex(cut));
    EXPECT_EQ(printer.connections(), 2);
    EXPECT_EQ(FechaSocket(), 1);
}

class RejectedAddress : public ::testing::TestWithParam<const char*> {
protected:
    void TearDown() override { FechaSocket(); }
};

TEST_P(RejectedAddress, RefusedAndLinkStaysClosed) {
    EXPECT_EQ(AbreSocket(GetParam(), 0), 0);
    EXPECT_EQ(AcionaGuilhotina(), 0);
    EXPECT_EQ(FechaSocket(), 0);
}

INSTANTIATE_TEST_SUITE_P(NotDottedDecimal, RejectedAddress,
                         ::testing::Values("localhost", "", "1.2.3", "1.2.3.4.5", "256.1.1.1",
                                           "127.0.0.01", "127.0.0.1 ", " 127.0.0.1", "127..0.1",
                                           "127.0.0.-1", "0x7f.0.0.1", "1.2.3.4x", "1234.0.0.1"));

TEST_F(TcpLink, NullAddressRefused) {
    EXPECT_EQ(AbreSocket(nullptr, 0), 0);
    EXPECT_EQ(FechaSocket(), 0);
}

TEST_F(TcpLink, NobodyListeningRefusesAtOnce) {
    // A loopback address of this test where nothing listens: the connection is refused.
    const std::string address = unique_loopback_address("nobody");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(AbreSocket(address.c_str(), 0), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(AcionaGuilhotina(), 0);
    EXPECT_EQ(FechaSocket(), 0);
    // The failed open does not stand in the way of a good one.
    FakePrinter printer;
    EXPECT_EQ(AbreSocket(printer.address().c_str(), 0), 1);
    EXPECT_EQ(AcionaGuilhotina(), 1);
    EXPECT_EQ(hex(printer.wait_for_bytes(3)), hex(cut));
}

class BrokenConnection : public ::testing::TestWithParam<FakePrinter::Behaviour> {
protected:
    void TearDown() override { FechaSocket(); }
};

// The printer ends the connection: commands report 0 instead of killing or
// hanging the host, the link stays marked open, and close-then-open recovers.
TEST_P(BrokenConnection, WritesFailCleanlyAndLinkRecovers) {
    FakePrinter broken(GetParam());
    ASSERT_EQ(AbreSocket(broken.address().c_str(), 0), 1);
    AcionaGuilhotina();  // the resetting printer resets on these bytes
    ASSERT_TRUE(broken.wait_for_disconnect());
    std::this_thread::sleep_for(50ms);
    int result = 1;
    for (int attempt = 0; attempt < 5 && result == 1; ++attempt) {
        result = ImprimeTexto("after the printer went away", 0, 0, 0, 0);
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(AcionaGuilhotina(), 0);
    EXPECT_EQ(FechaSocket(), 1) << "a failed send leaves the link marked open";

    FakePrinter good;
    ASSERT_EQ(AbreSocket(good.address().c_str(), 0), 1);
    EXPECT_EQ(AcionaGuilhotina(), 1);
    EXPECT_EQ(hex(good.wait_for_bytes(3)), hex(cut));
}

INSTANTIATE_TEST_SUITE_P(Peer, BrokenConnection,
                         // A reset straight after the accept may already fail the
                         // connect itself, so the resetting printer waits for data.
                         ::testing::Values(FakePrinter::Behaviour::close_at_once,
                                           FakePrinter::Behaviour::reset_on_data),
                         [](const auto& info) {
                             return info.param == FakePrinter::Behaviour::close_at_once ? "Closes"
                                                                                        : "Resets";
                         });

}  // namespace

namespace {

// A printer that sent something unasked and is slow to read: closing right after
// the last command must still deliver every byte, not reset the connection.
TEST_F(TcpLink, CloseDeliversEverythingQueuedDespiteUnreadInput) {
    FakePrinter printer;
    ASSERT_EQ(AbreSocket(printer.address().c_str(), 0), 1);
    printer.send_unsolicited(bytes_of({0x12, 0x12, 0x12, 0x12}));
    printer.pause_reading(std::chrono::milliseconds(600));
    std::this_thread::sleep_for(50ms);  // the unsolicited bytes are waiting at the host
    const std::string line(8000, 'q');
    constexpr int commands = 160;
    for (int i = 0; i < commands; ++i) ASSERT_EQ(ImprimeTexto(line.c_str(), 0, 0, 0, 0), 1) << i;
    ASSERT_EQ(FechaSocket(), 1);
    const std::size_t total = commands * (line.size() + 18);
    EXPECT_EQ(printer.wait_for_bytes(total, std::chrono::seconds(10)).size(), total);
}

}  // namespace

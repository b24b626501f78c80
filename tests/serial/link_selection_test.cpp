// SPDX-License-Identifier: MIT
// A serial port and a TCP link open together: the TCP link takes every command
// and every query; once it is closed, the serial port does.
#include <gtest/gtest.h>

#include <chrono>

#include "fake_printer.h"
#include "pty_pair.h"
#include "quorvel.h"

using namespace quorvel::testing;
using namespace std::chrono_literals;

namespace {

struct OrderCase {
    const char* name;
    bool serial_first;
    int serial_model, tcp_model;
    const char* query;  // of the model given last
    std::uint8_t tcp_reply;
    int tcp_code;
    std::uint8_t serial_reply;
    int serial_code;
};

void PrintTo(const OrderCase& c, std::ostream* out) {
    *out << c.name;
}

class BothLinksOpen : public ::testing::TestWithParam<OrderCase> {};

TEST_P(BothLinksOpen, TcpWinsThenSerialTakesOver) {
    const auto& c = GetParam();
    PtyPair pty;
    FakePrinter printer;
    printer.answer_with({c.tcp_reply});
    if (c.serial_first) {
        ASSERT_EQ(AbrePortaSerial(pty.slave_name().c_str(), c.serial_model), 1);
        ASSERT_EQ(AbreSocket(printer.address().c_str(), c.tcp_model), 1);
    } else {
        ASSERT_EQ(AbreSocket(printer.address().c_str(), c.tcp_model), 1);
        ASSERT_EQ(AbrePortaSerial(pty.slave_name().c_str(), c.serial_model), 1);
    }

    // Were the query to go to the serial printer, it would find this answer waiting.
    ASSERT_TRUE(pty.write_master({c.serial_reply}));
    EXPECT_EQ(AcionaGuilhotina(), 1);
    EXPECT_EQ(Le_Status(), c.tcp_code);
    EXPECT_EQ(hex(printer.wait_for_bytes(6)), std::string("1D 56 00 ") + c.query);
    EXPECT_TRUE(pty.read_master_for(150ms).empty());

    EXPECT_EQ(FechaSocket(), 1);
    auto serial_printer = pty.answer_once(6, {c.serial_reply});
    EXPECT_EQ(AcionaGuilhotina(), 1);
    EXPECT_EQ(Le_Status(), c.serial_code);
    EXPECT_EQ(hex(serial_printer.get()), std::string("1D 56 00 ") + c.query);
    EXPECT_EQ(printer.received().size(), 6u);
    EXPECT_EQ(FechaPortaSerial(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Orders, BothLinksOpen,
    ::testing::Values(OrderCase{"serial_then_tcp", true, 2, 0, "10 04 01", 0x12, 32, 0x1E, 9},
                      OrderCase{"tcp_then_serial", false, 1, 2, "10 04 01", 0x1A, 5, 0x12, 32},
                      OrderCase{"tcp_then_serial_model2", false, 2, 0, "1B 76 01", 0x04, 9, 0x00,
                                24}),
    [](const auto& info) { return std::string(info.param.name); });

// Closing the serial port while the TCP link is open leaves the TCP link alone.
TEST(BothLinks, ClosingSerialKeepsTcp) {
    PtyPair pty;
    FakePrinter printer;
    ASSERT_EQ(AbrePortaSerial(pty.slave_name().c_str(), 0), 1);
    ASSERT_EQ(AbreSocket(printer.address().c_str(), 0), 1);
    EXPECT_EQ(FechaPortaSerial(), 1);
    EXPECT_EQ(AcionaGuilhotina(), 1);
    EXPECT_EQ(hex(printer.wait_for_bytes(3)), "1D 56 00");
    EXPECT_EQ(FechaSocket(), 1);
    EXPECT_EQ(AcionaGuilhotina(), 0);  // nothing is open now
    EXPECT_TRUE(pty.read_master_for(100ms).empty());
}

}  // namespace

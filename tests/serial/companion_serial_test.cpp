// SPDX-License-Identifier: MIT
// quorvel_open_serial on real pseudo-terminals: every standard speed read back
// from the port, and the code each real fault of a serial link produces.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <thread>

#include "pty_pair.h"
#include "quorvel.h"
#include "test_helpers.h"

using namespace quorvel::testing;
using namespace std::chrono_literals;

namespace {

const Bytes cut_command{0x1D, 0x56, 0x00};

struct Speed {
    int bits_per_second;
    speed_t constant;
};

class SerialSpeed : public ::testing::TestWithParam<Speed> {
  protected:
    void TearDown() override { FechaPortaSerial(); }
};

TEST_P(SerialSpeed, SetOnThePortAndCommandsArrive) {
    PtyPair pty;
    ASSERT_EQ(quorvel_open_serial(pty.slave_name().c_str(), GetParam().bits_per_second, 0), 1)
        << last_message();
    EXPECT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_OK);
    const termios t = pty.slave_settings();
    EXPECT_EQ(cfgetospeed(&t), GetParam().constant);
    EXPECT_EQ(cfgetispeed(&t), GetParam().constant);
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_lflag & ICANON, 0u);
    EXPECT_EQ(AcionaGuilhotina(), 1);
    EXPECT_EQ(hex(pty.read_master(3)), hex(cut_command));
}

INSTANTIATE_TEST_SUITE_P(
    Standard, SerialSpeed,
    ::testing::Values(Speed{1200, B1200}, Speed{2400, B2400}, Speed{4800, B4800},
                      Speed{9600, B9600}, Speed{19200, B19200}, Speed{38400, B38400},
                      Speed{57600, B57600}, Speed{115200, B115200}, Speed{230400, B230400},
                      Speed{460800, B460800}, Speed{921600, B921600}),
    [](const auto& info) { return std::to_string(info.param.bits_per_second); });

// A speed that is refused leaves the port already open as it was.
TEST(SerialSpeedRefused, OpenPortKeepsItsSpeedAndLink) {
    PtyPair held, other;
    ASSERT_EQ(quorvel_open_serial(held.slave_name().c_str(), 38400, 0), 1);
    for (int speed : {0, -9600, 300, 14400, 128000, 1000000, 1843200}) {
        EXPECT_EQ(quorvel_open_serial(other.slave_name().c_str(), speed, 0), 0) << speed;
        EXPECT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_BAD_SPEED) << speed;
    }
    EXPECT_NE(last_message().find("1843200"), std::string::npos) << last_message();
    const termios t = held.slave_settings();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B38400));
    EXPECT_EQ(AcionaGuilhotina(), 1);
    EXPECT_EQ(hex(held.read_master(3)), hex(cut_command));
    EXPECT_EQ(FechaPortaSerial(), 1);
}

struct SerialFault {
    const char* name;
    // Opens (or tries to) under the fault; returns the open's result.
    std::function<int(PtyPair&)> open;
    int result;
    int code;
    const char* message;  // part of the message
};

class SerialFaults : public ::testing::TestWithParam<SerialFault> {
  protected:
    void TearDown() override { FechaPortaSerial(); }
};

TEST_P(SerialFaults, GiveTheirOwnCode) {
    const SerialFault& f = GetParam();
    PtyPair pty;
    EXPECT_EQ(f.open(pty), f.result);
    EXPECT_EQ(quorvel_last_error(nullptr, 0), f.code) << last_message();
    EXPECT_NE(last_message().find(f.message), std::string::npos) << last_message();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SerialFaults,
    ::testing::Values(
        SerialFault{"Missing",
                    [](PtyPair&) { return quorvel_open_serial("/dev/no-such-tty", 9600, 0); }, 0,
                    QUORVEL_E_PORT_NOT_FOUND, "/dev/no-such-tty"},
        SerialFault{"NotATerminal",
                    [](PtyPair&) { return quorvel_open_serial("/dev/null", 9600, 0); }, 0,
                    QUORVEL_E_NOT_SERIAL, "/dev/null"},
        // Another process holds the port (its lock and exclusive flag).
        SerialFault{"HeldByAnotherProcess",
                    [](PtyPair& pty) {
                        int ready[2], done[2];
                        if (::pipe(ready) != 0 || ::pipe(done) != 0) return -1;
                        pid_t holder = ::fork();
                        if (holder == 0) {
                            int fd = ::open(pty.slave_name().c_str(), O_RDWR | O_NOCTTY);
                            ::flock(fd, LOCK_EX);
                            ::ioctl(fd, TIOCEXCL);
                            char byte = 1;
                            (void)!::write(ready[1], &byte, 1);
                            (void)!::read(done[0], &byte, 1);
                            ::_exit(0);
                        }
                        char byte = 0;
                        (void)!::read(ready[0], &byte, 1);
                        const int result = quorvel_open_serial(pty.slave_name().c_str(), 9600, 0);
                        (void)!::write(done[1], &byte, 1);
                        ::waitpid(holder, nullptr, 0);
                        for (int fd : {ready[0], ready[1], done[0], done[1]}) ::close(fd);
                        return result;
                    },
                    0, QUORVEL_E_PORT_BUSY, "busy"}),
    [](const auto& info) { return std::string(info.param.name); });

// A user without access to the terminal: the child's outcome code is its exit
// status (100: the message does not name the port).
TEST(SerialPermission, UserWithoutAccessIsToldSo) {
    PtyPair pty;
    ASSERT_EQ(::chmod(pty.slave_name().c_str(), 0600), 0);
    const int code = in_child([&] {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) return 200;
        if (quorvel_open_serial(pty.slave_name().c_str(), 9600, 0) != 0) return 201;
        char text[QUORVEL_ERROR_MESSAGE_SIZE];
        const int outcome = quorvel_last_error(text, sizeof text);
        return std::strstr(text, pty.slave_name().c_str()) != nullptr ? outcome : 100;
    });
    EXPECT_EQ(code, QUORVEL_E_PERMISSION_DENIED);
}

// The far end of the pseudo-terminal closes under the open link.
TEST(SerialLinkClosed, WritesAndStatusSayTheLinkClosed) {
    PtyPair pty;
    ASSERT_EQ(quorvel_open_serial(pty.slave_name().c_str(), 19200, 0), 1);
    pty.close_master();
    EXPECT_EQ(AcionaGuilhotina(), 0);
    EXPECT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_LINK_CLOSED) << last_message();
    EXPECT_NE(last_message().find(pty.slave_name()), std::string::npos) << last_message();
    quorvel_status status;
    EXPECT_EQ(quorvel_read_status(&status), 0);
    EXPECT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_LINK_CLOSED) << last_message();
    EXPECT_EQ(status.raw[0], -1);
    EXPECT_EQ(FechaPortaSerial(), 1);
}

TEST(SerialStatus, FourQueriesAnsweredOverThePort) {
    PtyPair pty;
    ASSERT_EQ(quorvel_open_serial(pty.slave_name().c_str(), 57600, 0), 1);
    std::thread printer([&] {
        const std::uint8_t replies[] = {0x16, 0x32, 0x12, 0x0E | 0x10};
        for (std::uint8_t reply : replies) {
            if (pty.read_master(3).size() != 3) return;
            pty.write_master({0x10, 0x00, 0x00, 0x00, reply});  // a status group first
        }
    });
    quorvel_status status;
    EXPECT_EQ(quorvel_read_status(&status), 1) << last_message();
    printer.join();
    EXPECT_EQ(status.raw[0], 0x16);
    EXPECT_EQ(status.raw[3], 0x1E);
    EXPECT_EQ(status.drawer_pin3, 1);
    EXPECT_EQ(status.stopped_paper_end, 1);
    EXPECT_EQ(status.paper_near_end, 1);
    EXPECT_EQ(status.paper_out, 0);
    EXPECT_EQ(FechaPortaSerial(), 1);
}

}  // namespace

// SPDX-License-Identifier: MIT
// quorvel_open_device with a pseudo-terminal standing in for a printer-class
// device (set raw, as a device has no line discipline), and the real faults
// of opening one.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <thread>

#include "pty_pair.h"
#include "quorvel.h"
#include "test_helpers.h"

using namespace quorvel::testing;

namespace {

// The pty as a device: bytes pass unchanged both ways.
void make_raw(PtyPair& pty) {
    termios t = pty.slave_settings();
    ::cfmakeraw(&t);
    ASSERT_EQ(::tcsetattr(pty.slave_fd(), TCSANOW, &t), 0);
}

TEST(DeviceLink, PrintsAndReadsStatus) {
    PtyPair pty;
    make_raw(pty);
    ASSERT_EQ(quorvel_open_device(pty.slave_name().c_str(), 0), 1) << last_message();
    // Line ends, flow-control and 8-bit bytes, which a terminal would change.
    char bytes[] = "27,64,10,13,17,19,3,233,0,255";
    EXPECT_EQ(ComandoTx(bytes), 1) << last_message();
    const Bytes arrived = pty.read_master(13);  // ComandoTx's own ESC @ first, LF last
    EXPECT_EQ(hex(Bytes(arrived.begin() + 2, arrived.end() - 1)),
              hex(Bytes{0x1B, 0x40, 0x0A, 0x0D, 0x11, 0x13, 0x03, 0xE9, 0x00, 0xFF}));

    auto query = pty.answer_once(3, {0x12});
    EXPECT_EQ(Le_Status(), QUORVEL_STATUS_READY) << last_message();
    EXPECT_EQ(hex(query.get()), hex(Bytes{0x10, 0x04, 0x01}));

    std::thread printer([&] {
        for (std::uint8_t reply : {0x16, 0x12, 0x12, 0x72}) {
            if (pty.read_master(3).size() != 3) return;
            pty.write_master({reply});
        }
    });
    quorvel_status status;
    EXPECT_EQ(quorvel_read_status(&status), 1) << last_message();
    printer.join();
    EXPECT_EQ(status.drawer_pin3, 1);
    EXPECT_EQ(status.paper_out, 1);
    EXPECT_EQ(FechaPortaSerial(), 1);
}

TEST(DeviceLink, PrinterHandleOnADevice) {
    PtyPair pty;
    make_raw(pty);
    quorvel_printer* printer = quorvel_printer_open_device(pty.slave_name().c_str(), 0);
    ASSERT_NE(printer, nullptr) << last_message();
    EXPECT_EQ(quorvel_printer_cut(printer), 1);
    EXPECT_EQ(hex(pty.read_master(3)), hex(Bytes{0x1D, 0x56, 0x00}));
    EXPECT_EQ(quorvel_printer_open_device(pty.slave_name().c_str(), 0), nullptr);
    EXPECT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_DEVICE_BUSY);
    EXPECT_EQ(quorvel_printer_close(printer), 1);
}

struct DeviceFault {
    const char* name;
    std::function<int(PtyPair&)> open;  // tries to open under the fault, gives the outcome
    int code;
    const char* message;  // part of the message
};

class DeviceFaults : public ::testing::TestWithParam<DeviceFault> {};

TEST_P(DeviceFaults, GiveTheirOwnCodeAndMessage) {
    const DeviceFault& f = GetParam();
    PtyPair pty;
    char text[QUORVEL_ERROR_MESSAGE_SIZE] = "";
    const int code = f.open(pty);
    quorvel_last_error(text, sizeof text);
    EXPECT_EQ(code, f.code) << text;
    if (code == f.code && f.code != QUORVEL_E_PERMISSION_DENIED) {
        EXPECT_NE(std::strstr(text, f.message), nullptr) << text;
    }
    FechaPortaSerial();
}

int open_outcome(const char* path) {
    return quorvel_open_device(path, 0) == 1 ? 0 : quorvel_last_error(nullptr, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DeviceFaults,
    ::testing::Values(
        DeviceFault{"NotFound", [](PtyPair&) { return open_outcome("/dev/usb/lp97"); },
                    QUORVEL_E_PORT_NOT_FOUND, "/dev/usb/lp97"},
        // Another program holds the device: its lock is taken.
        DeviceFault{"Busy",
                    [](PtyPair& pty) {
                        int holder = ::open(pty.slave_name().c_str(), O_RDWR | O_NOCTTY);
                        ::flock(holder, LOCK_EX);
                        const int code = open_outcome(pty.slave_name().c_str());
                        ::close(holder);
                        return code;
                    },
                    QUORVEL_E_DEVICE_BUSY, "busy"},
        // A user outside the device's group: the message names the group to join,
        // not the serial ports' dialout (the child's exit status is the code, 100
        // when the message names the wrong group or none).
        DeviceFault{"PermissionDenied",
                    [](PtyPair& pty) {
                        const group* lp = ::getgrnam("lp");
                        if (lp == nullptr || ::chown(pty.slave_name().c_str(), 0, lp->gr_gid) != 0 ||
                            ::chmod(pty.slave_name().c_str(), 0660) != 0)
                            return -2;
                        return in_child([&] {
                            if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 ||
                                ::setuid(65534) != 0)
                                return 200;
                            const int code = open_outcome(pty.slave_name().c_str());
                            char text[QUORVEL_ERROR_MESSAGE_SIZE];
                            quorvel_last_error(text, sizeof text);
                            return std::strstr(text, "group lp") != nullptr &&
                                           std::strstr(text, "dialout") == nullptr
                                       ? code
                                       : 100;
                        });
                    },
                    QUORVEL_E_PERMISSION_DENIED, "group lp"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

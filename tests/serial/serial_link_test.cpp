// SPDX-License-Identifier: MIT
// The serial link on a real pseudo-terminal: line settings read back from the
// port, bytes at the other end, exclusive opening, and every open/close path.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "pty_pair.h"
#include "quorvel.h"
#include "test_helpers.h"

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


const Bytes cut_command{0x1D, 0x56, 0x00};

struct SpeedCase {
    int model;
    speed_t speed;
};

class SerialLineSettings : public ::testing::TestWithParam<SpeedCase> {};

TEST_P(SerialLineSettings, ReadBackFromThePort) {
    PtyPair pty;
    ASSERT_NE(pty.slave_settings().c_lflag & ICANON, 0u) << "a fresh terminal starts cooked";
    ASSERT_EQ(AbrePortaSerial(pty.slave_name().c_str(), GetParam().model), 1);
    const termios t = pty.slave_settings();

    EXPECT_EQ(cfgetospeed(&t), GetParam().speed);
    EXPECT_EQ(cfgetispeed(&t), GetParam().speed);
    // 8N1, no hardware flow control, modem lines ignored, receiver on.
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    // No software flow control, no input translation or stripping.
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY), 0u);
    EXPECT_EQ(t.c_iflag & (INLCR | IGNCR | ICRNL | IUCLC | ISTRIP | INPCK | PARMRK | BRKINT), 0u);
    // No output processing, no echo, no line editing, no signal characters.
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_lflag & (ECHO | ECHONL | ICANON | ISIG | IEXTEN), 0u);
    EXPECT_EQ(FechaPortaSerial(), 1);
}

INSTANTIATE_TEST_SUITE_P(Models, SerialLineSettings,
                         ::testing::Values(SpeedCase{0, B115200}, SpeedCase{1, B115200},
                                           SpeedCase{2, B115200}, SpeedCase{3, B9600},
                                           SpeedCase{4, B115200}, SpeedCase{-1, B115200}),
                         [](const auto& info) {
                             int m = info.param.model;
                             return m < 0 ? "model_minus" + std::to_string(-m)
                                          : "model_" + std::to_string(m);
                         });

// Re-opening takes the new model's speed.
TEST(SerialLink, ReopenWithAnotherModelChangesSpeed) {
    PtyPair pty;
    ASSERT_EQ(AbrePortaSerial(pty.slave_name().c_str(), 3), 1);
    termios t = pty.slave_settings();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
    ASSERT_EQ(AbrePortaSerial(pty.slave_name().c_str(), 0), 1);
    t = pty.slave_settings();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B115200));
}

// Every byte value passes unchanged: a cooked line would turn 0A into 0D 0A.
TEST(SerialLink, EveryByteValueArrivesUnchanged) {
    PtyPair pty;
    ASSERT_EQ(AbrePortaSerial(pty.slave_name().c_str(), 0), 1);
    std::string list;
    Bytes expected{0x1B, 0x40};
    for (int value = 0; value < 256; ++value) {
        if (value) list += ',';  // appended apart: "," + std::string trips GCC 12 -Wrestrict
        list += std::to_string(value);
        expected.push_back(static_cast<std::uint8_t>(value));
    }
    expected.push_back(0x0A);
    EXPECT_EQ(ComandoTx(list.data()), 1);
    EXPECT_EQ(hex(pty.read_master(expected.size())), hex(expected));
    EXPECT_TRUE(pty.read_master_for(100ms).empty());
}

struct ActionCase {
    const char* name;
    int (*call)();
    Bytes expected;
};

class SerialCommand : public ::testing::TestWithParam<ActionCase> {};

TEST_P(SerialCommand, ArrivesWholeAndOnce) {
    PtyPair pty;
    ASSERT_EQ(AbrePortaSerial(pty.slave_name().c_str(), 1), 1);
    EXPECT_EQ(GetParam().call(), 1);
    Bytes arrived = pty.read_master(GetParam().expected.size());
    arrived = concat_bytes({arrived, pty.read_master_for(100ms)});
    EXPECT_EQ(hex(arrived), hex(GetParam().expected));
    EXPECT_EQ(FechaPortaSerial(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, SerialCommand,
    ::testing::Values(
        ActionCase{"cut", AcionaGuilhotina, cut_command},
        ActionCase{"drawer", Abre_Gaveta, bytes_of({0x1B, 0x70, 0x00, 0x3C, 0x78})},
        ActionCase{"self_test", ImprimeAutoTeste, bytes_of({0x1B, 0x40, 0x12, 0x54})},
        ActionCase{"text_with_line_ends", [] { return ImprimeTexto("a\nb\r\n", 0, 0, 0, 0); },
                   bytes_of({0x1B, 0x40, 0x1B, 0x61, 0x00, 0x1B, 0x33, 0x20, 0x1B, 0x74, 0x10, 0x1B,
                             0x45, 0x00, 0x1B, 0x4D, 0x00, 'a',  0x0A, 'b',  0x0D, 0x0A, 0x0A})}),
    [](const auto& info) { return std::string(info.param.name); });

// A printer that reads slowly: the driver's buffer fills, each write is carried
// on as room appears, and every command arrives whole and in order.
TEST(SerialLink, SlowReaderStillGetsEveryCommandWhole) {
    PtyPair pty;
    ASSERT_EQ(AbrePortaSerial(pty.slave_name().c_str(), 0), 1);
    const std::string text(8000, 'q');
    const std::size_t command_size = 17 + text.size() + 1;
    const int commands = 4;  // more than the terminal buffers hold
    Bytes arrived;
    std::thread printer([&] {
        std::this_thread::sleep_for(300ms);
        arrived = pty.read_master(command_size * commands, 5s);
    });
    for (int i = 0; i < commands; ++i) EXPECT_EQ(ImprimeTexto(text.c_str(), 1, 0, 0, 0), 1) << i;
    printer.join();
    ASSERT_EQ(arrived.size(), command_size * commands);
    for (int i = 0; i < commands; ++i) {
        auto at = arrived.begin() + static_cast<long>(i * command_size);
        EXPECT_EQ(hex(Bytes(at, at + 5)), "1B 40 1B 61 01") << i;
        EXPECT_EQ(std::count(at + 17, at + 17 + static_cast<long>(text.size()), 'q'),
                  static_cast<long>(text.size()));
        EXPECT_EQ(*(at + static_cast<long>(command_size) - 1), 0x0A);
    }
}

// A printer that never reads: once the buffers are full a write gives up after
// 1 ms per byte + 1000 ms and reports 0; after the printer catches up, writes work again.
TEST(SerialLink, StalledPrinterWriteGivesUpWithinItsBound) {
    PtyPair pty;
    ASSERT_EQ(AbrePortaSerial(pty.slave_name().c_str(), 0), 1);
    const std::string text(100, 'z');
    int result = 1;
    double took = 0;
    for (int i = 0; i < 1000 && result == 1; ++i) {
        auto start = Clock::now();
        result = ImprimeTexto(text.c_str(), 0, 0, 0, 0);
        took = seconds_since(start);
    }
    ASSERT_EQ(result, 0) << "the terminal never filled up";
    EXPECT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_WRITE_FAILED);
    EXPECT_GE(took, 1.0);
    EXPECT_LE(took, 1.118 + 1.5);
    while (!pty.read_master_for(200ms).empty()) {
    }
    EXPECT_EQ(AcionaGuilhotina(), 1);
    EXPECT_EQ(hex(pty.read_master(3)), hex(cut_command));
}

// How many of this process's descriptors refer to the given file.
int descriptors_on(const std::string& path) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path(), error) == path) ++count;
    }
    return count;
}

bool exclusive_flag(int fd) {
    int held = 0;
    return ::ioctl(fd, TIOCGEXCL, &held) == 0 && held != 0;
}

// Another descriptor's attempt at the advisory lock: true if it got it.
bool other_descriptor_can_lock(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    bool locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return locked;
}

// Opens the path as an unprivileged user in a child process; the errno, or 0 if
// the open went through.
int unprivileged_open_errno(const std::string& path) {
    ::chmod(path.c_str(), 0666);
    return in_child([&] {
        if (::geteuid() == 0 && ::setuid(65534) != 0) return 200;
        int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        return fd >= 0 ? 0 : errno;
    });
}

TEST(SerialLink, HeldPortRefusesEveryOtherOpener) {
    PtyPair pty;
    ASSERT_EQ(unprivileged_open_errno(pty.slave_name()), 0) << "the port opens while free";
    ASSERT_EQ(AbrePortaSerial(pty.slave_name().c_str(), 0), 1);
    EXPECT_TRUE(exclusive_flag(pty.slave_fd()));
    EXPECT_FALSE(other_descriptor_can_lock(pty.slave_name()));
    EXPECT_EQ(unprivileged_open_errno(pty.slave_name()), EBUSY);

    EXPECT_EQ(FechaPortaSerial(), 1);
    EXPECT_FALSE(exclusive_flag(pty.slave_fd()));
    EXPECT_TRUE(other_descriptor_can_lock(pty.slave_name()));
    EXPECT_EQ(unprivileged_open_errno(pty.slave_name()), 0);
}

// A host without a controlling terminal (a daemon, say) does not get the
// printer's port as one: a hang-up on the port could otherwise signal it.
TEST(SerialLink, PortNeverBecomesTheControllingTerminal) {
    PtyPair pty;
    pid_t child = ::fork();
    if (child == 0) {
        if (::setsid() < 0) ::_exit(2);
        if (AbrePortaSerial(pty.slave_name().c_str(), 0) != 1) ::_exit(3);
        ::_exit(::open("/dev/tty", O_RDWR | O_NOCTTY) < 0 && errno == ENXIO ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the port became the controlling terminal";
}

// Opening the port we already hold closes our own descriptor first.
TEST(SerialLink, OpeningTheHeldPortAgainReplacesIt) {
    PtyPair pty;
    ASSERT_EQ(descriptors_on(pty.slave_name()), 1);  // the test's own
    ASSERT_EQ(AbrePortaSerial(pty.slave_name().c_str(), 0), 1);
    EXPECT_EQ(descriptors_on(pty.slave_name()), 2);
    ASSERT_EQ(AbrePortaSerial(pty.slave_name().c_str(), 0), 1);
    EXPECT_EQ(descriptors_on(pty.slave_name()), 2);
    EXPECT_EQ(AcionaGuilhotina(), 1);
    EXPECT_EQ(hex(concat_bytes({pty.read_master(3), pty.read_master_for(100ms)})),
              hex(cut_command));
    EXPECT_EQ(FechaPortaSerial(), 1);
    EXPECT_EQ(descriptors_on(pty.slave_name()), 1);
    EXPECT_EQ(FechaPortaSerial(), 0);
}

struct SecondOpenCase {
    const char* name;
    std::string (*second_port)(const PtyPair& other);
    int second_result;
};

class SerialOpenAnother : public ::testing::TestWithParam<SecondOpenCase> {};

// Opening another port, or failing to, first lets go of the port held.
TEST_P(SerialOpenAnother, ReleasesThePortHeldBefore) {
    PtyPair first, second;
    ASSERT_EQ(AbrePortaSerial(first.slave_name().c_str(), 0), 1);
    EXPECT_EQ(AbrePortaSerial(GetParam().second_port(second).c_str(), 0), GetParam().second_result);
    EXPECT_EQ(descriptors_on(first.slave_name()), 1);
    EXPECT_FALSE(exclusive_flag(first.slave_fd()));
    EXPECT_TRUE(other_descriptor_can_lock(first.slave_name()));

    EXPECT_EQ(AcionaGuilhotina(), GetParam().second_result);
    EXPECT_TRUE(first.read_master_for(150ms).empty());
    if (GetParam().second_result == 1) {
        EXPECT_EQ(hex(second.read_master(3)), hex(cut_command));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ports, SerialOpenAnother,
    ::testing::Values(
        SecondOpenCase{"another_terminal", [](const PtyPair& p) { return p.slave_name(); }, 1},
        SecondOpenCase{"missing_port",
                       [](const PtyPair&) { return std::string("/dev/no-such-tty"); }, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct TakenCase {
    const char* name;
    void (*take)(int fd);
};

class SerialPortTaken : public ::testing::TestWithParam<TakenCase> {};

// A port another opener holds exclusively cannot be opened, even by root: the
// result is 0 and no handle is kept, so commands report nothing written.
TEST_P(SerialPortTaken, CountsAsUnopenable) {
    PtyPair pty;
    GetParam().take(pty.slave_fd());
    EXPECT_EQ(AbrePortaSerial(pty.slave_name().c_str(), 0), 0);
    EXPECT_EQ(descriptors_on(pty.slave_name()), 1);
    EXPECT_EQ(AcionaGuilhotina(), 0);
    EXPECT_TRUE(pty.read_master_for(150ms).empty());
    EXPECT_EQ(FechaPortaSerial(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Holders, SerialPortTaken,
    ::testing::Values(
        TakenCase{"advisory_lock", [](int fd) { ASSERT_EQ(::flock(fd, LOCK_EX), 0); }},
        TakenCase{"exclusive_terminal", [](int fd) { ASSERT_EQ(::ioctl(fd, TIOCEXCL), 0); }}),
    [](const auto& info) { return std::string(info.param.name); });

struct UnopenedCase {
    const char* name;
    const char* port;  // nullptr: no open at all
};

class SerialNotOpen : public ::testing::TestWithParam<UnopenedCase> {};

TEST_P(SerialNotOpen, CommandsAndCloseReportNothingDone) {
    if (GetParam().port) {
        EXPECT_EQ(AbrePortaSerial(GetParam().port, 0), 0);
    }
    EXPECT_EQ(AcionaGuilhotina(), 0);
    EXPECT_EQ(ImprimeTexto("x", 0, 0, 0, 0), 0);
    auto start = Clock::now();
    EXPECT_EQ(Le_Status(), 0);
    EXPECT_EQ(Le_Status_Gaveta(), 0);
    EXPECT_LT(seconds_since(start), 0.5);
    EXPECT_EQ(FechaPortaSerial(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, SerialNotOpen,
                         ::testing::Values(UnopenedCase{"never_opened", nullptr},
                                           UnopenedCase{"missing_port", "/dev/no-such-tty"},
                                           UnopenedCase{"missing_directory", "no/such/dir/ttyS0"},
                                           UnopenedCase{"empty_name", ""}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SerialLink, NullNameRefused) {
    EXPECT_EQ(AbrePortaSerial(nullptr, 0), 0);
    EXPECT_EQ(AcionaGuilhotina(), 0);
}

// After closing, the port is let go and nothing more is written to it.
TEST(SerialLink, CloseTwiceThenCommandsFailCleanly) {
    PtyPair pty;
    ASSERT_EQ(AbrePortaSerial(pty.slave_name().c_str(), 0), 1);
    EXPECT_EQ(FechaPortaSerial(), 1);
    EXPECT_EQ(FechaPortaSerial(), 0);
    EXPECT_EQ(descriptors_on(pty.slave_name()), 1);
    EXPECT_EQ(AcionaGuilhotina(), 0);
    EXPECT_EQ(Le_Status(), 0);
    EXPECT_TRUE(pty.read_master_for(150ms).empty());
    // The port can be opened again.
    ASSERT_EQ(AbrePortaSerial(pty.slave_name().c_str(), 0), 1);
    EXPECT_EQ(AcionaGuilhotina(), 1);
    EXPECT_EQ(hex(pty.read_master(3)), hex(cut_command));
}

// A device that is not a terminal opens but cannot take line settings: the
// result is 0, yet the handle is kept and commands are written to it.
TEST(SerialLink, NonTerminalIsKeptAndReceivesCommands) {
    const std::string path =
        ::testing::TempDir() + "quorvel-not-a-tty-" + std::to_string(::getpid());
    std::ofstream(path).close();
    ASSERT_EQ(AbrePortaSerial(path.c_str(), 0), 0);
    EXPECT_EQ(AcionaGuilhotina(), 1);
    EXPECT_EQ(Abre_Gaveta(), 1);
    auto start = Clock::now();
    EXPECT_EQ(Le_Status(), 0);  // the query is written; a file has no answer
    EXPECT_LT(seconds_since(start), 0.5);
    EXPECT_EQ(FechaPortaSerial(), 1);
    EXPECT_EQ(FechaPortaSerial(), 0);
    EXPECT_EQ(AcionaGuilhotina(), 0);

    std::ifstream file(path, std::ios::binary);
    Bytes written{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    EXPECT_EQ(hex(written), "1D 56 00 1B 70 00 3C 78 10 04 01");
    std::filesystem::remove(path);
}

}  // namespace

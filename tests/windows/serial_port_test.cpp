// SPDX-License-Identifier: MIT
// Quorvel.dll on a real serial port under wine: a pseudo-terminal mapped to a
// COM port by serial_relay.py, whose far end this test reaches over loopback
// TCP to play the printer.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "fake_printer.h"
#include "quorvel.h"

using namespace quorvel::testing;

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The printer's end of the serial line.
class PrinterEnd {
public:
    bool connect(const std::string& where) {
        WSADATA data;
        if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
        auto colon = where.find(':');
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = ::htons(static_cast<u_short>(std::stoi(where.substr(colon + 1))));
        ::inet_pton(AF_INET, where.substr(0, colon).c_str(), &address.sin_addr);
        socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (socket_ == INVALID_SOCKET) return false;
        if (::connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            return false;
        BOOL on = TRUE;
        ::setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
        ::Sleep(100);  // the relay drops what was pending when it takes a new client
        return true;
    }
    ~PrinterEnd() {
        if (socket_ != INVALID_SOCKET) ::closesocket(socket_);
    }

    // Everything that arrives until count bytes are in or the time is up.
    Bytes read(std::size_t count, int timeout_ms = 3000) {
        Bytes got;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
        while (got.size() < count) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) break;
            WSAPOLLFD entry{socket_, POLLRDNORM, 0};
            if (::WSAPoll(&entry, 1, static_cast<int>(left.count())) <= 0) break;
            char buffer[4096];
            int n = ::recv(socket_, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }
    void write(const Bytes& bytes) {
        ::send(socket_, reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()), 0);
    }

private:
    SOCKET socket_ = INVALID_SOCKET;
};

class SerialPort : public ::testing::Test {
protected:
    void SetUp() override {
        port_ = environment("QUORVEL_SERIAL_PORT");
        std::string relay = environment("QUORVEL_SERIAL_RELAY");
        if (port_.empty() || relay.empty())
            GTEST_SKIP() << "no serial relay: run under tests/windows/run-under-wine.sh";
        ASSERT_TRUE(printer_.connect(relay)) << "cannot reach the serial relay at " << relay;
    }
    const char* port() const { return port_.c_str(); }

    // The port's settings as the system reports them to a new opener.
    DCB settings_now() {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        HANDLE h = ::CreateFileA(port(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                 nullptr);
        EXPECT_NE(h, INVALID_HANDLE_VALUE);
        if (h == INVALID_HANDLE_VALUE) return dcb;
        EXPECT_TRUE(::GetCommState(h, &dcb));
        ::CloseHandle(h);
        return dcb;
    }
    // Leaves the port far from what the library sets: 19200 7E2, all flow control.
    void disturb_settings() {
        HANDLE h = ::CreateFileA(port(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                 nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        ASSERT_TRUE(::GetCommState(h, &dcb));
        dcb.BaudRate = 19200;
        dcb.ByteSize = 7;
        dcb.Parity = EVENPARITY;
        dcb.StopBits = TWOSTOPBITS;
        dcb.fOutxCtsFlow = 1;
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
        dcb.fOutX = 1;
        dcb.fInX = 1;
        ::SetCommState(h, &dcb);
        ::CloseHandle(h);
    }

    std::string port_;
    PrinterEnd printer_;
};

struct SpeedCase {
    int model;
    DWORD baud;
};

class SerialSpeed : public SerialPort, public ::testing::WithParamInterface<SpeedCase> {};

TEST_P(SerialSpeed, LineSettingsHoldAfterOpen) {
    disturb_settings();
    ASSERT_EQ(AbrePortaSerial(port(), GetParam().model), 1);
    ASSERT_EQ(FechaPortaSerial(), 1);
    DCB dcb = settings_now();
    EXPECT_EQ(dcb.BaudRate, GetParam().baud);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
    EXPECT_NE(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));
    EXPECT_EQ(dcb.fOutX, 0u);
    EXPECT_EQ(dcb.fInX, 0u);
}

INSTANTIATE_TEST_SUITE_P(Models, SerialSpeed,
                         ::testing::Values(SpeedCase{0, 115200}, SpeedCase{1, 115200},
                                           SpeedCase{2, 115200}, SpeedCase{3, 9600},
                                           SpeedCase{4, 115200}, SpeedCase{-1, 115200}),
                         [](const auto& info) {
                             int model = info.param.model;
                             return (model < 0 ? "model_minus_" : "model_") +
                                    std::to_string(model < 0 ? -model : model);
                         });

// Every byte value goes out unchanged: no CR added to LF, no XON/XOFF taken
// as flow control, NUL and DEL kept.
struct WireCase {
    const char* name;
    std::function<int()> call;
    Bytes expected;
};

class SerialWire : public SerialPort, public ::testing::WithParamInterface<WireCase> {};

TEST_P(SerialWire, CommandArrivesByteForByte) {
    ASSERT_EQ(AbrePortaSerial(port(), 0), 1);
    EXPECT_EQ(GetParam().call(), 1);
    EXPECT_EQ(hex(printer_.read(GetParam().expected.size())), hex(GetParam().expected));
    EXPECT_EQ(hex(printer_.read(1, 200)), "") << "bytes beyond the command";
    EXPECT_EQ(FechaPortaSerial(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, SerialWire,
    ::testing::Values(
        WireCase{"cut", [] { return AcionaGuilhotina(); }, bytes_of({0x1D, 0x56, 0x00})},
        WireCase{"raw_control_bytes",
                 [] {
                     static char list[] = "0,10,13,17,19,3,127,255,26,4";
                     return ComandoTx(list);
                 },
                 bytes_of({0x1B, 0x40, 0x00, 0x0A, 0x0D, 0x11, 0x13, 0x03, 0x7F, 0xFF, 0x1A, 0x04,
                           0x0A})},
        WireCase{"text_with_line_ends",
                 [] { return ImprimeTexto("a\nb\r\n", 1, 0, 0, 0); },
                 concat_bytes({bytes_of({0x1B, 0x40, 0x1B, 0x61, 0x01, 0x1B, 0x33, 0x20, 0x1B,
                                         0x74, 0x10, 0x1B, 0x45, 0x00, 0x1B, 0x4D, 0x00}),
                               bytes_of("a\nb\r\n"), bytes_of({0x0A})})}),
    [](const auto& info) { return std::string(info.param.name); });

// Status queries over the serial line: the query arrives, the printer's one
// byte comes back unchanged (XON and XOFF included) and maps to a code.
struct ReplyCase {
    const char* name;
    int model;
    bool drawer;  // Le_Status_Gaveta instead of Le_Status
    Bytes query;
    int reply;  // -1: the printer stays silent
    int expected;
};

class SerialStatus : public SerialPort, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(SerialStatus, QueryThenOneReplyByte) {
    const auto& c = GetParam();
    ASSERT_EQ(AbrePortaSerial(port(), c.model), 1);
    std::thread answer([&] {
        Bytes query = printer_.read(c.query.size());
        EXPECT_EQ(hex(query), hex(c.query));
        if (c.reply >= 0) printer_.write(bytes_of({c.reply}));
    });
    const auto start = Clock::now();
    int status = c.drawer ? Le_Status_Gaveta() : Le_Status();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    answer.join();
    EXPECT_EQ(status, c.expected);
    if (c.reply < 0) {
        EXPECT_GE(took.count(), 1800) << "the 2000 ms read time-out was not waited out";
        EXPECT_LT(took.count(), 3500) << "the read time-out did not bound the wait";
    } else {
        EXPECT_LT(took.count(), 1500);
    }
    EXPECT_EQ(FechaPortaSerial(), 1);
}

const Bytes dle_eot_1 = bytes_of({0x10, 0x04, 0x01});
const Bytes esc_v_1 = bytes_of({0x1B, 0x76, 0x01});
const Bytes gs_r_2 = bytes_of({0x1D, 0x72, 0x02});

INSTANTIATE_TEST_SUITE_P(
    Replies, SerialStatus,
    ::testing::Values(ReplyCase{"ready", 0, false, dle_eot_1, 0x12, 32},
                      ReplyCase{"offline_9600", 3, false, dle_eot_1, 0x1E, 9},
                      ReplyCase{"xon_unlisted_model0", 0, false, dle_eot_1, 0x11, 24},
                      ReplyCase{"xoff_unlisted_model1", 1, false, dle_eot_1, 0x13, 0},
                      ReplyCase{"paper_sensor_model2", 2, false, esc_v_1, 0x04, 9},
                      ReplyCase{"drawer_low", 0, true, gs_r_2, 0x00, 1},
                      ReplyCase{"drawer_high_cr", 0, true, gs_r_2, 0x0D, 2},
                      ReplyCase{"silent_printer", 0, false, dle_eot_1, -1, 0},
                      ReplyCase{"silent_drawer", 3, true, gs_r_2, -1, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// A late answer already waiting on the line is dropped before the next query.
TEST_F(SerialPort, StaleReplyIsDiscardedBeforeTheQuery) {
    ASSERT_EQ(AbrePortaSerial(port(), 0), 1);
    printer_.write(bytes_of({0x1E}));  // offline, unasked
    ::Sleep(300);
    std::thread answer([&] {
        EXPECT_EQ(hex(printer_.read(3)), hex(dle_eot_1));
        printer_.write(bytes_of({0x12}));
    });
    EXPECT_EQ(Le_Status(), 32);
    answer.join();
    EXPECT_EQ(FechaPortaSerial(), 1);
}

TEST_F(SerialPort, ClosedPortTakesNothingAndClosesOnce) {
    ASSERT_EQ(AbrePortaSerial(port(), 0), 1);
    EXPECT_EQ(FechaPortaSerial(), 1);
    EXPECT_EQ(FechaPortaSerial(), 0);
    EXPECT_EQ(AcionaGuilhotina(), 0);
    EXPECT_EQ(Le_Status(), 0);
    EXPECT_EQ(hex(printer_.read(1, 300)), "");
}

// Opening again closes the port held so far; being exclusive, the new open
// would fail if the first were still open.
TEST_F(SerialPort, OpeningAgainReleasesTheHeldPort) {
    ASSERT_EQ(AbrePortaSerial(port(), 0), 1);
    ASSERT_EQ(AbrePortaSerial(port(), 3), 1);
    EXPECT_EQ(Abre_Gaveta(), 1);
    EXPECT_EQ(hex(printer_.read(5)), "1B 70 00 3C 78");
    EXPECT_EQ(FechaPortaSerial(), 1);
    EXPECT_EQ(FechaPortaSerial(), 0);
}

// A port that another opener holds exclusively cannot be opened, and nothing
// is kept: commands find no port.
TEST_F(SerialPort, PortHeldElsewhereIsRefused) {
    HANDLE held = ::CreateFileA(port(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    HANDLE second = ::CreateFileA(port(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  0, nullptr);
    if (second != INVALID_HANDLE_VALUE) {
        // wine opens serial devices without enforcing the share mode.
        ::CloseHandle(second);
        ::CloseHandle(held);
        GTEST_SKIP() << "this system does not hold serial ports exclusively";
    }
    EXPECT_EQ(AbrePortaSerial(port(), 0), 0);
    EXPECT_EQ(AcionaGuilhotina(), 0);
    EXPECT_EQ(FechaPortaSerial(), 0);
    ::CloseHandle(held);
    ASSERT_EQ(AbrePortaSerial(port(), 0), 1);
    EXPECT_EQ(AcionaGuilhotina(), 1);
    EXPECT_EQ(hex(printer_.read(3)), "1D 56 00");
    EXPECT_EQ(FechaPortaSerial(), 1);
}

TEST_F(SerialPort, MissingPortIsRefused) {
    for (const char* name : {"COM9", "\\\\.\\COM42", "", "NOSUCHPORT"}) {
        EXPECT_EQ(AbrePortaSerial(name, 0), 0) << name;
        EXPECT_EQ(AcionaGuilhotina(), 0) << name;
        EXPECT_EQ(FechaPortaSerial(), 0) << name;
    }
}

// While the TCP link is open it takes every command; after FechaSocket the
// serial port, still open, takes them again.
TEST_F(SerialPort, TcpLinkTakesPrecedenceUntilClosed) {
    ASSERT_EQ(AbrePortaSerial(port(), 0), 1);
    FakePrinter network;
    ASSERT_EQ(AbreSocket(network.address().c_str(), 0), 1);
    EXPECT_EQ(AcionaGuilhotina(), 1);
    EXPECT_EQ(hex(network.wait_for_bytes(3)), "1D 56 00");
    EXPECT_EQ(hex(printer_.read(1, 300)), "");
    EXPECT_EQ(FechaSocket(), 1);
    EXPECT_EQ(Abre_Gaveta(), 1);
    EXPECT_EQ(hex(printer_.read(5)), "1B 70 00 3C 78");
    EXPECT_EQ(FechaPortaSerial(), 1);
}

class CompanionSpeed : public SerialPort, public ::testing::WithParamInterface<DWORD> {};

TEST_P(CompanionSpeed, AnyStandardSpeedIsSetOnThePort) {
    disturb_settings();
    ASSERT_EQ(quorvel_open_serial(port(), static_cast<int>(GetParam()), 0), 1);
    EXPECT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_OK);
    EXPECT_EQ(AcionaGuilhotina(), 1);
    EXPECT_EQ(hex(printer_.read(3)), "1D 56 00");
    ASSERT_EQ(FechaPortaSerial(), 1);
    DCB dcb = settings_now();
    EXPECT_EQ(dcb.BaudRate, GetParam());
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
}

INSTANTIATE_TEST_SUITE_P(Speeds, CompanionSpeed,
                         ::testing::Values(DWORD{1200}, DWORD{19200}, DWORD{38400}, DWORD{921600}));

TEST_F(SerialPort, CompanionOpenFaultsGiveTheirCodes) {
    char message[QUORVEL_ERROR_MESSAGE_SIZE];
    ASSERT_EQ(quorvel_open_serial(port(), 38400, 0), 1);
    EXPECT_EQ(quorvel_open_serial(port(), 14400, 0), 0);
    EXPECT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_BAD_SPEED);
    EXPECT_EQ(AcionaGuilhotina(), 1) << "a refused speed leaves the open port alone";
    EXPECT_EQ(hex(printer_.read(3)), "1D 56 00");
    EXPECT_EQ(quorvel_open_serial("COM9", 9600, 0), 0);
    EXPECT_EQ(quorvel_last_error(message, sizeof message), QUORVEL_E_PORT_NOT_FOUND) << message;
    EXPECT_NE(std::string(message).find("COM9"), std::string::npos) << message;
    EXPECT_EQ(FechaPortaSerial(), 0);
    EXPECT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_NO_LINK);
}

TEST_F(SerialPort, FullStatusOverTheComPort) {
    ASSERT_EQ(quorvel_open_serial(port(), 115200, 0), 1);
    std::thread printer([this] {
        for (std::uint8_t reply : {0x16, 0x36, 0x12, 0x7E}) {
            if (printer_.read(3).size() != 3) return;
            printer_.write({reply});
        }
    });
    quorvel_status status;
    EXPECT_EQ(quorvel_read_status(&status), 1);
    printer.join();
    EXPECT_EQ(status.raw[0], 0x16);
    EXPECT_EQ(status.raw[3], 0x7E);
    EXPECT_EQ(status.drawer_pin3, 1);
    EXPECT_EQ(status.cover_open, 1);
    EXPECT_EQ(status.autocutter_error, 0);
    EXPECT_EQ(status.paper_out, 1);
    EXPECT_EQ(FechaPortaSerial(), 1);
}

}  // namespace

// SPDX-License-Identifier: MIT
// Outcomes: every exported function records why it failed (or that it did
// not) for the calling thread, and quorvel_last_error reports it; opening TCP
// links on any port and family, and the codes real link faults produce.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "fake_printer.h"
#include "quorvel.h"

using namespace quorvel::testing;
using namespace std::chrono_literals;

namespace {

const Bytes cut = bytes_of({0x1D, 0x56, 0x00});

std::string last_message() {
    char text[QUORVEL_ERROR_MESSAGE_SIZE];
    quorvel_last_error(text, sizeof text);
    return text;
}

// A port for listeners on ::1 or on a shared address, different for each test
// and process, so parallel runs do not meet.
std::uint16_t test_port(int offset = 0) {
    const std::string address = unique_loopback_address(std::to_string(offset));
    unsigned hash = 0;
    for (char c : address) hash = hash * 31u + static_cast<unsigned char>(c);
    return static_cast<std::uint16_t>(20000 + hash % 30000);
}

class Outcome : public ::testing::Test {
  protected:
    void TearDown() override {
        FechaSocket();
        FechaPortaSerial();
    }
};

struct Refusal {
    const char* name;
    std::function<long long()> call;
    long long result;  // what the call returns, as before outcomes were recorded
    int code;
};

std::string long_text(std::size_t length) {
    return std::string(length, 'a');
}

const std::vector<unsigned char> white(64 * 8, 255);

// With no link open, each call fails for its own reason and says which.
TEST_F(Outcome, EachCallRecordsWhyItFailedAndKeepsItsResult) {
    static std::string huge = long_text(9000);
    static char bad_item[] = "27,x,64";
    static char empty_list[] = ",,";
    static char short_codes[] = "1,2,3";
    static std::string too_many = [] {
        std::string list;
        for (int i = 0; i < 4097; ++i) list += "1,";
        return list;
    }();
    int values[4] = {};
    quorvel_status status;
    const Refusal cases[] = {
        {"text null", [] { return ImprimeTexto(nullptr, 0, 0, 0, 0); }, 0, QUORVEL_E_NULL_INPUT},
        {"text too long", [] { return ImprimeTextoLF(huge.c_str(), 0, 0, 0, 0, 1); }, 0,
         QUORVEL_E_TOO_LONG},
        {"barcode too long", [] { return ImprimeCodigoBarras(0, 4, 50, 2, 0, huge.c_str()); }, 0,
         QUORVEL_E_TOO_LONG},
        {"QR null", [] { return ImprimeQRCODE_M1(0, 2, 4, 1, nullptr); }, 0, QUORVEL_E_NULL_INPUT},
        {"text, no link", [] { return ImprimeTxFormatado("x", 0, 0, 1); }, 0, QUORVEL_E_NO_LINK},
        {"cut, no link", [] { return AcionaGuilhotina(); }, 0, QUORVEL_E_NO_LINK},
        {"status, no link", [] { return Le_Status(); }, 0, QUORVEL_E_NO_LINK},
        {"list item", [] { return ComandoTx(bad_item); }, 0, QUORVEL_E_BAD_LIST_ITEM},
        {"empty list", [] { return ComandoTx(empty_list); }, 0, QUORVEL_E_BAD_LIST_ITEM},
        {"list too long", [] { return ComandoTx(too_many.data()); }, 0, QUORVEL_E_TOO_LONG},
        {"code list short", [] { return ImprimeCode128C(short_codes, 0, 50); }, 0,
         QUORVEL_E_BAD_LIST_ITEM},
        {"split null", [&] { return separa(nullptr, values); }, 0, QUORVEL_E_NULL_INPUT},
        {"length null", [] { return strlen1(nullptr); }, 0, QUORVEL_E_NULL_INPUT},
        {"close socket", [] { return FechaSocket(); }, 0, QUORVEL_E_NO_LINK},
        {"close port", [] { return FechaPortaSerial(); }, 0, QUORVEL_E_NO_LINK},
        {"host name", [] { return quorvel_open_tcp("localhost", 9100, 0); }, 0,
         QUORVEL_E_BAD_ADDRESS},
        {"zone by name", [] { return quorvel_open_tcp("fe80::1%lo", 9100, 0); }, 0,
         QUORVEL_E_BAD_ADDRESS},
        {"open bracket", [] { return quorvel_open_tcp("[::1", 9100, 0); }, 0,
         QUORVEL_E_BAD_ADDRESS},
        {"address null", [] { return quorvel_open_tcp(nullptr, 9100, 0); }, 0,
         QUORVEL_E_NULL_INPUT},
        {"port 0", [] { return quorvel_open_tcp("127.0.0.1", 0, 0); }, 0, QUORVEL_E_BAD_PORT},
        {"port 65536", [] { return quorvel_open_tcp("::1", 65536, 0); }, 0, QUORVEL_E_BAD_PORT},
        {"speed 14400", [] { return quorvel_open_serial("/nonexistent", 14400, 0); }, 0,
         QUORVEL_E_BAD_SPEED},
        {"speed 0", [] { return quorvel_open_serial("/nonexistent", 0, 0); }, 0,
         QUORVEL_E_BAD_SPEED},
        {"port name null", [] { return quorvel_open_serial(nullptr, 9600, 0); }, 0,
         QUORVEL_E_NULL_INPUT},
        {"image null", [] { return quorvel_print_image(nullptr, 8, 8, 8, 0, 0); }, 0,
         QUORVEL_E_NULL_INPUT},
        {"image 577 wide", [] { return quorvel_print_image(white.data(), 577, 1, 577, 0, 0); }, 0,
         QUORVEL_E_IMAGE_TOO_WIDE},
        {"image no rows", [] { return quorvel_print_image(white.data(), 8, 0, 8, 0, 0); }, 0,
         QUORVEL_E_BAD_ARGUMENT},
        {"stride short", [] { return quorvel_print_image(white.data(), 8, 8, 7, 0, 0); }, 0,
         QUORVEL_E_BAD_ARGUMENT},
        {"dither 2", [] { return quorvel_print_image(white.data(), 8, 8, 8, 0, 2); }, 0,
         QUORVEL_E_BAD_ARGUMENT},
        {"justification 3", [] { return quorvel_print_image(white.data(), 8, 8, 8, 3, 0); }, 0,
         QUORVEL_E_BAD_ARGUMENT},
        {"image, no link", [] { return quorvel_print_image(white.data(), 8, 8, 8, 0, 1); }, 0,
         QUORVEL_E_NO_LINK},
        {"logo 0", [] { return quorvel_store_logo(0, white.data(), 8, 8, 8, 0); }, 0,
         QUORVEL_E_BAD_ARGUMENT},
        {"logo 256", [] { return quorvel_store_logo(256, white.data(), 8, 8, 8, 0); }, 0,
         QUORVEL_E_BAD_ARGUMENT},
        {"logo 2305 tall", [] { return quorvel_store_logo(1, white.data(), 1, 2305, 1, 0); }, 0,
         QUORVEL_E_BAD_ARGUMENT},
        {"logo, no link", [] { return quorvel_store_logo(1, white.data(), 8, 8, 8, 0); }, 0,
         QUORVEL_E_NO_LINK},
        {"status null", [] { return quorvel_read_status(nullptr); }, 0, QUORVEL_E_NULL_INPUT},
        {"status, no link", [&] { return quorvel_read_status(&status); }, 0, QUORVEL_E_NO_LINK},
        {"UTF-8 null", [] { return quorvel_utf8_to_cp1252(nullptr, nullptr, 0); }, -1,
         QUORVEL_E_NULL_INPUT},
        {"barcode data null", [] { return quorvel_check_barcode(QUORVEL_BARCODE_ITF, nullptr); }, 0,
         QUORVEL_E_NULL_INPUT},
        {"barcode type 10", [] { return quorvel_check_barcode(10, "1234"); }, 0,
         QUORVEL_E_BAD_ARGUMENT},
        {"barcode ITF odd", [] { return quorvel_check_barcode(QUORVEL_BARCODE_ITF, "123"); }, 0,
         QUORVEL_E_BAD_BARCODE_DATA},
    };
    for (const Refusal& c : cases) {
        ASSERT_EQ(strlen1("ok"), 2);
        ASSERT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_OK) << "a call that succeeded";
        EXPECT_EQ(c.call(), c.result) << c.name;
        EXPECT_EQ(quorvel_last_error(nullptr, 0), c.code) << c.name << ": " << last_message();
        EXPECT_EQ(quorvel_last_error(nullptr, 0), c.code) << c.name << ": reading it keeps it";
        // Every message ends with what the user can try.
        const std::string message = last_message();
        const auto hint = message.rfind("; ");
        EXPECT_TRUE(hint != std::string::npos && hint + 12 < message.size()) << c.name << ": " << message;
    }
    EXPECT_EQ(status.raw[0], -1);
    EXPECT_EQ(status.online, -1);
    EXPECT_STREQ(Le_VersaoDLL(), "1.2.0.0");
    EXPECT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_OK);
    EXPECT_EQ(last_message(), "ok");
}

TEST_F(Outcome, MessageNamesAddressAndPortAndFitsAnyBuffer) {
    const std::string address = unique_loopback_address();  // nothing listens here
    const std::uint16_t port = test_port();
    ASSERT_EQ(quorvel_open_tcp(address.c_str(), port, 0), 0);
    ASSERT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_REFUSED);
    const std::string full = last_message();
    EXPECT_NE(full.find("refused"), std::string::npos) << full;
    EXPECT_NE(full.find(address + " port " + std::to_string(port)), std::string::npos) << full;
    EXPECT_EQ(full.find('\n'), std::string::npos) << "one line";
    for (int size : {1, 2, 9, static_cast<int>(full.size()), static_cast<int>(full.size()) + 1}) {
        std::vector<char> buffer(static_cast<std::size_t>(size) + 4, '#');
        EXPECT_EQ(quorvel_last_error(buffer.data(), size), QUORVEL_E_REFUSED);
        const std::string cut_message(buffer.data());
        EXPECT_EQ(cut_message, full.substr(0, static_cast<std::size_t>(size - 1))) << size;
        EXPECT_EQ(buffer[static_cast<std::size_t>(size)], '#') << "nothing past size " << size;
    }
    char untouched = '#';
    EXPECT_EQ(quorvel_last_error(&untouched, 0), QUORVEL_E_REFUSED);
    EXPECT_EQ(untouched, '#');
}

// Each thread sees only its own outcomes, while the others fail and succeed
// around it.
TEST_F(Outcome, IsKeptPerThread) {
    constexpr int threads = 8, rounds = 400;
    std::atomic<int> mismatches{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([t, &mismatches] {
            // Threads with even numbers fail at an offset of their own; odd ones succeed.
            std::string text = std::string(static_cast<std::size_t>(t), 'a') + "\xE4\xB8\xAD";
            const std::string offset = "offset " + std::to_string(t);
            char out[32];
            for (int round = 0; round < rounds; ++round) {
                const bool failing = t % 2 == 0;
                const int result = failing ? quorvel_utf8_to_cp1252(text.c_str(), out, sizeof out)
                                           : strlen1(text.c_str());
                std::this_thread::yield();
                char message[QUORVEL_ERROR_MESSAGE_SIZE];
                const int code = quorvel_last_error(message, sizeof message);
                const bool right = failing ? result == -1 && code == QUORVEL_E_NOT_CP1252 &&
                                                 std::strstr(message, offset.c_str()) != nullptr
                                           : result == t + 3 && code == QUORVEL_E_OK;
                if (!right) ++mismatches;
            }
        });
    }
    for (auto& worker : workers) worker.join();
    EXPECT_EQ(mismatches.load(), 0);
}

struct Endpoint {
    const char* name;
    const char* listen;   // "" for a 127.a.b.c of the test's own
    const char* written;  // how the host writes the address; "" for the listener's
    int port;             // 0 for a port of the test's own
};

class OpenTcp : public ::testing::TestWithParam<Endpoint> {
  protected:
    void TearDown() override { FechaSocket(); }
};

TEST_P(OpenTcp, ReachesThePrinterAndTheFunctionsUseTheLink) {
    const Endpoint& e = GetParam();
    const auto port = static_cast<std::uint16_t>(e.port != 0 ? e.port : test_port());
    FakePrinter printer(FakePrinter::Behaviour::record, e.listen, port);
    printer.answer_with(bytes_of({0x12}));
    const std::string written = *e.written != '\0' ? e.written : printer.address();
    ASSERT_EQ(quorvel_open_tcp(written.c_str(), port, 1), 1) << last_message();
    EXPECT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_OK);
    EXPECT_EQ(AcionaGuilhotina(), 1);
    EXPECT_EQ(Le_Status(), QUORVEL_STATUS_READY) << "model 1 asks DLE EOT 1";
    EXPECT_EQ(hex(printer.wait_for_bytes(6)),
              hex(concat_bytes({cut, bytes_of({0x10, 0x04, 0x01})})));
    EXPECT_EQ(quorvel_open_tcp(written.c_str(), port, 1), 0);
    EXPECT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_ALREADY_OPEN);
    EXPECT_EQ(AbreSocket(written.c_str(), 1), 0) << "one link at a time, whichever call opened it";
    EXPECT_EQ(FechaSocket(), 1);
    EXPECT_TRUE(printer.wait_for_disconnect());
    EXPECT_EQ(printer.connections(), 1);
}

INSTANTIATE_TEST_SUITE_P(AnyPortAndFamily, OpenTcp,
                         ::testing::Values(Endpoint{"Port9100", "", "", 9100},
                                           Endpoint{"Port1", "", "", 1},
                                           Endpoint{"Port65535", "", "", 65535},
                                           Endpoint{"OtherPort", "", "", 0},
                                           Endpoint{"Ipv6", "::1", "::1", 0},
                                           Endpoint{"Ipv6Brackets", "::1", "[::1]", 0},
                                           Endpoint{"Ipv6Long", "::1", "0:0:0:0:0:0:0:1", 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Outcome, RefusedConnectionAndTheHostNameRuleTouchNothing) {
    FakePrinter printer;
    const std::uint16_t other_port = test_port();
    EXPECT_EQ(quorvel_open_tcp(printer.address().c_str(), other_port, 0), 0);
    EXPECT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_REFUSED);
    EXPECT_EQ(quorvel_open_tcp("0x7f.0.0.1", 9100, 0), 0);
    EXPECT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_BAD_ADDRESS);
    EXPECT_EQ(AbreSocket("localhost", 0), 0) << "AbreSocket records it too";
    EXPECT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_BAD_ADDRESS);
    EXPECT_EQ(AcionaGuilhotina(), 0);
    EXPECT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_NO_LINK);
    EXPECT_EQ(printer.connections(), 0);
}

TEST_F(Outcome, FullBacklogTimesOutWithinTheConnectWait) {
    FullBacklogListener listener;
    const auto start = Clock::now();
    EXPECT_EQ(quorvel_open_tcp(listener.address().c_str(), 9100, 0), 0);
    EXPECT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_TIMED_OUT) << last_message();
    EXPECT_GT(seconds_since(start), 4.5);
    EXPECT_LT(seconds_since(start), 8.0);
    EXPECT_NE(last_message().find(listener.address() + " port 9100"), std::string::npos);
}

TEST_F(Outcome, PrinterClosingTheLinkIsNamed) {
    // Reset on the first command, not at accept: a reset during the handshake
    // would fail the open itself on a slow run.
    FakePrinter printer(FakePrinter::Behaviour::reset_on_data);
    ASSERT_EQ(quorvel_open_tcp(printer.address().c_str(), 9100, 0), 1);
    ASSERT_EQ(AcionaGuilhotina(), 1);
    ASSERT_TRUE(printer.wait_for_disconnect());
    // The reset may land after the next write: a later one finds it at the latest.
    int written = 1;
    for (int attempt = 0; attempt < 20 && written == 1; ++attempt) {
        written = AcionaGuilhotina();
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(written, 0);
    EXPECT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_LINK_CLOSED) << last_message();
}

TEST_F(Outcome, SilentPrinterGivesNoReply) {
    FakePrinter printer;  // records, never answers
    ASSERT_EQ(AbreSocket(printer.address().c_str(), 0), 1);
    EXPECT_EQ(Le_Status(), QUORVEL_STATUS_NONE);
    EXPECT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_NO_REPLY) << last_message();
    EXPECT_EQ(Le_Status_Gaveta(), 0);
    EXPECT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_NO_REPLY);
    EXPECT_EQ(Abre_Gaveta(), 1);
    EXPECT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_OK);
}

// A printer that never answered on this connection may be serving another
// one; one that answered before and then fell silent is not.
TEST_F(Outcome, NoReplyHintDependsOnWhetherThePrinterEverAnswered) {
    struct Case {
        const char* name;
        int answered_queries;  // status queries answered before the silence
        const char* said;
        const char* not_said;
    };
    const Case cases[] = {
        {"silent from the start", 0, "busy with another connection", nullptr},
        {"silent after one answer", 1, "model number matches it", "busy"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakePrinter printer(FakePrinter::Behaviour::record, unique_loopback_address(c.name));
        auto left = std::make_shared<std::atomic<int>>(c.answered_queries);
        printer.set_responder([left](const Bytes& chunk) {
            const bool query = chunk.size() >= 2 && chunk[0] == 0x10 && chunk[1] == 0x04;
            return query && left->fetch_sub(1) > 0 ? bytes_of({0x12}) : Bytes{};
        });
        ASSERT_EQ(AbreSocket(printer.address().c_str(), 0), 1);
        for (int i = 0; i < c.answered_queries; ++i) EXPECT_NE(Le_Status(), QUORVEL_STATUS_NONE);
        EXPECT_EQ(Le_Status(), QUORVEL_STATUS_NONE);
        EXPECT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_NO_REPLY);
        const std::string message = last_message();
        EXPECT_NE(message.find(c.said), std::string::npos) << message;
        if (c.not_said) {
            EXPECT_EQ(message.find(c.not_said), std::string::npos) << message;
        }
        FechaSocket();
    }
}

}  // namespace

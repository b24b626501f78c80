// SPDX-License-Identifier: MIT
// Printer handles against real loopback printers: every operation sends what
// its counterpart on the default link sends, several printers driven from
// several threads at once, a printer dying mid-run, a close racing a call,
// and handles that are null, closed or stale. Portable: runs on both builds.
#include <gtest/gtest.h>

#include <algorithm>
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

namespace {

int last_code() {
    return quorvel_last_error(nullptr, 0);
}

std::string last_message() {
    char text[QUORVEL_ERROR_MESSAGE_SIZE];
    quorvel_last_error(text, sizeof text);
    return text;
}

const std::string code_list = "10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31";

std::vector<unsigned char> gradient(int width, int height) {
    std::vector<unsigned char> gray(static_cast<std::size_t>(width * height));
    for (std::size_t i = 0; i < gray.size(); ++i) gray[i] = static_cast<unsigned char>(i * 37);
    return gray;
}

// One operation both ways: on the default link and on a handle, same arguments.
struct Operation {
    const char* name;
    std::function<int()> classic;
    std::function<int(quorvel_printer*)> handle;
};

void PrintTo(const Operation& op, std::ostream* out) {
    *out << op.name;
}

const std::vector<unsigned char> image = gradient(21, 9);

const Operation operations[] = {
    {"text", [] { return ImprimeTexto("Caf\xE9", 1, 0, 5, 1); },
     [](quorvel_printer* p) { return quorvel_printer_text(p, "Caf\xE9", 1, 0, 5, 1); }},
    {"text_feed", [] { return ImprimeTextoLF("AB", 2, 1, 6, 5, 258); },
     [](quorvel_printer* p) { return quorvel_printer_text_feed(p, "AB", 2, 1, 6, 5, 258); }},
    {"text_upside_down", [] { return ImprimeTexto180("AB", 0, 1, 2, 0); },
     [](quorvel_printer* p) { return quorvel_printer_text_upside_down(p, "AB", 0, 1, 2, 0); }},
    {"text_inverted", [] { return ImprimeTextoInvertido("AB", 1, -3, -1); },
     [](quorvel_printer* p) { return quorvel_printer_text_inverted(p, "AB", 1, -3, -1); }},
    {"formatted_text", [] { return ImprimeTxFormatado("AB", 2, 1, 5); },
     [](quorvel_printer* p) { return quorvel_printer_formatted_text(p, "AB", 2, 1, 5); }},
    {"barcode", [] { return ImprimeCodigoBarras(5, -1, 2, 0, 4, "12345"); },
     [](quorvel_printer* p) { return quorvel_printer_barcode(p, 5, -1, 2, 0, 4, "12345"); }},
    {"barcode_counted", [] { return ImprimeCodigoBarras_C(1, 8, 1, 2, 2, "{B12"); },
     [](quorvel_printer* p) { return quorvel_printer_barcode_counted(p, 1, 8, 1, 2, 2, "{B12"); }},
    {"code128",
     [] {
         std::string codes = code_list;
         return ImprimeCode128C(codes.data(), -1, 2);
     },
     [](quorvel_printer* p) {
         std::string codes = code_list;
         return quorvel_printer_code128(p, codes.data(), -1, 2);
     }},
    {"code128_width",
     [] {
         std::string codes = code_list;
         return ImprimeCode128_C(codes.data(), 1, 0, 2);
     },
     [](quorvel_printer* p) {
         std::string codes = code_list;
         return quorvel_printer_code128_width(p, codes.data(), 1, 0, 2);
     }},
    {"qr_code", [] { return ImprimeQRCODE_M1(0, 2, 3, 1, "ABC"); },
     [](quorvel_printer* p) { return quorvel_printer_qr_code(p, 0, 2, 3, 1, "ABC"); }},
    {"qr_code_escz", [] { return ImprimeQRCODE_M2(1, 2, 4, 1, "ABC"); },
     [](quorvel_printer* p) { return quorvel_printer_qr_code_escz(p, 1, 2, 4, 1, "ABC"); }},
    {"pdf417_escz", [] { return ImprimePDF417_M2(2, 29, 5, -1, "PDF"); },
     [](quorvel_printer* p) { return quorvel_printer_pdf417_escz(p, 2, 29, 5, -1, "PDF"); }},
    {"data_matrix_escz", [] { return ImprimeDataMatrix_M2(1, -1, 1, 0, "DM"); },
     [](quorvel_printer* p) { return quorvel_printer_data_matrix_escz(p, 1, -1, 1, 0, "DM"); }},
    {"logo", [] { return ImprimeLogoNV(3, 1, 2); },
     [](quorvel_printer* p) { return quorvel_printer_logo(p, 3, 1, 2); }},
    {"self_test", [] { return ImprimeAutoTeste(); },
     [](quorvel_printer* p) { return quorvel_printer_self_test(p); }},
    {"cut", [] { return AcionaGuilhotina(); },
     [](quorvel_printer* p) { return quorvel_printer_cut(p); }},
    {"open_drawer", [] { return Abre_Gaveta(); },
     [](quorvel_printer* p) { return quorvel_printer_open_drawer(p); }},
    {"status", [] { return Le_Status(); },
     [](quorvel_printer* p) { return quorvel_printer_status(p); }},
    {"drawer_status", [] { return Le_Status_Gaveta(); },
     [](quorvel_printer* p) { return quorvel_printer_drawer_status(p); }},
    {"raw",
     [] {
         char list[] = "27,100,4,0,256";
         return ComandoTx(list);
     },
     [](quorvel_printer* p) {
         char list[] = "27,100,4,0,256";
         return quorvel_printer_raw(p, list);
     }},
    {"image", [] { return quorvel_print_image(image.data(), 21, 9, 21, 1, 1); },
     [](quorvel_printer* p) { return quorvel_printer_image(p, image.data(), 21, 9, 21, 1, 1); }},
    {"store_logo", [] { return quorvel_store_logo(2, image.data(), 21, 9, 21, 0); },
     [](quorvel_printer* p) {
         return quorvel_printer_store_logo(p, 2, image.data(), 21, 9, 21, 0);
     }},
    {"read_status",
     [] {
         quorvel_status status;
         std::memset(&status, 0xFF, sizeof status);  // -1 everywhere until filled
         return quorvel_read_status(&status) * 1000 + status.raw[3];
     },
     [](quorvel_printer* p) {
         quorvel_status status;
         std::memset(&status, 0xFF, sizeof status);
         return quorvel_printer_read_status(p, &status) * 1000 + status.raw[3];
     }},
};

class EveryOperation : public ::testing::TestWithParam<Operation> {};

// The default link and a handle open side by side: each sends its own bytes
// to its own printer, the same bytes for the same call.
TEST_P(EveryOperation, SendsTheBytesOfItsCounterpart) {
    FakePrinter classic_printer, handle_printer;
    classic_printer.answer_with({0x12});
    handle_printer.answer_with({0x12});
    ASSERT_EQ(quorvel_open_tcp(classic_printer.address().c_str(), 9100, 0), 1);
    quorvel_printer* printer = quorvel_printer_open_tcp(handle_printer.address().c_str(), 9100, 0);
    ASSERT_NE(printer, nullptr) << last_message();

    const int classic_result = GetParam().classic();
    const int classic_code = last_code();
    const int handle_result = GetParam().handle(printer);
    EXPECT_EQ(last_code(), classic_code) << last_message();
    EXPECT_EQ(handle_result, classic_result);
    EXPECT_GE(handle_result, 1);

    // Closing ends each connection after its last byte: what arrived is all that was sent.
    EXPECT_EQ(FechaSocket(), 1);
    EXPECT_EQ(quorvel_printer_close(printer), 1);
    ASSERT_TRUE(classic_printer.wait_for_disconnect());
    ASSERT_TRUE(handle_printer.wait_for_disconnect());
    EXPECT_FALSE(classic_printer.received().empty());
    EXPECT_EQ(hex(handle_printer.received()), hex(classic_printer.received()));
}

INSTANTIATE_TEST_SUITE_P(Handles, EveryOperation, ::testing::ValuesIn(operations),
                         [](const auto& info) { return std::string(info.param.name); });

// A null, closed, stale or made-up handle: every operation refuses it with its
// own code and sends nothing anywhere, the default link included.
TEST(BadHandles, AreRefusedByEveryOperation) {
    FakePrinter default_printer, handle_printer;
    ASSERT_EQ(quorvel_open_tcp(default_printer.address().c_str(), 9100, 0), 1);
    quorvel_printer* closed = quorvel_printer_open_tcp(handle_printer.address().c_str(), 9100, 0);
    ASSERT_NE(closed, nullptr);
    ASSERT_EQ(quorvel_printer_close(closed), 1);
    ASSERT_TRUE(handle_printer.wait_for_disconnect());
    const std::size_t bytes_before = handle_printer.received().size();

    const struct {
        const char* name;
        quorvel_printer* handle;
    } bad[] = {{"null", nullptr},
               {"closed", closed},
               {"made_up", reinterpret_cast<quorvel_printer*>(std::uintptr_t{0x7FFF3})},
               {"slot_only", reinterpret_cast<quorvel_printer*>(std::uintptr_t{5})}};
    for (const auto& b : bad) {
        for (const auto& op : operations) {
            SCOPED_TRACE(std::string(b.name) + " " + op.name);
            EXPECT_EQ(op.handle(b.handle), op.name == std::string("read_status") ? -1 : 0);
            EXPECT_EQ(last_code(), QUORVEL_E_BAD_HANDLE);
        }
        EXPECT_EQ(quorvel_printer_close(b.handle), 0);
        EXPECT_EQ(last_code(), QUORVEL_E_BAD_HANDLE);
    }
    EXPECT_EQ(FechaSocket(), 1);
    ASSERT_TRUE(default_printer.wait_for_disconnect());
    EXPECT_EQ(default_printer.received().size(), 0u);
    EXPECT_EQ(handle_printer.received().size(), bytes_before);
}

// An open that fails returns no handle and says why, naming what it tried.
TEST(OpenFailures, ReturnNullAndSayWhy) {
    const std::string nobody = unique_loopback_address("nobody listens");
    const struct {
        const char* address;
        int port;
        int code;
        const char* named;
    } cases[] = {{nullptr, 9100, QUORVEL_E_NULL_INPUT, "address"},
                 {"printer.local", 9100, QUORVEL_E_BAD_ADDRESS, "printer.local"},
                 {"127.0.0.1", 0, QUORVEL_E_BAD_PORT, "0"},
                 {nobody.c_str(), 9100, QUORVEL_E_REFUSED, nobody.c_str()}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.named);
        EXPECT_EQ(quorvel_printer_open_tcp(c.address, c.port, 0), nullptr);
        EXPECT_EQ(last_code(), c.code);
        EXPECT_NE(last_message().find(c.named), std::string::npos) << last_message();
    }
    EXPECT_EQ(quorvel_printer_open_serial("COM1", 1000, 0), nullptr);
    EXPECT_EQ(last_code(), QUORVEL_E_BAD_SPEED);
}

// Slots are reused, handles never: a copy kept after close is refused even
// once its slot holds a printer opened later, and never reaches that printer.
TEST(BadHandles, StaleCopiesNeverReachALaterPrinter) {
    FakePrinter printer;
    std::vector<quorvel_printer*> seen;
    for (int round = 0; round < 1100; ++round) {
        quorvel_printer* p = quorvel_printer_open_tcp(printer.address().c_str(), 9100, 0);
        ASSERT_NE(p, nullptr) << round << ": " << last_message();
        // At the listener's pace: a full accept queue would cost a second per open.
        while (printer.connections() <= round)
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        for (quorvel_printer* old : seen) ASSERT_NE(p, old) << "round " << round;
        if (!seen.empty()) {
            ASSERT_EQ(quorvel_printer_cut(seen.front()), 0);
            ASSERT_EQ(last_code(), QUORVEL_E_BAD_HANDLE);
        }
        seen.push_back(p);
        ASSERT_EQ(quorvel_printer_close(p), 1);
    }
}

// The bytes of ImprimeTexto(text, 0, 0, 0, 0).
Bytes text_command(const std::string& text) {
    return concat_bytes({bytes_of({0x1B, 0x40, 0x1B, 0x61, 0, 0x1B, 0x33, 0x20, 0x1B, 0x74, 0x10,
                                   0x1B, 0x45, 0, 0x1B, 0x4D, 0}),
                         bytes_of(text), bytes_of({0x0A})});
}

std::string receipt_line(int printer, int receipt, int line) {
    return "printer " + std::to_string(printer) + " receipt " + std::to_string(receipt) + " line " +
           std::to_string(line);
}

// A receipt: three lines and a cut, four calls, four commands.
int print_receipt(quorvel_printer* p, int printer, int receipt) {
    int written = 0;
    for (int line = 0; line < 3; ++line)
        written +=
            quorvel_printer_text(p, receipt_line(printer, receipt, line).c_str(), 0, 0, 0, 0);
    return written + quorvel_printer_cut(p);
}

Bytes expected_receipts(int printer, int count) {
    Bytes out;
    for (int receipt = 0; receipt < count; ++receipt) {
        for (int line = 0; line < 3; ++line) {
            Bytes text = text_command(receipt_line(printer, receipt, line));
            out.insert(out.end(), text.begin(), text.end());
        }
        out.insert(out.end(), {0x1D, 0x56, 0x00});
    }
    return out;
}

constexpr int receipts_each = 400;

// A till: counter, kitchen and bar printers driven by three threads at once,
// each receipt whole on its own printer, in order, none lost or mixed.
TEST(SeveralPrinters, ThreeThreadsEachOnItsOwnPrinter) {
    FakePrinter printers[3];
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int k = 0; k < 3; ++k)
        threads.emplace_back([&, k] {
            quorvel_printer* p = quorvel_printer_open_tcp(printers[k].address().c_str(), 9100, 0);
            if (p == nullptr) {
                failures += receipts_each;
                return;
            }
            for (int r = 0; r < receipts_each; ++r)
                if (print_receipt(p, k, r) != 4) ++failures;
            quorvel_printer_close(p);
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(failures, 0);
    for (int k = 0; k < 3; ++k) {
        ASSERT_TRUE(printers[k].wait_for_disconnect());
        const Bytes got = printers[k].received();
        const Bytes want = expected_receipts(k, receipts_each);
        ASSERT_EQ(got.size(), want.size()) << "printer " << k;
        EXPECT_TRUE(got == want) << "printer " << k << " got other bytes";
    }
}

// The bar printer dies mid-run: the counter and kitchen printers get every
// receipt, and each of the dead printer's calls fails at once or within its
// write deadline, with the code of a lost link and its address in the message.
TEST(SeveralPrinters, ADeadPrinterCostsOnlyItsOwnCalls) {
    FakePrinter live[2];
    auto dying = std::make_unique<FakePrinter>();
    const std::string dying_address = dying->address();
    std::atomic<bool> killed{false};
    std::atomic<int> live_failures{0};
    std::vector<std::thread> threads;
    for (int k = 0; k < 2; ++k)
        threads.emplace_back([&, k] {
            quorvel_printer* p = quorvel_printer_open_tcp(live[k].address().c_str(), 9100, 0);
            ASSERT_NE(p, nullptr);
            for (int r = 0; r < receipts_each; ++r)
                if (print_receipt(p, k, r) != 4) ++live_failures;
            quorvel_printer_close(p);
        });
    int dead_failures = 0, dead_codes_wrong = 0;
    double slowest_failure = 0;
    std::string message;
    {
        quorvel_printer* p = quorvel_printer_open_tcp(dying_address.c_str(), 9100, 0);
        ASSERT_NE(p, nullptr);
        for (int r = 0; r < 50; ++r) ASSERT_EQ(print_receipt(p, 2, r), 4);
        dying.reset();  // the printer goes away: its connection is closed
        killed = true;
        for (int r = 50; r < 250; ++r) {
            const auto start = Clock::now();
            if (quorvel_printer_text(p, "after", 0, 0, 0, 0) == 1) continue;
            ++dead_failures;
            slowest_failure = std::max(slowest_failure, seconds_since(start));
            const int code = last_code();
            if (code != QUORVEL_E_WRITE_FAILED && code != QUORVEL_E_LINK_CLOSED) ++dead_codes_wrong;
            message = last_message();
        }
        EXPECT_EQ(quorvel_printer_close(p), 1);
    }
    for (auto& t : threads) t.join();
    EXPECT_GE(dead_failures, 190);
    EXPECT_EQ(dead_codes_wrong, 0);
    EXPECT_LT(slowest_failure, 1.5);  // a write's deadline: 1 s plus 1 ms per byte
    EXPECT_NE(message.find(dying_address), std::string::npos) << message;
    EXPECT_EQ(live_failures, 0);
    for (int k = 0; k < 2; ++k) {
        ASSERT_TRUE(live[k].wait_for_disconnect());
        EXPECT_TRUE(live[k].received() == expected_receipts(k, receipts_each)) << "printer " << k;
    }
}

// A close while another thread waits in a status query on the same printer:
// the query ends within its 2 s reply deadline, the close after it, and the
// handle is refused from then on.
TEST(CloseRacingACall, WaitsForTheCallThenRefusesTheHandle) {
    FakePrinter silent;  // never answers a query
    quorvel_printer* p = quorvel_printer_open_tcp(silent.address().c_str(), 9100, 1);
    ASSERT_NE(p, nullptr);
    std::atomic<bool> started{false};
    int status = -1, status_code = -1;
    double status_seconds = 0;
    std::thread caller([&] {
        const auto start = Clock::now();
        started = true;
        status = quorvel_printer_status(p);
        status_code = last_code();
        status_seconds = seconds_since(start);
    });
    while (!started) std::this_thread::yield();
    silent.wait_for_bytes(3);  // the query is out: the call is inside
    const auto start = Clock::now();
    EXPECT_EQ(quorvel_printer_close(p), 1);
    const double close_seconds = seconds_since(start);
    caller.join();
    EXPECT_EQ(status, QUORVEL_STATUS_NONE);
    EXPECT_EQ(status_code, QUORVEL_E_NO_REPLY);
    EXPECT_LT(status_seconds, 2.8);
    EXPECT_GT(close_seconds, 1.0);  // it waited for the query
    EXPECT_EQ(quorvel_printer_status(p), 0);
    EXPECT_EQ(last_code(), QUORVEL_E_BAD_HANDLE);
}

// Threads printing on one handle while it is closed: each call either sends
// its whole command or is refused as a bad handle; nothing is cut in half.
TEST(CloseRacingACall, CallsOnAClosingHandleAreWholeOrRefused) {
    FakePrinter printer;
    quorvel_printer* p = quorvel_printer_open_tcp(printer.address().c_str(), 9100, 0);
    ASSERT_NE(p, nullptr);
    std::atomic<int> sent{0}, refused{0}, other{0};
    std::vector<std::thread> threads;
    for (int k = 0; k < 4; ++k)
        threads.emplace_back([&] {
            // Until the close refuses this thread's call.
            for (;;) {
                if (quorvel_printer_text(p, "0123456789", 0, 0, 0, 0) == 1) {
                    ++sent;
                    continue;
                }
                if (last_code() == QUORVEL_E_BAD_HANDLE) {
                    ++refused;
                    return;
                }
                ++other;
                return;
            }
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(quorvel_printer_close(p), 1);
    for (auto& t : threads) t.join();
    EXPECT_EQ(other, 0);
    EXPECT_EQ(refused, 4);
    EXPECT_GT(sent, 0);
    ASSERT_TRUE(printer.wait_for_disconnect());
    const Bytes one = text_command("0123456789");
    EXPECT_EQ(printer.received().size(), one.size() * static_cast<std::size_t>(sent.load()));
}

}  // namespace

// SPDX-License-Identifier: MIT
// Confirmed printing over real pseudo-terminals: the printer that prints and
// confirms (ConfirmingPrinter) plays on the master; the library opens the slave.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "confirming_printer.h"
#include "pty_pair.h"
#include "quorvel.h"
#include "test_helpers.h"

using namespace quorvel::testing;

namespace {

int last_code() {
    return quorvel_last_error(nullptr, 0);
}

int count_of(const std::string& text, const std::string& part) {
    int count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// The printer on the master side of a pty, fed by a reader thread.
struct SerialPrinter {
    PtyPair pty;
    ConfirmingPrinter model{[this](const Bytes& bytes) { pty.write_master(bytes); }};
    std::atomic<bool> reading{true};
    std::thread reader{[this] {
        while (reading) {
            const Bytes chunk = pty.read_master_for(std::chrono::milliseconds(5));
            if (!chunk.empty()) model.feed(chunk);
        }
    }};
    ~SerialPrinter() { hang_up(); }
    // The printer's end goes away: the library's port hangs up.
    void hang_up() {
        reading = false;
        if (reader.joinable()) reader.join();
    }
};

int lines(quorvel_printer* p, const std::string& tag, int count) {
    std::string text;
    for (int i = 1; i <= count; ++i) text += tag + "-L" + std::to_string(i) + "\n";
    return quorvel_printer_write(p, reinterpret_cast<const unsigned char*>(text.data()),
                                 static_cast<int>(text.size()));
}

TEST(SerialConfirm, PrintedHeldAndBackOnAHandle) {
    SerialPrinter printer;
    quorvel_printer* p = quorvel_printer_open_serial(printer.pty.slave_name().c_str(), 115200, 0);
    ASSERT_NE(p, nullptr) << last_message();
    printer.model.set_ms_per_line(60);
    ASSERT_EQ(lines(p, "FIRST", 4), 1);
    auto start = Clock::now();
    EXPECT_EQ(quorvel_printer_confirm(p, 5000), 1) << last_message();
    EXPECT_GE(seconds_since(start), 0.2);
    EXPECT_EQ(quorvel_printer_confirm_level(p), QUORVEL_CONFIRM_PRINTED);
    // Paper runs out in the middle of the next receipt.
    printer.model.paper_out_after_lines(2);
    ASSERT_EQ(lines(p, "SECOND", 6), 1);
    start = Clock::now();
    EXPECT_EQ(quorvel_printer_confirm(p, 5000), 0);
    EXPECT_EQ(last_code(), QUORVEL_E_HELD);
    EXPECT_NE(last_message().find("paper out"), std::string::npos) << last_message();
    EXPECT_LT(seconds_since(start), 1.2);
    printer.model.set_paper(true);
    EXPECT_EQ(quorvel_printer_confirm(p, 5000), 1) << last_message();
    EXPECT_EQ(printer.model.ids_requested(), 2);
    for (int line = 1; line <= 6; ++line)
        EXPECT_EQ(count_of(printer.model.paper(), "SECOND-L" + std::to_string(line) + "\n"), 1);
    quorvel_printer_close(p);
}

TEST(SerialConfirm, SilentOrHungUpPrinterGivesOutcomeUnknown) {
    for (const bool hang_up : {false, true}) {
        SCOPED_TRACE(hang_up ? "hung up" : "silent");
        SerialPrinter printer;
        quorvel_printer* p =
            quorvel_printer_open_serial(printer.pty.slave_name().c_str(), 115200, 0);
        ASSERT_NE(p, nullptr) << last_message();
        printer.model.set_ms_per_line(300);
        ASSERT_EQ(lines(p, "LOST", 6), 1);
        std::thread cut([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            printer.model.set_power(false);
            if (hang_up) {
                printer.hang_up();
                printer.pty.close_master();
            }
        });
        const auto start = Clock::now();
        EXPECT_EQ(quorvel_printer_confirm(p, 10000), 0);
        cut.join();
        EXPECT_EQ(last_code(), QUORVEL_E_OUTCOME_UNKNOWN);
        EXPECT_NE(last_message().find("copy"), std::string::npos) << last_message();
        EXPECT_LT(seconds_since(start), 3.5);
        quorvel_printer_close(p);
    }
}

TEST(SerialConfirm, ReceiptsFromTwoThreadsAndTheClassicLink) {
    SerialPrinter printer;
    ASSERT_EQ(quorvel_open_serial(printer.pty.slave_name().c_str(), 115200, 0), 1)
        << last_message();
    ASSERT_EQ(ImprimeTexto("CLASSIC", 0, 0, 0, 0), 1);
    EXPECT_EQ(quorvel_confirm(3000), 1) << last_message();
    EXPECT_EQ(quorvel_confirm_level(), QUORVEL_CONFIRM_PRINTED);
    EXPECT_EQ(FechaPortaSerial(), 1);

    quorvel_printer* p = quorvel_printer_open_serial(printer.pty.slave_name().c_str(), 115200, 0);
    ASSERT_NE(p, nullptr) << last_message();
    std::atomic<int> confirmed{0};
    auto till = [&](const std::string& name) {
        for (int r = 0; r < 4; ++r) {
            if (quorvel_printer_begin(p) != 1) return;
            for (int l = 1; l <= 3; ++l)
                quorvel_printer_text(
                    p, (name + std::to_string(r) + "L" + std::to_string(l)).c_str(), 0, 0, 0, 0);
            if (quorvel_printer_end(p, 5000) == 1) ++confirmed;
        }
    };
    std::thread a(till, "A"), b(till, "B");
    a.join();
    b.join();
    EXPECT_EQ(confirmed, 8);
    const std::string paper = printer.model.paper();
    for (const char* name : {"A", "B"})
        for (int r = 0; r < 4; ++r) {
            const std::string tag = name + std::to_string(r);
            const auto first = paper.find(tag + "L1"), last = paper.find(tag + "L3");
            ASSERT_NE(first, std::string::npos);
            ASSERT_NE(last, std::string::npos);
            const std::string receipt = paper.substr(first, last - first);
            EXPECT_EQ(receipt.find(std::string(name) == "A" ? "B" : "A"), std::string::npos)
                << receipt;
        }
    quorvel_printer_close(p);
}

}  // namespace

namespace {

// A device link whose printer never answers anything (a write-only USB
// printer): it cannot confirm; a printer that answers is confirmed on one.
TEST(SerialConfirm, DeviceThatAnswersNothingCannotConfirm) {
    PtyPair silent;
    quorvel_printer* p = quorvel_printer_open_device(silent.slave_name().c_str(), 0);
    ASSERT_NE(p, nullptr) << last_message();
    ASSERT_EQ(lines(p, "DEV", 2), 1);
    EXPECT_EQ(quorvel_printer_confirm(p, 5000), 0);
    EXPECT_EQ(last_code(), QUORVEL_E_CANNOT_CONFIRM);
    quorvel_printer_close(p);

    SerialPrinter printer;
    termios raw = printer.pty.slave_settings();  // a device passes bytes unchanged
    ::cfmakeraw(&raw);
    ASSERT_EQ(::tcsetattr(printer.pty.slave_fd(), TCSANOW, &raw), 0);
    p = quorvel_printer_open_device(printer.pty.slave_name().c_str(), 0);
    ASSERT_NE(p, nullptr) << last_message();
    ASSERT_EQ(lines(p, "DEV", 2), 1);
    EXPECT_EQ(quorvel_printer_confirm(p, 5000), 1) << last_message();
    quorvel_printer_close(p);
}

}  // namespace

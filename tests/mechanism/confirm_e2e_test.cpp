// SPDX-License-Identifier: MIT
// Confirmed printing against the virtual printer's mechanism: a receipt takes
// its printing time at 250 mm/s, paper runs out in the middle of one, the
// power is cut, a profile ignores GS ( H, and three threads share a handle.
// Over TCP and the printer's serial link (a pseudo-terminal).
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "fake_printer.h"
#include "quorvel.h"
#include "test_helpers.h"
#include "virtual_printer.h"

using namespace quorvel::testing;

namespace {

int last_code() {
    return quorvel_last_error(nullptr, 0);
}

// ESC @, then `count` lines "TAG-Ln" at the printer's default spacing (about
// 30 dots, 3.75 mm each), then a full cut (GS V 0).
std::string receipt(const std::string& tag, int count) {
    std::string text = "\x1b@";
    for (int i = 1; i <= count; ++i) text += tag + "-L" + std::to_string(i) + "\n";
    return text + std::string("\x1dV\x00", 3);
}

int write(quorvel_printer* p, const std::string& bytes) {
    return quorvel_printer_write(p, reinterpret_cast<const unsigned char*>(bytes.data()),
                                 static_cast<int>(bytes.size()));
}

quorvel_printer* open(const VirtualPrinter& printer, bool serial) {
    return serial ? quorvel_printer_open_serial(printer.serial_link().c_str(), 115200, 0)
                  : quorvel_printer_open_tcp(printer.address().c_str(), 9100, 0);
}

// Every line of the receipt exactly once, over all receipts printed.
void expect_each_line_once(VirtualPrinter& printer, const std::string& tag, int count) {
    std::string all;
    for (const std::string& text : printer.receipt_texts()) all += text;
    for (int i = 1; i <= count; ++i)
        EXPECT_EQ(printed_lines(all, tag + "-L" + std::to_string(i)), 1) << tag << " line " << i;
}

class Mechanism : public ::testing::TestWithParam<bool> {};  // serial link or TCP

// 80 lines: about 300 mm, 1.2 s at 250 mm/s.
TEST_P(Mechanism, ConfirmReturnsAfterThePrintingTimeNotBefore) {
    VirtualPrinter printer({.serial = GetParam()});
    quorvel_printer* p = open(printer, GetParam());
    ASSERT_NE(p, nullptr) << last_message();
    ASSERT_EQ(write(p, receipt("TIME", 80)), 1) << last_message();
    const auto start = Clock::now();
    EXPECT_EQ(quorvel_printer_confirm(p, 10000), 1) << last_message();
    const double took = seconds_since(start);
    EXPECT_GE(took, 0.9);  // 300 mm at 250 mm/s, less the first lines while writing
    EXPECT_LT(took, 5.0);
    EXPECT_EQ(quorvel_printer_confirm_level(p), QUORVEL_CONFIRM_PRINTED);
    // The next confirm, with nothing more to print, comes at once.
    const auto again = Clock::now();
    EXPECT_EQ(quorvel_printer_confirm(p, 10000), 1) << last_message();
    EXPECT_LT(seconds_since(again), 0.5);
    quorvel_printer_close(p);
    expect_each_line_once(printer, "TIME", 80);
}

// A 150 mm roll and a 225 mm receipt: out after about 0.6 s; the new roll
// takes the rest.
TEST_P(Mechanism, PaperOutMidReceiptIsHeldThenPrintedOnce) {
    VirtualPrinter printer({.paper_roll_mm = 150, .serial = GetParam()});
    quorvel_printer* p = open(printer, GetParam());
    ASSERT_NE(p, nullptr) << last_message();
    ASSERT_EQ(write(p, receipt("ROLL", 60)), 1) << last_message();
    const auto start = Clock::now();
    EXPECT_EQ(quorvel_printer_confirm(p, 10000), 0);
    EXPECT_EQ(last_code(), QUORVEL_E_HELD);
    EXPECT_NE(last_message().find("paper out"), std::string::npos) << last_message();
    EXPECT_LT(seconds_since(start), 0.6 + 1.0 + 0.3);  // within a second of running out
    // Held again while the paper is out; no second ID.
    EXPECT_EQ(quorvel_printer_confirm(p, 1000), 0);
    EXPECT_EQ(last_code(), QUORVEL_E_HELD);
    ASSERT_EQ(printer.put_status(R"({"paper":"ok"})"), 200);
    EXPECT_EQ(quorvel_printer_confirm(p, 10000), 1) << last_message();
    quorvel_printer_close(p);
    expect_each_line_once(printer, "ROLL", 60);
}

// Automatic status back on (GS a 255): status groups come unasked around the
// process ID answer as the paper goes out and comes back; held is told from
// them, and the answer is read apart from them.
TEST_P(Mechanism, AutomaticStatusBackAroundTheAnswer) {
    VirtualPrinter printer({.serial = GetParam()});
    quorvel_printer* p = open(printer, GetParam());
    ASSERT_NE(p, nullptr) << last_message();
    ASSERT_EQ(write(p, std::string("\x1d\x61\xff", 3)), 1);
    ASSERT_EQ(write(p, receipt("ASB", 40)), 1);  // 160 mm, 0.64 s
    std::thread fault([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        printer.put_status(R"({"paper":"out"})");
    });
    const auto start = Clock::now();
    EXPECT_EQ(quorvel_printer_confirm(p, 10000), 0);
    fault.join();
    EXPECT_EQ(last_code(), QUORVEL_E_HELD);
    EXPECT_LT(seconds_since(start), 0.2 + 0.5);  // the group tells before any poll would
    ASSERT_EQ(printer.put_status(R"({"paper":"ok"})"), 200);
    EXPECT_EQ(quorvel_printer_confirm(p, 10000), 1) << last_message();
    quorvel_printer_close(p);
    expect_each_line_once(printer, "ASB", 40);
}

TEST_P(Mechanism, PowerCutGivesOutcomeUnknown) {
    VirtualPrinter printer({.serial = GetParam()});
    quorvel_printer* p = open(printer, GetParam());
    ASSERT_NE(p, nullptr) << last_message();
    ASSERT_EQ(write(p, receipt("POWER", 120)), 1) << last_message();  // 1.8 s of printing
    std::thread cut([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        printer.put_status(R"({"power":"off"})");
    });
    const auto start = Clock::now();
    EXPECT_EQ(quorvel_printer_confirm(p, 10000), 0);
    cut.join();
    EXPECT_EQ(last_code(), QUORVEL_E_OUTCOME_UNKNOWN);
    EXPECT_NE(last_message().find("copy"), std::string::npos) << last_message();
    EXPECT_LT(seconds_since(start), 3.5);
    quorvel_printer_close(p);
}

TEST_P(Mechanism, PrinterWithoutProcessIdIsConfirmedByArrival) {
    VirtualPrinter printer({.speed = "0", .process_id = false, .serial = GetParam()});
    quorvel_printer* p = open(printer, GetParam());
    ASSERT_NE(p, nullptr) << last_message();
    ASSERT_EQ(write(p, receipt("NOID", 3)), 1);
    EXPECT_EQ(quorvel_printer_confirm(p, 10000), 1) << last_message();
    EXPECT_EQ(quorvel_printer_confirm_level(p), QUORVEL_CONFIRM_ARRIVED);
    ASSERT_EQ(write(p, receipt("NOID2", 3)), 1);
    const auto start = Clock::now();
    EXPECT_EQ(quorvel_printer_confirm(p, 10000), 1) << last_message();
    EXPECT_LT(seconds_since(start), 0.5);  // learned: the fence alone
    EXPECT_EQ(quorvel_printer_confirm_level(p), QUORVEL_CONFIRM_ARRIVED);
    quorvel_printer_close(p);
}

// Three tills on one handle, each receipt in a begin/end block ending in a
// cut: every receipt on the paper holds one till's order, whole.
TEST_P(Mechanism, ThreeThreadsOneHandleEveryReceiptWholeAndAlone) {
    VirtualPrinter printer({.speed = "0", .serial = GetParam()});
    quorvel_printer* p = open(printer, GetParam());
    ASSERT_NE(p, nullptr) << last_message();
    constexpr int tills = 3, orders = 4, lines = 6;
    std::atomic<int> confirmed{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < tills; ++t)
        threads.emplace_back([&, t] {
            for (int o = 0; o < orders; ++o) {
                if (quorvel_printer_begin(p) != 1) return;
                const std::string tag = "T" + std::to_string(t) + "O" + std::to_string(o);
                for (int l = 1; l <= lines; ++l) {
                    quorvel_printer_text(p, (tag + "-L" + std::to_string(l)).c_str(), 0, 0, 0, 0);
                    std::this_thread::yield();
                }
                quorvel_printer_cut(p);
                if (quorvel_printer_end(p, 10000) == 1) ++confirmed;
            }
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(confirmed, tills * orders);
    quorvel_printer_close(p);
    const std::vector<std::string> texts = printer.receipt_texts();
    ASSERT_EQ(texts.size(), static_cast<std::size_t>(tills * orders));
    for (const std::string& text : texts) {
        // The receipt's first line names its order; every line is that order's.
        const auto at = text.find(",\"text\":\"T");
        ASSERT_NE(at, std::string::npos) << text;
        const std::string tag = text.substr(at + 9, 4);  // "TnOn"
        for (int l = 1; l <= lines; ++l)
            EXPECT_EQ(printed_lines(text, tag + "-L" + std::to_string(l)), 1) << text;
        int all_lines = 0;
        for (auto found = text.find(",\"text\":\""); found != std::string::npos;
             found = text.find(",\"text\":\"", found + 1))
            ++all_lines;
        EXPECT_EQ(all_lines, lines) << text;
    }
}

INSTANTIATE_TEST_SUITE_P(Links, Mechanism, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "serial" : "tcp"; });

// Two printers, one held and one printing, confirmed from two threads: each
// answer is its own printer's, and the held one does not slow the other.
TEST(MechanismTwoPrinters, ConfirmIndependentlyFromTwoThreads) {
    VirtualPrinter kitchen({}), counter({});
    quorvel_printer* k = quorvel_printer_open_tcp(kitchen.address().c_str(), 9100, 0);
    quorvel_printer* c = quorvel_printer_open_tcp(counter.address().c_str(), 9100, 0);
    ASSERT_NE(k, nullptr);
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(kitchen.put_status(R"({"paper":"out"})"), 200);
    std::atomic<int> kitchen_code{-1};
    std::thread waiting([&] {
        write(k, receipt("KITCHEN", 10));
        quorvel_printer_confirm(k, 10000);
        kitchen_code = last_code();
    });
    for (int order = 0; order < 3; ++order) {
        ASSERT_EQ(write(c, receipt("COUNTER" + std::to_string(order), 8)), 1);
        const auto start = Clock::now();
        EXPECT_EQ(quorvel_printer_confirm(c, 10000), 1) << last_message();
        EXPECT_LT(seconds_since(start), 1.5);  // 30 mm at 250 mm/s, whatever the kitchen does
    }
    waiting.join();
    EXPECT_EQ(kitchen_code, QUORVEL_E_HELD);
    quorvel_printer_close(k);
    quorvel_printer_close(c);
}

}  // namespace

// SPDX-License-Identifier: MIT
// Confirmed printing and whole receipts against loopback printers that print
// at a set speed and answer GS ( H, GS r and DLE EOT (ConfirmingPrinter), or
// that answer with scripted bytes. Portable: runs on both builds.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "confirming_printer.h"
#include "fake_printer.h"
#include "quorvel.h"
#include "test_helpers.h"

using namespace quorvel::testing;

namespace {

// "prefix" followed by each number, built by appending: GCC 12 at -O3 warns
// falsely (-Wrestrict) on a literal + std::to_string(n) chain.
std::string tagged(const char* prefix, int n, const char* middle = "", int m = -1) {
    std::string out = prefix;
    out += std::to_string(n);
    out += middle;
    if (m >= 0) out += std::to_string(m);
    return out;
}

int last_code() {
    return quorvel_last_error(nullptr, 0);
}

int count_of(const std::string& text, const std::string& part) {
    int count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// A loopback printer on its own address that prints and confirms.
struct TcpPrinter {
    FakePrinter fake;
    ConfirmingPrinter model{[this](const Bytes& bytes) { fake.send_unsolicited(bytes); }};
    TcpPrinter() {
        fake.set_responder([this](const Bytes& chunk) {
            model.feed(chunk);
            return Bytes{};
        });
    }
    ~TcpPrinter() { fake.set_responder(nullptr); }
};

// A handle on a fresh TcpPrinter, closed at the end.
struct Session {
    TcpPrinter printer;
    quorvel_printer* p = nullptr;
    Session() { p = quorvel_printer_open_tcp(printer.fake.address().c_str(), 9100, 0); }
    ~Session() { quorvel_printer_close(p); }
    int lines(const std::string& tag, int count) {
        std::string text;
        for (int i = 1; i <= count; ++i) text += tag + "-L" + std::to_string(i) + "\n";
        return quorvel_printer_write(p, reinterpret_cast<const unsigned char*>(text.data()),
                                     static_cast<int>(text.size()));
    }
};

const Bytes id_request_0001 =
    bytes_of({0x1D, 0x28, 0x48, 0x06, 0x00, 0x30, 0x30, '0', '0', '0', '1'});
const Bytes fence = bytes_of({0x1D, 0x72, 0x01});

TEST(Confirm, ReturnsOncePrintedAndSendsTheIdAfterTheData) {
    Session s;
    ASSERT_NE(s.p, nullptr);
    s.printer.model.set_ms_per_line(100);
    ASSERT_EQ(s.lines("ORDER1", 4), 1);
    const auto start = Clock::now();
    EXPECT_EQ(quorvel_printer_confirm(s.p, 5000), 1) << last_message();
    EXPECT_GE(seconds_since(start), 0.35);  // four lines at 100 ms, not before
    EXPECT_EQ(quorvel_printer_confirm_level(s.p), QUORVEL_CONFIRM_PRINTED);
    EXPECT_EQ(count_of(s.printer.model.paper(), "ORDER1-L4"), 1);
    // The first confirm of a link: the ID, then the GS r 1 fence, after the data.
    const Bytes sent = s.printer.fake.received();
    const Bytes tail(sent.end() - 14, sent.end());
    EXPECT_EQ(hex(tail), hex(concat_bytes({id_request_0001, fence})));
    // The next one sends the next ID alone: the printer is known to answer.
    ASSERT_EQ(s.lines("ORDER2", 1), 1);
    EXPECT_EQ(quorvel_printer_confirm(s.p, 5000), 1) << last_message();
    EXPECT_EQ(s.printer.model.last_id_requested(), "0002");
    EXPECT_EQ(s.printer.model.fences_requested(), 1);
}

TEST(Confirm, HeldIsReportedWithinASecondAndConfirmAgainWaitsForTheSameId) {
    struct Case {
        const char* name;
        void (*fault)(ConfirmingPrinter&, bool on);
        const char* cause;
    };
    const Case cases[] = {
        {"paper out", [](ConfirmingPrinter& m, bool on) { m.set_paper(!on); }, "paper out"},
        {"cover open", [](ConfirmingPrinter& m, bool on) { m.set_cover_open(on); }, "cover open"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Session s;
        ASSERT_NE(s.p, nullptr);
        s.printer.model.set_ms_per_line(20);
        c.fault(s.printer.model, true);
        ASSERT_EQ(s.lines("HELD", 3), 1);
        auto start = Clock::now();
        EXPECT_EQ(quorvel_printer_confirm(s.p, 5000), 0);
        EXPECT_LT(seconds_since(start), 1.0);
        EXPECT_EQ(last_code(), QUORVEL_E_HELD);
        EXPECT_NE(last_message().find(c.cause), std::string::npos) << last_message();
        EXPECT_EQ(quorvel_printer_confirm_level(s.p), QUORVEL_CONFIRM_NONE);
        // Still held: held again, and no new ID was asked for.
        EXPECT_EQ(quorvel_printer_confirm(s.p, 5000), 0);
        EXPECT_EQ(last_code(), QUORVEL_E_HELD);
        EXPECT_EQ(s.printer.model.ids_requested(), 1);
        c.fault(s.printer.model, false);
        EXPECT_EQ(quorvel_printer_confirm(s.p, 5000), 1) << last_message();
        EXPECT_EQ(s.printer.model.ids_requested(), 1);
        EXPECT_EQ(count_of(s.printer.model.paper(), "HELD-L3"), 1);
    }
}

// The answer may come while another call reads the link: a status read
// between two confirms does not lose it.
TEST(Confirm, AnswerTakenByAStatusReadStillCounts) {
    Session s;
    ASSERT_NE(s.p, nullptr);
    s.printer.model.set_paper(false);
    ASSERT_EQ(s.lines("LATE", 2), 1);
    EXPECT_EQ(quorvel_printer_confirm(s.p, 3000), 0);
    EXPECT_EQ(last_code(), QUORVEL_E_HELD);
    s.printer.model.set_paper(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // printed, answer waiting
    quorvel_status status;
    EXPECT_EQ(quorvel_printer_read_status(s.p, &status), 1) << last_message();
    EXPECT_EQ(status.paper_out, 0);
    const auto start = Clock::now();
    EXPECT_EQ(quorvel_printer_confirm(s.p, 3000), 1) << last_message();
    EXPECT_LT(seconds_since(start), 0.4);  // no new ID, no poll: the answer was kept
    EXPECT_EQ(s.printer.model.ids_requested(), 1);
}

TEST(Confirm, PaperOutMidReceiptThenBackPrintsEveryLineOnce) {
    Session s;
    ASSERT_NE(s.p, nullptr);
    s.printer.model.set_ms_per_line(40);
    s.printer.model.paper_out_after_lines(3);
    ASSERT_EQ(s.lines("MID", 8), 1);
    const auto start = Clock::now();
    EXPECT_EQ(quorvel_printer_confirm(s.p, 5000), 0);
    EXPECT_EQ(last_code(), QUORVEL_E_HELD);
    EXPECT_LT(seconds_since(start), 1.2);  // out after ~120 ms, reported within a second
    EXPECT_EQ(count_of(s.printer.model.paper(), "MID-L8"), 0);
    s.printer.model.set_paper(true);
    EXPECT_EQ(quorvel_printer_confirm(s.p, 5000), 1) << last_message();
    const std::string paper = s.printer.model.paper();
    for (int line = 1; line <= 8; ++line)
        EXPECT_EQ(count_of(paper, tagged("MID-L", line, "\n")), 1) << paper;
}

TEST(Confirm, AutomaticStatusBackReportsHeldWithoutPolling) {
    Session s;
    ASSERT_NE(s.p, nullptr);
    const Bytes asb_on = bytes_of({0x1D, 0x61, 0xFF});  // GS a 255
    ASSERT_EQ(quorvel_printer_write(s.p, asb_on.data(), 3), 1);
    s.printer.model.set_ms_per_line(40);
    s.printer.model.paper_out_after_lines(2);
    ASSERT_EQ(s.lines("ASB", 6), 1);
    EXPECT_EQ(quorvel_printer_confirm(s.p, 5000), 0);
    EXPECT_EQ(last_code(), QUORVEL_E_HELD);
    EXPECT_NE(last_message().find("paper out"), std::string::npos) << last_message();
    EXPECT_EQ(s.printer.model.status_queries(), 0);  // the group told it, before the first poll
}

TEST(Confirm, PowerCutGivesOutcomeUnknown) {
    struct Case {
        const char* name;
        bool drop_link;
        double within;
    };
    for (const Case c : {Case{"link reset", true, 1.0}, Case{"printer silent", false, 3.5}}) {
        SCOPED_TRACE(c.name);
        Session s;
        ASSERT_NE(s.p, nullptr);
        s.printer.model.set_ms_per_line(200);
        ASSERT_EQ(s.lines("POWER", 10), 1);
        std::thread cut([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            s.printer.model.set_power(false);
            if (c.drop_link) s.printer.fake.drop_connection();
        });
        const auto start = Clock::now();
        EXPECT_EQ(quorvel_printer_confirm(s.p, 10000), 0);
        cut.join();
        EXPECT_EQ(last_code(), QUORVEL_E_OUTCOME_UNKNOWN);
        EXPECT_NE(last_message().find("copy"), std::string::npos) << last_message();
        EXPECT_LT(seconds_since(start), c.within);
    }
}

TEST(Confirm, PrinterWithoutProcessIdIsConfirmedByArrival) {
    Session s;
    ASSERT_NE(s.p, nullptr);
    s.printer.model.set_process_id(false);
    ASSERT_EQ(s.lines("NOID", 2), 1);
    auto start = Clock::now();
    EXPECT_EQ(quorvel_printer_confirm(s.p, 10000), 1) << last_message();
    EXPECT_GE(seconds_since(start),
              QUORVEL_CONFIRM_LEARN_MS / 1000.0);  // learning takes its time once
    EXPECT_EQ(quorvel_printer_confirm_level(s.p), QUORVEL_CONFIRM_ARRIVED);
    // Learned: the next confirm sends the fence alone and returns at once.
    ASSERT_EQ(s.lines("NOID2", 1), 1);
    start = Clock::now();
    EXPECT_EQ(quorvel_printer_confirm(s.p, 10000), 1) << last_message();
    EXPECT_LT(seconds_since(start), 1.0);
    EXPECT_EQ(quorvel_printer_confirm_level(s.p), QUORVEL_CONFIRM_ARRIVED);
    EXPECT_EQ(s.printer.model.ids_requested(), 1);
    EXPECT_EQ(s.printer.model.fences_requested(), 2);
    // Paper out shows in the fence's answer too: held, not arrived.
    s.printer.model.set_paper(false);
    ASSERT_EQ(s.lines("NOID3", 1), 1);
    EXPECT_EQ(quorvel_printer_confirm(s.p, 3000), 0);
    EXPECT_EQ(last_code(), QUORVEL_E_HELD);
}

TEST(Confirm, SlowPrintingPastTheTimeOutThenConfirmAgain) {
    Session s;
    ASSERT_NE(s.p, nullptr);
    s.printer.model.set_ms_per_line(150);
    ASSERT_EQ(s.lines("SLOW", 8), 1);
    EXPECT_EQ(quorvel_printer_confirm(s.p, 300), 0);
    EXPECT_EQ(last_code(), QUORVEL_E_OUTCOME_UNKNOWN);
    EXPECT_NE(last_message().find("confirm again"), std::string::npos) << last_message();
    EXPECT_EQ(quorvel_printer_confirm(s.p, 5000), 1) << last_message();
    EXPECT_EQ(s.printer.model.ids_requested(), 1);
}

// Scripted answers: whatever else the printer sends around the process ID
// answer, and however the link splits it, only the ID confirms.
TEST(Confirm, AnswerIsParsedApartFromStatusGroupsAndOtherReplies) {
    const Bytes asb = bytes_of({0x14, 0x00, 0x00, 0x00});  // drawer open, nothing held
    const Bytes status = bytes_of({0x12});
    const Bytes foreign =
        concat_bytes({bytes_of({0x37, 0x22}), bytes_of("ABCD"), bytes_of({0x00})});
    const Bytes identity = concat_bytes({bytes_of({0x5F}), bytes_of("TM-Q1"), bytes_of({0x00})});
    const Bytes older = concat_bytes({bytes_of({0x37, 0x22}), bytes_of("9998"), bytes_of({0x00})});
    const Bytes head = bytes_of({0x37, 0x22, '0', '0'});
    const Bytes tail = bytes_of({'0', '1', 0x00});
    struct Case {
        const char* name;
        std::vector<Bytes> pieces;  // sent one by one, 20 ms apart
    };
    const Case cases[] = {
        {"one piece", {concat_bytes({asb, status, foreign, head, tail, asb})}},
        {"split answer", {concat_bytes({identity, asb, head}), concat_bytes({tail, status})}},
        {"byte by byte", {asb, {0x37}, {0x22}, {'0'}, {'0'}, {'0'}, {'1'}, {0x00}}},
        {"older ID first", {older, concat_bytes({status, asb}), concat_bytes({head, tail})}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakePrinter printer;
        std::atomic<bool> asked{false};
        printer.set_responder([&](const Bytes& chunk) {
            if (std::search(chunk.begin(), chunk.end(), id_request_0001.begin(),
                            id_request_0001.end()) != chunk.end())
                asked = true;
            return Bytes{};
        });
        quorvel_printer* p = quorvel_printer_open_tcp(printer.address().c_str(), 9100, 0);
        ASSERT_NE(p, nullptr);
        std::thread answer([&] {
            for (int i = 0; i < 300 && !asked; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            for (const Bytes& piece : c.pieces) {
                printer.send_unsolicited(piece);
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
        EXPECT_EQ(quorvel_printer_confirm(p, 3000), 1) << last_message();
        answer.join();
        quorvel_printer_close(p);
    }
}

TEST(Confirm, AnswerToAnEarlierIdDoesNotConfirmALaterOne) {
    FakePrinter printer;
    quorvel_printer* p = quorvel_printer_open_tcp(printer.address().c_str(), 9100, 0);
    ASSERT_NE(p, nullptr);
    // Answers each ID request with the ID before it ("0000" for the first: no ID).
    printer.set_responder([](const Bytes& chunk) {
        Bytes out;
        for (std::size_t i = 0; i + 11 <= chunk.size(); ++i)
            if (chunk[i] == 0x1D && chunk[i + 1] == 0x28 && chunk[i + 2] == 0x48) {
                const int id = std::stoi(std::string(chunk.begin() + static_cast<long>(i) + 7,
                                                     chunk.begin() + static_cast<long>(i) + 11));
                char text[16];
                std::snprintf(text, sizeof text, "%04d", id - 1);
                out = concat_bytes({bytes_of({0x37, 0x22}), bytes_of(text), bytes_of({0x00})});
            } else if (chunk[i] == 0x10 && chunk[i + 1] == 0x04) {
                out.push_back(0x12);
            }
        return out;
    });
    EXPECT_EQ(quorvel_printer_confirm(p, 800), 0);
    EXPECT_EQ(last_code(), QUORVEL_E_OUTCOME_UNKNOWN);
    quorvel_printer_close(p);
}

// A printer stopped by an error: DLE EOT 2 reports it, DLE EOT 3 names it.
TEST(Confirm, HeldByAnErrorNamesItsCause) {
    struct Case {
        int error_cause;  // DLE EOT 3 answer
        const char* cause;
    };
    for (const Case c : {Case{0x1A, "autocutter error"}, Case{0x32, "unrecoverable error"},
                         Case{0x52, "auto-recoverable error"}}) {
        SCOPED_TRACE(c.cause);
        FakePrinter printer;
        printer.set_responder([&c](const Bytes& chunk) {
            Bytes out;
            for (std::size_t i = 0; i + 2 < chunk.size(); ++i)
                if (chunk[i] == 0x10 && chunk[i + 1] == 0x04)
                    out.push_back(chunk[i + 2] == 2   ? 0x52  // error (bit 6)
                                  : chunk[i + 2] == 3 ? static_cast<std::uint8_t>(c.error_cause)
                                                      : 0x12);
            return out;
        });
        quorvel_printer* p = quorvel_printer_open_tcp(printer.address().c_str(), 9100, 0);
        ASSERT_NE(p, nullptr);
        const auto start = Clock::now();
        EXPECT_EQ(quorvel_printer_confirm(p, 5000), 0);
        EXPECT_EQ(last_code(), QUORVEL_E_HELD);
        EXPECT_NE(last_message().find(c.cause), std::string::npos) << last_message();
        EXPECT_LT(seconds_since(start), 1.0);
        quorvel_printer_close(p);
    }
}

TEST(Confirm, TwoHandlesConfirmIndependentlyFromTwoThreads) {
    Session held, fast;
    ASSERT_NE(held.p, nullptr);
    ASSERT_NE(fast.p, nullptr);
    held.printer.model.set_paper(false);
    fast.printer.model.set_ms_per_line(30);
    std::atomic<int> held_result{-1}, held_code{-1};
    std::thread waiting([&] {
        held.lines("A", 3);
        held_result = quorvel_printer_confirm(held.p, 5000);
        held_code = last_code();
    });
    const auto start = Clock::now();
    for (int round = 0; round < 5; ++round) {
        ASSERT_EQ(fast.lines(tagged("B", round), 2), 1);
        EXPECT_EQ(quorvel_printer_confirm(fast.p, 5000), 1) << last_message();
        EXPECT_EQ(last_code(), QUORVEL_E_OK);  // the other thread's outcome is its own
    }
    EXPECT_LT(seconds_since(start), 2.0);
    waiting.join();
    EXPECT_EQ(held_result, 0);
    EXPECT_EQ(held_code, QUORVEL_E_HELD);
}

TEST(Receipt, ThreeThreadsSharingOneHandleEachReceiptWholeAndAlone) {
    Session s;
    ASSERT_NE(s.p, nullptr);
    s.printer.model.set_ms_per_line(1);
    constexpr int threads = 3, receipts = 6, lines = 5;
    std::atomic<int> confirmed{0};
    std::vector<std::thread> tills;
    for (int t = 0; t < threads; ++t)
        tills.emplace_back([&, t] {
            for (int r = 0; r < receipts; ++r) {
                if (quorvel_printer_begin(s.p) != 1) return;
                const std::string tag = tagged("T", t, "R", r);
                for (int l = 1; l <= lines; ++l) {
                    quorvel_printer_text(s.p, (tag + tagged("L", l)).c_str(), 0, 0, 0, 0);
                    std::this_thread::yield();  // let the others try to get in between
                }
                if (quorvel_printer_end(s.p, 5000) == 1) ++confirmed;
            }
        });
    for (auto& till : tills) till.join();
    EXPECT_EQ(confirmed, threads * receipts);
    // On paper, every receipt's lines come together and in order.
    const std::string paper = s.printer.model.paper();
    for (int t = 0; t < threads; ++t)
        for (int r = 0; r < receipts; ++r) {
            const std::string tag = tagged("T", t, "R", r);
            const auto first = paper.find(tag + "L1");
            ASSERT_NE(first, std::string::npos) << tag;
            std::size_t at = first;
            for (int l = 2; l <= lines; ++l) {
                const auto next = paper.find(tag + tagged("L", l), at);
                ASSERT_NE(next, std::string::npos) << tag << l;
                // Nothing of another receipt between two lines of this one.
                const std::string between = paper.substr(at, next - at);
                EXPECT_EQ(between.find('T', 1), std::string::npos) << tag << ": " << between;
                at = next;
            }
            EXPECT_EQ(count_of(paper, tag + "L1"), 1);
        }
}

TEST(Receipt, CollectsUntilEndAndOtherThreadsWait) {
    Session s;
    ASSERT_NE(s.p, nullptr);
    ASSERT_EQ(quorvel_printer_begin(s.p), 1);
    ASSERT_EQ(quorvel_printer_text(s.p, "FIRST", 0, 0, 0, 0), 1);
    std::atomic<bool> other_done{false};
    std::thread other([&] {
        quorvel_printer_text(s.p, "OTHER", 0, 0, 0, 0);
        other_done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(other_done);                        // held for this thread
    EXPECT_TRUE(s.printer.fake.received().empty());  // nothing sent yet
    ASSERT_EQ(quorvel_printer_text(s.p, "SECOND", 0, 0, 0, 0), 1);
    EXPECT_EQ(quorvel_printer_end(s.p, 0), 1) << last_message();
    other.join();
    const Bytes sent = s.printer.fake.wait_for_bytes(30);
    const std::string text(sent.begin(), sent.end());
    EXPECT_LT(text.find("FIRST"), text.find("SECOND"));
    EXPECT_LT(text.find("SECOND"), text.find("OTHER"));
}

TEST(Receipt, RefusalsAndFailuresSendNothing) {
    Session s;
    ASSERT_NE(s.p, nullptr);
    // End, cancel and a second begin without a receipt of this thread's.
    EXPECT_EQ(quorvel_printer_end(s.p, 0), 0);
    EXPECT_EQ(last_code(), QUORVEL_E_BAD_ARGUMENT);
    EXPECT_EQ(quorvel_printer_cancel(s.p), 0);
    EXPECT_EQ(last_code(), QUORVEL_E_BAD_ARGUMENT);
    ASSERT_EQ(quorvel_printer_begin(s.p), 1);
    EXPECT_EQ(quorvel_printer_begin(s.p), 0);
    EXPECT_EQ(last_code(), QUORVEL_E_BAD_ARGUMENT);
    EXPECT_EQ(quorvel_printer_confirm(s.p, 100), 0);  // nothing sent yet to confirm
    EXPECT_EQ(last_code(), QUORVEL_E_BAD_ARGUMENT);
    // A refused call inside the receipt: end sends nothing and says why.
    ASSERT_EQ(quorvel_printer_text(s.p, "KEPT", 0, 0, 0, 0), 1);
    EXPECT_EQ(quorvel_printer_text(s.p, nullptr, 0, 0, 0, 0), 0);
    ASSERT_EQ(quorvel_printer_text(s.p, "AFTER", 0, 0, 0, 0), 1);
    EXPECT_EQ(quorvel_printer_end(s.p, 1000), 0);
    EXPECT_EQ(last_code(), QUORVEL_E_NULL_INPUT);
    EXPECT_NE(last_message().find("receipt not sent"), std::string::npos) << last_message();
    // Cancel drops a receipt; the printer is free again.
    ASSERT_EQ(quorvel_printer_begin(s.p), 1);
    ASSERT_EQ(quorvel_printer_text(s.p, "DROPPED", 0, 0, 0, 0), 1);
    EXPECT_EQ(quorvel_printer_cancel(s.p), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(s.printer.fake.received().empty()) << hex(s.printer.fake.received());
    // Bad handles.
    EXPECT_EQ(quorvel_printer_begin(nullptr), 0);
    EXPECT_EQ(last_code(), QUORVEL_E_BAD_HANDLE);
    EXPECT_EQ(quorvel_printer_confirm(nullptr, 10), 0);
    EXPECT_EQ(last_code(), QUORVEL_E_BAD_HANDLE);
    // Write: refused input sends nothing.
    const unsigned char byte = 'x';
    EXPECT_EQ(quorvel_printer_write(s.p, nullptr, 1), 0);
    EXPECT_EQ(last_code(), QUORVEL_E_NULL_INPUT);
    EXPECT_EQ(quorvel_printer_write(s.p, &byte, -1), 0);
    EXPECT_EQ(last_code(), QUORVEL_E_BAD_ARGUMENT);
    EXPECT_EQ(quorvel_printer_write(s.p, nullptr, 0), 1);
    EXPECT_EQ(quorvel_printer_confirm(s.p, -1), 0);
    EXPECT_EQ(last_code(), QUORVEL_E_BAD_ARGUMENT);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(s.printer.fake.received().empty()) << hex(s.printer.fake.received());
}

TEST(Receipt, LargeReceiptGoesOutWholeInPiecesAndIsConfirmed) {
    Session s;
    ASSERT_NE(s.p, nullptr);
    std::string big;
    for (int i = 0; big.size() < 3 * QUORVEL_RECEIPT_PIECE / 2; ++i)
        big += tagged("LINE", i, "\n");
    ASSERT_EQ(quorvel_printer_begin(s.p), 1);
    ASSERT_EQ(quorvel_printer_write(s.p, reinterpret_cast<const unsigned char*>(big.data()),
                                    static_cast<int>(big.size())),
              1);
    ASSERT_EQ(quorvel_printer_text(s.p, "END", 0, 0, 0, 0), 1);
    EXPECT_EQ(quorvel_printer_end(s.p, 10000), 1) << last_message();
    const Bytes sent = s.printer.fake.received();
    ASSERT_GE(sent.size(), big.size());
    EXPECT_EQ(std::string(sent.begin(), sent.begin() + static_cast<long>(big.size())), big);
}

TEST(Write, SendsBytesAsTheyAreBeyond4096) {
    FakePrinter printer;
    ASSERT_EQ(quorvel_open_tcp(printer.address().c_str(), 9100, 0), 1);
    Bytes bytes(10000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
    EXPECT_EQ(quorvel_write(bytes.data(), static_cast<int>(bytes.size())), 1) << last_message();
    EXPECT_EQ(printer.wait_for_bytes(bytes.size()), bytes);  // no ESC @, no LF
    FechaSocket();
    EXPECT_EQ(quorvel_write(bytes.data(), 1), 0);
    EXPECT_EQ(last_code(), QUORVEL_E_NO_LINK);
}

TEST(Confirm, ClassicLinkLearnsAtItsFirstConfirmNotAtOpen) {
    TcpPrinter printer;
    ASSERT_EQ(AbreSocket(printer.fake.address().c_str(), 0), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(printer.fake.received().empty());  // AbreSocket sends nothing, as always
    ASSERT_EQ(ImprimeTexto("CLASSIC", 0, 0, 0, 0), 1);
    EXPECT_EQ(quorvel_confirm(3000), 1) << last_message();
    EXPECT_EQ(quorvel_confirm_level(), QUORVEL_CONFIRM_PRINTED);
    EXPECT_EQ(printer.model.ids_requested(), 1);
    EXPECT_EQ(count_of(printer.model.paper(), "CLASSIC"), 1);
    EXPECT_EQ(FechaSocket(), 1);
    EXPECT_EQ(quorvel_confirm(100), 0);
    EXPECT_EQ(last_code(), QUORVEL_E_NO_LINK);
    EXPECT_EQ(quorvel_confirm_level(), QUORVEL_CONFIRM_NONE);
}

}  // namespace

// SPDX-License-Identifier: MIT
// Whole receipts and confirms, counted: a receipt of many calls leaves in one
// write at its end (in QUORVEL_RECEIPT_PIECE pieces when larger), the calls
// inside it write nothing, and a confirm at rest is one write and no heap.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "call_probe.h"
#include "confirming_printer.h"
#include "fake_printer.h"
#include "quorvel.h"

using namespace quorvel::testing;

namespace {

struct Printer {
    FakePrinter fake;
    ConfirmingPrinter model{[this](const Bytes& bytes) { fake.send_unsolicited(bytes); }};
    quorvel_printer* p = nullptr;
    Printer() {
        fake.set_responder([this](const Bytes& chunk) {
            model.feed(chunk);
            return Bytes{};
        });
        p = quorvel_printer_open_tcp(fake.address().c_str(), 9100, 0);
    }
    ~Printer() {
        quorvel_printer_close(p);
        fake.set_responder(nullptr);
    }
};

TEST(ReceiptWrites, ManyCallsOneWriteAtTheEnd) {
    Printer printer;
    ASSERT_NE(printer.p, nullptr);
    ASSERT_EQ(quorvel_printer_begin(printer.p), 1);  // takes the receipt buffer, once
    CallProbe inside;
    for (int line = 0; line < 20; ++line)
        ASSERT_EQ(quorvel_printer_text(printer.p, "2x Pao de queijo  R$ 9,80", 0, 0, 0, 0), 1);
    ASSERT_EQ(quorvel_printer_cut(printer.p), 1);
    const CallCounts collected = inside.finish();
    EXPECT_TRUE(collected.writes.empty());
    CallProbe end;
    ASSERT_EQ(quorvel_printer_end(printer.p, 0), 1);
    const CallCounts ended = end.finish();
    ASSERT_EQ(ended.writes.size(), 1u);
    EXPECT_EQ(printer.fake.wait_for_bytes(ended.writes[0]).size(), ended.writes[0]);
    if (heap_counting_available()) {
        EXPECT_EQ(collected.allocations, 0);
        EXPECT_EQ(ended.allocations, 0);
    }
}

TEST(ReceiptWrites, LargeReceiptInBoundedPieces) {
    Printer printer;
    ASSERT_NE(printer.p, nullptr);
    const std::vector<unsigned char> image_rows(QUORVEL_RECEIPT_PIECE * 2 + 1000, 0x55);
    ASSERT_EQ(quorvel_printer_begin(printer.p), 1);
    CallProbe probe;
    ASSERT_EQ(quorvel_printer_write(printer.p, image_rows.data(), 1000), 1);
    ASSERT_EQ(quorvel_printer_write(printer.p, image_rows.data() + 1000,
                                    static_cast<int>(image_rows.size()) - 1000),
              1);
    ASSERT_EQ(quorvel_printer_end(printer.p, 0), 1);
    const CallCounts counts = probe.finish();
    std::size_t total = 0;
    for (std::size_t bytes : counts.writes) {
        EXPECT_LE(bytes, static_cast<std::size_t>(QUORVEL_RECEIPT_PIECE));
        total += bytes;
    }
    EXPECT_EQ(total, image_rows.size());
    EXPECT_EQ(printer.fake.wait_for_bytes(total).size(), total);
}

TEST(ConfirmWrites, AtRestOneWriteAndNoHeap) {
    Printer printer;
    ASSERT_NE(printer.p, nullptr);
    ASSERT_EQ(quorvel_printer_text(printer.p, "ORDER", 0, 0, 0, 0), 1);
    ASSERT_EQ(quorvel_printer_confirm(printer.p, 3000), 1);  // the first learns: ID and fence
    ASSERT_EQ(quorvel_printer_text(printer.p, "ORDER", 0, 0, 0, 0), 1);
    CallProbe probe;
    EXPECT_EQ(quorvel_printer_confirm(printer.p, 3000), 1);
    const CallCounts counts = probe.finish();
    EXPECT_EQ(counts.writes, std::vector<std::size_t>{11});  // GS ( H fn 48 and the ID
    if (heap_counting_available()) {
        EXPECT_EQ(counts.allocations, 0);
    }
}

}  // namespace

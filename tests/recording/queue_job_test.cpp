// SPDX-License-Identifier: MIT
// The queue link's job: commands collect until a cut, a flush or the close,
// and a job never passes QUORVEL_QUEUE_JOB_MAX bytes. Each recorded write is
// one job handed to the spooler.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "capture.h"

using namespace quorvel::testing;

namespace {

Bytes joined(const std::vector<Bytes>& writes) {
    Bytes all;
    for (const Bytes& w : writes) all.insert(all.end(), w.begin(), w.end());
    return all;
}

// What the calls write over TCP, one element per command.
template <typename Calls>
std::vector<Bytes> commands_of(Calls&& calls) {
    FechaPortaSerial();
    open_recording_link();
    auto captured = capture([&] {
        calls();
        return 1;
    });
    FechaSocket();
    return captured.writes;
}

class QueueJob : public ::testing::Test {
  protected:
    void SetUp() override {
        FechaSocket();
        ASSERT_EQ(quorvel_open_queue("receipts", 0), 1);
        recording::clear();
    }
    void TearDown() override { FechaPortaSerial(); }
};

TEST_F(QueueJob, CollectsUntilTheCutThenUntilFlushAndClose) {
    auto receipt = [] {
        ImprimeTexto("first", 0, 0, 0, 0);
        AcionaGuilhotina();
    };
    const std::vector<Bytes> commands = commands_of(receipt);
    ASSERT_EQ(quorvel_open_queue("receipts", 0), 1);
    recording::clear();
    EXPECT_EQ(ImprimeTexto("first", 0, 0, 0, 0), 1);
    EXPECT_TRUE(recording::writes().empty()) << "sent before the cut";
    EXPECT_EQ(AcionaGuilhotina(), 1);
    ASSERT_EQ(recording::writes().size(), 1u);
    EXPECT_EQ(hex(recording::writes()[0]), hex(joined(commands)));

    EXPECT_EQ(quorvel_flush(), 1);  // nothing collected: no empty job
    EXPECT_EQ(recording::writes().size(), 1u);
    EXPECT_EQ(Abre_Gaveta(), 1);
    EXPECT_EQ(quorvel_flush(), 1);
    EXPECT_EQ(recording::writes().size(), 2u);
    EXPECT_EQ(Abre_Gaveta(), 1);
    EXPECT_EQ(FechaPortaSerial(), 1);
    EXPECT_EQ(recording::writes().size(), 3u) << "the close sends what is left";
}

TEST_F(QueueJob, ACommandThatWouldPassTheBoundSendsTheJobFirst) {
    // Two full-width images of 2000 rows: about 288 KB in bands of 9 KB.
    const std::vector<std::uint8_t> gray(576 * 2000, 0x40);
    auto images = [&] {
        for (int i = 0; i < 2; ++i) quorvel_print_image(gray.data(), 576, 2000, 576, 1, 0);
    };
    const std::vector<Bytes> commands = commands_of(images);
    ASSERT_EQ(quorvel_open_queue("receipts", 0), 1);
    recording::clear();
    images();
    EXPECT_EQ(quorvel_flush(), 1);
    const std::vector<Bytes> jobs = recording::writes();
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(joined(jobs), joined(commands));
    // The first job ends where a band ends, as full as the bound allows.
    std::size_t whole = 0, bands = 0;
    while (bands < commands.size() && whole + commands[bands].size() <= QUORVEL_QUEUE_JOB_MAX)
        whole += commands[bands++].size();
    EXPECT_EQ(jobs[0].size(), whole);
    EXPECT_LE(jobs[1].size(), static_cast<std::size_t>(QUORVEL_QUEUE_JOB_MAX));
}

TEST_F(QueueJob, StatusQueriesSendNothingAndSayWhy) {
    quorvel_status status;
    EXPECT_EQ(Le_Status(), QUORVEL_STATUS_NONE);
    EXPECT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_NO_STATUS_ON_QUEUE);
    EXPECT_EQ(Le_Status_Gaveta(), QUORVEL_STATUS_NONE);
    EXPECT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_NO_STATUS_ON_QUEUE);
    EXPECT_EQ(quorvel_read_status(&status), 0);
    EXPECT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_NO_STATUS_ON_QUEUE);
    EXPECT_EQ(status.online, -1);
    EXPECT_EQ(FechaPortaSerial(), 1);
    EXPECT_TRUE(recording::writes().empty());
}

// Each printer handle on a queue collects its own job, apart from the others.
TEST(QueueHandles, EachHandleSendsItsOwnJob) {
    recording::clear();
    quorvel_printer* first = quorvel_printer_open_queue("receipts", 0);
    quorvel_printer* second = quorvel_printer_open_queue("kitchen", 0);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(quorvel_printer_text(first, "one", 0, 0, 0, 0), 1);
    EXPECT_EQ(quorvel_printer_text(second, "two", 0, 0, 0, 0), 1);
    EXPECT_EQ(quorvel_printer_cut(first), 1);
    ASSERT_EQ(recording::writes().size(), 1u);
    const Bytes job = recording::writes()[0];
    EXPECT_NE(std::search(job.begin(), job.end(), std::begin("one"), std::end("one") - 1),
              job.end());
    EXPECT_EQ(std::search(job.begin(), job.end(), std::begin("two"), std::end("two") - 1),
              job.end());
    EXPECT_EQ(quorvel_printer_flush(first), 1);  // nothing left
    EXPECT_EQ(quorvel_printer_close(second), 1);
    ASSERT_EQ(recording::writes().size(), 2u);
    EXPECT_EQ(recording::writes()[1].size(), job.size() - 3) << "two's text, no cut";
    EXPECT_EQ(quorvel_printer_close(first), 1);
    EXPECT_EQ(quorvel_printer_flush(first), 0);
    EXPECT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_BAD_HANDLE);
}

}  // namespace

namespace {

// A queue link confirms as far as the spooler can tell: the job collected so
// far goes to the queue, and its acceptance is all there is (SPOOLED). Inside
// the job nothing of the confirm's own is sent: no GS ( H, no query.
TEST_F(QueueJob, ConfirmSendsTheJobAndSaysSpooled) {
    EXPECT_EQ(ImprimeTexto("order 7", 0, 0, 0, 0), 1);
    EXPECT_TRUE(recording::writes().empty());
    EXPECT_EQ(quorvel_confirm(1000), 1);
    EXPECT_EQ(quorvel_confirm_level(), QUORVEL_CONFIRM_SPOOLED);
    ASSERT_EQ(recording::writes().size(), 1u);
    const Bytes job = recording::writes()[0];
    const Bytes id_request = {0x1D, 0x28, 0x48};
    EXPECT_EQ(std::search(job.begin(), job.end(), id_request.begin(), id_request.end()), job.end());
    EXPECT_EQ(job.back(), 0x0A);  // the text command's own end
    // Bytes as they are go into the job too, unframed.
    const unsigned char raw[] = {0x1B, 0x64, 0x03};
    EXPECT_EQ(quorvel_write(raw, 3), 1);
    EXPECT_EQ(quorvel_flush(), 1);
    ASSERT_EQ(recording::writes().size(), 2u);
    EXPECT_EQ(hex(recording::writes()[1]), hex(Bytes{0x1B, 0x64, 0x03}));
}

}  // namespace

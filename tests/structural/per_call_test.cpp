// SPDX-License-Identifier: MIT
// What one exported call costs the host structurally: no heap allocation, and
// each command handed to the operating system in exactly one write call. Input
// that is refused reaches no write call at all.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "call_probe.h"
#include "fake_printer.h"
#include "quorvel.h"
#include "raw_peer.h"

using namespace quorvel::testing;
using namespace std::chrono_literals;

namespace {

enum class Link { tcp, serial };

struct CallCase {
    const char* name;
    std::function<int()> call;
    int expected_result;
    std::vector<std::size_t> expected_writes;  // bytes of each write call
};

void PrintTo(const CallCase& c, std::ostream* os) { *os << c.name; }
void PrintTo(Link link, std::ostream* os) { *os << (link == Link::tcp ? "tcp" : "serial"); }

// Lists are parsed in place, so each call gets a fresh copy.
int with_list(const char* list, int (*call)(char*)) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%s", list);
    return call(buffer);
}

const char* const code128_list =
    "10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31";
const char* const short_code128_list =
    "10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30";
const std::string receipt_line = "2x Cafe expresso                  7,00";
const std::string qr_data(100, 'Q');
const std::string longest_text(8174, 'L');
const std::string too_long_text(8175, 'L');
const std::string too_long_barcode(92, '1');
const std::vector<unsigned char> photo = [] {
    std::vector<unsigned char> gray(576 * 300);
    for (std::size_t i = 0; i < gray.size(); ++i) gray[i] = static_cast<unsigned char>(i * 7 % 253);
    return gray;
}();

std::vector<CallCase> call_cases() {
    return {
        {"cut", AcionaGuilhotina, 1, {3}},
        {"drawer", Abre_Gaveta, 1, {5}},
        {"self_test", ImprimeAutoTeste, 1, {4}},
        {"logo", [] { return ImprimeLogoNV(1, 1, 0); }, 1, {9}},
        {"text", [] { return ImprimeTexto(receipt_line.c_str(), 0, 0, 0, 0); }, 1, {18 + 38}},
        {"text_lf",
         [] { return ImprimeTextoLF(receipt_line.c_str(), 1, 1, 2, 1, 3); },
         1,
         {20 + 38}},
        {"text_180", [] { return ImprimeTexto180("TOTAL", 2, 0, 1, 1); }, 1, {21 + 5}},
        {"text_inverted", [] { return ImprimeTextoInvertido("TOTAL", 1, 0, 0); }, 1, {18 + 5}},
        {"formatted", [] { return ImprimeTxFormatado("OBRIGADO", 1, 0, 5); }, 1, {15 + 8}},
        {"ean13", [] { return ImprimeCodigoBarras(1, 2, 1, 2, 2, "7891234567895"); }, 1, {19 + 13}},
        {"counted_code128",
         [] { return ImprimeCodigoBarras_C(1, 8, 1, 2, 2, "{BABC123"); },
         1,
         {19 + 8}},
        {"code128_two_symbols",
         [] {
             return with_list(code128_list, [](char* l) { return ImprimeCode128_C(l, 1, 1, 2); });
         },
         1,
         {35, 35}},
        {"code128_one_symbol",
         [] { return with_list(code128_list, [](char* l) { return ImprimeCode128C(l, 1, 1); }); },
         1,
         {44}},
        {"qr_by_functions",
         [] { return ImprimeQRCODE_M1(1, 2, 4, 1, qr_data.c_str()); },
         1,
         {49 + 100}},
        {"qr_by_esc_z",
         [] { return ImprimeQRCODE_M2(1, 2, 4, 1, qr_data.c_str()); },
         1,
         {15 + 100}},
        {"pdf417", [] { return ImprimePDF417_M2(1, 3, 2, 1, "PDF417 data"); }, 1, {15 + 11}},
        {"datamatrix", [] { return ImprimeDataMatrix_M2(1, 0, 0, 1, "DM data"); }, 1, {15 + 7}},
        {"raw", [] { return with_list("27,64,0,256,-1", ComandoTx); }, 1, {2 + 5 + 1}},
        {"printer_status", Le_Status, QUORVEL_STATUS_READY, {3}},
        {"drawer_status", Le_Status_Gaveta, QUORVEL_DRAWER_LOW, {3}},
        {"stored_image",
         [] { return quorvel_store_logo(2, photo.data(), 64, 16, 576, 0); },
         1,
         {3 + 12 + 4 + 64 * 2}},
        {"full_status",
         [] {
             quorvel_status status;
             return quorvel_read_status(&status);
         },
         1,
         {3, 3, 3, 3}},
        // Refused input: nothing built reaches the link.
        {"text_too_long", [] { return ImprimeTexto(too_long_text.c_str(), 0, 0, 0, 0); }, 0, {}},
        {"text_null", [] { return ImprimeTexto(nullptr, 0, 0, 0, 0); }, 0, {}},
        {"barcode_too_long",
         [] { return ImprimeCodigoBarras(0, 2, 0, 0, 0, too_long_barcode.c_str()); },
         0,
         {}},
        {"code128_21_items",
         [] {
             return with_list(short_code128_list, [](char* l) { return ImprimeCode128C(l, 1, 1); });
         },
         0,
         {}},
        {"raw_empty", [] { return with_list(",,", ComandoTx); }, 0, {}},
        {"raw_not_a_number", [] { return with_list("27,x,10", ComandoTx); }, 0, {}},
        {"image_too_wide",
         [] { return quorvel_print_image(photo.data(), 577, 10, 577, 0, 1); },
         0,
         {}},
    };
}

// One write per band of 128 rows.
std::vector<CallCase> image_cases() {
    return {{"image_bands",
             [] { return quorvel_print_image(photo.data(), 576, 300, 576, 1, 1); },
             1,
             {5 + 8 + 72 * 128, 8 + 72 * 128, 8 + 72 * 44}}};
}

// The printer end of either link: answers 12 to DLE EOT 1 to 4 and 00 to GS r 2.
Bytes status_answers(Bytes& tail, const Bytes& chunk) {
    Bytes replies;
    for (std::uint8_t byte : chunk) {
        tail.push_back(byte);
        if (tail.size() > 3) tail.erase(tail.begin());
        if (tail.size() == 3 && tail[0] == 0x10 && tail[1] == 0x04 && tail[2] >= 1 && tail[2] <= 4)
            replies.push_back(0x12);
        if (tail == bytes_of({0x1D, 0x72, 0x02})) replies.push_back(0x00);
    }
    return replies;
}

class PerCall : public ::testing::TestWithParam<std::tuple<Link, CallCase>> {
  protected:
    void SetUp() override {
        if (std::get<0>(GetParam()) == Link::tcp) {
            tcp_ = std::make_unique<FakePrinter>();
            tcp_->set_responder(
                [this](const Bytes& chunk) { return status_answers(tcp_tail_, chunk); });
            ASSERT_EQ(AbreSocket(tcp_->address().c_str(), 0), 1);
        } else {
            pty_ = std::make_unique<Pty>();
            pty_reader_ = std::thread([this] { serve_pty(); });
            ASSERT_EQ(AbrePortaSerial(pty_->slave_name().c_str(), 0), 1);
        }
    }

    void TearDown() override {
        stopping_ = true;
        if (pty_reader_.joinable()) pty_reader_.join();
        FechaSocket();
        FechaPortaSerial();
        tcp_.reset();
    }

    void serve_pty() {
        Bytes tail;
        std::uint8_t buffer[4096];
        while (!stopping_) {
            long count = read_some(pty_->master(), buffer, sizeof buffer, 20ms);
            if (count <= 0) continue;
            received_ += static_cast<std::size_t>(count);
            Bytes replies = status_answers(tail, Bytes(buffer, buffer + count));
            if (!replies.empty()) (void)!::write(pty_->master(), replies.data(), replies.size());
        }
    }

    std::size_t bytes_arrived(std::size_t expected) {
        if (tcp_) return tcp_->wait_for_bytes(expected, 2s).size();
        for (int i = 0; i < 100 && received_ < expected; ++i) std::this_thread::sleep_for(20ms);
        std::this_thread::sleep_for(20ms);  // and nothing beyond
        return received_;
    }

    Bytes tcp_tail_;  // used by the printer's thread: outlives tcp_
    std::unique_ptr<FakePrinter> tcp_;
    std::unique_ptr<Pty> pty_;
    std::thread pty_reader_;
    std::atomic<bool> stopping_{false};
    std::atomic<std::size_t> received_{0};
};

TEST_P(PerCall, NoHeapAndOneWriteCallPerCommand) {
    const CallCase& c = std::get<1>(GetParam());
    CallProbe probe;
    int result = c.call();
    CallCounts counts = probe.finish();

    EXPECT_EQ(result, c.expected_result);
    EXPECT_EQ(counts.writes, c.expected_writes);
    std::size_t total = 0;
    for (std::size_t bytes : c.expected_writes) total += bytes;
    EXPECT_EQ(bytes_arrived(total), total);
    if (heap_counting_available()) {
        EXPECT_EQ(counts.allocations, 0);
    }
}

std::string case_name(const ::testing::TestParamInfo<PerCall::ParamType>& info) {
    return std::string(std::get<0>(info.param) == Link::tcp ? "tcp_" : "serial_") +
           std::get<1>(info.param).name;
}

INSTANTIATE_TEST_SUITE_P(Calls, PerCall,
                         ::testing::Combine(::testing::Values(Link::tcp, Link::serial),
                                            ::testing::ValuesIn(call_cases())),
                         case_name);

// An image band of 9 KiB is handed to the serial port in one piece too, but a
// pseudo-terminal's 4 KiB buffer takes it in several writes: bands are
// counted over TCP only, as the largest text is below.
INSTANTIATE_TEST_SUITE_P(Images, PerCall,
                         ::testing::Combine(::testing::Values(Link::tcp),
                                            ::testing::ValuesIn(image_cases())),
                         case_name);

// The longest text the library takes, 8192 bytes of command, in one send.
TEST(LargestCommand, GoesOutInOneSend) {
    FakePrinter printer;
    ASSERT_EQ(AbreSocket(printer.address().c_str(), 0), 1);
    CallProbe probe;
    int result = ImprimeTexto(longest_text.c_str(), 0, 0, 0, 0);
    CallCounts counts = probe.finish();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(counts.writes, std::vector<std::size_t>{8192});
    EXPECT_EQ(printer.wait_for_bytes(8192).size(), 8192u);
    if (heap_counting_available()) {
        EXPECT_EQ(counts.allocations, 0);
    }    FechaSocket();  // the next case opens its own
}

// Opening and closing links, and the utilities, stay off the heap too.
TEST(LinksAndUtilities, NeverAllocate) {
    if (!heap_counting_available()) GTEST_SKIP() << "heap owned by the sanitizer runtime";
    FakePrinter printer;
    Pty pty;
    const std::string address = printer.address();
    char list[] = "1,2,3";
    int values[3] = {};
    char joined[8] = {};
    char converted[16];
    char message[QUORVEL_ERROR_MESSAGE_SIZE];
    const std::string nobody = unique_loopback_address("nobody");
    CallProbe probe;
    EXPECT_EQ(quorvel_open_tcp(address.c_str(), 9100, 0), 1);
    EXPECT_EQ(FechaSocket(), 1);
    EXPECT_EQ(quorvel_open_serial(pty.slave_name().c_str(), 19200, 0), 1);
    EXPECT_EQ(FechaPortaSerial(), 1);
    EXPECT_EQ(quorvel_open_tcp(nobody.c_str(), 9101, 0), 0);
    EXPECT_EQ(quorvel_last_error(message, sizeof message), QUORVEL_E_REFUSED);
    EXPECT_EQ(quorvel_utf8_to_cp1252("Caf\xC3\xA9", converted, sizeof converted), 4);
    EXPECT_EQ(quorvel_utf8_to_cp1252("\xE4\xB8\xAD", converted, sizeof converted), -1);
    EXPECT_EQ(quorvel_last_error(message, sizeof message), QUORVEL_E_NOT_CP1252);
    EXPECT_EQ(quorvel_check_barcode(QUORVEL_BARCODE_EAN13, "5901234123457"), 1);
    EXPECT_EQ(quorvel_check_barcode(QUORVEL_BARCODE_CODABAR, "A40X56B"), 0);
    EXPECT_EQ(quorvel_last_error(message, sizeof message), QUORVEL_E_BAD_BARCODE_DATA);
    EXPECT_EQ(AbreSocket(address.c_str(), 0), 1);
    EXPECT_EQ(FechaSocket(), 1);
    EXPECT_EQ(AbrePortaSerial(pty.slave_name().c_str(), 3), 1);
    EXPECT_EQ(FechaPortaSerial(), 1);
    EXPECT_EQ(separa(list, values), 3);
    EXPECT_EQ(strlen1("abc"), 3);
    EXPECT_EQ(concat(joined, "ab", 2, "cd", 2), joined);
    EXPECT_NE(Le_VersaoDLL(), nullptr);
    EXPECT_EQ(probe.finish().allocations, 0);
}

void* volatile kept_block;
void* volatile kept_raw;

// The probe itself must see allocations and writes, or the tests above prove nothing.
TEST(Probe, SeesAllocationsAndWrites) {
    CallProbe probe;
    auto* block = new int[4];
    kept_block = block;  // kept, so the pair is not optimised away
    void* raw = std::malloc(16);
    kept_raw = raw;
    (void)!::write(STDOUT_FILENO, "", 0);
    CallCounts counts = probe.finish();
    delete[] block;
    std::free(raw);
    EXPECT_EQ(counts.writes, std::vector<std::size_t>{0});
    if (heap_counting_available()) {
        EXPECT_EQ(counts.allocations, 2);
    }
}

}  // namespace

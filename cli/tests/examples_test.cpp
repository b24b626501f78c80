// SPDX-License-Identifier: MIT
// The host examples, run as a user would run them, against a fake printer.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "confirming_printer.h"
#include "fake_printer.h"
#include "run_program.h"

using namespace quorvel::testing;

namespace {

Bytes text_command(int justification, bool bold, const std::string& text, Bytes ending = {0x0A}) {
    return concat_bytes({bytes_of({0x1B, 0x40, 0x1B, 0x61, justification, 0x1B, 0x33, 0x20, 0x1B,
                                   0x74, 0x10, 0x1B, 0x45, bold ? 1 : 0, 0x1B, 0x4D, 0x00}),
                         bytes_of(text), ending});
}

// The receipt line layout of receipt.py: right part flush with column 48 (font A, 80 mm).
std::string receipt_line(const std::string& left, const std::string& right,
                         std::size_t left_chars) {
    return left + std::string(48 - left_chars - right.size(), ' ') + right;
}

const Bytes cut = bytes_of({0x1D, 0x56, 0x00});

// A loopback printer on its own address that prints what it gets and answers
// the process ID request, GS r and DLE EOT (ConfirmingPrinter).
struct PrintingPrinter {
    FakePrinter fake;
    ConfirmingPrinter model{[this](const Bytes& bytes) { fake.send_unsolicited(bytes); }};
    explicit PrintingPrinter(const std::string& salt)
        : fake(FakePrinter::Behaviour::record, unique_loopback_address(salt)) {
        fake.set_responder([this](const Bytes& chunk) {
            model.feed(chunk);
            return Bytes{};
        });
    }
    ~PrintingPrinter() { fake.set_responder(nullptr); }
    // Paper out now, back after the given time (from a thread of its own).
    std::thread paper_out_for(std::chrono::milliseconds time) {
        model.set_paper(false);
        return std::thread([this, time] {
            std::this_thread::sleep_for(time);
            model.set_paper(true);
        });
    }
};

std::size_t count_of(const Bytes& got, const std::string& text) {
    const std::string all(got.begin(), got.end());
    std::size_t count = 0;
    for (auto at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++count;
    return count;
}

TEST(HostExample, PrintsCutsAndConfirms) {
    PrintingPrinter printer("printed");
    auto result = run_program({HOST_EXAMPLE_PATH, "--tcp", printer.fake.address()});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, "printed: confirmed by the printer\n");
    ASSERT_TRUE(printer.fake.wait_for_disconnect());
    Bytes expected = concat_bytes({
        text_command(1, true, "QUORVEL CAF\xC9"),
        text_command(0, false, "1 x Espresso          2.50"),
        text_command(0, true, "TOTAL                 2.50", bytes_of({0x1B, 0x64, 0x03})),
        cut,
        bytes_of({0x1D, 0x28, 0x48, 0x06, 0x00, 0x30, 0x30, '0', '0', '0', '1'}),
    });
    const Bytes got = printer.fake.received();
    ASSERT_GE(got.size(), expected.size());
    EXPECT_EQ(hex(Bytes(got.begin(), got.begin() + static_cast<long>(expected.size()))),
              hex(expected));
}

// Held by paper out: the example tells the operator, waits for Enter and
// confirms again until the paper is back; the receipt is sent once.
TEST(HostExample, HeldReceiptIsConfirmedAgainNotResent) {
    PrintingPrinter printer("held");
    std::thread operator_ = printer.paper_out_for(std::chrono::milliseconds(1500));
    auto result =
        run_program({HOST_EXAMPLE_PATH, "--tcp", printer.fake.address()}, std::string(30, '\n'));
    operator_.join();
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, "printed: confirmed by the printer\n");
    EXPECT_NE(result.err.find("held: "), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("press Enter"), std::string::npos) << result.err;
    ASSERT_TRUE(printer.fake.wait_for_disconnect());
    EXPECT_EQ(count_of(printer.fake.received(), "QUORVEL CAF\xC9"), 1u);
    EXPECT_EQ(count_of(printer.fake.received(), "COPY"), 0u);
}

// Held, and nobody at the till (standard input ends): not printed, not resent.
TEST(HostExample, HeldWithNobodyToFixItExitsOne) {
    PrintingPrinter printer("nobody");
    printer.model.set_paper(false);
    auto result = run_program({HOST_EXAMPLE_PATH, "--tcp", printer.fake.address()});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.err.find("held: "), std::string::npos) << result.err;
    ASSERT_TRUE(printer.fake.wait_for_disconnect());
    EXPECT_EQ(count_of(printer.fake.received(), "QUORVEL CAF\xC9"), 1u);
}

TEST(HostExample, UnreachablePrinterExitsOne) {
    auto result = run_program({HOST_EXAMPLE_PATH, "--tcp", unique_loopback_address("nobody")});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.err.find("cannot open the printer"), std::string::npos);
    // The library's reason follows, with what to try.
    EXPECT_NE(result.err.find("open: connection refused: "), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("; check that the printer is on"), std::string::npos) << result.err;
}

TEST(SampleReceipt, UnreachablePrinterSaysCannotConnect) {
    const std::string address = unique_loopback_address("nobody");
    auto result = run_program({SAMPLE_RECEIPT_PATH, address});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.err, "sample_receipt: cannot connect to " + address + ":9100\n");
}

// restaurant.c: three printers at once, the kitchen and bar tickets from
// threads, each ticket a whole receipt that is confirmed.
TEST(Restaurant, EachTicketLandsOnItsOwnPrinter) {
    PrintingPrinter receipt("receipt"), kitchen("kitchen"), bar("bar");
    std::thread operator_ = bar.paper_out_for(std::chrono::milliseconds(1500));
    auto result = run_program(
        {RESTAURANT_PATH, receipt.fake.address(), kitchen.fake.address(), bar.fake.address()});
    operator_.join();
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, "printed: yes\n");
    EXPECT_NE(result.err.find("BAR  MESA 7 held: "), std::string::npos) << result.err;
    struct Station {
        FakePrinter& printer;
        std::string own;                  // what only this printer must get
        std::vector<std::string> others;  // what belongs to the other two
    };
    const Station stations[] = {
        {receipt.fake, "TOTAL R$", {"COZINHA", "BAR  MESA"}},
        {kitchen.fake, "COZINHA  MESA 7", {"TOTAL", "BAR  MESA", "Caf\xE9"}},
        {bar.fake, "BAR  MESA 7", {"TOTAL", "COZINHA", "Coxinha"}},
    };
    for (const auto& station : stations) {
        ASSERT_TRUE(station.printer.wait_for_disconnect());
        const Bytes got = station.printer.received();
        EXPECT_EQ(count_of(got, station.own), 1u) << station.own;  // the held one too: not resent
        for (const auto& other : station.others)
            EXPECT_EQ(count_of(got, other), 0u) << station.own << " got " << other;
        EXPECT_EQ(count_of(got, "\x1D\x56"), 1u) << station.own << ": not one cut";
        EXPECT_EQ(count_of(got, "COPY"), 0u) << station.own;
    }
}

TEST(Restaurant, UnreachablePrinterSaysWhich) {
    FakePrinter receipt(FakePrinter::Behaviour::record, unique_loopback_address("receipt"));
    const std::string nobody = unique_loopback_address("nobody");
    auto result = run_program({RESTAURANT_PATH, receipt.address(), nobody, nobody});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.err.find("cannot open the printer at " + nobody), std::string::npos)
        << result.err;
}

ProgramResult run_receipt(const std::vector<std::string>& args,
                          std::vector<std::pair<std::string, std::string>> environment) {
    std::vector<std::string> argv{PYTHON_PATH, RECEIPT_SCRIPT_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
#ifdef SANITIZER_RUNTIME
    environment.emplace_back("LD_PRELOAD", SANITIZER_RUNTIME);
    environment.emplace_back("ASAN_OPTIONS", "detect_leaks=0");  // the interpreter's own
#endif
    return run_program(argv, "", environment);
}

struct ReceiptCase {
    const char* name;
    bool library_by_argument;  // else by QUORVEL_LIBRARY
};

void PrintTo(const ReceiptCase& c, std::ostream* os) {
    *os << c.name;
}

class PythonReceipt : public ::testing::TestWithParam<ReceiptCase> {};

TEST_P(PythonReceipt, PrintsReceiptAndConfirms) {
    PrintingPrinter printing(GetParam().name);
    auto& printer = printing.fake;
    std::vector<std::string> args{"--tcp", printer.address()};
    std::vector<std::pair<std::string, std::string>> environment;
    if (GetParam().library_by_argument)
        args.insert(args.end(), {"--library", QUORVEL_LIBRARY_PATH});
    else
        environment.emplace_back("QUORVEL_LIBRARY", QUORVEL_LIBRARY_PATH);
    auto result = run_receipt(args, environment);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, "printed: confirmed by the printer\n");
    ASSERT_TRUE(printer.wait_for_disconnect());

    const std::string qr_data = "RECEIPT 0001 TOTAL 11.50";
    Bytes expected = concat_bytes({
        bytes_of(
            {0x1B, 0x40, 0x1B, 0x61, 0x01, 0x1B, 0x33, 0x20, 0x1B, 0x74, 0x10, 0x1B, 0x21, 0x30}),
        bytes_of("Padaria S\xE3o Jo\xE3o\n"),
        text_command(0, false, receipt_line("2 x P\xE3o de queijo", "7,00", 17)),
        text_command(0, false, receipt_line("1 x Caf\xE9", "4,50", 8)),
        text_command(0, true, receipt_line("TOTAL R$", "11,50", 8), bytes_of({0x1B, 0x64, 0x02})),
        bytes_of({0x1B, 0x40,
                  0x1B, 0x61,
                  0x01, 0x1D,
                  0x28, 0x6B,
                  0x04, 0x00,
                  0x31, 0x41,
                  0x32, 0x00,
                  0x1D, 0x28,
                  0x6B, 0x03,
                  0x00, 0x31,
                  0x43, 0x04,
                  0x1D, 0x28,
                  0x6B, 0x03,
                  0x00, 0x31,
                  0x45, 0x31,
                  0x1D, 0x28,
                  0x6B, static_cast<int>(qr_data.size() + 3),
                  0x00, 0x31,
                  0x50, 0x30}),
        bytes_of(qr_data),
        bytes_of({0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x51, 0x30, 0x00, 0x00, 0x0A}),
        cut,
        bytes_of({0x1D, 0x28, 0x48, 0x06, 0x00, 0x30, 0x30, '0', '0', '0', '1'}),
    });
    const Bytes got = printer.received();
    ASSERT_GE(got.size(), expected.size());
    EXPECT_EQ(hex(Bytes(got.begin(), got.begin() + static_cast<long>(expected.size()))),
              hex(expected));
}

INSTANTIATE_TEST_SUITE_P(FindsLibrary, PythonReceipt,
                         ::testing::Values(ReceiptCase{"by_argument", true},
                                           ReceiptCase{"by_environment", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PythonReceiptFailure, UnreachablePrinterExitsOne) {
    auto result = run_receipt(
        {"--tcp", unique_loopback_address("nobody"), "--library", QUORVEL_LIBRARY_PATH}, {});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.err.find("cannot open the printer"), std::string::npos) << result.err;
}

// A printer that takes the receipt and never answers: the outcome is unknown,
// so the example reprints it marked COPY on a new link, then gives up.
TEST(PythonReceiptFailure, SilentPrinterGetsOneCopyThenExitsOne) {
    FakePrinter printer;
    auto result = run_receipt({"--tcp", printer.address(), "--library", QUORVEL_LIBRARY_PATH}, {});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.err.find("reprinting the receipt marked COPY"), std::string::npos)
        << result.err;
    EXPECT_EQ(count_of(printer.received(), "*** COPY ***"), 1u);
    EXPECT_EQ(count_of(printer.received(), "Padaria S\xE3o Jo\xE3o"), 2u);
}

}  // namespace

// SPDX-License-Identifier: MIT
// `quorvel ... --confirm`: the exit code and message for each fate of what
// the run sent, against loopback printers that print and confirm.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>

#include "confirming_printer.h"
#include "fake_printer.h"
#include "run_program.h"

using namespace quorvel::testing;

namespace {

struct ConfirmCase {
    const char* name;
    std::function<void(ConfirmingPrinter&, FakePrinter&, std::thread&)> scene;  // may start a fault
    int exit_code;
    std::string message;  // found in standard error; empty: standard error empty
};

void PrintTo(const ConfirmCase& c, std::ostream* os) {
    *os << c.name;
}

class CliConfirm : public ::testing::TestWithParam<ConfirmCase> {};

TEST_P(CliConfirm, ExitCodeSaysWhatBecameOfTheReceipt) {
    FakePrinter fake;
    ConfirmingPrinter model([&](const Bytes& bytes) { fake.send_unsolicited(bytes); });
    fake.set_responder([&](const Bytes& chunk) {
        model.feed(chunk);
        return Bytes{};
    });
    std::thread fault;
    GetParam().scene(model, fake, fault);
    const auto result = run_cli({"--tcp", fake.address(), "--confirm", "--confirm-timeout", "8000",
                                 "text", "KITCHEN ORDER 12"});
    if (fault.joinable()) fault.join();
    fake.set_responder(nullptr);
    EXPECT_EQ(result.exit_code, GetParam().exit_code) << result.err;
    if (GetParam().message.empty())
        EXPECT_EQ(result.err, "");
    else
        EXPECT_NE(result.err.find(GetParam().message), std::string::npos) << result.err;
}

INSTANTIATE_TEST_SUITE_P(
    Fates, CliConfirm,
    ::testing::Values(
        ConfirmCase{"printed",
                    [](ConfirmingPrinter& m, FakePrinter&, std::thread&) { m.set_ms_per_line(50); },
                    0, ""},
        ConfirmCase{"held",
                    [](ConfirmingPrinter& m, FakePrinter&, std::thread&) { m.set_paper(false); }, 4,
                    "not confirmed: receipt held in the printer"},
        ConfirmCase{"power_cut",
                    [](ConfirmingPrinter& m, FakePrinter& f, std::thread& fault) {
                        m.set_ms_per_line(2000);
                        fault = std::thread([&m, &f] {
                            std::this_thread::sleep_for(std::chrono::milliseconds(400));
                            m.set_power(false);
                            f.drop_connection();
                        });
                    },
                    5, "reprint it marked as a copy"},
        ConfirmCase{
            "no_process_id",
            [](ConfirmingPrinter& m, FakePrinter&, std::thread&) { m.set_process_id(false); }, 0,
            "confirmed as received"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

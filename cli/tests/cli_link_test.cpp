// SPDX-License-Identifier: MIT
// The built `quorvel` tool when the link will not open, told apart by cause
// (real loopback listeners and pseudo-terminals), and batch mode over one link.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "fake_printer.h"
#include "pty_pair.h"
#include "run_program.h"

using namespace quorvel::testing;
using namespace std::chrono_literals;

namespace {

using Args = std::vector<std::string>;

// The message and exit code for each reason a link does not open. Each case
// sets the scene and returns the arguments naming the link.
struct OpenCase {
    const char* name;
    std::function<Args(PtyPair& pty, std::vector<std::unique_ptr<FullBacklogListener>>& keep)>
        scene;
    std::string message;  // the whole of standard error, %s for the port or address
    int exit_code;
};

void PrintTo(const OpenCase& c, std::ostream* os) {
    *os << c.name;
}

class CliOpenFailure : public ::testing::TestWithParam<OpenCase> {};

std::string filled(std::string text, const std::string& value) {
    for (auto at = text.find("%s"); at != std::string::npos; at = text.find("%s"))
        text.replace(at, 2, value);
    return text;
}

TEST_P(CliOpenFailure, SaysWhyAndWhatToDo) {
    PtyPair pty;
    std::vector<std::unique_ptr<FullBacklogListener>> keep;
    const Args link = GetParam().scene(pty, keep);
    Args args = link;
    args.push_back("cut");
    auto result = run_cli(args);
    EXPECT_EQ(result.exit_code, GetParam().exit_code) << result.err;
    EXPECT_EQ(result.err, filled(GetParam().message, link[1]));
}

const std::string pty_marker = "pty";

INSTANTIATE_TEST_SUITE_P(
    Causes, CliOpenFailure,
    ::testing::Values(
        OpenCase{"refused",
                 [](PtyPair&, auto&) {
                     return Args{"--tcp", unique_loopback_address("nobody listens")};
                 },
                 "quorvel: connection to %s port 9100 refused: nothing listens there. Check that "
                 "the printer is on, and the address and --port\n",
                 1},
        OpenCase{
            "refused_on_another_port",
            [](PtyPair&, auto&) {
                return Args{"--tcp", unique_loopback_address("nobody at 9101"), "--port", "9101"};
            },
            "quorvel: connection to %s port 9101 refused: nothing listens there. Check that "
            "the printer is on, and the address and --port\n",
            1},
        OpenCase{"timed_out",
                 [](PtyPair&, auto& keep) {
                     keep.push_back(std::make_unique<FullBacklogListener>());
                     return Args{"--tcp", keep.back()->address()};
                 },
                 "quorvel: no answer from %s port 9100 within 5 s: check that the printer is on "
                 "and on this network, and the address\n",
                 1},
        OpenCase{"bad_address",
                 [](PtyPair&, auto&) {
                     return Args{"--tcp", "127.0.0.1.5"};
                 },
                 "quorvel: '%s' is not an IP address: give an IPv4 address such as 192.168.0.50 "
                 "or an IPv6 address such as fe80::1 (host names are not resolved)\n",
                 2},
        OpenCase{"serial_not_found",
                 [](PtyPair&, auto&) {
                     return Args{"--serial", "/dev/quorvel-no-such-port"};
                 },
                 "quorvel: serial port %s does not exist: check the name (ls /dev/ttyS* "
                 "/dev/ttyUSB*) and that the adapter is plugged in\n",
                 1},
        OpenCase{"not_a_serial_device",
                 [](PtyPair&, auto&) {
                     return Args{"--serial", "/dev/null"};
                 },
                 "quorvel: %s is not a serial device: name a serial port such as /dev/ttyS0 or "
                 "/dev/ttyUSB0\n",
                 1},
        OpenCase{"busy",
                 [](PtyPair& pty, auto&) {
                     // Another program holds the port as the library does.
                     ::flock(pty.slave_fd(), LOCK_EX | LOCK_NB);
                     return Args{"--serial", pty.slave_name()};
                 },
                 "quorvel: serial port %s is busy: another program holds it (fuser -v %s names "
                 "it); close that program and try again\n",
                 1},
        OpenCase{"busy_at_a_given_speed",
                 [](PtyPair& pty, auto&) {
                     ::flock(pty.slave_fd(), LOCK_EX | LOCK_NB);
                     return Args{"--serial", pty.slave_name(), "--speed", "19200"};
                 },
                 "quorvel: serial port %s is busy: another program holds it (fuser -v %s names "
                 "it); close that program and try again\n",
                 1}),
    [](const auto& info) { return std::string(info.param.name); });

// Permission is tested as the unprivileged user nobody, since root opens any
// port: a pseudo-terminal's slave belongs to root and the group tty.
TEST(CliOpenFailure, PermissionDeniedNamesTheGroup) {
    const Args as_nobody{"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                         QUORVEL_CLI_PATH};
    Args probe = as_nobody;
    probe.push_back("--version");
    if (::geteuid() != 0 || run_program(probe).exit_code != 0)
        GTEST_SKIP() << "needs root and a build tree that nobody can run";
    PtyPair pty;
    Args args = as_nobody;
    for (const char* arg : {"--serial", pty.slave_name().c_str(), "cut"}) args.push_back(arg);
    auto result = run_program(args);
    EXPECT_EQ(result.exit_code, 1);
    // The group is the device's own (tty, or root where devpts sets none).
    for (std::string part :
         {"quorvel: permission denied on serial port " + pty.slave_name() + " (group ",
          std::string("): serial ports usually belong to the group dialout; join it "
                      "with 'sudo usermod -aG "),
          std::string(" $USER' and log in again\n")})
        EXPECT_NE(result.err.find(part), std::string::npos) << part << " in " << result.err;
}

TEST(CliPort, ReachesAPrinterOnAnotherPort) {
    FakePrinter printer(FakePrinter::Behaviour::record, "", 9101);
    auto result = run_cli({"--tcp", printer.address(), "--port", "9101", "cut"});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(hex(printer.wait_for_bytes(3)), "1D 56 00");
}

TEST(CliVersionFlag, NamesToolAndLibrary) {
    auto result = run_cli({"--version"});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, "quorvel 1.2.0, library 1.2.0.0\n");
}

// Batch mode: the lines' commands arrive back to back over one connection.
std::string write_batch(const std::string& name, const std::string& content) {
    const std::string path =
        ::testing::TempDir() + "quorvel-batch-" + name + "-" + std::to_string(::getpid()) + ".txt";
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

const Bytes cut = bytes_of({0x1D, 0x56, 0x00});
const Bytes text_head =
    bytes_of({0x1B, 0x40, 0x1B, 0x61, 0x00, 0x1B, 0x33, 0x20, 0x1B, 0x74, 0x10});
const Bytes bold_font_a = bytes_of({0x1B, 0x45, 0x01, 0x1B, 0x4D, 0x00});
const Bytes plain_font_a = bytes_of({0x1B, 0x45, 0x00, 0x1B, 0x4D, 0x00});

struct BatchCase {
    const char* name;
    std::string content;
    bool from_stdin;
    int exit_code;
    std::string message;  // part of standard error; "" when it must be empty
    int connections;
    Bytes expected;
};

void PrintTo(const BatchCase& c, std::ostream* os) {
    *os << c.name;
}

class CliBatch : public ::testing::TestWithParam<BatchCase> {};

TEST_P(CliBatch, RunsLinesOverOneLinkAndStopsAtTheFirstFailure) {
    const BatchCase& c = GetParam();
    FakePrinter printer;
    printer.answer_with(bytes_of({0x1A}));  // off line: status is not ready
    const std::string file = c.from_stdin ? "-" : write_batch(c.name, c.content);
    auto result =
        run_cli({"--tcp", printer.address(), "batch", file}, c.from_stdin ? c.content : "");
    EXPECT_EQ(result.exit_code, c.exit_code) << result.err;
    if (c.message.empty()) {
        EXPECT_EQ(result.err, "");
    } else {
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    }
    if (c.connections > 0) {
        EXPECT_TRUE(printer.wait_for_disconnect());
    }
    EXPECT_EQ(printer.connections(), c.connections);
    EXPECT_EQ(hex(printer.received()), hex(c.expected));
    if (!c.from_stdin) std::remove(file.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Files, CliBatch,
    ::testing::Values(
        BatchCase{"three_lines_one_connection",
                  "text --bold \"Café  1,50\"\n# a comment\n\ntext 'it''s' \n   cut\n", false, 0,
                  "", 1,
                  concat_bytes({text_head, bold_font_a, bytes_of("Caf\xE9  1,50\n"), text_head,
                                plain_font_a, bytes_of("its\n"), cut})},
        BatchCase{"from_standard_input", "cut\r\ncut", true, 0, "", 1, concat_bytes({cut, cut})},
        BatchCase{"usage_error_anywhere_sends_nothing",
                  "cut\ntext ok\nbarcode ean13 123\ncut\n",
                  false,
                  2,
                  "line 3: bad barcode data: EAN-13 takes 12 or 13 digits, not 3",
                  0,
                  {}},
        BatchCase{"unknown_subcommand_by_line",
                  "cut\n\nfrobnicate\n",
                  true,
                  2,
                  "quorvel: standard input line 3: unknown subcommand 'frobnicate'",
                  0,
                  {}},
        BatchCase{"link_options_belong_to_the_command_line",
                  "cut\ncut --tcp 127.0.0.1\n",
                  true,
                  2,
                  "standard input line 2: ",
                  0,
                  {}},
        BatchCase{
            "unclosed_quote", "text \"open\n", true, 2, "line 1: a \" quote is not closed", 0, {}},
        BatchCase{"stdin_text_refused_inside_batch",
                  "text -\n",
                  true,
                  2,
                  "line 1: text: standard input holds the batch",
                  0,
                  {}},
        BatchCase{"empty_batch", "# nothing\n\n", true, 2, "holds no subcommand", 0, {}},
        BatchCase{"stops_at_the_failing_line_with_its_code", "cut\nstatus\ncut\n", true, 3,
                  "quorvel: standard input line 2: stopped here, with exit code 3; the lines "
                  "after it were not sent",
                  1, concat_bytes({cut, bytes_of({0x10, 0x04, 0x01})})}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CliBatch, MissingFileIsAUsageError) {
    auto result = run_cli({"--tcp", "127.0.0.1", "batch", "/nonexistent/quorvel.batch"});
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_EQ(result.err.rfind("quorvel: cannot read batch file /nonexistent/quorvel.batch", 0), 0u)
        << result.err;
}

}  // namespace

// SPDX-License-Identifier: MIT
// What every subcommand shares: the global options it reads, how it reports,
// and how its input becomes the bytes the library sends. A subcommand is built
// in two steps: checking and converting the input (which may throw
// UsageError and sends nothing), then the action that talks to the printer.
#pragma once

#include <CLI/CLI.hpp>
#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "quorvel.h"

namespace quorvel::cli {

constexpr int exit_done = 0;
constexpr int exit_failure = 1;
constexpr int exit_usage = 2;
constexpr int exit_not_ready = 3;  // status: the printer answered, but is not ready
// --confirm: what became of what was sent.
constexpr int exit_held = 4;            // waits in the printer: fix the cause, confirm again
constexpr int exit_outcome_unknown = 5;  // may or may not have printed: reprint marked COPY
constexpr int exit_cannot_confirm = 6;  // the printer cannot tell

struct UsageError {
    std::string message;
};

// The global options: which printer, and how text is sent.
struct Globals {
    std::string tcp;
    int port = 9100;
    std::string serial;
    std::string queue;   // a spooler's print queue
    std::string spool;   // a print service and its printer: URL:NAME
    std::string device;  // a printer-class device, /dev/usb/lp0
    int speed = 0;  // 0: the model's speed
    int model = 0;
    bool raw_bytes = false;
    bool in_batch = false;  // standard input holds the batch, not text
    bool confirm = false;   // confirm at the end of the run that everything printed
    int confirm_timeout_ms = 10000;
};

// Talks to the printer through its handle (null for a subcommand that needs
// no link); returns the exit code.
using Action = std::function<int(quorvel_printer*)>;
using Builder = std::function<Action()>;  // checks and converts input; throws UsageError

struct Subcommand {
    CLI::App* app;
    Builder build;
    bool needs_link = true;
};

// Where a message comes from: empty, or "FILE line N: " in a batch.
extern std::string message_context;

// "quorvel: " and the context, then the message, on standard error.
void say(const std::string& message);
// say(), then exit_failure.
int fail(const std::string& message);

// Why the last library call failed, in the library's own words.
std::string library_reason();

// The exit code for a print or control call: the library returns 1 only when
// the whole command was written to the printer's link.
int written(int result);

using Choices = std::vector<std::pair<std::string, int>>;

// Accepts one of the names and hands the option its number.
CLI::Validator choice(Choices names, const std::string& what);

extern const Choices alignments;
extern const Choices bar_heights;  // dots

void add_align(CLI::App* app, int& align, const char* default_name);

// The bytes to send for a text or data argument ("-" reads standard input):
// UTF-8 turned into Windows-1252, or unchanged with --raw-bytes.
std::string printable_bytes(const std::string& argument, const Globals& globals,
                            const std::string& what, std::size_t max_length, bool allow_empty);

}  // namespace quorvel::cli

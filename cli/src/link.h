// SPDX-License-Identifier: MIT
// The printer the global options name: opening its handle, and when it won't
// open, why and what to do about it.
#pragma once

#include <memory>
#include <string>
#include <variant>

#include "quorvel.h"
#include "subcommand.h"

namespace quorvel::cli {

// Why a link did not open and what to do about it.
struct OpenFailure {
    int exit_code;
    std::string message;
};

// The failure for the library's outcome code and message after a failed open.
OpenFailure explain_open_failure(const Globals& globals, int code, const std::string& reason);

// A printer handle, closed when it goes.
struct ClosePrinter {
    void operator()(quorvel_printer* printer) const { quorvel_printer_close(printer); }
};
using Printer = std::unique_ptr<quorvel_printer, ClosePrinter>;

// Opens the printer the global options name, one handle for the whole run;
// the failure, if it won't open.
std::variant<Printer, OpenFailure> open_link(const Globals& globals);

// Closes the printer; a print queue sends the job still collected then, so its
// failure becomes the run's (result is kept when the run had already failed).
int close_link(Printer printer, const Globals& globals, int result);

}  // namespace quorvel::cli

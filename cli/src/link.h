// SPDX-License-Identifier: MIT
// The printer link the global options name: opening it, closing it, and when
// it won't open, why and what to do about it.
#pragma once

#include <optional>
#include <string>

#include "subcommand.h"

namespace quorvel::cli {

// Why a link did not open and what to do about it.
struct OpenFailure {
    int exit_code;
    std::string message;
};

// The failure for the library's outcome code and message after a failed open.
OpenFailure explain_open_failure(const Globals& globals, int code, const std::string& reason);

// Opens the link the global options name; the failure, if it won't open.
std::optional<OpenFailure> open_link(const Globals& globals);

void close_link(const Globals& globals);

}  // namespace quorvel::cli

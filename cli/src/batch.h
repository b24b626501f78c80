// SPDX-License-Identifier: MIT
// `quorvel batch FILE`: one subcommand per line, over one link.
#pragma once

#include <string>

#include "subcommand.h"

namespace quorvel::cli {

// What `quorvel batch --help` says about the file.
extern const char* const batch_help;

// Runs one subcommand per line of file ("-": standard input) over one link.
// Every line is checked first, so a usage error anywhere sends nothing; then
// the lines run in order and the first failure stops the batch with that
// line's exit code.
int run_batch(const std::string& file, const Globals& globals);

}  // namespace quorvel::cli

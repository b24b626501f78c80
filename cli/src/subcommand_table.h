// SPDX-License-Identifier: MIT
// The tool's subcommands as one list: what `quorvel --help` shows and what a
// batch line may name. The subcommands themselves live in subcommands_*.cpp,
// one file per family.
#pragma once

#include <vector>

#include "subcommand.h"

namespace quorvel::cli {

// Declares every subcommand on app, reading and writing the given options.
std::vector<Subcommand> add_subcommands(CLI::App& app, Globals& globals);

// The subcommand the parse chose, or nullptr (none of these: batch).
const Subcommand* chosen_subcommand(const std::vector<Subcommand>& subcommands);

}  // namespace quorvel::cli

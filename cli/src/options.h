// SPDX-License-Identifier: MIT
// The tool's global options (which printer, how text is sent), its help
// layout, and the checks on the options that need no printer.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "subcommand.h"

namespace quorvel::cli {

// The global options, on the tool itself.
void add_global_options(CLI::App& root, Globals& globals);

// The global options and exit codes, as the footer of every --help.
extern const char* const global_options_help;

// Help shows "--align left|center|right" rather than "--align INT:left|center|right".
class Help : public CLI::Formatter {
  public:
    std::string make_option_opts(const CLI::Option* option) const override;
};

// A parse error as one line: what CLI11 found, and where to look.
std::string parse_error_text(const CLI::ParseError& error, const CLI::App& app);

// Throws UsageError when a subcommand that needs a link names no printer,
// or when --tcp carries a port.
void check_link_options(const Globals& globals, bool needs_link);

}  // namespace quorvel::cli

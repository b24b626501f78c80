// SPDX-License-Identifier: MIT
// quorvel: drives an ESC/POS receipt printer from the command line. Every byte
// it sends comes from the library's exported functions. main() only wires the
// parts: the global options (options.cpp), the subcommand table
// (subcommand_table.cpp), the link (link.cpp) and batches (batch.cpp).
#include <CLI/CLI.hpp>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "batch.h"
#include "link.h"
#include "options.h"
#include "quorvel.h"
#include "subcommand_table.h"

using namespace quorvel::cli;

int main(int argc, char** argv) {
    Globals globals;
    CLI::App root{"Drive an ESC/POS receipt printer through the Quorvel library.", "quorvel"};
    root.formatter(std::make_shared<Help>());
    root.require_subcommand(1);
    root.fallthrough();                // global options may also follow the subcommand
    root.footer(global_options_help);  // every subcommand's --help shows it too
    root.set_version_flag("--version", [] {
        return std::string("quorvel ") + QUORVEL_CLI_VERSION + ", library " + Le_VersaoDLL();
    });
    add_global_options(root, globals);
    const std::vector<Subcommand> subcommands = add_subcommands(root, globals);
    std::string batch_file;
    auto* batch = root.add_subcommand(
        "batch", "Run one subcommand per line of FILE (- reads standard input) over one link");
    batch->add_option("file", batch_file, "The batch file, or - for standard input")->required();
    batch->footer(std::string(batch_help) + global_options_help);

    try {
        root.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        // --help and --version end here too, with exit code 0.
        if (error.get_exit_code() == 0) return root.exit(error) == 0 ? exit_done : exit_usage;
        say(parse_error_text(error, root));
        return exit_usage;
    }

    const Subcommand* chosen = chosen_subcommand(subcommands);  // nullptr: batch
    Action action;
    try {
        check_link_options(globals, chosen == nullptr || chosen->needs_link);
        if (chosen) action = chosen->build();
    } catch (const UsageError& error) {
        say(error.message);
        return exit_usage;
    }

    if (!chosen) return run_batch(batch_file, globals);
    if (!chosen->needs_link) return action(nullptr);
    auto printer = open_link(globals);
    if (auto* failure = std::get_if<OpenFailure>(&printer)) {
        say(failure->message);
        return failure->exit_code;
    }
    Printer& opened = std::get<Printer>(printer);
    const int result = action(opened.get());
    return close_link(std::move(opened), globals, result);
}

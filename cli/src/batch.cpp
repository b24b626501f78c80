// SPDX-License-Identifier: MIT
#include "batch.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <utility>
#include <variant>
#include <vector>

#include "inputs.h"
#include "link.h"
#include "options.h"
#include "subcommand_table.h"

namespace quorvel::cli {

const char* const batch_help =
    "Each line is a subcommand with its options, written as on the command line, e.g.\n"
    "  text --align center --bold \"Padaria São João\"\n"
    "  barcode ean13 5901234123457\n"
    "  cut\n"
    "Blank lines and lines starting with # are skipped. Every line is checked before\n"
    "anything is sent: a usage error on any line exits 2 with its line number. The\n"
    "lines then run in order over one link; the first that fails stops the batch,\n"
    "which exits with that line's code.\n\n";

namespace {

// One subcommand of a batch: its line, what it does, and what it was parsed into.
struct BatchLine {
    int number;
    std::string text;
    Action action;
};

std::string read_batch(const std::string& file) {
    constexpr std::size_t limit = 64 << 20;
    std::string content;
    if (file == "-") {
        content.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
        std::ifstream in(file, std::ios::binary);
        if (!in) throw UsageError{"cannot read batch file " + file + ": " + std::strerror(errno)};
        content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (content.size() > limit) throw UsageError{"batch " + file + " is larger than 64 MiB"};
    return content;
}

}  // namespace

int run_batch(const std::string& file, const Globals& globals) {
    const std::string name = file == "-" ? "standard input" : file;
    std::string content;
    try {
        content = read_batch(file);
    } catch (const UsageError& error) {
        say(error.message);
        return exit_usage;
    }

    // Each line gets its own parser and options, so nothing carries over.
    std::vector<std::unique_ptr<Globals>> line_globals;
    std::vector<std::unique_ptr<CLI::App>> apps;
    std::vector<BatchLine> lines;
    std::size_t start = 0;
    for (int number = 1; start < content.size(); ++number) {
        std::size_t end = content.find('\n', start);
        if (end == std::string::npos) end = content.size();
        const std::string text = content.substr(start, end - start);
        start = end + 1;
        message_context = name + " line " + std::to_string(number) + ": ";
        auto words = split_words(text);
        if (auto* error = std::get_if<InputError>(&words)) {
            say(error->message);
            return exit_usage;
        }
        auto& args = std::get<std::vector<std::string>>(words);
        if (args.empty() || args.front().rfind("#", 0) == 0) continue;  // blank or comment

        auto& line_global = line_globals.emplace_back(std::make_unique<Globals>(globals));
        line_global->in_batch = true;
        auto& app = apps.emplace_back(std::make_unique<CLI::App>("", "quorvel"));
        app->require_subcommand(1);
        app->fallthrough();
        app->set_help_flag();
        app->add_flag("--raw-bytes", line_global->raw_bytes, "Send bytes unchanged");
        const auto subcommands = add_subcommands(*app, *line_global);
        for (const auto& subcommand : subcommands) subcommand.app->set_help_flag();
        std::reverse(args.begin(), args.end());
        try {
            app->parse(args);
            lines.push_back({number, text, chosen_subcommand(subcommands)->build()});
        } catch (const CLI::ParseError& error) {
            say(parse_error_text(error, *app));
            return exit_usage;
        } catch (const UsageError& error) {
            say(error.message);
            return exit_usage;
        }
    }
    message_context.clear();
    if (lines.empty()) {
        say("batch " + name + " holds no subcommand");
        return exit_usage;
    }

    auto printer = open_link(globals);
    if (auto* failure = std::get_if<OpenFailure>(&printer)) {
        say(failure->message);
        return failure->exit_code;
    }
    int result = exit_done;
    for (const auto& line : lines) {
        message_context = name + " line " + std::to_string(line.number) + ": ";
        result = line.action(std::get<Printer>(printer).get());
        if (result != exit_done) {
            say("stopped here, with exit code " + std::to_string(result) +
                "; the lines after it were not sent");
            break;
        }
    }
    message_context.clear();
    return close_link(std::move(std::get<Printer>(printer)), globals, result);
}

}  // namespace quorvel::cli

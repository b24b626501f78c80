// SPDX-License-Identifier: MIT
#include "subcommand.h"

#include <cstdio>
#include <iostream>
#include <variant>

#include "inputs.h"
#include "quorvel.h"
#include "text_encoding.h"

namespace quorvel::cli {

std::string message_context;

void say(const std::string& message) {
    std::fprintf(stderr, "quorvel: %s%s\n", message_context.c_str(), message.c_str());
}

int fail(const std::string& message) {
    say(message);
    return exit_failure;
}

std::string library_reason() {
    char message[QUORVEL_ERROR_MESSAGE_SIZE] = "";
    quorvel_last_error(message, sizeof message);
    return message;
}

int written(int result) {
    if (result == 1) return exit_done;
    // The library's message ends with what to try.
    const std::string reason = library_reason();
    return fail("the command was not written to the printer" +
                (reason.empty() ? std::string("; check that it is on and still connected")
                                : ": " + reason));
}

CLI::Validator choice(Choices names, const std::string& what) {
    std::string listed;
    for (const auto& [name, number] : names) listed += (listed.empty() ? "" : "|") + name;
    return CLI::Validator(
        [names, what, listed](std::string& value) -> std::string {
            for (const auto& [name, number] : names) {
                if (value == name) {
                    value = std::to_string(number);
                    return {};
                }
            }
            return "unknown " + what + " '" + value + "'; choose " + listed;
        },
        listed);
}

const Choices alignments = {{"left", 0}, {"center", 1}, {"centre", 1}, {"right", 2}};
const Choices bar_heights = {{"32", 0}, {"50", 1}, {"80", 2}};

void add_align(CLI::App* app, int& align, const char* default_name) {
    app->add_option("--align", align, std::string("Justification (default ") + default_name + ")")
        ->transform(choice(alignments, "alignment"));
}

namespace {

// Reads standard input up to a bound, so a runaway pipe cannot fill memory:
// four UTF-8 bytes per character at most, plus a line end.
std::string read_stdin(const std::string& what, std::size_t max_length, const Globals& globals) {
    if (globals.in_batch)
        throw UsageError{what +
                         ": standard input holds the batch itself; put the text on the line"};
    const std::size_t bound = 4 * max_length + 2;
    std::string text;
    char buffer[65536];
    while (std::cin.read(buffer, sizeof buffer) || std::cin.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(std::cin.gcount()));
        if (text.size() > bound)
            throw UsageError{what + " on standard input is too long; one command holds at most " +
                             std::to_string(max_length) + " bytes"};
    }
    return strip_one_line_end(std::move(text));
}

}  // namespace

std::string printable_bytes(const std::string& argument, const Globals& globals,
                            const std::string& what, std::size_t max_length, bool allow_empty) {
    std::string text = argument == "-" ? read_stdin(what, max_length, globals) : argument;
    if (text.find('\0') != std::string::npos)
        throw UsageError{what + " holds a NUL byte, which cannot be sent"};
    if (!globals.raw_bytes) {
        auto converted = utf8_to_windows1252(text);
        if (auto* error = std::get_if<EncodingError>(&converted))
            throw UsageError{what + ": " + error->message + " (--raw-bytes sends bytes unchanged)"};
        text = std::get<std::string>(converted);
    }
    if (text.empty() && !allow_empty) throw UsageError{what + " is empty"};
    if (text.size() > max_length)
        throw UsageError{what + " is " + std::to_string(text.size()) +
                         " bytes; one command holds at most " + std::to_string(max_length)};
    return text;
}

}  // namespace quorvel::cli

// SPDX-License-Identifier: MIT
// Runs a program to its end with given arguments, environment additions and
// standard input, and collects its exit code and output.
#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace quorvel::testing {

struct ProgramResult {
    int exit_code = -1;  // -1 if it did not exit normally (killed, timed out)
    std::string out;
    std::string err;
};

ProgramResult run_program(const std::vector<std::string>& argv, const std::string& input = "",
                          const std::vector<std::pair<std::string, std::string>>& environment = {},
                          std::chrono::seconds limit = std::chrono::seconds(30));

#ifdef QUORVEL_CLI_PATH
// The built `quorvel` tool with these arguments.
inline ProgramResult run_cli(const std::vector<std::string>& args, const std::string& input = "") {
    std::vector<std::string> argv{QUORVEL_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return run_program(argv, input);
}
#endif

}  // namespace quorvel::testing

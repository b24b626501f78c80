// SPDX-License-Identifier: MIT
// The tool's command line as a user meets it: --help against the README's
// table of options, and bad options refused with their messages.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace quorvel::printer::test {
namespace {

namespace fs = std::filesystem;

struct ToolRun {
    int exit_code = -1;  // -1: killed (e.g. it started serving and ran into the alarm)
    std::string output;  // standard output and standard error
};

ToolRun run_printer(const std::vector<std::string>& options) {
    const fs::path out =
        fs::temp_directory_path() / ("qvp-options-" + std::to_string(::getpid()) + ".txt");
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!std::freopen(out.c_str(), "w", stdout) || ::dup2(1, 2) < 0) ::_exit(126);
        ::alarm(20);  // an option wrongly taken would leave the printer serving
        std::vector<char*> argv{const_cast<char*>(QUORVEL_PRINTER_BINARY)};
        for (const auto& o : options) argv.push_back(const_cast<char*>(o.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    std::ifstream in(out);
    ToolRun r{WIFEXITED(status) ? WEXITSTATUS(status) : -1,
              std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())};
    fs::remove(out);
    return r;
}

// The options the README's table documents, e.g. "--profile", "--font-b".
std::set<std::string> documented_options() {
    std::ifstream in(QUORVEL_PRINTER_README);
    std::set<std::string> names;
    const std::regex row(R"(^\| `--)"), name(R"(`(--[a-z-]+))");
    for (std::string line; std::getline(in, line);) {
        if (!std::regex_search(line, row)) continue;
        const std::string first_cell = line.substr(0, line.find(" | "));
        for (std::sregex_iterator m(first_cell.begin(), first_cell.end(), name), end; m != end; ++m)
            names.insert((*m)[1]);
    }
    return names;
}

TEST(Options, HelpListsEachDocumentedOptionOnce) {
    const ToolRun help = run_printer({"--help"});
    ASSERT_EQ(help.exit_code, 0) << help.output;
    const std::set<std::string> documented = documented_options();
    ASSERT_GT(documented.size(), 30u);
    // Option lines start with two spaces and the name; descriptions are indented further.
    std::multiset<std::string> listed;
    const std::regex option_line(R"(^  (?:-h,)?(--[a-z-]+))");
    std::istringstream lines(help.output);
    for (std::string line; std::getline(lines, line);)
        if (std::smatch m; std::regex_search(line, m, option_line)) listed.insert(m[1]);
    for (const std::string& name : documented) EXPECT_EQ(listed.count(name), 1u) << name;
    for (const std::string& name : listed) {
        if (name == "--help" || name == "--version") continue;
        EXPECT_TRUE(documented.count(name)) << name << " is not in printer/README.md";
    }
    const ToolRun version = run_printer({"--version"});
    EXPECT_EQ(version.exit_code, 0);
    EXPECT_EQ(version.output.rfind("quorvel-printer ", 0), 0u) << version.output;
}

// --bench writes its images inside --out (the disk a shop prints to) and
// leaves nothing behind there; a folder it cannot make is refused.
TEST(Options, BenchWritesInsideOutAndCleansUp) {
    const fs::path out =
        fs::temp_directory_path() / ("qvp-bench-out-" + std::to_string(::getpid()));
    fs::remove_all(out);
    const std::string stream = std::string(QUORVEL_PRINTER_BENCH_DIR) + "/demo_receipt.bin";
    const ToolRun r = run_printer({"--bench", stream, "--out", out.string(), "--no-fonts"});
    EXPECT_EQ(0, r.exit_code) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("2 receipt(s)")) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("ms per receipt")) << r.output;
    EXPECT_TRUE(fs::is_directory(out));
    EXPECT_TRUE(fs::is_empty(out));
    fs::remove_all(out);
    EXPECT_EQ(
        2,
        run_printer({"--bench", stream, "--out", "/proc/no-such-folder", "--no-fonts"}).exit_code);
}

TEST(Options, BadOptionsAreRefusedWithTheirMessages) {
    struct Case {
        std::vector<std::string> options;
        std::string message;  // the whole first line on standard error
    };
    const std::vector<Case> cases = {
        {{"--no-such-option"},
         "unknown option --no-such-option; quorvel-printer --help lists the options"},
        {{"stray"}, "unknown option stray; quorvel-printer --help lists the options"},
        {{"--listen"}, "--listen needs a value; quorvel-printer --help lists the options"},
        {{"--paper", "wet"}, "--paper takes ok, near-end or out"},
        {{"--paper", "ok", "--paper", "wet"}, "--paper takes ok, near-end or out"},
        {{"--drawer", "ajar"}, "--drawer takes open or closed"},
        {{"--cover", "shut"}, "--cover takes open or closed"},
        {{"--idle-timeout", "5x"}, "--idle-timeout takes a number from 0 to 86400, not '5x'"},
        {{"--flush-after", "-1"}, "--flush-after takes a number from 0 to 86400, not '-1'"},
        {{"--journal-max", ""}, "--journal-max takes a number from 0 to 1.04858e+06, not ''"},
        {{"--max-images", "0"}, "--max-images takes a number from 1 to 1e+09, not '0'"},
        {{"--http-keep", "many"}, "--http-keep takes a number from 1 to 1e+09, not 'many'"},
        {{"--drawer-open-ms", "soon"},
         "--drawer-open-ms takes a number from 0 to 8.64e+07, not 'soon'"},
        {{"--max-height", "tall"}, "--max-height takes a number from 0 to 1e+07, not 'tall'"},
        {{"--double-byte", "utf-8"},
         "--double-byte utf-8: not gb18030, shift_jis, euc-kr, big5 or none"},
        {{"--http-token", "a/b"}, "--http-token takes letters, digits and - . _ ~ only"},
        {{"--http", "nowhere"}, "--http takes ADDR:PORT, not nowhere"},
        {{"--profile", "/nonexistent/model.json"}, "--profile /nonexistent/model.json"},
        {{"--shop", "/nonexistent/shop.json"}, "--shop /nonexistent/shop.json: cannot be read"},
        {{"--logo", "0=x.png"}, "--logo takes N=FILE.png with N 1 to 255"},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const auto& o : c.options) shown += o + " ";
        SCOPED_TRACE(shown);
        std::vector<std::string> options = {"--journal", "/dev/null", "--no-tcp"};
        options.insert(options.end(), c.options.begin(), c.options.end());
        const ToolRun r = run_printer(options);
        EXPECT_EQ(r.exit_code, 2);
        const std::string first_line = r.output.substr(0, r.output.find('\n'));
        EXPECT_EQ(first_line.rfind("quorvel-printer: " + c.message, 0), 0u) << r.output;
    }
}

}  // namespace
}  // namespace quorvel::printer::test

// SPDX-License-Identifier: MIT
// The PNG files (1-bit, 203 dpi) and the command-line tool run as a
// separate process: --decode, and a TCP session ended by SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "nv_images.h"
#include "paper/png_io.h"
#include "support.h"

namespace quorvel::printer::test {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t be32(const std::string& s, size_t at) {
    return (static_cast<uint32_t>(static_cast<uint8_t>(s[at])) << 24) |
           (static_cast<uint32_t>(static_cast<uint8_t>(s[at + 1])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(s[at + 2])) << 8) |
           static_cast<uint8_t>(s[at + 3]);
}

fs::path temp_dir(const char* tag) {
    const fs::path d =
        fs::temp_directory_path() / (std::string("qvp-") + tag + "-" + std::to_string(::getpid()));
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
}

TEST(Png, OneBitGrayAt203DpiWithPaperMargins) {
    Bitmap page(PRINT_WIDTH, 10);
    page.fill_rect(0, 0, 3, 2);
    page.set(575, 9);
    const fs::path dir = temp_dir("png");
    const std::string path = (dir / "p.png").string();
    PaperMargins m;
    ASSERT_TRUE(write_png(path, page, m));
    const std::string f = slurp(path);
    ASSERT_EQ(f.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0);
    ASSERT_EQ(f.compare(12, 4, "IHDR"), 0);
    EXPECT_EQ(be32(f, 16), static_cast<uint32_t>(PRINT_WIDTH + m.left + m.right));
    EXPECT_EQ(be32(f, 20), static_cast<uint32_t>(10 + m.top + m.bottom));
    EXPECT_EQ(f[24], 1) << "bit depth";
    EXPECT_EQ(f[25], 0) << "grayscale";
    const size_t phys = f.find("pHYs");
    ASSERT_NE(phys, std::string::npos);
    EXPECT_EQ(be32(f, phys + 4), 7992u);  // 203 dpi in dots per metre
    EXPECT_EQ(be32(f, phys + 8), 7992u);
    EXPECT_EQ(f[phys + 12], 1) << "unit: metre";
    Bitmap back;
    ASSERT_TRUE(read_png(path, &back));
    EXPECT_EQ(back.count_black(), page.count_black());
    EXPECT_TRUE(back.get(m.left, m.top) && back.get(m.left + 2, m.top + 1));
    EXPECT_TRUE(back.get(m.left + 575, m.top + 9));
    EXPECT_FALSE(back.get(m.left - 1, m.top));
    fs::remove_all(dir);
}

// Exit code of the tool; its standard error goes to `err_file` when given.
int run_tool(const std::vector<std::string>& args, const std::string& err_file = {}) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!err_file.empty() && !std::freopen(err_file.c_str(), "w", stderr)) ::_exit(126);
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Cli, DecodeRendersACapturedStream) {
    const fs::path dir = temp_dir("decode");
    {
        std::ofstream cap(dir / "cap.bin", std::ios::binary);
        cap << B(
            "\x1b\x40\x1b\x61\x01"
            "hello\n\x1d\x56\x00"
            "second\n\x1b\xfe");
    }
    EXPECT_EQ(run_tool({QUORVEL_PRINTER_BINARY, "--decode", (dir / "cap.bin").string(), "--out",
                        dir.string(), "--journal", (dir / "j.txt").string()}),
              0);
    EXPECT_TRUE(fs::exists(dir / "receipt-0001.png"));
    EXPECT_TRUE(fs::exists(dir / "receipt-0002.png"));
    const std::string j = slurp(dir / "j.txt");
    EXPECT_NE(j.find("ESC a 1     justification: centre"), std::string::npos) << j;
    EXPECT_NE(j.find("GS V 0      full cut"), std::string::npos);
    EXPECT_NE(j.find("unknown ESC command"), std::string::npos);
    fs::remove_all(dir);
}

TEST(Cli, BadOptionsAreRefused) {
    EXPECT_EQ(run_tool({QUORVEL_PRINTER_BINARY, "--paper", "wet"}), 2);
    EXPECT_EQ(run_tool({QUORVEL_PRINTER_BINARY, "--no-such-option"}), 2);
    EXPECT_EQ(run_tool({QUORVEL_PRINTER_BINARY, "--decode", "/nonexistent/stream"}), 2);
    EXPECT_EQ(run_tool({QUORVEL_PRINTER_BINARY, "--listen", "not-an-address:9100", "--journal",
                        "/dev/null"}),
              1);
    // Port 0 takes a free port (reported once listening); an empty one is refused.
    EXPECT_EQ(
        run_tool({QUORVEL_PRINTER_BINARY, "--listen", "127.0.0.1:", "--journal", "/dev/null"}), 2);
    EXPECT_EQ(
        run_tool({QUORVEL_PRINTER_BINARY, "--listen", "127.0.0.1:70000", "--journal", "/dev/null"}),
        2);
}

TEST(Cli, AFontFileThatCannotBeReadStopsTheStart) {
    const fs::path dir = temp_dir("fonts");
    { std::ofstream(dir / "not-a-font.ttf") << "plain text"; }
    { std::ofstream(dir / "cap.bin") << "hello\n"; }
    struct Case {
        const char* name;
        std::vector<std::string> options;
        int exit_code;
        std::string message;  // expected on standard error
    };
    const std::vector<Case> cases = {
        {"missing font A",
         {"--font-a", "/nonexistent/a.ttf"},
         2,
         "font A: /nonexistent/a.ttf: No such file or directory"},
        {"font B not a font",
         {"--font-b", (dir / "not-a-font.ttf").string()},
         2,
         "font B: " + (dir / "not-a-font.ttf").string() + ": not a font file"},
        {"a directory", {"--font-a", dir.string()}, 2, "font A: " + dir.string() + ": "},
        {"boxes asked for", {"--font-a", "/nonexistent/a.ttf", "--no-fonts"}, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = {
            QUORVEL_PRINTER_BINARY, "--decode",  (dir / "cap.bin").string(), "--out",
            dir.string(),           "--journal", (dir / "j.txt").string()};
        args.insert(args.end(), c.options.begin(), c.options.end());
        fs::remove(dir / "receipt-0001.png");
        EXPECT_EQ(run_tool(args, (dir / "err.txt").string()), c.exit_code);
        const std::string err = slurp(dir / "err.txt");
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
        // Refused before anything is printed; with boxes the receipt is written.
        EXPECT_EQ(fs::exists(dir / "receipt-0001.png"), c.exit_code == 0);
    }
    fs::remove_all(dir);
}

TEST(Cli, SerialLinkNeverReplacesAFile) {
    const fs::path dir = temp_dir("link");
    { std::ofstream(dir / "precious") << "keep me"; }
    EXPECT_EQ(run_tool({QUORVEL_PRINTER_BINARY, "--no-tcp", "--serial-link",
                        (dir / "precious").string(), "--journal", "/dev/null"}),
              1);
    EXPECT_EQ(slurp(dir / "precious"), "keep me");
    fs::remove_all(dir);
}

void write_file(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// The printer is started, defines its stored images and stops; started again
// with the same --nv-dir, it prints them.
TEST(Cli, StoredImagesSurviveARestartWithNvDir) {
    const fs::path dir = temp_dir("nvdir");
    const TestImage img;
    write_file(dir / "define.bin", fs_q({img}) + gs_l_define(0x43, 'L', '1', img));
    write_file(dir / "print.bin",
               B("\x1c\x70\x01\x00") + gs_l_print(0x45, 'L', '1', 1, 1) + B("\x1d\x56\x00"));
    const std::string nv = (dir / "nv").string();
    ASSERT_EQ(run_tool({QUORVEL_PRINTER_BINARY, "--decode", (dir / "define.bin").string(), "--out",
                        (dir / "first").string(), "--nv-dir", nv, "--journal", "/dev/null"}),
              0);
    EXPECT_FALSE(fs::exists(dir / "first" / "receipt-0001.png")) << "defining prints nothing";
    for (const char* run : {"second", "third"}) {  // and again: printing keeps them
        SCOPED_TRACE(run);
        fs::create_directories(dir / run);
        ASSERT_EQ(
            run_tool({QUORVEL_PRINTER_BINARY, "--decode", (dir / "print.bin").string(), "--out",
                      (dir / run).string(), "--nv-dir", nv, "--journal", "/dev/null"}),
            0);
        Bitmap page;
        ASSERT_TRUE(read_png((dir / run / "receipt-0001.png").string(), &page));
        const PaperMargins m;
        EXPECT_TRUE(img.printed_at(page, m.left, m.top, 1, 1));
        EXPECT_TRUE(img.printed_at(page, m.left, m.top + img.height, 1, 1));
    }
    // A --nv-dir that cannot be a directory is refused at start-up.
    write_file(dir / "plain", "x");
    EXPECT_EQ(run_tool({QUORVEL_PRINTER_BINARY, "--decode", (dir / "print.bin").string(),
                        "--nv-dir", (dir / "plain").string(), "--journal", "/dev/null"}),
              2);
    fs::remove_all(dir);
}

// --logo N=FILE.png: a PNG wider than the paper is scaled to 576 dots,
// keeping its proportions, and printed by FS p N.
TEST(Cli, LogoIsPreloadedAndFittedToThePaper) {
    const fs::path dir = temp_dir("logo");
    Bitmap logo(1152, 200);
    logo.fill_rect(0, 0, 576, 200);  // left half black, right half white
    ASSERT_TRUE(write_png((dir / "logo.png").string(), logo, PaperMargins{0, 0, 0, 0}));
    write_file(dir / "print.bin", B("\x1c\x70\x07\x00\x1d\x56\x00"));
    ASSERT_EQ(run_tool({QUORVEL_PRINTER_BINARY, "--decode", (dir / "print.bin").string(), "--out",
                        dir.string(), "--logo", "7=" + (dir / "logo.png").string(), "--journal",
                        "/dev/null"}),
              0);
    Bitmap page;
    ASSERT_TRUE(read_png((dir / "receipt-0001.png").string(), &page));
    const PaperMargins m;
    const Box ink = ink_box(page);
    EXPECT_EQ(ink.x0, m.left);
    EXPECT_EQ(ink.width(), 288);
    EXPECT_EQ(ink.height(), 100);
    EXPECT_EQ(page.count_black(), 288u * 100);
    EXPECT_EQ(run_tool({QUORVEL_PRINTER_BINARY, "--decode", (dir / "print.bin").string(), "--logo",
                        "7=" + (dir / "missing.png").string()}),
              2);
    EXPECT_EQ(run_tool({QUORVEL_PRINTER_BINARY, "--decode", (dir / "print.bin").string(), "--logo",
                        "300=" + (dir / "logo.png").string()}),
              2);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace quorvel::printer::test

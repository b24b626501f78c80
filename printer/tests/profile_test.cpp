// SPDX-License-Identifier: MIT
// Printer profiles: the shipped files, one stream on each paper width, what a
// model lacks, and profile files that must be refused.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "machine/profile.h"
#include "support.h"

namespace quorvel::printer::test {
namespace {

namespace fs = std::filesystem;

ProfilePtr shipped(const std::string& name) {
    load_code_tables();
    std::string error;
    ProfilePtr p = load_profile(name, &error);
    EXPECT_TRUE(p) << error;
    return p;
}

TEST(Profile, Generic80IsWhatThePrinterDoesWithoutOne) {
    const ProfilePtr file = shipped("generic-80");
    ASSERT_TRUE(file);
    const Profile built_in;
    EXPECT_EQ(file->name, built_in.name);
    EXPECT_EQ(file->dots, built_in.dots);
    EXPECT_EQ(file->paper_mm, built_in.paper_mm);
    EXPECT_EQ(file->line_spacing, built_in.line_spacing);
    EXPECT_EQ(file->code_tables, built_in.code_tables);
    EXPECT_EQ(file->international, built_in.international);
    EXPECT_EQ(file->barcodes, built_in.barcodes);
    EXPECT_EQ(file->symbols_2d, built_in.symbols_2d);
    EXPECT_EQ(file->id_bytes, built_in.id_bytes);
    EXPECT_EQ(file->id_texts, built_in.id_texts);
    EXPECT_EQ(file->nv_graphics_bytes, built_in.nv_graphics_bytes);
    EXPECT_EQ(file->cutter, built_in.cutter);
    EXPECT_EQ(file->full_cut, built_in.full_cut);
    EXPECT_EQ(file->drawer, built_in.drawer);
    EXPECT_EQ(file->double_byte, "none");
}

// One stream on each paper: text wraps at the width, positions and margins
// stay within it, an image wider than the paper is clipped and a symbol
// wider than it is left out, each with a journal line.
TEST(Profile, OneStreamOnEachPaper) {
    struct Case {
        const char* profile;
        int dots, columns;
    };
    for (const Case& c : {Case{"generic-80", 576, 48}, Case{"generic-80-512", 512, 42},
                          Case{"generic-58", 384, 32}}) {
        SCOPED_TRACE(c.profile);
        const ProfilePtr profile = shipped(c.profile);
        ASSERT_TRUE(profile);
        EXPECT_EQ(profile->columns_a(), c.columns);
        auto page = [&](const std::string& stream, std::string* journal = nullptr) {
            StreamRun run({}, 0, nullptr, profile);
            run.feed(B("\x1b@") + stream).finish();
            if (journal) *journal = run.journal();
            EXPECT_EQ(run.pages.size(), 1u);
            return run.pages.empty() ? Bitmap() : run.pages[0];
        };
        // 129 characters wrap into as many lines as the columns make.
        const Bitmap wrapped = page(std::string(129, 'W') + "\n");
        EXPECT_EQ(wrapped.width(), c.dots);
        const int lines = (129 + c.columns - 1) / c.columns;
        EXPECT_EQ(wrapped.height(), lines * 30);
        EXPECT_EQ(ink_box(wrapped).x1 / 12, c.columns - 1) << "the last column is used";

        // Right justification ends at the paper's edge.
        const Box right = ink_box(page(B("\x1b\x61\x02") + "MMMM\n"));
        EXPECT_GT(right.x1, c.dots - 12);
        EXPECT_LE(right.x1, c.dots - 1);

        // ESC $ inside the paper moves; past it, it is ignored.
        auto dollar = [](int x) { return B("\x1b$") + char(x & 0xFF) + char(x >> 8) + "M\n"; };
        EXPECT_GE(ink_box(page(dollar(c.dots - 12))).x0, c.dots - 12);
        EXPECT_LT(ink_box(page(dollar(c.dots + 12))).x0, 12);

        // GS L 96 and GS W over the width: the area is what is left of the paper.
        const Bitmap margin = page(B("\x1dL\x60") + B("\x00") + "\x1dW\xff\xff" +
                                   std::string(129, 'W') + "\n");
        const int area_columns = (c.dots - 96) / 12;
        EXPECT_EQ(margin.height(), (129 + area_columns - 1) / area_columns * 30);
        EXPECT_GE(ink_box(margin).x0, 96);
        EXPECT_LE(ink_box(margin).x1, c.dots - 1);

        // A raster image of 640 dots: clipped at the paper's right edge.
        std::string journal;
        const Bitmap image = page(B("\x1dv0") + B("\x00") + "\x50" + B("\x00") + "\x08" +
                                      B("\x00") + std::string(80 * 8, '\xff'),
                                  &journal);
        EXPECT_EQ(image.width(), c.dots);
        EXPECT_EQ(ink_box(image).x1, c.dots - 1);
        EXPECT_NE(journal.find("wider than the print area; cut at the right edge"),
                  std::string::npos);

        // A QR Code of 25 modules at 16 dots (400 dots): too wide for 58 mm.
        page(B("\x1d(k\x03\x00\x31\x43\x10") + B("\x1d(k\x23\x00\x31\x50\x30") +
                 std::string(32, 'A') + B("\x1d(k\x03\x00\x31\x51\x30") + "x\n",
             &journal);
        EXPECT_EQ(journal.find("more than the print area; not printed") != std::string::npos,
                  c.dots < 400)
            << journal;
    }
}

// What generic-58 lacks is journaled and handled as that model does: a code
// table or national set it lacks leaves the one in force, a symbology or 2D
// symbol it lacks prints nothing. generic-80 has them all.
TEST(Profile, WhatAModelLacks) {
    struct Case {
        const char* what;
        std::string stream;
        std::string baseline;  // prints as this on the model that lacks it
        const char* journal;
    };
    const std::vector<Case> cases = {
        {"code table PC864", B("\x1bt\x25") + "\x80\x81 abc\n", "\x80\x81 abc\n",
         "code table 37 not on this model; PC437 stays"},
        {"national set China", B("\x1bR\x0f") + "#$@[\n", "#$@[\n",
         "international character set 15 not on this model; USA stays"},
        {"GS1-128", B("\x1dk\x4a\x12") + "(01)09501101530003" + "x\n", "x\n",
         "GS1-128: not on this model (generic-58); nothing printed"},
        {"Data Matrix", B("\x1dZ\x01\x1bZ\x00\x00\x03\x05") + B("\x00") + "HELLOx\n", "x\n",
         "Data Matrix: not on this model (generic-58); nothing printed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto run = [&](const char* profile, const std::string& stream, std::string* journal) {
            StreamRun r({}, 0, nullptr, shipped(profile));
            r.feed(B("\x1b@") + stream).finish();
            if (journal) *journal = r.journal();
            return r.pages.empty() ? Bitmap() : r.pages[0];
        };
        std::string journal58, journal80;
        const Bitmap on58 = run("generic-58", c.stream, &journal58);
        const Bitmap plain = run("generic-58", c.baseline, nullptr);
        EXPECT_NE(journal58.find(c.journal), std::string::npos) << journal58;
        EXPECT_EQ(on58.height(), plain.height());
        EXPECT_EQ(on58.count_black(), plain.count_black());
        const Bitmap on80 = run("generic-80", c.stream, &journal80);
        EXPECT_EQ(journal80.find("not on this model"), std::string::npos) << journal80;
        EXPECT_NE(on80.count_black(), run("generic-80", c.baseline, nullptr).count_black());
    }
}

// The answers of each model: GS I, NV graphics capacity (GS ( L fn 48 and 51),
// a full NV memory, and a model without drawer connector or cutter.
TEST(Profile, AnswersAndDevices) {
    auto replies = [](ProfilePtr p, const std::string& stream, std::string* journal = nullptr,
                      bool* drawer = nullptr) {
        StreamRun r({}, 0, nullptr, std::move(p));
        r.feed(stream).finish();
        if (journal) *journal = r.journal();
        if (drawer) *drawer = r.status().drawer_open();
        return std::string(r.replies.begin(), r.replies.end());
    };
    const std::string id_c = B("\x1dI\x43");
    EXPECT_EQ(replies(shipped("generic-80"), id_c), B("_VIRTUAL-80\x00"));
    EXPECT_EQ(replies(shipped("generic-58"), id_c), B("_VIRTUAL-58\x00"));
    const std::string capacity = B("\x1d(L\x02\x00\x30\x30");
    const std::string remaining = B("\x1d(L\x02\x00\x30\x33");
    EXPECT_EQ(replies(shipped("generic-80"), capacity), "") << "generic-80 has no such query";
    EXPECT_EQ(replies(shipped("generic-58"), capacity), B("\x37\x30") + "65536" + B("\x00"));
    // A 1024 x 256 NV graphic takes 32768 bytes: one fits in 64 KiB, a third does not.
    std::string define = B("\x1d(L\x0b\x80\x30\x43\x30") + "AA" + B("\x01\x00\x04\x00\x01\x31");
    define[3] = static_cast<char>((11 + 32768) & 0xFF);
    define[4] = static_cast<char>((11 + 32768) >> 8);
    define += std::string(32768, '\x55');
    std::string second = define;
    second[8 + 1] = 'B';
    std::string third = define;
    third[8 + 1] = 'C';
    std::string journal;
    EXPECT_EQ(replies(shipped("generic-58"), define + remaining + second + third + remaining,
                      &journal),
              B("\x37\x31") + "32768" + B("\x00") + B("\x37\x31") + "0" + B("\x00"));
    EXPECT_NE(journal.find("NV graphics memory full (65536 bytes on this model)"),
              std::string::npos);

    std::string error;
    const ProfilePtr bare = parse_profile(
        R"({"name": "bare-58", "paper_mm": 58, "dots": 384, "cutter": "none", "drawer": false})",
        &error);
    ASSERT_TRUE(bare) << error;
    // GS ( E queries: answered byte for byte where the profile has them, one
    // per command in the order asked; any other GS ( E gets nothing.
    const ProfilePtr setup = parse_profile(
        R"({"name": "setup-80", "paper_mm": 80, "dots": 576, "user_setup_answers":
            {"06 01": "37 27 31 1F 36 34 00", "06 02": "37 27 32 1F 32 35 36 00"}})",
        &error);
    ASSERT_TRUE(setup) << error;
    const std::string ask1 = B("\x1d(E\x02\x00\x06\x01"), ask2 = B("\x1d(E\x02\x00\x06\x02");
    const std::string other = B("\x1d(E\x02\x00\x06\x03");
    EXPECT_EQ(replies(setup, ask2 + other + "x\n" + ask1, &journal),
              B("\x37\x27\x32\x1f\x32\x35\x36\x00\x37\x27\x31\x1f\x36\x34\x00"));
    EXPECT_NE(journal.find("user setup query: 8 bytes answered from the profile"),
              std::string::npos);
    EXPECT_NE(journal.find("user setup (ignored)"), std::string::npos);
    EXPECT_EQ(replies(shipped("generic-80"), ask1 + ask2), "");

    bool drawer = true;
    replies(bare, B("\x1bp\x00\x19\xfa") + "x\n" + B("\x1dV\x00"), &journal, &drawer);
    EXPECT_FALSE(drawer);
    EXPECT_NE(journal.find("no drawer connector"), std::string::npos);
    EXPECT_NE(journal.find("no cutter on this model"), std::string::npos);
}

TEST(Profile, BadFilesAreRefusedWithTheFieldAndTheReason) {
    load_code_tables();
    const std::string ok = R"("name": "x", "paper_mm": 58, "dots": 384)";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"{", "(top): not valid JSON"},
        {"[1]", "(top): must be a JSON object"},
        {R"({"name": "x", "paper_mm": 80})", "dots: missing"},
        {R"({"name": "x", "paper_mm": 80, "dots": 577})", "dots: must be a multiple of 8"},
        {R"({"name": "x", "paper_mm": 58, "dots": 576})", "dots: wider than the paper"},
        {R"({"name": "x", "paper_mm": 80, "dots": "576"})", "dots: must be a whole number"},
        {R"({"name": "a b", "paper_mm": 80, "dots": 576})", "name: must be a non-empty name"},
        {"{" + ok + R"(, "colour": true})", "colour: unknown field"},
        {"{" + ok + R"(, "code_tables": [0, 41]})", "code_tables[1]: no table 41 is built in"},
        {"{" + ok + R"(, "code_tables": []})", "code_tables: must be \"all\" or a non-empty list"},
        {"{" + ok + R"(, "international": [18]})", "international[0]: no set 18 is built in"},
        {"{" + ok + R"(, "barcodes": ["CODE11"]})", "barcodes[0]: not a symbology name"},
        {"{" + ok + R"(, "symbols_2d": ["QR"]})", "symbols_2d[0]: not a 2D symbol name"},
        {"{" + ok + R"(, "fonts": {"A": [10, 24], "B": [9, 17]}})",
         "fonts.A: only a 12x24 cell is drawn"},
        {"{" + ok + R"(, "fonts": {"A": [12, 24]}})", "fonts.B: missing"},
        {"{" + ok + R"(, "printer_id": {"Z": "x"}})", "printer_id.Z: GS I answers are keyed"},
        {"{" + ok + R"(, "printer_id": {"1": 256}})", "printer_id.1: must be a whole number"},
        {"{" + ok + R"(, "cutter": "guillotine"})", "cutter: \"guillotine\" is not one of"},
        {"{" + ok + R"(, "drawer": "yes"})", "drawer: must be true or false"},
        {"{" + ok + R"(, "double_byte": "utf-8"})", "double_byte: \"utf-8\" is not one of"},
        {"{" + ok + R"(, "line_spacing": 0})", "line_spacing: must be a whole number from 1"},
        {"{" + ok + R"(, "user_setup_answers": {"6 1": "37 00"}})",
         "user_setup_answers.6 1: must be 1 to 16 bytes in hex"},
        {"{" + ok + R"(, "user_setup_answers": {"06 01": "37 0G"}})",
         "user_setup_answers.06 01: must be 1 to 64 bytes in hex"},
        {"{" + ok + R"(, "user_setup_answers": {"06 01": ""}})",
         "user_setup_answers.06 01: must be 1 to 64 bytes in hex"},
        {"{" + ok + R"(, "user_setup_answers": ["06 01"]})", "user_setup_answers: must be an object"},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        std::string error;
        EXPECT_FALSE(parse_profile(text, &error));
        EXPECT_EQ(error.substr(0, expected.size()), expected);
    }
    for (const char* good : {"shift_jis", "gb18030", "euc-kr", "big5"}) {
        std::string error;
        EXPECT_TRUE(parse_profile("{" + ok + R"(, "double_byte": ")" + good + "\"}", &error))
            << error;
    }

    // The tool refuses to start, naming the file, the field and the reason.
    const fs::path dir = fs::temp_directory_path() / ("qvp-profile-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string bad = (dir / "bad.json").string(), err = (dir / "err.txt").string();
    std::ofstream(bad) << R"({"name": "x", "paper_mm": 58, "dots": 390})";
    for (const std::string& arg : {bad, std::string("no-such-model")}) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (!std::freopen(err.c_str(), "w", stderr)) ::_exit(126);
            ::execl(QUORVEL_PRINTER_BINARY, QUORVEL_PRINTER_BINARY, "--profile", arg.c_str(),
                    "--no-tcp", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_EQ(WEXITSTATUS(status), 2);
        std::ifstream in(err);
        const std::string said((std::istreambuf_iterator<char>(in)), {});
        EXPECT_NE(said.find(arg == bad ? bad + ": dots: must be a multiple of 8"
                                       : "no profile named no-such-model"),
                  std::string::npos)
            << said;
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace quorvel::printer::test

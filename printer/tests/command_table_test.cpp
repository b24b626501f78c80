// SPDX-License-Identifier: MIT
// The command table: every row is reachable by its own bytes, skipped
// commands keep the stream in step, and an unknown sequence never eats the
// command that follows it.
#include "escpos/command_table.h"

#include <gtest/gtest.h>

#include "support.h"

namespace quorvel::printer::test {
namespace {

TEST(CommandTable, EveryRowIsFoundByItsOwnBytes) {
    for (const CommandRow& row : command_rows()) {
        SCOPED_TRACE(row.mnemonic);
        const uint8_t b[3] = {row.lead, static_cast<uint8_t>(row.second == NONE ? 0 : row.second),
                              static_cast<uint8_t>(row.third == ANY ? 0 : row.third)};
        bool need_more = true;
        const CommandRow* found = find_command(b, 3, &need_more);
        EXPECT_FALSE(need_more);
        if (row.third == ANY && row.second != NONE) {
            // An ANY row is the fallback: a specific row for this third byte wins.
            ASSERT_NE(found, nullptr);
            EXPECT_EQ(found->second, row.second);
            continue;
        }
        EXPECT_EQ(found, &row);
        if (!row.handler) {
            EXPECT_STRNE(row.meaning, "") << "a skipped row says what it is";
        }
    }
}

struct SkipCase {
    const char* name;
    std::string command;
};

// Commands the printer does not carry out must still be taken whole, however
// the stream is cut into reads, so that what follows prints.
TEST(CommandTable, SkippedCommandsKeepTheStreamInStep) {
    const std::vector<SkipCase> cases = {
        {"ESC ( A beeper", B("\x1b\x28\x41\x04\x00\x30\x33\x01\x01")},
        {"ESC W print area", B("\x1b\x57\x00\x00\x00\x00\x40\x02\x00\x04")},
        {"ESC c 5 panel", B("\x1b\x63\x35\x00")},
        {"ESC = peripheral", B("\x1b\x3d\x01")},
        {"FS 2 Kanji", B("\x1c\x32\x77\x21") + std::string(72, '\x55')},
        {"FS ( A Kanji", B("\x1c\x28\x41\x02\x00\x30\x00")},
        {"FS g 1 user memory", B("\x1c\x67\x31\x00\x00\x00\x00\x00\x03\x00\x41\x42\x43")},
        {"GS ( E user setup", B("\x1d\x28\x45\x03\x00\x01\x49\x4e")},
        {"GS ( H response", B("\x1d\x28\x48\x06\x00\x30\x30\x41\x42\x43\x44")},
        {"GS C ; counter", B("\x1d\x43\x3b"
                             "1;9;1;1;0;")},
        {"GS C 0 counter", B("\x1d\x43\x30\x00\x00")},
        {"GS Q 0 image", B("\x1d\x51\x30\x00\x02\x00\x01\x00\xff\xff")},
        {"GS D BMP", B("\x1d\x44\x30\x43\x30\x41\x41\x31\x31"
                       "BM\x08\x00\x00\x00\x00\x00")},
        {"GS g 0 counter", B("\x1d\x67\x30\x00\x14")},
        {"GS z 0 wait", B("\x1d\x7a\x30\x01\x01")},
        {"GS 8 A graphics", B("\x1d\x38\x41\x02\x00\x00\x00\x30\x30")},
        {"DLE DC4 8 clear", B("\x10\x14\x08\x01\x03\x14\x01\x06\x02\x08")},
        {"DLE ENQ", B("\x10\x05\x02")},
    };
    for (const auto& c : cases) {
        for (size_t chunk : {0u, 1u}) {
            SCOPED_TRACE(std::string(c.name) + (chunk ? ", byte by byte" : ""));
            StreamRun run({}, chunk);
            run.feed(c.command).feed("OK\n").finish();
            EXPECT_EQ(run.interpreter().counters().unknown, 0u) << run.journal();
            EXPECT_FALSE(run.interpreter().counters().truncated);
            ASSERT_EQ(run.pages.size(), 1u);
            EXPECT_LT(ink_box(run.pages[0]).x1, 24) << "only OK prints";
        }
    }
}

struct UnknownCase {
    const char* name;
    std::string stream;
    std::string follows;  // journal text of the command after the unknown byte
};

TEST(CommandTable, UnknownSequenceLeavesAFollowingCommandAlone) {
    const std::vector<UnknownCase> cases = {
        {"lone DC2 before ESC @", B("\x12\x1b\x40"), "ESC @"},
        {"lone DC2 before GS !", B("\x12\x1d\x21\x11"), "GS ! 17"},
        {"lone ESC before DLE EOT", B("\x1b\x10\x04\x01"), "DLE EOT 1"},
        {"lone GS before FS p", B("\x1d\x1c\x70\x01\x00"), "FS p 1"},
        {"lone FS before DC2 T", B("\x1c\x12\x54"), "DC2 T"},
        {"lone DLE before LF", B("\x10\x0a"), "LF"},
        {"lone ESC before CR LF", B("\x1b\x0d\x0a"), "CR LF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StreamRun run;
        run.feed(c.stream).finish();
        EXPECT_EQ(run.interpreter().counters().unknown, 1u);
        const std::string j = run.journal();
        EXPECT_NE(j.find("skipped 1 byte\n"), std::string::npos) << j;
        EXPECT_NE(j.find(c.follows), std::string::npos) << j;
    }
}

}  // namespace
}  // namespace quorvel::printer::test

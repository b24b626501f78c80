// SPDX-License-Identifier: MIT
// Stream interpretation: status replies, unknown, truncated and oversized
// commands, and incremental feeding.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support.h"

namespace quorvel::printer::test {
namespace {

struct StatusCase {
    const char* name;
    PrinterState state;
    std::string query;
    int reply;  // -1: no reply
};

PrinterState with(void (*f)(PrinterState&)) {
    PrinterState s;
    f(s);
    return s;
}

TEST(Status, EachQueryInEachState) {
    const PrinterState clear;
    const auto drawer = with([](PrinterState& s) { s.drawer_open = true; });
    const auto offline = with([](PrinterState& s) { s.offline = true; });
    const auto both = with([](PrinterState& s) { s.offline = true, s.drawer_open = true; });
    const auto near_end = with([](PrinterState& s) { s.paper = Paper::NEAR_END; });
    const auto out = with([](PrinterState& s) { s.paper = Paper::OUT; });
    const auto cover = with([](PrinterState& s) { s.cover_open = true; });
    const auto silent = with([](PrinterState& s) { s.silent = true, s.drawer_open = true; });
    const std::vector<StatusCase> cases = {
        {"clear DLE EOT 1", clear, "\x10\x04\x01", 0x12},
        {"clear DLE EOT 2", clear, "\x10\x04\x02", 0x12},
        {"clear DLE EOT 3", clear, "\x10\x04\x03", 0x12},
        {"clear DLE EOT 4", clear, "\x10\x04\x04", 0x12},
        {"clear GS r 1", clear, "\x1d\x72\x01", 0x00},
        {"clear GS r 2", clear, "\x1d\x72\x02", 0x00},
        {"clear GS r 49", clear, "\x1d\x72\x31", 0x00},
        {"clear ESC v", clear, "\x1b\x76", 0x00},
        {"drawer DLE EOT 1", drawer, "\x10\x04\x01", 0x16},
        {"drawer GS r 2", drawer, "\x1d\x72\x02", 0x01},
        {"drawer GS r 50", drawer, "\x1d\x72\x32", 0x01},
        {"offline DLE EOT 1", offline, "\x10\x04\x01", 0x1A},
        {"offline and drawer DLE EOT 1", both, "\x10\x04\x01", 0x1E},
        {"near end DLE EOT 1", near_end, "\x10\x04\x01", 0x12},
        {"near end DLE EOT 4", near_end, "\x10\x04\x04", 0x1E},
        {"near end GS r 1", near_end, "\x1d\x72\x01", 0x03},
        {"near end ESC v", near_end, "\x1b\x76", 0x03},
        {"paper out DLE EOT 1", out, "\x10\x04\x01", 0x1A},
        {"paper out DLE EOT 2", out, "\x10\x04\x02", 0x72},
        {"paper out DLE EOT 4", out, "\x10\x04\x04", 0x7E},
        {"paper out GS r 1", out, "\x1d\x72\x01", 0x0F},
        {"paper out ESC v", out, "\x1b\x76", 0x0F},
        {"cover open DLE EOT 1", cover, "\x10\x04\x01", 0x1A},
        {"cover open DLE EOT 2", cover, "\x10\x04\x02", 0x56},
        {"silent DLE EOT 1", silent, "\x10\x04\x01", -1},
        {"silent GS r 2", silent, "\x1d\x72\x02", -1},
        {"silent ESC v", silent, "\x1b\x76", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StreamRun run(c.state);
        run.feed(c.query);  // no finish: the answer must not wait for the stream to end
        if (c.reply < 0) {
            EXPECT_TRUE(run.replies.empty());
            continue;
        }
        ASSERT_EQ(run.replies.size(), 1u);
        EXPECT_EQ(run.replies[0], c.reply);
        if (c.query[0] == 0x10) {
            EXPECT_EQ(run.replies[0] & 0x93, 0x12) << "DLE EOT reply must match 0xx1xx10";
        }
    }
}

TEST(Status, DrawerPulseOpensTheDrawerForItsTime) {
    auto now = std::chrono::steady_clock::time_point{};
    PrinterState state;
    state.drawer_open_time = std::chrono::milliseconds(500);
    StatusModel model(state, [&] { return now; });
    EXPECT_EQ(model.gs_r(2), 0x00);
    model.pulse_drawer();
    EXPECT_EQ(model.gs_r(2), 0x01);
    EXPECT_EQ(model.dle_eot(1), 0x16);
    now += std::chrono::milliseconds(499);
    EXPECT_TRUE(model.drawer_open());
    now += std::chrono::milliseconds(1);
    EXPECT_FALSE(model.drawer_open());
    EXPECT_EQ(model.dle_eot(1), 0x12);
}

TEST(Status, EscPThroughTheStreamOpensTheDrawer) {
    StreamRun run;
    run.feed(
        B("\x1d\x72\x02"
          "\x1b\x70\x00\x3c\x78"
          "\x1d\x72\x02"));
    EXPECT_EQ(run.replies, (std::vector<uint8_t>{0x00, 0x01}));
}

TEST(Status, EscVParameterByteIsPartOfTheQuery) {
    StreamRun run;
    run.feed(B("\x1b\x76\x01")).feed("AB\n").finish();
    ASSERT_EQ(run.replies.size(), 1u);
    EXPECT_EQ(run.interpreter().counters().unknown, 0u);
    EXPECT_EQ(run.journal().find("\\x01"), std::string::npos);
    ASSERT_EQ(run.pages.size(), 1u);
    // Only "AB" is printed: two glyph cells wide.
    EXPECT_LE(ink_box(run.pages[0]).x1, 24);
}

TEST(Status, EscVWithoutParameterLeavesTheNextCommandAlone) {
    StreamRun run(with([](PrinterState& s) { s.drawer_open = true; }));
    run.feed(
        "\x1b\x76"
        "\x10\x04\x01");
    EXPECT_EQ(run.replies, (std::vector<uint8_t>{0x00, 0x16}));
}

TEST(Status, AutomaticStatusBackSendsFourBytes) {
    StreamRun run(with([](PrinterState& s) { s.cover_open = true; }));
    run.feed("\x1d\x61\xff");
    ASSERT_EQ(run.replies.size(), 4u);
    EXPECT_EQ(run.replies[0] & 0x93, 0x10);
    EXPECT_TRUE(run.replies[0] & 0x20);
}

// GS a n: the 4-byte group at once, then on each change of a status the mask
// watches, always before the reply of a query that follows.
TEST(Status, AutomaticStatusBackOnEveryWatchedChange) {
    struct Case {
        const char* name;
        std::string stream;
        std::vector<uint8_t> replies;
    };
    const std::string pulse = B("\x1b\x70\x00\x19\x19");
    const std::vector<uint8_t> closed = {0x10, 0, 0, 0}, open = {0x14, 0, 0, 0};
    auto cat = [](std::initializer_list<std::vector<uint8_t>> parts) {
        std::vector<uint8_t> out;
        for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
        return out;
    };
    const std::vector<Case> cases = {
        {"drawer watched, ESC p", B("\x1d\x61\x01") + pulse, cat({closed, open})},
        {"drawer watched, DLE DC4 1", B("\x1d\x61\x01\x10\x14\x01\x00\x01"), cat({closed, open})},
        {"every status watched, two pulses", B("\x1d\x61\xff") + pulse + pulse,
         cat({closed, open})},
        {"group before the query's reply", B("\x1d\x61\x01") + pulse + B("\x10\x04\x01"),
         cat({closed, open, {0x16}})},
        {"online state only: a pulse sends nothing", B("\x1d\x61\x02") + pulse, closed},
        {"switched off again", B("\x1d\x61\x01\x1d\x61\x00") + pulse, closed},
        {"never switched on", pulse + B("\x1d\x72\x02"), {0x01}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StreamRun run;
        run.feed(c.stream);
        EXPECT_EQ(run.replies, c.replies);
        for (size_t i = 0; i + 4 <= run.replies.size(); i += 4)
            EXPECT_EQ(run.replies[i] & 0x93, 0x10) << "group's first byte matches 0xx1xx00";
    }
}

struct BadCase {
    const char* name;
    std::string stream;
    uint64_t unknown;
    bool truncated;
};

TEST(Robustness, UnknownAndTruncatedCommands) {
    const std::vector<BadCase> cases = {
        {"unknown ESC", B("\x1b\xf0"), 1, false},
        {"unknown GS", B("\x1d\xf1"), 1, false},
        {"unknown FS", B("\x1c\xf2"), 1, false},
        {"unknown DLE", B("\x10\x99"), 1, false},
        {"unknown DC2", B("\x12\x01"), 1, false},
        {"stray control byte", B("\x01"), 1, false},
        {"GS k symbology out of range", B("\x1d\x6b\x20"), 1, false},
        {"GS V bad mode", B("\x1d\x56\x07"), 1, false},
        {"lone ESC at the end", B("\x1b"), 0, true},
        {"GS k counted short", B("\x1d\x6b\x49\x10{BAB"), 0, true},
        {"GS k NUL form without NUL",
         B("\x1d\x6b\x04"
           "ABC"),
         0, true},
        {"raster header only", B("\x1d\x76\x30\x00\x10\x00\x10\x00"), 0, true},
        {"raster data short", B("\x1d\x76\x30\x00\x01\x00\x04\x00\xff"), 0, true},
        {"ESC Z data short",
         B("\x1d\x5a\x02\x1b\x5a\x32\x4d\x04\x05\x00"
           "ab"),
         0, true},
        {"GS ( k short", B("\x1d\x28\x6b\x10\x00\x31\x50\x30"), 0, true},
        {"FS q image cut", B("\x1c\x71\x01\x01\x00\x01\x00\xff"), 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StreamRun run;
        // What follows a complete unknown command must still print.
        run.feed(c.stream);
        if (!c.truncated) run.feed("OK\n");
        run.finish();
        const auto& k = run.interpreter().counters();
        EXPECT_EQ(k.unknown, c.unknown);
        EXPECT_EQ(k.truncated, c.truncated);
        if (c.truncated) {
            EXPECT_NE(run.journal().find("ended inside"), std::string::npos);
        } else {
            ASSERT_EQ(run.pages.size(), 1u);
            EXPECT_EQ(ink_box(run.pages[0]).x1 < 24, true) << "OK is two cells wide";
            EXPECT_NE(run.journal().find("unknown"), std::string::npos);
        }
    }
}

TEST(Robustness, OversizedPayloadsAreSkippedWithoutBeingHeld) {
    struct Case {
        const char* name;
        std::string header;
        size_t payload;
    };
    const std::vector<Case> cases = {
        {"raster 65535 x 64", B("\x1d\x76\x30\x00\xff\xff\x40\x00"), 65535u * 64},
        {"ESC Z over the symbol cap", B("\x1d\x5a\x02\x1b\x5a\x32\x4d\x04\xff\xff"), 65535},
        {"GS 8 L graphics", B("\x1d\x38\x4c\x00\x00\x20\x00"), 0x200000},
        {"GS * image", B("\x1d\x2a\xff\xff"), 255u * 255 * 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StreamRun run;
        run.feed(c.header);
        const std::string chunk(8192, '\x55');
        size_t left = c.payload, peak = 0;
        while (left > 0) {
            const size_t k = std::min(left, chunk.size());
            run.feed(std::string_view(chunk).substr(0, k));
            peak = std::max(peak, run.interpreter().buffered());
            left -= k;
        }
        run.feed("OK\n").finish();
        EXPECT_LT(peak, 16384u);
        EXPECT_GE(run.interpreter().counters().skipped_bytes, c.payload);
        EXPECT_FALSE(run.interpreter().counters().truncated);
        ASSERT_EQ(run.pages.size(), 1u) << "the text after the skipped data prints";
        EXPECT_LT(ink_box(run.pages[0]).x1, 24);
    }
}

TEST(Robustness, ReceiptHeightIsCapped) {
    StreamRun run;
    std::string s;
    for (int i = 0; i < 2000; ++i) s += "line\n";
    run.feed(s).finish();
    ASSERT_EQ(run.pages.size(), 1u);
    EXPECT_LE(run.pages[0].height(), RenderLimits{}.max_page_height);
    EXPECT_NE(run.journal().find("height cap"), std::string::npos);
}

// Past the height cap nothing more is drawn up to the cut, and symbols are
// not even encoded; after the cut the next receipt prints in full.
TEST(Robustness, NothingIsMadePastTheHeightCap) {
    StreamRun run;
    std::string s;
    for (int i = 0; i < 1200; ++i) s += "line\n";  // 36000 dots: over the cap
    s +=
        B("\x1d\x28\x6b\x08\x00\x31\x50\x30"
          "hello\x1d\x28\x6b\x03\x00\x31\x51\x30");
    s += B("\x1d\x6b\x49\x04{BAB") + "short\n" + B("\x1d\x56\x00");
    s += B("\x1d\x28\x6b\x03\x00\x31\x51\x30\x1d\x56\x00");
    run.feed(s).finish();
    ASSERT_EQ(run.pages.size(), 2u);
    EXPECT_LE(run.pages[0].height(), RenderLimits{}.max_page_height);
    const std::string j = run.journal();
    EXPECT_NE(j.find("QR Code not drawn: the receipt is at its height cap"), std::string::npos);
    EXPECT_NE(j.find("CODE128: not drawn, receipt at its height cap"), std::string::npos) << j;
    const auto found = decode_pages({run.pages[1]});
    ASSERT_EQ(found.size(), 1u) << "the stored QR Code prints on the next receipt";
    EXPECT_EQ(found[0].data, "hello");
}

TEST(Robustness, NulFormBarcodeWithoutNulIsDropped) {
    StreamRun run;
    run.feed("\x1d\x6b\x04" + std::string(300, 'A') + "\n").finish();
    EXPECT_EQ(run.interpreter().counters().rejected, 1u);
    EXPECT_FALSE(run.interpreter().counters().truncated);
}

// A stream touching most commands, fed whole and fed in small pieces, must
// give the same pages and the same journal.
std::string mixed_stream() {
    std::string s =
        B("\x1b\x40\x1b\x61\x01\x1b\x33\x28\x1b\x74\x10\x1b\x21\x30"
          "CAF\xc9\n");
    s +=
        B("\x1b\x40\x1b\x45\x01\x1b\x4d\x01"
          "Fonte B\x09tab\n");
    s +=
        B("\x1d\x42\x01 reverso \x1d\x42\x00\x1b\x7b\x01"
          "invertido\n\x1b\x7b\x00");
    s +=
        B("\x1d\x77\x02\x1d\x68\x40\x1d\x48\x02\x1d\x6b\x02"
          "789123456789\x00\n");
    s += B("\x1d\x6b\x49\x0a{BAB{C\x0c\x22\x38\x4e") + "\r\n";
    s += B("\x1d\x28\x6b\x04\x00\x31\x41\x32\x00\x1d\x28\x6b\x03\x00\x31\x43\x04");
    s += B("\x1d\x28\x6b\x08\x00\x31\x50\x30"
           "hello") +
         B("\x1d\x28\x6b\x03\x00\x31\x51\x30");
    s +=
        B("\x1d\x5a\x01\x1b\x5a\x00\x00\x03\x05\x00"
          "hello");
    s += B("\x1d\x76\x30\x00\x02\x00\x02\x00\xf0\x0f\x0f\xf0");
    s += B("\x1b\x2a\x21\x02\x00\xff\x00\xff\x00\xff\x00\n");
    s +=
        B("\x1b\x64\x03\x1c\x70\x01\x00\x1d\x56\x00"
          "after cut\n");
    s += B("\x10\x04\x01\x1b\x76\x01\x1d\x72\x02");
    return s;
}

TEST(Incremental, ChunkingDoesNotChangeTheResult) {
    const std::string s = mixed_stream();
    StreamRun whole;
    whole.feed(s).finish();
    ASSERT_EQ(whole.pages.size(), 2u);
    EXPECT_EQ(whole.interpreter().counters().unknown, 0u);
    for (size_t chunk : {1u, 2u, 3u, 7u, 64u}) {
        SCOPED_TRACE(chunk);
        StreamRun split({}, chunk);
        split.feed(s).finish();
        ASSERT_EQ(split.pages.size(), whole.pages.size());
        for (size_t i = 0; i < whole.pages.size(); ++i) {
            ASSERT_EQ(split.pages[i].height(), whole.pages[i].height());
            for (int y = 0; y < whole.pages[i].height(); ++y)
                ASSERT_EQ(0, std::memcmp(split.pages[i].row(y), whole.pages[i].row(y),
                                         whole.pages[i].stride()));
        }
        EXPECT_EQ(split.replies, whole.replies);
        // Text runs may be journaled in pieces; every command line is the same.
        auto commands = [](const std::string& j) {
            std::string out;
            size_t at = 0;
            while (at < j.size()) {
                const size_t end = j.find('\n', at);
                const std::string line = j.substr(at, end - at);
                if (line.find("TEXT") == std::string::npos) out += line + "\n";
                at = end + 1;
            }
            return out;
        };
        EXPECT_EQ(commands(split.journal()), commands(whole.journal()));
    }
}

TEST(Journal, LineFormat) {
    StreamRun run;
    run.feed("\x1b\x61\x01").feed("\x1d\x6b\x49\x0c{BABCDEFGHIJ").finish();
    const std::string j = run.journal();
    EXPECT_NE(j.find("00000000  1B 61 01                   ESC a 1     justification: centre\n"),
              std::string::npos)
        << j;
    // Long commands are cut after eight bytes with an ellipsis.
    EXPECT_NE(j.find("00000003  1D 6B 49 0C 7B 42 41 42 …  GS k 73"), std::string::npos) << j;
}

// The journal rotates past its bound, but only a regular file: a device or a
// FIFO given as the journal (/dev/null, a pipe) must never be renamed.
TEST(JournalRotation, OnlyRegularFilesAreMovedAside) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("qvp-journal-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    struct Case {
        const char* name;
        bool fifo;
        bool rotated;
    };
    for (const Case c : {Case{"regular file", false, true}, Case{"fifo", true, false}}) {
        SCOPED_TRACE(c.name);
        const fs::path path = dir / c.name;
        int reader = -1;
        if (c.fifo) {
            ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
            reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);  // so the writer can open
            ASSERT_GE(reader, 0);
        }
        Journal journal(nullptr);
        std::string error;
        ASSERT_TRUE(journal.open(path.string(), 1000, &error)) << error;
        for (int i = 0; i < 100; ++i)
            journal.note(std::string(50, 'x'));  // 5 KB, under a pipe's buffer
        journal.flush();
        EXPECT_EQ(fs::exists(dir / (std::string(c.name) + ".1")), c.rotated);
        EXPECT_EQ(fs::is_fifo(path), c.fifo) << "the journal's own path is still what it was";
        if (!c.fifo) {
            EXPECT_LE(fs::file_size(path), 1000u + 53u);
        }
        if (reader >= 0) ::close(reader);
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace quorvel::printer::test

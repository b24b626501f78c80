// SPDX-License-Identifier: MIT
// Characters as the head prints them: code tables against iconv, national
// characters, glyphs fitted to the 12x24 and 9x17 cells, box drawing that
// joins up, scaled sizes, boxes for what no font has, and a line buffer
// bounded by the width of the line.
#include <gtest/gtest.h>
#include <iconv.h>

#include "paper/codepage.h"
#include "support.h"

namespace quorvel::printer::test {
namespace {

// The test's own reading of a byte through iconv.
char32_t iconv_char(const char* codeset, uint8_t byte) {
    const iconv_t cd = iconv_open("UTF-32LE", codeset);
    if (cd == reinterpret_cast<iconv_t>(-1)) return 0xFFFFFFFF;
    char in[1] = {static_cast<char>(byte)};
    char32_t out[4] = {};
    char *ip = in, *op = reinterpret_cast<char*>(out);
    size_t il = 1, ol = sizeof out;
    const bool ok = iconv(cd, &ip, &il, &op, &ol) != static_cast<size_t>(-1);
    if (ok) iconv(cd, nullptr, nullptr, &op, &ol);
    iconv_close(cd);
    return ok && ol < sizeof out ? out[0] : NO_CHARACTER;
}

struct TableCase {
    int number;
    const char* codeset;  // nullptr: a hand table
    // Characters from the published chart, checked whatever the source.
    std::vector<std::pair<uint8_t, char32_t>> chart;
};

const std::vector<TableCase>& table_cases() {
    static const std::vector<TableCase> cases = {
        {0, "CP437", {{0x80, U'Ç'}, {0xE1, U'ß'}, {0xC9, U'╔'}}},
        {1, nullptr, {{0xB1, U'ｱ'}, {0xDF, U'ﾟ'}, {0x95, U'─'}, {0xE8, U'♠'}, {0xF1, U'円'}}},
        {2, "CP850", {{0x9B, U'ø'}, {0xD5, U'ı'}}},
        {3, "CP860", {{0x84, U'ã'}, {0x8E, U'Ã'}}},
        {4, "CP863", {{0x84, U'Â'}, {0x8D, U'‗'}}},
        {5, "CP865", {{0x9B, U'ø'}, {0x9D, U'Ø'}}},
        {11, "CP851", {{0x86, U'Ά'}}},
        {12, nullptr, {{0x98, U'İ'}, {0xA6, U'Ğ'}, {0x9B, U'ĝ'}, {0xF2, U'ℓ'}, {0xAA, 0}}},
        {13, "CP857", {{0x98, U'İ'}, {0xA6, U'Ğ'}}},
        {14, "CP737", {{0x80, U'Α'}, {0xE0, U'ω'}}},
        {15, "ISO-8859-7", {{0xC1, U'Α'}, {0xF9, U'ω'}}},
        {16, "CP1252", {{0x80, U'€'}, {0xE1, U'á'}, {0x81, 0}}},
        {17, "CP866", {{0x80, U'А'}, {0xEF, U'я'}}},
        {18, "CP852", {{0x85, U'ů'}, {0xA5, U'ą'}}},
        {19, "CP858", {{0xD5, U'€'}, {0x9B, U'ø'}}},
        {20, "TIS-620", {{0xA1, U'ก'}, {0xEF, U'๏'}}},
        {26, "TIS-620", {{0xA1, U'ก'}}},
        {30, "TCVN5712-1", {{0xB5, U'à'}, {0xA8, U'ă'}}},
        {31, "TCVN5712-1", {{0xAE, U'đ'}}},
        {32, nullptr, {{0x98, U'ء'}, {0xE0, U'ض'}, {0xB0, U'░'}, {0x80, 0}}},
        {33, "CP775", {{0x80, U'Ć'}, {0xE0, U'Ó'}}},
        {34, "CP855", {{0x80, U'ђ'}, {0xB5, U'х'}}},
        {35, "CP861", {{0x8B, U'Ð'}, {0x8C, U'ð'}}},
        {36, "CP862", {{0x80, U'א'}, {0x9A, U'ת'}}},
        {37, "CP864", {{0xC7, U'ﺍ'}, {0xB0, U'٠'}}},
        {38, "CP869", {{0x86, U'Ά'}}},
        {39, "ISO-8859-2", {{0xA1, U'Ą'}, {0xF8, U'ř'}, {0x85, 0}}},
        {40, "ISO-8859-15", {{0xA4, U'€'}, {0xBC, U'Œ'}}},
        {42, "CP774", {{0xB5, U'Ą'}, {0xD0, U'ą'}}},
        {43, "CP772", {{0x80, U'А'}, {0xB5, U'Ą'}}},
        {44, "CP1125", {{0xF2, U'Ґ'}, {0xF3, U'ґ'}}},
        {45, "CP1250", {{0x8A, U'Š'}, {0xE8, U'č'}}},
        {46, "CP1251", {{0xC0, U'А'}, {0xFF, U'я'}}},
        {47, "CP1253", {{0xC1, U'Α'}, {0xF9, U'ω'}}},
        {48, "CP1254", {{0xD0, U'Ğ'}, {0xFD, U'ı'}}},
        {49, "CP1255", {{0xE0, U'א'}, {0xFA, U'ת'}}},
        {50, "CP1256", {{0xC7, U'ا'}, {0x81, U'پ'}}},
        {51, "CP1257", {{0xC0, U'Ą'}, {0xE8, U'č'}}},
        {52, "CP1258", {{0xC3, U'Ă'}, {0xF5, U'ơ'}}},
        {53, "RK1048", {{0xC0, U'А'}, {0xFF, U'я'}}},
    };
    return cases;
}

TEST(CodeTables, EveryTableMatchesIconvAndThePublishedChart) {
    for (const auto& c : table_cases()) {
        SCOPED_TRACE("ESC t " + std::to_string(c.number));
        ASSERT_TRUE(code_table_known(c.number));
        for (const auto& [byte, cp] : c.chart)
            EXPECT_EQ(static_cast<uint32_t>(to_unicode(c.number, 0, byte)),
                      static_cast<uint32_t>(cp))
                << "byte " << static_cast<int>(byte);
        // ASCII prints as ASCII in every table but for PC864's percent sign.
        for (uint8_t b : {'A', 'z', '0', '#', '~'})
            EXPECT_EQ(static_cast<uint32_t>(to_unicode(c.number, 0, b)), b);
        if (!c.codeset) continue;
        // A table built from iconv agrees with it on every byte of the upper half.
        const uint8_t from = c.number == 1 ? 0xA1 : 0x80, to = c.number == 1 ? 0xDF : 0xFF;
        // (Control characters, such as the C1 controls of ISO 8859, print nothing.)
        for (int b = from; b <= to; ++b) {
            char32_t expect = iconv_char(c.codeset, static_cast<uint8_t>(b));
            if (expect < 0x20 || (expect >= 0x7F && expect < 0xA0)) expect = NO_CHARACTER;
            ASSERT_EQ(static_cast<uint32_t>(to_unicode(c.number, 0, static_cast<uint8_t>(b))),
                      static_cast<uint32_t>(expect))
                << "byte " << b;
        }
    }
}

TEST(CodeTables, HandTablesHoldEachCharacterOnceAndLeaveControlsEmpty) {
    for (int n : {1, 12, 32}) {
        SCOPED_TRACE("ESC t " + std::to_string(n));
        std::vector<char32_t> seen;
        for (int b = 0x80; b <= 0xFF; ++b) {
            const char32_t cp = to_unicode(n, 0, static_cast<uint8_t>(b));
            if (cp == NO_CHARACTER || cp == 0xA0) continue;
            EXPECT_TRUE(std::find(seen.begin(), seen.end(), cp) == seen.end())
                << "U+" << std::hex << static_cast<uint32_t>(cp) << " twice";
            EXPECT_FALSE(cp >= 0x80 && cp < 0xA0) << "a C1 control at byte " << b;
            seen.push_back(cp);
        }
    }
    for (uint8_t b : {0x00, 0x0A, 0x1B, 0x7F})
        EXPECT_EQ(static_cast<uint32_t>(to_unicode(0, 0, b)), 0u) << static_cast<int>(b);
}

TEST(CodeTables, PagesNotKeptAreNotSelectable) {
    for (int n : {6, 7, 8, 9, 10, 27, 41, 54, 254, 255}) EXPECT_FALSE(code_table_known(n)) << n;
    // Every listed table the system's iconv has is there.
    int available = 0;
    for (const auto& t : code_tables()) available += t.available;
    EXPECT_EQ(available, static_cast<int>(code_tables().size()));
    EXPECT_TRUE(load_code_tables().empty());
}

TEST(CodeTables, NationalCharactersReplaceTheTwelvePositions) {
    struct Case {
        int set;
        uint8_t byte;
        char32_t cp;
    };
    const std::vector<Case> cases = {
        {0, '#', U'#'},   {1, '@', U'à'},  {1, '~', U'¨'},  {2, '[', U'Ä'},  {2, '~', U'ß'},
        {3, '#', U'£'},   {4, '|', U'ø'},  {5, '$', U'¤'},  {6, '`', U'ù'},  {7, '#', U'₧'},
        {8, '\\', U'¥'},  {9, '@', U'É'},  {10, '~', U'ü'}, {11, '@', U'á'}, {12, '`', U'ü'},
        {13, '\\', U'₩'}, {14, '@', U'Ž'}, {14, '~', U'č'}, {15, '$', U'¥'}, {16, '$', U'₫'},
        {17, '[', U'['},  {2, 'A', U'A'},  {2, '%', U'%'}};
    for (const auto& c : cases) {
        SCOPED_TRACE("ESC R " + std::to_string(c.set) + " byte " + std::to_string(c.byte));
        EXPECT_TRUE(international_known(c.set));
        EXPECT_EQ(static_cast<uint32_t>(to_unicode(0, c.set, c.byte)), static_cast<uint32_t>(c.cp));
        // The upper half stays the code table's.
        EXPECT_EQ(static_cast<uint32_t>(to_unicode(16, c.set, 0xE9)), static_cast<uint32_t>(U'é'));
    }
    EXPECT_FALSE(international_known(18));
    const std::string german = "[\\]{|}~";
    EXPECT_EQ(to_utf8({reinterpret_cast<const uint8_t*>(german.data()), german.size()}, 0, 2),
              "ÄÖÜäöüß");
    const uint8_t mixed[] = {'a', 0x80, 0x81, 0x1B};
    EXPECT_EQ(to_utf8(mixed, 16, 0), "a€\uFFFD\uFFFD");
}

// Whether the page holds `expect` at (x_from, 0), dot for dot.
bool same_cells(const Bitmap& page, const Bitmap& expect, int x_from) {
    for (int y = 0; y < expect.height(); ++y)
        for (int x = 0; x < expect.width(); ++x)
            if (page.get(x_from + x, y) != expect.get(x, y)) return false;
    return true;
}

Bitmap print(const std::string& stream, std::string* journal = nullptr) {
    StreamRun run;
    run.feed(stream).finish();
    if (journal) *journal = run.journal();
    return run.pages.empty() ? Bitmap() : run.pages[0];
}

TEST(Characters, TheSelectedTableAndSetDecideTheGlyph) {
    struct Case {
        const char* name;
        std::string stream;  // prints one character first on the line
        char32_t cp;
    };
    const std::vector<Case> cases = {
        {"PC866", B("\x1bt\x11\x8f\n"), U'П'},
        {"ISO 8859-7", B("\x1bt\x0f\xd3\n"), U'Σ'},
        {"PC862 from the fallback font", B("\x1bt\x24\x80\n"), U'א'},
        {"WPC1252 euro", B("\x1bt\x10\x80\n"), U'€'},
        {"ESC R Germany", B("\x1bR\x02[\n"), U'Ä'},
        {"ESC R with another table", B("\x1bR\x02\x1bt\x11~\n"), U'ß'},
        {"unknown ESC t keeps the table", B("\x1bt\x11\x1bt\x07\x8f\n"), U'П'},
        {"unknown ESC R keeps the set", B("\x1bR\x03\x1bR\x63#\n"), U'£'},
        {"ESC @ back to PC437 and USA", B("\x1bt\x11\x1bR\x02\x1b@\x8f[\n"), U'Å'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Glyph& g = FontSet::shared().glyph(0, c.cp);
        EXPECT_FALSE(g.missing);
        EXPECT_TRUE(same_cells(print(c.stream), g.bitmap, 0));
    }
}

TEST(Characters, WhatNoFontHasIsABoxCountedInTheJournal) {
    struct Case {
        const char* name;
        std::string stream;
        const char* journal;
        long boxes;
    };
    const std::vector<Case> cases = {
        {"kanji of the katakana page", B("\x1bt\x01\xf1\xf2\xf1\n"), "3 character(s)", 3},
        {"the kanji's code point", B("\x1bt\x01\xf1\n"), "U+5186 x1", 1},
        {"a byte empty in its table", B("\x1bt\x20\x80\n"), "byte 80 (empty in PC720) x1", 1},
        {"on each page", B("\x1bt\x01\xf1\x1dV\x00\xf1\xf1\n"), "2 character(s)", 3},
        {"plain text", "plain text\n", nullptr, 0},
    };
    const Glyph& box = FontSet::shared().glyph(0, NO_CHARACTER);
    EXPECT_TRUE(box.missing);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StreamRun run;
        run.feed(c.stream).finish();
        ASSERT_FALSE(run.pages.empty());
        const std::string journal = run.journal();
        EXPECT_EQ(run.session().renderer().missing_glyphs(), c.boxes);
        EXPECT_EQ(same_cells(run.pages[0], box.bitmap, 0), c.boxes > 0);
        if (!c.journal) {
            EXPECT_EQ(journal.find("no font has"), std::string::npos) << journal;
            continue;
        }
        EXPECT_NE(journal.find("no font has, drawn as boxes"), std::string::npos) << journal;
        EXPECT_NE(journal.find(c.journal), std::string::npos) << journal;
    }
}

TEST(Characters, EveryCharacterOfEveryTableHasAGlyph) {
    // Only the kanji of the katakana page are in no font on the system.
    const std::u32string kanji = U"円年月日時分秒〒市区町村人";
    for (const auto& t : code_tables()) {
        SCOPED_TRACE(t.name);
        for (int font = 0; font < 2; ++font)
            for (int b = 0x20; b <= 0xFF; ++b) {
                const char32_t cp = to_unicode(t.number, 0, static_cast<uint8_t>(b));
                if (cp == NO_CHARACTER || kanji.find(cp) != std::u32string::npos) continue;
                EXPECT_FALSE(FontSet::shared().glyph(font, cp).missing)
                    << "font " << font << " byte " << b << " U+" << std::hex
                    << static_cast<uint32_t>(cp);
            }
    }
}

TEST(Characters, GlyphsFillTheirCellWhateverTheStrike) {
    struct Case {
        const char* name;
        FontPaths paths;
        int font;
        const char* strike;  // as the description reports it
    };
    const std::string misc = "/usr/share/fonts/X11/misc/";
    const std::vector<Case> cases = {
        {"default font A", {}, 0, "12x24 strike in a 12x24 cell"},
        {"default font B", {}, 1, "9x15 strike in a 9x17 cell"},
        {"a smaller strike for A", {misc + "10x20.pcf.gz", ""}, 0, "10x20 strike in a 12x24 cell"},
        {"a larger strike for B", {"", misc + "10x20.pcf.gz"}, 1, "10x20 strike in a 9x17 cell"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const FontSet fonts(c.paths);
        ASSERT_EQ(fonts.error(), "");
        EXPECT_NE(fonts.description(c.font).find(c.strike), std::string::npos)
            << fonts.description(c.font);
        for (char32_t cp : {U'M', U'g', U'Ж', U'Ω'}) {
            const Glyph& g = fonts.glyph(c.font, cp);
            EXPECT_FALSE(g.missing);
            EXPECT_EQ(g.bitmap.width(), FontSet::CELL_W[c.font]);
            EXPECT_EQ(g.bitmap.height(), FontSet::CELL_H[c.font]);
            const Box ink = ink_box(g.bitmap);
            ASSERT_FALSE(ink.empty());
            // A glyph, not a box and not a sliver: it spans much of the cell.
            EXPECT_GE(ink.width(), FontSet::CELL_W[c.font] / 2);
            EXPECT_GE(ink.height(), FontSet::CELL_H[c.font] / 3);
        }
    }
}

TEST(Characters, SizesScaleTheDotsOfTheCell) {
    struct Case {
        const char* name;
        std::string mode;
        int font, w, h;
    };
    const std::vector<Case> cases = {
        {"ESC ! double height", B("\x1b!\x10"), 0, 1, 2},
        {"ESC ! double width", B("\x1b!\x20"), 0, 2, 1},
        {"ESC ! both, font B", B("\x1b!\x31"), 1, 2, 2},
        {"GS ! 3x3", B("\x1d!\x22"), 0, 3, 3},
        {"GS ! 8 wide", B("\x1d!\x70"), 0, 8, 1},
        {"GS ! 1x8, font B", B("\x1bM\x01\x1d!\x07"), 1, 1, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const std::string& ch : {std::string("W"), std::string("g"), B("\x1bt\x11\x96")}) {
            const std::string font = c.font ? B("\x1bM\x01") : "";
            const Bitmap one = print(font + ch + "\n");
            const Bitmap big = print(c.mode + ch + "\n");
            const int cw = FontSet::CELL_W[c.font], chh = FontSet::CELL_H[c.font];
            ASSERT_GE(big.height(), chh * c.h);
            // Every dot of the cell became a w x h block: no other strike, no smoothing.
            int differ = 0;
            for (int y = 0; y < chh * c.h; ++y)
                for (int x = 0; x < cw * c.w; ++x)
                    differ += big.get(x, y) != one.get(x / c.w, y / c.h);
            EXPECT_EQ(differ, 0);
            EXPECT_EQ(ink_box(big).x1 < cw * c.w, true);
        }
    }
}

TEST(Characters, BoxDrawingJoinsAcrossCellsAndLines) {
    struct Case {
        const char* name;
        int font;
        int spacing;
        std::string top, middle, bottom;  // PC437 bytes
        bool joined;
    };
    const std::string light_top = B("\xda\xc4\xc4\xc2\xc4\xbf"), light_mid = B("\xb3  \xb3 \xb3"),
                      light_bot = B("\xc0\xc4\xc4\xc1\xc4\xd9");
    const std::string dbl_top = B("\xc9\xcd\xcd\xcb\xcd\xbb"), dbl_mid = B("\xba  \xba \xba"),
                      dbl_bot = B("\xc8\xcd\xcd\xca\xcd\xbc");
    const std::vector<Case> cases = {
        {"light, font A", 0, 24, light_top, light_mid, light_bot, true},
        {"double, font A", 0, 24, dbl_top, dbl_mid, dbl_bot, true},
        {"light, font B", 1, 17, light_top, light_mid, light_bot, true},
        {"double, font B", 1, 17, dbl_top, dbl_mid, dbl_bot, true},
        {"blocks, font A", 0, 24, B("\xdb\xdb\xdb"), B("\xdb\xdb\xdb"), B("\xdb\xdb\xdb"), true},
        {"light, default spacing leaves gaps", 0, 30, light_top, light_mid, light_bot, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string font = c.font ? B("\x1bM\x01") : "";
        const Bitmap page = print(font + B("\x1b\x33") + static_cast<char>(c.spacing) + c.top +
                                  "\n" + c.middle + "\n" + c.bottom + "\n");
        const int cw = FontSet::CELL_W[c.font], ch = FontSet::CELL_H[c.font];
        const int cells = static_cast<int>(c.top.size());
        // The left vertical line: an inked column of the middle line's first cell.
        int xv = -1;
        for (int x = 0; x < cw && xv < 0; ++x)
            if (page.get(x, c.spacing + ch / 2)) xv = x;
        ASSERT_GE(xv, 0);
        int gaps = 0;
        for (int y = ch / 2 + 3; y <= 2 * c.spacing + ch / 2 - 3; ++y) gaps += !page.get(xv, y);
        // The top line: an inked row of the second cell.
        int yh = -1;
        for (int y = 0; y < ch && yh < 0; ++y)
            if (page.get(cw + cw / 2, y)) yh = y;
        ASSERT_GE(yh, 0);
        for (int x = cw / 2 + 3; x <= (cells - 1) * cw + cw / 2 - 3; ++x) gaps += !page.get(x, yh);
        EXPECT_EQ(gaps == 0, c.joined) << gaps << " gaps";
    }
}

TEST(Characters, TextPutOverTextReplacesItAndTheLineStaysBounded) {
    struct Case {
        const char* name;
        std::string repeat;  // sent over and over without a line feed
        size_t max_items;
    };
    const std::string line47(47, 'x');
    const std::vector<Case> cases = {
        {"ESC $ to the start", B("\x1b$\x00\x00") + line47, 576 / 12},
        {"ESC $ to odd dots", B("\x1b$\x05\x00") + "ab" + B("\x1b$\x0b\x00") + "cd", 576 / 12},
        {"ESC \\ back", std::string("abcdef") + B("\x1b\\\xb8\xff"), 576 / 12},
        {"tabs and ESC $", B("\tq\x1b$\x00\x00\t"), 576 / 12},
        {"bit images", B("\x1b$\x00\x00\x1b*\x00\x03\x00\xff\x81\xff"), 576 / 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StreamRun run;
        size_t most = 0;
        for (int i = 0; i < 20000; ++i) {
            run.feed(c.repeat);
            most = std::max(most, run.session().renderer().line_items());
        }
        EXPECT_LE(most, c.max_items);
        EXPECT_GT(most, 0u);
    }
    // What was put last is what prints.
    const Bitmap page = print(B("AAAA\x1b$\x00\x00") + "BB\n");
    const Bitmap& a = FontSet::shared().glyph(0, U'A').bitmap;
    const Bitmap& b = FontSet::shared().glyph(0, U'B').bitmap;
    EXPECT_TRUE(same_cells(page, b, 12));
    EXPECT_TRUE(same_cells(page, a, 24));
}

}  // namespace
}  // namespace quorvel::printer::test

// SPDX-License-Identifier: MIT
// Text layout on the page: justification, character sizes, line spacing,
// upside-down and reverse printing, code tables.
#include <gtest/gtest.h>

#include "support.h"

namespace quorvel::printer::test {
namespace {

Bitmap render(const std::string& stream) {
    StreamRun run;
    run.feed(stream).finish();
    EXPECT_EQ(run.pages.size(), 1u);
    return run.pages.empty() ? Bitmap() : run.pages[0];
}

TEST(Layout, JustificationPlacesTheLine) {
    struct Case {
        const char* name;
        char j;
        int cells;  // cell width of the text in dots
        int expect_left;
    };
    // "MMMM" in font A is 48 dots; in double width 96.
    const std::vector<Case> cases = {
        {"left", 0, 48, 0},
        {"centre", 1, 48, (576 - 48) / 2},
        {"right", 2, 48, 576 - 48},
        {"centre ASCII digit", '1', 48, (576 - 48) / 2},
        {"right double width", 2, 96, 576 - 96},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string s = B("\x1b\x61") + c.j;
        if (c.cells == 96) s += B("\x1d\x21\x10");
        const Bitmap page = render(s + "MMMM\n");
        const Box box = ink_box(page);
        ASSERT_FALSE(box.empty());
        // The ink lies inside the text's cells, and the cells start where expected.
        EXPECT_GE(box.x0, c.expect_left);
        EXPECT_LT(box.x0, c.expect_left + 4 * (c.cells / 48));
        EXPECT_LE(box.x1, c.expect_left + c.cells - 1);
        EXPECT_GT(box.x1, c.expect_left + c.cells - 4 * (c.cells / 48) - 1);
    }
}

// Advance of one character: the ink of "MM" minus the ink of "M".
int advance(const std::string& setup) {
    const Box one = ink_box(render(setup + "M\n"));
    const Box two = ink_box(render(setup + "MM\n"));
    return two.x1 - one.x1;
}

TEST(Layout, CharacterAdvance) {
    struct Case {
        const char* name;
        std::string setup;
        int advance;
    };
    const std::vector<Case> cases = {
        {"font A", "", 12},
        {"font B", B("\x1b\x4d\x01"), 9},
        {"ESC ! double width", B("\x1b\x21\x20"), 24},
        {"GS ! width x2", B("\x1d\x21\x10"), 24},
        {"GS ! width x4", B("\x1d\x21\x30"), 48},
        {"font B double width", B("\x1b\x21\x21"), 18},
        {"character spacing 3", B("\x1b\x20\x03"), 15},
        {"double height keeps the advance", B("\x1b\x21\x10"), 12},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(advance(c.setup), c.advance);
    }
}

TEST(Layout, CharacterHeight) {
    struct Case {
        const char* name;
        std::string setup;
        int max_height;
        int min_height;
    };
    const std::vector<Case> cases = {
        {"font A", "", 24, 14},
        {"font B", B("\x1b\x4d\x01"), 17, 9},
        {"double height", B("\x1b\x21\x10"), 48, 28},
        {"GS ! height x3", B("\x1d\x21\x02"), 72, 42},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Box box = ink_box(render(c.setup + "M\n"));
        EXPECT_LE(box.height(), c.max_height);
        EXPECT_GE(box.height(), c.min_height);
    }
}

TEST(Layout, LineSpacingMovesTheNextLine) {
    for (int n : {30, 40, 64, 100}) {
        SCOPED_TRACE(n);
        const Bitmap page = render(B("\x1b\x33") + static_cast<char>(n) + "M\nM\n");
        const Box first = ink_box(page, 0, n);
        const Box second = ink_box(page, n, page.height());
        EXPECT_EQ(second.y0 - first.y0, n);
    }
    // A spacing below the character height feeds by the character height.
    const Bitmap tight = render(B("\x1b\x33\x0a") + "M\nM\n");
    EXPECT_EQ(tight.height(), 48);
}

TEST(Layout, UpsideDownRotatesTheLine) {
    const Bitmap normal = render("Ab1\n");
    const Bitmap turned = render(B("\x1b\x7b\x01") + "Ab1\n");
    ASSERT_EQ(normal.height(), turned.height());
    const int h = 24;  // the line band; the rest is line feed
    size_t ink = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < PRINT_WIDTH; ++x) {
            ASSERT_EQ(turned.get(x, y), normal.get(PRINT_WIDTH - 1 - x, h - 1 - y))
                << x << "," << y;
            ink += normal.get(x, y);
        }
    EXPECT_GT(ink, 50u);
}

TEST(Layout, ReverseFillsTheCellAndKeepsTheGlyphWhite) {
    const Bitmap normal = render("A\n");
    const Bitmap reversed = render(B("\x1d\x42\x01") + "A\n");
    const Box box = ink_box(reversed);
    EXPECT_EQ(box.x0, 0);
    EXPECT_EQ(box.width(), 12);
    EXPECT_EQ(box.height(), 24);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 12; ++x)
            ASSERT_NE(normal.get(x, y), reversed.get(x, y)) << x << "," << y;
}

TEST(Layout, EmphasisAndUnderlineAddInk) {
    const size_t plain = render("Hello\n").count_black();
    EXPECT_GT(render(B("\x1b\x45\x01") + "Hello\n").count_black(), plain);
    const Bitmap under = render(B("\x1b\x2d\x02") + "Hello\n");
    // Two full rows under the five cells.
    for (int y = 22; y < 24; ++y)
        for (int x = 0; x < 60; ++x) ASSERT_TRUE(under.get(x, y)) << x << "," << y;
    const Bitmap mode_under = render(B("\x1b\x21\x80") + "Hello\n");
    for (int x = 0; x < 60; ++x) ASSERT_TRUE(mode_under.get(x, 23));
    EXPECT_FALSE(mode_under.get(0, 22));
}

TEST(Layout, CodeTablesSelectDifferentGlyphs) {
    // 0xE1 is a-acute in Windows-1252 and sharp s in PC437.
    const Bitmap a_acute = render(B("\x1b\x74\x10") + "\xe1\n");
    const Bitmap sharp_s = render(B("\x1b\x74\x00") + "\xe1\n");
    const Bitmap plain_a = render("a\n");
    auto same = [](const Bitmap& p, const Bitmap& q) {
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 12; ++x)
                if (p.get(x, y) != q.get(x, y)) return false;
        return true;
    };
    EXPECT_FALSE(same(a_acute, sharp_s));
    EXPECT_FALSE(same(a_acute, plain_a));
    // The accent sits above the letter: more ink above the x-height.
    EXPECT_LT(ink_box(a_acute).y0, ink_box(plain_a).y0);
}

TEST(Layout, LongLinesWrap) {
    const Bitmap page = render(std::string(60, 'M') + "\n");
    EXPECT_EQ(page.height(), 2 * DEFAULT_LINE_SPACING);
    EXPECT_GT(ink_box(page, 0, 24).x1, 560);
}

TEST(Layout, InitialiseResetsTheModes) {
    const Bitmap page = render(B("\x1b\x61\x02\x1b\x21\x30\x1d\x42\x01\x1b\x40") + "M\n");
    const Box box = ink_box(page);
    EXPECT_LT(box.x1, 12);
    EXPECT_LE(box.height(), 24);
}

TEST(Layout, RasterImageIsPlacedDotForDot) {
    // 16x2 dots: a full row and an alternating row, centred.
    const Bitmap page = render(B("\x1b\x61\x01\x1d\x76\x30\x00\x02\x00\x02\x00\xff\xff\xaa\xaa"));
    ASSERT_EQ(page.height(), 2);
    const int x0 = (576 - 16) / 2;
    for (int x = 0; x < 16; ++x) {
        EXPECT_TRUE(page.get(x0 + x, 0));
        EXPECT_EQ(page.get(x0 + x, 1), x % 2 == 0);
    }
    EXPECT_EQ(page.count_black(), 24u);
}

TEST(Layout, RasterImageAtAnUnalignedMargin) {
    for (int margin : {1, 3, 5, 7, 13}) {
        SCOPED_TRACE(margin);
        // GS L margin; a 24x3 raster: a diagonal-ish pattern per row.
        const Bitmap page = render(B("\x1d\x4c") + static_cast<char>(margin) +
                                   B("\x00\x1d\x76\x30\x00\x03\x00\x03\x00"
                                     "\x80\x01\x81"
                                     "\xff\x00\x0f"
                                     "\x00\x00\x01"));
        ASSERT_EQ(page.height(), 3);
        const char* rows[] = {"100000000000000110000001", "111111110000000000001111",
                              "000000000000000000000001"};
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 24; ++x)
                EXPECT_EQ(page.get(margin + x, y), rows[y][x] == '1') << x << "," << y;
        EXPECT_EQ(page.count_black(), 4u + 12u + 1u);
    }
}

}  // namespace
}  // namespace quorvel::printer::test

// SPDX-License-Identifier: MIT
// Page mode: the same page in the four directions is the same drawing
// turned, with its symbols read back by zxing-cpp; the page commands.
#include <gtest/gtest.h>

#include "support.h"

namespace quorvel::printer::test {
namespace {

std::string w16(int n) {
    return {static_cast<char>(n & 255), static_cast<char>(n >> 8)};
}
std::string area(int x, int y, int w, int h) {
    return "\x1bW" + w16(x) + w16(y) + w16(w) + w16(h);
}

// Every symbol zxing-cpp finds on the page, in any orientation.
std::vector<std::pair<std::string, std::string>> read_turned(const Bitmap& page) {
    const int pad = 40, w = page.width() + 2 * pad, h = page.height() + 2 * pad;
    std::vector<uint8_t> lum(static_cast<size_t>(w) * h, 255);
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            if (page.get(x, y)) lum[static_cast<size_t>(y + pad) * w + x + pad] = 0;
    ZXing::DecodeHints hints;
    hints.setTryHarder(true).setTryRotate(true).setBinarizer(ZXing::Binarizer::BoolCast);
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& r : ZXing::ReadBarcodes({lum.data(), w, h, ZXing::ImageFormat::Lum}, hints))
        if (r.isValid())
            out.emplace_back(ZXing::ToString(r.format()),
                             std::string(r.bytes().begin(), r.bytes().end()));
    std::sort(out.begin(), out.end());
    return out;
}

// A quarter turn anticlockwise (the page of direction 1 from that of 0), by dots.
Bitmap quarter_anticlockwise(const Bitmap& b) {
    Bitmap r(b.height(), b.width());
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x)
            if (b.get(x, y)) r.set(y, b.width() - 1 - x);
    return r;
}

bool same(const Bitmap& a, const Bitmap& b) {
    if (a.width() != b.width() || a.height() != b.height()) return false;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.get(x, y) != b.get(x, y)) return false;
    return true;
}

// Text, a raster image, an EAN-13 and a QR Code in a square area, in each
// direction: each page is the page of the direction before turned a quarter
// anticlockwise, and both symbols read back from every one.
TEST(PageMode, FourDirectionsTurnTheSamePage) {
    const std::string qr = "https://quorvel.test/page";
    const int n = static_cast<int>(qr.size()) + 3;
    std::vector<Bitmap> pages;
    for (int d = 0; d < 4; ++d) {
        SCOPED_TRACE(d);
        StreamRun run;
        run.feed("\x1bL" + area(0, 0, 576, 576) + "\x1bT" +
                 std::string(1, static_cast<char>('0' + d)) +
                 "PAGE MODE\n\x1dw\x02\x1dh\x50\x1dH\x02\x1dk\x02"
                 "789123456789" +
                 std::string(1, '\0') + "\n\x1d(k" + w16(n) + "1P0" + qr +
                 B("\x1d(k\x03\x00"
                   "1C\x05\x1d(k\x03\x00"
                   "1Q0") +
                 "\x1b$" + w16(400) + B("\x1dv0\x00\x04\x00\x20\x00") +
                 std::string(4 * 32, '\xff') + "\nlast line\x0c")
            .finish();
        ASSERT_EQ(run.pages.size(), 1u) << run.journal();
        EXPECT_EQ(run.pages[0].height(), 576);
        const auto found = read_turned(run.pages[0]);
        EXPECT_EQ(found, (std::vector<std::pair<std::string, std::string>>{
                             {"EAN-13", "7891234567895"}, {"QRCode", qr}}));
        if (d > 0) {
            EXPECT_TRUE(same(run.pages[0], quarter_anticlockwise(pages.back())));
        }
        pages.push_back(run.pages[0]);
    }
    // Direction 0 starts at the upper left: the first line's top on the area's top edge.
    const Box text = ink_box(pages[0], 0, 24);
    EXPECT_EQ(text.y0, ink_box(pages[0]).y0);
    EXPECT_LT(text.x0, 4);
    EXPECT_LT(text.y0, 8);
}

TEST(PageMode, PageCommands) {
    struct Case {
        const char* name;
        std::string stream;
        int pages;
        int height;    // of the first page
        int ink_from;  // first row with ink, -1 for none
    };
    const std::string a = area(0, 0, 576, 200);
    const std::vector<Case> cases = {
        // FF prints the page and returns to standard mode: "after" goes below it.
        {"FF",
         "\x1bL" + a +
             "PAGE\x0c"
             "after\n\x1dV" +
             std::string(1, '\0'),
         1, 200 + 30, 0},
        // ESC FF prints and keeps the page: it is on the paper twice.
        {"ESC FF", "\x1bL" + a + "PAGE\x1b\x0c\x0c", 1, 400, 0},
        // CAN deletes what the area holds; what comes after prints.
        {"CAN", "\x1bL" + a + "GONE\n\x18\x1d$" + w16(100) + "KEPT\x0c", 1, 200, 100},
        // ESC S leaves page mode and drops the page.
        {"ESC S", "\x1bL" + a + "DROPPED\x1bS", 0, 0, -1},
        // A cut in page mode is ignored; the page prints at FF.
        {"cut ignored", "\x1bL" + a + "X\x1dV" + std::string(1, '\0') + "\x0c", 1, 200, 0},
        // GS $ and GS \ set the vertical position in the area; ESC W's origin moves the area.
        {"GS $ and GS \\",
         "\x1bL" + area(0, 50, 576, 300) + "\x1d$" + w16(120) + "\x1d\\" + w16(-20) + "H\x0c", 1,
         350, 150},
        // An area taller than the page cap is cut to it: the page's bytes are bounded.
        {"height cap", "\x1bL" + area(0, 0, 576, 65535) + "x\x0c", 1, 4096, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StreamRun run;
        run.feed(c.stream).finish();
        ASSERT_EQ(static_cast<int>(run.pages.size()), c.pages) << run.journal();
        if (!c.pages) continue;
        EXPECT_EQ(run.pages[0].height(), c.height);
        const Box ink = ink_box(run.pages[0]);
        EXPECT_EQ(ink.empty() ? -1 : ink.y0 / 10 * 10, c.ink_from) << ink.y0;
    }
}

}  // namespace
}  // namespace quorvel::printer::test

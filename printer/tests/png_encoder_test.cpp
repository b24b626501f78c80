// SPDX-License-Identifier: MIT
// The receipt PNG writer against libpng's own writer at the settings it
// replaced (zlib level 1, Z_RLE, no row filter): for the captured streams'
// pages and for pages built to reach its edge cases, both files decode (by
// libpng) to the same pixels, and the writer's file is at most 10% larger.
#include <gtest/gtest.h>
#include <png.h>

#include <fstream>
#include <iterator>
#include <random>

#include "paper/png_io.h"
#include "support.h"

namespace quorvel::printer::test {
namespace {

// libpng's writer, as the printer wrote its PNG files before.
std::string reference_png(const Bitmap& page, const PaperMargins& m) {
    Bitmap paper(page.width() + m.left + m.right, page.height() + m.top + m.bottom);
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            if (page.get(x, y)) paper.set(x + m.left, y + m.top);
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t len) {
            static_cast<std::string*>(png_get_io_ptr(p))
                ->append(reinterpret_cast<const char*>(data), len);
        },
        nullptr);
    png_set_compression_level(png, 1);
    png_set_compression_strategy(png, 3);  // Z_RLE
    png_set_IHDR(png, info, static_cast<png_uint_32>(paper.width()),
                 static_cast<png_uint_32>(paper.height()), 1, PNG_COLOR_TYPE_GRAY,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_pHYs(png, info, 7992, 7992, PNG_RESOLUTION_METER);
    png_write_info(png, info);
    png_set_filter(png, 0, PNG_FILTER_NONE);
    std::vector<uint8_t> row(static_cast<size_t>(paper.stride()));
    for (int y = 0; y < paper.height(); ++y) {
        for (int i = 0; i < paper.stride(); ++i) row[i] = static_cast<uint8_t>(~paper.row(y)[i]);
        if (paper.width() % 8)
            row.back() |= static_cast<uint8_t>(0xFF >> (paper.width() % 8));  // padding white
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

struct Decoded {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> gray;  // 8 bits per pixel
};

Decoded decode(const std::string& file) {
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    Decoded d;
    if (!png_image_begin_read_from_memory(&img, file.data(), file.size())) {
        ADD_FAILURE() << "libpng cannot read it: " << img.message;
        return d;
    }
    img.format = PNG_FORMAT_GRAY;
    d.gray.resize(PNG_IMAGE_SIZE(img));
    if (!png_image_finish_read(&img, nullptr, d.gray.data(), 0, nullptr)) {
        ADD_FAILURE() << "libpng cannot decode it: " << img.message;
        return d;
    }
    d.width = img.width;
    d.height = img.height;
    return d;
}

void expect_same_pixels(const Bitmap& page, const PaperMargins& m, bool size_bound,
                        const std::string& what) {
    SCOPED_TRACE(what);
    const std::string before = reference_png(page, m), after = encode_png(page, m);
    ASSERT_FALSE(after.empty());
    const Decoded a = decode(before), b = decode(after);
    ASSERT_EQ(a.width, b.width);
    ASSERT_EQ(a.height, b.height);
    ASSERT_TRUE(a.gray == b.gray) << "pixels differ";
    if (size_bound) {
        EXPECT_LE(after.size() * 10, before.size() * 11) << before.size() << " -> " << after.size();
    }
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(PngWriter, CapturedStreamsKeepTheirPixels) {
    for (const char* name : {"typical_receipt.bin", "demo_receipt.bin"}) {
        StreamRun run;
        run.feed(slurp(std::string(QUORVEL_PRINTER_BENCH_DIR) + "/" + name)).finish();
        ASSERT_FALSE(run.pages.empty()) << name;
        for (size_t i = 0; i < run.pages.size(); ++i)
            expect_same_pixels(run.pages[i], PaperMargins{}, true,
                               std::string(name) + " page " + std::to_string(i));
    }
}

// Pages at the writer's edges: blank paper taller than one copy can reach,
// rows that repeat, noise with no repeats, widths off a byte boundary, one dot.
TEST(PngWriter, EdgeCasePagesKeepTheirPixels) {
    std::mt19937 rng(35);
    struct Case {
        const char* what;
        int width, height;
        PaperMargins margins;
        void (*draw)(Bitmap&, std::mt19937&);
    };
    const Case cases[] = {
        {"blank, 4000 rows", 576, 4000, {}, [](Bitmap&, std::mt19937&) {}},
        {"one dot", 1, 1, {0, 0, 0, 0}, [](Bitmap& b, std::mt19937&) { b.set(0, 0); }},
        {"two dots wide, repeated rows",
         2,
         50,
         {0, 0, 0, 0},
         [](Bitmap& b, std::mt19937&) { b.set(1, 7); }},
        {"noise, width 573",
         573,
         300,
         {3, 5, 1, 2},
         [](Bitmap& b, std::mt19937& r) {
             for (int y = 0; y < b.height(); ++y)
                 for (int x = 0; x < b.width(); ++x)
                     if (r() & 1) b.set(x, y);
         }},
        {"bars and blocks",
         576,
         700,
         {},
         [](Bitmap& b, std::mt19937&) {
             for (int x = 0; x < 576; x += 7) b.fill_rect(x, 10, 3, 200);
             b.fill_rect(0, 300, 576, 100);
             b.fill_rect(100, 450, 1, 1);
         }},
        {"every row different, long runs",
         640,
         400,
         {0, 0, 0, 0},
         [](Bitmap& b, std::mt19937&) {
             for (int y = 0; y < b.height(); ++y) b.fill_rect(0, y, y + 1 > 640 ? 640 : y + 1, 1);
         }},
        {"wider than deflate's window",
         262200,
         3,
         {0, 0, 0, 0},
         [](Bitmap& b, std::mt19937&) { b.fill_rect(100, 0, 5000, 1); }},
    };
    for (const Case& c : cases) {
        Bitmap page(c.width, c.height);
        c.draw(page, rng);
        expect_same_pixels(page, c.margins, false, c.what);
    }
}

TEST(PngWriter, EmptyPageIsRefusedNotWritten) {
    EXPECT_TRUE(encode_png(Bitmap(0, 0), PaperMargins{0, 0, 0, 0}).empty());
    std::string error;
    EXPECT_FALSE(write_png("/nonexistent-dir-35/p.png", Bitmap(8, 8), PaperMargins{}, &error));
    EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
}

}  // namespace
}  // namespace quorvel::printer::test

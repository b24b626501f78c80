// SPDX-License-Identifier: MIT
// Greyscale images at a loopback printer: raster bands (GS v 0) and the stored
// image (FS q), decoded back into dots and compared with the image sent.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "fake_printer.h"
#include "quorvel.h"

using namespace quorvel::testing;

namespace {

struct Gray {
    int width, height, stride;
    std::vector<unsigned char> pixels;
    unsigned char at(int x, int y) const {
        return pixels[static_cast<std::size_t>(y * stride + x)];
    }
};

// A pattern with edges, gradients and both extremes; columns past width hold
// black, which must never print.
Gray pattern(int width, int height) {
    Gray g{width, height, width + 5, {}};
    g.pixels.assign(static_cast<std::size_t>(g.stride * height), 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            g.pixels[static_cast<std::size_t>(y * g.stride + x)] =
                static_cast<unsigned char>((x * 7 + y * 13 + (x / 16) * (y / 16) * 40) & 0xFF);
    return g;
}

using Dots = std::vector<std::vector<bool>>;  // [y][x], true for black

// Reads the GS v 0 commands in a stream (after ESC @ ESC a n) back into dots.
Dots decode_raster(const Bytes& stream, int* bands) {
    Dots dots;
    std::size_t at = 5;
    *bands = 0;
    while (at + 8 <= stream.size()) {
        EXPECT_EQ(hex(Bytes(stream.begin() + static_cast<long>(at),
                            stream.begin() + static_cast<long>(at) + 4)),
                  "1D 76 30 00");
        const int x_bytes = stream[at + 4] | stream[at + 5] << 8;
        const int rows = stream[at + 6] | stream[at + 7] << 8;
        at += 8;
        for (int y = 0; y < rows; ++y) {
            std::vector<bool> row;
            for (int x = 0; x < x_bytes * 8; ++x)
                row.push_back(
                    (stream[at + static_cast<std::size_t>(y * x_bytes + x / 8)] >> (7 - x % 8)) &
                    1);
            dots.push_back(row);
        }
        at += static_cast<std::size_t>(x_bytes * rows);
        ++*bands;
    }
    EXPECT_EQ(at, stream.size());
    return dots;
}

// Reads an FS q command back into the dots of its last image.
Dots decode_stored(const Bytes& stream, int number) {
    EXPECT_EQ(stream[0], 0x1C);
    EXPECT_EQ(stream[1], 0x71);
    EXPECT_EQ(stream[2], number);
    std::size_t at = 3;
    Dots dots;
    for (int image = 1; image <= number && at + 4 <= stream.size(); ++image) {
        const int x = stream[at] | stream[at + 1] << 8, y = stream[at + 2] | stream[at + 3] << 8;
        at += 4;
        dots.assign(static_cast<std::size_t>(y * 8),
                    std::vector<bool>(static_cast<std::size_t>(x * 8)));
        for (int column = 0; column < x * 8; ++column)
            for (int row = 0; row < y * 8; ++row)
                dots[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] =
                    (stream[at + static_cast<std::size_t>(column * y + row / 8)] >> (7 - row % 8)) &
                    1;
        at += static_cast<std::size_t>(x * y * 8);
    }
    EXPECT_EQ(at, stream.size());
    return dots;
}

// The dots must be the image thresholded at 128, padded with white.
int threshold_mismatches(const Dots& dots, const Gray& g) {
    int wrong = 0;
    for (std::size_t y = 0; y < dots.size(); ++y)
        for (std::size_t x = 0; x < dots[y].size(); ++x) {
            const bool inside = static_cast<int>(x) < g.width && static_cast<int>(y) < g.height;
            const bool black = inside && g.at(static_cast<int>(x), static_cast<int>(y)) < 128;
            wrong += dots[y][x] != black;
        }
    return wrong;
}

class Images : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(AbreSocket(printer_.address().c_str(), 0), 1); }
    void TearDown() override { FechaSocket(); }
    // Everything the printer got once the link is closed.
    Bytes all_received() {
        FechaSocket();
        printer_.wait_for_disconnect();
        return printer_.received();
    }
    FakePrinter printer_;
};

// Ten dots by three rows, stride 16: black at (0,0), (9,0) (127 is below half),
// (4,1) and (8,2); 128 is white; the six bytes past each row are black and ignored.
Gray small() {
    Gray g{10, 3, 16, std::vector<unsigned char>(48, 0)};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 10; ++x)
            g.pixels[static_cast<std::size_t>(y * 16 + x)] = y == 1 ? 128 : 255;
    g.pixels[0] = 0;
    g.pixels[9] = 127;
    g.pixels[16 + 4] = 0;
    g.pixels[32 + 8] = 50;
    return g;
}

TEST_F(Images, SmallImageExactBytes) {
    const Gray g = small();
    ASSERT_EQ(quorvel_print_image(g.pixels.data(), 10, 3, 16, 1, QUORVEL_DITHER_THRESHOLD), 1);
    ASSERT_EQ(quorvel_store_logo(3, g.pixels.data(), 10, 3, 16, QUORVEL_DITHER_THRESHOLD), 1);
    EXPECT_EQ(hex(all_received()),
              // ESC @, ESC a 1, GS v 0 0, 2 bytes x 3 rows
              "1B 40 1B 61 01 1D 76 30 00 02 00 03 00 80 40 08 00 00 80 "
              // FS q 3: two 8 x 8 blanks, then 2 x 1 bytes (16 x 8 dots) column by column
              "1C 71 03 01 00 01 00 00 00 00 00 00 00 00 00 01 00 01 00 00 00 00 00 00 00 00 00 "
              "02 00 01 00 80 00 00 00 40 00 00 00 20 80 00 00 00 00 00 00");
}

// Error diffusion worked by hand on four dots of grey 100 in two rows:
// row 1 is black, white (143), black (51), black (122); the errors carried
// down make row 2 black (110), white (128), black (77), white (175).
TEST_F(Images, DitheringByHand) {
    const std::vector<unsigned char> grey(8, 100);
    ASSERT_EQ(quorvel_print_image(grey.data(), 4, 2, 4, 0, 1), 1);
    EXPECT_EQ(hex(all_received()), "1B 40 1B 61 00 1D 76 30 00 01 00 02 00 B0 A0");
}

struct Shape {
    int width, height;
    int bands;  // GS v 0 commands expected
};

class RasterBands : public Images, public ::testing::WithParamInterface<Shape> {};

TEST_P(RasterBands, DotsMatchTheImageInEveryBand) {
    const Shape s = GetParam();
    const Gray g = pattern(s.width, s.height);
    ASSERT_EQ(quorvel_print_image(g.pixels.data(), g.width, g.height, g.stride, 2, 0), 1);
    const Bytes stream = all_received();
    ASSERT_GE(stream.size(), 13u);
    EXPECT_EQ(hex(Bytes(stream.begin(), stream.begin() + 5)), "1B 40 1B 61 02");
    int bands = 0;
    const Dots dots = decode_raster(stream, &bands);
    EXPECT_EQ(bands, s.bands);
    ASSERT_EQ(dots.size(), static_cast<std::size_t>(s.height));
    EXPECT_EQ(dots[0].size(), static_cast<std::size_t>((s.width + 7) / 8 * 8));
    EXPECT_EQ(threshold_mismatches(dots, g), 0);
}

INSTANTIATE_TEST_SUITE_P(Shapes, RasterBands,
                         ::testing::Values(Shape{1, 1, 1}, Shape{576, 128, 1}, Shape{576, 129, 2},
                                           Shape{333, 300, 3}, Shape{17, 1000, 8}));

class StoredImage : public Images, public ::testing::WithParamInterface<Shape> {};

TEST_P(StoredImage, DotsMatchTheImageAcrossColumnBands) {
    const Shape s = GetParam();
    const Gray g = pattern(s.width, s.height);
    ASSERT_EQ(quorvel_store_logo(s.bands, g.pixels.data(), g.width, g.height, g.stride, 0), 1);
    const Dots dots = decode_stored(all_received(), s.bands);
    ASSERT_EQ(dots.size(), static_cast<std::size_t>((s.height + 7) / 8 * 8));
    EXPECT_EQ(threshold_mismatches(dots, g), 0);
}

// Here "bands" is the image number: a tall image needs several column bands.
INSTANTIATE_TEST_SUITE_P(Shapes, StoredImage,
                         ::testing::Values(Shape{1, 1, 1}, Shape{200, 37, 2}, Shape{576, 400, 255},
                                           Shape{576, 2304, 1}));

// Error diffusion spreads each level's darkness over the area: the share of
// black dots follows the grey level, where plain thresholding gives all or none.
TEST_F(Images, DitheringKeepsTheGreyLevel) {
    const int levels[] = {0, 20, 64, 100, 127, 128, 160, 230, 255};
    for (int level : levels) {
        Gray g{64, 64, 64, std::vector<unsigned char>(64 * 64, static_cast<unsigned char>(level))};
        ASSERT_EQ(quorvel_print_image(g.pixels.data(), 64, 64, 64, 0, 1), 1);
        ASSERT_EQ(quorvel_print_image(g.pixels.data(), 64, 64, 64, 0, 0), 1);
    }
    const Bytes stream = all_received();
    std::size_t at = 0;
    for (int level : levels) {
        for (int dither = 1; dither >= 0; --dither) {
            ASSERT_LE(at + 13 + 8 * 64, stream.size());
            int black = 0;
            for (std::size_t i = at + 13; i < at + 13 + 8 * 64; ++i)
                black += __builtin_popcount(stream[i]);
            const double share = black / 4096.0, expected = 1.0 - level / 255.0;
            if (dither == 1)
                EXPECT_NEAR(share, expected, 0.02) << "level " << level;
            else
                EXPECT_EQ(share, level < 128 ? 1.0 : 0.0) << "level " << level;
            at += 13 + 8 * 64;
        }
    }
}

// The stored image is dithered band by band of columns; its dots must still
// be those of one pass over the whole image, as printed.
TEST_F(Images, StoredAndPrintedDitheringAgree) {
    const Gray g = pattern(576, 400);
    ASSERT_EQ(quorvel_print_image(g.pixels.data(), g.width, g.height, g.stride, 0, 1), 1);
    const std::size_t raster_size = 5 + 4 * 8 + 72 * 400;
    ASSERT_EQ(quorvel_store_logo(1, g.pixels.data(), g.width, g.height, g.stride, 1), 1);
    const Bytes stream = all_received();
    ASSERT_GT(stream.size(), raster_size);
    int bands = 0;
    const Dots printed = decode_raster(Bytes(stream.begin(), stream.begin() + raster_size), &bands);
    const Dots stored = decode_stored(Bytes(stream.begin() + raster_size, stream.end()), 1);
    EXPECT_EQ(printed, stored);
    int black = 0;
    for (const auto& row : printed)
        for (bool dot : row) black += dot;
    EXPECT_GT(black, 576 * 400 / 4) << "a pattern of many greys, dithered";
}

// A reset link fails the image at the band that meets it, and says so.
TEST(ImageLink, ResetLinkFailsTheImageAndSaysWhy) {
    FakePrinter printer(FakePrinter::Behaviour::reset_on_data);
    ASSERT_EQ(AbreSocket(printer.address().c_str(), 0), 1);
    const Gray g = pattern(576, 2000);
    int result = 1;
    for (int attempt = 0; attempt < 20 && result == 1; ++attempt)
        result = quorvel_print_image(g.pixels.data(), g.width, g.height, g.stride, 0, 1);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(quorvel_last_error(nullptr, 0), QUORVEL_E_LINK_CLOSED);
    FechaSocket();
}

}  // namespace

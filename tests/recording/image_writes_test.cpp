// How the image calls split their output into writes: one write per band, each
// band a whole command (or a whole part of FS q), bounded in size.
#include <gtest/gtest.h>

#include <vector>

#include "capture.h"

using namespace quorvel::testing;

namespace {

struct BandCase {
    const char* name;
    int width, height;
    bool stored;  // quorvel_store_logo (image 1) instead of quorvel_print_image
    std::vector<std::size_t> sizes;  // of each write
};

class ImageWrites : public RecordingLinkWithParam<BandCase> {};

TEST_P(ImageWrites, OneWritePerBand) {
    const BandCase& c = GetParam();
    const std::vector<unsigned char> gray(static_cast<std::size_t>(c.width * c.height), 90);
    const Capture got = capture([&] {
        return c.stored ? quorvel_store_logo(1, gray.data(), c.width, c.height, c.width, 1)
                        : quorvel_print_image(gray.data(), c.width, c.height, c.width, 1, 1);
    });
    EXPECT_EQ(got.result, 1);
    std::vector<std::size_t> sizes;
    for (const Bytes& write : got.writes) sizes.push_back(write.size());
    EXPECT_EQ(sizes, c.sizes);
    if (!c.stored) {
        // Every band is a whole GS v 0 command of its own.
        for (std::size_t i = 0; i < got.writes.size(); ++i) {
            const Bytes& w = got.writes[i];
            const std::size_t at = i == 0 ? 5 : 0;
            ASSERT_GE(w.size(), at + 8);
            const std::size_t rows = w[at + 6] | w[at + 7] << 8;
            EXPECT_EQ(hex(Bytes(w.begin() + static_cast<long>(at), w.begin() + static_cast<long>(at) + 4)),
                      "1D 76 30 00");
            EXPECT_EQ(w.size(), at + 8 + rows * static_cast<std::size_t>((c.width + 7) / 8));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, ImageWrites,
    ::testing::Values(
        // ESC @ ESC a and the first band, then bands of 128 rows of 72 bytes.
        BandCase{"Print576x400", 576, 400, false, {5 + 8 + 9216, 8 + 9216, 8 + 9216, 8 + 1152}},
        BandCase{"Print9x128", 9, 128, false, {5 + 8 + 256}},
        // FS q 1, x y, then 16384 / 50 = 327 columns of 50 bytes per band.
        BandCase{"Store576x400", 576, 400, true, {3 + 4 + 327 * 50, (576 - 327) * 50}},
        BandCase{"Store8x8", 8, 8, true, {3 + 4 + 8}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

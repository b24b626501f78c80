// SPDX-License-Identifier: MIT
// 1-bit images: a fixed Bitmap and the growing receipt Page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorvel::printer {

// Row-major, one byte per row group of 8 dots, most significant bit first
// (the same layout as a PNG row of bit depth 1). A set bit is a black dot.
class Bitmap {
  public:
    Bitmap() = default;
    Bitmap(int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }
    int stride() const { return stride_; }
    const uint8_t* row(int y) const { return bits_.data() + static_cast<size_t>(y) * stride_; }
    uint8_t* row(int y) { return bits_.data() + static_cast<size_t>(y) * stride_; }

    bool get(int x, int y) const {
        if (x < 0 || y < 0 || x >= width_ || y >= height_) return false;
        return (row(y)[x >> 3] >> (7 - (x & 7))) & 1;
    }
    void set(int x, int y, bool black = true) {
        if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
        uint8_t& b = row(y)[x >> 3];
        const uint8_t m = static_cast<uint8_t>(0x80 >> (x & 7));
        b = black ? (b | m) : (b & ~m);
    }
    // Clipped to the bitmap.
    void fill_rect(int x, int y, int w, int h, bool black = true);
    // Grow (or shrink) the height, keeping the content; new rows are white.
    void resize_height(int height);
    // Rotate by 180 degrees in place.
    void rotate180();
    // Copy src onto this bitmap at (x, y): black source dots become `black`.
    void blit(const Bitmap& src, int x, int y, bool black = true);
    bool empty() const { return width_ == 0 || height_ == 0; }
    size_t count_black() const;

  private:
    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
    std::vector<uint8_t> bits_;
};

}  // namespace quorvel::printer

// SPDX-License-Identifier: MIT
#include "paper/bitmap.h"

#include <algorithm>
#include <bit>

namespace quorvel::printer {

Bitmap::Bitmap(int width, int height)
    : width_(std::max(0, width)),
      height_(std::max(0, height)),
      stride_((width_ + 7) / 8),
      bits_(static_cast<size_t>(stride_) * height_, 0) {}

void Bitmap::fill_rect(int x, int y, int w, int h, bool black) {
    const int x0 = std::max(0, x), y0 = std::max(0, y);
    const int x1 = std::min(width_, x + w), y1 = std::min(height_, y + h);
    if (x0 >= x1 || y0 >= y1) return;
    const int b0 = x0 >> 3, b1 = (x1 - 1) >> 3;
    const uint8_t first = static_cast<uint8_t>(0xFF >> (x0 & 7));
    const uint8_t last = static_cast<uint8_t>(0xFF << (7 - ((x1 - 1) & 7)));
    for (int yy = y0; yy < y1; ++yy) {
        uint8_t* r = row(yy);
        if (b0 == b1) {
            const uint8_t m = first & last;
            r[b0] = black ? (r[b0] | m) : (r[b0] & ~m);
            continue;
        }
        r[b0] = black ? (r[b0] | first) : (r[b0] & ~first);
        for (int b = b0 + 1; b < b1; ++b) r[b] = black ? 0xFF : 0x00;
        r[b1] = black ? (r[b1] | last) : (r[b1] & ~last);
    }
}

void Bitmap::resize_height(int height) {
    height_ = std::max(0, height);
    bits_.resize(static_cast<size_t>(stride_) * height_, 0);
}

void Bitmap::rotate180() {
    Bitmap out(width_, height_);
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            if (get(x, y)) out.set(width_ - 1 - x, height_ - 1 - y);
    *this = std::move(out);
}

void Bitmap::blit(const Bitmap& src, int x, int y, bool black) {
    const bool aligned = x == 0 && src.width() == width_;
    for (int sy = 0; sy < src.height(); ++sy) {
        const int dy = y + sy;
        if (dy < 0 || dy >= height_) continue;
        const uint8_t* s = src.row(sy);
        uint8_t* d = row(dy);
        if (aligned) {  // whole rows: combine byte by byte
            for (int i = 0; i < stride_; ++i) d[i] = black ? (d[i] | s[i]) : (d[i] & ~s[i]);
            continue;
        }
        if (black && x >= 0 && x + src.width() <= width_) {
            // Shift whole source bytes into place (source padding bits are clear).
            const int sh = x & 7;
            uint8_t* out = d + (x >> 3);
            const int last = (x + src.width() - 1) >> 3;  // last destination byte
            for (int i = 0; i < src.stride(); ++i) {
                out[i] |= static_cast<uint8_t>(s[i] >> sh);
                if (sh && (x >> 3) + i + 1 <= last)
                    out[i + 1] |= static_cast<uint8_t>(s[i] << (8 - sh));
            }
            continue;
        }
        for (int sx = 0; sx < src.width(); ++sx)
            if ((s[sx >> 3] >> (7 - (sx & 7))) & 1) set(x + sx, dy, black);
    }
}

size_t Bitmap::count_black() const {
    size_t n = 0;
    for (uint8_t b : bits_) n += static_cast<size_t>(std::popcount(b));
    return n;
}

}  // namespace quorvel::printer

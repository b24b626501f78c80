#include "bitmap.h"

#include <algorithm>
#include <bit>

namespace qvp {

Bitmap::Bitmap(int width, int height)
    : width_(std::max(0, width)),
      height_(std::max(0, height)),
      stride_((width_ + 7) / 8),
      bits_(static_cast<size_t>(stride_) * height_, 0) {}

void Bitmap::fillRect(int x, int y, int w, int h, bool black) {
    const int x0 = std::max(0, x), y0 = std::max(0, y);
    const int x1 = std::min(width_, x + w), y1 = std::min(height_, y + h);
    for (int yy = y0; yy < y1; ++yy)
        for (int xx = x0; xx < x1; ++xx) set(xx, yy, black);
}

void Bitmap::resizeHeight(int height) {
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
    for (int sy = 0; sy < src.height(); ++sy) {
        const int dy = y + sy;
        if (dy < 0 || dy >= height_) continue;
        for (int sx = 0; sx < src.width(); ++sx)
            if (src.get(sx, sy)) set(x + sx, dy, black);
    }
}

size_t Bitmap::countBlack() const {
    size_t n = 0;
    for (uint8_t b : bits_) n += static_cast<size_t>(std::popcount(b));
    return n;
}

}  // namespace qvp

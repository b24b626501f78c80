// SPDX-License-Identifier: MIT
// A test image and the byte strings that define and print it as a stored image.
#pragma once

#include <string>
#include <vector>

#include "paper/bitmap.h"

namespace quorvel::printer::test {

struct TestImage {
    int width = 40, height = 24;
    // An irregular pattern with a solid top row and left column, so that a
    // shift, a mirror or a swapped byte order shows.
    bool dot(int x, int y) const { return x == 0 || y == 0 || (x * 3 + y * 5) % 7 < 3; }

    // The page shows exactly this image at (x0, y0), each dot xs by ys, and
    // nothing else in those rows.
    bool printed_at(const Bitmap& page, int x0, int y0, int xs, int ys) const {
        if (page.height() < y0 + height * ys) return false;
        for (int y = 0; y < height * ys; ++y)
            for (int x = 0; x < page.width(); ++x) {
                const bool want = x >= x0 && x < x0 + width * xs && dot((x - x0) / xs, y / ys);
                if (page.get(x, y0 + y) != want) return false;
            }
        return true;
    }
    std::string rows() const {
        std::string d;
        for (int y = 0; y < height; ++y)
            for (int bx = 0; bx < (width + 7) / 8; ++bx) {
                uint8_t b = 0;
                for (int k = 0; k < 8; ++k)
                    if (bx * 8 + k < width && dot(bx * 8 + k, y)) b |= 0x80 >> k;
                d += static_cast<char>(b);
            }
        return d;
    }
    std::string columns() const {
        std::string d;
        for (int x = 0; x < width; ++x)
            for (int by = 0; by < (height + 7) / 8; ++by) {
                uint8_t b = 0;
                for (int k = 0; k < 8; ++k)
                    if (by * 8 + k < height && dot(x, by * 8 + k)) b |= 0x80 >> k;
                d += static_cast<char>(b);
            }
        return d;
    }
};

inline std::string le16(int v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}

// FS q n [xL xH yL yH d...]...: sizes in units of 8 dots, data by columns.
inline std::string fs_q(const std::vector<TestImage>& images) {
    std::string s = "\x1c\x71";
    s += static_cast<char>(images.size());
    for (const auto& i : images) s += le16(i.width / 8) + le16(i.height / 8) + i.columns();
    return s;
}

// GS ( L (or GS 8 L) define: m fn a kc1 kc2 b xL xH yL yH c d...
inline std::string gs_l_define(int fn, char kc1, char kc2, const TestImage& i,
                               bool long_form = false) {
    const bool columns = fn == 0x44 || fn == 0x54;
    std::string body = std::string("\x30") + static_cast<char>(fn) + "\x30" + kc1 + kc2 + "\x01" +
                       le16(i.width) + le16(i.height) + "\x31" + (columns ? i.columns() : i.rows());
    if (long_form) return "\x1d\x38\x4c" + le16(static_cast<int>(body.size())) + le16(0) + body;
    return "\x1d\x28\x4c" + le16(static_cast<int>(body.size())) + body;
}

// GS ( L print: m fn kc1 kc2 x y.
inline std::string gs_l_print(int fn, char kc1, char kc2, int xs, int ys) {
    return std::string("\x1d\x28\x4c\x06") + '\0' + '\x30' + static_cast<char>(fn) + kc1 + kc2 +
           static_cast<char>(xs) + static_cast<char>(ys);
}

// GS ( L fn 112/113: m fn a bx by c xL xH yL yH d...
inline std::string gs_l_buffer(int fn, const TestImage& i) {
    std::string body = std::string("\x30") + static_cast<char>(fn) + "\x30\x01\x01\x31" +
                       le16(i.width) + le16(i.height) + (fn == 0x71 ? i.columns() : i.rows());
    return "\x1d\x28\x4c" + le16(static_cast<int>(body.size())) + body;
}

}  // namespace quorvel::printer::test

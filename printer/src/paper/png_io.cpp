// SPDX-License-Identifier: MIT
#include "paper/png_io.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace quorvel::printer {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};

// One output row: white paper with the page's dots at the margins.
void fill_row(const Bitmap& page, const PaperMargins& m, int y, uint8_t* row, size_t len) {
    std::fill(row, row + len, 0xFF);  // in PNG gray, 1 is white
    const int py = y - m.top;
    if (py < 0 || py >= page.height()) return;
    const uint8_t* src = page.row(py);
    int x = 0;
    if (m.left % 8 == 0) {
        // Byte-aligned margin: copy whole bytes, inverted (PNG gray 0 is black).
        uint8_t* dst = row + m.left / 8;
        const int full = page.width() / 8;
        for (int i = 0; i < full; ++i) dst[i] = static_cast<uint8_t>(~src[i]);
        x = full * 8;
    }
    for (; x < page.width(); ++x)
        if ((src[x >> 3] >> (7 - (x & 7))) & 1) {
            const int dx = x + m.left;
            row[dx >> 3] &= static_cast<uint8_t>(~(0x80 >> (dx & 7)));
        }
}

struct PngJob {
    std::FILE* file;     // written to this file, or
    std::string* bytes;  // appended to these bytes
    const Bitmap* page;
    const PaperMargins* margins;
    uint8_t* row;
    size_t row_len;
    png_uint_32 width;
    png_uint_32 height;
};

// The libpng calls. libpng reports errors by longjmp, so this frame holds
// plain data only; everything with a destructor lives in the caller.
bool write_image(png_structp png, png_infop info, const PngJob* job) {
    if (setjmp(png_jmpbuf(png))) return false;
    if (job->file) {
        png_init_io(png, job->file);
    } else {
        png_set_write_fn(
            png, job->bytes,
            [](png_structp p, png_bytep data, png_size_t len) {
                static_cast<std::string*>(png_get_io_ptr(p))
                    ->append(reinterpret_cast<const char*>(data), len);
            },
            nullptr);
    }
    png_set_compression_level(png, 1);
    png_set_compression_strategy(png, 3);  // Z_RLE: long runs of white and black
    png_set_IHDR(png, info, job->width, job->height, 1, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // 203 dots per inch is 7992 dots per metre.
    png_set_pHYs(png, info, 7992, 7992, PNG_RESOLUTION_METER);
    png_write_info(png, info);
    png_set_filter(png, 0, PNG_FILTER_NONE);
    for (png_uint_32 y = 0; y < job->height; ++y) {
        fill_row(*job->page, *job->margins, static_cast<int>(y), job->row, job->row_len);
        png_write_row(png, job->row);
    }
    png_write_end(png, info);
    return true;
}

bool encode(std::FILE* file, std::string* bytes, const Bitmap& page, const PaperMargins& m) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    const int width = page.width() + m.left + m.right;
    const int height = page.height() + m.top + m.bottom;
    std::vector<uint8_t> row(static_cast<size_t>((width + 7) / 8));
    const PngJob job{file,
                     bytes,
                     &page,
                     &m,
                     row.data(),
                     row.size(),
                     static_cast<png_uint_32>(width),
                     static_cast<png_uint_32>(height)};
    const bool ok = write_image(png, info, &job);
    png_destroy_write_struct(&png, &info);
    return ok;
}

}  // namespace

bool write_png(const std::string& path, const Bitmap& page, const PaperMargins& m,
               std::string* error) {
    std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.c_str(), "wb"));
    if (!f) {
        if (error) *error = "cannot create " + path;
        return false;
    }
    const bool ok = encode(f.get(), nullptr, page, m);
    if (!ok && error) *error = "libpng failed writing " + path;
    return ok;
}

std::string encode_png(const Bitmap& page, const PaperMargins& margins) {
    std::string out;
    if (!encode(nullptr, &out, page, margins)) out.clear();
    return out;
}

bool read_png(const std::string& path, Bitmap* out, std::string* error) {
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str())) {
        if (error) *error = img.message;
        return false;
    }
    img.format = PNG_FORMAT_GRAY;
    std::vector<uint8_t> px(PNG_IMAGE_SIZE(img));
    if (!png_image_finish_read(&img, nullptr, px.data(), 0, nullptr)) {
        if (error) *error = img.message;
        return false;
    }
    const int w = static_cast<int>(img.width), h = static_cast<int>(img.height);
    *out = Bitmap(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (px[static_cast<size_t>(y) * w + x] < 128) out->set(x, y);
    return true;
}

}  // namespace quorvel::printer

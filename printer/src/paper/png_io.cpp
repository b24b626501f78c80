// SPDX-License-Identifier: MIT
#include "paper/png_io.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
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

// Receipt PNGs are written by a deflate encoder fitted to 1-bit receipt rows
// rather than through libpng and zlib's general matcher: a row equal to the
// row above (blank paper, the inside of a bar or a block) is one copy of the
// previous row, and a row of dots is its bytes with runs of a repeated byte
// as copies one byte back. Fixed Huffman codes, one block, one IDAT chunk.
// Measured on the demo receipt (printer/README.md, Benchmark): about a
// third of the CPU of zlib level 1 with Z_RLE, and a smaller file.

// Fixed literal/length code (RFC 1951, 3.2.6) of symbol s: code and length.
constexpr uint32_t fixed_code(int s) {
    if (s < 144) return 0x30 + s;
    if (s < 256) return 0x190 + (s - 144);
    if (s < 280) return s - 256;
    return 0xC0 + (s - 280);
}
constexpr int fixed_length(int s) {
    return s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
}
constexpr uint32_t reversed(uint32_t code, int bits) {
    uint32_t r = 0;
    for (int i = 0; i < bits; ++i) r |= ((code >> i) & 1) << (bits - 1 - i);
    return r;
}

// Length symbols 257..285: the first length of each and its extra bits.
constexpr uint16_t length_base[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                      15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                      67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t length_extra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
// Distance symbols 0..29: the first distance of each and its extra bits.
constexpr uint16_t distance_base[30] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t distance_extra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// One whole code per literal/length symbol and per match length 3..258
// (symbol, extra bits and their value), bits in stream order.
struct Code {
    uint32_t bits;
    uint32_t count;
};
struct FixedTables {
    Code literal[256];
    Code length[259];  // by match length
    FixedTables() {
        for (int s = 0; s < 256; ++s)
            literal[s] = {reversed(fixed_code(s), fixed_length(s)),
                          static_cast<uint32_t>(fixed_length(s))};
        for (int len = 3; len <= 258; ++len) {
            int i = 28;
            while (length_base[i] > len) --i;
            const int s = 257 + i;
            const uint32_t n = static_cast<uint32_t>(fixed_length(s));
            length[len] = {reversed(fixed_code(s), static_cast<int>(n)) |
                               (static_cast<uint32_t>(len - length_base[i]) << n),
                           n + length_extra[i]};
        }
    }
};
const FixedTables& tables() {
    static const FixedTables t;
    return t;
}

// Bits into bytes, least significant bit first, as deflate packs them.
class BitWriter {
  public:
    explicit BitWriter(std::string* out) : out_(out) {}
    void put(uint32_t bits, uint32_t count) {
        acc_ |= static_cast<uint64_t>(bits) << used_;
        used_ += count;
        if (used_ >= 32) {
            const char b[4] = {static_cast<char>(acc_), static_cast<char>(acc_ >> 8),
                               static_cast<char>(acc_ >> 16), static_cast<char>(acc_ >> 24)};
            out_->append(b, 4);
            acc_ >>= 32;
            used_ -= 32;
        }
    }
    void flush() {
        while (used_ > 0) {
            out_->push_back(static_cast<char>(acc_));
            acc_ >>= 8;
            used_ = used_ > 8 ? used_ - 8 : 0;
        }
    }

  private:
    std::string* out_;
    uint64_t acc_ = 0;
    uint32_t used_ = 0;
};

// The image's deflate block: each row as filter byte 0 and its bytes.
class RowDeflater {
  public:
    RowDeflater(BitWriter* bits, size_t unit) : bits_(bits), unit_(unit) {
        int i = 29;
        while (i > 0 && distance_base[i] > unit) --i;
        const uint32_t d = reversed(static_cast<uint32_t>(i), 5);
        row_distance_ = {d | (static_cast<uint32_t>(unit - distance_base[i]) << 5),
                         5u + distance_extra[i]};
        bits_->put(1, 1);  // BFINAL
        bits_->put(1, 2);  // BTYPE 01: fixed Huffman codes
    }
    // `count` more copies of `unit`, the last one coded.
    void repeat_row(const uint8_t* unit, size_t count) {
        if (unit_ > 32768 || count * unit_ < 3) {  // beyond deflate's window, or too short a match
            for (size_t i = 0; i < count; ++i) row(unit, nullptr);
            return;
        }
        copies(count * unit_, row_distance_);
    }
    // A unit coded afresh. Where it matches the unit above (`above`, the
    // previous row, or null for the first) for 3 bytes or more, that stretch
    // is one copy of the row above: the strokes of text and symbols run down
    // the paper. Elsewhere a byte repeated 4 times or more is the byte and a
    // copy one byte back.
    void row(const uint8_t* unit, const uint8_t* above) {
        const Code* literal = tables().literal;
        size_t i = 0;
        while (i < unit_) {
            const uint8_t b = unit[i];
            size_t run = 1;
            while (i + run < unit_ && unit[i + run] == b) ++run;
            size_t same = 0;
            if (above && unit_ <= 32768)
                while (i + same < unit_ && unit[i + same] == above[i + same]) ++same;
            if (same >= 3 && same >= run) {
                copies(same, row_distance_);
                i += same;
                continue;
            }
            bits_->put(literal[b].bits, literal[b].count);
            if (run >= 4) {
                copies(run - 1, Code{0, 5});  // distance 1: symbol 0, no extra bits
            } else {
                for (size_t k = 1; k < run; ++k) bits_->put(literal[b].bits, literal[b].count);
            }
            i += run;
        }
    }
    void finish() {
        bits_->put(0, 7);  // end of block: symbol 256, code 0000000
        bits_->flush();
    }

  private:
    // `total` bytes copied from `distance` back, as matches of 3 to 258 bytes.
    void copies(size_t total, Code distance) {
        const Code* length = tables().length;
        while (total > 0) {
            size_t len = total > 258 ? 258 : total;
            if (total > 258 && total - 258 < 3) len = total - 3;  // leave a whole match
            bits_->put(length[len].bits, length[len].count);
            bits_->put(distance.bits, distance.count);
            total -= len;
        }
    }

    BitWriter* bits_;
    size_t unit_;
    Code row_distance_{};
};

void put_u32(std::string* out, uint32_t v) {
    const char b[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 8), static_cast<char>(v)};
    out->append(b, 4);
}

// Appends a chunk whose data are already the last `length` bytes of `out`,
// after a placeholder of 8 bytes for its length and type.
void close_chunk(std::string* out, size_t start, const char* type) {
    const size_t length = out->size() - start - 8;
    for (int i = 0; i < 4; ++i) {
        (*out)[start + i] = static_cast<char>(length >> (24 - 8 * i));
        (*out)[start + 4 + i] = type[i];
    }
    const auto* p = reinterpret_cast<const Bytef*>(out->data() + start + 4);
    put_u32(out, static_cast<uint32_t>(crc32(0, p, static_cast<uInt>(length + 4))));
}

void open_chunk(std::string* out) {
    out->append(8, '\0');
}

std::string encode(const Bitmap& page, const PaperMargins& m) {
    const int width = page.width() + m.left + m.right;
    const int height = page.height() + m.top + m.bottom;
    if (width <= 0 || height <= 0) return {};  // PNG has no empty image
    const size_t stride = static_cast<size_t>((width + 7) / 8), unit = stride + 1;
    std::string out("\x89PNG\r\n\x1a\n", 8);
    out.reserve(4096 + static_cast<size_t>(height) * 16);

    size_t start = out.size();
    open_chunk(&out);
    put_u32(&out, static_cast<uint32_t>(width));
    put_u32(&out, static_cast<uint32_t>(height));
    out.append("\x01\x00\x00\x00\x00",
               5);  // 1 bit, gray, deflate, adaptive filters, not interlaced
    close_chunk(&out, start, "IHDR");

    start = out.size();
    open_chunk(&out);
    put_u32(&out, 7992);  // 203 dots per inch is 7992 dots per metre
    put_u32(&out, 7992);
    out.push_back('\x01');
    close_chunk(&out, start, "pHYs");

    start = out.size();
    open_chunk(&out);
    out.append("\x78\x01", 2);  // zlib header: deflate, 32 KiB window
    BitWriter bits(&out);
    RowDeflater deflater(&bits, unit);
    // Two row buffers, each a filter byte (0, none) and the row.
    std::vector<uint8_t> rows(2 * unit, 0);
    uint8_t* current = rows.data();
    uint8_t* previous = rows.data() + unit;
    uLong adler = adler32(0, nullptr, 0), previous_adler = 0;
    size_t pending = 0;  // rows equal to the last one written, not yet coded
    for (int y = 0; y < height; ++y) {
        fill_row(page, m, y, current + 1, stride);
        if (y > 0 && std::memcmp(current, previous, unit) == 0) {
            ++pending;
            adler = adler32_combine(adler, previous_adler, static_cast<z_off_t>(unit));
            continue;
        }
        if (pending) deflater.repeat_row(previous, pending);
        pending = 0;
        deflater.row(current, y > 0 ? previous : nullptr);
        previous_adler = adler32(adler32(0, nullptr, 0), current, static_cast<uInt>(unit));
        adler = adler32_combine(adler, previous_adler, static_cast<z_off_t>(unit));
        std::swap(current, previous);
    }
    if (pending) deflater.repeat_row(previous, pending);
    deflater.finish();
    put_u32(&out, static_cast<uint32_t>(adler));
    close_chunk(&out, start, "IDAT");

    start = out.size();
    open_chunk(&out);
    close_chunk(&out, start, "IEND");
    return out;
}

}  // namespace

bool write_png(const std::string& path, const Bitmap& page, const PaperMargins& m,
               std::string* error) {
    const std::string png = encode(page, m);
    if (png.empty()) {
        if (error) *error = "no image to write to " + path + " (empty page)";
        return false;
    }
    std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.c_str(), "wb"));
    if (!f) {
        if (error) *error = "cannot create " + path;
        return false;
    }
    const bool ok = std::fwrite(png.data(), 1, png.size(), f.get()) == png.size() &&
                    std::fclose(f.release()) == 0;
    if (!ok && error) *error = "cannot write " + path;
    return ok;
}

std::string encode_png(const Bitmap& page, const PaperMargins& margins) {
    return encode(page, margins);
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

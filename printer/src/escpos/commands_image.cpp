// SPDX-License-Identifier: MIT
// Bit images, raster images, downloaded and stored (NV) images.
#include <algorithm>
#include <string>
#include <vector>

#include "escpos/commands.h"
#include "machine/nv_store.h"

namespace quorvel::printer {

// ESC * m nL nH d...: a line of bit image, column by column.
QVP_MEASURE(measure_esc_bit_image) {
    if (n < 5) return {};
    const int m = p[2];
    const bool tall = m == 32 || m == 33;
    if (m != 0 && m != 1 && !tall) return {5, 0, nullptr};  // unknown mode: header only
    const uint64_t bytes = static_cast<uint64_t>(u16(p + 3)) * (tall ? 3 : 1);
    if (bytes > limits.max_raster_bytes) return {5, bytes, "bit image over the size cap"};
    return {5, bytes, nullptr};
}
QVP_HANDLER(esc_bit_image) {
    const int m = p[2], cols = u16(p + 3);
    const bool tall = m == 32 || m == 33;
    if (m != 0 && m != 1 && !tall) {
        c.unknown(p, len, "ESC * mode");
        return;
    }
    // Column-major: each column is 1 or 3 bytes, most significant bit on top.
    // At 203 dpi the single-density modes print each dot twice as wide, and
    // the 8-dot modes three times as tall.
    const int xs = (m == 0 || m == 32) ? 2 : 1, ys = tall ? 1 : 3;
    const int dots = tall ? 24 : 8;
    Bitmap img(cols * xs, dots * ys);
    const uint8_t* d = p + 5;
    for (int x = 0; x < cols; ++x)
        for (int k = 0; k < dots; ++k) {
            const uint8_t b = d[static_cast<size_t>(x) * (dots / 8) + k / 8];
            if ((b >> (7 - (k & 7))) & 1) img.fill_rect(x * xs, k * ys, xs, ys, true);
        }
    c.r.put_image(std::move(img));
    JOURNAL_COMMAND(c, p, len, "ESC * " + num(m),
                    "bit image, " + num(cols) + " columns of " + num(dots) + " dots");
}

// GS v 0 m xL xH yL yH d...: raster image, row by row.
QVP_MEASURE(measure_gs_raster) {
    if (n < 3) return {};
    if (p[2] != '0') return {3, 0, nullptr};
    if (n < 8) return {};
    const uint64_t bytes = static_cast<uint64_t>(u16(p + 4)) * u16(p + 6);
    if (bytes > limits.max_raster_bytes)
        return {8, bytes, "raster image over the size cap; not printed"};
    return {8, bytes, nullptr};
}
QVP_HANDLER(gs_raster) {
    if (len == 3) {
        c.unknown(p, 3, "GS v function");
        return;
    }
    const int m = p[3] & 3, xb = u16(p + 4), h = u16(p + 6);
    c.r.raster(p + 8, xb, h, (m & 1) ? 2 : 1, (m & 2) ? 2 : 1);
    JOURNAL_COMMAND(c, p, len, "GS v 0 " + num(p[3]),
                    "raster image " + num(xb * 8) + "x" + num(h) + " dots");
}

// GS * x y d...: define a downloaded image of x*y*8 bytes; not kept.
QVP_MEASURE(measure_gs_define_downloaded) {
    (void)limits;
    if (n < 4) return {};
    return {4, static_cast<uint64_t>(p[2]) * p[3] * 8, "define downloaded image (not kept)"};
}

QVP_HANDLER(gs_print_downloaded) {
    c.r.placeholder("DOWNLOADED IMAGE", 288, 72);
    JOURNAL_COMMAND(c, p, len, "GS / " + num(p[2]),
                    "print downloaded image: not kept, placeholder drawn");
}

namespace {

// An image placed on the paper like a raster image, scaled 1 or 2 each way.
void print_image(CommandContext& c, const Bitmap& image, int xs, int ys) {
    if (image.empty()) return;
    c.r.raster(image.row(0), image.stride(), image.height(), xs, ys);
}

// Column format: each column of `height` dots is (height + 7) / 8 bytes, top first.
Bitmap from_columns(const uint8_t* d, int width, int height) {
    Bitmap b(width, height);
    const int per_column = (height + 7) / 8;
    for (int x = 0; x < width; ++x)
        for (int y = 0; y < height; ++y)
            if ((d[static_cast<size_t>(x) * per_column + y / 8] >> (7 - (y & 7))) & 1) b.set(x, y);
    return b;
}

// Raster format: rows of (width + 7) / 8 bytes, most significant bit first.
Bitmap from_rows(const uint8_t* d, int width, int height) {
    Bitmap b(width, height);
    const size_t stride = static_cast<size_t>((width + 7) / 8);
    for (int y = 0; y < height; ++y) std::copy(d + y * stride, d + (y + 1) * stride, b.row(y));
    return b;
}

std::string size_text(const Bitmap& b) {
    return num(b.width()) + "x" + num(b.height()) + " dots";
}

}  // namespace

// FS p n m: print stored image n; m 1 doubles the width, 2 the height.
QVP_HANDLER(fs_print_nv) {
    const int number = p[2], m = digit(p[3]) & 3;
    const int xs = (m & 1) ? 2 : 1, ys = (m & 2) ? 2 : 1;
    const ImagePtr image = c.nv ? c.nv->bit_image(number) : nullptr;
    if (!image) {
        JOURNAL_COMMAND(c, p, len, "FS p " + num(number) + " " + num(p[3]),
                        "print stored image " + num(number) + ": not defined; nothing printed");
        return;
    }
    JOURNAL_COMMAND(c, p, len, "FS p " + num(number) + " " + num(p[3]),
                    "print stored image " + num(number) + ", " + size_text(*image) +
                        (m ? ", scaled " + num(xs) + "x" + num(ys) : std::string()));
    print_image(c, *image, xs, ys);
}

namespace {
// The last FS q image is in: the set replaces the stored one.
void store_fsq_images(CommandContext& c) {
    if (c.fsq_left > 0) return;
    std::string error;
    if (c.nv && !c.nv->replace_bit_images(std::move(c.fsq_images), &error))
        c.note("stored images not saved: " + error);
    c.fsq_images.clear();
}
}  // namespace

// FS q n: define n stored images, replacing every one defined before. Each
// follows as xL xH yL yH and x*y*8 bytes (fs_define_nv_next).
QVP_HANDLER(fs_define_nv) {
    c.fsq_left = p[2];
    c.fsq_images.clear();
    JOURNAL_COMMAND(c, p, len, "FS q " + num(p[2]), "define " + num(p[2]) + " stored images");
    store_fsq_images(c);  // FS q 0 clears them all
}

size_t fs_define_nv_next(CommandContext& c, const uint8_t* p, size_t n) {
    if (n < 4) return 0;
    const int x = u16(p), y = u16(p + 2);
    if (x < 1 || x > 1023 || y < 1 || y > 288) {
        c.fsq_left = 0;
        c.fsq_images.clear();
        c.unknown(p, 4, "FS q image size (out of range; definition abandoned)");
        return 4;
    }
    const size_t bytes = static_cast<size_t>(x) * y * 8;
    if (bytes > c.limits.max_raster_bytes) {
        --c.fsq_left;
        c.fsq_images.emplace_back();  // its number stays taken, empty
        const size_t used =
            c.skip_payload(p, 4, bytes, "(FS q)", "stored image over the size cap; not kept");
        store_fsq_images(c);
        return used;
    }
    if (n < 4 + bytes) return 0;
    --c.fsq_left;
    // Column by column: x*8 columns, each y bytes of 8 dots, top first.
    c.fsq_images.push_back(from_columns(p + 4, x * 8, y * 8));
    JOURNAL_COMMAND(c, p, 4 + bytes, "(FS q)",
                    "stored image " + num(static_cast<int>(c.fsq_images.size())) + ": " +
                        size_text(c.fsq_images.back()));
    store_fsq_images(c);
    return 4 + bytes;
}

// GS 8 L p1 p2 p3 p4 m fn ...: as GS ( L with a 32-bit count. Held whole up
// to the raster cap (definitions) or the command cap (the rest); longer ones
// are skipped unread.
QVP_MEASURE(measure_gs8_graphics) {
    if (n < 7) return {};
    const uint64_t len = static_cast<uint64_t>(p[3]) | (static_cast<uint64_t>(p[4]) << 8) |
                         (static_cast<uint64_t>(p[5]) << 16) | (static_cast<uint64_t>(p[6]) << 24);
    if (len < 2) return {7, len, "graphics function (not emulated)"};  // no m fn to read
    if (n < 9) return {};
    const int fn = p[8];
    const bool define = fn == 67 || fn == 68 || fn == 83 || fn == 84 || fn == 112 || fn == 113;
    if (len > (define ? limits.max_raster_bytes + 16 : limits.max_command_bytes))
        return {7, len, "graphics function over the size cap; skipped"};
    return {7, len, nullptr};
}

namespace {

// One GS ( L / GS 8 L call: its bytes, the arguments after the header
// (`a`, from m on) and the journal's name for it.
struct GraphicsCall {
    CommandContext& c;
    const uint8_t* p;
    size_t len;
    const uint8_t* a;
    size_t na;
    int fn;
    std::string head;

    void fail(const std::string& why) {
        ++c.counters.rejected;
        JOURNAL_COMMAND(c, p, len, head, why);
    }
};

// The bytes of a w x h graphic: column format (h rounded up to bytes per
// column) or raster format (w rounded up to bytes per row).
size_t graphic_bytes(bool columns, int w, int h) {
    return columns ? static_cast<size_t>(w) * ((h + 7) / 8) : static_cast<size_t>((w + 7) / 8) * h;
}

// fn 65/81: delete every NV / download graphic; fn 66/82: one, by key.
void delete_graphics(GraphicsCall& g) {
    CommandContext& c = g.c;
    std::string error;
    if (g.fn == 65 || g.fn == 81) {
        const bool nv = g.fn == 65;
        if (c.nv && !c.nv->delete_all_graphics(nv, &error)) c.note("not deleted: " + error);
        JOURNAL_COMMAND(c, g.p, g.len, g.head,
                        nv ? "delete every NV graphic" : "delete every download graphic");
        return;
    }
    if (g.na < 4) return g.fail("too short");
    const bool nv = g.fn == 66;
    if (c.nv && !c.nv->delete_graphic(nv, NvStore::key(g.a[2], g.a[3]), &error))
        c.note("not deleted: " + error);
    JOURNAL_COMMAND(
        c, g.p, g.len, g.head,
        std::string("delete ") + (nv ? "NV" : "download") + " graphic " + quoted(g.a + 2, 2));
}

// fn 67/68 (NV), 83/84 (download): a kc1 kc2 b xL xH yL yH c d..., a plane
// per colour; 68 and 84 in column format.
void define_graphic(GraphicsCall& g) {
    CommandContext& c = g.c;
    const uint8_t* a = g.a;
    if (g.na < 11) return g.fail("definition too short; not kept");
    const bool nv = g.fn == 67 || g.fn == 68, columns = g.fn == 68 || g.fn == 84;
    const int w = u16(a + 6), h = u16(a + 8);
    if (w < 1 || w > 8192 || h < 1 || h > 2304) return g.fail("graphic size out of range");
    const size_t bytes = graphic_bytes(columns, w, h);
    if (g.na < 11 + bytes) return g.fail("graphic data short; not kept");
    // The first colour plane (a monochrome graphic has only that one).
    Bitmap image = columns ? from_columns(a + 11, w, h) : from_rows(a + 11, w, h);
    const std::string text = std::string("define ") + (nv ? "NV" : "download") + " graphic " +
                             quoted(a + 3, 2) + ", " + size_text(image);
    const long capacity = c.profile.nv_graphics_bytes;
    if (nv && capacity > 0 && c.nv &&
        c.nv->graphics_bytes(true) + bytes > static_cast<size_t>(capacity))
        return g.fail(text + ": NV graphics memory full (" + num(static_cast<int>(capacity)) +
                      " bytes on this model); not kept");
    std::string error;
    if (c.nv && !c.nv->define_graphic(nv, NvStore::key(a[3], a[4]), std::move(image), &error))
        c.note("graphic not saved: " + error);
    JOURNAL_COMMAND(c, g.p, g.len, g.head, text);
}

// fn 69 (NV), 85 (download): kc1 kc2 x y, x and y 2 to double.
void print_graphic(GraphicsCall& g) {
    CommandContext& c = g.c;
    if (g.na < 6) return g.fail("too short");
    const bool nv = g.fn == 69;
    const int xs = g.a[4] == 2 ? 2 : 1, ys = g.a[5] == 2 ? 2 : 1;
    const ImagePtr image = c.nv ? c.nv->graphic(nv, NvStore::key(g.a[2], g.a[3])) : nullptr;
    if (!image) {
        JOURNAL_COMMAND(c, g.p, g.len, g.head,
                        "print graphic " + quoted(g.a + 2, 2) + ": not defined; nothing printed");
        return;
    }
    JOURNAL_COMMAND(c, g.p, g.len, g.head,
                    "print graphic " + quoted(g.a + 2, 2) + ", " + size_text(*image));
    print_image(c, *image, xs, ys);
}

// fn 112/113: into the print buffer, a bx by c xL xH yL yH d...; 113 in
// column format.
void buffer_graphic(GraphicsCall& g) {
    CommandContext& c = g.c;
    const uint8_t* a = g.a;
    if (g.na < 10) return g.fail("too short");
    const int w = u16(a + 6), h = u16(a + 8);
    if (w < 1 || w > 2400 || h < 1 || h > 2400) return g.fail("graphic size out of range");
    const bool columns = g.fn == 113;
    if (g.na < 10 + graphic_bytes(columns, w, h)) return g.fail("graphic data short; not kept");
    c.buffer_graphic = columns ? from_columns(a + 10, w, h) : from_rows(a + 10, w, h);
    c.buffer_graphic_xs = a[3] == 2 ? 2 : 1;
    c.buffer_graphic_ys = a[4] == 2 ? 2 : 1;
    JOURNAL_COMMAND(c, g.p, g.len, g.head,
                    "graphic into the print buffer, " + size_text(c.buffer_graphic));
}

// fn 48/51: NV graphics capacity / what is left of it. False on a model
// that does not say (no capacity in its profile).
bool send_nv_capacity(GraphicsCall& g) {
    CommandContext& c = g.c;
    const long capacity = c.profile.nv_graphics_bytes;
    if (capacity <= 0) return false;
    const long used = c.nv ? static_cast<long>(c.nv->graphics_bytes(true)) : 0;
    const long value = g.fn == 48 ? capacity : std::max(0L, capacity - used);
    JOURNAL_COMMAND(c, g.p, g.len, g.head,
                    std::string(g.fn == 48 ? "transmit NV graphics capacity: "
                                           : "transmit NV graphics remaining: ") +
                        std::to_string(value) + " bytes");
    std::vector<uint8_t> out{0x37, static_cast<uint8_t>(g.fn == 48 ? 0x30 : 0x31)};
    for (char d : std::to_string(value)) out.push_back(static_cast<uint8_t>(d));
    out.push_back(0);
    c.send(out);
    return true;
}

// fn 2/50: print the graphic held in the print buffer, and let it go.
void print_buffer_graphic(GraphicsCall& g) {
    CommandContext& c = g.c;
    JOURNAL_COMMAND(c, g.p, g.len, g.head,
                    c.buffer_graphic.empty()
                        ? std::string("print the buffer graphic: none held")
                        : "print the buffer graphic, " + size_text(c.buffer_graphic));
    print_image(c, c.buffer_graphic, c.buffer_graphic_xs, c.buffer_graphic_ys);
    c.buffer_graphic = Bitmap();
}

}  // namespace

// GS ( L pL pH m fn ... / GS 8 L p1..p4 m fn ...: graphics. fn 67/68 define
// an NV graphic (raster / column format), 69 prints it, 65/66 delete; fn
// 83/84/85, 81/82 do the same for download graphics; fn 112/113 put a
// graphic in the print buffer and fn 50 prints it.
QVP_HANDLER(gs_graphics) {
    const bool long_form = p[1] == '8';
    const size_t header = long_form ? 7 : 5;
    const char* mnemonic = long_form ? "GS 8 L" : "GS ( L";
    const size_t na = len - header;
    if (na < 2) {
        c.unknown(p, len, std::string(mnemonic) + " (too short)");
        return;
    }
    const int fn = p[header + 1];
    GraphicsCall g{c, p, len, p + header, na, fn, std::string(mnemonic) + " " + num(fn)};
    switch (fn) {
        case 65:
        case 81:
        case 66:
        case 82:
            return delete_graphics(g);
        case 67:
        case 68:
        case 83:
        case 84:
            return define_graphic(g);
        case 69:
        case 85:
            return print_graphic(g);
        case 112:
        case 113:
            return buffer_graphic(g);
        case 48:
        case 51:
            if (send_nv_capacity(g)) return;
            break;
        case 2:
        case 50:
            return print_buffer_graphic(g);
        default:
            break;
    }
    JOURNAL_COMMAND(c, p, len, g.head, "graphics function (ignored)");
}

}  // namespace quorvel::printer

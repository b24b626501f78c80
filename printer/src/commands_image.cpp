// Bit images, raster images, downloaded and stored (NV) images.
#include "commands.h"

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

// FS p n m: print stored image n.
QVP_HANDLER(fs_print_nv) {
    const int img = p[2], m = p[3] & 3;
    const int xs = (m & 1) ? 2 : 1, ys = (m & 2) ? 2 : 1;
    c.r.placeholder("NV IMAGE " + num(img), 192 * xs, 96 * ys);
    JOURNAL_COMMAND(c, p, len, "FS p " + num(img) + " " + num(p[3]),
                    "print stored image " + num(img) + ": not defined here, placeholder drawn");
}

// FS q n: define n stored images; each follows as xL xH yL yH and its data.
QVP_HANDLER(fs_define_nv) {
    c.fsq_left = p[2];
    c.fsq_index = 1;
    JOURNAL_COMMAND(c, p, len, "FS q " + num(p[2]),
                    "define " + num(p[2]) + " stored images (not kept)");
}

size_t fs_define_nv_next(CommandContext& c, const uint8_t* p, size_t n) {
    if (n < 4) return 0;
    const int x = u16(p), y = u16(p + 2);
    --c.fsq_left;
    if (x < 1 || x > 1023 || y < 1 || y > 288) {
        c.fsq_left = 0;
        c.unknown(p, 4, "FS q image size (out of range; definition abandoned)");
        return 4;
    }
    JOURNAL_COMMAND(c, p, 4, "(FS q)",
                    "stored image " + num(x * 8) + "x" + num(y * 8) + " dots (not kept)");
    c.skip = static_cast<uint64_t>(x) * y * 8;
    return 4;
}

// GS ( L / GS 8 L: graphics functions.
QVP_MEASURE(measure_gs8_graphics) {
    (void)limits;
    if (n < 7) return {};
    const uint64_t len = static_cast<uint64_t>(p[3]) | (static_cast<uint64_t>(p[4]) << 8) |
                         (static_cast<uint64_t>(p[5]) << 16) | (static_cast<uint64_t>(p[6]) << 24);
    return {7, len, "graphics function (not emulated)"};
}
QVP_HANDLER(gs_graphics) {
    JOURNAL_COMMAND(c, p, len, "GS ( L", "extended function (ignored)");
}

}  // namespace quorvel::printer

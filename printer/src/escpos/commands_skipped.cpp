// SPDX-License-Identifier: MIT
// Commands that are only journaled and skipped: the length measures of the
// irregular ones. Their table rows have no handler.
#include "escpos/commands.h"

namespace quorvel::printer {
namespace {
uint32_t u32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
}  // namespace

// A function the table does not know within a known block command: its
// length is known, so it is skipped whole and counted as unknown.
QVP_HANDLER(unknown_function) {
    c.unknown(p, len, std::string("GS ( ") + static_cast<char>(p[2]) + " function");
}

// GS C 0 n m (5), GS C 1 aL aH bL bH n r (9), GS C 2 nL nH (5),
// GS C ; sa ; sb ; sn ; sr ; sc ; (five ';'-ended fields, at most 6 bytes each).
QVP_MEASURE(measure_gs_counter) {
    (void)limits;
    if (n < 3) return {};
    switch (p[2]) {
        case '0':
        case '2':
            return {n < 5 ? size_t{0} : size_t{5}, 0, nullptr};
        case '1':
            return {n < 9 ? size_t{0} : size_t{9}, 0, nullptr};
        case ';': {
            int fields = 0;
            size_t k = 3;
            for (; k < n && k < 3 + 5 * 7 && fields < 5; ++k)
                if (p[k] == ';') ++fields;
            if (fields < 5 && k == n && k < 3 + 5 * 7) return {};
            return {k, 0, nullptr};
        }
        default:
            return {3, 0, nullptr};
    }
}

// GS Q 0 m xL xH yL yH d...: x dots wide, y bytes tall, column by column.
QVP_MEASURE(measure_gs_variable_image) {
    (void)limits;
    if (n < 8) return {};
    const uint64_t bytes = static_cast<uint64_t>(u16(p + 4)) * u16(p + 6);
    return {8, bytes, "variable-size bit image (not printed)"};
}

// GS D m fn a kc1 kc2 b c BMP...: the BMP file carries its own size in bytes 2-5.
QVP_MEASURE(measure_gs_bmp_graphics) {
    (void)limits;
    if (n < 3) return {};
    if (p[2] != '0') return {3, 0, nullptr};
    if (n < 15) return {};
    const uint64_t bmp = u32(p + 11);
    return {9, bmp, "BMP graphics (not kept)"};
}

// FS g 1 m a1..a4 nL nH d... writes user NV memory; FS g 2 m a1..a4 nL nH reads it.
QVP_MEASURE(measure_fs_user_memory) {
    (void)limits;
    if (n < 3) return {};
    if (p[2] != '1' && p[2] != '2') return {3, 0, nullptr};
    if (n < 10) return {};
    if (p[2] == '2') return {10, 0, nullptr};
    return {10, static_cast<uint64_t>(u16(p + 8)), "user NV memory (not kept)"};
}

}  // namespace quorvel::printer

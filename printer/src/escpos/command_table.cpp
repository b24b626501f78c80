// SPDX-License-Identifier: MIT
#include "escpos/command_table.h"

#include <array>

#include "escpos/commands.h"

namespace quorvel::printer {
namespace {

constexpr uint8_t NUL = 0x00, HT = 0x09, LF = 0x0A, FF = 0x0C, CR = 0x0D, DLE = 0x10, DC2 = 0x12,
                  CAN = 0x18, ESC = 0x1B, FS = 0x1C, GS = 0x1D;
constexpr Family TEXT = Family::TEXT, LAYOUT = Family::LAYOUT, IMAGE = Family::IMAGE,
                 BARCODE = Family::BARCODE, SYMBOL2D = Family::SYMBOL2D, DEVICE = Family::DEVICE,
                 SKIPPED = Family::SKIPPED;

constexpr CommandRow fixed(uint8_t lead, int16_t second, int16_t third, uint16_t size, Handler h,
                           Family f, const char* mnemonic, const char* meaning = "") {
    return {lead, second, third, Length::FIXED, size, nullptr, h, f, mnemonic, meaning};
}
constexpr CommandRow measured(uint8_t lead, int16_t second, int16_t third, Measure m, Handler h,
                              Family f, const char* mnemonic, const char* meaning = "") {
    return {lead, second, third, Length::MEASURED, 0, m, h, f, mnemonic, meaning};
}
constexpr CommandRow block16(uint8_t lead, int16_t second, int16_t third, Handler h, Family f,
                             const char* mnemonic, const char* meaning = "") {
    return {lead, second, third, Length::BLOCK16, 0, nullptr, h, f, mnemonic, meaning};
}
constexpr CommandRow block32(uint8_t lead, int16_t second, int16_t third, Handler h, Family f,
                             const char* mnemonic, const char* meaning = "") {
    return {lead, second, third, Length::BLOCK32, 0, nullptr, h, f, mnemonic, meaning};
}

// Rows with the same lead and second byte stand together, the specific third
// bytes first and an ANY row (if any) last. Rows without a handler are
// journaled with their meaning and skipped by their length.
// clang-format off
constexpr CommandRow ROWS[] = {
    // Single bytes.
    fixed(HT,   NONE, ANY, 1, horizontal_tab,  LAYOUT, "HT"),
    fixed(LF,   NONE, ANY, 1, line_feed,       LAYOUT, "LF"),
    fixed(FF,   NONE, ANY, 1, form_feed,       LAYOUT, "FF"),
    measured(CR, NONE, ANY, measure_carriage_return, carriage_return, LAYOUT, "CR"),
    fixed(CAN,  NONE, ANY, 1, cancel_page_area, LAYOUT, "CAN"),
    fixed(NUL,  NONE, ANY, 1, nullptr, SKIPPED, "NUL", "ignored"),

    // DLE: real-time commands, answered at once.
    measured(DLE, 0x04, ANY, measure_dle_status, dle_status, DEVICE, "DLE EOT"),
    fixed(DLE, 0x05, ANY, 3, dle_recover, DEVICE, "DLE ENQ"),
    measured(DLE, 0x14, ANY, measure_dle_realtime_request, dle_realtime_request, DEVICE, "DLE DC4"),

    // DC2.
    fixed(DC2, 'T', ANY, 2, dc2_self_test, DEVICE, "DC2 T"),

    // ESC.
    fixed(ESC, 0x0C, ANY, 2, esc_print_page, LAYOUT, "ESC FF"),
    fixed(ESC, ' ', ANY, 3, esc_char_spacing, TEXT, "ESC SP"),
    fixed(ESC, '!', ANY, 3, esc_print_mode, TEXT, "ESC !"),
    fixed(ESC, '$', ANY, 4, esc_absolute_position, LAYOUT, "ESC $"),
    fixed(ESC, '%', ANY, 3, esc_user_chars_on, TEXT, "ESC %"),
    fixed(ESC, '&', ANY, 5, esc_define_user_chars, TEXT, "ESC &"),
    block16(ESC, '(', ANY, nullptr, SKIPPED, "ESC (", "extended function (ignored)"),
    measured(ESC, '*', ANY, measure_esc_bit_image, esc_bit_image, IMAGE, "ESC *"),
    fixed(ESC, '-', ANY, 3, esc_underline, TEXT, "ESC -"),
    fixed(ESC, '2', ANY, 2, esc_default_line_spacing, LAYOUT, "ESC 2"),
    fixed(ESC, '3', ANY, 3, esc_line_spacing, LAYOUT, "ESC 3"),
    fixed(ESC, '<', ANY, 2, nullptr, SKIPPED, "ESC <", "return home (ignored)"),
    fixed(ESC, '=', ANY, 3, nullptr, SKIPPED, "ESC =", "select peripheral device"),
    fixed(ESC, '?', ANY, 3, nullptr, SKIPPED, "ESC ?", "cancel user-defined character"),
    fixed(ESC, '@', ANY, 2, esc_initialize, DEVICE, "ESC @"),
    measured(ESC, 'D', ANY, measure_esc_tab_stops, esc_tab_stops, LAYOUT, "ESC D"),
    fixed(ESC, 'E', ANY, 3, esc_bold, TEXT, "ESC E"),
    fixed(ESC, 'G', ANY, 3, esc_bold, TEXT, "ESC G"),
    fixed(ESC, 'J', ANY, 3, esc_feed_dots, LAYOUT, "ESC J"),
    fixed(ESC, 'K', ANY, 3, nullptr, SKIPPED, "ESC K", "print and reverse feed (ignored)"),
    fixed(ESC, 'L', ANY, 2, esc_page_mode, LAYOUT, "ESC L"),
    fixed(ESC, 'M', ANY, 3, esc_font, TEXT, "ESC M"),
    fixed(ESC, 'R', ANY, 3, esc_international_set, TEXT, "ESC R"),
    fixed(ESC, 'S', ANY, 2, esc_standard_mode, LAYOUT, "ESC S"),
    fixed(ESC, 'T', ANY, 3, esc_page_direction, LAYOUT, "ESC T"),
    fixed(ESC, 'U', ANY, 3, nullptr, SKIPPED, "ESC U", "unidirectional printing (ignored)"),
    fixed(ESC, 'V', ANY, 3, esc_rotation, TEXT, "ESC V"),
    fixed(ESC, 'W', ANY, 10, esc_page_area, LAYOUT, "ESC W"),
    measured(ESC, 'Z', ANY, measure_esc_print_2d, esc_print_2d, SYMBOL2D, "ESC Z"),
    fixed(ESC, '\\', ANY, 4, esc_relative_position, LAYOUT, "ESC \\"),
    fixed(ESC, 'a', ANY, 3, esc_justification, LAYOUT, "ESC a"),
    fixed(ESC, 'c', ANY, 4, nullptr, SKIPPED, "ESC c", "panel and sensor settings (ignored)"),
    fixed(ESC, 'd', ANY, 3, esc_feed_lines, LAYOUT, "ESC d"),
    fixed(ESC, 'e', ANY, 3, nullptr, SKIPPED, "ESC e", "print and reverse feed lines (ignored)"),
    fixed(ESC, 'i', ANY, 2, esc_cut, DEVICE, "ESC i"),
    fixed(ESC, 'm', ANY, 2, esc_cut, DEVICE, "ESC m"),
    fixed(ESC, 'p', ANY, 5, esc_drawer_pulse, DEVICE, "ESC p"),
    fixed(ESC, 'r', ANY, 3, nullptr, SKIPPED, "ESC r", "print colour (one colour only)"),
    fixed(ESC, 't', ANY, 3, esc_code_table, TEXT, "ESC t"),
    fixed(ESC, 'u', ANY, 3, esc_drawer_status, DEVICE, "ESC u"),
    fixed(ESC, 'v', ANY, 2, esc_paper_status, DEVICE, "ESC v"),
    fixed(ESC, '{', ANY, 3, esc_upside_down, TEXT, "ESC {"),

    // FS.
    fixed(FS, '!', ANY, 3, fs_print_mode, TEXT, "FS !"),
    fixed(FS, '&', ANY, 2, fs_kanji_on, TEXT, "FS &"),
    block16(FS, '(', ANY, nullptr, SKIPPED, "FS (", "extended function (ignored)"),
    fixed(FS, '-', ANY, 3, fs_underline, TEXT, "FS -"),
    fixed(FS, '.', ANY, 2, fs_kanji_off, TEXT, "FS ."),
    fixed(FS, '2', ANY, 4 + 72, nullptr, SKIPPED, "FS 2", "define a user double-byte character (not kept; the font's glyph prints)"),
    fixed(FS, '?', ANY, 4, nullptr, SKIPPED, "FS ?", "cancel a user double-byte character (none kept)"),
    fixed(FS, 'C', ANY, 3, fs_code_system, TEXT, "FS C"),
    fixed(FS, 'S', ANY, 4, fs_spacing, TEXT, "FS S"),
    fixed(FS, 'W', ANY, 3, fs_quadruple, TEXT, "FS W"),
    measured(FS, 'g', ANY, measure_fs_user_memory, nullptr, SKIPPED, "FS g", "user NV memory (not kept)"),
    fixed(FS, 'p', ANY, 4, fs_print_nv, IMAGE, "FS p"),
    fixed(FS, 'q', ANY, 3, fs_define_nv, IMAGE, "FS q"),

    // GS.
    fixed(GS, '!', ANY, 3, gs_char_size, TEXT, "GS !"),
    fixed(GS, '$', ANY, 4, gs_page_vertical, LAYOUT, "GS $"),
    block16(GS, '(', 'A', nullptr, SKIPPED, "GS ( A", "test print (ignored)"),
    block16(GS, '(', 'C', nullptr, SKIPPED, "GS ( C", "user NV memory (not kept)"),
    block16(GS, '(', 'D', nullptr, SKIPPED, "GS ( D", "real-time command switches (ignored)"),
    block16(GS, '(', 'E', gs_user_setup, DEVICE, "GS ( E", "user setup (ignored)"),
    block16(GS, '(', 'H', gs_process_id, DEVICE, "GS ( H"),
    block16(GS, '(', 'K', nullptr, SKIPPED, "GS ( K", "print control (ignored)"),
    block16(GS, '(', 'L', gs_graphics, IMAGE, "GS ( L"),
    block16(GS, '(', 'M', nullptr, SKIPPED, "GS ( M", "printer settings (ignored)"),
    block16(GS, '(', 'N', nullptr, SKIPPED, "GS ( N", "character colour (one colour only)"),
    block16(GS, '(', 'P', nullptr, SKIPPED, "GS ( P", "page-mode print area (ignored)"),
    block16(GS, '(', 'Q', nullptr, SKIPPED, "GS ( Q", "graphics drawing (ignored)"),
    block16(GS, '(', 'k', gs_symbol_function, SYMBOL2D, "GS ( k"),
    block16(GS, '(', 'z', nullptr, SKIPPED, "GS ( z", "extended function (ignored)"),
    block16(GS, '(', ANY, unknown_function, SKIPPED, "GS ("),
    measured(GS, '*', ANY, measure_gs_define_downloaded, nullptr, IMAGE, "GS *", "define downloaded image (not kept)"),
    fixed(GS, '/', ANY, 3, gs_print_downloaded, IMAGE, "GS /"),
    measured(GS, '8', 'L', measure_gs8_graphics, gs_graphics, IMAGE, "GS 8 L"),
    block32(GS, '8', ANY, nullptr, SKIPPED, "GS 8", "graphics function (not emulated)"),
    fixed(GS, ':', ANY, 2, nullptr, SKIPPED, "GS :", "macro definition start/end (ignored)"),
    fixed(GS, 'B', ANY, 3, gs_reverse, TEXT, "GS B"),
    measured(GS, 'C', ANY, measure_gs_counter, nullptr, SKIPPED, "GS C", "serial counter (ignored)"),
    measured(GS, 'D', ANY, measure_gs_bmp_graphics, nullptr, SKIPPED, "GS D", "BMP graphics (not kept)"),
    fixed(GS, 'E', ANY, 3, nullptr, SKIPPED, "GS E", "print density (ignored)"),
    fixed(GS, 'H', ANY, 3, gs_hri_position, BARCODE, "GS H"),
    fixed(GS, 'I', ANY, 3, gs_printer_id, DEVICE, "GS I"),
    fixed(GS, 'L', ANY, 4, gs_left_margin, LAYOUT, "GS L"),
    fixed(GS, 'P', ANY, 4, nullptr, SKIPPED, "GS P", "motion units (ignored)"),
    measured(GS, 'Q', '0', measure_gs_variable_image, nullptr, SKIPPED, "GS Q 0", "variable-size bit image (not printed)"),
    fixed(GS, 'T', ANY, 3, nullptr, SKIPPED, "GS T", "print position to the line start (ignored)"),
    measured(GS, 'V', ANY, measure_gs_cut, gs_cut, DEVICE, "GS V"),
    fixed(GS, 'W', ANY, 4, gs_print_area_width, LAYOUT, "GS W"),
    fixed(GS, 'Z', ANY, 3, gs_select_2d, SYMBOL2D, "GS Z"),
    fixed(GS, '\\', ANY, 4, gs_page_vertical_relative, LAYOUT, "GS \\"),
    fixed(GS, '^', ANY, 5, nullptr, SKIPPED, "GS ^", "run macro (ignored)"),
    fixed(GS, 'a', ANY, 3, gs_auto_status, DEVICE, "GS a"),
    fixed(GS, 'b', ANY, 3, nullptr, SKIPPED, "GS b", "smoothing (ignored)"),
    fixed(GS, 'c', ANY, 2, nullptr, SKIPPED, "GS c", "print counter (ignored)"),
    fixed(GS, 'f', ANY, 3, gs_hri_font, BARCODE, "GS f"),
    fixed(GS, 'g', ANY, 5, nullptr, SKIPPED, "GS g", "maintenance counter (ignored)"),
    fixed(GS, 'h', ANY, 3, gs_bar_height, BARCODE, "GS h"),
    fixed(GS, 'j', ANY, 3, nullptr, SKIPPED, "GS j", "automatic ink status back (no ink; ignored)"),
    measured(GS, 'k', ANY, measure_gs_barcode, gs_barcode, BARCODE, "GS k"),
    fixed(GS, 'r', ANY, 3, gs_status, DEVICE, "GS r"),
    measured(GS, 'v', ANY, measure_gs_raster, gs_raster, IMAGE, "GS v"),
    fixed(GS, 'w', ANY, 3, gs_module_width, BARCODE, "GS w"),
    fixed(GS, 'z', '0', 5, nullptr, SKIPPED, "GS z 0", "online recovery wait time (ignored)"),
};
// clang-format on

constexpr int lead_slot(uint8_t b) {
    switch (b) {
        case DLE:
            return 1;
        case DC2:
            return 2;
        case ESC:
            return 3;
        case FS:
            return 4;
        case GS:
            return 5;
        default:
            return 0;
    }
}

// First row for each (lead, second byte); single bytes use slot 0.
struct Index {
    std::array<std::array<int16_t, 256>, 6> first;
    Index() {
        for (auto& a : first) a.fill(-1);
        for (size_t i = std::size(ROWS); i-- > 0;) {
            const CommandRow& r = ROWS[i];
            const int slot = lead_slot(r.lead);
            const int key = slot == 0 ? r.lead : r.second;
            first[slot][key] = static_cast<int16_t>(i);
        }
    }
};

const Index& index() {
    static const Index idx;
    return idx;
}

}  // namespace

std::span<const CommandRow> command_rows() {
    return ROWS;
}

const CommandRow* find_command(const uint8_t* p, size_t n, bool* need_more) {
    *need_more = false;
    const int slot = lead_slot(p[0]);
    if (slot == 0) {
        const int i = index().first[0][p[0]];
        return i < 0 ? nullptr : &ROWS[i];
    }
    if (n < 2) {
        *need_more = true;
        return nullptr;
    }
    int i = index().first[slot][p[1]];
    if (i < 0) return nullptr;
    for (; i < static_cast<int>(std::size(ROWS)) && ROWS[i].lead == p[0] && ROWS[i].second == p[1];
         ++i) {
        if (ROWS[i].third == ANY) return &ROWS[i];
        if (n < 3) {
            *need_more = true;
            return nullptr;
        }
        if (ROWS[i].third == p[2]) return &ROWS[i];
    }
    return nullptr;
}

Extent measure_command(const CommandRow& row, const uint8_t* p, size_t n,
                       const InterpreterLimits& limits) {
    switch (row.length) {
        case Length::FIXED:
            return {n >= row.size ? row.size : size_t{0}, 0, nullptr};
        case Length::BLOCK16: {
            if (n < 5) return {};
            const uint64_t len = static_cast<uint64_t>(u16(p + 3));
            if (len > limits.max_command_bytes) return {5, len, "function over the size cap"};
            return {5, len, nullptr};
        }
        case Length::BLOCK32: {
            if (n < 7) return {};
            const uint64_t len = static_cast<uint64_t>(p[3]) | (static_cast<uint64_t>(p[4]) << 8) |
                                 (static_cast<uint64_t>(p[5]) << 16) |
                                 (static_cast<uint64_t>(p[6]) << 24);
            return {7, len, row.handler ? nullptr : row.meaning};
        }
        case Length::MEASURED:
            return row.measure(p, n, limits);
    }
    return {};
}

}  // namespace quorvel::printer

// SPDX-License-Identifier: MIT
// Text and print modes: spacing, print mode bits, fonts, code tables, sizes.
#include <algorithm>

#include "escpos/commands.h"
#include "paper/codepage.h"

namespace quorvel::printer {

// ESC SP n: right-side character spacing.
QVP_HANDLER(esc_char_spacing) {
    c.r.set_char_spacing(std::min<int>(p[2], 255));
    JOURNAL_COMMAND(c, p, len, "ESC SP " + num(p[2]),
                    "right-side character spacing: " + num(p[2]) + " dots");
}

// ESC ! n: font, emphasized, double height and width, underline in one byte.
QVP_HANDLER(esc_print_mode) {
    const int m = p[2];
    c.r.set_font(m & 1);
    c.r.set_bold(m & 0x08);
    c.r.set_size(m & 0x20 ? 2 : 1, m & 0x10 ? 2 : 1);
    c.r.set_underline(m & 0x80 ? 1 : 0);
    if (!c.journal.enabled()) return void(++c.counters.commands);
    std::string what = std::string("print mode: font ") + (m & 1 ? "B" : "A");
    if (m & 0x08) what += ", emphasized";
    if (m & 0x10) what += ", double height";
    if (m & 0x20) what += ", double width";
    if (m & 0x80) what += ", underline";
    if (m & 0x46) what += " (undefined bits ignored)";
    c.log(p, len, "ESC ! " + num(m), what);
}

// ESC % n: user-defined character set on/off.
QVP_HANDLER(esc_user_chars_on) {
    JOURNAL_COMMAND(c, p, len, "ESC % " + num(p[2]),
                    "user-defined characters (not kept; resident font used)");
}

// ESC & y c1 c2: define user characters; each character follows as a width
// byte x and y*x column bytes (esc_define_user_chars_next).
QVP_HANDLER(esc_define_user_chars) {
    const int y = p[2], c1 = p[3], c2 = p[4];
    if (y < 1 || y > 3 || c1 < 32 || c2 > 126 || c1 > c2) {
        c.unknown(p, len, "ESC & parameters");
        return;
    }
    c.userchar_y = y;
    c.userchar_left = c2 - c1 + 1;
    JOURNAL_COMMAND(c, p, len, "ESC &",
                    "define user characters " + num(c1) + " to " + num(c2) + " (not kept)");
}

size_t esc_define_user_chars_next(CommandContext& c, const uint8_t* p, size_t) {
    const int x = p[0];
    --c.userchar_left;
    if (x > 12) {
        c.userchar_left = 0;
        c.unknown(p, 1, "ESC & character width (above 12; definition abandoned)");
        return 1;
    }
    JOURNAL_COMMAND(c, p, 1, "(ESC &)", "user character, " + num(x) + " dots wide (not kept)");
    c.skip = static_cast<uint64_t>(c.userchar_y) * x;
    return 1;
}

// ESC - n: underline 0, 1 or 2 dots (or '0'..'2').
QVP_HANDLER(esc_underline) {
    const int u = digit(p[2]);
    if (u <= 2) c.r.set_underline(u);
    JOURNAL_COMMAND(c, p, len, "ESC - " + num(p[2]),
                    u <= 2 ? "underline: " + num(u) + " dots" : "underline: invalid (ignored)");
}

// ESC E n / ESC G n: emphasized and double-strike look the same on a thermal head.
QVP_HANDLER(esc_bold) {
    c.r.set_bold(p[2] & 1);
    JOURNAL_COMMAND(c, p, len, std::string("ESC ") + static_cast<char>(p[1]) + " " + num(p[2]),
                    std::string(p[1] == 'E' ? "emphasized: " : "double-strike: ") + on_off(p[2]));
}

// ESC M n: font A (12x24) or B (9x17).
QVP_HANDLER(esc_font) {
    const int v = digit(p[2]);
    c.r.set_font(v == 1 ? 1 : 0);
    JOURNAL_COMMAND(c, p, len, "ESC M " + num(p[2]),
                    v == 1   ? "font B (9x17)"
                    : v == 0 ? "font A (12x24)"
                             : "font " + num(v) + " not fitted; font A");
}

// ESC R n: international character set, the national characters at
// # $ @ [ \ ] ^ ` { | } ~. An unknown n leaves the set in force.
QVP_HANDLER(esc_international_set) {
    const bool has = c.profile.has_international(p[2]);
    const bool ok = has && c.r.set_international(p[2]);
    JOURNAL_COMMAND(c, p, len, "ESC R " + num(p[2]),
                    ok ? "international character set: " + international_name(p[2])
                       : "international character set " + num(p[2]) +
                             (has ? " unknown; " : " not on this model; ") +
                             international_name(c.r.international()) + " stays");
}

// ESC V n: 90 degree rotation.
QVP_HANDLER(esc_rotation) {
    JOURNAL_COMMAND(c, p, len, "ESC V " + num(p[2]),
                    std::string("90 degree rotation ") + on_off(p[2]) + " (not emulated)");
}

// ESC t n: character code table. A page the printer lacks (Kanji,
// Hiragana, user-defined) leaves the table in force, as printers do.
QVP_HANDLER(esc_code_table) {
    const bool has = c.profile.has_code_table(p[2]);
    const bool ok = has && c.r.set_code_table(p[2]);
    JOURNAL_COMMAND(c, p, len, "ESC t " + num(p[2]),
                    ok ? "code table: " + code_table_name(p[2])
                       : "code table " + num(p[2]) +
                             (has ? " not available; " : " not on this model; ") +
                             code_table_name(c.r.code_table()) + " stays");
}

// ESC { n: upside-down printing.
QVP_HANDLER(esc_upside_down) {
    c.r.set_upside_down(p[2] & 1);
    JOURNAL_COMMAND(c, p, len, "ESC { " + num(p[2]), std::string("upside-down: ") + on_off(p[2]));
}

// GS ! n: width and height multipliers 1..8.
QVP_HANDLER(gs_char_size) {
    const int w = ((p[2] >> 4) & 7) + 1, h = (p[2] & 7) + 1;
    c.r.set_size(w, h);
    JOURNAL_COMMAND(c, p, len, "GS ! " + num(p[2]),
                    "character size: width x" + num(w) + ", height x" + num(h) +
                        " (each dot of the cell drawn " + num(w) + "x" + num(h) + ")");
}

// GS B n: white on black.
QVP_HANDLER(gs_reverse) {
    c.r.set_reverse(p[2] & 1);
    JOURNAL_COMMAND(c, p, len, "GS B " + num(p[2]),
                    std::string("white/black reverse: ") + on_off(p[2]));
}

// FS & / FS .: double-byte mode on and off. A printer without a
// double-byte encoding goes on printing through the single-byte table.
QVP_HANDLER(fs_kanji_on) {
    const bool has = c.r.set_double_byte_mode(true);
    JOURNAL_COMMAND(
        c, p, len, "FS &",
        has ? std::string("double-byte mode on (") + double_byte_name(c.r.double_byte()) + ")"
            : "double-byte mode on (no double-byte encoding; " + code_table_name(c.r.code_table()) +
                  " goes on)");
}
QVP_HANDLER(fs_kanji_off) {
    c.r.set_double_byte_mode(false);
    JOURNAL_COMMAND(c, p, len, "FS .",
                    "double-byte mode off (" + code_table_name(c.r.code_table()) + " in force)");
}

// FS C n: Japanese code system, 0 JIS (row and cell bytes), 1 or 2 Shift JIS.
QVP_HANDLER(fs_code_system) {
    const int n = digit(p[2]);
    if (n <= 2) c.r.set_japanese_jis(n == 0);
    static constexpr const char* NAME[] = {"JIS", "Shift JIS", "Shift JIS-2004"};
    JOURNAL_COMMAND(
        c, p, len, "FS C " + num(p[2]),
        std::string("Japanese code system: ") + (n <= 2 ? NAME[n] : "invalid (ignored)") +
            (c.r.double_byte() == DoubleByte::SHIFT_JIS ? "" : " (not a Japanese printer)"));
}

// FS ! n: double-byte print mode: bit 2 double width, bit 3 double height, bit 7 underline.
QVP_HANDLER(fs_print_mode) {
    DoubleByteStyle& k = c.r.double_byte_style();
    k.double_width = p[2] & 0x04;
    k.double_height = p[2] & 0x08;
    k.underline = (p[2] & 0x80) ? 1 : 0;
    JOURNAL_COMMAND(c, p, len, "FS ! " + num(p[2]),
                    std::string("double-byte print mode:") +
                        (k.double_width ? " double width" : "") +
                        (k.double_height ? " double height" : "") +
                        (k.underline ? " underline" : "") + (p[2] & 0x8C ? "" : " normal"));
}

// FS - n: double-byte underline, 0 off, 1 or 2 dots.
QVP_HANDLER(fs_underline) {
    const int n = digit(p[2]);
    if (n <= 2) c.r.double_byte_style().underline = n;
    JOURNAL_COMMAND(c, p, len, "FS - " + num(p[2]),
                    n <= 2 ? "double-byte underline: " + num(n) + " dot(s)"
                           : "double-byte underline: invalid (ignored)");
}

// FS S n1 n2: double-byte spacing left and right, in dots.
QVP_HANDLER(fs_spacing) {
    c.r.double_byte_style().left = p[2];
    c.r.double_byte_style().right = p[3];
    JOURNAL_COMMAND(c, p, len, "FS S",
                    "double-byte spacing: " + num(p[2]) + " dots left, " + num(p[3]) + " right");
}

// FS W n: double-byte quadruple size on/off.
QVP_HANDLER(fs_quadruple) {
    c.r.double_byte_style().quadruple = p[2] & 1;
    JOURNAL_COMMAND(c, p, len, "FS W " + num(p[2]),
                    std::string("double-byte quadruple size: ") + on_off(p[2]));
}

}  // namespace quorvel::printer

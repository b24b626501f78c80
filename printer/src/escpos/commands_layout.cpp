// SPDX-License-Identifier: MIT
// Layout and spacing: line ends, tabs, positions, margins, line spacing, feeds.
#include <vector>

#include "escpos/commands.h"

namespace quorvel::printer {

QVP_HANDLER(line_feed) {
    c.r.print_line();
    JOURNAL_COMMAND(c, p, len, "LF", "print and line feed");
}

// CR is one line end with an LF straight after it, and nothing on its own.
// The LF may come in the next read, so a CR waits for one more byte.
QVP_MEASURE(measure_carriage_return) {
    (void)limits;
    if (n < 2) return {};
    return {p[1] == 0x0A ? size_t{2} : size_t{1}, 0, nullptr};
}
QVP_HANDLER(carriage_return) {
    if (len == 2) {
        c.r.print_line();
        JOURNAL_COMMAND(c, p, len, "CR LF", "print and line feed");
        return;
    }
    JOURNAL_COMMAND(c, p, len, "CR", "carriage return (no effect without LF)");
}

QVP_HANDLER(horizontal_tab) {
    c.r.tab();
    JOURNAL_COMMAND(c, p, len, "HT", "horizontal tab");
}

// FF: in page mode, print the page and go back to standard mode; in
// standard mode, a line end.
QVP_HANDLER(form_feed) {
    if (c.r.page_mode()) {
        c.r.print_page(false);
        JOURNAL_COMMAND(c, p, len, "FF", "print the page, back to standard mode");
        return;
    }
    c.r.print_line();
    JOURNAL_COMMAND(c, p, len, "FF", "print and return to the line start");
}

QVP_HANDLER(esc_absolute_position) {
    c.r.set_absolute_position(u16(p + 2));
    JOURNAL_COMMAND(c, p, len, "ESC $", "absolute position: " + num(u16(p + 2)) + " dots");
}

QVP_HANDLER(esc_default_line_spacing) {
    c.r.set_line_spacing(c.r.default_line_spacing());
    JOURNAL_COMMAND(c, p, len, "ESC 2",
                    "default line spacing (" + num(c.r.default_line_spacing()) + " dots)");
}

QVP_HANDLER(esc_line_spacing) {
    c.r.set_line_spacing(p[2]);
    JOURNAL_COMMAND(c, p, len, "ESC 3 " + num(p[2]), "line spacing: " + num(p[2]) + " dots");
}

// ESC D n1 .. nk NUL: at most 32 stops, each past the one before.
QVP_MEASURE(measure_esc_tab_stops) {
    (void)limits;
    size_t k = 2;
    while (k < n && k < 2 + 33 && p[k] != 0) ++k;
    if (k == n && k < 2 + 33) return {};
    return {(k < n && p[k] == 0) ? k + 1 : k, 0, nullptr};
}
QVP_HANDLER(esc_tab_stops) {
    std::vector<int> stops;
    for (size_t i = 2; i < len && p[i] != 0 && stops.size() < 32; ++i)
        if (stops.empty() || p[i] > stops.back()) stops.push_back(p[i]);
    const int count = static_cast<int>(stops.size());
    c.r.set_tab_stops(std::move(stops));
    JOURNAL_COMMAND(c, p, len, "ESC D", "horizontal tab stops: " + num(count) + " set");
}

QVP_HANDLER(esc_feed_dots) {
    c.r.print_and_feed_dots(p[2]);
    JOURNAL_COMMAND(c, p, len, "ESC J " + num(p[2]), "print and feed " + num(p[2]) + " dots");
}

QVP_HANDLER(esc_relative_position) {
    const int d = static_cast<int16_t>(u16(p + 2));
    c.r.set_relative_position(d);
    JOURNAL_COMMAND(c, p, len, "ESC \\", "relative position: " + num(d) + " dots");
}

QVP_HANDLER(esc_justification) {
    static constexpr const char* NAMES[] = {"left", "centre", "right"};
    const int j = digit(p[2]);
    if (j <= 2) c.r.set_justification(j);
    JOURNAL_COMMAND(c, p, len, "ESC a " + num(p[2]),
                    std::string("justification: ") + (j <= 2 ? NAMES[j] : "invalid (ignored)"));
}

QVP_HANDLER(esc_feed_lines) {
    c.r.print_and_feed_lines(p[2]);
    JOURNAL_COMMAND(c, p, len, "ESC d " + num(p[2]), "print and feed " + num(p[2]) + " lines");
}

QVP_HANDLER(gs_left_margin) {
    c.r.set_left_margin(u16(p + 2));
    JOURNAL_COMMAND(c, p, len, "GS L", "left margin: " + num(u16(p + 2)) + " dots");
}

QVP_HANDLER(gs_print_area_width) {
    c.r.set_print_area_width(u16(p + 2));
    JOURNAL_COMMAND(c, p, len, "GS W", "print area width: " + num(u16(p + 2)) + " dots");
}

}  // namespace quorvel::printer

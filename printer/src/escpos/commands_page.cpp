// SPDX-License-Identifier: MIT
// Page mode: enter and leave, print area, direction, vertical position,
// print the page, clear the area.
#include "escpos/commands.h"

namespace quorvel::printer {

namespace {
constexpr const char* DIRECTION[] = {
    "left to right from the upper left", "bottom to top from the lower left",
    "right to left from the lower right", "top to bottom from the upper right"};
}  // namespace

QVP_HANDLER(esc_page_mode) {
    const bool was = c.r.page_mode();
    c.r.enter_page_mode();
    JOURNAL_COMMAND(c, p, len, "ESC L", was ? "page mode (already on)" : "page mode");
}

QVP_HANDLER(esc_standard_mode) {
    const bool was = c.r.page_mode();
    c.r.leave_page_mode();
    JOURNAL_COMMAND(c, p, len, "ESC S",
                    was ? "standard mode; the page's data is discarded" : "standard mode");
}

QVP_HANDLER(esc_page_area) {
    const int x = u16(p + 2), y = u16(p + 4), w = u16(p + 6), h = u16(p + 8);
    c.r.set_page_area(x, y, w, h);
    JOURNAL_COMMAND(c, p, len, "ESC W",
                    "page-mode print area: " + num(w) + "x" + num(h) + " dots at (" + num(x) +
                        ", " + num(y) + ")" + (w && h ? "" : ", empty (ignored)"));
}

QVP_HANDLER(esc_page_direction) {
    const int n = digit(p[2]);
    if (n <= 3) c.r.set_page_direction(n);
    JOURNAL_COMMAND(
        c, p, len, "ESC T " + num(p[2]),
        std::string("page-mode direction: ") + (n <= 3 ? DIRECTION[n] : "invalid (ignored)"));
}

QVP_HANDLER(gs_page_vertical) {
    c.r.set_page_vertical(u16(p + 2), false);
    JOURNAL_COMMAND(c, p, len, "GS $",
                    "page-mode vertical position: " + num(u16(p + 2)) + " dots" +
                        (c.r.page_mode() ? "" : " (standard mode; ignored)"));
}

QVP_HANDLER(gs_page_vertical_relative) {
    const int d = static_cast<int16_t>(u16(p + 2));
    c.r.set_page_vertical(d, true);
    JOURNAL_COMMAND(c, p, len, "GS \\",
                    "page-mode relative vertical position: " + num(d) + " dots" +
                        (c.r.page_mode() ? "" : " (standard mode; ignored)"));
}

QVP_HANDLER(esc_print_page) {
    const bool on = c.r.page_mode();
    c.r.print_page(true);
    JOURNAL_COMMAND(
        c, p, len, "ESC FF",
        on ? "print the page, stay in page mode" : "print the page (standard mode; ignored)");
}

QVP_HANDLER(cancel_page_area) {
    const bool on = c.r.page_mode();
    c.r.clear_page_area();
    JOURNAL_COMMAND(
        c, p, len, "CAN",
        on ? "clear the page-mode print area" : "clear the page area (standard mode; ignored)");
}

}  // namespace quorvel::printer

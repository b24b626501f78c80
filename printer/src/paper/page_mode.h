// SPDX-License-Identifier: MIT
// Page mode: the choices where printers differ, made once, here. The
// renderer (renderer_page.cpp) follows them; printer/README.md states them.
#pragma once

#include <algorithm>

namespace quorvel::printer::page_mode {

// ESC L's print area before any ESC W: the whole paper width, this tall.
constexpr int DEFAULT_AREA_HEIGHT = 1662;

// The tallest page kept in memory: an ESC W area is cut to it, so a page
// holds at most the paper's width × 4096 dots (295 KB at 576 dots), twice
// over (the page and the area being drawn).
constexpr int MAX_PAGE_HEIGHT = 4096;

// The vertical position (GS $, GS \, and where LF and ESC J leave it) is
// the top of the next line's cells: the first line of a fresh area has its
// top on the area's top edge and its baseline one line height below, at
// whatever size. (Printers that put the baseline at the position print the
// same page shifted up by the line's height.) A line's cells and graphics
// stand on a common baseline, as in standard mode.
inline int line_top(int position) {
    return position;
}

// After a line the position moves on by the line spacing (ESC 2 / ESC 3),
// or by n dots for ESC J n, and at least by the line's height, as paper
// moves in standard mode: a tall symbol never covers the line above it.
inline int next_position(int top, int line_height, int feed) {
    return top + std::max(feed, line_height);
}

// Bit images, raster images, barcodes (with their human-readable text) and
// 2D symbols are placed in the line like a character: at the horizontal
// position, standing on the baseline, and the position moves past them.
// Justification (ESC a), the left margin (GS L) and upside-down printing
// (ESC {) are standard-mode settings and do not move anything in a page.

// Positions and sizes are in dots: GS P motion units are not applied.

// FF prints the whole page down to the lowest area set, blank parts
// included, as the paper a real printer feeds for it.

}  // namespace quorvel::printer::page_mode

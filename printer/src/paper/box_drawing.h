// SPDX-License-Identifier: MIT
// Box-drawing and block characters drawn from line segments into the
// whole cell, so that they join up with their neighbours on every side
// whatever the font file has.
#pragma once

#include "paper/bitmap.h"

namespace quorvel::printer {

// U+2500..U+259F.
bool is_box_drawing(char32_t cp);
// Draws `cp` into a cell-sized bitmap; false for other characters.
bool draw_box_drawing(char32_t cp, Bitmap& cell);

}  // namespace quorvel::printer

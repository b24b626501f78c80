// SPDX-License-Identifier: MIT
// 1-bit PNG files of receipt pages, tagged 203 dpi.
#pragma once

#include <string>

#include "paper/bitmap.h"

namespace quorvel::printer {

struct PaperMargins {
    int left = 32;  // 80 mm paper is 640 dots; the 576-dot print area is centred
    int right = 32;
    int top = 16;
    int bottom = 24;
};

// Writes `page` on white paper with the given margins. Returns false and
// sets `error` on failure.
bool write_png(const std::string& path, const Bitmap& page, const PaperMargins& margins,
               std::string* error = nullptr);
// The same PNG in memory; empty on failure.
std::string encode_png(const Bitmap& page, const PaperMargins& margins);
// Reads a 1-bit or 8-bit grayscale PNG back (dark pixels become set bits).
bool read_png(const std::string& path, Bitmap* out, std::string* error = nullptr);

}  // namespace quorvel::printer

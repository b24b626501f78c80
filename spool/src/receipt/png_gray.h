// SPDX-License-Identifier: MIT
// A PNG file's bytes as 8-bit greyscale rows, transparent parts on white.
#pragma once

#include <string>
#include <vector>

namespace quorvel::spool {

struct GrayImage {
    int width = 0, height = 0;
    std::vector<unsigned char> pixels;  // rows packed, 0 black to 255 white
};

// False with `error` saying why (not a PNG, damaged, too large).
bool decode_png_gray(const std::string& png, int max_width, int max_height, GrayImage* out,
                     std::string* error);

// Standard base64 (padding optional, no line breaks); false when malformed.
bool decode_base64(const std::string& text, std::string* out);

}  // namespace quorvel::spool

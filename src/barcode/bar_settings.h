// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace quorvel {

// GS h n: bar height in dots.
inline std::uint8_t bar_height(int height) {
    return height == 0 ? 0x20 : height == 1 ? 0x32 : 0x50;
}

// GS w n: module width.
inline std::uint8_t module_width(int width) { return width == 1 ? 1 : width == 2 ? 2 : 3; }

}  // namespace quorvel

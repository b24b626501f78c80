// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace quorvel {

// ESC 3 n for a line-spacing index: 0 to 5 listed, anything else (negative
// included) the fixed 21 dots.
inline std::uint8_t line_spacing(int spacing) {
    static constexpr std::uint8_t table[] = {0x20, 0x28, 0x30, 0x35, 0x40, 0x45};
    auto index = static_cast<unsigned>(spacing);
    return index < sizeof table ? table[index] : 0x15;
}

// The frame shared by every text command after the opening:
// ESC 3 n (line spacing), ESC t 16 (code table WPC1252).
template <typename Cmd>
Cmd& put_text_frame(Cmd& cmd, int spacing) {
    return cmd.put(0x1B, '3', line_spacing(spacing), 0x1B, 't', 16);
}

}  // namespace quorvel

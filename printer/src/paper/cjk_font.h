// SPDX-License-Identifier: MIT
// Double-byte glyphs: a CJK outline font (WenQuanYi Zen Hei, Debian's
// fonts-wqy-zenhei) drawn by FreeType in one bit at the printer's
// double-byte cell, 24x24 for font A and 16x16 for font B.
#pragma once

#include <memory>
#include <string>

#include "paper/fonts.h"

namespace quorvel::printer {

class CjkFont {
  public:
    static constexpr int CELL[2] = {24, 16};  // square cell of font A, font B
    static constexpr const char* DEFAULT_FILE = "/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc";

    explicit CjkFont(const std::string& file = DEFAULT_FILE);
    ~CjkFont();
    CjkFont(const CjkFont&) = delete;
    CjkFont& operator=(const CjkFont&) = delete;

    // Empty when the font is ready; otherwise why not (every glyph is then a box).
    const std::string& error() const { return error_; }
    // The cell-sized glyph of `cp`; a hollow box (missing) when the font lacks it.
    const Glyph& glyph(int font, char32_t cp) const;

    // A process-wide instance with the default file, read on first use.
    static const CjkFont& shared();

  private:
    Glyph render(int font, char32_t cp) const;
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::string error_;
    mutable GlyphCache cache_;
};

}  // namespace quorvel::printer

// SPDX-License-Identifier: MIT
// The printer's two resident fonts as its head draws them: font A a
// 12x24 dot cell, font B a 9x17 dot cell. Glyphs come from bitmap fonts
// read with FreeType and are fitted into the cell whatever strike the file
// has; box-drawing characters are drawn from lines so that they join up.
#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "paper/bitmap.h"

namespace quorvel::printer {

struct FontPaths {
    std::string font_a;  // empty: the default file (Terminus)
    std::string font_b;  // empty: the default file (X11 misc-fixed 9x15)
    bool boxes = false;  // draw every character as a box; no font file is read
};

struct Glyph {
    Bitmap bitmap;         // one cell
    bool missing = false;  // no font has the character: a box is drawn
};

// The hollow box drawn for a character no font has: rows 2 and height-3,
// columns `side` and width-1-side.
void draw_hollow_box(Bitmap& cell, int side);

// Glyphs drawn once and kept for the cache's life, so a reference stays valid.
class GlyphCache {
  public:
    // The glyph of cp in font A (even font) or B (odd), drawn by
    // render(font & 1, cp) the first time it is asked for.
    template <typename Render>
    const Glyph& get(int font, char32_t cp, Render&& render) {
        font &= 1;
        const uint32_t key = (static_cast<uint32_t>(font) << 31) | static_cast<uint32_t>(cp);
        std::lock_guard lock(mu_);
        auto it = glyphs_.find(key);
        if (it != glyphs_.end()) return *it->second;
        auto g = std::make_unique<Glyph>(render(font, cp));
        const Glyph& ref = *g;
        glyphs_.emplace(key, std::move(g));
        return ref;
    }

  private:
    std::mutex mu_;
    std::unordered_map<uint32_t, std::unique_ptr<Glyph>> glyphs_;
};

class FontSet {
  public:
    static constexpr int CELL_W[2] = {12, 9};
    static constexpr int CELL_H[2] = {24, 17};

    explicit FontSet(const FontPaths& paths = {});
    ~FontSet();
    FontSet(const FontSet&) = delete;
    FontSet& operator=(const FontSet&) = delete;

    // Empty when both fonts are ready; otherwise which file failed and why.
    const std::string& error() const { return error_; }
    // Which font files were loaded (and the fallback files), or that boxes are drawn.
    const std::string& description(int font) const { return desc_[font & 1]; }
    bool loaded(int font) const;
    bool boxes() const { return boxes_; }

    // Cell-sized glyph of `cp`; font 0 is A, 1 is B. NO_CHARACTER gives the box.
    const Glyph& glyph(int font, char32_t cp) const;

    // A process-wide instance with the default fonts (boxes if they are missing).
    static const FontSet& shared();

  private:
    Glyph render(int font, char32_t cp) const;
    bool render_from(int font, size_t face, char32_t cp, Bitmap& cell) const;
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::array<std::string, 2> desc_;
    std::string error_;
    bool boxes_ = false;
    mutable GlyphCache cache_;
};

}  // namespace quorvel::printer

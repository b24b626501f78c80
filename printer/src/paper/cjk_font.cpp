// SPDX-License-Identifier: MIT
#include "paper/cjk_font.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>

namespace quorvel::printer {

namespace {
constexpr unsigned char INK_THRESHOLD = 100;  // of 255
}  // namespace

struct CjkFont::Impl {
    FT_Library lib = nullptr;
    FT_Face face = nullptr;
};

CjkFont::CjkFont(const std::string& file) : impl_(std::make_unique<Impl>()) {
    if (FT_Init_FreeType(&impl_->lib) != 0) {
        error_ = "FreeType could not start";
        return;
    }
    if (FT_New_Face(impl_->lib, file.c_str(), 0, &impl_->face) != 0) {
        impl_->face = nullptr;
        error_ = file + " cannot be read as a font";
    }
}

CjkFont::~CjkFont() {
    if (impl_->face) FT_Done_Face(impl_->face);
    if (impl_->lib) FT_Done_FreeType(impl_->lib);
}

const CjkFont& CjkFont::shared() {
    static const CjkFont font;
    return font;
}

Glyph CjkFont::render(int font, char32_t cp) const {
    const int cell = CELL[font];
    Glyph out{Bitmap(cell, cell), false};
    if (cp == 0x3000) return out;  // ideographic space
    FT_Face f = impl_->face;
    if (f && FT_Get_Char_Index(f, cp) != 0 && FT_Set_Pixel_Sizes(f, 0, cell) == 0 &&
        FT_Load_Char(f, cp, FT_LOAD_RENDER | FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_LIGHT) == 0) {
        const FT_GlyphSlot g = f->glyph;
        const FT_Bitmap& b = g->bitmap;
        // On the font's baseline, kept inside the cell: the full-width
        // characters fill it, as a printer's 24x24 font does.
        const int ascent = static_cast<int>(f->size->metrics.ascender >> 6);
        const int descent = static_cast<int>(-f->size->metrics.descender >> 6);
        const int baseline = cell * ascent / std::max(1, ascent + descent);
        const int x0 = std::clamp(g->bitmap_left, 0, std::max(0, cell - static_cast<int>(b.width)));
        const int y0 =
            std::clamp(baseline - g->bitmap_top, 0, std::max(0, cell - static_cast<int>(b.rows)));
        for (unsigned y = 0; y < b.rows; ++y)
            for (unsigned x = 0; x < b.width; ++x)
                // Grey coverage to one bit: thin strokes of a 24-dot glyph
                // cover about half a dot, so the threshold is below half.
                if (b.buffer[y * b.pitch + x] >= INK_THRESHOLD)
                    out.bitmap.set(x0 + static_cast<int>(x), y0 + static_cast<int>(y));
        return out;
    }
    // No glyph: the hollow box, as for single-byte characters.
    out.missing = true;
    draw_hollow_box(out.bitmap, 2);
    return out;
}

const Glyph& CjkFont::glyph(int font, char32_t cp) const {
    return cache_.get(font, cp, [this](int f, char32_t c) { return render(f, c); });
}

}  // namespace quorvel::printer

#include "fonts.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <filesystem>
#include <vector>

#include "codepage.h"

namespace quorvel::printer {

struct FontSet::Impl {
    FT_Library lib = nullptr;
    FT_Face face[2] = {nullptr, nullptr};
    int ascent[2] = {0, 0};
    int yoff[2] = {0, 0};  // top padding of the glyph inside the cell
};

namespace {

std::string find_terminus() {
    namespace fs = std::filesystem;
    for (const char* dir : {"/usr/share/fonts/truetype/terminus",
                            "/usr/share/fonts/opentype/terminus", "/usr/share/fonts/X11/misc"}) {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(dir, ec)) {
            const std::string name = e.path().filename().string();
            if (name.find("erminus") == std::string::npos) continue;
            if (name.find("Bold") != std::string::npos || name.find("Italic") != std::string::npos)
                continue;
            const std::string ext = e.path().extension().string();
            if (ext == ".ttf" || ext == ".otb" || ext == ".pcf" || ext == ".gz")
                return e.path().string();
        }
    }
    return {};
}

std::string find_font_b() {
    for (const char* p : {"/usr/share/fonts/X11/misc/9x15.pcf.gz",
                          "/usr/share/fonts/X11/misc/9x15-ISO8859-1.pcf.gz",
                          "/usr/share/fonts/X11/misc/8x13.pcf.gz"}) {
        if (std::filesystem::exists(p)) return p;
    }
    return {};
}

// Pick the bitmap strike closest to the wanted cell height.
bool select_strike(FT_Face face, int want_w, int want_h) {
    if (face->num_fixed_sizes <= 0)
        return FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(want_h)) == 0;
    int best = 0, best_score = 1 << 30;
    for (int i = 0; i < face->num_fixed_sizes; ++i) {
        const FT_Bitmap_Size& s = face->available_sizes[i];
        const int score = std::abs(s.height - want_h) * 4 + std::abs(s.width - want_w);
        if (score < best_score) best_score = score, best = i;
    }
    return FT_Select_Size(face, best) == 0;
}

}  // namespace

FontSet::FontSet(const FontPaths& paths) : impl_(std::make_unique<Impl>()) {
    if (FT_Init_FreeType(&impl_->lib) != 0) {
        desc_ = {"FreeType failed to start", "FreeType failed to start"};
        return;
    }
    const std::string files[2] = {paths.font_a.empty() ? find_terminus() : paths.font_a,
                                  paths.font_b.empty() ? find_font_b() : paths.font_b};
    for (int f = 0; f < 2; ++f) {
        if (files[f].empty() ||
            FT_New_Face(impl_->lib, files[f].c_str(), 0, &impl_->face[f]) != 0) {
            impl_->face[f] = nullptr;
            desc_[f] = "no font file found; glyphs drawn as boxes";
            continue;
        }
        FT_Face face = impl_->face[f];
        FT_Select_Charmap(face, FT_ENCODING_UNICODE);
        select_strike(face, CELL_W[f], CELL_H[f]);
        impl_->ascent[f] = static_cast<int>(face->size->metrics.ascender >> 6);
        const int font_h =
            static_cast<int>((face->size->metrics.ascender - face->size->metrics.descender) >> 6);
        impl_->yoff[f] = std::max(0, (CELL_H[f] - font_h) / 2);
        desc_[f] = files[f] + " (" + std::to_string(face->size->metrics.x_ppem) + "x" +
                   std::to_string(font_h) + " strike)";
    }
}

FontSet::~FontSet() {
    for (FT_Face f : impl_->face)
        if (f) FT_Done_Face(f);
    if (impl_->lib) FT_Done_FreeType(impl_->lib);
}

bool FontSet::loaded(int font) const {
    return impl_->face[font & 1] != nullptr;
}

const FontSet& FontSet::shared() {
    static const FontSet fonts;
    return fonts;
}

Bitmap FontSet::render(int font, char32_t cp) const {
    const int cw = CELL_W[font], ch = CELL_H[font];
    Bitmap cell(cw, ch);
    if (cp == ' ' || cp == 0xA0 || cp < 0x20) return cell;
    FT_Face face = impl_->face[font];
    if (!face) {  // no font: a hollow box keeps the layout visible
        for (int x = 1; x < cw - 1; ++x) cell.set(x, 2), cell.set(x, ch - 3);
        for (int y = 2; y < ch - 2; ++y) cell.set(1, y), cell.set(cw - 2, y);
        return cell;
    }
    FT_UInt index = FT_Get_Char_Index(face, cp);
    if (index == 0) index = FT_Get_Char_Index(face, '?');
    if (FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) != 0)
        return cell;
    const FT_GlyphSlot g = face->glyph;
    const FT_Bitmap& bm = g->bitmap;
    const int x0 = g->bitmap_left;
    const int y0 = impl_->yoff[font] + impl_->ascent[font] - g->bitmap_top;
    for (unsigned y = 0; y < bm.rows; ++y) {
        const unsigned char* row = bm.buffer + static_cast<ptrdiff_t>(y) * bm.pitch;
        for (unsigned x = 0; x < bm.width; ++x) {
            bool on = false;
            if (bm.pixel_mode == FT_PIXEL_MODE_MONO)
                on = (row[x >> 3] >> (7 - (x & 7))) & 1;
            else if (bm.pixel_mode == FT_PIXEL_MODE_GRAY)
                on = row[x] >= 128;
            if (on) cell.set(x0 + static_cast<int>(x), y0 + static_cast<int>(y));
        }
    }
    return cell;
}

const Bitmap& FontSet::glyph(int font, int table, uint8_t byte) const {
    font &= 1;
    const char32_t cp = to_unicode(table, byte);
    const uint32_t key = (static_cast<uint32_t>(font) << 31) | static_cast<uint32_t>(cp);
    std::lock_guard lock(mu_);
    auto it = cache_.find(key);
    if (it != cache_.end()) return *it->second;
    auto bm = std::make_unique<Bitmap>(render(font, cp));
    const Bitmap& ref = *bm;
    cache_.emplace(key, std::move(bm));
    return ref;
}

}  // namespace quorvel::printer

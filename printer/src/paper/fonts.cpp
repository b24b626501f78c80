// SPDX-License-Identifier: MIT
#include "paper/fonts.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "paper/box_drawing.h"
#include "paper/codepage.h"

namespace quorvel::printer {

namespace {

constexpr const char* TERMINUS_DIRS[] = {"/usr/share/fonts/truetype/terminus",
                                         "/usr/share/fonts/opentype/terminus",
                                         "/usr/share/fonts/X11/misc"};
constexpr const char* MISC_FIXED_DIR = "/usr/share/fonts/X11/misc/";

std::string find_terminus() {
    namespace fs = std::filesystem;
    for (const char* dir : TERMINUS_DIRS) {
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

std::string misc_fixed(const char* name) {
    const std::string path = std::string(MISC_FIXED_DIR) + name;
    return std::filesystem::exists(path) ? path : std::string();
}

// The default file of each font, then fallbacks for the characters it
// lacks (misc-fixed covers Hebrew, Arabic, Thai, Vietnamese and katakana;
// 10x20 is scaled down into font B's cell for the few letters 9x15 lacks).
std::string default_file(int font) {
    return font == 0 ? find_terminus() : misc_fixed("9x15.pcf.gz");
}
std::vector<std::string> fallback_files(int font) {
    if (font == 0) return {misc_fixed("10x20.pcf.gz")};
    return {find_terminus(), misc_fixed("10x20.pcf.gz")};
}

std::string missing_default(int font) {
    if (font == 0)
        return "no Terminus font file in /usr/share/fonts/truetype/terminus, "
               "/usr/share/fonts/opentype/terminus or /usr/share/fonts/X11/misc "
               "(Debian package fonts-terminus)";
    return std::string("no ") + MISC_FIXED_DIR + "9x15.pcf.gz (Debian package xfonts-base)";
}

}  // namespace

struct FontSet::Impl {
    struct Face {
        FT_Face face = nullptr;
        int strike_w = 0, strike_h = 0;  // the strike's own cell
        int ascent = 0;
    };
    FT_Library lib = nullptr;
    std::vector<Face> faces[2];  // the font's file first, then fallbacks

    // Opens `file` sized for a cell; an error text on failure.
    std::string open(const std::string& file, int cw, int ch, Face* out) const {
        if (std::FILE* f = std::fopen(file.c_str(), "rb"))
            std::fclose(f);
        else
            return file + ": " + std::strerror(errno);
        FT_Face face = nullptr;
        if (const FT_Error e = FT_New_Face(lib, file.c_str(), 0, &face); e != 0)
            return file + ": not a font file FreeType can read (" +
                   (e == FT_Err_Unknown_File_Format ? std::string("unknown file format")
                                                    : "FreeType error " + std::to_string(e)) +
                   ")";
        if (FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0) {
            FT_Done_Face(face);
            return file + ": the font has no Unicode character map";
        }
        if (face->num_fixed_sizes > 0) {
            // The largest strike that fits the cell, else the smallest (scaled down).
            int best = -1, smallest = 0;
            for (int i = 0; i < face->num_fixed_sizes; ++i) {
                const FT_Bitmap_Size& s = face->available_sizes[i];
                if (s.height < face->available_sizes[smallest].height) smallest = i;
                if (s.width <= cw && s.height <= ch &&
                    (best < 0 || s.height > face->available_sizes[best].height))
                    best = i;
            }
            if (best < 0) best = smallest;
            if (FT_Select_Size(face, best) != 0) {
                FT_Done_Face(face);
                return file + ": FreeType cannot select a bitmap strike";
            }
            out->strike_w = face->available_sizes[best].width;
            out->strike_h = face->available_sizes[best].height;
        } else {
            if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(ch)) != 0) {
                FT_Done_Face(face);
                return file + ": FreeType cannot size the font";
            }
            out->strike_w = static_cast<int>(face->size->metrics.max_advance >> 6);
            out->strike_h = ch;
        }
        out->face = face;
        out->ascent = static_cast<int>(face->size->metrics.ascender >> 6);
        return {};
    }
};

FontSet::FontSet(const FontPaths& paths) : impl_(std::make_unique<Impl>()), boxes_(paths.boxes) {
    if (boxes_) {
        desc_ = {"none: characters drawn as boxes (--no-fonts)",
                 "none: characters drawn as boxes (--no-fonts)"};
        return;
    }
    if (FT_Init_FreeType(&impl_->lib) != 0) {
        error_ = "FreeType failed to start";
        desc_ = {error_, error_};
        return;
    }
    const std::string given[2] = {paths.font_a, paths.font_b};
    for (int f = 0; f < 2; ++f) {
        const char* label = f == 0 ? "font A" : "font B";
        const std::string file = given[f].empty() ? default_file(f) : given[f];
        Impl::Face face;
        const std::string err =
            file.empty() ? missing_default(f) : impl_->open(file, CELL_W[f], CELL_H[f], &face);
        if (!err.empty()) {
            if (error_.empty()) error_ = std::string(label) + ": " + err;
            desc_[f] = "not loaded (" + err + ")";
            continue;
        }
        impl_->faces[f].push_back(face);
        desc_[f] = file + " (" + std::to_string(face.strike_w) + "x" +
                   std::to_string(face.strike_h) + " strike in a " + std::to_string(CELL_W[f]) +
                   "x" + std::to_string(CELL_H[f]) + " cell)";
        std::string extras;
        for (const std::string& extra : fallback_files(f)) {
            Impl::Face fb;
            if (extra.empty() || extra == file ||
                !impl_->open(extra, CELL_W[f], CELL_H[f], &fb).empty())
                continue;
            impl_->faces[f].push_back(fb);
            extras += (extras.empty() ? "" : ", ") + extra;
        }
        if (!extras.empty()) desc_[f] += "; missing characters from " + extras;
    }
}

FontSet::~FontSet() {
    for (auto& list : impl_->faces)
        for (auto& f : list) FT_Done_Face(f.face);
    if (impl_->lib) FT_Done_FreeType(impl_->lib);
}

bool FontSet::loaded(int font) const {
    return !impl_->faces[font & 1].empty();
}

const FontSet& FontSet::shared() {
    static const FontSet fonts;
    return fonts;
}

bool FontSet::render_from(int font, size_t index, char32_t cp, Bitmap& cell) const {
    const Impl::Face& f = impl_->faces[font][index];
    const FT_UInt glyph = FT_Get_Char_Index(f.face, cp);
    if (glyph == 0) return false;
    if (FT_Load_Glyph(f.face, glyph, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) !=
        0)
        return false;
    // Draw in the strike's own cell, then fit that cell into the printer's.
    Bitmap strike(f.strike_w, f.strike_h);
    const FT_GlyphSlot g = f.face->glyph;
    const FT_Bitmap& bm = g->bitmap;
    const int x0 = g->bitmap_left, y0 = f.ascent - g->bitmap_top;
    for (unsigned y = 0; y < bm.rows; ++y) {
        const unsigned char* row = bm.buffer + static_cast<ptrdiff_t>(y) * bm.pitch;
        for (unsigned x = 0; x < bm.width; ++x) {
            bool on = false;
            if (bm.pixel_mode == FT_PIXEL_MODE_MONO)
                on = (row[x >> 3] >> (7 - (x & 7))) & 1;
            else if (bm.pixel_mode == FT_PIXEL_MODE_GRAY)
                on = row[x] >= 128;
            if (on) strike.set(x0 + static_cast<int>(x), y0 + static_cast<int>(y));
        }
    }
    const int cw = cell.width(), ch = cell.height();
    if (f.strike_w <= cw && f.strike_h <= ch) {
        cell.blit(strike, (cw - f.strike_w) / 2, (ch - f.strike_h) / 2);
    } else {
        for (int y = 0; y < ch; ++y)
            for (int x = 0; x < cw; ++x)
                if (strike.get(x * f.strike_w / cw, y * f.strike_h / ch)) cell.set(x, y);
    }
    return true;
}

Glyph FontSet::render(int font, char32_t cp) const {
    const int cw = CELL_W[font], ch = CELL_H[font];
    Glyph out{Bitmap(cw, ch), false};
    if (cp == ' ' || cp == 0xA0 || cp == 0x3000) return out;
    if (draw_box_drawing(cp, out.bitmap)) return out;
    if (cp != NO_CHARACTER)
        for (size_t i = 0; i < impl_->faces[font].size(); ++i)
            if (render_from(font, i, cp, out.bitmap)) return out;
    // No font has it: a hollow box keeps the character visible.
    out.missing = !boxes_;
    draw_hollow_box(out.bitmap, 1);
    return out;
}

void draw_hollow_box(Bitmap& cell, int side) {
    const int w = cell.width(), h = cell.height();
    for (int x = side; x < w - side; ++x) cell.set(x, 2), cell.set(x, h - 3);
    for (int y = 2; y < h - 2; ++y) cell.set(side, y), cell.set(w - 1 - side, y);
}

const Glyph& FontSet::glyph(int font, char32_t cp) const {
    return cache_.get(font, cp, [this](int f, char32_t c) { return render(f, c); });
}

}  // namespace quorvel::printer

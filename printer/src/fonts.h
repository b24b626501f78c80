// The printer's two resident fonts, rasterised from Debian bitmap fonts
// with FreeType into fixed cells: font A 12x24 dots, font B 9x17 dots.
#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "bitmap.h"

namespace quorvel::printer {

struct FontPaths {
    std::string font_a;  // empty: search the usual Debian locations
    std::string font_b;
};

class FontSet {
  public:
    static constexpr int CELL_W[2] = {12, 9};
    static constexpr int CELL_H[2] = {24, 17};

    explicit FontSet(const FontPaths& paths = {});
    ~FontSet();
    FontSet(const FontSet&) = delete;
    FontSet& operator=(const FontSet&) = delete;

    // Cell-sized glyph of `byte` in code table `table`; font 0 is A, 1 is B.
    const Bitmap& glyph(int font, int table, uint8_t byte) const;
    // Which font files were loaded, or why not.
    const std::string& description(int font) const { return desc_[font & 1]; }
    bool loaded(int font) const;

    // A process-wide instance with the default fonts.
    static const FontSet& shared();

  private:
    Bitmap render(int font, char32_t cp) const;
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::array<std::string, 2> desc_;
    mutable std::mutex mu_;
    mutable std::unordered_map<uint32_t, std::unique_ptr<Bitmap>> cache_;
};

}  // namespace quorvel::printer

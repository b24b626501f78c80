// SPDX-License-Identifier: MIT
// The print mechanism: keeps the print modes, lays text out line by line,
// draws symbols and images onto the page and hands finished pages on.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "paper/bitmap.h"
#include "paper/codepage.h"
#include "paper/double_byte.h"
#include "paper/fonts.h"
#include "paper/page_record.h"
#include "paper/symbols.h"

namespace quorvel::printer {

// The paper of generic-80; a printer's own width comes from its profile
// (Renderer::paper_width()).
constexpr int PRINT_WIDTH = 576;  // 72 mm at 203 dpi
constexpr int DEFAULT_LINE_SPACING = 30;

struct RenderLimits {
    int paper_width = PRINT_WIDTH;              // printable dots across
    int line_spacing = DEFAULT_LINE_SPACING;    // ESC 2 and ESC @ go back to this
    int max_page_height = 32000;  // dots, about 4 m of paper per receipt
    int max_pages = 1000;         // images per stream
    bool draw = true;             // false: lay out only (for timing the interpreter)
    // The double-byte encoding of FS & text; a printer with one starts with
    // double-byte mode on, as many sold in East Asia do.
    DoubleByte double_byte = DoubleByte::NONE;
};

// The double-byte print modes (FS !, FS -, FS S, FS W).
struct DoubleByteStyle {
    bool double_width = false;
    bool double_height = false;
    bool quadruple = false;
    int underline = 0;  // dots
    int left = 0;       // spacing, dots
    int right = 0;
};

// The print modes in force: the marks a character carries on the page, and
// the spacing after it.
struct Style : TextMarks {
    int char_spacing = 0;
};

class Renderer {
  public:
    // Receives each finished page; `index` counts from 1 per renderer.
    using PageSink = std::function<void(const Bitmap&, int index)>;
    using Logger = std::function<void(std::string_view)>;

    Renderer(const FontSet& fonts, PageSink sink, Logger log, RenderLimits limits = {});

    // ESC @: every mode back to its default. The line buffer is dropped.
    void initialize();

    void set_justification(int j) { justification_ = j; }
    void set_line_spacing(int dots) { line_spacing_ = dots; }
    // ESC t / ESC R: false (and nothing changes) for a number with no table or set.
    bool set_code_table(int table);
    bool set_international(int set);
    void set_bold(bool on) { style_.bold = on; }
    void set_underline(int dots) { style_.underline = dots; }
    void set_font(int f) { style_.font = f & 1; }
    void set_size(int w, int h) { style_.wmul = w, style_.hmul = h; }
    void set_reverse(bool on) { style_.reverse = on; }
    void set_char_spacing(int dots) { style_.char_spacing = dots; }
    void set_upside_down(bool on) { upside_down_ = on; }
    void set_left_margin(int dots);
    void set_print_area_width(int dots);
    void set_absolute_position(int dots);
    void set_relative_position(int dots);
    void set_tab_stops(std::vector<int> columns) { tabs_ = std::move(columns); }
    void set_bar_height(int dots) { bar_height_ = dots; }
    void set_module_width(int dots) { module_width_ = dots; }
    void set_hri_position(int pos) { hri_position_ = pos; }
    void set_hri_font(int f) { hri_font_ = f & 1; }

    const Style& style() const { return style_; }
    // The printable width of the paper in dots, and its default line spacing.
    int paper_width() const { return limits_.paper_width; }
    int default_line_spacing() const { return limits_.line_spacing; }
    int justification() const { return justification_; }
    int line_spacing() const { return line_spacing_; }
    int code_table() const { return code_table_; }
    int international() const { return international_; }
    // The character `byte` prints as under the code table and international
    // set in force (NO_CHARACTER for control bytes and empty positions).
    char32_t code_point(uint8_t byte) const;
    bool upside_down() const { return upside_down_; }
    int bar_height() const { return bar_height_; }
    int module_width() const { return module_width_; }
    int hri_position() const { return hri_position_; }

    // Double-byte text: FS & / FS . and the FS print modes.
    DoubleByte double_byte() const { return limits_.double_byte; }
    // FS & / FS .: false (and nothing changes) when the printer has no double-byte encoding.
    bool set_double_byte_mode(bool on);
    bool double_byte_mode() const { return kanji_on_; }
    void set_japanese_jis(bool jis) { kanji_jis_ = jis; }
    DoubleByteStyle& double_byte_style() { return kanji_; }

    // Page mode (ESC L … FF): a page is laid out in memory and printed at
    // once. The choices where printers differ are in page_mode.h.
    void enter_page_mode();
    // ESC S: back to standard mode; the page's data is discarded.
    void leave_page_mode();
    bool page_mode() const { return pm_.on; }
    // ESC W: the print area in dots, cut to the paper and the page height cap.
    void set_page_area(int x, int y, int w, int h);
    // ESC T: 0 left to right, 1 bottom to top, 2 right to left, 3 top to bottom.
    void set_page_direction(int direction);
    // GS $ / GS \: the vertical position in the area, in the current direction.
    void set_page_vertical(int dots, bool relative);
    // FF (stay false: back to standard mode) and ESC FF (stay true: the data is kept).
    void print_page(bool stay);
    // CAN: delete the data in the current print area.
    void clear_page_area();

    // Keep the text and symbols of the page being printed (off by default).
    void set_recording(bool on) { recording_ = on; }
    // What the page holds so far; a page sink may take it, and it starts
    // empty again with the next page.
    PageContent take_content() { return std::exchange(content_, {}); }

    // Text.
    void put_char(uint8_t byte);
    void tab();
    // A bit image placed in the line like a character (ESC *).
    void put_image(Bitmap image);
    // LF: print the line buffer and feed one line.
    void print_line();
    // Print the line buffer, then feed `dots` (ESC J) or `lines` (ESC d).
    void print_and_feed_dots(int dots);
    void print_and_feed_lines(int lines);
    bool line_empty() const { return items_.empty(); }
    // Pieces held for the line being built. Text put over text replaces it,
    // so this stays within the line's width in dots whatever the input.
    size_t line_items() const { return items_.size(); }
    // Characters printed as boxes because no font has them, since the start.
    long missing_glyphs() const { return missing_total_; }

    // Graphics; each starts on a fresh line.
    void barcode(const LinearSymbol& symbol);
    // module_h: dots per matrix row (PDF417 rows are taller than wide).
    void matrix(const Matrix& m, int module_w, int module_h);
    // Row-major 1-bit raster, most significant bit first.
    void raster(const uint8_t* data, int width_bytes, int height, int xscale, int yscale);
    void placeholder(std::string_view label, int width, int height);
    // Print a line of text in the given style without disturbing the modes.
    void text_line(std::string_view text, const Style& style, int justification);

    // GS V: finish the receipt as one page.
    void cut();
    // End of the stream: whatever was printed and not cut is a page too.
    void finish();
    // A new stream begins on this paper: the per-stream page cap starts again.
    void begin_stream();
    // Something is printed or waiting in the line buffer, and not yet cut.
    bool has_paper() const { return dirty_ || (!pm_.on && !items_.empty()); }

    int pages_written() const { return pages_; }
    // Dots of paper laid out since this renderer began (cut pages and the
    // page being printed): what the print mechanism has to move.
    uint64_t dots_fed() const { return fed_before_ + static_cast<uint64_t>(y_); }
    // A mark across the paper where printing stopped and went on (a new roll,
    // a power cut): a dashed rule with `label` under it, in the page's text.
    // `back`: that many dots above the end of the page, where the paper
    // stopped (the lines laid out below it move down).
    void mark(std::string_view label, int back = 0);
    // The line being built is dropped (the print buffer cleared).
    void clear_line() {
        items_.clear();
        x_ = 0;
        lead_n_ = 0;
    }
    int paper_position() const { return y_; }
    // The receipt reached its height cap: nothing more is laid out or drawn
    // until the next cut, so callers can skip the work of making it.
    bool capped() const { return overflow_logged_; }
    const Bitmap& page() const { return page_; }

  private:
    struct Item {
        const Bitmap* glyph;                  // nullptr for a tab gap
        std::shared_ptr<const Bitmap> image;  // a bit image in the line (ESC *)
        Style style;
        int x;
        int w;
        int h;
        char32_t cp = 0;  // the character a glyph prints; 0 for gaps and images
        std::shared_ptr<const SymbolRecord> symbol = nullptr;  // a symbol in a page-mode line
    };
    // Page mode: the page, the area and direction in force, and the area's
    // own bitmap in its direction (x along the direction of print).
    struct PageState {
        bool on = false;
        int x = 0, y = 0, w = 0, h = 0;  // the area on the page
        int direction = 0;
        int pos_y = 0;        // vertical position (a baseline) in the area
        bool used = false;    // something was put on the page
        Bitmap canvas;        // the page, the paper's width across
        Bitmap area;          // the current area, unturned
        PageContent content;  // text and symbols, in page coordinates
    };
    int area_logical_width() const { return pm_.direction & 1 ? pm_.h : pm_.w; }
    int area_logical_height() const { return pm_.direction & 1 ? pm_.w : pm_.h; }
    // A rectangle of the unturned area as it lands on the page.
    void page_rect(int& x, int& y, int& w, int& h) const;
    // Turn the area's dots onto the page and start it afresh.
    void commit_area();
    // Draw the line at the vertical position; feed: move on by the line spacing.
    void page_line(bool feed);
    // A graphic in page mode: placed in the line like a character.
    void page_graphic(Bitmap image, std::shared_ptr<const SymbolRecord> symbol);
    Bitmap barcode_bitmap(const LinearSymbol& symbol, int& bars_top) const;
    int cell_width(const Style& s) const;
    int cell_height(const Style& s) const { return FontSet::CELL_H[s.font] * s.hmul; }
    int area_width() const;
    int aligned_x(int width, int justification) const;
    // Make rows up to y_ + h available; false when the receipt is too long.
    bool reserve(int h);
    void advance(int dots);
    void draw_item(Bitmap& band, const Item& it, int x0, int base) const;
    void draw_text(Bitmap& onto, std::string_view text, int font, int x, int y) const;
    void emit();
    // Put an item into the line, replacing whatever it overlaps.
    void place(Item it);
    void note_missing(char32_t cp, uint8_t byte);
    // One double-byte character (a box for nullopt), in the double-byte cell.
    void put_double_byte(std::optional<char32_t> cp);
    // The line's text as the paper shows it: pieces by position, gaps as spaces.
    void record_line(PageContent& into, int y);

    const FontSet& fonts_;
    PageSink sink_;
    Logger log_;
    RenderLimits limits_;

    Bitmap page_;
    int y_ = 0;
    bool dirty_ = false;
    bool overflow_logged_ = false;
    bool page_cap_logged_ = false;
    int pages_ = 0;
    uint64_t fed_before_ = 0;  // dots of the pages already cut
    int stream_pages_ = 0;

    // Glyphs of the current code table and international set, looked up once per byte.
    const Glyph* glyphs_[2][256] = {};
    int glyphs_table_ = -1;
    int glyphs_international_ = -1;

    // Characters drawn as boxes on the current page, for the journal.
    struct Missing {
        char32_t cp;  // NO_CHARACTER: the byte has no character in its table
        uint8_t byte;
        int table;
        long count;
    };
    std::vector<Missing> missing_;
    long missing_on_page_ = 0;
    long missing_total_ = 0;

    std::vector<Item> items_;
    int x_ = 0;  // cursor, from the left margin

    Style style_;
    int justification_ = 0;
    int line_spacing_ = DEFAULT_LINE_SPACING;
    int code_table_ = 0;
    int international_ = 0;
    bool upside_down_ = false;
    int left_margin_ = 0;
    int area_width_ = PRINT_WIDTH;
    std::vector<int> tabs_;
    int bar_height_ = 162;
    int module_width_ = 3;
    int hri_position_ = 0;
    int hri_font_ = 0;

    bool recording_ = false;
    PageContent content_;
    PageState pm_;

    bool kanji_on_ = false;
    bool kanji_jis_ = false;  // FS C 0: JIS row and cell bytes
    DoubleByteStyle kanji_;
    uint8_t lead_[4] = {};  // the bytes of a double-byte character so far
    int lead_n_ = 0;
};

}  // namespace quorvel::printer

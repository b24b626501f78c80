// SPDX-License-Identifier: MIT
#include "paper/renderer.h"

#include <algorithm>
#include <cstdio>

#include "paper/cjk_font.h"
#include "paper/codepage.h"
#include "paper/page_mode.h"

namespace quorvel::printer {

namespace {
std::vector<int> default_tabs() {
    std::vector<int> t;
    for (int c = 8; c <= 64; c += 8) t.push_back(c);
    return t;
}
}  // namespace

Renderer::Renderer(const FontSet& fonts, PageSink sink, Logger log, RenderLimits limits)
    : fonts_(fonts),
      sink_(std::move(sink)),
      log_(std::move(log)),
      limits_(limits),
      page_(limits.paper_width, 0) {
    initialize();
}

void Renderer::initialize() {
    items_.clear();
    x_ = 0;
    style_ = Style{};
    justification_ = 0;
    line_spacing_ = limits_.line_spacing;
    code_table_ = 0;
    international_ = 0;
    upside_down_ = false;
    left_margin_ = 0;
    area_width_ = limits_.paper_width;
    tabs_ = default_tabs();
    bar_height_ = 162;
    module_width_ = 3;
    hri_position_ = 0;
    hri_font_ = 0;
    kanji_on_ = limits_.double_byte != DoubleByte::NONE;
    kanji_jis_ = false;
    kanji_ = {};
    lead_n_ = 0;
    pm_ = PageState{};
    pm_.w = paper_width();
    pm_.h = page_mode::DEFAULT_AREA_HEIGHT;
}

bool Renderer::set_code_table(int table) {
    if (!code_table_known(table)) return false;
    code_table_ = table;
    return true;
}

bool Renderer::set_international(int set) {
    if (!international_known(set)) return false;
    international_ = set;
    return true;
}

char32_t Renderer::code_point(uint8_t byte) const {
    return to_unicode(code_table_, international_, byte);
}

void Renderer::set_left_margin(int dots) {
    left_margin_ = std::clamp(dots, 0, paper_width() - 1);
}
void Renderer::set_print_area_width(int dots) {
    area_width_ = std::clamp(dots, 1, paper_width());
}
void Renderer::set_absolute_position(int dots) {
    if (dots >= 0 && dots < area_width()) x_ = dots;
}
void Renderer::set_relative_position(int dots) {
    const int x = x_ + dots;
    if (x >= 0 && x < area_width()) x_ = x;
}

int Renderer::area_width() const {
    if (pm_.on) return std::max(1, area_logical_width());
    return std::max(1, std::min(area_width_, paper_width() - left_margin_));
}

int Renderer::cell_width(const Style& s) const {
    return (FontSet::CELL_W[s.font] + s.char_spacing) * s.wmul;
}

int Renderer::aligned_x(int width, int justification) const {
    const int free = std::max(0, area_width() - width);
    switch (justification) {
        case 1:
            return left_margin_ + free / 2;
        case 2:
            return left_margin_ + free;
        default:
            return left_margin_;
    }
}

bool Renderer::reserve(int h) {
    if (overflow_logged_) return false;  // the rest up to the cut is dropped
    const int need = y_ + h;
    if (need > limits_.max_page_height) {
        if (!overflow_logged_) {
            log_("receipt reached the height cap of " + std::to_string(limits_.max_page_height) +
                 " dots; the rest up to the next cut is dropped");
            overflow_logged_ = true;
        }
        return false;
    }
    if (need > page_.height()) page_.resize_height(need);
    return true;
}

void Renderer::advance(int dots) {
    if (dots <= 0) return;
    if (pm_.on) {
        pm_.pos_y = std::min(pm_.pos_y + dots, area_logical_height());
        return;
    }
    if (reserve(dots)) y_ += dots;
}

void Renderer::place(Item it) {
    // Items are kept in order of x and never overlap: what is put over
    // earlier text replaces it, as the dots printed last are what the paper
    // shows. So a line holds at most one item per dot of its width.
    const int end = it.x + it.w;
    if (items_.empty() || items_.back().x + items_.back().w <= it.x) {
        items_.push_back(std::move(it));
        return;
    }
    auto first = std::partition_point(items_.begin(), items_.end(),
                                      [&](const Item& o) { return o.x + o.w <= it.x; });
    auto last = std::partition_point(first, items_.end(), [&](const Item& o) { return o.x < end; });
    first = items_.erase(first, last);
    items_.insert(first, std::move(it));
}

void Renderer::note_missing(char32_t cp, uint8_t byte) {
    ++missing_on_page_;
    ++missing_total_;
    for (Missing& m : missing_)
        if (m.cp == cp && (cp != NO_CHARACTER || (m.byte == byte && m.table == code_table_))) {
            ++m.count;
            return;
        }
    if (missing_.size() < 8) missing_.push_back({cp, byte, code_table_, 1});
}

bool Renderer::set_double_byte_mode(bool on) {
    if (limits_.double_byte == DoubleByte::NONE) return false;
    kanji_on_ = on;
    lead_n_ = 0;
    return true;
}

void Renderer::put_double_byte(std::optional<char32_t> cp) {
    const int font = style_.font;
    const int cell = CjkFont::CELL[font];
    Style s = style_;
    if (kanji_.double_width || kanji_.quadruple) s.wmul = std::min(8, s.wmul * 2);
    if (kanji_.double_height || kanji_.quadruple) s.hmul = std::min(8, s.hmul * 2);
    s.underline = kanji_.underline;
    const int left = kanji_.left * s.wmul, w = cell * s.wmul, right = kanji_.right * s.wmul;
    if (x_ + left + w + right > area_width()) {
        if (left + w + right > area_width()) return;
        print_line();
    }
    const Glyph& g = CjkFont::shared().glyph(font, cp.value_or(NO_CHARACTER));
    if (g.missing || !cp) note_missing(cp.value_or(0xFFFD), lead_[0]);
    if (left) place(Item{nullptr, nullptr, s, x_, left, cell * s.hmul});
    Item it{&g.bitmap, nullptr, s, x_ + left, w, cell * s.hmul};
    it.cp = cp.value_or(0xFFFD);
    place(std::move(it));
    x_ += left + w + right;
}

void Renderer::put_char(uint8_t byte) {
    if (kanji_on_) {
        // Double-byte mode: a lead byte takes the bytes after it with it.
        lead_[lead_n_++] = byte;
        const int need = double_byte_length(limits_.double_byte, kanji_jis_, lead_, lead_n_);
        if (need == 0) {  // not a character: a box for the lead, the last byte afresh
            lead_n_ = 0;
            put_double_byte(std::nullopt);
            put_char(byte);
            return;
        }
        if (need > 1) {
            if (lead_n_ < need) return;
            lead_n_ = 0;
            put_double_byte(double_byte_decode(limits_.double_byte, kanji_jis_, lead_, need));
            return;
        }
        lead_n_ = 0;
    }
    const Item probe{nullptr, nullptr, style_, 0, cell_width(style_), cell_height(style_)};
    if (x_ + probe.w > area_width()) {
        if (probe.w > area_width()) return;  // wider than the paper: not printable
        print_line();                        // automatic line break
    }
    Item it = probe;
    if (glyphs_table_ != code_table_ || glyphs_international_ != international_) {
        for (auto& font : glyphs_)
            for (auto& g : font) g = nullptr;
        glyphs_table_ = code_table_;
        glyphs_international_ = international_;
    }
    const Glyph*& cached = glyphs_[style_.font][byte];
    if (!cached) cached = &fonts_.glyph(style_.font, code_point(byte));
    if (cached->missing) note_missing(code_point(byte), byte);
    it.glyph = &cached->bitmap;
    it.x = x_;
    // The character the byte prints as; one the table lacks (a box) is U+FFFD.
    const char32_t cp = code_point(byte);
    it.cp = cp == NO_CHARACTER ? 0xFFFD : cp;
    place(std::move(it));
    x_ += probe.w;
}

void Renderer::record_line(PageContent& into, int y) {
    // items_ is in order of x with nothing overlapping: what was put over
    // earlier text has replaced it, as on the paper. A gap (a tab, a bit
    // image, a move by ESC $ or ESC \) is as many spaces of the next
    // character's pitch as fit in it, rounded to the nearest.
    std::vector<TextSpan> spans;
    int end = 0;
    std::string gap;
    for (const Item& it : items_) {
        if (!it.cp) continue;
        const int pitch = std::max(1, cell_width(it.style));
        gap.assign(static_cast<size_t>(std::max(0, (it.x - end + pitch / 2) / pitch)), ' ');
        const TextMarks& marks = it.style;
        if (!spans.empty()) spans.back().text += gap;
        if (spans.empty() || !(spans.back().marks == marks)) spans.push_back(TextSpan{{}, marks});
        if (spans.size() == 1 && spans.back().text.empty()) spans.back().text = gap;
        append_utf8(spans.back().text, it.cp);
        end = it.x + it.w;
    }
    if (!spans.empty())
        into.lines.push_back(
            TextLine{y, justification_, upside_down_ && !pm_.on, std::move(spans)});
}

void Renderer::tab() {
    const int col = cell_width(style_);
    for (int stop : tabs_) {
        const int x = stop * col;
        if (x > x_ && x < area_width()) {
            place(Item{nullptr, nullptr, style_, x_, x - x_, cell_height(style_)});
            x_ = x;
            return;
        }
    }
}

void Renderer::put_image(Bitmap image) {
    const int w = image.width();
    if (w <= 0 || image.height() <= 0) return;
    if (x_ + w > area_width()) {
        if (!items_.empty()) print_line();
        if (w > area_width()) log_("bit image wider than the print area; cut at the right edge");
    }
    Item it{nullptr, std::make_shared<const Bitmap>(std::move(image)), style_, x_, w, 0};
    it.h = it.image->height();
    it.style.underline = 0;
    it.style.reverse = false;
    place(std::move(it));
    x_ += w;
}

void Renderer::draw_item(Bitmap& band, const Item& it, int x0, int base) const {
    const Style& s = it.style;
    const int top = base - it.h;
    const int left = x0 + it.x;
    if (it.image) {
        band.blit(*it.image, left, top);
        return;
    }
    if (s.reverse) band.fill_rect(left, top, it.w, it.h, true);
    if (it.glyph && it.glyph->width() <= 16 && s.wmul == 1 && s.hmul == 1 && left >= 0 &&
        left + 16 <= band.width()) {
        // Common case: unscaled glyph, OR-ed row by row into the band bytes.
        const Bitmap& g = *it.glyph;
        const int shift = left & 7;
        for (int gy = 0; gy < g.height(); ++gy) {
            const int y = top + gy;
            if (y < 0 || y >= band.height()) continue;
            const uint8_t* gr = g.row(gy);
            uint32_t bits = static_cast<uint32_t>(gr[0]) << 24;
            if (g.stride() > 1) bits |= static_cast<uint32_t>(gr[1]) << 16;
            if (s.bold) bits |= bits >> 1;  // emphasis: one dot wider strokes
            bits >>= shift;
            uint8_t* r = band.row(y) + (left >> 3);
            const int bytes = std::min(4, band.stride() - (left >> 3));
            for (int k = 0; k < bytes; ++k) {
                const uint8_t b = static_cast<uint8_t>(bits >> (24 - 8 * k));
                r[k] = s.reverse ? (r[k] & ~b) : (r[k] | b);
            }
        }
    } else if (it.glyph) {
        const bool ink = !s.reverse;
        const Bitmap& g = *it.glyph;
        for (int gy = 0; gy < g.height(); ++gy)
            for (int gx = 0; gx < g.width(); ++gx) {
                if (!g.get(gx, gy)) continue;
                const int px = left + gx * s.wmul, py = top + gy * s.hmul;
                band.fill_rect(px, py, s.wmul, s.hmul, ink);
                if (s.bold)
                    band.fill_rect(px + 1, py, s.wmul, s.hmul,
                                   ink);  // emphasis: one dot wider strokes
            }
    }
    if (s.underline > 0 && !s.reverse)
        band.fill_rect(left, base - s.underline, it.w, s.underline, true);
}

void Renderer::print_line() {
    if (pm_.on) {
        page_line(true);
        return;
    }
    if (items_.empty()) {
        x_ = 0;
        advance(line_spacing_);
        return;
    }
    int h = 0, w = 0;
    for (const Item& it : items_) {
        h = std::max(h, it.h);
        w = std::max(w, it.x + it.w);
    }
    // Text after an ESC $ / ESC \ position is placed where it was put.
    const bool positioned = items_.front().x != 0;
    const int x0 = positioned ? left_margin_ : aligned_x(w, justification_);
    if (reserve(h)) {
        if (recording_) record_line(content_, y_);  // only lines that are on the paper
        if (limits_.draw) {
            Bitmap band(paper_width(), h);
            for (const Item& it : items_) draw_item(band, it, x0, h);
            if (upside_down_) band.rotate180();
            page_.blit(band, 0, y_);
        }
        dirty_ = true;
    }
    items_.clear();
    x_ = 0;
    advance(std::max(line_spacing_, h));
}

void Renderer::print_and_feed_dots(int dots) {
    if (!items_.empty()) {
        // The line is printed, and the paper moves by `dots` (at least the line height).
        const int spacing = line_spacing_;
        line_spacing_ = dots;
        print_line();
        line_spacing_ = spacing;
        return;
    }
    advance(dots);
}

void Renderer::print_and_feed_lines(int lines) {
    if (!items_.empty()) {
        print_line();
        --lines;
    }
    for (int i = 0; i < lines; ++i) advance(line_spacing_);
}

void Renderer::draw_text(Bitmap& onto, std::string_view text, int font, int x, int y) const {
    const int cw = FontSet::CELL_W[font];
    for (size_t i = 0; i < text.size(); ++i)
        onto.blit(fonts_.glyph(font, to_unicode(0, 0, static_cast<uint8_t>(text[i]))).bitmap,
                  x + static_cast<int>(i) * cw, y);
}

void Renderer::text_line(std::string_view text, const Style& style, int justification) {
    const Style saved = style_;
    const int saved_j = justification_;
    style_ = style;
    justification_ = justification;
    for (char c : text) put_char(static_cast<uint8_t>(c));
    print_line();
    style_ = saved;
    justification_ = saved_j;
}

Bitmap Renderer::barcode_bitmap(const LinearSymbol& symbol, int& bars_top) const {
    const int mw = std::max(1, module_width_);
    const int width = static_cast<int>(symbol.modules.size()) * mw;
    const int fh = FontSet::CELL_H[hri_font_];
    const int tw = static_cast<int>(symbol.hri.size()) * FontSet::CELL_W[hri_font_];
    const bool above = hri_position_ == 1 || hri_position_ == 3;
    const bool below = hri_position_ == 2 || hri_position_ == 3;
    const int height = std::max(1, bar_height_);
    const int text_w = std::max(width, tw);
    Bitmap b(text_w, height + (above ? fh + 2 : 0) + (below ? fh + 2 : 0));
    const int bx = (text_w - width) / 2, tx = (text_w - tw) / 2;
    bars_top = above ? fh + 2 : 0;
    if (above) draw_text(b, symbol.hri, hri_font_, tx, 0);
    for (size_t i = 0; i < symbol.modules.size(); ++i)
        if (symbol.modules[i])
            b.fill_rect(bx + static_cast<int>(i) * mw, bars_top, mw, height, true);
    if (below) draw_text(b, symbol.hri, hri_font_, tx, bars_top + height + 2);
    return b;
}

void Renderer::barcode(const LinearSymbol& symbol) {
    if (pm_.on) {
        if (!symbol.ok) return;
        int bars_top = 0;
        Bitmap b = barcode_bitmap(symbol, bars_top);
        const int width = static_cast<int>(symbol.modules.size()) * std::max(1, module_width_);
        const bool hri = hri_position_ >= 1 && hri_position_ <= 3;
        auto rec = std::make_shared<const SymbolRecord>(
            SymbolRecord{symbol.name, symbol.data, (b.width() - width) / 2, bars_top, width,
                         std::max(1, bar_height_), hri ? symbol.hri : std::string()});
        page_graphic(std::move(b), std::move(rec));
        return;
    }
    if (!items_.empty()) print_line();
    if (!symbol.ok) return;
    const int mw = std::max(1, module_width_);
    const int width = static_cast<int>(symbol.modules.size()) * mw;
    if (width > area_width()) {
        log_(symbol.name + " is " + std::to_string(width) +
             " dots wide, more than the print area; not printed");
        return;
    }
    const int x0 = aligned_x(width, justification_);
    const int fh = FontSet::CELL_H[hri_font_];
    const int tw = static_cast<int>(symbol.hri.size()) * FontSet::CELL_W[hri_font_];
    const int tx = std::max(left_margin_, x0 + (width - tw) / 2);
    const bool above = hri_position_ == 1 || hri_position_ == 3;
    const bool below = hri_position_ == 2 || hri_position_ == 3;
    const int height = std::max(1, bar_height_);
    const int total = height + (above ? fh + 2 : 0) + (below ? fh + 2 : 0);
    if (!reserve(total)) return;
    if (recording_)
        content_.symbols.push_back(SymbolRecord{symbol.name, symbol.data, x0,
                                                y_ + (above ? fh + 2 : 0), width, height,
                                                above || below ? symbol.hri : std::string()});
    if (!limits_.draw) {
        y_ += total;
        dirty_ = true;
        return;
    }
    int y = y_;
    if (above) {
        draw_text(page_, symbol.hri, hri_font_, tx, y);
        y += fh + 2;
    }
    for (size_t i = 0; i < symbol.modules.size(); ++i)
        if (symbol.modules[i]) page_.fill_rect(x0 + static_cast<int>(i) * mw, y, mw, height, true);
    y += height;
    if (below) draw_text(page_, symbol.hri, hri_font_, tx, y + 2);
    y_ += total;
    dirty_ = true;
}

void Renderer::matrix(const Matrix& m, int module_w, int module_h) {
    if (!pm_.on && !items_.empty()) print_line();
    if (!m.ok) return;
    module_w = std::max(1, module_w);
    module_h = std::max(1, module_h);
    if (pm_.on) {
        Bitmap b(m.cols * module_w, m.rows * module_h);
        for (int r = 0; r < m.rows; ++r)
            for (int c = 0; c < m.cols; ++c)
                if (m.at(r, c)) b.fill_rect(c * module_w, r * module_h, module_w, module_h, true);
        auto rec = std::make_shared<const SymbolRecord>(
            SymbolRecord{m.kind, m.data, 0, 0, b.width(), b.height(), {}});
        page_graphic(std::move(b), std::move(rec));
        return;
    }
    const int width = m.cols * module_w;
    if (width > area_width()) {
        log_("2D symbol is " + std::to_string(width) +
             " dots wide, more than the print area; not printed");
        return;
    }
    const int height = m.rows * module_h;
    if (!reserve(height)) return;
    if (recording_)
        content_.symbols.push_back(
            SymbolRecord{m.kind, m.data, aligned_x(width, justification_), y_, width, height, {}});
    if (!limits_.draw) {
        y_ += height;
        dirty_ = true;
        return;
    }
    const int x0 = aligned_x(width, justification_);
    for (int r = 0; r < m.rows; ++r)
        for (int c = 0; c < m.cols; ++c)
            if (m.at(r, c))
                page_.fill_rect(x0 + c * module_w, y_ + r * module_h, module_w, module_h, true);
    y_ += height;
    dirty_ = true;
}

void Renderer::raster(const uint8_t* data, int width_bytes, int height, int xscale, int yscale) {
    if (pm_.on) {
        Bitmap b(width_bytes * 8 * xscale, height * yscale);
        for (int y = 0; y < height; ++y) {
            const uint8_t* row = data + static_cast<size_t>(y) * width_bytes;
            for (int x = 0; x < width_bytes * 8; ++x)
                if ((row[x >> 3] >> (7 - (x & 7))) & 1)
                    b.fill_rect(x * xscale, y * yscale, xscale, yscale, true);
        }
        page_graphic(std::move(b), nullptr);
        return;
    }
    if (!items_.empty()) print_line();
    const int width = width_bytes * 8 * xscale;
    const int shown = std::min(width, area_width());
    if (width > shown) log_("raster image wider than the print area; cut at the right edge");
    const int total = height * yscale;
    if (!reserve(total)) return;
    if (!limits_.draw) {
        y_ += total;
        dirty_ = true;
        return;
    }
    const int x0 = aligned_x(shown, justification_);
    if (xscale == 1) {
        // Rows are already in the page's bit layout: copy them, clipped, and place them.
        Bitmap img(shown, height * yscale);
        const int bytes = (shown + 7) / 8;
        for (int y = 0; y < height; ++y) {
            const uint8_t* row = data + static_cast<size_t>(y) * width_bytes;
            for (int k = 0; k < yscale; ++k) {
                uint8_t* dst = img.row(y * yscale + k);
                std::copy(row, row + bytes, dst);
                if (shown % 8) dst[bytes - 1] &= static_cast<uint8_t>(0xFF << (8 - shown % 8));
            }
        }
        page_.blit(img, x0, y_);
    } else {
        for (int y = 0; y < height; ++y) {
            const uint8_t* row = data + static_cast<size_t>(y) * width_bytes;
            for (int x = 0; x < width_bytes * 8 && x * xscale < shown; ++x)
                if ((row[x >> 3] >> (7 - (x & 7))) & 1)
                    page_.fill_rect(x0 + x * xscale, y_ + y * yscale, xscale, yscale, true);
        }
    }
    y_ += total;
    dirty_ = true;
}

void Renderer::placeholder(std::string_view label, int width, int height) {
    if (pm_.on) {
        Bitmap b(std::min(width, area_width()), height);
        b.fill_rect(0, 0, b.width(), height, true);
        b.fill_rect(3, 3, b.width() - 6, height - 6, false);
        draw_text(b, label, 0, 6, (height - FontSet::CELL_H[0]) / 2);
        page_graphic(std::move(b), nullptr);
        return;
    }
    if (!items_.empty()) print_line();
    width = std::min(width, area_width());
    if (!reserve(height)) return;
    const int x0 = aligned_x(width, justification_);
    page_.fill_rect(x0, y_, width, 3, true);
    page_.fill_rect(x0, y_ + height - 3, width, 3, true);
    page_.fill_rect(x0, y_, 3, height, true);
    page_.fill_rect(x0 + width - 3, y_, 3, height, true);
    const int tw = static_cast<int>(label.size()) * FontSet::CELL_W[0];
    draw_text(page_, label, 0, x0 + std::max(3, (width - tw) / 2),
              y_ + (height - FontSet::CELL_H[0]) / 2);
    y_ += height;
    dirty_ = true;
}

void Renderer::emit() {
    if (missing_on_page_ > 0) {
        std::string what =
            std::to_string(missing_on_page_) + " character(s) that no font has, drawn as boxes:";
        char buf[64];
        for (const Missing& m : missing_) {
            if (m.cp == NO_CHARACTER)
                std::snprintf(buf, sizeof buf, " byte %02X (empty in %s) x%ld", m.byte,
                              code_table_name(m.table).c_str(), m.count);
            else
                std::snprintf(buf, sizeof buf, " U+%04X x%ld", static_cast<unsigned>(m.cp),
                              m.count);
            what += buf;
        }
        log_(what);
        missing_.clear();
        missing_on_page_ = 0;
    }
    if (dirty_) {
        if (stream_pages_ < limits_.max_pages) {
            Bitmap out(paper_width(), y_);
            for (int y = 0; y < y_ && y < page_.height(); ++y)
                std::copy(page_.row(y), page_.row(y) + page_.stride(), out.row(y));
            ++pages_;
            ++stream_pages_;
            if (sink_) sink_(out, pages_);
        } else if (!page_cap_logged_) {
            log_("image cap of " + std::to_string(limits_.max_pages) +
                 " per stream reached; further receipts dropped");
            page_cap_logged_ = true;
        }
    }
    fed_before_ += static_cast<uint64_t>(y_);
    page_ = Bitmap(paper_width(), 0);
    content_ = {};
    y_ = 0;
    dirty_ = false;
    overflow_logged_ = false;
}

void Renderer::mark(std::string_view label, int back) {
    if (pm_.on) return;
    constexpr int HEIGHT = 32;
    if (!reserve(HEIGHT)) return;
    const int at = std::clamp(y_ - back, 0, y_);
    // Rows below the mark move down to make room for it.
    for (int y = y_ - 1; y >= at; --y)
        std::copy(page_.row(y), page_.row(y) + page_.stride(), page_.row(y + HEIGHT));
    for (int y = at; y < at + HEIGHT; ++y)
        std::fill(page_.row(y), page_.row(y) + page_.stride(), 0);
    const int w = paper_width();
    for (int x = 0; x < w; x += 16) page_.fill_rect(x, at + 4, std::min(8, w - x), 2, true);
    const int tw = static_cast<int>(label.size()) * FontSet::CELL_W[1];
    draw_text(page_, label, 1, std::max(0, (w - tw) / 2), at + 10);
    if (recording_) {
        auto pos = content_.lines.end();
        for (auto it = content_.lines.begin(); it != content_.lines.end(); ++it)
            if (it->y >= at) {
                if (pos == content_.lines.end()) pos = it;
                it->y += HEIGHT;
            }
        for (SymbolRecord& s : content_.symbols)
            if (s.y >= at) s.y += HEIGHT;
        TextLine line;
        line.y = at;
        line.justification = 1;
        line.spans.push_back({std::string(label), TextMarks{}});
        content_.lines.insert(pos, std::move(line));
    }
    y_ += HEIGHT;
    dirty_ = true;
}

void Renderer::cut() {
    if (pm_.on) {
        log_("cut ignored in page mode");
        return;
    }
    if (!items_.empty()) print_line();
    emit();
}

void Renderer::finish() {
    // A page not yet printed (no FF) stays in memory, as in a printer.
    if (!pm_.on && !items_.empty()) print_line();
    emit();
}

void Renderer::begin_stream() {
    stream_pages_ = 0;
    page_cap_logged_ = false;
}

}  // namespace quorvel::printer

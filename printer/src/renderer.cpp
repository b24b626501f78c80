// SPDX-License-Identifier: MIT
#include "renderer.h"

#include <algorithm>
#include <cstdio>

#include "codepage.h"

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
    line_spans_.clear();
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

void Renderer::note_missing(uint8_t byte) {
    const char32_t cp = code_point(byte);
    ++missing_on_page_;
    ++missing_total_;
    for (Missing& m : missing_)
        if (m.cp == cp && (cp != NO_CHARACTER || (m.byte == byte && m.table == code_table_))) {
            ++m.count;
            return;
        }
    if (missing_.size() < 8) missing_.push_back({cp, byte, code_table_, 1});
}

void Renderer::put_char(uint8_t byte) {
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
    if (cached->missing) note_missing(byte);
    it.glyph = &cached->bitmap;
    it.x = x_;
    place(std::move(it));
    x_ += probe.w;
    if (recording_) record_char(byte);
}

void Renderer::record_char(uint8_t byte) {
    const TextMarks& marks = style_;
    if (line_spans_.empty() || !(line_spans_.back().marks == marks))
        line_spans_.push_back(TextSpan{{}, marks});
    // The character the byte prints as; one the table lacks (a box) is U+FFFD.
    const char32_t cp = code_point(byte);
    append_utf8(line_spans_.back().text, cp == NO_CHARACTER ? 0xFFFD : cp);
}

void Renderer::tab() {
    const int col = cell_width(style_);
    for (int stop : tabs_) {
        const int x = stop * col;
        if (x > x_ && x < area_width()) {
            place(Item{nullptr, nullptr, style_, x_, x - x_, cell_height(style_)});
            x_ = x;
            if (recording_ && !line_spans_.empty()) line_spans_.back().text += '\t';
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
    if (it.glyph && s.wmul == 1 && s.hmul == 1 && left >= 0 && left + 16 <= band.width()) {
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
    if (recording_ && !line_spans_.empty())
        content_.lines.push_back(
            TextLine{y_, justification_, upside_down_, std::exchange(line_spans_, {})});
    if (reserve(h)) {
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

void Renderer::draw_text(std::string_view text, int font, int x, int y) {
    const int cw = FontSet::CELL_W[font];
    for (size_t i = 0; i < text.size(); ++i)
        page_.blit(fonts_.glyph(font, to_unicode(0, 0, static_cast<uint8_t>(text[i]))).bitmap,
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

void Renderer::barcode(const LinearSymbol& symbol) {
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
        content_.symbols.push_back(
            SymbolRecord{symbol.name, symbol.hri, x0, y_ + (above ? fh + 2 : 0), width, height});
    if (!limits_.draw) {
        y_ += total;
        dirty_ = true;
        return;
    }
    int y = y_;
    if (above) {
        draw_text(symbol.hri, hri_font_, tx, y);
        y += fh + 2;
    }
    for (size_t i = 0; i < symbol.modules.size(); ++i)
        if (symbol.modules[i]) page_.fill_rect(x0 + static_cast<int>(i) * mw, y, mw, height, true);
    y += height;
    if (below) draw_text(symbol.hri, hri_font_, tx, y + 2);
    y_ += total;
    dirty_ = true;
}

void Renderer::matrix(const Matrix& m, int module_w, int module_h) {
    if (!items_.empty()) print_line();
    if (!m.ok) return;
    module_w = std::max(1, module_w);
    module_h = std::max(1, module_h);
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
            SymbolRecord{m.kind, m.data, aligned_x(width, justification_), y_, width, height});
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
    if (!items_.empty()) print_line();
    width = std::min(width, area_width());
    if (!reserve(height)) return;
    const int x0 = aligned_x(width, justification_);
    page_.fill_rect(x0, y_, width, 3, true);
    page_.fill_rect(x0, y_ + height - 3, width, 3, true);
    page_.fill_rect(x0, y_, 3, height, true);
    page_.fill_rect(x0 + width - 3, y_, 3, height, true);
    const int tw = static_cast<int>(label.size()) * FontSet::CELL_W[0];
    draw_text(label, 0, x0 + std::max(3, (width - tw) / 2), y_ + (height - FontSet::CELL_H[0]) / 2);
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
    page_ = Bitmap(paper_width(), 0);
    content_ = {};
    y_ = 0;
    dirty_ = false;
    overflow_logged_ = false;
}

void Renderer::cut() {
    if (!items_.empty()) print_line();
    emit();
}

void Renderer::finish() {
    if (!items_.empty()) print_line();
    emit();
}

void Renderer::begin_stream() {
    stream_pages_ = 0;
    page_cap_logged_ = false;
}

}  // namespace quorvel::printer

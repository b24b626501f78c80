// SPDX-License-Identifier: MIT
// Page mode: the area is drawn unturned (x along the direction of print, y
// down the lines) and turned onto the page when the direction or the area
// changes and when the page is printed.
#include <algorithm>

#include "paper/page_mode.h"
#include "paper/renderer.h"

namespace quorvel::printer {

namespace {

// The area's dots as they land on the page: direction 1 (bottom to top) is
// a quarter turn anticlockwise, 2 a half turn, 3 a quarter turn clockwise.
Bitmap turned(const Bitmap& b, int direction) {
    if (direction == 0) return b;
    if (direction == 2) {
        Bitmap r = b;
        r.rotate180();
        return r;
    }
    Bitmap r(b.height(), b.width());
    for (int y = 0; y < b.height(); ++y) {
        const uint8_t* row = b.row(y);
        for (int x = 0; x < b.width(); ++x) {
            if (!row[x >> 3]) {
                x |= 7;
                continue;
            }
            if (!b.get(x, y)) continue;
            if (direction == 1)
                r.set(y, b.width() - 1 - x);
            else
                r.set(b.height() - 1 - y, x);
        }
    }
    return r;
}

}  // namespace

void Renderer::page_rect(int& x, int& y, int& w, int& h) const {
    const int lx = x, ly = y, lw = w, lh = h;
    switch (pm_.direction) {
        case 1:
            x = ly, y = pm_.h - (lx + lw), w = lh, h = lw;
            break;
        case 2:
            x = pm_.w - (lx + lw), y = pm_.h - (ly + lh);
            break;
        case 3:
            x = pm_.w - (ly + lh), y = lx, w = lh, h = lw;
            break;
        default:
            break;
    }
    x += pm_.x;
    y += pm_.y;
}

void Renderer::enter_page_mode() {
    if (pm_.on) return;
    if (!items_.empty()) print_line();
    pm_.on = true;
    pm_.canvas = Bitmap(paper_width(), pm_.y + pm_.h);
    pm_.area = Bitmap(area_logical_width(), area_logical_height());
    pm_.content = {};
    pm_.pos_y = 0;
    pm_.used = false;
    x_ = 0;
}

void Renderer::leave_page_mode() {
    if (!pm_.on) return;
    items_.clear();
    x_ = 0;
    pm_.on = false;
    pm_.canvas = Bitmap();
    pm_.area = Bitmap();
    pm_.content = {};
}

void Renderer::commit_area() {
    if (!items_.empty()) page_line(false);
    pm_.canvas.blit(turned(pm_.area, pm_.direction), pm_.x, pm_.y);
    pm_.area = Bitmap(area_logical_width(), area_logical_height());
}

void Renderer::set_page_area(int x, int y, int w, int h) {
    using page_mode::MAX_PAGE_HEIGHT;
    if (w <= 0 || h <= 0 || x >= paper_width() || y >= MAX_PAGE_HEIGHT) return;
    if (pm_.on) commit_area();
    pm_.x = x, pm_.y = y;
    pm_.w = std::min(w, paper_width() - x);
    pm_.h = std::min(h, MAX_PAGE_HEIGHT - y);
    if (pm_.on) {
        // The page reaches down to the lowest area that anything was put in.
        if (!pm_.used)
            pm_.canvas = Bitmap(paper_width(), pm_.y + pm_.h);
        else if (pm_.canvas.height() < pm_.y + pm_.h)
            pm_.canvas.resize_height(pm_.y + pm_.h);
        pm_.area = Bitmap(area_logical_width(), area_logical_height());
        pm_.pos_y = 0;
        x_ = 0;
    }
}

void Renderer::set_page_direction(int direction) {
    if (pm_.on) commit_area();
    pm_.direction = direction & 3;
    if (pm_.on) {
        pm_.area = Bitmap(area_logical_width(), area_logical_height());
        pm_.pos_y = 0;
        x_ = 0;
    }
}

void Renderer::set_page_vertical(int dots, bool relative) {
    if (!pm_.on) return;
    // What the line holds so far stays where it was put.
    if (!items_.empty()) page_line(false);
    const int y = relative ? pm_.pos_y + dots : dots;
    if (y >= 0 && y < area_logical_height()) pm_.pos_y = y;
}

void Renderer::clear_page_area() {
    if (!pm_.on) return;
    items_.clear();
    x_ = 0;
    pm_.area = Bitmap(area_logical_width(), area_logical_height());
    pm_.canvas.fill_rect(pm_.x, pm_.y, pm_.w, pm_.h, false);
    auto inside = [&](int x, int y) {
        return x >= pm_.x && x < pm_.x + pm_.w && y >= pm_.y && y < pm_.y + pm_.h;
    };
    std::erase_if(pm_.content.lines, [&](const TextLine& l) { return inside(pm_.x, l.y); });
    std::erase_if(pm_.content.symbols, [&](const SymbolRecord& s) { return inside(s.x, s.y); });
}

void Renderer::page_line(bool feed) {
    if (items_.empty()) {
        x_ = 0;
        if (feed) advance(line_spacing_);
        return;
    }
    int h = 0;
    for (const Item& it : items_) h = std::max(h, it.h);
    const int top = page_mode::line_top(pm_.pos_y), base = top + h;
    pm_.used = true;
    const int lw = area_logical_width();
    if (recording_) {
        int x = 0, y = base - h, w = lw, hh = h;
        page_rect(x, y, w, hh);
        record_line(pm_.content, y);
        for (const Item& it : items_) {
            if (!it.symbol) continue;
            SymbolRecord s = *it.symbol;
            s.x += it.x;
            s.y += base - it.h;
            page_rect(s.x, s.y, s.width, s.height);
            pm_.content.symbols.push_back(std::move(s));
        }
    }
    if (limits_.draw) {
        Bitmap band(lw, h);
        for (const Item& it : items_) draw_item(band, it, 0, h);
        pm_.area.blit(band, 0, base - h);
    }
    items_.clear();
    x_ = 0;
    if (feed)
        pm_.pos_y =
            std::min(page_mode::next_position(top, h, line_spacing_), area_logical_height());
}

void Renderer::page_graphic(Bitmap image, std::shared_ptr<const SymbolRecord> symbol) {
    const int w = image.width();
    if (w <= 0 || image.height() <= 0) return;
    if (w > area_width()) {
        log_("graphic is " + std::to_string(w) +
             " dots wide, more than the page-mode print area; not printed");
        return;
    }
    if (x_ + w > area_width()) page_line(true);
    Item it{nullptr, std::make_shared<const Bitmap>(std::move(image)), style_, x_, w, 0};
    it.h = it.image->height();
    it.style.underline = 0;
    it.style.reverse = false;
    it.symbol = std::move(symbol);
    place(std::move(it));
    x_ += w;
}

void Renderer::print_page(bool stay) {
    if (!pm_.on) return;
    commit_area();
    const int h = pm_.canvas.height();
    if (h > 0 && reserve(h)) {
        if (limits_.draw) page_.blit(pm_.canvas, 0, y_);
        if (recording_) {
            for (TextLine l : pm_.content.lines) {
                l.y += y_;
                content_.lines.push_back(std::move(l));
            }
            for (SymbolRecord s : pm_.content.symbols) {
                s.y += y_;
                content_.symbols.push_back(std::move(s));
            }
        }
        y_ += h;
        dirty_ = true;
    }
    if (!stay) leave_page_mode();
}

}  // namespace quorvel::printer

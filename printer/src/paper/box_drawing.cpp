// SPDX-License-Identifier: MIT
#include "paper/box_drawing.h"

#include <algorithm>
#include <vector>

namespace quorvel::printer {
namespace {

// Arms of U+2500..U+257F from the centre of the cell: up, right, down,
// left; 0 none, 1 light, 2 heavy, 3 double. A digit after ':' cuts the
// line into that many dashes. "/", "\" and "X" are the diagonals.
constexpr const char* ARMS[128] = {
    "0101",   "0202",   "1010",   "2020",   "0101:3", "0202:3", "1010:3", "2020:3",  // 2500
    "0101:4", "0202:4", "1010:4", "2020:4", "0110",   "0210",   "0120",   "0220",    // 2508
    "0011",   "0012",   "0021",   "0022",   "1100",   "1200",   "2100",   "2200",    // 2510
    "1001",   "1002",   "2001",   "2002",   "1110",   "1210",   "2110",   "1120",    // 2518
    "2120",   "2210",   "1220",   "2220",   "1011",   "1012",   "2011",   "1021",    // 2520
    "2021",   "2012",   "1022",   "2022",   "0111",   "0112",   "0211",   "0212",    // 2528
    "0121",   "0122",   "0221",   "0222",   "1101",   "1102",   "1201",   "1202",    // 2530
    "2101",   "2102",   "2201",   "2202",   "1111",   "1112",   "1211",   "1212",    // 2538
    "2111",   "1121",   "2121",   "2112",   "2211",   "1122",   "1221",   "2212",    // 2540
    "1222",   "2122",   "2221",   "2222",   "0101:2", "0202:2", "1010:2", "2020:2",  // 2548
    "0303",   "3030",   "0310",   "0130",   "0330",   "0013",   "0031",   "0033",    // 2550
    "1300",   "3100",   "3300",   "1003",   "3001",   "3003",   "1310",   "3130",    // 2558
    "3330",   "1013",   "3031",   "3033",   "0313",   "0131",   "0333",   "1303",    // 2560
    "3101",   "3303",   "1313",   "3131",   "3333",   "0110",   "0011",   "1001",    // 2568
    "1100",   "/",      "\\",     "X",      "0001",   "1000",   "0100",   "0010",    // 2570
    "0002",   "2000",   "0200",   "0020",   "0201",   "1020",   "0102",   "2010",    // 2578
};

enum Block { LOWER, LEFT, UPPER, RIGHT, SHADE, QUADRANTS };
struct BlockDef {
    Block kind;
    int n;  // eighths, shade level 1..3, or quadrant bits (1 UL, 2 UR, 4 LL, 8 LR)
};
// U+2580..U+259F.
constexpr BlockDef BLOCKS[32] = {
    {UPPER, 4},      {LOWER, 1},      {LOWER, 2},     {LOWER, 3},       // 2580
    {LOWER, 4},      {LOWER, 5},      {LOWER, 6},     {LOWER, 7},       // 2584
    {LOWER, 8},      {LEFT, 7},       {LEFT, 6},      {LEFT, 5},        // 2588
    {LEFT, 4},       {LEFT, 3},       {LEFT, 2},      {LEFT, 1},        // 258C
    {RIGHT, 4},      {SHADE, 1},      {SHADE, 2},     {SHADE, 3},       // 2590
    {UPPER, 1},      {RIGHT, 1},      {QUADRANTS, 4}, {QUADRANTS, 8},   // 2594
    {QUADRANTS, 1},  {QUADRANTS, 13}, {QUADRANTS, 9}, {QUADRANTS, 7},   // 2598
    {QUADRANTS, 11}, {QUADRANTS, 2},  {QUADRANTS, 6}, {QUADRANTS, 14},  // 259C
};

struct Span {
    int lo, hi;  // [lo, hi)
};

// The dots across a line of weight w centred on c; stroke t dots.
std::vector<Span> bands(int w, int c, int t) {
    switch (w) {
        case 2:
            return {{c - t, c + t}};
        case 3: {
            const int s = c - (3 * t) / 2;
            return {{s, s + t}, {s + 2 * t, s + 3 * t}};
        }
        default:
            return {{c - t / 2, c - t / 2 + t}};
    }
}

// Weight of the lines through the centre across an arm: double wins, then heavy.
int cross_weight(int a, int b) {
    if (a == 3 || b == 3) return 3;
    return std::max(std::max(a, b), 1);
}

// One arm, drawn along one axis. `fill(along_lo, along_hi, across_lo, across_hi)`.
// `perp` are the bands of the lines crossing the centre; `neg_side`/`pos_side`
// say whether an arm leaves the centre on the lower/higher side across.
template <typename Fill>
void arm(bool positive, int w, int len, int centre, int t, const std::vector<Span>& perp,
         bool perp_double, bool opposite, bool neg_side, bool pos_side, Fill fill) {
    const std::vector<Span> lines = bands(w, centre, t);
    for (size_t k = 0; k < lines.size(); ++k) {
        int start, end;
        if (lines.size() == 2) {
            // Double line: the line on the side of a crossing arm stops at its
            // inner line, the other turns at the outer one.
            const bool inner = k == 0 ? neg_side : pos_side;
            start = positive ? (inner ? perp.back().lo : perp.front().lo) : 0;
            end = positive ? len : (inner ? perp.front().hi : perp.back().hi);
        } else if (perp_double && !opposite) {
            // A single line meeting a double one ends at its near line.
            start = positive ? perp.back().lo : 0;
            end = positive ? len : perp.front().hi;
        } else {
            start = positive ? perp.front().lo : 0;
            end = positive ? len : perp.back().hi;
        }
        fill(start, end, lines[k].lo, lines[k].hi);
    }
}

void draw_arms(const char* arms, Bitmap& cell) {
    const int cw = cell.width(), ch = cell.height();
    const int t = std::max(1, cw / 6);
    const int cx = cw / 2, cy = ch / 2;
    const int up = arms[0] - '0', right = arms[1] - '0', down = arms[2] - '0', left = arms[3] - '0';
    const auto vbands = bands(up || down ? cross_weight(up, down) : 1, cx, t);
    const auto hbands = bands(left || right ? cross_weight(left, right) : 1, cy, t);
    const bool vdouble = up == 3 || down == 3, hdouble = left == 3 || right == 3;
    auto horizontal = [&](int x0, int x1, int y0, int y1) {
        cell.fill_rect(x0, y0, x1 - x0, y1 - y0);
    };
    auto vertical = [&](int y0, int y1, int x0, int x1) {
        cell.fill_rect(x0, y0, x1 - x0, y1 - y0);
    };
    if (right) arm(true, right, cw, cy, t, vbands, vdouble, left, up, down, horizontal);
    if (left) arm(false, left, cw, cy, t, vbands, vdouble, right, up, down, horizontal);
    if (down) arm(true, down, ch, cx, t, hbands, hdouble, up, left, right, vertical);
    if (up) arm(false, up, ch, cx, t, hbands, hdouble, down, left, right, vertical);
    if (arms[4] == ':') {
        // Dashes: n per cell, the gap a third of each.
        const int n = arms[5] - '0';
        const bool along_x = left || right;
        const int len = along_x ? cw : ch, period = std::max(2, len / n),
                  gap = std::max(1, period / 3);
        for (int i = 0; i < len; ++i) {
            if (i % period < period - gap) continue;
            if (along_x)
                cell.fill_rect(i, 0, 1, ch, false);
            else
                cell.fill_rect(0, i, cw, 1, false);
        }
    }
}

void draw_diagonal(Bitmap& cell, bool rising) {
    const int cw = cell.width(), ch = cell.height(), t = std::max(1, cw / 6);
    for (int y = 0; y < ch; ++y) {
        const int from_left = (y * cw) / ch;
        const int x = rising ? cw - 1 - from_left : from_left;
        cell.fill_rect(x - t / 2, y, t, 1);
    }
}

void draw_block(const BlockDef& b, Bitmap& cell) {
    const int cw = cell.width(), ch = cell.height();
    switch (b.kind) {
        case LOWER: {
            const int h = (ch * b.n + 4) / 8;
            cell.fill_rect(0, ch - h, cw, h);
            break;
        }
        case UPPER:
            cell.fill_rect(0, 0, cw, (ch * b.n + 4) / 8);
            break;
        case LEFT:
            cell.fill_rect(0, 0, (cw * b.n + 4) / 8, ch);
            break;
        case RIGHT: {
            const int w = (cw * b.n + 4) / 8;
            cell.fill_rect(cw - w, 0, w, ch);
            break;
        }
        case SHADE:
            // 25, 50 and 75 % of the dots, on a grid that tiles from cell to cell.
            for (int y = 0; y < ch; ++y)
                for (int x = 0; x < cw; ++x) {
                    const bool even_x = x % 2 == 0, even_y = y % 2 == 0;
                    const bool on = b.n == 1   ? even_x && even_y
                                    : b.n == 2 ? even_x == even_y
                                               : !(even_x && even_y);
                    if (on) cell.set(x, y);
                }
            break;
        case QUADRANTS: {
            const int hx = cw / 2, hy = ch / 2;
            if (b.n & 1) cell.fill_rect(0, 0, hx, hy);
            if (b.n & 2) cell.fill_rect(hx, 0, cw - hx, hy);
            if (b.n & 4) cell.fill_rect(0, hy, hx, ch - hy);
            if (b.n & 8) cell.fill_rect(hx, hy, cw - hx, ch - hy);
            break;
        }
    }
}

}  // namespace

bool is_box_drawing(char32_t cp) {
    return cp >= 0x2500 && cp <= 0x259F;
}

bool draw_box_drawing(char32_t cp, Bitmap& cell) {
    if (!is_box_drawing(cp)) return false;
    if (cp >= 0x2580) {
        draw_block(BLOCKS[cp - 0x2580], cell);
        return true;
    }
    const char* arms = ARMS[cp - 0x2500];
    if (arms[0] == '/' || arms[0] == 'X') draw_diagonal(cell, true);
    if (arms[0] == '\\' || arms[0] == 'X') draw_diagonal(cell, false);
    if (arms[0] >= '0' && arms[0] <= '3') draw_arms(arms, cell);
    return true;
}

}  // namespace quorvel::printer

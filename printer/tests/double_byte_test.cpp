// SPDX-License-Identifier: MIT
// Double-byte text: each encoding's bytes (made by iconv from UTF-8) print
// as double-byte cells and read back as the same UTF-8 text; the FS modes
// size the cell; a character no font has is a box, counted.
#include <gtest/gtest.h>
#include <iconv.h>

#include "escpos/interpreter.h"
#include "support.h"

namespace quorvel::printer::test {
namespace {

std::string encode(const char* to, const std::string& utf8) {
    iconv_t cd = iconv_open(to, "UTF-8");
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << to;
    std::string in = utf8, out(utf8.size() * 4 + 8, '\0');
    char* src = in.data();
    char* dst = out.data();
    size_t sl = in.size(), dl = out.size();
    EXPECT_NE(iconv(cd, &src, &sl, &dst, &dl), static_cast<size_t>(-1)) << to << " " << utf8;
    iconv_close(cd);
    out.resize(out.size() - dl);
    return out;
}

// A printer with a double-byte encoding: its pages, text lines and journal.
struct Printed {
    std::vector<Bitmap> pages;
    std::vector<std::string> text;
    long missing = 0;
};
Printed print(DoubleByte e, const std::string& stream) {
    Printed out;
    RenderLimits limits;
    limits.double_byte = e;
    Renderer* rp = nullptr;
    Renderer r(
        FontSet::shared(),
        [&](const Bitmap& b, int) {
            out.pages.push_back(b);
            for (const TextLine& l : rp->take_content().lines) {
                std::string t;
                for (const TextSpan& s : l.spans) t += s.text;
                out.text.push_back(t);
            }
        },
        [](std::string_view) {}, limits);
    rp = &r;
    r.set_recording(true);
    StatusModel status;
    Journal journal;
    Interpreter in(r, status, journal, [](std::span<const uint8_t>) {});
    in.feed({reinterpret_cast<const uint8_t*>(stream.data()), stream.size()});
    in.finish();
    out.missing = r.missing_glyphs();
    return out;
}

TEST(DoubleByte, EachEncodingPrintsAndReadsBackAsUtf8) {
    struct Case {
        DoubleByte e;
        const char* iconv_name;
        std::string prefix;  // FS C 0 for JIS
        std::string text;    // only double-byte characters
    };
    const std::vector<Case> cases = {
        {DoubleByte::GB18030, "GB18030", "", "收银小票合计￥"},
        {DoubleByte::GB18030, "GB18030", "", "€"},  // a four-byte sequence
        {DoubleByte::SHIFT_JIS, "SHIFT_JIS", "", "領収書合計円"},
        {DoubleByte::SHIFT_JIS, "ISO-2022-JP",
         "\x1c"
         "C0",
         "領収書"},
        {DoubleByte::EUC_KR, "EUC-KR", "", "영수증합계"},
        {DoubleByte::BIG5, "BIG5", "", "收據合計"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.iconv_name + (" " + c.text));
        std::string bytes = encode(c.iconv_name, c.text);
        if (c.prefix.size()) bytes = bytes.substr(3);  // the JIS pairs, after ESC $ B
        // The printer starts in double-byte mode; FS . and FS & turn it off and on.
        const Printed p = print(
            c.e, c.prefix + bytes + "\n\x1c.AB\x1c&" + bytes + "\n\x1dV" + std::string(1, '\0'));
        ASSERT_EQ(p.pages.size(), 1u);
        EXPECT_EQ(p.text, (std::vector<std::string>{c.text, "AB" + c.text}));
        EXPECT_EQ(p.missing, 0);
        // 24 dots a character: the first line's ink ends within its last cell.
        const int cells = static_cast<int>(p.text[0].size() / 3);
        const Box first = ink_box(p.pages[0], 0, 24);
        EXPECT_GT(first.x1, cells * 24 - 12);
        EXPECT_LT(first.x1, cells * 24);
    }
}

TEST(DoubleByte, PrintModesSizeTheCell) {
    const std::string kan = encode("GB18030", "字");
    struct Case {
        const char* name;
        std::string modes;
        int width;  // of the cell, including spacing
        int height;
    };
    const std::vector<Case> cases = {
        {"plain", "", 24, 24},
        {"FS ! double width", "\x1c!\x04", 48, 24},
        {"FS ! double height", "\x1c!\x08", 24, 48},
        {"FS W quadruple", "\x1cW\x01", 48, 48},
        {"FS S spacing", "\x1cS\x03\x05", 32, 24},
        {"font B cell", "\x1bM\x01", 16, 17},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Two characters then an X: the X starts two cells in.
        const Printed p = print(DoubleByte::GB18030, c.modes + kan + kan + "\x1c.X\n");
        ASSERT_EQ(p.pages.size(), 1u);
        const Box x = ink_box(p.pages[0]);
        EXPECT_GE(x.x1, 2 * c.width);
        EXPECT_LT(x.x1, 2 * c.width + 12);
        EXPECT_GE(p.pages[0].height(), c.height);
    }
}

TEST(DoubleByte, WhatNoFontHasIsABoxAndCounted) {
    // U+1F600 in GB18030 (four bytes): no CJK font has it. A lead byte
    // followed by a byte that cannot trail it is a box too.
    const Printed p = print(DoubleByte::GB18030, encode("GB18030", "好😀") +
                                                     "\x81"
                                                     " A\n");
    ASSERT_EQ(p.pages.size(), 1u);
    EXPECT_EQ(p.missing, 2);
    EXPECT_EQ(p.text, (std::vector<std::string>{"好😀\xEF\xBF\xBD"
                                                " A"}));
}

TEST(DoubleByte, NoEncodingKeepsSingleByteText) {
    const Printed p = print(DoubleByte::NONE, "\x1c&caf\x82\n");
    EXPECT_EQ(p.text, (std::vector<std::string>{"café"}));
}

}  // namespace
}  // namespace quorvel::printer::test

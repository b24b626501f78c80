// SPDX-License-Identifier: MIT
// What a page carries besides its dots: the text lines as characters with
// their print modes, and the symbols with the data they encode. Recorded by
// the renderer for the web side's /text and /symbols.
#pragma once

#include <string>
#include <vector>

namespace quorvel::printer {

struct TextMarks {
    int font = 0;  // 0 A, 1 B
    bool bold = false;
    int underline = 0;  // dots
    int wmul = 1;
    int hmul = 1;
    bool reverse = false;
    bool operator==(const TextMarks&) const = default;
};

struct TextSpan {
    std::string text;  // UTF-8, decoded through the code table in force
    TextMarks marks;
};

struct TextLine {
    int y = 0;              // top of the line on the page, in dots
    int justification = 0;  // 0 left, 1 centre, 2 right
    bool upside_down = false;
    std::vector<TextSpan> spans;
};

struct SymbolRecord {
    std::string type;  // "EAN-13", "QR Code", ...
    std::string data;  // what a scanner reads (with a check digit the symbology adds)
    int x = 0;         // print-area dots, from the top left of the page
    int y = 0;
    int width = 0;
    int height = 0;
    std::string hri;  // the human-readable text printed with a barcode, if any
};

struct PageContent {
    std::vector<TextLine> lines;
    std::vector<SymbolRecord> symbols;
    bool empty() const { return lines.empty() && symbols.empty(); }
};

}  // namespace quorvel::printer

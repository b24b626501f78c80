// SPDX-License-Identifier: MIT
// Barcode and 2D symbol encoding to module patterns. The data is read the
// way an ESC/POS printer reads it; zint does the symbology encoding, except
// for Code 128, whose code sets come from the data itself.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "paper/bitmap.h"

namespace quorvel::printer {

struct LinearSymbol {
    bool ok = false;
    std::string error;             // why nothing is printed
    std::vector<uint8_t> modules;  // 1 = bar, one entry per module
    std::string hri;               // human-readable text
    std::string name;              // symbology name for the journal
    std::string data;              // what a scanner transmits (no Code 39 *, GS as FNC1)
};

// m is the GS k symbology, either form (0..6 or 65..78).
LinearSymbol encode_linear(int m, std::string_view data);

// Code 128 with the code-set escapes of GS k 73: {A {B {C {S {1..{4 {{.
LinearSymbol encode_code128(std::string_view data);

struct Matrix {
    bool ok = false;
    std::string error;
    std::string note;  // something the journal should mention
    int rows = 0;
    int cols = 0;
    std::vector<uint8_t> cells;  // rows x cols, 1 = dark
    std::string kind;            // symbology name
    std::string data;            // the data encoded
    bool at(int r, int c) const { return cells[static_cast<size_t>(r) * cols + c] != 0; }
};

// ecc: 0 L, 1 M, 2 Q, 3 H.
Matrix encode_qr(std::string_view data, int ecc);
// columns and rows 0 = automatic (rows 3..90); ecc -1 = automatic, else 0..8.
Matrix encode_pdf417(std::string_view data, int columns, int rows, int ecc, bool truncated);
// rows/cols 0 = automatic; a size that is not an ECC200 size falls back to automatic.
Matrix encode_data_matrix(std::string_view data, int rows, int cols);

// A symbol that zint lays out as dots itself: MaxiCode's hexagons and
// bullseye, the rows of their own heights of a stacked GS1 DataBar. `scale`
// is zint's: 0.5 per dot of module width.
struct DrawnSymbol {
    bool ok = false;
    std::string error;
    std::string note;
    Bitmap image;
};
enum class DrawnKind {
    MAXICODE,
    DATABAR_STACKED,
    DATABAR_OMNI_STACKED,
    DATABAR_EXPANDED_STACKED,
    AZTEC
};
// option_1: MaxiCode mode, Aztec error-correction level 1..4; option_2: Aztec size.
// Expanded DataBar data has its application identifiers in ( ) or [ ].
DrawnSymbol draw_symbol(DrawnKind kind, std::string_view data, int option_1, int option_2,
                        float scale);

const char* symbology_name(int m);

}  // namespace quorvel::printer

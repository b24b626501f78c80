// SPDX-License-Identifier: MIT
// Receipts as JSON (spool/receipt.schema.json): a document of text lines,
// rows of columns, barcodes, 2D symbols, images, feeds, cuts and the drawer,
// built into ESC/POS by the library's own functions on a memory handle.
#pragma once

#include <string>

#include "../config/config.h"

namespace quorvel::spool {

struct BuiltReceipt {
    unsigned status = 200;  // 200 built; 400 a bad document (error names the field); 413, 500
    std::string error;
    std::string bytes;
};

// Checks the whole document first, then builds it: a bad one builds nothing.
// `max_bytes` bounds the ESC/POS that comes out.
BuiltReceipt build_receipt(const std::string& document, const PrinterConfig& printer,
                           size_t max_bytes);

// Characters per line of font A (12 dots) or B (9 dots) on the printer's paper.
int line_characters(const PrinterConfig& printer, bool font_b);

}  // namespace quorvel::spool

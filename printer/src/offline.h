// SPDX-License-Identifier: MIT
// A captured byte stream run offline through one printer: --decode renders
// it, --bench times it.
#pragma once

#include <string>

#include "printer.h"

namespace quorvel::printer {

// Renders `file` through a fresh session of `printer` and lists the images
// written on standard error. The exit code: 0, or 2 when it cannot be read.
int decode_stream(const std::string& file, Printer& printer, const FontSet& fonts);

// Times `file` three ways (layout only; with the dots; with the PNG files)
// and prints the figures. The PNG files go to a temporary folder inside
// `parent` (the system's temporary folder when empty), removed on return.
int bench_stream(const std::string& file, Printer& printer, const FontSet& fonts,
                 const std::string& parent);

}  // namespace quorvel::printer

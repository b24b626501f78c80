// SPDX-License-Identifier: MIT
// The subcommands, by family. Each add_* declares its options on the root
// parser and returns how to build its action; subcommand_table.cpp lists them.
#pragma once

#include "subcommand.h"

namespace quorvel::cli {

// Text (subcommands_text.cpp).
Subcommand add_text(CLI::App& root, const Globals& globals);
Subcommand add_formatted(CLI::App& root, const Globals& globals);

// Linear barcodes (subcommands_barcode.cpp).
Subcommand add_barcode(CLI::App& root, const Globals& globals);
Subcommand add_code128(CLI::App& root, const Globals& globals);

// 2D symbols (subcommands_symbol2d.cpp).
Subcommand add_qr(CLI::App& root, const Globals& globals);
Subcommand add_pdf417(CLI::App& root, const Globals& globals);
Subcommand add_datamatrix(CLI::App& root, const Globals& globals);

// Device control, stored images, raw bytes, status and versions (subcommands_device.cpp).
Subcommand add_simple(CLI::App& root, const char* name, const char* description,
                      int(QUORVEL_CALL* call)(quorvel_printer*));
Subcommand add_logo(CLI::App& root, const Globals& globals);
Subcommand add_raw(CLI::App& root, const Globals& globals);
Subcommand add_status(CLI::App& root, const Globals& globals);
Subcommand add_drawer_status(CLI::App& root, const Globals& globals);
Subcommand add_version(CLI::App& root, const Globals& globals);

}  // namespace quorvel::cli

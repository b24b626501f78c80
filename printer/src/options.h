// SPDX-License-Identifier: MIT
// quorvel-printer's command line: one table of options (options.cpp), read
// with CLI11, and the printers it sets up.
#pragma once

#include <string>
#include <vector>

#include "paper/fonts.h"
#include "printer.h"

namespace quorvel::printer {

struct Options {
    PrinterSetup base;  // every printer's defaults
    FontPaths fonts;
    std::string profile;      // --profile: a name or a file; empty: the built-in default
    std::string double_byte;  // --double-byte: overrides the profile's encoding
    std::string shop;         // --shop FILE
    std::string decode;       // --decode FILE
    std::string bench;        // --bench FILE
    bool out_given = false;   // --out was given (--bench then writes there)
    std::string http;         // --http address; empty: no web side
    std::string http_token;
    std::string ready_file;
};

// Reads the command line into *out. -1 to go on; otherwise the exit code
// (0 after --help or --version, 2 for a bad option, said on standard error).
int parse_options(int argc, char** argv, Options* out);

// The printers to run: the profile read and the double-byte override applied
// to `options.base`, then one setup per --shop entry (or `base` alone). The
// code tables must be loaded first, since profiles name them. False with
// *error naming the option on a fault.
bool printer_setups(const Options& options, std::vector<PrinterSetup>* out, std::string* error);

}  // namespace quorvel::printer

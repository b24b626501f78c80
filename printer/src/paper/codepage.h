// SPDX-License-Identifier: MIT
// Character code tables of ESC t and international character sets of
// ESC R: which Unicode character a byte prints as.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quorvel::printer {

// A byte that has no character in its table (printed as a box).
constexpr char32_t NO_CHARACTER = 0;

struct CodeTableInfo {
    int number;          // n of ESC t
    const char* name;    // as printers list it
    const char* source;  // where the mapping comes from: a glibc iconv codeset or a hand table
    bool available;      // false when iconv could not open the codeset on this system
};

// Build every table (once; later calls are free). Returns one line per
// table that could not be built, for the start-up journal.
std::vector<std::string> load_code_tables();

// Every table number ESC t selects, in order, and whether it could be built.
const std::vector<CodeTableInfo>& code_tables();

bool code_table_known(int table);
// "PC437", "WPC1252", ...; "table n" for a number with no table.
std::string code_table_name(int table);

bool international_known(int set);
// "USA", "Germany", ...; "set n" for a number with no set.
std::string international_name(int set);

// The character `byte` prints as under code table `table` with the
// international set `international` in force. Control bytes (below 0x20,
// and 0x7F) and bytes the table leaves empty give NO_CHARACTER.
char32_t to_unicode(int table, int international, uint8_t byte);

void append_utf8(std::string& out, char32_t cp);
// Printed text decoded to UTF-8; a byte with no character becomes U+FFFD.
std::string to_utf8(std::span<const uint8_t> text, int table, int international);

}  // namespace quorvel::printer

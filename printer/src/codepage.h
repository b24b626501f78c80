// Character code tables of ESC t: byte to Unicode code point.
#pragma once

#include <cstdint>

namespace qvp {

// True when the table number has a mapping of its own; others fall back
// to PC437.
bool codeTableKnown(int table);
const char* codeTableName(int table);
char32_t toUnicode(int table, uint8_t byte);

}  // namespace qvp

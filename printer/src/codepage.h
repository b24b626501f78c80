// Character code tables of ESC t: byte to Unicode code point.
#pragma once

#include <cstdint>

namespace quorvel::printer {

// True when the table number has a mapping of its own; others fall back
// to PC437.
bool code_table_known(int table);
const char* code_table_name(int table);
char32_t to_unicode(int table, uint8_t byte);

}  // namespace quorvel::printer

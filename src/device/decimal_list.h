// Decimal lists: "27,97,1" split in place at commas and converted item by item.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace quorvel {

// Converts one item as "%d" reads it: white space skipped, optional sign,
// decimal digits up to the first other character. Nothing when no digit follows.
// Values beyond 32 bits wrap modulo 2^32.
std::optional<std::int32_t> convert_decimal_item(const char* item);

// Splits text at commas as strtok(text, ",") does: leading, repeated and
// trailing commas give no empty items, and the comma ending each item becomes
// a NUL byte. Calls visit(index, value) for each item in order, value empty when
// the item converts nothing; visit returns false to stop. Keeps no state between
// calls. Returns the number of items visited.
template <typename Visitor>
std::size_t parse_decimal_list(char* text, Visitor&& visit) {
    std::size_t count = 0;
    char* cursor = text;
    for (;;) {
        while (*cursor == ',') ++cursor;
        if (*cursor == '\0') return count;
        char* item = cursor;
        while (*cursor != ',' && *cursor != '\0') ++cursor;
        const bool more = *cursor == ',';
        if (more) *cursor++ = '\0';
        const bool go_on = visit(count, convert_decimal_item(item));
        ++count;
        if (!go_on || !more) return count;
    }
}

}  // namespace quorvel

// SPDX-License-Identifier: MIT
// Decimal lists: "27,97,1" split in place at commas and converted item by item.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace quorvel {

// Converts the item at *cursor as "%d" reads it: white space skipped, optional
// sign, decimal digits up to the first other character; nothing when no digit
// follows. Values beyond 32 bits wrap modulo 2^32. Leaves cursor where reading
// stopped, which is never past the item's end.
inline std::optional<std::int32_t> read_decimal(const char*& cursor) {
    while (*cursor == ' ' || (*cursor >= '\t' && *cursor <= '\r')) ++cursor;
    bool negative = false;
    if (*cursor == '+' || *cursor == '-') negative = *cursor++ == '-';
    if (*cursor < '0' || *cursor > '9') return std::nullopt;
    std::uint32_t value = 0;
    while (*cursor >= '0' && *cursor <= '9')
        value = value * 10u + static_cast<std::uint32_t>(*cursor++ - '0');
    return static_cast<std::int32_t>(negative ? 0u - value : value);
}

// Splits text at commas as strtok(text, ",") does: leading, repeated and
// trailing commas give no empty items, and the comma ending each item becomes
// a NUL byte. Calls visit(index, value) for each item in order, value empty when
// the item converts nothing; visit returns false to stop. Keeps no state between
// calls. Returns the number of items visited. One pass: each item is converted
// while it is scanned for its end.
template <typename Visitor>
std::size_t parse_decimal_list(char* text, Visitor&& visit) {
    std::size_t count = 0;
    char* cursor = text;
    for (;;) {
        while (*cursor == ',') ++cursor;
        if (*cursor == '\0') return count;
        const char* read = cursor;
        const std::optional<std::int32_t> value = read_decimal(read);
        cursor += read - cursor;
        while (*cursor != ',' && *cursor != '\0') ++cursor;
        const bool more = *cursor == ',';
        if (more) *cursor++ = '\0';
        const bool go_on = visit(count, value);
        ++count;
        if (!go_on || !more) return count;
    }
}

}  // namespace quorvel

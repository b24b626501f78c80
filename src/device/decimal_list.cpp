#include "device/decimal_list.h"

namespace quorvel {

std::optional<std::int32_t> convert_decimal_item(const char* item) {
    while (*item == ' ' || (*item >= '\t' && *item <= '\r')) ++item;
    bool negative = false;
    if (*item == '+' || *item == '-') negative = *item++ == '-';
    if (*item < '0' || *item > '9') return std::nullopt;
    std::uint32_t value = 0;
    while (*item >= '0' && *item <= '9') value = value * 10u + static_cast<std::uint32_t>(*item++ - '0');
    if (negative) value = 0u - value;
    return static_cast<std::int32_t>(value);
}

}  // namespace quorvel

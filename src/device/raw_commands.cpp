// SPDX-License-Identifier: MIT
// Raw commands from decimal lists, and the small list and string utilities.
#include <cstring>

#include "api/quorvel.h"
#include "device/decimal_list.h"
#include "link/command.h"

using namespace quorvel;

namespace {
constexpr std::size_t raw_command_items = 4096;
}

extern "C" int QUORVEL_CALL separa(char* text, int* values) {
    link::CallGuard guard;
    if (text == nullptr || values == nullptr)
        return link::fail(QUORVEL_E_NULL_INPUT, text == nullptr ? "list" : "value array");
    std::size_t count =
        parse_decimal_list(text, [&](std::size_t index, std::optional<std::int32_t> value) {
            if (value) values[index] = *value;  // an item that converts nothing keeps the old entry
            return true;
        });
    return static_cast<int>(count);
}

namespace {

int send_raw(char* text) {
    if (text == nullptr) return link::fail(QUORVEL_E_NULL_INPUT, "list");
    Command<2 + raw_command_items + 1> cmd;
    cmd.put(ESC, '@');
    bool complete = true;
    std::size_t first_bad = 0;
    std::size_t count =
        parse_decimal_list(text, [&](std::size_t index, std::optional<std::int32_t> value) {
            if (complete && (!value || index >= raw_command_items)) first_bad = index;
            if (!value || index >= raw_command_items) complete = false;
            if (complete) cmd.put(*value);  // one byte per item: its low byte, zero included
            return true;  // a refused list is still split to its end, like an accepted one
        });
    if (count == 0) return link::fail(QUORVEL_E_BAD_LIST_ITEM, "empty list");
    if (first_bad >= raw_command_items)
        return link::fail_format(QUORVEL_E_TOO_LONG, "more than %u items",
                                 static_cast<unsigned>(raw_command_items));
    if (!complete)
        return link::fail_format(QUORVEL_E_BAD_LIST_ITEM, "item %u is not a number",
                                 static_cast<unsigned>(first_bad + 1));
    cmd.put(LF);
    return cmd.send();
}

}  // namespace

extern "C" int QUORVEL_CALL ComandoTx(char* text) {
    link::CallGuard guard;
    return send_raw(text);
}

extern "C" int QUORVEL_CALL quorvel_printer_raw(quorvel_printer* printer, char* text) {
    link::PrinterGuard guard(printer);
    return guard ? send_raw(text) : 0;
}

extern "C" int QUORVEL_CALL strlen1(const char* text) {
    link::CallGuard guard;
    if (text == nullptr) return link::fail(QUORVEL_E_NULL_INPUT, "text");
    return static_cast<int>(std::strlen(text));
}

extern "C" void* QUORVEL_CALL concat(void* dest, const void* first, std::uint64_t first_len,
                                     const void* second, std::uint64_t second_len) {
    link::CallGuard guard;
    if (dest == nullptr || (first == nullptr && first_len != 0) ||
        (second == nullptr && second_len != 0)) {
        link::fail(QUORVEL_E_NULL_INPUT, dest == nullptr ? "destination" : "source");
        return dest;
    }
    // Byte by byte in ascending address order, each range in turn.
    auto* out = static_cast<unsigned char*>(dest);
    const auto* from = static_cast<const unsigned char*>(first);
    for (std::uint64_t i = 0; i < first_len; ++i) *out++ = from[i];
    from = static_cast<const unsigned char*>(second);
    for (std::uint64_t i = 0; i < second_len; ++i) *out++ = from[i];
    return dest;
}

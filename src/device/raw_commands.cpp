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
    if (text == nullptr || values == nullptr) return 0;
    std::size_t count =
        parse_decimal_list(text, [&](std::size_t index, std::optional<std::int32_t> value) {
            if (value) values[index] = *value;  // an item that converts nothing keeps the old entry
            return true;
        });
    return static_cast<int>(count);
}

extern "C" int QUORVEL_CALL ComandoTx(char* text) {
    link::CallGuard guard;
    if (text == nullptr) return 0;
    Command<2 + raw_command_items + 1> cmd;
    cmd.put(ESC, '@');
    bool complete = true;
    std::size_t count =
        parse_decimal_list(text, [&](std::size_t index, std::optional<std::int32_t> value) {
            if (!value || index >= raw_command_items) complete = false;
            if (complete) cmd.put(*value);  // one byte per item: its low byte, zero included
            return true;  // a refused list is still split to its end, like an accepted one
        });
    if (!complete || count == 0) return 0;
    cmd.put(LF);
    return cmd.send();
}

extern "C" int QUORVEL_CALL strlen1(const char* text) {
    link::CallGuard guard;
    if (text == nullptr) return 0;
    return static_cast<int>(std::strlen(text));
}

extern "C" void* QUORVEL_CALL concat(void* dest, const void* first, std::uint64_t first_len,
                                     const void* second, std::uint64_t second_len) {
    link::CallGuard guard;
    if (dest == nullptr || (first == nullptr && first_len != 0) ||
        (second == nullptr && second_len != 0))
        return dest;
    // Byte by byte in ascending address order, each range in turn.
    auto* out = static_cast<unsigned char*>(dest);
    const auto* from = static_cast<const unsigned char*>(first);
    for (std::uint64_t i = 0; i < first_len; ++i) *out++ = from[i];
    from = static_cast<const unsigned char*>(second);
    for (std::uint64_t i = 0; i < second_len; ++i) *out++ = from[i];
    return dest;
}

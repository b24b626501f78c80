// SPDX-License-Identifier: MIT
// Code 128 symbols in code set C from a list of 22 values.
#include "api/quorvel.h"
#include "barcode/bar_settings.h"
#include "device/decimal_list.h"
#include "link/command.h"

using namespace quorvel;

namespace {

constexpr std::size_t code_values = 22;
constexpr std::size_t code_area = 97;  // items parsed at most, as the code area holds

// Parses the list into the 22 code bytes (low byte of each value). False when
// an item among the first 22 is missing or converts nothing.
bool read_code_values(char* codes, std::uint8_t (&values)[code_values]) {
    if (codes == nullptr) return link::fail(QUORVEL_E_NULL_INPUT, "code list");
    bool complete = true;
    std::size_t count =
        parse_decimal_list(codes, [&](std::size_t index, std::optional<std::int32_t> value) {
            if (index < code_values) {
                if (!value)
                    complete = false;
                else
                    values[index] = static_cast<std::uint8_t>(*value);
            }
            // Split as far as the code area holds, refused or not, so the caller's
            // text is always left the same way.
            return index + 1 < code_area;
        });
    if (complete && count >= code_values) return true;
    return link::fail_format(QUORVEL_E_BAD_LIST_ITEM, "%u numbers wanted",
                             static_cast<unsigned>(code_values));
}

// ESC @, ESC a j, GS w, GS h, GS H 0, GS k 73 n.
template <typename Cmd>
Cmd& open_code128(Cmd& cmd, int justification, std::uint8_t width, int height, std::uint8_t count) {
    open_command(cmd, justification);
    return cmd.put(GS, 'w', width, GS, 'h', bar_height(height), GS, 'H', 0x00, GS, 'k', 73, count);
}

int print_code128_width(char* codes, int justification, int height, int width) {
    std::uint8_t values[code_values];
    if (!read_code_values(codes, values)) return 0;
    bool all_sent = true;
    for (std::size_t half = 0; half < 2; ++half) {  // two symbols of 11 values each
        Command<35> cmd;
        open_code128(cmd, justification, module_width(width), height, 15);
        cmd.put('{', 'B', '{', 'C');  // start in code set B, change to C at once
        cmd.append(values + half * 11, 11).put(CR, LF);
        all_sent = cmd.send() && all_sent;  // the second goes out even if the first failed
    }
    return all_sent ? 1 : 0;
}

}  // namespace

extern "C" int QUORVEL_CALL ImprimeCode128_C(char* codes, int justification, int height,
                                             int width) {
    link::CallGuard guard;
    return print_code128_width(codes, justification, height, width);
}

extern "C" int QUORVEL_CALL quorvel_printer_code128_width(quorvel_printer* printer, char* codes,
                                                          int justification, int height,
                                                          int width) {
    link::PrinterGuard guard(printer);
    return guard ? print_code128_width(codes, justification, height, width) : 0;
}

namespace {

int print_code128(char* codes, int justification, int height) {
    std::uint8_t values[code_values];
    if (!read_code_values(codes, values)) return 0;
    Command<44> cmd;
    open_code128(cmd, justification, 2, height, 24);
    cmd.put('{', 'C').append(values, code_values).put(CR, LF);
    return cmd.send();
}

}  // namespace

extern "C" int QUORVEL_CALL ImprimeCode128C(char* codes, int justification, int height) {
    link::CallGuard guard;
    return print_code128(codes, justification, height);
}

extern "C" int QUORVEL_CALL quorvel_printer_code128(quorvel_printer* printer, char* codes,
                                                    int justification, int height) {
    link::PrinterGuard guard(printer);
    return guard ? print_code128(codes, justification, height) : 0;
}

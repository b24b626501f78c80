// SPDX-License-Identifier: MIT
// Text in one of the combined print modes of ESC !.
#include "api/quorvel.h"
#include "link/command.h"
#include "text/line_spacing.h"

using namespace quorvel;

namespace {

// ESC ! m by selector: 1 font B, 2 bit 1, 3 emphasis, 4 double height,
// 5 double height and width; anything else (0 and negative included) underline.
std::uint8_t print_mode(int mode) {
    static constexpr std::uint8_t table[] = {0x01, 0x02, 0x08, 0x10, 0x30};
    auto index = static_cast<unsigned>(mode) - 1u;
    return index < sizeof table ? table[index] : 0x80;
}

int print_formatted_text(const char* text, int justification, int spacing, int mode) {
    constexpr std::size_t capacity = 8192, fixed = 15;
    std::size_t length = bounded_length(text, capacity - fixed);
    if (length > capacity - fixed) return link::fail_text(text, capacity - fixed);
    Command<capacity> cmd;
    open_command(cmd, justification);
    put_text_frame(cmd, spacing);
    cmd.put(ESC, '!', print_mode(mode));
    cmd.append(text, length).put(LF);
    return cmd.send();
}

}  // namespace

extern "C" int QUORVEL_CALL ImprimeTxFormatado(const char* text, int justification, int spacing,
                                               int mode) {
    link::CallGuard guard;
    return print_formatted_text(text, justification, spacing, mode);
}

extern "C" int QUORVEL_CALL quorvel_printer_formatted_text(quorvel_printer* printer,
                                                           const char* text, int justification,
                                                           int spacing, int mode) {
    link::PrinterGuard guard(printer);
    return guard ? print_formatted_text(text, justification, spacing, mode) : 0;
}

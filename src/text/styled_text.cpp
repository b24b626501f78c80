// SPDX-License-Identifier: MIT
// Styled text: one command each, ESC @ ... text ... line end.
#include "api/quorvel.h"
#include "link/command.h"
#include "text/line_spacing.h"

using namespace quorvel;

namespace {

constexpr std::size_t text_buffer = 8192;

std::uint8_t flag(int value) { return value != 0 ? 1 : 0; }

// ESC @, ESC a j, ESC 3 n, ESC t 16, ESC E b, ESC M f.
template <typename Cmd>
Cmd& open_styled(Cmd& cmd, int justification, int font, int spacing, int bold) {
    open_command(cmd, justification);
    put_text_frame(cmd, spacing);
    return cmd.put(ESC, 'E', flag(bold), ESC, 'M', flag(font));
}

int print_text(const char* text, int justification, int font, int spacing, int bold) {
    constexpr std::size_t fixed = 18;
    std::size_t length = bounded_length(text, text_buffer - fixed);
    if (length > text_buffer - fixed) return link::fail_text(text, text_buffer - fixed);
    Command<text_buffer> cmd;
    open_styled(cmd, justification, font, spacing, bold);
    cmd.append(text, length).put(LF);
    return cmd.send();
}

}  // namespace

extern "C" int QUORVEL_CALL ImprimeTexto(const char* text, int justification, int font, int spacing,
                                         int bold) {
    link::CallGuard guard;
    return print_text(text, justification, font, spacing, bold);
}

extern "C" int QUORVEL_CALL quorvel_printer_text(quorvel_printer* printer, const char* text,
                                                 int justification, int font, int spacing,
                                                 int bold) {
    link::PrinterGuard guard(printer);
    return guard ? print_text(text, justification, font, spacing, bold) : 0;
}

namespace {

int print_text_feed(const char* text, int justification, int font, int spacing, int bold,
                    int feed_lines) {
    constexpr std::size_t fixed = 20;
    std::size_t length = bounded_length(text, text_buffer - fixed);
    if (length > text_buffer - fixed) return link::fail_text(text, text_buffer - fixed);
    Command<text_buffer> cmd;
    open_styled(cmd, justification, font, spacing, bold);
    cmd.append(text, length).put(ESC, 'd', feed_lines);  // ESC d n: print and feed n lines
    return cmd.send();
}

}  // namespace

extern "C" int QUORVEL_CALL ImprimeTextoLF(const char* text, int justification, int font,
                                           int spacing, int bold, int feed_lines) {
    link::CallGuard guard;
    return print_text_feed(text, justification, font, spacing, bold, feed_lines);
}

extern "C" int QUORVEL_CALL quorvel_printer_text_feed(quorvel_printer* printer, const char* text,
                                                      int justification, int font, int spacing,
                                                      int bold, int feed_lines) {
    link::PrinterGuard guard(printer);
    return guard ? print_text_feed(text, justification, font, spacing, bold, feed_lines) : 0;
}

namespace {

int print_text_upside_down(const char* text, int justification, int font, int spacing, int bold) {
    constexpr std::size_t fixed = 21;
    std::size_t length = bounded_length(text, text_buffer - fixed);
    if (length > text_buffer - fixed) return link::fail_text(text, text_buffer - fixed);
    Command<text_buffer> cmd;
    open_styled(cmd, justification, font, spacing, bold);
    cmd.put(ESC, '{', 0x01);  // ESC { 1: upside-down on
    cmd.append(text, length).put(LF);
    return cmd.send();
}

}  // namespace

extern "C" int QUORVEL_CALL ImprimeTexto180(const char* text, int justification, int font,
                                            int spacing, int bold) {
    link::CallGuard guard;
    return print_text_upside_down(text, justification, font, spacing, bold);
}

extern "C" int QUORVEL_CALL quorvel_printer_text_upside_down(quorvel_printer* printer,
                                                             const char* text, int justification,
                                                             int font, int spacing, int bold) {
    link::PrinterGuard guard(printer);
    return guard ? print_text_upside_down(text, justification, font, spacing, bold) : 0;
}

namespace {

int print_text_inverted(const char* text, int justification, int font, int spacing) {
    constexpr std::size_t fixed = 18;
    std::size_t length = bounded_length(text, text_buffer - fixed);
    if (length > text_buffer - fixed) return link::fail_text(text, text_buffer - fixed);
    Command<text_buffer> cmd;
    open_command(cmd, justification);
    put_text_frame(cmd, spacing);
    cmd.put(ESC, 'M', flag(font));
    cmd.put(GS, 'B', 0x01);  // GS B 1: white on black
    cmd.append(text, length).put(LF);
    return cmd.send();
}

}  // namespace

extern "C" int QUORVEL_CALL ImprimeTextoInvertido(const char* text, int justification, int font,
                                                  int spacing) {
    link::CallGuard guard;
    return print_text_inverted(text, justification, font, spacing);
}

extern "C" int QUORVEL_CALL quorvel_printer_text_inverted(quorvel_printer* printer,
                                                          const char* text, int justification,
                                                          int font, int spacing) {
    link::PrinterGuard guard(printer);
    return guard ? print_text_inverted(text, justification, font, spacing) : 0;
}

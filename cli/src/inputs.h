// SPDX-License-Identifier: MIT
// Checks and normalises what the user typed before anything reaches the library,
// so a usage error never sends a byte.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace quorvel::cli {

struct InputError {
    std::string message;
};

// Four decimal numbers 0 to 255 joined by dots, no leading zeros: the only
// address form the library connects to (host names are never resolved).
bool is_dotted_ipv4(std::string_view text);

// A raw command: decimal byte values 0 to 255 separated by commas, at least
// one, at most max_items. Returns the list as the library wants it.
std::variant<std::string, InputError> normalise_byte_list(std::string_view text,
                                                          std::size_t max_items);

// Code 128 code-set-C content: 22 values 0 to 99 separated by commas, or the
// 44 digits they stand for. Returns the comma list the library wants.
std::variant<std::string, InputError> normalise_code128_values(std::string_view text);

// An address with a port glued on ("192.168.0.50:9100", "[::1]:9100"), which
// --tcp does not take: the port has an option of its own.
bool has_port_suffix(std::string_view address);

// Linear barcode symbologies, in the order of their GS k numbers.
enum class Symbology { upc_a, upc_e, ean13, ean8, code39, itf, codabar, code93, code128, gs1_128 };

// The symbologies that exist only in the counted GS k form.
bool counted_form_only(Symbology symbology);

// Checks data against the fixed rules of its symbology (characters, length,
// check digit, start and stop characters) through quorvel_check_barcode, so
// that the printer is never sent a symbol it would drop; the error holds the
// library's message. Symbologies without fixed rules pass.
std::optional<InputError> check_barcode_data(Symbology symbology, std::string_view data);

// One line of a batch file split into words as a shell would: blanks separate
// words; '...' keeps everything literally; "..." keeps blanks, and a backslash
// there escapes " \ and $; outside quotes a backslash escapes any character.
std::variant<std::vector<std::string>, InputError> split_words(std::string_view line);

// Text read from a pipe or file: one trailing line end (LF or CR LF) is dropped,
// because every text command ends its own line.
std::string strip_one_line_end(std::string text);

}  // namespace quorvel::cli

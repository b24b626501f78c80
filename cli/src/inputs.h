// Checks and normalises what the user typed before anything reaches the library,
// so a usage error never sends a byte.
#pragma once

#include <string>
#include <string_view>
#include <variant>

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

// Text read from a pipe or file: one trailing line end (LF or CR LF) is dropped,
// because every text command ends its own line.
std::string strip_one_line_end(std::string text);

}  // namespace quorvel::cli

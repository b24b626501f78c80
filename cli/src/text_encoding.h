// SPDX-License-Identifier: MIT
// Turns UTF-8 text, as a terminal gives it, into Windows-1252: the code table
// (ESC t 16) that the library's text commands select. The conversion is the
// library's own (quorvel_utf8_to_cp1252), so the tool and every host agree.
#pragma once

#include <string>
#include <string_view>
#include <variant>

namespace quorvel::cli {

struct EncodingError {
    std::string message;  // names the offending character or byte and its offset
};

// Strict UTF-8 in (no overlong forms, no surrogates, nothing past U+10FFFF),
// Windows-1252 out. Refuses the whole text at the first character that has no
// Windows-1252 form, at the first malformed sequence, or at a NUL byte.
std::variant<std::string, EncodingError> utf8_to_windows1252(std::string_view utf8);

}  // namespace quorvel::cli

// SPDX-License-Identifier: MIT
#include "text_encoding.h"

#include "quorvel.h"

namespace quorvel::cli {

std::variant<std::string, EncodingError> utf8_to_windows1252(std::string_view utf8) {
    if (utf8.find('\0') != std::string_view::npos)
        return EncodingError{"a NUL byte at offset " + std::to_string(utf8.find('\0'))};
    const std::string text(utf8);
    // Each character takes one byte in Windows-1252 and at least one in UTF-8.
    std::string converted(text.size() + 1, '\0');
    const int length =
        quorvel_utf8_to_cp1252(text.c_str(), converted.data(), static_cast<int>(converted.size()));
    if (length < 0) {
        char message[QUORVEL_ERROR_MESSAGE_SIZE] = "";
        quorvel_last_error(message, sizeof message);
        return EncodingError{message};
    }
    converted.resize(static_cast<std::size_t>(length));
    return converted;
}

}  // namespace quorvel::cli

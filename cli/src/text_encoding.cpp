#include "text_encoding.h"

#include <array>
#include <cstdio>

namespace quorvel::cli {
namespace {

// Code points of Windows-1252 bytes 80 to 9F; 0 where the byte is undefined.
constexpr std::array<char32_t, 32> high_block = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       // 88-8F
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,  // 98-9F
};

std::string describe(char32_t code_point) {
    char name[16];
    std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(code_point));
    return name;
}

std::string hex_byte(unsigned char byte) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", byte);
    return text;
}

}  // namespace

int windows1252_byte(char32_t code_point) {
    if (code_point < 0x80 || (code_point >= 0xA0 && code_point <= 0xFF))
        return static_cast<int>(code_point);
    for (std::size_t i = 0; i < high_block.size(); ++i)
        if (high_block[i] != 0 && high_block[i] == code_point) return static_cast<int>(0x80 + i);
    return -1;  // C1 controls 80-9F included: Windows-1252 uses those bytes for other characters
}

std::variant<std::string, EncodingError> utf8_to_windows1252(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const std::size_t start = i;
        const auto lead = static_cast<unsigned char>(utf8[i++]);
        char32_t code_point;
        int continuation;
        char32_t minimum;
        if (lead < 0x80) {
            out.push_back(static_cast<char>(lead));
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            code_point = lead & 0x1F, continuation = 1, minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            code_point = lead & 0x0F, continuation = 2, minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            code_point = lead & 0x07, continuation = 3, minimum = 0x10000;
        } else {
            return EncodingError{"not valid UTF-8: byte " + hex_byte(lead) + " at offset " +
                                 std::to_string(start)};
        }
        for (int k = 0; k < continuation; ++k) {
            if (i >= utf8.size())
                return EncodingError{"not valid UTF-8: sequence cut short at offset " +
                                     std::to_string(start)};
            const auto next = static_cast<unsigned char>(utf8[i]);
            if ((next & 0xC0) != 0x80)
                return EncodingError{"not valid UTF-8: byte " + hex_byte(next) + " at offset " +
                                     std::to_string(i)};
            code_point = (code_point << 6) | (next & 0x3F);
            ++i;
        }
        if (code_point < minimum || code_point > 0x10FFFF ||
            (code_point >= 0xD800 && code_point <= 0xDFFF))
            return EncodingError{"not valid UTF-8: bad sequence at offset " +
                                 std::to_string(start)};
        const int byte = windows1252_byte(code_point);
        if (byte < 0)
            return EncodingError{"character " + describe(code_point) + " '" +
                                 std::string(utf8.substr(start, i - start)) + "' at offset " +
                                 std::to_string(start) + " has no Windows-1252 form"};
        out.push_back(static_cast<char>(byte));
    }
    return out;
}

}  // namespace quorvel::cli

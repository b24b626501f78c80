// SPDX-License-Identifier: MIT
// UTF-8 to Windows-1252, the code page the text functions select (ESC t 16).
#include <cstdint>
#include <cstring>

#include "api/quorvel.h"
#include "link/connection.h"

namespace {

// Windows-1252 bytes 80 to 9F: the characters they stand for (0: unassigned).
constexpr std::uint16_t high_block[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       // 88-8F
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,  // 98-9F
};

// The Windows-1252 byte of a code point, or -1 when it has none. U+0080 to
// U+009F are C1 controls, which Windows-1252 uses for printable characters.
int cp1252_byte(std::uint32_t code_point) {
    if (code_point < 0x80 || (code_point >= 0xA0 && code_point <= 0xFF))
        return static_cast<int>(code_point);
    for (int i = 0; i < 32; ++i)
        if (high_block[i] != 0 && high_block[i] == code_point) return 0x80 + i;
    return -1;
}

struct Decoded {
    std::uint32_t code_point;
    int length;  // bytes used; 0 when malformed
};

// Decodes one character; rejects overlong forms, surrogates, code points past
// U+10FFFF, stray continuation bytes and sequences cut short.
Decoded decode(const unsigned char* text) {
    const unsigned char lead = text[0];
    if (lead < 0x80) return {lead, 1};
    int length;
    std::uint32_t code_point, minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code_point = lead & 0x1Fu, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code_point = lead & 0x0Fu, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code_point = lead & 0x07u, minimum = 0x10000;
    } else {
        return {0, 0};
    }
    for (int i = 1; i < length; ++i) {
        if ((text[i] & 0xC0) != 0x80) return {0, 0};  // also stops at the NUL byte
        code_point = (code_point << 6) | (text[i] & 0x3Fu);
    }
    if (code_point < minimum || code_point > 0x10FFFF ||
        (code_point >= 0xD800 && code_point <= 0xDFFF))
        return {0, 0};
    return {code_point, length};
}

// The result of a refusal, once fail() has recorded why.
int refused(int /*recorded*/) {
    return -1;
}

}  // namespace

extern "C" int QUORVEL_CALL quorvel_utf8_to_cp1252(const char* utf8, char* out, int size) {
    using namespace quorvel::link;
    CallGuard guard;
    if (utf8 == nullptr) return refused(fail(QUORVEL_E_NULL_INPUT, "UTF-8 text"));
    if (size < 0) return refused(fail_format(QUORVEL_E_BAD_ARGUMENT, "output size %d", size));
    if (out == nullptr && size > 0) return refused(fail(QUORVEL_E_NULL_INPUT, "output buffer"));
    const bool measure_only = out == nullptr;
    const auto* text = reinterpret_cast<const unsigned char*>(utf8);
    std::size_t at = 0;
    if (text[0] == 0xEF && text[1] == 0xBB && text[2] == 0xBF) at = 3;  // byte-order mark
    std::size_t written = 0;
    while (text[at] != 0) {
        const Decoded character = decode(text + at);
        if (character.length == 0) {
            if (!measure_only && size > 0) out[0] = '\0';
            return refused(fail_format(QUORVEL_E_BAD_UTF8, "byte 0x%02X at byte offset %u",
                                       unsigned{text[at]}, static_cast<unsigned>(at)));
        }
        const int byte = cp1252_byte(character.code_point);
        if (byte < 0) {
            if (!measure_only && size > 0) out[0] = '\0';
            return refused(fail_format(QUORVEL_E_NOT_CP1252, "U+%04X at byte offset %u",
                                       static_cast<unsigned>(character.code_point),
                                       static_cast<unsigned>(at)));
        }
        if (!measure_only && written + 1 < static_cast<std::size_t>(size))
            out[written] = static_cast<char>(byte);
        ++written;
        at += static_cast<std::size_t>(character.length);
    }
    if (written > 0x7FFFFFFE) return refused(fail(QUORVEL_E_TOO_LONG, "UTF-8 text"));
    if (measure_only) return static_cast<int>(written);
    if (written + 1 > static_cast<std::size_t>(size)) {
        if (size > 0) out[0] = '\0';
        return refused(fail_format(QUORVEL_E_BUFFER_TOO_SMALL, "%u bytes needed, %d given",
                                   static_cast<unsigned>(written + 1), size));
    }
    out[written] = '\0';
    return static_cast<int>(written);
}

// SPDX-License-Identifier: MIT
// Double-byte text (FS &): which encoding a printer reads, how long each
// character's byte sequence is, and its character, decoded with iconv.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel::printer {

enum class DoubleByte : uint8_t { NONE, GB18030, SHIFT_JIS, EUC_KR, BIG5 };

// "gb18030", "shift_jis", "euc-kr", "big5" or "none"; nullopt for another name.
std::optional<DoubleByte> double_byte_from_name(std::string_view name);
const char* double_byte_name(DoubleByte e);

// The length of the character whose first `n` bytes are `b`: 1 when b[0]
// is not a lead byte (a single-byte character), 2 or 4 for a sequence, and
// 0 when the bytes cannot be the start of a character. `jis`: FS C 0, a
// Japanese printer taking JIS X 0208 row and cell bytes (21-7E pairs).
int double_byte_length(DoubleByte e, bool jis, const uint8_t* b, size_t n);

// The character of a complete sequence, or nullopt when it has none.
std::optional<char32_t> double_byte_decode(DoubleByte e, bool jis, const uint8_t* b, size_t n);

}  // namespace quorvel::printer

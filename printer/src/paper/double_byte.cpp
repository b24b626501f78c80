// SPDX-License-Identifier: MIT
#include "paper/double_byte.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <mutex>

namespace quorvel::printer {
namespace {

// One row per encoding: its name on the command line, glibc iconv's name,
// and the byte ranges of its lead and trail bytes.
struct Range {
    uint8_t lo, hi;
    bool has(uint8_t b) const { return b >= lo && b <= hi; }
};
struct EncodingRow {
    DoubleByte id;
    const char* name;
    const char* iconv_name;
    std::array<Range, 2> lead;  // a second range of {0, 0} is unused
    std::array<Range, 3> trail;
};
// clang-format off
constexpr std::array<EncodingRow, 4> ENCODINGS = {{
    {DoubleByte::GB18030, "gb18030", "GB18030", {{{0x81, 0xFE}, {0, 0}}},
     {{{0x40, 0x7E}, {0x80, 0xFE}, {0x30, 0x39}}}},  // 30-39: a four-byte sequence
    {DoubleByte::SHIFT_JIS, "shift_jis", "CP932", {{{0x81, 0x9F}, {0xE0, 0xFC}}},
     {{{0x40, 0x7E}, {0x80, 0xFC}, {0, 0}}}},
    {DoubleByte::EUC_KR, "euc-kr", "EUC-KR", {{{0xA1, 0xFE}, {0, 0}}},
     {{{0xA1, 0xFE}, {0, 0}, {0, 0}}}},
    {DoubleByte::BIG5, "big5", "BIG5", {{{0x81, 0xFE}, {0, 0}}},
     {{{0x40, 0x7E}, {0xA1, 0xFE}, {0, 0}}}},
}};
// clang-format on

const EncodingRow* row_of(DoubleByte e) {
    for (const EncodingRow& r : ENCODINGS)
        if (r.id == e) return &r;
    return nullptr;
}

bool in(const Range& r, uint8_t b) {
    return r.hi != 0 && r.has(b);
}

}  // namespace

std::optional<DoubleByte> double_byte_from_name(std::string_view name) {
    if (name == "none") return DoubleByte::NONE;
    for (const EncodingRow& r : ENCODINGS)
        if (name == r.name) return r.id;
    return std::nullopt;
}

const char* double_byte_name(DoubleByte e) {
    const EncodingRow* r = row_of(e);
    return r ? r->name : "none";
}

int double_byte_length(DoubleByte e, bool jis, const uint8_t* b, size_t n) {
    const EncodingRow* r = row_of(e);
    if (!r || n == 0) return 1;
    if (jis && e == DoubleByte::SHIFT_JIS) {
        const Range rc{0x21, 0x7E};
        if (!rc.has(b[0])) return 1;
        return n < 2 || rc.has(b[1]) ? 2 : 0;
    }
    if (!in(r->lead[0], b[0]) && !in(r->lead[1], b[0])) return 1;
    if (n < 2) return 2;
    if (e == DoubleByte::GB18030 && in(r->trail[2], b[1])) {
        // Four bytes: lead, digit, lead, digit.
        if (n >= 3 && !in(r->lead[0], b[2])) return 0;
        if (n >= 4 && !in(r->trail[2], b[3])) return 0;
        return 4;
    }
    return in(r->trail[0], b[1]) || in(r->trail[1], b[1]) ? 2 : 0;
}

std::optional<char32_t> double_byte_decode(DoubleByte e, bool jis, const uint8_t* b, size_t n) {
    const EncodingRow* r = row_of(e);
    if (!r || n == 0 || n > 4) return std::nullopt;
    std::array<uint8_t, 4> in_bytes{};
    std::copy_n(b, n, in_bytes.begin());
    const char* from = r->iconv_name;
    if (jis && e == DoubleByte::SHIFT_JIS) {  // JIS row and cell: EUC-JP with the high bits set
        for (uint8_t& byte : in_bytes) byte |= 0x80;  // the whole array: bytes past n are unread
        from = "EUC-JP";
    }
    // One converter per encoding, shared; iconv keeps state, so one call at a time.
    static std::mutex mu;
    static std::array<iconv_t, 6> converters = [] {
        std::array<iconv_t, 6> c;
        c.fill(reinterpret_cast<iconv_t>(-1));
        return c;
    }();
    const size_t slot = jis ? 5 : static_cast<size_t>(e);
    std::lock_guard lock(mu);
    iconv_t& cd = converters[slot];
    if (cd == reinterpret_cast<iconv_t>(-1)) cd = iconv_open("UTF-32LE", from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* src = reinterpret_cast<char*>(in_bytes.data());
    size_t src_left = n;
    uint8_t out[8];
    char* dst = reinterpret_cast<char*>(out);
    size_t dst_left = sizeof out;
    if (iconv(cd, &src, &src_left, &dst, &dst_left) == static_cast<size_t>(-1) || src_left != 0 ||
        dst_left != sizeof out - 4)
        return std::nullopt;
    return static_cast<char32_t>(out[0] | out[1] << 8 | out[2] << 16 | out[3] << 24);
}

}  // namespace quorvel::printer

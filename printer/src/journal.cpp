#include "journal.h"

namespace quorvel::printer {

std::string Journal::hex(std::span<const uint8_t> bytes, size_t max_bytes) {
    static constexpr char DIGITS[] = "0123456789ABCDEF";
    std::string s;
    const size_t n = std::min(bytes.size(), max_bytes);
    for (size_t i = 0; i < n; ++i) {
        if (i) s += ' ';
        s += DIGITS[bytes[i] >> 4];
        s += DIGITS[bytes[i] & 15];
    }
    if (bytes.size() > n) s += " …";
    return s;
}

std::string Journal::format_command(uint64_t offset, std::span<const uint8_t> bytes,
                                    std::string_view mnemonic, std::string_view meaning) {
    char head[32];
    std::snprintf(head, sizeof head, "%08llx  ", static_cast<unsigned long long>(offset));
    std::string line = head;
    std::string h = hex(bytes);
    // "…" is three bytes but one column wide.
    const size_t cols = h.size() - (h.size() >= 3 && h.compare(h.size() - 3, 3, "…") == 0 ? 2 : 0);
    line += h;
    line.append(cols < 27 ? 27 - cols : 1, ' ');
    line += mnemonic;
    line.append(mnemonic.size() < 12 ? 12 - mnemonic.size() : 1, ' ');
    line += meaning;
    return line;
}

void Journal::command(uint64_t offset, std::span<const uint8_t> bytes, std::string_view mnemonic,
                      std::string_view meaning) {
    ++lines_;
    if (!out_) return;
    const std::string line = format_command(offset, bytes, mnemonic, meaning);
    std::fprintf(out_, "%s\n", line.c_str());
}

void Journal::note(std::string_view text) {
    ++lines_;
    if (!out_) return;
    std::fprintf(out_, "# %.*s\n", static_cast<int>(text.size()), text.data());
}

}  // namespace quorvel::printer

// The command journal: one line per command, with its stream offset,
// its bytes in hex and what it means.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

namespace quorvel::printer {

class Journal {
  public:
    // Writes to `out` (not owned); nullptr discards every line.
    explicit Journal(std::FILE* out = nullptr) : out_(out) {}

    // `offset` is counted from the start of the connection.
    void command(uint64_t offset, std::span<const uint8_t> bytes, std::string_view mnemonic,
                 std::string_view meaning);
    // A free-form line, e.g. a connection starting or an image written.
    void note(std::string_view text);

    bool enabled() const { return out_ != nullptr; }
    uint64_t lines() const { return lines_; }

    // Hex of at most `max_bytes` bytes, then "…" when cut.
    static std::string hex(std::span<const uint8_t> bytes, size_t max_bytes = 8);
    static std::string format_command(uint64_t offset, std::span<const uint8_t> bytes,
                                      std::string_view mnemonic, std::string_view meaning);

  private:
    std::FILE* out_;
    uint64_t lines_ = 0;
};

}  // namespace quorvel::printer

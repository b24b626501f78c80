// SPDX-License-Identifier: MIT
// A command is built whole in a fixed-size buffer local to the exported call
// and then handed to send_command in one piece. No heap.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "api/quorvel.h"
#include "link/connection.h"

namespace quorvel {

inline constexpr std::uint8_t LF = 0x0A, CR = 0x0D, DLE = 0x10, EOT = 0x04, DC2 = 0x12,
                              ESC = 0x1B, FS = 0x1C, GS = 0x1D;

template <std::size_t Capacity>
class Command {
public:
    // Appends single bytes; every argument lands as its low 8 bits.
    template <typename... Bytes>
    Command& put(Bytes... bytes) {
        if (size_ + sizeof...(bytes) > Capacity) {
            overflow_ = true;
            return *this;
        }
        ((buffer_[size_++] = static_cast<std::uint8_t>(bytes)), ...);
        return *this;
    }

    Command& append(const void* data, std::size_t length) {
        if (length > Capacity - size_) {
            overflow_ = true;
            return *this;
        }
        if (length != 0) std::memcpy(buffer_.data() + size_, data, length);
        size_ += length;
        return *this;
    }

    // Appends length zero bytes and returns where they start, for data built
    // in place; null (and nothing appended) when they do not fit.
    std::uint8_t* extend(std::size_t length) {
        if (length > Capacity - size_) {
            overflow_ = true;
            return nullptr;
        }
        std::uint8_t* start = buffer_.data() + size_;
        std::memset(start, 0, length);
        size_ += length;
        return start;
    }

    // Little-endian 16-bit count: nL nH.
    Command& put_u16(std::size_t value) { return put(value & 0xFF, (value >> 8) & 0xFF); }

    // Sends the command; a command that did not fit is never sent.
    bool send() const {
        if (overflow_) return link::fail(QUORVEL_E_TOO_LONG, "command larger than its buffer");
        return link::send_command(buffer_.data(), size_);
    }

    const std::uint8_t* data() const { return buffer_.data(); }
    std::size_t size() const { return size_; }

private:
    std::array<std::uint8_t, Capacity> buffer_;
    std::size_t size_ = 0;
    bool overflow_ = false;
};

// ESC a j: 0 left, 1 centre, anything else right.
constexpr std::uint8_t justification_code(int justification) {
    return justification == 0 ? 0 : justification == 1 ? 1 : 2;
}

// The opening of most print commands: ESC @, then ESC a with the justification code.
template <std::size_t Capacity>
Command<Capacity>& open_command(Command<Capacity>& command, int justification) {
    return command.put(ESC, '@', ESC, 'a', justification_code(justification));
}

// Length of a NUL-terminated argument, scanning at most limit + 1 bytes so an
// over-long text is recognised without reading it all. Null counts as too long.
inline std::size_t bounded_length(const char* text, std::size_t limit) {
    if (text == nullptr) return limit + 1;
    return ::strnlen(text, limit + 1);  // scans a word at a time, never past limit + 1
}

}  // namespace quorvel

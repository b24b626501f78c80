// SPDX-License-Identifier: MIT
// The command journal: one line per command, with its stream offset,
// its bytes in hex and what it means.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

namespace quorvel::printer {

// Every link of a printer writes to one journal, each from its own thread:
// a line is written whole, and the counters are safe to read at any time.
class Journal {
  public:
    // Receives every line as written (without the newline).
    using Tap = std::function<void(std::string_view line)>;

    // Writes to `out` (not owned); nullptr discards every line.
    explicit Journal(std::FILE* out = nullptr);
    // Writes through `parent` and also hands each line to `tap`: one link's
    // view of the printer's journal.
    Journal(Journal& parent, Tap tap);
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Appends to the file at `path` (created if missing). Once the file
    // passes `max_bytes` it is renamed to `path`.1 (replacing an older one)
    // and a new file is begun, so the journal never takes more than about
    // twice `max_bytes` of disk. 0 means no limit.
    bool open(const std::string& path, uint64_t max_bytes, std::string* error);

    // `offset` is counted from the start of the connection.
    void command(uint64_t offset, std::span<const uint8_t> bytes, std::string_view mnemonic,
                 std::string_view meaning);
    // A free-form line, e.g. a connection starting or an image written.
    // Notes are written through at once; command lines wait in a buffer
    // until flush(), which the links call after each batch of input.
    void note(std::string_view text);
    void flush();

    bool enabled() const { return enabled_.load(std::memory_order_relaxed); }
    uint64_t lines() const { return lines_.load(std::memory_order_relaxed); }
    int rotations() const { return rotations_.load(std::memory_order_relaxed); }

    // Hex of at most `max_bytes` bytes, then "…" when cut.
    static std::string hex(std::span<const uint8_t> bytes, size_t max_bytes = 8);
    static std::string format_command(uint64_t offset, std::span<const uint8_t> bytes,
                                      std::string_view mnemonic, std::string_view meaning);

  private:
    void emit(std::string_view prefix, std::string_view text, bool now);
    void write_line(std::string_view prefix, std::string_view text, bool now);
    void rotate();

    std::FILE* out_;  // guarded by mu_
    Journal* parent_ = nullptr;
    Tap tap_;
    std::atomic<bool> enabled_;
    std::atomic<uint64_t> lines_{0};
    std::atomic<int> rotations_{0};
    std::mutex mu_;
    bool owned_ = false;
    std::string path_;
    uint64_t max_bytes_ = 0;
    uint64_t bytes_ = 0;  // in the current file
};

}  // namespace quorvel::printer

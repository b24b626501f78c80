// SPDX-License-Identifier: MIT
#include "machine/journal.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace quorvel::printer {

namespace {
// One write per batch of lines, not per line: a stream of one-byte
// commands would otherwise spend its time in system calls.
void buffer_fully(std::FILE* f) {
    if (f) std::setvbuf(f, nullptr, _IOFBF, 64 * 1024);
}
}  // namespace

Journal::Journal(std::FILE* out) : out_(out), enabled_(out != nullptr) {}

Journal::Journal(Journal& parent, Tap tap)
    : out_(nullptr), parent_(&parent), tap_(std::move(tap)), enabled_(true) {}

Journal::~Journal() {
    if (owned_ && out_)
        std::fclose(out_);
    else if (out_)
        std::fflush(out_);
}

void Journal::flush() {
    if (parent_) return parent_->flush();
    std::lock_guard lock(mu_);
    if (out_) std::fflush(out_);
}

bool Journal::open(const std::string& path, uint64_t max_bytes, std::string* error) {
    std::FILE* f = std::fopen(path.c_str(), "a");
    if (!f) {
        if (error) *error = "cannot write the journal " + path + ": " + std::strerror(errno);
        return false;
    }
    buffer_fully(f);
    struct stat st {};
    std::lock_guard lock(mu_);
    if (owned_ && out_)
        std::fclose(out_);
    else if (out_)
        std::fflush(out_);
    out_ = f;
    owned_ = true;
    enabled_ = true;
    path_ = path;
    // Only a regular file is rotated: a device or FIFO given as the journal
    // (/dev/null, a pipe to a viewer) is written to and never moved aside.
    const bool regular = ::fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode);
    max_bytes_ = regular ? max_bytes : 0;
    bytes_ = regular ? static_cast<uint64_t>(st.st_size) : 0;
    return true;
}

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
    lines_.fetch_add(1, std::memory_order_relaxed);
    if (!enabled()) return;
    emit({}, format_command(offset, bytes, mnemonic, meaning), false);
}

void Journal::note(std::string_view text) {
    lines_.fetch_add(1, std::memory_order_relaxed);
    if (!enabled()) return;
    emit("# ", text, true);
}

void Journal::emit(std::string_view prefix, std::string_view text, bool now) {
    if (!parent_) return write_line(prefix, text, now);
    parent_->lines_.fetch_add(1, std::memory_order_relaxed);
    if (parent_->enabled()) parent_->write_line(prefix, text, now);
    if (tap_) tap_(std::string(prefix) + std::string(text));
}

void Journal::write_line(std::string_view prefix, std::string_view text, bool now) {
    std::lock_guard lock(mu_);
    if (!out_) return;
    if (max_bytes_ > 0 && bytes_ >= max_bytes_) rotate();
    if (!out_) return;
    // fwrite must not be given a null pointer, even for no bytes.
    if (!prefix.empty()) std::fwrite(prefix.data(), 1, prefix.size(), out_);
    if (!text.empty()) std::fwrite(text.data(), 1, text.size(), out_);
    std::fputc('\n', out_);
    bytes_ += prefix.size() + text.size() + 1;
    if (now) std::fflush(out_);
}

void Journal::rotate() {
    // The old file keeps its lines as path.1; a line that cannot be moved
    // aside is still bounded: the file is begun again in place.
    std::fclose(out_);
    const std::string old = path_ + ".1";
    // Checked again here: the path may have been replaced since it was opened.
    struct stat st {};
    const bool regular = ::lstat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    const bool moved = regular && std::rename(path_.c_str(), old.c_str()) == 0;
    out_ = std::fopen(path_.c_str(), moved ? "a" : "w");
    bytes_ = 0;
    if (!out_) return;
    buffer_fully(out_);
    rotations_.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace quorvel::printer

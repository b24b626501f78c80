// SPDX-License-Identifier: MIT
#include "web/receipt_tap.h"

#include <algorithm>
#include <chrono>

#include "paper/renderer.h"

namespace quorvel::printer {

namespace {

int64_t now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Bytes in the stream of the command at `at` that cut the paper: ESC i,
// ESC m, GS V m and GS V m n.
size_t cut_command_length(std::string_view s, size_t at) {
    if (at + 1 >= s.size()) return 0;
    const auto b0 = static_cast<uint8_t>(s[at]), b1 = static_cast<uint8_t>(s[at + 1]);
    if (b0 == 0x1B && (b1 == 'i' || b1 == 'm')) return 2;
    if (b0 == 0x1D && b1 == 'V' && at + 2 < s.size()) {
        const auto m = static_cast<uint8_t>(s[at + 2]);
        return m == 65 || m == 66 || m == 97 || m == 98 || m == 103 || m == 104 ? 4 : 3;
    }
    return 0;
}

}  // namespace

void ReceiptTap::begin(const std::string& source) {
    const auto space = source.find(' ');
    link_ = source.substr(0, space);
    peer_ = space == std::string::npos ? std::string() : source.substr(space + 1);
    stream_start_ = received_;
}

void ReceiptTap::received(std::span<const uint8_t> bytes) {
    in_feed_ = true;
    last_chunk_ms_ = now_ms();
    received_ += bytes.size();
    const size_t room =
        ReceiptStore::MAX_BYTES - std::min(ReceiptStore::MAX_BYTES, pending_.size());
    pending_.append(reinterpret_cast<const char*>(bytes.data()), std::min(room, bytes.size()));
}

void ReceiptTap::journal_line(std::string_view line) {
    if (journal_.size() < ReceiptStore::MAX_JOURNAL_LINES)
        journal_.emplace_back(line);
    else
        ++journal_dropped_;
}

void ReceiptTap::page(const Bitmap& page, const std::string& path, PageContent content,
                      uint64_t command_at) {
    // A cut takes the bytes up to the end of its command; paper written out
    // for want of more data takes all of them.
    uint64_t end = received_;
    const uint64_t at = stream_start_ + command_at;
    if (in_feed_ && at >= pending_start_) {
        const uint64_t rel = at - pending_start_;
        if (rel < pending_.size())
            end = at + cut_command_length(pending_, static_cast<size_t>(rel));
    }
    end = std::clamp(end, pending_start_, received_);
    const uint64_t count = end - pending_start_;
    ReceiptDetail detail;
    const size_t stored = static_cast<size_t>(std::min<uint64_t>(count, pending_.size()));
    detail.bytes = pending_.substr(0, stored);
    pending_.erase(0, stored);
    pending_start_ = end;
    detail.journal = std::move(journal_);
    journal_.clear();
    if (journal_dropped_)
        detail.journal.push_back("# … " + std::to_string(journal_dropped_) + " more lines");
    journal_dropped_ = 0;
    detail.content = std::move(content);

    ReceiptInfo info;
    info.time_ms = in_feed_ && last_chunk_ms_ ? last_chunk_ms_ : now_ms();
    info.link = link_;
    info.peer = peer_;
    info.bytes = count;
    const PaperMargins& m = store_.margins();
    info.width = page.width() + m.left + m.right;
    info.height = page.height() + m.top + m.bottom;
    info.cut = in_feed_;
    if (!path.empty()) {
        const auto slash = path.rfind('/');
        info.file = slash == std::string::npos ? path : path.substr(slash + 1);
    }
    paper_rows_ = 0;
    store_.paper_reset();
    store_.add(std::move(info), std::move(detail));
}

void ReceiptTap::paper(const Renderer& renderer) {
    in_feed_ = false;
    const int y = renderer.paper_position();
    if (y == paper_rows_) return;
    if (y < paper_rows_) {  // a page was cut inside the chunk
        paper_rows_ = 0;
        store_.paper_reset();
        if (y == 0) return;
    }
    store_.paper_grow(renderer.page(), y);
    paper_rows_ = y;
}

}  // namespace quorvel::printer

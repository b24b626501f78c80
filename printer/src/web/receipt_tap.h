// SPDX-License-Identifier: MIT
// The session listener of one link: it cuts the link's stream into receipts
// for the printer's receipt store.
#pragma once

#include <string>
#include <vector>

#include "links/session_tap.h"
#include "web/receipt_store.h"

namespace quorvel::printer {

// One per link: cuts its streams into receipts for the store. Paper left
// uncut by one host and cut by the next is one receipt with the bytes of both.
class ReceiptTap : public SessionTap {
  public:
    explicit ReceiptTap(ReceiptStore& store) : store_(store) {}

    void begin(const std::string& source) override;
    void received(std::span<const uint8_t> bytes) override;
    void journal_line(std::string_view line) override;
    void page(const Bitmap& page, const std::string& path, PageContent content,
              uint64_t command_at) override;
    void paper(const Renderer& renderer) override;

  private:
    ReceiptStore& store_;
    std::string link_;
    std::string peer_;
    std::string pending_;         // bytes since the last receipt (capped)
    uint64_t pending_start_ = 0;  // offset of pending_[0] in all the link's bytes
    uint64_t received_ = 0;       // all the link's bytes
    uint64_t stream_start_ = 0;   // offset of the current stream's first byte
    bool in_feed_ = false;        // between received() and paper()
    std::vector<std::string> journal_;
    size_t journal_dropped_ = 0;
    int64_t last_chunk_ms_ = 0;
    int paper_rows_ = 0;  // uncut rows already handed to the store
};

}  // namespace quorvel::printer

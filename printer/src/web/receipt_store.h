// SPDX-License-Identifier: MIT
// The web side's record of one printer's receipts: the list (the newest in
// memory, all on disk beside their images) and the uncut paper. News goes
// out through the printer's event hub (event_hub.h); the session listener
// that cuts a link's stream into receipts is in receipt_tap.h.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "links/session_tap.h"
#include "paper/bitmap.h"
#include "paper/page_record.h"
#include "paper/png_io.h"
#include "web/event_hub.h"

namespace quorvel::printer {

struct ReceiptInfo {
    int id = 0;
    int64_t time_ms = 0;  // when the chunk holding the cut arrived, Unix time in ms
    std::string link;     // "tcp" or "serial"
    std::string peer;     // host address and port, or the serial link's path
    uint64_t bytes = 0;   // bytes of the stream that made this receipt
    int width = 0;        // PNG pixels
    int height = 0;
    bool cut = true;   // false: the stream ended without a cut
    std::string file;  // PNG file in the output folder, empty when not written
    size_t journal_lines = 0;
    size_t text_lines = 0;
    size_t symbols = 0;
};

struct ReceiptDetail {
    std::string bytes;  // at most ReceiptStore::MAX_BYTES of them
    std::vector<std::string> journal;
    PageContent content;
};

class ReceiptStore {
  public:
    static constexpr size_t MAX_BYTES = 8u << 20;       // per receipt capture
    static constexpr size_t MAX_JOURNAL_LINES = 20000;  // per receipt
    static constexpr size_t MAX_LISTED = 100000;        // receipts in the list
    static constexpr size_t MAX_MEMORY = 64u << 20;     // bytes of details in memory

    // `out_dir` is the printer's output folder; the byte capture and the
    // details of each receipt are written beside its PNG file, for at most
    // the newest `max_files` receipts (the printer's image limit).
    // `api_base` is where the web side serves this printer's receipts; the
    // URLs in a receipt's JSON start with it.
    ReceiptStore(std::string out_dir, PaperMargins margins, EventHub& hub,
                 size_t keep_in_memory = 1000, size_t max_files = 10000,
                 std::string api_base = "/api");
    ~ReceiptStore();

    int add(ReceiptInfo info, ReceiptDetail detail);
    std::vector<ReceiptInfo> list() const;  // newest first
    // The newest `limit` of those after receipt `after`, newest first.
    std::vector<ReceiptInfo> list_after(int after, size_t limit) const;
    std::optional<ReceiptInfo> info(int id) const;
    // From memory, or read back from the output folder; null when unknown.
    std::shared_ptr<const ReceiptDetail> detail(int id) const;
    // The PNG file's bytes; empty when unknown or unreadable.
    std::string png(int id) const;
    void clear();
    size_t in_memory() const;

    // The paper not cut yet is now the first `height` rows of `page`.
    void paper_grow(const Bitmap& page, int height);
    void paper_reset();
    // PNG of the uncut paper; empty when there is none.
    std::string paper_png() const;
    int paper_height() const;

    const std::string& out_dir() const { return out_dir_; }
    const std::string& api_base() const { return api_base_; }
    const PaperMargins& margins() const { return margins_; }

  private:
    std::string sidecar(const ReceiptInfo& info, const char* ext) const;
    void evict_locked();
    void write_files();  // the writer thread

    const std::string out_dir_;
    const std::string api_base_;
    const PaperMargins margins_;
    EventHub& hub_;
    size_t keep_;
    const size_t max_files_;
    mutable std::mutex mu_;
    int next_id_ = 1;
    std::map<int, ReceiptInfo> list_;
    std::map<int, std::shared_ptr<const ReceiptDetail>> details_;
    Bitmap paper_;
    int paper_height_ = 0;
    // The uncut paper's PNG, encoded once for every page that asks.
    mutable std::string paper_png_;
    mutable int paper_png_height_ = 0;
    // Companion files waiting for the writer thread.
    std::deque<std::pair<ReceiptInfo, std::shared_ptr<const ReceiptDetail>>> to_write_;
    std::set<int> queued_;  // in to_write_, leaving memory
    size_t resident_bytes_ = 0;
    std::deque<ReceiptInfo> written_;  // receipts with companion files, oldest first
    std::condition_variable write_cv_;
    bool stopping_ = false;
    std::thread writer_;
};

// JSON for the API and the events.
// The receipt's URLs start with `api` ("/api", "/api/printers/NAME").
std::string receipt_json(const ReceiptInfo& info, const std::string& api = "/api");
std::string content_text_json(const PageContent& content);
std::string content_symbols_json(const PageContent& content);

}  // namespace quorvel::printer

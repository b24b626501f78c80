// SPDX-License-Identifier: MIT
#include "web/receipt_store.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <utility>

#include "web/receipt_json.h"

namespace quorvel::printer {

ReceiptStore::ReceiptStore(std::string out_dir, PaperMargins margins, EventHub& hub,
                           size_t keep_in_memory, size_t max_files, std::string api_base)
    : out_dir_(std::move(out_dir)),
      api_base_(std::move(api_base)),
      margins_(margins),
      hub_(hub),
      keep_(std::max<size_t>(1, keep_in_memory)),
      max_files_(std::max<size_t>(1, max_files)) {}

std::string ReceiptStore::sidecar(const ReceiptInfo& info, const char* ext) const {
    // Beside the PNG file: receipt-0007.png -> receipt-0007.bin, receipt-0007.json.
    if (info.file.empty()) return {};
    const auto dot = info.file.rfind('.');
    return out_dir_ + "/" + info.file.substr(0, dot) + ext;
}

ReceiptStore::~ReceiptStore() {
    {
        // Receipts still in memory are written out too.
        std::lock_guard lock(mu_);
        for (const auto& [id, detail] : details_) {
            const auto listed = list_.find(id);
            if (listed != list_.end() && !listed->second.file.empty() && !queued_.count(id)) {
                queued_.insert(id);
                to_write_.emplace_back(listed->second, detail);
            }
        }
        stopping_ = true;
        if (!writer_.joinable() && !to_write_.empty())
            writer_ = std::thread([this] { write_files(); });
    }
    write_cv_.notify_all();
    if (writer_.joinable()) writer_.join();  // everything queued is written first
}

namespace {
size_t footprint(const ReceiptDetail& d) {
    size_t n = d.bytes.size() + 64 * (d.content.lines.size() + d.content.symbols.size());
    for (const std::string& l : d.journal) n += l.size() + 32;
    return n;
}
}  // namespace

int ReceiptStore::add(ReceiptInfo info, ReceiptDetail detail) {
    info.journal_lines = detail.journal.size();
    info.text_lines = detail.content.lines.size();
    info.symbols = detail.content.symbols.size();
    auto shared = std::make_shared<const ReceiptDetail>(std::move(detail));
    {
        std::lock_guard lock(mu_);
        info.id = next_id_++;
        list_[info.id] = info;
        resident_bytes_ += footprint(*shared);
        details_[info.id] = std::move(shared);
        evict_locked();
        while (list_.size() > MAX_LISTED) {
            const int old = list_.begin()->first;
            const auto d = details_.find(old);
            if (d != details_.end() && !queued_.count(old)) {
                resident_bytes_ -= footprint(*d->second);
                details_.erase(d);
            }
            list_.erase(list_.begin());
        }
    }
    write_cv_.notify_one();
    hub_.publish("receipt", receipt_json(info, api_base_));
    return info.id;
}

void ReceiptStore::evict_locked() {
    // Past the bounds the oldest receipts leave memory: their companion files
    // are written (off the printing thread) and they are read back from them
    // on request. One with no PNG file stays until the list drops it.
    for (auto it = details_.begin();
         it != details_.end() &&
         (details_.size() - queued_.size() > keep_ || resident_bytes_ > MAX_MEMORY);
         ++it) {
        if (queued_.count(it->first)) continue;
        const auto listed = list_.find(it->first);
        if (listed == list_.end() || listed->second.file.empty()) continue;
        queued_.insert(it->first);
        resident_bytes_ -= footprint(*it->second);
        to_write_.emplace_back(listed->second, it->second);
        if (!writer_.joinable()) writer_ = std::thread([this] { write_files(); });
    }
}

void ReceiptStore::write_files() {
    std::unique_lock lock(mu_);
    for (;;) {
        write_cv_.wait(lock, [&] { return stopping_ || !to_write_.empty(); });
        if (to_write_.empty()) return;
        auto [info, detail] = std::move(to_write_.front());
        to_write_.pop_front();
        lock.unlock();
        // Not for an image already gone past the image limit.
        const bool png_there = std::ifstream(out_dir_ + "/" + info.file).good();
        if (png_there) {
            write_file(sidecar(info, ".bin"), detail->bytes);
            write_file(sidecar(info, ".json"), companion_json(*detail));
        }
        lock.lock();
        queued_.erase(info.id);
        details_.erase(info.id);
        if (!png_there) continue;
        // The companions go the way of their images past the image limit.
        written_.push_back(info);
        while (!written_.empty() &&
               (written_.size() > max_files_ ||
                !std::ifstream(out_dir_ + "/" + written_.front().file).good())) {
            const ReceiptInfo old = std::move(written_.front());
            written_.pop_front();
            std::remove(sidecar(old, ".bin").c_str());
            std::remove(sidecar(old, ".json").c_str());
        }
    }
}

std::vector<ReceiptInfo> ReceiptStore::list() const {
    std::lock_guard lock(mu_);
    std::vector<ReceiptInfo> out;
    out.reserve(list_.size());
    for (auto it = list_.rbegin(); it != list_.rend(); ++it) out.push_back(it->second);
    return out;
}

std::vector<ReceiptInfo> ReceiptStore::list_after(int after, size_t limit) const {
    std::lock_guard lock(mu_);
    std::vector<ReceiptInfo> out;
    const auto first = list_.upper_bound(after);
    for (auto it = list_.end(); it != first && out.size() < limit;) out.push_back((--it)->second);
    return out;
}

std::optional<ReceiptInfo> ReceiptStore::info(int id) const {
    std::lock_guard lock(mu_);
    const auto it = list_.find(id);
    if (it == list_.end()) return std::nullopt;
    return it->second;
}

size_t ReceiptStore::in_memory() const {
    std::lock_guard lock(mu_);
    return details_.size() - queued_.size();
}

std::shared_ptr<const ReceiptDetail> ReceiptStore::detail(int id) const {
    ReceiptInfo info;
    {
        std::lock_guard lock(mu_);
        const auto it = list_.find(id);
        if (it == list_.end()) return nullptr;
        const auto d = details_.find(id);
        if (d != details_.end()) return d->second;
        info = it->second;
    }
    auto out = std::make_shared<ReceiptDetail>();
    std::string side;
    if (!read_file(sidecar(info, ".bin"), &out->bytes) || !read_file(sidecar(info, ".json"), &side))
        return nullptr;
    if (!parse_companion(side, out.get())) return nullptr;
    return out;
}

std::string ReceiptStore::png(int id) const {
    const auto i = info(id);
    std::string out;
    if (!i || i->file.empty() || !read_file(out_dir_ + "/" + i->file, &out)) out.clear();
    return out;
}

void ReceiptStore::clear() {
    {
        // Receipts leave the list; those in memory are written out first.
        std::lock_guard lock(mu_);
        const size_t keep = std::exchange(keep_, 0);
        evict_locked();
        keep_ = keep;
        list_.clear();
    }
    write_cv_.notify_one();
    hub_.publish("clear", "{}");
}

void ReceiptStore::paper_grow(const Bitmap& page, int height) {
    {
        std::lock_guard lock(mu_);
        const int from = paper_height_;
        if (paper_.width() != page.width()) paper_ = Bitmap(page.width(), 0);
        paper_.resize_height(height);
        for (int y = from; y < height && y < page.height(); ++y)
            std::copy(page.row(y), page.row(y) + page.stride(), paper_.row(y));
        paper_height_ = height;
    }
    hub_.paper(height);
}

void ReceiptStore::paper_reset() {
    {
        std::lock_guard lock(mu_);
        if (paper_height_ == 0) return;
        paper_ = Bitmap();
        paper_height_ = 0;
        paper_png_.clear();
        paper_png_height_ = 0;
    }
    hub_.paper(0);
}

std::string ReceiptStore::paper_png() const {
    Bitmap copy;
    {
        std::lock_guard lock(mu_);
        if (paper_height_ == 0) return {};
        if (paper_png_height_ == paper_height_) return paper_png_;
        copy = paper_;
    }
    std::string png = encode_png(copy, margins_);
    std::lock_guard lock(mu_);
    // The paper only grows until it is cut, so its height names its content.
    if (paper_.height() == copy.height()) {
        paper_png_ = png;
        paper_png_height_ = copy.height();
    }
    return png;
}

int ReceiptStore::paper_height() const {
    std::lock_guard lock(mu_);
    return paper_height_;
}

}  // namespace quorvel::printer

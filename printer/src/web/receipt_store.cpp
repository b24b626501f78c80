// SPDX-License-Identifier: MIT
#include "web/receipt_store.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
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
        std::lock_guard lock(mu_);
        stopping_ = true;
    }
    write_cv_.notify_all();
    if (writer_.joinable()) writer_.join();  // everything cut is written first
}

namespace {
size_t footprint(const ReceiptDetail& d) {
    size_t n = d.bytes.size() + 64 * (d.content.lines.size() + d.content.symbols.size());
    for (const std::string& l : d.journal) n += l.size() + 32;
    return n;
}

// "receipt-0007.json" -> true for prefix "receipt".
bool is_companion(const std::string& name, const std::string& prefix) {
    return name.size() > prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0 &&
           name[prefix.size()] == '-' && name.ends_with(".json");
}
}  // namespace

size_t ReceiptStore::restore(const std::string& prefix, bool list) {
    namespace fs = std::filesystem;
    if (out_dir_.empty()) return 0;
    std::vector<ReceiptInfo> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(out_dir_, ec)) {
        const std::string name = entry.path().filename().string();
        if (!is_companion(name, prefix)) continue;  // temporaries start with a dot
        std::string side;
        ReceiptInfo info;
        if (!read_file(entry.path().string(), &side) || !parse_companion_info(side, &info))
            continue;
        // Its image gone past the image limit: the companions go too.
        if (!std::ifstream(out_dir_ + "/" + info.file).good()) {
            std::remove(sidecar(info, ".bin").c_str());
            std::remove(sidecar(info, ".json").c_str());
            continue;
        }
        found.push_back(std::move(info));
    }
    std::sort(found.begin(), found.end(),
              [](const ReceiptInfo& a, const ReceiptInfo& b) { return a.id < b.id; });
    std::lock_guard lock(mu_);
    if (!found.empty()) next_id_ = std::max(next_id_, found.back().id + 1);
    if (!list) return 0;
    if (found.size() > MAX_LISTED) found.erase(found.begin(), found.end() - MAX_LISTED);
    for (const ReceiptInfo& info : found) {
        list_[info.id] = info;
        stored_locked(info);
    }
    return found.size();
}

bool ReceiptStore::write_companions(const ReceiptInfo& info, const ReceiptDetail& detail) const {
    // The image first, then its bytes, then the entry that lists it: a
    // receipt is listed at a restart only once all three are whole.
    return write_file(sidecar(info, ".bin"), detail.bytes) &&
           write_file(sidecar(info, ".json"), companion_json(info, detail));
}

int ReceiptStore::add(ReceiptInfo info, ReceiptDetail detail) {
    info.journal_lines = detail.journal.size();
    info.text_lines = detail.content.lines.size();
    info.symbols = detail.content.symbols.size();
    auto shared = std::make_shared<const ReceiptDetail>(std::move(detail));
    {
        std::lock_guard lock(mu_);
        info.id = next_id_++;
        if (!info.file.empty()) {
            // Its companions are written off the printing thread, at once,
            // and it is listed once they are: a receipt the API or the page
            // showed outlives a crash with its files.
            to_write_.emplace_back(info, std::move(shared));
            if (!writer_.joinable()) writer_ = std::thread([this] { write_files(); });
        } else {
            list_locked(info, std::move(shared));
        }
    }
    if (info.file.empty())
        hub_.publish("receipt", receipt_json(info, api_base_));
    else
        write_cv_.notify_one();
    return info.id;
}

void ReceiptStore::write_files() {
    std::unique_lock lock(mu_);
    for (;;) {
        write_cv_.wait(lock, [&] { return stopping_ || !to_write_.empty(); });
        if (to_write_.empty()) return;
        auto [info, detail] = std::move(to_write_.front());
        to_write_.pop_front();
        lock.unlock();
        // An image already gone past the image limit takes its details along.
        const bool png_there = std::ifstream(out_dir_ + "/" + info.file).good();
        const bool stored = png_there && write_companions(info, *detail);
        lock.lock();
        if (stored) stored_locked(info);
        // Its image may have gone past the limit while the files were written.
        const bool gone = !png_there || (stored && !stored_.count(info.id));
        list_locked(info, gone ? nullptr : std::move(detail));
        lock.unlock();
        hub_.publish("receipt", receipt_json(info, api_base_));
        lock.lock();
    }
}

void ReceiptStore::list_locked(const ReceiptInfo& info, Shared detail) {
    list_[info.id] = info;
    if (detail) {
        resident_bytes_ += footprint(*detail);
        details_[info.id] = std::move(detail);
        evict_locked();
    }
    while (list_.size() > MAX_LISTED) {
        const int old = list_.begin()->first;
        const auto d = details_.find(old);
        if (d != details_.end()) {
            resident_bytes_ -= footprint(*d->second);
            details_.erase(d);
        }
        list_.erase(list_.begin());
    }
}

void ReceiptStore::stored_locked(const ReceiptInfo& info) {
    written_.push_back(info);
    stored_.insert(info.id);
    // The companions go the way of their images past the image limit.
    while (!written_.empty() && (written_.size() > max_files_ ||
                                 !std::ifstream(out_dir_ + "/" + written_.front().file).good())) {
        const ReceiptInfo old = std::move(written_.front());
        written_.pop_front();
        stored_.erase(old.id);
        std::remove(sidecar(old, ".bin").c_str());
        std::remove(sidecar(old, ".json").c_str());
        // Gone from the folder, gone from the API: no details kept in memory.
        if (const auto d = details_.find(old.id); d != details_.end()) {
            resident_bytes_ -= footprint(*d->second);
            details_.erase(d);
        }
    }
}

void ReceiptStore::evict_locked() {
    // Past the bounds the oldest receipts leave memory; they are read back
    // from their companion files on request. One without them (no PNG file,
    // or they could not be written) stays until the list drops it.
    for (auto it = details_.begin();
         it != details_.end() && (details_.size() > keep_ || resident_bytes_ > MAX_MEMORY);) {
        if (!stored_.count(it->first)) {
            ++it;
            continue;
        }
        resident_bytes_ -= footprint(*it->second);
        it = details_.erase(it);
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
    return details_.size();
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
        // Receipts leave the list; their files stay in the output folder.
        std::lock_guard lock(mu_);
        list_.clear();
        details_.clear();
        resident_bytes_ = 0;
    }
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

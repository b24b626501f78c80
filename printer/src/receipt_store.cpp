// SPDX-License-Identifier: MIT
#include "receipt_store.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <utility>
#include <nlohmann/json.hpp>

#include "renderer.h"

namespace quorvel::printer {

using nlohmann::json;

struct EventHub::Subscriber {
    std::deque<std::string> queue;
    bool dropped = false;
    uint64_t paper_seq = 0;
    Clock::time_point paper_sent{};
};

EventHub::EventHub(size_t max_subscribers, size_t max_queue,
                   std::chrono::milliseconds paper_interval)
    : max_subscribers_(max_subscribers), max_queue_(max_queue), paper_interval_(paper_interval) {}

std::shared_ptr<EventHub::Subscriber> EventHub::subscribe() {
    std::lock_guard lock(mu_);
    if (closed_ || subs_.size() >= max_subscribers_) return nullptr;
    auto s = std::make_shared<Subscriber>();
    s->paper_seq = paper_seq_;  // a new page asks for the paper itself
    subs_.push_back(s);
    return s;
}

void EventHub::unsubscribe(const std::shared_ptr<Subscriber>& s) {
    std::lock_guard lock(mu_);
    std::erase(subs_, s);
}

size_t EventHub::subscribers() const {
    std::lock_guard lock(mu_);
    return subs_.size();
}

void EventHub::publish(const std::string& name, const std::string& data) {
    std::string frame = "event: " + name + "\ndata: " + data + "\n\n";
    {
        std::lock_guard lock(mu_);
        for (const auto& s : subs_) {
            if (s->dropped) continue;
            if (s->queue.size() >= max_queue_) {
                // Too far behind: drop it rather than hold an unbounded queue.
                s->dropped = true;
                s->queue.clear();
                continue;
            }
            s->queue.push_back(frame);
        }
    }
    cv_.notify_all();
}

void EventHub::paper(int height) {
    {
        std::lock_guard lock(mu_);
        ++paper_seq_;
        paper_height_ = height;
    }
    cv_.notify_all();
}

std::optional<std::string> EventHub::next(const std::shared_ptr<Subscriber>& s,
                                          std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    std::unique_lock lock(mu_);
    for (;;) {
        if (closed_ || s->dropped) return std::nullopt;
        if (!s->queue.empty()) {
            std::string frame = std::move(s->queue.front());
            s->queue.pop_front();
            return frame;
        }
        auto wake = deadline;
        const auto now = Clock::now();
        if (s->paper_seq != paper_seq_) {
            // Paper news at most every paper_interval_, and the latest always arrives.
            const auto due = s->paper_sent + paper_interval_;
            if (now >= due) {
                s->paper_seq = paper_seq_;
                s->paper_sent = now;
                return "event: paper\ndata: {\"height\":" + std::to_string(paper_height_) +
                       ",\"seq\":" + std::to_string(paper_seq_) + "}\n\n";
            }
            wake = std::min(wake, due);
        }
        if (now >= deadline) return std::nullopt;
        cv_.wait_until(lock, wake);
    }
}

bool EventHub::dropped(const std::shared_ptr<Subscriber>& s) const {
    std::lock_guard lock(mu_);
    return s->dropped;
}

void EventHub::close() {
    {
        std::lock_guard lock(mu_);
        closed_ = true;
    }
    cv_.notify_all();
}

bool EventHub::closed() const {
    std::lock_guard lock(mu_);
    return closed_;
}

// ---------------------------------------------------------------------------

namespace {

// JSON strings must be UTF-8; anything else is read as Latin-1 so that no
// byte is lost.
std::string as_utf8(std::string_view s) {
    bool ascii = std::all_of(s.begin(), s.end(), [](char c) { return (c & 0x80) == 0; });
    if (ascii) return std::string(s);
    try {
        (void)json(std::string(s)).dump();
        return std::string(s);
    } catch (const json::exception&) {
    }
    std::string out;
    for (char c : s) {
        const auto b = static_cast<uint8_t>(c);
        if (b < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

std::string hex(std::string_view s) {
    static constexpr char DIGITS[] = "0123456789ABCDEF";
    std::string out;
    for (char c : s) {
        const auto b = static_cast<uint8_t>(c);
        out += DIGITS[b >> 4];
        out += DIGITS[b & 15];
    }
    return out;
}

constexpr const char* ALIGN[] = {"left", "center", "right"};

json text_json(const PageContent& content) {
    json lines = json::array();
    for (const TextLine& line : content.lines) {
        json spans = json::array();
        std::string text;
        for (const TextSpan& span : line.spans) {
            json j{{"text", span.text}};
            const TextMarks& m = span.marks;
            // Only the marks that differ from plain text.
            if (m.font) j["font"] = "B";
            if (m.bold) j["bold"] = true;
            if (m.underline) j["underline"] = m.underline;
            if (m.wmul != 1) j["width"] = m.wmul;
            if (m.hmul != 1) j["height"] = m.hmul;
            if (m.reverse) j["reverse"] = true;
            spans.push_back(std::move(j));
            text += span.text;
        }
        json l{{"y", line.y},
               {"align", ALIGN[std::clamp(line.justification, 0, 2)]},
               {"text", text},
               {"spans", std::move(spans)}};
        if (line.upside_down) l["upside_down"] = true;
        lines.push_back(std::move(l));
    }
    return lines;
}

json symbols_json(const PageContent& content) {
    json out = json::array();
    for (const SymbolRecord& s : content.symbols)
        out.push_back({{"type", s.type},
                       {"data", as_utf8(s.data)},
                       {"hex", hex(s.data)},
                       {"x", s.x},
                       {"y", s.y},
                       {"width", s.width},
                       {"height", s.height}});
    return out;
}

json info_json(const ReceiptInfo& r, const std::string& api) {
    const std::string base = api + "/receipts/" + std::to_string(r.id);
    return {{"id", r.id},
            {"time_ms", r.time_ms},
            {"link", r.link},
            {"peer", r.peer},
            {"bytes", r.bytes},
            {"width", r.width},
            {"height", r.height},
            {"cut", r.cut},
            {"file", r.file},
            {"journal_lines", r.journal_lines},
            {"text_lines", r.text_lines},
            {"symbols", r.symbols},
            {"png", base + ".png"},
            {"bin", base + ".bin"},
            {"text", base + "/text"},
            {"symbols_url", base + "/symbols"},
            {"journal", base + "/journal"}};
}

bool read_file(const std::string& path, std::string* out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool write_file(const std::string& path, std::string_view data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(out);
}

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

std::string receipt_json(const ReceiptInfo& info, const std::string& api) {
    return info_json(info, api).dump();
}
std::string content_text_json(const PageContent& content) {
    return text_json(content).dump();
}
std::string content_symbols_json(const PageContent& content) {
    return symbols_json(content).dump();
}

// ---------------------------------------------------------------------------

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
            const json side{{"journal", detail->journal},
                            {"text", text_json(detail->content)},
                            {"symbols", symbols_json(detail->content)}};
            write_file(sidecar(info, ".json"), side.dump());
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
    const json j = json::parse(side, nullptr, false);
    if (j.is_discarded() || !j.is_object()) return nullptr;
    try {
        out->journal = j.value("journal", std::vector<std::string>{});
        for (const auto& l : j.at("text")) {
            TextLine line;
            line.y = l.value("y", 0);
            const std::string align = l.value("align", "left");
            line.justification = align == "center" ? 1 : align == "right" ? 2 : 0;
            line.upside_down = l.value("upside_down", false);
            for (const auto& s : l.at("spans")) {
                TextSpan span;
                span.text = s.value("text", "");
                span.marks.font = s.value("font", "A") == "B" ? 1 : 0;
                span.marks.bold = s.value("bold", false);
                span.marks.underline = s.value("underline", 0);
                span.marks.wmul = s.value("width", 1);
                span.marks.hmul = s.value("height", 1);
                span.marks.reverse = s.value("reverse", false);
                line.spans.push_back(std::move(span));
            }
            out->content.lines.push_back(std::move(line));
        }
        for (const auto& s : j.at("symbols")) {
            std::string data;
            const std::string h = s.value("hex", "");
            for (size_t i = 0; i + 1 < h.size(); i += 2)
                data += static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16));
            out->content.symbols.push_back(SymbolRecord{s.value("type", ""), data, s.value("x", 0),
                                                        s.value("y", 0), s.value("width", 0),
                                                        s.value("height", 0)});
        }
    } catch (const std::exception&) {
        return nullptr;
    }
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

// ---------------------------------------------------------------------------

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

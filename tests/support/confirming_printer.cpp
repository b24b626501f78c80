// SPDX-License-Identifier: MIT
#include "confirming_printer.h"

#include <algorithm>

namespace quorvel::testing {

using Clock = std::chrono::steady_clock;

ConfirmingPrinter::ConfirmingPrinter(Emit emit) : emit_(std::move(emit)) {
    thread_ = std::thread([this] { run(); });
}

ConfirmingPrinter::~ConfirmingPrinter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void ConfirmingPrinter::feed(const Bytes& chunk) {
    std::lock_guard lock(mutex_);
    if (!power_) return;
    input_.insert(input_.end(), chunk.begin(), chunk.end());
    parse_locked();
    wake_.notify_all();
}

std::uint8_t ConfirmingPrinter::realtime_locked(int n) const {
    switch (n) {
        case 1:
            return static_cast<std::uint8_t>(0x12 | (held_locked() ? 0x08 : 0));
        case 2:
            return static_cast<std::uint8_t>(0x12 | (cover_open_ ? 0x04 : 0) | (paper_ ? 0 : 0x20));
        case 4:
            return static_cast<std::uint8_t>(0x12 | (paper_ ? 0 : 0x60));
        default:
            return 0x12;
    }
}

void ConfirmingPrinter::queue_out_locked(const Bytes& bytes) {
    out_.push_back(bytes);
    wake_.notify_all();
}

void ConfirmingPrinter::group_locked() {
    if (!asb_ || !power_) return;
    queue_out_locked(
        {static_cast<std::uint8_t>(0x10 | (cover_open_ ? 0x20 : 0) | (held_locked() ? 0x08 : 0)),
         0x00, static_cast<std::uint8_t>(paper_ ? 0 : 0x0C), 0x00});
}

void ConfirmingPrinter::parse_locked() {
    std::size_t at = 0;
    auto data = [&](std::uint8_t b) {
        if (queue_.empty() || queue_.back().kind != Item::data)
            queue_.push_back({Item::data, {}, 0});
        queue_.back().bytes.push_back(b);
        if (b == 0x0A) ++queue_.back().lines_left;
    };
    while (at < input_.size()) {
        const std::size_t left = input_.size() - at;
        const std::uint8_t* p = input_.data() + at;
        if (p[0] == 0x10) {  // DLE EOT n: real-time, answered at once
            if (left < 3) break;
            if (p[1] == 0x04) {
                ++queries_;
                queue_out_locked({realtime_locked(p[2])});
            }
            at += 3;
        } else if (p[0] == 0x1D) {
            if (left < 2) break;
            if (p[1] == '(') {
                if (left < 5) break;
                const std::size_t total = 5u + p[3] + 256u * p[4];
                if (left < total) break;
                if (p[2] == 'H' && total == 11 && p[5] == 0x30) {  // GS ( H fn 48: process ID
                    ++ids_;
                    last_id_.assign(p + 7, p + 11);
                    queue_.push_back({Item::id, Bytes(p + 7, p + 11), 0});
                }
                at += total;
            } else if (p[1] == 'r' || p[1] == 'a') {
                if (left < 3) break;
                if (p[1] == 'r') {  // GS r n: answered when reached
                    ++fences_;
                    queue_.push_back({Item::fence, {}, 0});
                } else {
                    asb_ = p[2] != 0;  // GS a n: automatic status back
                }
                at += 3;
            } else {
                data(p[0]);
                ++at;
            }
        } else {
            data(p[0]);
            ++at;
        }
    }
    input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(at));
}

void ConfirmingPrinter::run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        while (!out_.empty()) {
            Bytes bytes = std::move(out_.front());
            out_.pop_front();
            lock.unlock();
            emit_(bytes);
            lock.lock();
        }
        if (power_ && !held_locked() && !queue_.empty()) {
            Item& head = queue_.front();
            const auto now = Clock::now();
            if (head.kind == Item::id) {
                if (process_id_)
                    queue_out_locked({0x37, 0x22, head.bytes[0], head.bytes[1], head.bytes[2],
                                      head.bytes[3], 0x00});
                queue_.pop_front();
                continue;
            }
            if (head.kind == Item::fence) {
                queue_out_locked({0x00});  // GS r 1: paper present
                queue_.pop_front();
                continue;
            }
            if (head.lines_left == 0) {
                for (std::uint8_t b : head.bytes)
                    if (b >= 0x20 && b < 0x7F) paper_text_ += static_cast<char>(b);
                queue_.pop_front();
                continue;
            }
            if (line_started_ == Clock::time_point{}) line_started_ = now;
            if (now - line_started_ >= std::chrono::milliseconds(ms_per_line_)) {
                const auto end = std::find(head.bytes.begin(), head.bytes.end(), 0x0A);
                for (auto it = head.bytes.begin(); it != end; ++it)
                    if (*it >= 0x20 && *it < 0x7F) paper_text_ += static_cast<char>(*it);
                paper_text_ += '\n';
                head.bytes.erase(head.bytes.begin(), end + 1);
                --head.lines_left;
                line_started_ = now;
                if (out_after_lines_ > 0 && --out_after_lines_ == 0) {
                    out_after_lines_ = -1;
                    paper_ = false;
                    line_started_ = {};
                    group_locked();
                }
                continue;
            }
        }
        wake_.wait_for(lock, std::chrono::milliseconds(2));
    }
}

void ConfirmingPrinter::set_process_id(bool answers) {
    std::lock_guard lock(mutex_);
    process_id_ = answers;
}

void ConfirmingPrinter::set_ms_per_line(int ms) {
    std::lock_guard lock(mutex_);
    ms_per_line_ = ms;
}

void ConfirmingPrinter::set_paper(bool present) {
    std::lock_guard lock(mutex_);
    paper_ = present;
    line_started_ = {};
    group_locked();
    wake_.notify_all();
}

void ConfirmingPrinter::paper_out_after_lines(int lines) {
    std::lock_guard lock(mutex_);
    out_after_lines_ = lines;
}

void ConfirmingPrinter::set_cover_open(bool open) {
    std::lock_guard lock(mutex_);
    cover_open_ = open;
    line_started_ = {};
    group_locked();
    wake_.notify_all();
}

void ConfirmingPrinter::set_power(bool on) {
    std::lock_guard lock(mutex_);
    power_ = on;
    if (!on) {
        input_.clear();
        queue_.clear();
        out_.clear();
        asb_ = false;
    }
    line_started_ = {};
}

void ConfirmingPrinter::send_raw(const Bytes& bytes) {
    std::lock_guard lock(mutex_);
    queue_out_locked(bytes);
}

std::string ConfirmingPrinter::paper() {
    std::lock_guard lock(mutex_);
    return paper_text_;
}

int ConfirmingPrinter::ids_requested() {
    std::lock_guard lock(mutex_);
    return ids_;
}

std::string ConfirmingPrinter::last_id_requested() {
    std::lock_guard lock(mutex_);
    return last_id_;
}

int ConfirmingPrinter::fences_requested() {
    std::lock_guard lock(mutex_);
    return fences_;
}

int ConfirmingPrinter::status_queries() {
    std::lock_guard lock(mutex_);
    return queries_;
}

}  // namespace quorvel::testing

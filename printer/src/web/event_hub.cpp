// SPDX-License-Identifier: MIT
#include "web/event_hub.h"

#include <algorithm>
#include <deque>

namespace quorvel::printer {

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
    std::lock_guard lock(waker_mu_);
    if (waker_) waker_();
}

void EventHub::on_news(std::function<void()> waker) {
    std::lock_guard lock(waker_mu_);
    waker_ = std::move(waker);
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

}  // namespace quorvel::printer

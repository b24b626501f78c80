// SPDX-License-Identifier: MIT
#include "event_hub.h"

#include <algorithm>
#include <deque>

namespace quorvel::spool {

struct EventHub::Subscriber {
    std::deque<std::string> queue;
    bool dropped = false;
    std::function<bool(const std::string&)> filter;
};

EventHub::EventHub(size_t max_subscribers, size_t max_queue)
    : max_subscribers_(max_subscribers), max_queue_(max_queue) {}

std::shared_ptr<EventHub::Subscriber> EventHub::subscribe(
    std::function<bool(const std::string&)> filter) {
    std::lock_guard lock(mu_);
    if (closed_ || subs_.size() >= max_subscribers_) return nullptr;
    auto s = std::make_shared<Subscriber>();
    s->filter = std::move(filter);
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
            if (s->dropped || (s->filter && !s->filter(data))) continue;
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

std::optional<std::string> EventHub::next(const std::shared_ptr<Subscriber>& s,
                                          std::chrono::milliseconds timeout) {
    std::unique_lock lock(mu_);
    cv_.wait_for(lock, timeout, [&] { return closed_ || s->dropped || !s->queue.empty(); });
    if (closed_ || s->dropped || s->queue.empty()) return std::nullopt;
    std::string frame = std::move(s->queue.front());
    s->queue.pop_front();
    return frame;
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

}  // namespace quorvel::spool

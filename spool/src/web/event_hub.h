// SPDX-License-Identifier: MIT
// Server-Sent Events: every job's change pushed to the open pages and tills.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quorvel::spool {

// Each subscriber has a bounded queue: one that falls too far behind is
// dropped (its page reconnects and reloads the list).
class EventHub {
  public:
    struct Subscriber;

    explicit EventHub(size_t max_subscribers = 32, size_t max_queue = 1024);

    // Null when `max_subscribers` are already there. `filter`, when given,
    // picks the events this subscriber gets by their data (called under the
    // hub's lock: it must not call the hub).
    std::shared_ptr<Subscriber> subscribe(std::function<bool(const std::string&)> filter = {});
    void unsubscribe(const std::shared_ptr<Subscriber>& s);
    size_t subscribers() const;

    // `name` is the event type, `json` its data (one line).
    void publish(const std::string& name, const std::string& json);

    // The next event as an SSE frame, or nothing when `timeout` passes, the
    // subscriber was dropped (check `dropped`) or the hub is closing.
    std::optional<std::string> next(const std::shared_ptr<Subscriber>& s,
                                    std::chrono::milliseconds timeout);
    bool dropped(const std::shared_ptr<Subscriber>& s) const;
    // Ends every stream (server shutdown).
    void close();
    bool closed() const;
    // Called after each publish, from the publishing thread; must not block.
    void on_news(std::function<void()> waker);

  private:
    const size_t max_subscribers_;
    const size_t max_queue_;
    mutable std::mutex mu_;
    std::condition_variable cv_;
    std::vector<std::shared_ptr<Subscriber>> subs_;
    bool closed_ = false;
    std::mutex waker_mu_;
    std::function<void()> waker_;
};

}  // namespace quorvel::spool

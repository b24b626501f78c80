// SPDX-License-Identifier: MIT
// Server-Sent Events of one printer's web side: news pushed to its open pages.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quorvel::printer {

// Server-Sent Events to every open page. Each subscriber has a bounded queue:
// one that falls too far behind is dropped (its page reconnects and reloads
// the list). The uncut paper is not queued: a subscriber is told of its
// latest height at most every `paper_interval`.
class EventHub {
  public:
    struct Subscriber;
    using Clock = std::chrono::steady_clock;

    explicit EventHub(size_t max_subscribers = 16, size_t max_queue = 256,
                      std::chrono::milliseconds paper_interval = std::chrono::milliseconds(100));

    // Null when `max_subscribers` are already there.
    std::shared_ptr<Subscriber> subscribe();
    void unsubscribe(const std::shared_ptr<Subscriber>& s);
    size_t subscribers() const;

    // `name` is the event type, `json` its data (one line).
    void publish(const std::string& name, const std::string& json);
    // The uncut paper is now `height` dots long (0: nothing uncut).
    void paper(int height);

    // The next event as an SSE frame, or nothing when `timeout` passes, the
    // subscriber was dropped (check `dropped`) or the hub is closing.
    std::optional<std::string> next(const std::shared_ptr<Subscriber>& s,
                                    std::chrono::milliseconds timeout);
    bool dropped(const std::shared_ptr<Subscriber>& s) const;
    // Ends every stream (server shutdown).
    void close();
    bool closed() const;
    // Called after each publish, from the publishing thread, so a server that
    // does not block in next() can look at once; must not block. Empty: none.
    void on_news(std::function<void()> waker);

  private:
    const size_t max_subscribers_;
    const size_t max_queue_;
    const std::chrono::milliseconds paper_interval_;
    mutable std::mutex mu_;
    std::condition_variable cv_;
    std::vector<std::shared_ptr<Subscriber>> subs_;
    uint64_t paper_seq_ = 0;
    int paper_height_ = 0;
    bool closed_ = false;
    std::mutex waker_mu_;
    std::function<void()> waker_;
};

}  // namespace quorvel::printer

// SPDX-License-Identifier: MIT
// The printer end of the link benchmarks: one thread on 127.a.b.c:9100 that
// accepts any number of connections, reads and drops everything, and answers
// each status query (a chunk ending in DLE EOT 1) with 12 at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quorvel::bench {

class DrainListener {
  public:
    DrainListener();
    ~DrainListener();
    DrainListener(const DrainListener&) = delete;
    DrainListener& operator=(const DrainListener&) = delete;

    const std::string& address() const { return address_; }

    // Records what arrives on any connection until the returned bytes have
    // been quiet for a moment: used once to capture a command as the library
    // sends it.
    std::vector<std::uint8_t> capture(void (*produce)());

    // A client socket set up as the library sets up its own: non-blocking,
    // TCP_NODELAY, connected to this listener.
    int connect_client() const;

  private:
    void serve();

    std::string address_;
    int listener_ = -1;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> capturing_{false};
    std::mutex captured_mutex_;
    std::vector<std::uint8_t> captured_;
    std::thread thread_;
};

}  // namespace quorvel::bench

// SPDX-License-Identifier: MIT
// A real TCP listener on its own loopback address at port 9100 that plays the
// printer for a test: it records what arrives and answers as told.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quorvel::testing {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

inline double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A loopback address of the form 127.a.b.c for the running test, derived from
// its name, so parallel test processes never share a listener.
std::string unique_loopback_address(const std::string& salt = "");

class FakePrinter {
public:
    enum class Behaviour {
        record,           // read everything, answer through the responder
        close_at_once,    // accept, then close without reading
        reset_at_once,    // accept, then reset the connection (RST)
        reset_on_data,    // reset as soon as the first bytes arrive
        never_read,       // accept and never read: the socket buffer fills up
    };
    // Gets each chunk as it arrives; returns the bytes to answer with (maybe none).
    using Responder = std::function<Bytes(const Bytes& chunk)>;

    // address: an IPv4 or IPv6 literal ("::1"); a 127.a.b.c of its own when empty.
    explicit FakePrinter(Behaviour behaviour = Behaviour::record, std::string address = "",
                         std::uint16_t port = 9100);
    ~FakePrinter();
    FakePrinter(const FakePrinter&) = delete;
    FakePrinter& operator=(const FakePrinter&) = delete;

    const std::string& address() const { return address_; }
    std::uint16_t port() const { return port_; }
    void set_responder(Responder responder);
    // Answers every chunk that holds a status query with these bytes.
    void answer_with(Bytes reply);

    // Waits until at least count bytes have arrived (or timeout), then returns all bytes so far.
    Bytes wait_for_bytes(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(3));
    Bytes received();
    int connections();
    // Waits for the current connection to end (peer closed); true if it did.
    bool wait_for_disconnect(std::chrono::milliseconds timeout = std::chrono::seconds(3));
    // Sends bytes to the connected host unasked.
    void send_unsolicited(const Bytes& bytes);
    // Stops reading for a while, as a busy printer does; bytes pile up in the buffers.
    void pause_reading(std::chrono::milliseconds duration);
    // Resets the current connection (RST), as a printer that loses power does.
    void drop_connection();

private:
    void serve();

    std::string address_;
    std::uint16_t port_;
    Behaviour behaviour_;
    // Socket handles (int descriptors on POSIX, SOCKET on Winsock); -1 is none.
    std::intptr_t listener_ = -1;
    std::intptr_t client_ = -1;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> drop_{false};
    std::atomic<std::chrono::steady_clock::rep> paused_until_{0};
    std::mutex mutex_;
    std::condition_variable changed_;
    Bytes received_;
    int connections_ = 0;
    bool disconnected_ = false;
    Responder responder_;
    std::thread thread_;
};

// A listener at address:port whose queue is full: it never accepts, and its
// one-place backlog is taken by a connection of its own, so a further
// connection attempt is left unanswered until it times out.
class FullBacklogListener {
public:
    explicit FullBacklogListener(std::string address = "", std::uint16_t port = 9100);
    ~FullBacklogListener();
    FullBacklogListener(const FullBacklogListener&) = delete;
    FullBacklogListener& operator=(const FullBacklogListener&) = delete;
    const std::string& address() const { return address_; }

private:
    std::string address_;
    std::intptr_t listener_ = -1;
    std::vector<std::intptr_t> fillers_;
};

std::string hex(const Bytes& bytes);
Bytes bytes_of(std::initializer_list<int> values);
Bytes bytes_of(const std::string& text);
Bytes concat_bytes(std::initializer_list<Bytes> parts);

}  // namespace quorvel::testing

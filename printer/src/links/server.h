// SPDX-License-Identifier: MIT
// The printer's links: a TCP port (one connection at a time, the next ones
// wait in the listen queue) and a serial port served as a pseudo-terminal.
// Each link has its own paper: what a host prints and does not cut stays on
// it for the next host of that link, and a cut (or --flush-after seconds
// without data, or the end of the run) makes it a page in the shared store.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "links/session.h"
#include "machine/mechanism.h"
#include "machine/page_store.h"

namespace quorvel::printer {

// Replies to one host, written without ever blocking the printer: what the
// host's link cannot take now waits here up to a bound, and replies past it
// are dropped and journaled, as a printer with a full transmit buffer does.
class ReplyWriter {
  public:
    ReplyWriter(int fd, bool socket, size_t max_unsent, Journal& journal);
    ~ReplyWriter();
    void send(std::span<const uint8_t> bytes);
    // Writes what the link takes now.
    void flush();
    bool pending() const { return !unsent_.empty(); }
    uint64_t dropped() const { return dropped_total_; }

  private:
    // Bytes written (0 when the link is full), or -1 when the link failed.
    ssize_t write_some(const uint8_t* p, size_t n);

    int fd_;
    bool socket_;
    size_t max_unsent_;
    Journal& journal_;
    std::vector<uint8_t> unsent_;
    bool failed_ = false;
    bool dropping_ = false;
    uint64_t dropped_burst_ = 0;
    uint64_t dropped_total_ = 0;
};

// The kernel's cap on listen queues (net.core.somaxconn); asking for more is
// cut down to it. Every listener of the printer uses it.
int system_backlog();

class LinkServer {
  public:
    LinkServer(SessionConfig config, const FontSet& fonts, StatusModel& status, Journal& journal);
    virtual ~LinkServer();

    // Serve until `stop` becomes true.
    virtual void run(const std::atomic<bool>& stop) = 0;

    // Serve on a thread of its own; returns once the thread is serving.
    // stop() returns once the link is closed and the paper left on it is
    // written out.
    void start();
    void stop();
    // Asks the link to stop and returns at once (stop() then waits).
    void request_stop() {
        stop_ = true;
        wake();
    }

    // Wakes the link's thread at once: a status changed (paper, cover,
    // cutter, power), or a stop was asked for.
    void wake();
    // The print mechanism of this link (its view may be read from any thread).
    Mechanism& mechanism() { return *mech_; }
    const Mechanism& mechanism() const { return *mech_; }

    int served() const;
    // Wait until `n` sessions have ended.
    bool wait_served(int n, std::chrono::milliseconds timeout) const;
    // Pages written by this printer (at most the store's image limit).
    std::vector<std::string> images() const;
    PageStore& store() { return *store_; }

    // A TCP connection that sends fewer than TRICKLE_BYTES in this long is
    // closed, whether silent or trickling (0: never).
    std::chrono::milliseconds idle_timeout{0};
    static constexpr size_t TRICKLE_BYTES = 64;
    // Uncut paper becomes a page after this long without data (0: never).
    std::chrono::milliseconds flush_after{5000};
    // Reply bytes kept for a host that does not read them.
    size_t max_unsent = 4096;

  protected:
    using Clock = std::chrono::steady_clock;
    // Bytes handed to the interpreter per call, so a stop is seen between.
    static constexpr size_t FEED_PIECE = 4096;

    Session& begin_session(const std::string& source, ReplyWriter& out);
    bool session_open() const { return session_.has_value(); }
    Session& current() { return *session_; }
    // Hands received bytes to the mechanism, which feeds the interpreter as
    // the paper moves; false if the stop's grace ran out first.
    bool feed(std::span<const uint8_t> data, const std::atomic<bool>& stop);
    // Runs what is due (the motion, replies, status changes); returns how
    // long poll() may wait for the next thing due, in ms (-1: until woken).
    int pump();
    // Reads the wake-up descriptor empty and tells the session a status
    // changed (automatic status back).
    void woken();
    int wake_fd() const { return wake_fd_; }
    // Follows the power switch; true while the power is off. Going off, the
    // mechanism loses its buffers; the caller then resets its host and calls
    // lose_paper() once the session has ended.
    bool check_power();
    bool power_is_off() const { return off_; }
    void lose_paper();
    // A TCP link stops listening while off, and listens again when on.
    virtual void power_changed(bool off) { (void)off; }
    // Once a stop is asked for, input that has already arrived is still
    // printed for a short while; true when that time is up.
    bool out_of_time(const std::atomic<bool>& stop);
    static constexpr std::chrono::milliseconds STOP_GRACE{300};
    void end_session();
    // Writes uncut paper out once it has waited flush_after for more data.
    void tick();
    // Milliseconds until `t` (at least 0), for poll().
    static int ms_until(Clock::time_point t);

    SessionConfig config_;
    const FontSet& fonts_;
    StatusModel& status_;
    Journal& journal_;

  private:
    void page(const Bitmap& b);

    std::shared_ptr<PageStore> store_;
    std::shared_ptr<SessionTap> tap_;       // the web side, when on
    std::unique_ptr<Journal> tap_journal_;  // the journal, with lines also handed to tap_
    std::unique_ptr<Renderer> paper_;
    std::unique_ptr<Mechanism> mech_;
    int wake_fd_ = -1;
    bool off_ = false;
    std::optional<Clock::time_point> due_;  // the mechanism's next motion step
    std::optional<Session> session_;
    std::string source_;
    Clock::time_point last_data_ = Clock::now();
    std::optional<Clock::time_point> stop_seen_;

    std::atomic<bool> stop_{false};
    std::thread thread_;
    mutable std::mutex mu_;
    mutable std::condition_variable cv_;
    int served_ = 0;
    bool running_ = false;
};

class TcpServer : public LinkServer {
  public:
    using LinkServer::LinkServer;
    ~TcpServer() override;
    // Listens with the system's largest backlog, so a crowd of hosts waits
    // in the queue instead of being turned away.
    // Port 0 takes any free port; port() then tells which.
    bool listen(const std::string& host, int port, std::string* error);
    int port() const { return port_; }
    void run(const std::atomic<bool>& stop) override;

    void power_changed(bool off) override;

  private:
    void serve_connection(int fd, const std::string& peer, const std::atomic<bool>& stop);
    // Reads what has come as far as the buffer takes it, once a stop is asked.
    void take_last_bytes(int fd, std::vector<uint8_t>& buf, const std::atomic<bool>& stop);
    int listen_fd_ = -1;
    std::string host_;
    int port_ = 0;
};

class PtyServer : public LinkServer {
  public:
    using LinkServer::LinkServer;
    ~PtyServer() override;
    // Opens a pseudo-terminal and makes `link` a symlink to its slave side.
    bool open(const std::string& link, std::string* error);
    const std::string& slave_path() const { return slave_; }
    void run(const std::atomic<bool>& stop) override;

  private:
    // Reads and feeds what the master side has now; false at end of data.
    void drain(std::vector<uint8_t>& buf, const std::atomic<bool>& stop);
    void close_session();
    bool closing_ = false;  // the host closed the port; the buffer still prints

    int master_ = -1;
    int watch_ = -1;  // inotify: opens and closes of the slave side
    std::string link_;
    std::string slave_;
    std::optional<ReplyWriter> out_;
};

}  // namespace quorvel::printer

// The printer's links: a TCP port (one connection at a time, the next one
// waits in the listen queue) and a serial port served as a pseudo-terminal.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "session.h"

namespace quorvel::printer {

class LinkServer {
  public:
    LinkServer(SessionConfig config, const FontSet& fonts, StatusModel& status, Journal& journal);
    virtual ~LinkServer();

    // Serve until `stop` becomes true.
    virtual void run(const std::atomic<bool>& stop) = 0;

    // Serve on a thread of its own.
    void start();
    void stop();

    int served() const;
    // Wait until `n` sessions have ended (and their images are written).
    bool wait_served(int n, std::chrono::milliseconds timeout) const;
    std::vector<std::string> images() const;

    // A session with no data for this long is closed (0: never).
    std::chrono::milliseconds idle_timeout{0};

  protected:
    // Feeds one session from `fd` until the peer hangs up; returns false if stopped.
    void end_session(Session& s);

    SessionConfig config_;
    const FontSet& fonts_;
    StatusModel& status_;
    Journal& journal_;

  private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
    mutable std::mutex mu_;
    mutable std::condition_variable cv_;
    int served_ = 0;
    std::vector<std::string> images_;
};

class TcpServer : public LinkServer {
  public:
    using LinkServer::LinkServer;
    ~TcpServer() override;
    bool listen(const std::string& host, int port, std::string* error);
    void run(const std::atomic<bool>& stop) override;

  private:
    void serve_connection(int fd, const std::string& peer, const std::atomic<bool>& stop);
    int listen_fd_ = -1;
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
    int master_ = -1;
    std::string link_;
    std::string slave_;
};

}  // namespace quorvel::printer

#include "server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

namespace quorvel::printer {

LinkServer::LinkServer(SessionConfig config, const FontSet& fonts, StatusModel& status,
                       Journal& journal)
    : config_(std::move(config)), fonts_(fonts), status_(status), journal_(journal) {}

LinkServer::~LinkServer() {
    stop();
}

void LinkServer::start() {
    stop_ = false;
    thread_ = std::thread([this] { run(stop_); });
}

void LinkServer::stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

int LinkServer::served() const {
    std::lock_guard lock(mu_);
    return served_;
}

bool LinkServer::wait_served(int n, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mu_);
    return cv_.wait_for(lock, timeout, [&] { return served_ >= n; });
}

std::vector<std::string> LinkServer::images() const {
    std::lock_guard lock(mu_);
    return images_;
}

void LinkServer::end_session(Session& s) {
    s.finish();
    {
        std::lock_guard lock(mu_);
        ++served_;
        images_.insert(images_.end(), s.images().begin(), s.images().end());
    }
    cv_.notify_all();
}

namespace {

void write_all(int fd, std::span<const uint8_t> bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t k = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (k < 0 && errno == ENOTSOCK) {
            const ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (w <= 0) return;
            done += static_cast<size_t>(w);
            continue;
        }
        if (k <= 0) {
            if (k < 0 && errno == EINTR) continue;
            return;
        }
        done += static_cast<size_t>(k);
    }
}

}  // namespace

TcpServer::~TcpServer() {
    stop();
    if (listen_fd_ >= 0) ::close(listen_fd_);
}

bool TcpServer::listen(const std::string& host, int port, std::string* error) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1) {
        if (error) *error = "not an IPv4 address: " + host;
        return false;
    }
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listen_fd_ < 0) {
        if (error) *error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    const int one = 1;
    setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listen_fd_, 8) != 0) {
        if (error)
            *error = "cannot listen on " + host + ":" + std::to_string(port) + ": " +
                     std::strerror(errno);
        ::close(listen_fd_);
        listen_fd_ = -1;
        return false;
    }
    return true;
}

void TcpServer::run(const std::atomic<bool>& stop) {
    while (!stop) {
        pollfd pfd{listen_fd_, POLLIN, 0};
        if (::poll(&pfd, 1, 100) <= 0) continue;
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        const int fd =
            ::accept4(listen_fd_, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
        if (fd < 0) continue;
        char ip[INET_ADDRSTRLEN] = "?";
        inet_ntop(AF_INET, &peer.sin_addr, ip, sizeof ip);
        serve_connection(fd, std::string(ip) + ":" + std::to_string(ntohs(peer.sin_port)), stop);
        ::close(fd);
    }
}

void TcpServer::serve_connection(int fd, const std::string& peer, const std::atomic<bool>& stop) {
    journal_.note("connection from " + peer);
    Session s(config_, fonts_, status_, journal_,
              [fd](std::span<const uint8_t> b) { write_all(fd, b); });
    std::vector<uint8_t> buf(64 * 1024);
    auto last = std::chrono::steady_clock::now();
    while (!stop) {
        pollfd pfd{fd, POLLIN, 0};
        const int r = ::poll(&pfd, 1, 100);
        if (r < 0 && errno != EINTR) break;
        if (r <= 0) {
            if (idle_timeout.count() > 0 &&
                std::chrono::steady_clock::now() - last > idle_timeout) {
                journal_.note("connection idle; closed");
                break;
            }
            continue;
        }
        const ssize_t k = ::recv(fd, buf.data(), buf.size(), 0);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) break;
        last = std::chrono::steady_clock::now();
        s.feed({buf.data(), static_cast<size_t>(k)});
    }
    end_session(s);
    journal_.note("connection from " + peer + " closed after " +
                  std::to_string(s.interpreter().offset()) + " bytes");
}

PtyServer::~PtyServer() {
    stop();
    if (master_ >= 0) ::close(master_);
    if (!link_.empty()) ::unlink(link_.c_str());
}

bool PtyServer::open(const std::string& link, std::string* error) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        if (error) *error = std::string("pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    const char* name = ::ptsname(master_);
    if (!name) {
        if (error) *error = "ptsname failed";
        return false;
    }
    slave_ = name;
    termios t{};
    if (tcgetattr(master_, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(master_, TCSANOW, &t);
    }
    // Replace an old link, but never a file that is not one.
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            if (error) *error = link + " exists and is not a symbolic link";
            return false;
        }
        ::unlink(link.c_str());
    }
    if (::symlink(slave_.c_str(), link.c_str()) != 0) {
        if (error) *error = "cannot create the link " + link + ": " + std::strerror(errno);
        return false;
    }
    link_ = link;
    return true;
}

void PtyServer::run(const std::atomic<bool>& stop) {
    std::optional<Session> s;
    std::vector<uint8_t> buf(64 * 1024);
    const int fd = master_;
    auto close_session = [&] {
        if (!s) return;
        end_session(*s);
        journal_.note("serial host closed the port after " +
                      std::to_string(s->interpreter().offset()) + " bytes");
        s.reset();
    };
    while (!stop) {
        pollfd pfd{fd, POLLIN, 0};
        const int r = ::poll(&pfd, 1, 100);
        if (r <= 0) continue;
        if (pfd.revents & POLLIN) {
            const ssize_t k = ::read(fd, buf.data(), buf.size());
            if (k > 0) {
                if (!s) {
                    journal_.note("serial host opened " + link_);
                    s.emplace(config_, fonts_, status_, journal_,
                              [fd](std::span<const uint8_t> b) { write_all(fd, b); });
                }
                s->feed({buf.data(), static_cast<size_t>(k)});
                continue;
            }
        }
        if (pfd.revents & (POLLHUP | POLLERR)) {
            // No host has the slave side open.
            close_session();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    close_session();
}

}  // namespace quorvel::printer

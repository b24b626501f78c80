// SPDX-License-Identifier: MIT
// A printer on TCP, spoken to over a plain socket: the status from DLE EOT
// 1 to 4, the job in one stream of writes, and as its confirmation the
// printer's status answers after the job's bytes (a printer answers them
// in order, so an answer means it has taken the whole job). This file is
// the delivery's only contact with the operating system's sockets.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "link.h"

namespace quorvel::spool {

namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned char STATUS_QUERY[] = {0x10, 0x04, 0x01, 0x10, 0x04, 0x02,
                                          0x10, 0x04, 0x03, 0x10, 0x04, 0x04};

int ms_left(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

class SocketLink final : public Link {
  public:
    SocketLink(const PrinterConfig& p, const LinkTimings& t)
        : host_(p.target), port_(p.port), timings_(t) {}
    ~SocketLink() override { disconnect(); }

    bool connect(std::string* why) override {
        disconnect();
        sockaddr_storage addr{};
        socklen_t len = 0;
        auto* v4 = reinterpret_cast<sockaddr_in*>(&addr);
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&addr);
        if (inet_pton(AF_INET, host_.c_str(), &v4->sin_addr) == 1) {
            v4->sin_family = AF_INET;
            v4->sin_port = htons(static_cast<uint16_t>(port_));
            len = sizeof *v4;
        } else if (inet_pton(AF_INET6, host_.c_str(), &v6->sin6_addr) == 1) {
            v6->sin6_family = AF_INET6;
            v6->sin6_port = htons(static_cast<uint16_t>(port_));
            len = sizeof *v6;
        } else {
            *why = "not an address literal: " + host_;
            return false;
        }
        fd_ = ::socket(addr.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd_ < 0) return fail(why, "socket");
        const int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
            if (errno != EINPROGRESS) return fail(why, "connect");
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, timings_.connect_ms) != 1) {
                errno = ETIMEDOUT;
                return fail(why, "connect");
            }
            int err = 0;
            socklen_t n = sizeof err;
            ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &n);
            if (err != 0) {
                errno = err;
                return fail(why, "connect");
            }
        }
        return true;
    }

    void disconnect() override {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    bool connected() const override { return fd_ >= 0; }

    std::optional<PrinterStatus> status(std::string* why) override {
        if (fd_ < 0 && !connect(why)) return std::nullopt;
        drain();
        if (write_all(STATUS_QUERY, sizeof STATUS_QUERY, timings_.reply_ms) !=
            static_cast<long>(sizeof STATUS_QUERY)) {
            fail(why, "status query");
            return std::nullopt;
        }
        return read_status(Clock::now() + std::chrono::milliseconds(timings_.reply_ms), why);
    }

    SendResult send(const std::string& bytes, int64_t) override {
        if (fd_ < 0) return {SendResult::link_down, "not connected"};
        drain();
        const int budget = timings_.confirm_ms + static_cast<int>(bytes.size() / 64);
        const long n = write_all(bytes.data(), bytes.size(), budget);
        if (n == 0) {
            std::string why;
            fail(&why, "write");
            return {SendResult::link_down, why};
        }
        if (n != static_cast<long>(bytes.size())) {
            std::string why;
            fail(&why, "write");
            return {SendResult::uncertain, "the link was lost after " + std::to_string(n) + " of " +
                                               std::to_string(bytes.size()) + " bytes: " + why};
        }
        return after_send(timings_.confirm_ms);
    }

    SendResult wait_held(int ms) override { return after_send(ms); }

    bool recover(int n, std::string* why) override {
        // The link is checked first (a link the printer closed still takes a write).
        if (!status(why) && !status(why)) return false;
        const unsigned char cmd[] = {0x10, 0x05, static_cast<unsigned char>(n)};
        if (write_all(cmd, sizeof cmd, timings_.reply_ms) != 3) return fail(why, "write");
        return true;
    }

    std::string confirm_level() const override {
        return "taken: the printer answered its status after the whole job";
    }

  private:
    // The status after the job: answered means taken; a stop means held.
    SendResult after_send(int ms) {
        std::string why;
        if (fd_ < 0) return {SendResult::uncertain, "not connected"};
        if (write_all(STATUS_QUERY, sizeof STATUS_QUERY, timings_.reply_ms) !=
            static_cast<long>(sizeof STATUS_QUERY)) {
            fail(&why, "status query");
            return {SendResult::uncertain, "the link was lost after the job was sent: " + why};
        }
        auto s = read_status(Clock::now() + std::chrono::milliseconds(ms), &why);
        if (!s) {
            disconnect();
            return {SendResult::uncertain,
                    "the printer stopped answering after the job was sent: " + why};
        }
        const std::string cause = s->stop_cause();
        if (!cause.empty()) return {SendResult::held, cause};
        return {SendResult::printed, {}};
    }

    std::optional<PrinterStatus> read_status(Clock::time_point deadline, std::string* why) {
        unsigned char got[4];
        size_t have = 0;
        while (have < 4) {
            pollfd p{fd_, POLLIN, 0};
            const int r = ::poll(&p, 1, ms_left(deadline));
            if (r == 0) {
                *why = "no status answer within the time allowed";
                disconnect();
                return std::nullopt;
            }
            const ssize_t n = r < 0 ? -1 : ::recv(fd_, got + have, 4 - have, 0);
            if (n <= 0) {
                if (n == 0) errno = ECONNRESET;
                fail(why, "read");
                return std::nullopt;
            }
            have += static_cast<size_t>(n);
        }
        PrinterStatus s;
        for (int i = 0; i < 4; ++i) s.raw[static_cast<size_t>(i)] = got[i];
        return s;
    }

    // Bytes written before the deadline or the first error.
    long write_all(const void* data, size_t size, int ms) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
        const auto* p = static_cast<const char*>(data);
        size_t done = 0;
        while (done < size) {
            const ssize_t n = ::send(fd_, p + done, size - done, MSG_NOSIGNAL);
            if (n > 0) {
                done += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                pollfd w{fd_, POLLOUT, 0};
                if (::poll(&w, 1, ms_left(deadline)) == 1) continue;
                errno = ETIMEDOUT;
            }
            break;
        }
        return static_cast<long>(done);
    }

    // Unasked bytes (an automatic status) are dropped before a query.
    void drain() {
        char junk[256];
        while (fd_ >= 0 && ::recv(fd_, junk, sizeof junk, MSG_DONTWAIT) > 0) {
        }
    }

    bool fail(std::string* why, const char* what) {
        if (why) *why = std::string(what) + ": " + std::strerror(errno);
        disconnect();
        return false;
    }

    std::string host_;
    int port_;
    LinkTimings timings_;
    int fd_ = -1;
};

}  // namespace

std::string PrinterStatus::stop_cause() const {
    if (paper_out()) return "paper out";
    if (cover_open()) return "cover open";
    if (error()) return "printer error";
    if (!online()) return "printer off line";
    return {};
}

std::unique_ptr<Link> make_socket_link(const PrinterConfig& printer, const LinkTimings& timings) {
    return std::make_unique<SocketLink>(printer, timings);
}

}  // namespace quorvel::spool

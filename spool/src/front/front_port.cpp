// SPDX-License-Identifier: MIT
#include "front_port.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>

#include "../delivery/worker.h"
#include "../intake/intake.h"
#include "../web/http_guard.h"

namespace quorvel::spool {

namespace {

constexpr unsigned char DLE = 0x10, ESC = 0x1b, GS = 0x1d, FS = 0x1c;
constexpr auto IDLE_END = std::chrono::seconds(2);  // a job ends after this without data
constexpr size_t MAX_CONNECTIONS = 16;              // per front port

// Answers when the printer's state was never read: on line, nothing wrong.
constexpr int DEFAULT_STATUS = 0x12;

uint8_t at(const std::string& s, size_t i) {
    return static_cast<uint8_t>(s[i]);
}

}  // namespace

// ------------------------------------------------------------------ splitter

size_t JobSplitter::command_length(size_t i) const {
    const size_t left = buffer_.size() - i;
    auto need = [&](size_t n) -> size_t { return left >= n ? n : 0; };
    auto u16 = [&](size_t k) -> size_t {
        return at(buffer_, i + k) | (at(buffer_, i + k + 1) << 8);
    };
    const uint8_t c = at(buffer_, i);
    if (c != DLE && c != ESC && c != GS && c != FS) return 1;
    if (left < 2) return 0;
    const uint8_t f = at(buffer_, i + 1);
    if (c == DLE && (f == 0x04 || f == 0x05)) return need(3);
    if (c == DLE && f == 0x14) return need(5);
    if (c == ESC && f == '*') {  // ESC * m nL nH d...
        if (left < 5) return 0;
        const size_t per = at(buffer_, i + 2) >= 32 ? 3 : 1;
        return need(5 + u16(3) * per);
    }
    if (c == ESC && f == 'Z') return left < 7 ? 0 : need(7 + u16(5));
    if (c == GS && f == 'v') return left < 8 ? 0 : need(8 + u16(4) * u16(6));
    if (c == GS && f == '(') return left < 5 ? 0 : need(5 + u16(3));
    if ((c == GS || c == FS) && f == '8') {  // GS 8 L p1 p2 p3 p4: 32-bit length
        if (left < 7) return 0;
        const size_t n = u16(3) | (u16(5) << 16);
        return n > max_job_ ? need(left + 1) : need(7 + n);
    }
    if (c == GS && f == 'k') {  // GS k m: NUL-ended (m 0-6) or counted (m 65-79)
        if (left < 3) return 0;
        const uint8_t m = at(buffer_, i + 2);
        if (m <= 6) {
            const size_t nul = buffer_.find('\0', i + 3);
            return nul == std::string::npos ? 0 : nul - i + 1;
        }
        return left < 4 ? 0 : need(4 + at(buffer_, i + 3));
    }
    if (c == GS && f == 'V') {  // the cut: m, or m n
        if (left < 3) return 0;
        const uint8_t m = at(buffer_, i + 2);
        return m == 0 || m == 1 || m == 48 || m == 49 ? 3 : need(4);
    }
    return 2;  // anything else: its parameters are ordinary bytes to this scan
}

std::vector<int> JobSplitter::feed(const std::string& bytes) {
    std::vector<int> queries;
    buffer_ += bytes;
    while (scanned_ < buffer_.size()) {
        const size_t n = command_length(scanned_);
        if (n == 0) break;  // not all here yet
        const uint8_t c = at(buffer_, scanned_), f = n > 1 ? at(buffer_, scanned_ + 1) : 0;
        if (c == DLE && f == 0x04) {
            // A real-time query is answered, not queued with the job.
            queries.push_back(at(buffer_, scanned_ + 2));
            buffer_.erase(scanned_, 3);
            continue;
        }
        scanned_ += n;
        const bool cut = (c == GS && f == 'V') || (c == ESC && (f == 'i' || f == 'm'));
        if (cut) {
            jobs.push_back(buffer_.substr(0, scanned_));
            buffer_.erase(0, scanned_);
            scanned_ = 0;
        }
    }
    if (buffer_.size() >= max_job_) flush();  // a job no printer would take whole
    return queries;
}

void JobSplitter::flush() {
    // A job of only ESC @ (a till's initialisation) prints nothing: dropped.
    if (!buffer_.empty() && buffer_ != "\x1b@") jobs.push_back(buffer_);
    buffer_.clear();
    scanned_ = 0;
}

// --------------------------------------------------------------------- ports

FrontPorts::FrontPorts(const Config& config, JobIntake& intake, Workers& workers)
    : config_(config), intake_(intake), workers_(workers) {}

FrontPorts::~FrontPorts() {
    stop();
    for (Port& p : ports_)
        if (p.fd >= 0) ::close(p.fd);
    for (int fd : wake_)
        if (fd >= 0) ::close(fd);
}

bool FrontPorts::listen(std::string* error) {
    for (const PrinterConfig& p : config_.printers) {
        if (p.front.empty()) continue;
        std::string host;
        int port = 0;
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        if (!parse_http_address(p.front, &host, &port) ||
            inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1) {
            *error = "printer " + p.name + ": front " + p.front + ": expected IPv4ADDR:PORT";
            return false;
        }
        addr.sin_port = htons(static_cast<uint16_t>(port));
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(fd, 64) != 0) {
            *error = "cannot listen on " + p.front + " (front of " + p.name +
                     "): " + std::strerror(errno);
            ::close(fd);
            return false;
        }
        socklen_t len = sizeof addr;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
        ports_.push_back({p.name, host + ":" + std::to_string(ntohs(addr.sin_port)), fd});
    }
    if (::pipe2(wake_, O_CLOEXEC) != 0) {
        *error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    return true;
}

std::vector<std::pair<std::string, std::string>> FrontPorts::addresses() const {
    std::vector<std::pair<std::string, std::string>> out;
    for (const Port& p : ports_) out.emplace_back(p.printer, p.address);
    return out;
}

void FrontPorts::start() {
    for (Port& p : ports_) threads_.emplace_back([this, &p] { serve(p); });
}

void FrontPorts::stop() {
    if (stopping_.exchange(true)) return;
    if (wake_[1] >= 0) {
        const char c = 0;
        [[maybe_unused]] const ssize_t n = ::write(wake_[1], &c, 1);
    }
    for (auto& t : threads_) t.join();
    threads_.clear();
}

void FrontPorts::serve(Port& port) {
    using Clock = std::chrono::steady_clock;
    struct Client {
        JobSplitter splitter;
        Clock::time_point last;
    };
    std::map<int, Client> clients;
    Worker* worker = workers_.find(port.printer);
    auto hand_over = [&](Client& c) {
        for (std::string& job : c.splitter.jobs) {
            const Intake r = intake_.submit(port.printer, std::nullopt, std::move(job));
            if (r.status >= 300)
                std::fprintf(stderr, "quorvel-spool: front of %s: job refused: %s\n",
                             port.printer.c_str(), r.error.c_str());
        }
        c.splitter.jobs.clear();
    };
    auto drop = [&](int fd) {
        Client& c = clients.at(fd);
        c.splitter.flush();
        hand_over(c);
        ::close(fd);
        clients.erase(fd);
    };
    while (!stopping_) {
        std::vector<pollfd> fds{{wake_[0], POLLIN, 0}, {port.fd, POLLIN, 0}};
        for (const auto& [fd, c] : clients) fds.push_back({fd, POLLIN, 0});
        ::poll(fds.data(), fds.size(), 200);
        if (fds[0].revents) break;
        if (fds[1].revents & POLLIN) {
            const int fd = ::accept4(port.fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0 && clients.size() >= MAX_CONNECTIONS)
                ::close(fd);
            else if (fd >= 0)
                clients.emplace(fd,
                                Client{JobSplitter(config_.limits.max_job_bytes), Clock::now()});
        }
        for (size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents) continue;
            char buf[16384];
            const ssize_t n = ::recv(fds[i].fd, buf, sizeof buf, 0);
            if (n <= 0) {
                drop(fds[i].fd);
                continue;
            }
            Client& c = clients.at(fds[i].fd);
            c.last = Clock::now();
            std::string answers;
            const PrinterStatus s = worker->view().status;
            for (int q : c.splitter.feed(std::string(buf, static_cast<size_t>(n)))) {
                const int raw = q >= 1 && q <= 4 ? s.raw[static_cast<size_t>(q - 1)] : -1;
                answers += static_cast<char>(raw >= 0 ? raw : DEFAULT_STATUS);
            }
            if (!answers.empty()) [[maybe_unused]]
                const ssize_t w = ::send(fds[i].fd, answers.data(), answers.size(), MSG_NOSIGNAL);
            hand_over(c);
        }
        for (auto& [fd, c] : clients)
            if (Clock::now() - c.last >= IDLE_END) {
                c.splitter.flush();
                hand_over(c);
                c.last = Clock::now();
            }
    }
    for (auto& [fd, c] : clients) {
        c.splitter.flush();
        hand_over(c);
        ::close(fd);
    }
}

}  // namespace quorvel::spool

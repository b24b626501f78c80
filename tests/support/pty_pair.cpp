// SPDX-License-Identifier: MIT
#include "pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace quorvel::testing {

PtyPair::PtyPair() {
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    slave_name_ = name;
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
}

void PtyPair::close_master() {
    ::close(master_);
    master_ = -1;
}

PtyPair::~PtyPair() {
    ::close(slave_);
    if (master_ >= 0) ::close(master_);
}

Bytes PtyPair::read_master(std::size_t count, std::chrono::milliseconds timeout) {
    Bytes arrived;
    const auto deadline = Clock::now() + timeout;
    while (arrived.size() < count) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        pollfd readable{master_, POLLIN, 0};
        if (::poll(&readable, 1, static_cast<int>(left.count())) <= 0) continue;
        std::uint8_t buffer[4096];
        ssize_t got = ::read(master_, buffer, std::min(sizeof buffer, count - arrived.size()));
        if (got > 0) {
            arrived.insert(arrived.end(), buffer, buffer + got);
        } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
            break;  // EIO: no slave descriptor left
        }
    }
    return arrived;
}

Bytes PtyPair::read_master_for(std::chrono::milliseconds quiet_for) {
    return read_master(static_cast<std::size_t>(-1) / 2, quiet_for);
}

bool PtyPair::write_master(const Bytes& bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        ssize_t count = ::write(master_, bytes.data() + written, bytes.size() - written);
        if (count > 0) {
            written += static_cast<std::size_t>(count);
        } else if (count < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else {
            pollfd writable{master_, POLLOUT, 0};
            if (::poll(&writable, 1, 3000) <= 0) return false;
        }
    }
    return true;
}

std::future<Bytes> PtyPair::answer_once(std::size_t query_length, Bytes reply) {
    return std::async(std::launch::async, [this, query_length, reply] {
        Bytes query = read_master(query_length);
        if (query.size() == query_length) write_master(reply);
        return query;
    });
}

termios PtyPair::slave_settings() const {
    termios settings{};
    if (::tcgetattr(slave_, &settings) != 0) throw std::runtime_error("tcgetattr failed");
    return settings;
}

}  // namespace quorvel::testing

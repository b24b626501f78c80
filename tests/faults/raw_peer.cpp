// SPDX-License-Identifier: MIT
#include "raw_peer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>

namespace quorvel::testing {

RawListener::RawListener(int backlog, int receive_buffer) {
    for (int attempt = 0; attempt < 8 && listener_ < 0; ++attempt) {
        address_ = unique_loopback_address("raw" + std::to_string(attempt));
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (receive_buffer > 0)
            ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(9100);
        ::inet_pton(AF_INET, address_.c_str(), &local.sin_addr);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
            ::listen(fd, backlog) == 0)
            listener_ = fd;
        else
            ::close(fd);
    }
    if (listener_ < 0) throw std::runtime_error("cannot listen on " + address_ + ":9100");
}

RawListener::~RawListener() {
    ::close(listener_);
}

int RawListener::accept_one(std::chrono::milliseconds timeout) {
    pollfd waiting{listener_, POLLIN, 0};
    if (::poll(&waiting, 1, static_cast<int>(timeout.count())) <= 0) return -1;
    return ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
}

long read_some(int fd, std::uint8_t* buffer, std::size_t length,
               std::chrono::milliseconds timeout) {
    pollfd readable{fd, POLLIN, 0};
    if (::poll(&readable, 1, static_cast<int>(timeout.count())) <= 0) return 0;
    return ::read(fd, buffer, length);
}

void reset_connection(int fd) {
    linger hard{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    ::close(fd);
}

int start_connect(const std::string& address) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(9100);
    ::inet_pton(AF_INET, address.c_str(), &remote.sin_addr);
    ::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote);
    return fd;
}

Pty::Pty() {
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    slave_name_ = name;
    termios raw{};
    ::tcgetattr(slave_, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave_, TCSANOW, &raw);
}

Pty::~Pty() {
    close_master();
    close_slave();
}

void Pty::close_master() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

void Pty::close_slave() {
    if (slave_ >= 0) ::close(slave_);
    slave_ = -1;
}

}  // namespace quorvel::testing

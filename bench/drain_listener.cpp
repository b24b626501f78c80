// SPDX-License-Identifier: MIT
#include "drain_listener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace quorvel::bench {

DrainListener::DrainListener() {
    // A loopback address of its own, so parallel runs never meet.
    unsigned pid = static_cast<unsigned>(::getpid());
    for (unsigned attempt = 0; attempt < 8 && listener_ < 0; ++attempt) {
        unsigned key = pid * 2654435761u + attempt * 40503u;
        address_ = "127.201." + std::to_string((key >> 8) & 0xFF) + "." +
                   std::to_string(2 + (key & 0xFF) % 252);
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(9100);
        ::inet_pton(AF_INET, address_.c_str(), &local.sin_addr);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
            ::listen(fd, 16) == 0)
            listener_ = fd;
        else
            ::close(fd);
    }
    if (listener_ < 0) throw std::runtime_error("cannot listen on " + address_ + ":9100");
    thread_ = std::thread([this] { serve(); });
}

DrainListener::~DrainListener() {
    stopping_ = true;
    thread_.join();
    ::close(listener_);
}

std::vector<std::uint8_t> DrainListener::capture(void (*produce)()) {
    {
        std::lock_guard lock(captured_mutex_);
        captured_.clear();
    }
    capturing_ = true;
    produce();
    std::size_t seen = 0;
    for (int quiet = 0; quiet < 5;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::lock_guard lock(captured_mutex_);
        quiet = captured_.size() == seen && seen > 0 ? quiet + 1 : 0;
        seen = captured_.size();
    }
    capturing_ = false;
    std::lock_guard lock(captured_mutex_);
    return captured_;
}

int DrainListener::connect_client() const {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(9100);
    ::inet_pton(AF_INET, address_.c_str(), &remote.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0)
        throw std::runtime_error("cannot connect to " + address_);
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
}

void DrainListener::serve() {
    std::vector<pollfd> watched{{listener_, POLLIN, 0}};
    std::vector<std::uint32_t> tails{0};  // per connection: its last three bytes
    // Each listener its own buffer: several listeners at once never share one.
    std::vector<std::uint8_t> storage(1 << 18);
    std::uint8_t* buffer = storage.data();
    const std::size_t buffer_size = storage.size();
    while (!stopping_) {
        if (::poll(watched.data(), watched.size(), 20) <= 0) continue;
        for (std::size_t i = 1; i < watched.size(); ++i) {
            if (watched[i].revents == 0) continue;
            ssize_t count = ::recv(watched[i].fd, buffer, buffer_size, 0);
            if (count <= 0) {
                ::close(watched[i].fd);
                watched[i].fd = -1;  // poll skips it from now on
                continue;
            }
            if (capturing_) {
                std::lock_guard lock(captured_mutex_);
                captured_.insert(captured_.end(), buffer, buffer + count);
            }
            // A status query (DLE EOT 1) ends what a waiting client sent; it
            // may arrive split across two reads, so the last bytes carry over.
            std::uint32_t& last = tails[i];
            for (ssize_t k = count > 3 ? count - 3 : 0; k < count; ++k)
                last = (last << 8 | buffer[k]) & 0xffffff;
            if (last == 0x100401) {
                const std::uint8_t ready = 0x12;
                ::send(watched[i].fd, &ready, 1, MSG_NOSIGNAL);
            }
        }
        if (watched[0].revents & POLLIN) {
            int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                watched.push_back({client, POLLIN, 0});
                tails.push_back(0);
            }
        }
    }
    for (std::size_t i = 1; i < watched.size(); ++i)
        if (watched[i].fd >= 0) ::close(watched[i].fd);
}

}  // namespace quorvel::bench

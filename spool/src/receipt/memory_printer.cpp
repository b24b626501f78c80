// SPDX-License-Identifier: MIT
#include "memory_printer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quorvel::spool {

MemoryPrinter::MemoryPrinter(int model, std::string* error) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listener_, 1) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        *error = "cannot open a loopback socket to build the receipt";
        return;
    }
    // The kernel completes the connection from the backlog: open, then accept.
    handle_ = quorvel_printer_open_tcp("127.0.0.1", ntohs(a.sin_port), model);
    if (!handle_) {
        char why[QUORVEL_ERROR_MESSAGE_SIZE] = {};
        quorvel_last_error(why, sizeof why);
        *error = std::string("cannot open the library's handle to build the receipt: ") + why;
        return;
    }
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, 5000) != 1 ||
        (peer_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC)) < 0) {
        *error = "the library's handle did not connect to the receipt builder";
        quorvel_printer_close(handle_);
        handle_ = nullptr;
        return;
    }
    // A thread drains the socket so that a large image never blocks the library.
    reader_ = std::thread([this] {
        char buf[65536];
        for (;;) {
            const ssize_t n = ::recv(peer_, buf, sizeof buf, 0);
            if (n <= 0) break;
            std::lock_guard lock(mu_);
            bytes_.append(buf, static_cast<size_t>(n));
        }
    });
}

size_t MemoryPrinter::size() {
    std::lock_guard lock(mu_);
    return bytes_.size();
}

std::string MemoryPrinter::finish() {
    if (handle_) quorvel_printer_close(handle_);
    handle_ = nullptr;
    if (reader_.joinable()) reader_.join();  // the close ends the stream
    std::lock_guard lock(mu_);
    return std::move(bytes_);
}

MemoryPrinter::~MemoryPrinter() {
    finish();
    if (peer_ >= 0) ::close(peer_);
    if (listener_ >= 0) ::close(listener_);
}

}  // namespace quorvel::spool

// SPDX-License-Identifier: MIT
#include "service_notify.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace quorvel::printer {
namespace {

bool notify(const std::string& message) {
    const char* path = std::getenv("NOTIFY_SOCKET");
    if (path == nullptr || path[0] == '\0') return true;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t length = std::strlen(path);
    // A path, or an abstract name written with a leading '@'.
    if ((path[0] != '/' && path[0] != '@') || length >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path, length);
    if (address.sun_path[0] == '@') address.sun_path[0] = '\0';
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const auto sent = ::sendto(fd, message.data(), message.size(), MSG_NOSIGNAL,
                               reinterpret_cast<const sockaddr*>(&address),
                               static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length));
    ::close(fd);
    return sent == static_cast<ssize_t>(message.size());
}

}  // namespace

bool notify_ready(const std::string& status) {
    return notify("READY=1\nSTATUS=" + status + "\nMAINPID=" + std::to_string(::getpid()) + "\n");
}

void notify_stopping() {
    notify("STOPPING=1\n");
}

}  // namespace quorvel::printer

// SPDX-License-Identifier: MIT
#include "links/readiness.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace quorvel::printer {

bool notify_systemd(const std::string& status) {
    const char* where = std::getenv("NOTIFY_SOCKET");
    if (!where || (where[0] != '/' && where[0] != '@')) return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const size_t n = std::strlen(where);
    if (n >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, where, n);
    if (where[0] == '@') addr.sun_path[0] = '\0';  // abstract namespace
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const std::string message =
        "READY=1\nSTATUS=" + status + "\nMAINPID=" + std::to_string(getpid());
    const ssize_t sent = ::sendto(fd, message.data(), message.size(), MSG_NOSIGNAL,
                                  reinterpret_cast<sockaddr*>(&addr),
                                  static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + n));
    ::close(fd);
    return sent == static_cast<ssize_t>(message.size());
}

bool announce_ready(const std::string& path, const ReadyInfo& info, std::string* error) {
    std::string text, status;
    for (const auto& [key, value] : info) {
        text += key + "=" + value + "\n";
        if (key != "token") status += (status.empty() ? "" : ", ") + key + " " + value;
    }
    if (!path.empty()) {
        // Private: it may hold the web token.
        const std::string tmp = path + ".tmp";
        const mode_t old = umask(077);
        std::FILE* f = std::fopen(tmp.c_str(), "w");
        umask(old);
        const bool ok = f && std::fwrite(text.data(), 1, text.size(), f) == text.size();
        if (f && std::fclose(f) != 0) f = nullptr;
        if (!ok || !f || std::rename(tmp.c_str(), path.c_str()) != 0) {
            if (error) *error = "cannot write the ready file " + path + ": " + std::strerror(errno);
            std::remove(tmp.c_str());
            return false;
        }
    }
    notify_systemd("listening: " + status);
    return true;
}

}  // namespace quorvel::printer

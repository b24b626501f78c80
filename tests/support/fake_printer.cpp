// SPDX-License-Identifier: MIT
#include "fake_printer.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <stdexcept>

namespace quorvel::testing {
namespace {

// The few socket calls that differ between POSIX and Winsock.
#ifdef _WIN32
using NativeSocket = SOCKET;
constexpr int no_sigpipe = 0;  // Winsock raises no signal on a broken connection

NativeSocket native(std::intptr_t s) { return static_cast<NativeSocket>(s); }
std::intptr_t open_stream_socket(int family = AF_INET) {
    // Winsock needs one start-up reference per process; it is kept until exit,
    // so the library's own start-up and release never touch the listener.
    static const bool started = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started) return -1;
    SOCKET s = ::socket(family, SOCK_STREAM, 0);
    return s == INVALID_SOCKET ? -1 : static_cast<std::intptr_t>(s);
}
std::intptr_t accept_client(std::intptr_t listener) {
    SOCKET s = ::accept(native(listener), nullptr, nullptr);
    return s == INVALID_SOCKET ? -1 : static_cast<std::intptr_t>(s);
}
void close_socket(std::intptr_t s) { ::closesocket(native(s)); }
int poll_readable(std::intptr_t s, int timeout_ms) {
    WSAPOLLFD entry{native(s), POLLRDNORM, 0};
    return ::WSAPoll(&entry, 1, timeout_ms);
}
unsigned process_id() { return static_cast<unsigned>(::GetCurrentProcessId()); }
#else
using NativeSocket = int;
constexpr int no_sigpipe = MSG_NOSIGNAL;

NativeSocket native(std::intptr_t s) { return static_cast<NativeSocket>(s); }
std::intptr_t open_stream_socket(int family = AF_INET) {
    return ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
}
std::intptr_t accept_client(std::intptr_t listener) {
    return ::accept4(native(listener), nullptr, nullptr, SOCK_CLOEXEC);
}
void close_socket(std::intptr_t s) { ::close(native(s)); }
int poll_readable(std::intptr_t s, int timeout_ms) {
    pollfd entry{native(s), POLLIN, 0};
    return ::poll(&entry, 1, timeout_ms);
}
unsigned process_id() { return static_cast<unsigned>(::getpid()); }
#endif

// address:port as a socket address of its family; false when address is no literal.
bool socket_address(const std::string& address, std::uint16_t port, sockaddr_storage& out,
                    int& size) {
    out = sockaddr_storage{};
    if (address.find(':') != std::string::npos) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&out);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        size = sizeof(sockaddr_in6);
        return ::inet_pton(AF_INET6, address.c_str(), &in6->sin6_addr) == 1;
    }
    auto* in4 = reinterpret_cast<sockaddr_in*>(&out);
    in4->sin_family = AF_INET;
    in4->sin_port = htons(port);
    size = sizeof(sockaddr_in);
    return ::inet_pton(AF_INET, address.c_str(), &in4->sin_addr) == 1;
}

// A bound, listening socket at address:port, or -1.
std::intptr_t listen_at(const std::string& address, std::uint16_t port, int backlog) {
    sockaddr_storage local;
    int size = 0;
    if (!socket_address(address, port, local, size)) return -1;
    std::intptr_t s = open_stream_socket(local.ss_family);
    if (s < 0) return -1;
    int on = 1;
    ::setsockopt(native(s), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on);
    if (::bind(native(s), reinterpret_cast<sockaddr*>(&local), size) == 0 &&
        ::listen(native(s), backlog) == 0)
        return s;
    close_socket(s);
    return -1;
}

int send_bytes(std::intptr_t s, const Bytes& bytes) {
    return static_cast<int>(::send(native(s), reinterpret_cast<const char*>(bytes.data()),
                                   static_cast<int>(bytes.size()), no_sigpipe));
}

}  // namespace

std::string unique_loopback_address(const std::string& salt) {
    std::string name = salt;
    if (auto* info = ::testing::UnitTest::GetInstance()->current_test_info())
        name += std::string(info->test_suite_name()) + "." + info->name();
    std::uint32_t hash = 2166136261u;  // FNV-1a
    for (unsigned char c : name) hash = (hash ^ c) * 16777619u;
    hash ^= static_cast<std::uint32_t>(process_id()) * 2654435761u;
    unsigned a = 1 + (hash >> 24) % 254, b = (hash >> 12) & 0xFF, c = 2 + (hash & 0xFFF) % 252;
    return "127." + std::to_string(a) + "." + std::to_string(b) + "." + std::to_string(c);
}

FakePrinter::FakePrinter(Behaviour behaviour, std::string address, std::uint16_t port)
    : port_(port), behaviour_(behaviour) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        address_ = address.empty() ? unique_loopback_address(std::to_string(attempt)) : address;
        listener_ = listen_at(address_, port_, 4);
        if (listener_ >= 0 || !address.empty()) break;
    }
    if (listener_ < 0)
        throw std::runtime_error("cannot listen on " + address_ + " port " + std::to_string(port_));
    thread_ = std::thread([this] { serve(); });
}

FakePrinter::~FakePrinter() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    if (client_ >= 0) close_socket(client_);
    close_socket(listener_);
}

void FakePrinter::set_responder(Responder responder) {
    std::lock_guard lock(mutex_);
    responder_ = std::move(responder);
}

void FakePrinter::answer_with(Bytes reply) {
    set_responder([reply](const Bytes& chunk) {
        for (std::size_t i = 0; i + 2 < chunk.size(); ++i) {
            bool dle_eot = chunk[i] == 0x10 && chunk[i + 1] == 0x04;
            bool esc_v = chunk[i] == 0x1B && chunk[i + 1] == 0x76;
            bool gs_r = chunk[i] == 0x1D && chunk[i + 1] == 0x72;
            if (dle_eot || esc_v || gs_r) return reply;
        }
        return Bytes{};
    });
}

void FakePrinter::serve() {
    while (!stopping_) {
        if (poll_readable(listener_, 20) <= 0) continue;
        std::intptr_t client = accept_client(listener_);
        if (client < 0) continue;
        {
            std::lock_guard lock(mutex_);
            if (client_ >= 0) close_socket(client_);
            client_ = client;
            ++connections_;
            disconnected_ = false;
        }
        changed_.notify_all();
        auto reset = [&] {
            linger hard{1, 0};
            ::setsockopt(native(client), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard),
                         sizeof hard);
            std::lock_guard lock(mutex_);
            close_socket(client);
            client_ = -1;
            disconnected_ = true;
        };
        if (behaviour_ == Behaviour::close_at_once) {
            std::lock_guard lock(mutex_);
            close_socket(client);
            client_ = -1;
            disconnected_ = true;
            continue;
        }
        if (behaviour_ == Behaviour::reset_at_once) {
            reset();
            continue;
        }
        if (behaviour_ == Behaviour::never_read) {
            while (!stopping_) std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        while (!stopping_) {
            if (drop_.exchange(false)) {
                reset();
                break;
            }
            if (std::chrono::steady_clock::now().time_since_epoch().count() < paused_until_) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            if (poll_readable(client, 20) <= 0) continue;
            std::uint8_t buffer[65536];
            auto count = ::recv(native(client), reinterpret_cast<char*>(buffer), sizeof buffer, 0);
            if (count <= 0) {
                std::lock_guard lock(mutex_);
                disconnected_ = true;
                break;
            }
            if (behaviour_ == Behaviour::reset_on_data) {
                reset();
                break;
            }
            Bytes chunk(buffer, buffer + count);
            Responder responder;
            {
                std::lock_guard lock(mutex_);
                received_.insert(received_.end(), chunk.begin(), chunk.end());
                responder = responder_;
            }
            changed_.notify_all();
            if (responder) {
                Bytes reply = responder(chunk);
                if (!reply.empty()) send_bytes(client, reply);
            }
        }
        changed_.notify_all();
    }
}

Bytes FakePrinter::wait_for_bytes(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return received_.size() >= count; });
    return received_;
}

void FakePrinter::pause_reading(std::chrono::milliseconds duration) {
    paused_until_ = (std::chrono::steady_clock::now() + duration).time_since_epoch().count();
}

void FakePrinter::drop_connection() {
    drop_ = true;
    wait_for_disconnect();
}

Bytes FakePrinter::received() {
    std::lock_guard lock(mutex_);
    return received_;
}

int FakePrinter::connections() {
    std::lock_guard lock(mutex_);
    return connections_;
}

bool FakePrinter::wait_for_disconnect(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return disconnected_; });
}

void FakePrinter::send_unsolicited(const Bytes& bytes) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(3), [&] { return client_ >= 0; });
    if (client_ >= 0) send_bytes(client_, bytes);
}

FullBacklogListener::FullBacklogListener(std::string address, std::uint16_t port) {
    address_ = address.empty() ? unique_loopback_address("backlog") : address;
    listener_ = listen_at(address_, port, 0);
    if (listener_ < 0) throw std::runtime_error("cannot listen on " + address_);
    sockaddr_storage remote;
    int size = 0;
    socket_address(address_, port, remote, size);
    // Connect until one attempt stays unanswered: the queue is then full (Linux
    // takes backlog + 1 connections into a queue of backlog 0).
    for (int i = 0; i < 8; ++i) {
        std::intptr_t s = open_stream_socket(remote.ss_family);
#ifdef _WIN32
        u_long non_blocking = 1;
        ::ioctlsocket(native(s), FIONBIO, &non_blocking);
#else
        ::fcntl(native(s), F_SETFL, O_NONBLOCK);
#endif
        ::connect(native(s), reinterpret_cast<sockaddr*>(&remote), size);
        fillers_.push_back(s);
#ifdef _WIN32
        WSAPOLLFD entry{native(s), POLLWRNORM, 0};
        const bool answered = ::WSAPoll(&entry, 1, 300) > 0;
#else
        pollfd entry{native(s), POLLOUT, 0};
        const bool answered = ::poll(&entry, 1, 300) > 0;
#endif
        if (!answered) break;
    }
}

FullBacklogListener::~FullBacklogListener() {
    for (std::intptr_t s : fillers_) close_socket(s);
    close_socket(listener_);
}

std::string hex(const Bytes& bytes) {
    std::string out;
    char digits[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(digits, sizeof digits, out.empty() ? "%02X" : " %02X", b);
        out += digits;
    }
    return out;
}

Bytes bytes_of(std::initializer_list<int> values) {
    Bytes out;
    for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

Bytes bytes_of(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes concat_bytes(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

}  // namespace quorvel::testing

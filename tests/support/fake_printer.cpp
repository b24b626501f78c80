#include "fake_printer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

namespace quorvel::testing {

std::string unique_loopback_address(const std::string& salt) {
    std::string name = salt;
    if (auto* info = ::testing::UnitTest::GetInstance()->current_test_info())
        name += std::string(info->test_suite_name()) + "." + info->name();
    std::uint32_t hash = 2166136261u;  // FNV-1a
    for (unsigned char c : name) hash = (hash ^ c) * 16777619u;
    hash ^= static_cast<std::uint32_t>(::getpid()) * 2654435761u;
    unsigned a = 1 + (hash >> 24) % 254, b = (hash >> 12) & 0xFF, c = 2 + (hash & 0xFFF) % 252;
    return "127." + std::to_string(a) + "." + std::to_string(b) + "." + std::to_string(c);
}

FakePrinter::FakePrinter(Behaviour behaviour, std::string address)
    : behaviour_(behaviour) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        address_ = address.empty() ? unique_loopback_address(std::to_string(attempt)) : address;
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int on = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(9100);
        ::inet_pton(AF_INET, address_.c_str(), &local.sin_addr);
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
            ::listen(listener_, 4) == 0)
            break;
        ::close(listener_);
        listener_ = -1;
        if (!address.empty()) break;
    }
    if (listener_ < 0) throw std::runtime_error("cannot listen on " + address_ + ":9100");
    thread_ = std::thread([this] { serve(); });
}

FakePrinter::~FakePrinter() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    if (client_ >= 0) ::close(client_);
    ::close(listener_);
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
        pollfd waiting{listener_, POLLIN, 0};
        if (::poll(&waiting, 1, 20) <= 0) continue;
        int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        {
            std::lock_guard lock(mutex_);
            if (client_ >= 0) ::close(client_);
            client_ = client;
            ++connections_;
            disconnected_ = false;
        }
        changed_.notify_all();
        auto reset = [&] {
            linger hard{1, 0};
            ::setsockopt(client, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
            std::lock_guard lock(mutex_);
            ::close(client);
            client_ = -1;
            disconnected_ = true;
        };
        if (behaviour_ == Behaviour::close_at_once) {
            std::lock_guard lock(mutex_);
            ::close(client);
            client_ = -1;
            disconnected_ = true;
            continue;
        }
        if (behaviour_ == Behaviour::reset_at_once) {
            reset();
            continue;
        }
        if (behaviour_ == Behaviour::never_read) {
            while (!stopping_) ::usleep(20000);
            continue;
        }
        while (!stopping_) {
            pollfd readable{client, POLLIN, 0};
            if (::poll(&readable, 1, 20) <= 0) continue;
            std::uint8_t buffer[65536];
            ssize_t count = ::recv(client, buffer, sizeof buffer, 0);
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
                if (!reply.empty()) ::send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
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
    if (client_ >= 0) ::send(client_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
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

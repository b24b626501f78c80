// SPDX-License-Identifier: MIT
#include <mutex>

#include "link/platform.h"
#include "recording_link.h"

namespace quorvel::testing::recording {
namespace {
std::mutex guard;
std::vector<Bytes> recorded;
Bytes pending_reply;
Bytes reply_after_write;  // becomes pending_reply at the next write
}  // namespace

std::vector<Bytes> writes() {
    std::lock_guard lock(guard);
    return recorded;
}

void clear() {
    std::lock_guard lock(guard);
    recorded.clear();
}

void queue_reply(const Bytes& reply) {
    std::lock_guard lock(guard);
    pending_reply = reply;
}

void queue_reply_after_write(const Bytes& reply) {
    std::lock_guard lock(guard);
    reply_after_write = reply;
}

namespace {
std::ptrdiff_t record(const std::uint8_t* data, std::size_t length) {
    std::lock_guard lock(guard);
    recorded.emplace_back(data, data + length);
    if (!reply_after_write.empty()) pending_reply = std::move(reply_after_write);
    reply_after_write.clear();
    return static_cast<std::ptrdiff_t>(length);
}

std::ptrdiff_t take_reply(std::uint8_t* data, std::size_t length) {
    std::lock_guard lock(guard);
    std::size_t count = std::min(length, pending_reply.size());
    std::copy_n(pending_reply.begin(), count, data);
    pending_reply.erase(pending_reply.begin(), pending_reply.begin() + static_cast<long>(count));
    return static_cast<std::ptrdiff_t>(count);
}
}  // namespace

}  // namespace quorvel::testing::recording

namespace quorvel::platform {
using testing::recording::record;
using testing::recording::take_reply;

Failure last_failure() {
    return {};
}
void describe_system_error(int, char* text, std::size_t size) {
    if (size > 0) text[0] = '\0';
}
bool parse_ipv6(const char*, IpAddress&) {
    return false;
}
bool net_startup() {
    return true;
}
void net_cleanup() {}
SocketHandle tcp_socket(bool) {
    return 3;
}
bool tcp_connect(SocketHandle, const IpAddress&, std::uint16_t, int) {
    return true;
}
std::ptrdiff_t tcp_send(SocketHandle, const std::uint8_t* data, std::size_t length) {
    return record(data, length);
}
std::ptrdiff_t tcp_recv(SocketHandle, std::uint8_t* data, std::size_t length) {
    std::ptrdiff_t count = take_reply(data, length);
    return count > 0 ? count : would_block;
}
Wait tcp_wait_writable(SocketHandle, int) {
    return Wait::ready;
}
Wait tcp_wait_readable(SocketHandle, int) {
    return Wait::ready;
}
void tcp_close(SocketHandle) {}

PortHandle port_open(const char*) {
    return 4;
}
bool port_speed_supported(std::uint32_t) {
    return true;
}
bool port_configure(PortHandle, std::uint32_t) {
    return true;
}
void port_drop_modem_lines(PortHandle) {}
std::ptrdiff_t port_write(PortHandle, const std::uint8_t* data, std::size_t length) {
    return record(data, length);
}
std::ptrdiff_t port_read(PortHandle, std::uint8_t* data, std::size_t length) {
    return take_reply(data, length);
}
std::ptrdiff_t port_read_within(PortHandle, std::uint8_t* data, std::size_t length,
                                int timeout_ms) {
    // A look at what is already there (no wait) comes before the query that
    // the scripted reply answers: nothing yet.
    if (timeout_ms == 0) return 0;
    return take_reply(data, length);
}
void port_discard_input(PortHandle) {}
bool port_close(PortHandle) {
    return true;
}

// Printer devices open like ports; queue jobs are recorded as one write each.
PortHandle device_open(const char*) {
    return 5;
}
void device_group(const char*, char* text, std::size_t size) {
    if (size > 0) text[0] = '\0';
}
int device_port_status(PortHandle) {
    return -1;
}
QueueHandle queue_open(const char*, QueueResult&) {
    return 6;
}
bool queue_send(QueueHandle, const std::uint8_t* data, std::size_t length, QueueResult&) {
    return record(data, length) >= 0;
}
void queue_close(QueueHandle) {}

void lock_library() {}
void unlock_library() {}
void lock_printer(std::size_t) {}
bool try_lock_printer(std::size_t) {
    return true;
}
void unlock_printer(std::size_t) {}
void write_error(const char*) {}

}  // namespace quorvel::platform

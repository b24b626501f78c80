// SPDX-License-Identifier: MIT
// A platform layer whose writes cost nothing: every send is accepted whole at
// once and goes nowhere. Linked under the library's own code, it leaves the
// exported calls running in full (lock, checks, building) but without the
// operating system's part.
#include <pthread.h>

#include <mutex>

#include "link/platform.h"

namespace quorvel::platform {

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
std::ptrdiff_t tcp_send(SocketHandle, const std::uint8_t*, std::size_t length) {
    return static_cast<std::ptrdiff_t>(length);
}
std::ptrdiff_t tcp_recv(SocketHandle, std::uint8_t*, std::size_t) {
    return would_block;
}
Wait tcp_wait_writable(SocketHandle, int) {
    return Wait::ready;
}
Wait tcp_wait_readable(SocketHandle, int) {
    return Wait::timed_out;
}
void tcp_close(SocketHandle) {}

PortHandle port_open(const char*) {
    return invalid_handle;
}
bool port_speed_supported(std::uint32_t) {
    return false;
}
bool port_configure(PortHandle, std::uint32_t) {
    return false;
}
void port_drop_modem_lines(PortHandle) {}
std::ptrdiff_t port_write(PortHandle, const std::uint8_t*, std::size_t) {
    return -1;
}
std::ptrdiff_t port_read(PortHandle, std::uint8_t*, std::size_t) {
    return -1;
}
std::ptrdiff_t port_read_within(PortHandle, std::uint8_t*, std::size_t, int) {
    return -1;
}
void port_discard_input(PortHandle) {}
bool port_close(PortHandle) {
    return true;
}

// The real lock, uncontended: it is part of every call's cost.
namespace {
pthread_mutex_t library_lock = PTHREAD_MUTEX_INITIALIZER;
}
PortHandle device_open(const char*) { return invalid_handle; }
void device_group(const char*, char* text, std::size_t size) {
    if (size > 0) text[0] = '\0';
}
int device_port_status(PortHandle) { return -1; }
QueueHandle queue_open(const char*, QueueResult&) { return invalid_handle; }
bool queue_send(QueueHandle, const std::uint8_t*, std::size_t, QueueResult&) { return false; }
void queue_close(QueueHandle) {}

void lock_library() {
    ::pthread_mutex_lock(&library_lock);
}
void unlock_library() {
    ::pthread_mutex_unlock(&library_lock);
}

namespace {
std::mutex printer_locks[printer_slots];
}
void lock_printer(std::size_t slot) {
    printer_locks[slot].lock();
}
bool try_lock_printer(std::size_t slot) {
    return printer_locks[slot].try_lock();
}
void unlock_printer(std::size_t slot) {
    printer_locks[slot].unlock();
}

void write_error(const char*) {}

}  // namespace quorvel::platform

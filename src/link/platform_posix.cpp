// SPDX-License-Identifier: MIT
// POSIX implementation of the platform layer: BSD sockets and termios.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <grp.h>
#include <linux/lp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "link/platform.h"

namespace quorvel::platform {
namespace {

constexpr int port_read_timeout_ms = 2000;
constexpr int port_write_timeout_base_ms = 1000;

int fd_of(std::intptr_t handle) { return static_cast<int>(handle); }

// Calls on different printers run at once: one record per thread.
constinit thread_local Failure failure;

// Records why a call failed; returns false so failure paths can end with it.
bool note(Fault fault, int code) {
    failure = Failure{fault, code};
    return false;
}

Fault fault_of_errno(int code) {
    switch (code) {
        case ECONNREFUSED: return Fault::refused;
        case ETIMEDOUT: return Fault::timed_out;
        case ENETUNREACH:
        case EHOSTUNREACH:
        case EADDRNOTAVAIL:
        case EAFNOSUPPORT:
        case EINVAL: return Fault::unreachable;
        case ENOENT:
        case ENODEV:
        case ENXIO: return Fault::not_found;
        case EACCES:
        case EPERM: return Fault::access_denied;
        case EBUSY:
        case EWOULDBLOCK: return Fault::busy;
        case ENOTTY: return Fault::not_serial;
        case EPIPE:
        case ECONNRESET:
        case ECONNABORTED:
        case EIO: return Fault::closed;
        default: return Fault::other;
    }
}

bool note_errno(int code) { return note(fault_of_errno(code), code); }

Wait wait_for(int fd, short events, int timeout_ms) {
    pollfd entry{fd, events, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        deadline - std::chrono::steady_clock::now())
                                        .count());
        int result = ::poll(&entry, 1, left > 0 ? left : 0);
        if (result > 0) return Wait::ready;  // errors and hang-ups show up in the next call
        if (result == 0) return Wait::timed_out;
        if (errno != EINTR) return Wait::failed;
    }
}

}  // namespace

Failure last_failure() { return failure; }

void describe_system_error(int code, char* text, std::size_t size) {
    if (size == 0) return;
    // The English text, untranslated: strerror_r would look up a translation
    // (and allocate on its first use) in whatever locale the host has set.
    const char* found = ::strerrordesc_np(code);
    if (found == nullptr) found = "unknown system error";
    std::size_t length = std::strlen(found);
    if (length >= size) length = size - 1;
    std::memcpy(text, found, length);
    text[length] = '\0';
}

bool parse_ipv6(const char* text, IpAddress& address) {
    address.v6 = true;
    return ::inet_pton(AF_INET6, text, address.bytes) == 1;
}

// POSIX sockets need no library start-up.
bool net_startup() { return true; }
void net_cleanup() {}

SocketHandle tcp_socket(bool v6) {
    int fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK,
                      IPPROTO_TCP);
    if (fd < 0) note(Fault::other, errno);
    return fd < 0 ? invalid_handle : fd;
}

bool tcp_connect(SocketHandle socket, const IpAddress& address, std::uint16_t port,
                 int timeout_ms) {
    sockaddr_storage remote{};
    socklen_t remote_size = 0;
    if (address.v6) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&remote);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        std::memcpy(&in6->sin6_addr, address.bytes, 16);
        in6->sin6_scope_id = address.scope;
        remote_size = sizeof(sockaddr_in6);
    } else {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&remote);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(port);
        std::memcpy(&in4->sin_addr, address.bytes, 4);
        remote_size = sizeof(sockaddr_in);
    }
    int fd = fd_of(socket);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&remote), remote_size) == 0) return true;
    if (errno != EINPROGRESS && errno != EINTR) return note_errno(errno);
    switch (wait_for(fd, POLLOUT, timeout_ms)) {
        case Wait::ready: break;
        case Wait::timed_out: return note(Fault::timed_out, ETIMEDOUT);
        case Wait::failed: return note_errno(errno);
    }
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return note_errno(errno);
    if (error != 0) return note_errno(error);
    int on = 1;  // commands are small and whole: send them at once
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return true;
}

std::ptrdiff_t tcp_send(SocketHandle socket, const std::uint8_t* data, std::size_t length) {
    for (;;) {
        ssize_t count = ::send(fd_of(socket), data, length, MSG_NOSIGNAL);
        if (count >= 0) return count;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        note_errno(errno);
        return -1;
    }
}

std::ptrdiff_t tcp_recv(SocketHandle socket, std::uint8_t* data, std::size_t length) {
    for (;;) {
        ssize_t count = ::recv(fd_of(socket), data, length, 0);
        if (count >= 0) return count;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return would_block;
        note_errno(errno);
        return -1;
    }
}

Wait tcp_wait_writable(SocketHandle socket, int timeout_ms) {
    return wait_for(fd_of(socket), POLLOUT, timeout_ms);
}

Wait tcp_wait_readable(SocketHandle socket, int timeout_ms) {
    return wait_for(fd_of(socket), POLLIN, timeout_ms);
}

void tcp_close(SocketHandle socket) { ::close(fd_of(socket)); }

PortHandle port_open(const char* name) {
    // O_NONBLOCK: a modem port without carrier must not hold the open; O_NOCTTY:
    // the port never becomes the host's controlling terminal.
    int fd = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        note_errno(errno);  // EBUSY: a terminal held exclusively by another opener
        return invalid_handle;
    }
    // TIOCEXCL keeps other openers out, but root bypasses it: also hold an advisory
    // lock, and treat a terminal someone else already holds exclusively as taken.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        note(errno == EWOULDBLOCK ? Fault::busy : fault_of_errno(errno), errno);
        ::close(fd);
        return invalid_handle;
    }
    if (::isatty(fd)) {
        int held_elsewhere = 0;
        if (::ioctl(fd, TIOCGEXCL, &held_elsewhere) == 0 && held_elsewhere != 0) {
            note(Fault::busy, EBUSY);
            ::close(fd);
            return invalid_handle;
        }
        ::ioctl(fd, TIOCEXCL);
    }
    return fd;
}

PortHandle device_open(const char* path) {
    // O_NONBLOCK: writes and reads wait in poll, within their own time-outs.
    int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        note_errno(errno);  // EBUSY: the parallel-port driver admits one opener
        return invalid_handle;
    }
    // The USB printer driver admits several openers: the advisory lock keeps
    // two programs from mixing their receipts.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        note(errno == EWOULDBLOCK ? Fault::busy : fault_of_errno(errno), errno);
        ::close(fd);
        return invalid_handle;
    }
    return fd;
}

void device_group(const char* path, char* text, std::size_t size) {
    struct stat info {};
    if (size == 0) return;
    text[0] = '\0';
    if (::stat(path, &info) != 0) return;
    const group* entry = ::getgrgid(info.st_gid);
    if (entry != nullptr)
        std::snprintf(text, size, "%s", entry->gr_name);
    else
        std::snprintf(text, size, "%u", static_cast<unsigned>(info.st_gid));
}

int device_port_status(PortHandle device) {
    int status = 0;
    if (::ioctl(fd_of(device), LPGETSTATUS, &status) != 0) return -1;  // ENOTTY, EINVAL: not lp
    return status & 0xFF;
}

namespace {

constexpr tcflag_t raw_input_clear = IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                     IUCLC | IXON | IXOFF | IXANY | INPCK | IMAXBEL;
constexpr tcflag_t raw_local_clear = ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN;

// What must hold on the port after tcsetattr, which reports success when any
// part of the request was applied.
bool settings_hold(const termios& wanted, const termios& actual) {
    constexpr tcflag_t line_bits = CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD;
    return (actual.c_cflag & line_bits) == (wanted.c_cflag & line_bits) &&
           (actual.c_iflag & raw_input_clear) == 0 && (actual.c_oflag & OPOST) == 0 &&
           (actual.c_lflag & raw_local_clear) == 0 &&
           ::cfgetispeed(&actual) == ::cfgetispeed(&wanted) &&
           ::cfgetospeed(&actual) == ::cfgetospeed(&wanted);
}

// Standard speeds, bits per second to termios constant.
struct Speed {
    std::uint32_t baud;
    speed_t constant;
};
constexpr Speed speeds[] = {
    {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
    {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
    {230400, B230400}, {460800, B460800}, {921600, B921600},
};

const Speed* find_speed(std::uint32_t baud) {
    for (const Speed& speed : speeds)
        if (speed.baud == baud) return &speed;
    return nullptr;
}

}  // namespace

bool port_speed_supported(std::uint32_t baud) { return find_speed(baud) != nullptr; }

bool port_configure(PortHandle port, std::uint32_t baud) {
    termios settings{};
    int fd = fd_of(port);
    const Speed* speed = find_speed(baud);
    if (speed == nullptr) return note(Fault::settings, EINVAL);
    if (::tcgetattr(fd, &settings) != 0) return note_errno(errno);  // ENOTTY: not a terminal
    // Raw binary: no echo, no canonical mode, no signals, no translation either way.
    ::cfmakeraw(&settings);
    settings.c_iflag &= ~raw_input_clear;
    settings.c_oflag &= ~OPOST;
    settings.c_lflag &= ~raw_local_clear;
    // 8N1, no hardware or software flow control, modem status lines ignored.
    settings.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    // Reads and writes never block in the driver; port_read and port_write wait
    // with poll, within their own time-outs.
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    if (::cfsetispeed(&settings, speed->constant) != 0 ||
        ::cfsetospeed(&settings, speed->constant) != 0)
        return note(Fault::settings, errno);
    if (::tcsetattr(fd, TCSANOW, &settings) != 0) return note(Fault::settings, errno);
    termios applied{};
    if (::tcgetattr(fd, &applied) != 0) return note(Fault::settings, errno);
    return settings_hold(settings, applied) || note(Fault::settings, 0);
}

void port_drop_modem_lines(PortHandle port) {
    int lines = TIOCM_DTR;
    ::ioctl(fd_of(port), TIOCMBIC, &lines);
    lines = TIOCM_RTS;
    ::ioctl(fd_of(port), TIOCMBIC, &lines);
}

namespace {

int ms_until(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

std::ptrdiff_t port_write(PortHandle port, const std::uint8_t* data, std::size_t length) {
    const int fd = fd_of(port);
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(port_write_timeout_base_ms + length);
    std::size_t written = 0;
    while (written < length) {
        ssize_t count = ::write(fd, data + written, length - written);
        if (count > 0) {
            written += static_cast<std::size_t>(count);
            continue;
        }
        if (count < 0 && errno == EINTR) continue;
        if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            note_errno(errno);  // EIO: the device hung up
            return written > 0 ? static_cast<std::ptrdiff_t>(written) : -1;
        }
        // The driver's buffer is full: wait for room, within the write time-out.
        int left = ms_until(deadline);
        if (left == 0 || wait_for(fd, POLLOUT, left) != Wait::ready) {
            note(Fault::timed_out, ETIMEDOUT);
            break;
        }
    }
    return static_cast<std::ptrdiff_t>(written);
}

std::ptrdiff_t port_read(PortHandle port, std::uint8_t* data, std::size_t length) {
    return port_read_within(port, data, length, port_read_timeout_ms);
}

std::ptrdiff_t port_read_within(PortHandle port, std::uint8_t* data, std::size_t length,
                                int timeout_ms) {
    const int fd = fd_of(port);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        // Wait first: with VMIN and VTIME 0 a terminal read returns 0 at once when
        // nothing has arrived.
        Wait waited = wait_for(fd, POLLIN, ms_until(deadline));
        if (waited == Wait::timed_out) return 0;
        if (waited == Wait::failed) {
            note_errno(errno);
            return -1;
        }
        ssize_t count = ::read(fd, data, length);
        if (count >= 0) return count;  // 0: end of file on a device that is not a terminal
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            note_errno(errno);  // EIO: the device hung up
            return -1;
        }
        if (ms_until(deadline) == 0) return 0;
        // Ready, yet nothing to read: a driver without poll support. Wait a
        // little rather than spin until the deadline.
        ::usleep(10000);
    }
}

void port_discard_input(PortHandle port) {
    int fd = fd_of(port);
    if (::tcflush(fd, TCIFLUSH) == 0) return;
    // Not a terminal: drain what is waiting, bounded for devices that never run dry.
    std::uint8_t scratch[512];
    for (int round = 0; round < 64; ++round)
        if (::read(fd, scratch, sizeof scratch) <= 0) break;
}

bool port_close(PortHandle port) {
    int fd = fd_of(port);
    // The exclusive flag belongs to the terminal, not to our descriptor: clear it,
    // or the port stays barred while any other descriptor keeps it alive.
    if (::isatty(fd)) ::ioctl(fd, TIOCNXCL);
    return ::close(fd) == 0;  // also releases the advisory lock
}

namespace {
pthread_mutex_t library_lock = PTHREAD_MUTEX_INITIALIZER;
// One cache line each: printers driven from different threads never share one.
struct alignas(64) PrinterLock {
    std::mutex mutex;
};
PrinterLock printer_locks[printer_slots];

// A fork copies the locks as they stand: one held by a thread that does not
// exist in the child would make the child's first call wait for ever. Taking
// them before the fork waits for the calls in progress (each at most its own
// bound) and leaves them in a known state to release on both sides. Every
// other path holds one lock at a time, so this order cannot deadlock.
void lock_before_fork() {
    ::pthread_mutex_lock(&library_lock);
    for (auto& lock : printer_locks) lock.mutex.lock();
}
void unlock_after_fork() {
    for (auto& lock : printer_locks) lock.mutex.unlock();
    ::pthread_mutex_unlock(&library_lock);
}
[[maybe_unused]] const int fork_handlers_registered =
    ::pthread_atfork(lock_before_fork, unlock_after_fork, unlock_after_fork);
}  // namespace

void lock_library() { ::pthread_mutex_lock(&library_lock); }
void unlock_library() { ::pthread_mutex_unlock(&library_lock); }

void lock_printer(std::size_t slot) { printer_locks[slot].mutex.lock(); }
bool try_lock_printer(std::size_t slot) { return printer_locks[slot].mutex.try_lock(); }
void unlock_printer(std::size_t slot) { printer_locks[slot].mutex.unlock(); }

void write_error(const char* message) {
    std::size_t length = std::strlen(message);
    while (length > 0) {
        ssize_t count = ::write(STDERR_FILENO, message, length);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return;
        message += count;
        length -= static_cast<std::size_t>(count);
    }
}

}  // namespace quorvel::platform

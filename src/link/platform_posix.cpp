// POSIX implementation of the platform layer: BSD sockets and termios.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "link/platform.h"

namespace quorvel::platform {
namespace {

constexpr int port_read_timeout_ms = 2000;
constexpr int port_write_timeout_base_ms = 1000;

int fd_of(std::intptr_t handle) { return static_cast<int>(handle); }

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

// POSIX sockets need no library start-up.
bool net_startup() { return true; }
void net_cleanup() {}

SocketHandle tcp_socket() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP);
    return fd < 0 ? invalid_handle : fd;
}

bool tcp_connect(SocketHandle socket, const std::uint8_t (&address)[4], std::uint16_t port,
                 int timeout_ms) {
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    std::memcpy(&remote.sin_addr, address, 4);
    int fd = fd_of(socket);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) == 0) return true;
    if (errno != EINPROGRESS && errno != EINTR) return false;
    if (wait_for(fd, POLLOUT, timeout_ms) != Wait::ready) return false;
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) return false;
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
        return -1;
    }
}

std::ptrdiff_t tcp_recv(SocketHandle socket, std::uint8_t* data, std::size_t length) {
    for (;;) {
        ssize_t count = ::recv(fd_of(socket), data, length, 0);
        if (count >= 0) return count;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return would_block;
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
    int fd = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return invalid_handle;
    // TIOCEXCL keeps other openers out; root bypasses it, so also hold an advisory lock.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return invalid_handle;
    }
    if (::isatty(fd)) ::ioctl(fd, TIOCEXCL);
    return fd;
}

bool port_configure(PortHandle port, std::uint32_t baud) {
    termios settings{};
    int fd = fd_of(port);
    if (::tcgetattr(fd, &settings) != 0) return false;
    ::cfmakeraw(&settings);  // binary: no echo, no canonical mode, no translation
    settings.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_iflag &= ~(IXON | IXOFF | IXANY);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    speed_t speed = baud == 9600 ? B9600 : B115200;
    if (::cfsetispeed(&settings, speed) != 0 || ::cfsetospeed(&settings, speed) != 0) return false;
    if (::tcsetattr(fd, TCSANOW, &settings) != 0) return false;
    // Time-outs are applied by port_read and port_write themselves.
    return true;
}

void port_drop_modem_lines(PortHandle port) {
    int lines = TIOCM_DTR;
    ::ioctl(fd_of(port), TIOCMBIC, &lines);
    lines = TIOCM_RTS;
    ::ioctl(fd_of(port), TIOCMBIC, &lines);
}

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
        if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return -1;
        int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        deadline - std::chrono::steady_clock::now())
                                        .count());
        if (left <= 0 || wait_for(fd, POLLOUT, left) != Wait::ready) break;
    }
    return static_cast<std::ptrdiff_t>(written);
}

std::ptrdiff_t port_read(PortHandle port, std::uint8_t* data, std::size_t length) {
    const int fd = fd_of(port);
    Wait waited = wait_for(fd, POLLIN, port_read_timeout_ms);
    if (waited == Wait::timed_out) return 0;
    if (waited == Wait::failed) return -1;
    for (;;) {
        ssize_t count = ::read(fd, data, length);
        if (count >= 0) return count;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        return -1;
    }
}

void port_discard_input(PortHandle port) {
    int fd = fd_of(port);
    if (::tcflush(fd, TCIFLUSH) == 0) return;
    std::uint8_t scratch[256];  // not a terminal: drain what is waiting
    while (::read(fd, scratch, sizeof scratch) > 0) {
    }
}

bool port_close(PortHandle port) { return ::close(fd_of(port)) == 0; }

namespace {
pthread_mutex_t library_lock = PTHREAD_MUTEX_INITIALIZER;
}

void lock_library() { ::pthread_mutex_lock(&library_lock); }
void unlock_library() { ::pthread_mutex_unlock(&library_lock); }

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

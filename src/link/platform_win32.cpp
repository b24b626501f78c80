// SPDX-License-Identifier: MIT
// Win32 implementation of the platform layer: Winsock 2 and the kernel32
// serial-port calls.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <climits>
#include <cstdio>
#include <cstring>

#include "link/platform.h"

namespace quorvel::platform {
namespace {

// The socket library's start-up record; filled by WSAStartup, never read.
WSADATA wsa_data;

constexpr WORD winsock_version = 0x0002;  // 2.0: major in the low byte
constexpr DWORD port_read_timeout_ms = 2000;
constexpr DWORD port_write_timeout_per_byte_ms = 1;
constexpr DWORD port_write_timeout_base_ms = 1000;

SOCKET socket_of(SocketHandle handle) { return static_cast<SOCKET>(handle); }
HANDLE port_of(PortHandle handle) { return reinterpret_cast<HANDLE>(handle); }

int clamp_length(std::size_t length) {
    return length > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(length);
}

// Waits for the socket to become readable or writable. Errors (a failed
// connect, a reset) count as ready: the next call on the socket reports them.
Wait wait_for(SocketHandle handle, bool for_writing, int timeout_ms) {
    const SOCKET s = socket_of(handle);
    fd_set ready_set;
    fd_set error_set;
    FD_ZERO(&ready_set);
    FD_ZERO(&error_set);
    FD_SET(s, &ready_set);
    FD_SET(s, &error_set);
    timeval timeout{};
    if (timeout_ms > 0) {
        timeout.tv_sec = timeout_ms / 1000;
        timeout.tv_usec = (timeout_ms % 1000) * 1000;
    }
    // The first argument is ignored by Winsock.
    int result = ::select(0, for_writing ? nullptr : &ready_set, for_writing ? &ready_set : nullptr,
                          &error_set, &timeout);
    if (result > 0) return Wait::ready;
    if (result == 0) return Wait::timed_out;
    return Wait::failed;
}

bool would_block_now() { return ::WSAGetLastError() == WSAEWOULDBLOCK; }

// Calls come one at a time under the library lock: one record is enough.
constinit thread_local Failure failure;

// Records why a call failed; returns false so failure paths can end with it.
bool note(Fault fault, int code) {
    failure = Failure{fault, code};
    return false;
}

Fault fault_of_code(int code) {
    switch (code) {
        case WSAECONNREFUSED: return Fault::refused;
        case WSAETIMEDOUT:
        case ERROR_SEM_TIMEOUT: return Fault::timed_out;
        case WSAENETUNREACH:
        case WSAEHOSTUNREACH:
        case WSAEADDRNOTAVAIL:
        case WSAEAFNOSUPPORT:
        case WSAEINVAL: return Fault::unreachable;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_BAD_UNIT:
        case ERROR_DEV_NOT_EXIST: return Fault::not_found;
        // Windows answers "access denied" for a port another process holds open.
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_BUSY: return Fault::busy;
        case ERROR_INVALID_FUNCTION:
        case ERROR_NOT_SUPPORTED:
        case ERROR_INVALID_HANDLE: return Fault::not_serial;
        case WSAECONNRESET:
        case WSAECONNABORTED:
        case WSAESHUTDOWN:
        case ERROR_BROKEN_PIPE:
        case ERROR_NO_DATA:
        case ERROR_OPERATION_ABORTED: return Fault::closed;
        default: return Fault::other;
    }
}

bool note_code(int code) { return note(fault_of_code(code), code); }

// The socket whose peer has ended the stream in order (see tcp_recv). Calls
// come one at a time under the library lock.
SOCKET orderly_end_socket = INVALID_SOCKET;

}  // namespace

Failure last_failure() { return failure; }

void describe_system_error(int code, char* text, std::size_t size) {
    if (size == 0) return;
    DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                    nullptr, static_cast<DWORD>(code), 0, text,
                                    static_cast<DWORD>(size > 65535 ? 65535 : size), nullptr);
    if (length == 0) {
        std::snprintf(text, size, "system error %d", code);
        return;
    }
    // The system's text ends with a full stop and a line end: one line wanted.
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' ||
                          text[length - 1] == ' ' || text[length - 1] == '.'))
        text[--length] = '\0';
}

bool parse_ipv6(const char* text, IpAddress& address) {
    address.v6 = true;
    return ::inet_pton(AF_INET6, text, address.bytes) == 1;
}

bool net_startup() {
    int code = ::WSAStartup(winsock_version, &wsa_data);
    return code == 0 || note(Fault::other, code);
}

void net_cleanup() { ::WSACleanup(); }

SocketHandle tcp_socket(bool v6) {
    SOCKET s = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        note(Fault::other, ::WSAGetLastError());
        return invalid_handle;
    }
    if (s == orderly_end_socket) orderly_end_socket = INVALID_SOCKET;
    u_long non_blocking = 1;
    if (::ioctlsocket(s, FIONBIO, &non_blocking) != 0) {
        note(Fault::other, ::WSAGetLastError());
        ::closesocket(s);
        return invalid_handle;
    }
    // Child processes of the host must not keep the printer connection open.
    ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    return static_cast<SocketHandle>(s);
}

bool tcp_connect(SocketHandle socket, const IpAddress& address, std::uint16_t port,
                 int timeout_ms) {
    sockaddr_storage remote{};
    int remote_size = 0;
    if (address.v6) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&remote);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = ::htons(port);
        std::memcpy(&in6->sin6_addr, address.bytes, 16);
        in6->sin6_scope_id = address.scope;
        remote_size = sizeof(sockaddr_in6);
    } else {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&remote);
        in4->sin_family = AF_INET;
        in4->sin_port = ::htons(port);
        std::memcpy(&in4->sin_addr, address.bytes, 4);
        remote_size = sizeof(sockaddr_in);
    }
    const SOCKET s = socket_of(socket);
    if (::connect(s, reinterpret_cast<const sockaddr*>(&remote), remote_size) != 0) {
        const int code = ::WSAGetLastError();
        if (code != WSAEWOULDBLOCK) return note_code(code);
        // A failed connect shows in the error set; success in the writable set.
        fd_set writable;
        fd_set failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        timeval timeout{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
        const int selected = ::select(0, nullptr, &writable, &failed, &timeout);
        if (selected == 0) return note(Fault::timed_out, WSAETIMEDOUT);
        if (selected < 0) return note_code(::WSAGetLastError());
        int error = 0;
        int size = sizeof error;
        if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0)
            return note_code(::WSAGetLastError());
        if (error != 0) return note_code(error);
        if (FD_ISSET(s, &failed) || !FD_ISSET(s, &writable)) return note(Fault::other, 0);
    }
    BOOL on = TRUE;  // commands are small and whole: send them at once
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    return true;
}

std::ptrdiff_t tcp_send(SocketHandle socket, const std::uint8_t* data, std::size_t length) {
    // Windows raises no signal on a broken connection: send just fails.
    int count = ::send(socket_of(socket), reinterpret_cast<const char*>(data), clamp_length(length), 0);
    if (count != SOCKET_ERROR) return count;
    if (would_block_now()) return 0;
    note_code(::WSAGetLastError());
    return -1;
}

std::ptrdiff_t tcp_recv(SocketHandle socket, std::uint8_t* data, std::size_t length) {
    const SOCKET s = socket_of(socket);
    int count = ::recv(s, reinterpret_cast<char*>(data), clamp_length(length), 0);
    if (count == 0) {
        // An end of stream can hide a reset: some Winsock layers (wine's among
        // them) read a reset connection as an orderly end. Poll tells the two
        // apart: a reset stays flagged as an error, an orderly end only as a
        // hang-up. Once the printer has ended the stream in order, a later reset
        // only answers our writing to the closed connection and is no receive error.
        if (s == orderly_end_socket) return 0;
        WSAPOLLFD state{s, POLLRDNORM, 0};
        if (::WSAPoll(&state, 1, 0) > 0 && (state.revents & POLLERR) != 0) {
            note(Fault::closed, WSAECONNRESET);
            return -1;
        }
        orderly_end_socket = s;
        return 0;
    }
    if (count != SOCKET_ERROR) return count;
    if (would_block_now()) return would_block;
    note_code(::WSAGetLastError());
    return -1;
}

Wait tcp_wait_writable(SocketHandle socket, int timeout_ms) { return wait_for(socket, true, timeout_ms); }

Wait tcp_wait_readable(SocketHandle socket, int timeout_ms) {
    return wait_for(socket, false, timeout_ms);
}

void tcp_close(SocketHandle socket) {
    // The handle value may be given to a new socket: forget what we knew.
    if (socket_of(socket) == orderly_end_socket) orderly_end_socket = INVALID_SOCKET;
    ::closesocket(socket_of(socket));
}

PortHandle port_open(const char* name) {
    // Share mode 0: a port someone else holds is refused by the system.
    HANDLE port = ::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        note_code(static_cast<int>(::GetLastError()));
        return invalid_handle;
    }
    return reinterpret_cast<PortHandle>(port);
}

// DCB.BaudRate takes the rate itself; these are the standard ones.
bool port_speed_supported(std::uint32_t baud) {
    constexpr std::uint32_t speeds[] = {1200,  2400,   4800,   9600,   19200, 38400,
                                        57600, 115200, 230400, 460800, 921600};
    for (std::uint32_t speed : speeds)
        if (speed == baud) return true;
    return false;
}

bool port_configure(PortHandle port, std::uint32_t baud) {
    const HANDLE h = port_of(port);
    DCB settings;
    std::memset(&settings, 0, sizeof settings);
    static_assert(sizeof(DCB) == 28, "DCB layout");
    settings.DCBlength = sizeof(DCB);
    if (!port_speed_supported(baud)) return note(Fault::settings, ERROR_INVALID_PARAMETER);
    // A handle that is no communications device fails here.
    if (!::GetCommState(h, &settings)) return note(Fault::not_serial, static_cast<int>(::GetLastError()));
    settings.BaudRate = baud;
    settings.ByteSize = 8;
    settings.Parity = NOPARITY;
    settings.StopBits = ONESTOPBIT;
    // Flag bits 0 to 14 become 0x81 (binary mode, go on sending after XOFF):
    // no parity check, no hardware or XON/XOFF flow control, DTR and RTS not
    // driven, no error or NUL replacement, no abort on error. fDummy2 is kept.
    settings.fBinary = 1;
    settings.fParity = 0;
    settings.fOutxCtsFlow = 0;
    settings.fOutxDsrFlow = 0;
    settings.fDtrControl = DTR_CONTROL_DISABLE;
    settings.fDsrSensitivity = 0;
    settings.fTXContinueOnXoff = 1;
    settings.fOutX = 0;
    settings.fInX = 0;
    settings.fErrorChar = 0;
    settings.fNull = 0;
    settings.fRtsControl = RTS_CONTROL_DISABLE;
    settings.fAbortOnError = 0;
    if (!::SetCommState(h, &settings)) return note(Fault::settings, static_cast<int>(::GetLastError()));

    COMMTIMEOUTS timeouts;
    if (!::GetCommTimeouts(h, &timeouts)) return note(Fault::settings, static_cast<int>(::GetLastError()));
    timeouts.ReadIntervalTimeout = 0;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = port_read_timeout_ms;
    timeouts.WriteTotalTimeoutMultiplier = port_write_timeout_per_byte_ms;
    timeouts.WriteTotalTimeoutConstant = port_write_timeout_base_ms;
    return ::SetCommTimeouts(h, &timeouts) != 0 ||
           note(Fault::settings, static_cast<int>(::GetLastError()));
}

void port_drop_modem_lines(PortHandle port) {
    ::EscapeCommFunction(port_of(port), CLRDTR);
    ::EscapeCommFunction(port_of(port), CLRRTS);
}

std::ptrdiff_t port_write(PortHandle port, const std::uint8_t* data, std::size_t length) {
    // Synchronous: the port's write time-out bounds the call.
    DWORD written = 0;
    if (!::WriteFile(port_of(port), data, static_cast<DWORD>(clamp_length(length)), &written,
                     nullptr)) {
        note_code(static_cast<int>(::GetLastError()));
        return -1;
    }
    if (written < length) note(Fault::timed_out, ERROR_SEM_TIMEOUT);
    return static_cast<std::ptrdiff_t>(written);
}

std::ptrdiff_t port_read(PortHandle port, std::uint8_t* data, std::size_t length) {
    // Returns after the read time-out with what has arrived, possibly nothing.
    DWORD count = 0;
    if (!::ReadFile(port_of(port), data, static_cast<DWORD>(clamp_length(length)), &count, nullptr)) {
        note_code(static_cast<int>(::GetLastError()));
        return -1;
    }
    return static_cast<std::ptrdiff_t>(count);
}

std::ptrdiff_t port_read_within(PortHandle port, std::uint8_t* data, std::size_t length,
                                int timeout_ms) {
    // The read time-out belongs to the port: set it for this read, then put it back.
    const HANDLE h = port_of(port);
    COMMTIMEOUTS saved;
    if (!::GetCommTimeouts(h, &saved)) {
        note_code(static_cast<int>(::GetLastError()));
        return -1;
    }
    COMMTIMEOUTS once = saved;
    once.ReadIntervalTimeout = 0;
    once.ReadTotalTimeoutMultiplier = 0;
    once.ReadTotalTimeoutConstant = timeout_ms > 0 ? static_cast<DWORD>(timeout_ms) : 1;
    if (!::SetCommTimeouts(h, &once)) {
        note_code(static_cast<int>(::GetLastError()));
        return -1;
    }
    const std::ptrdiff_t count = port_read(port, data, length);
    ::SetCommTimeouts(h, &saved);
    return count;
}

void port_discard_input(PortHandle port) { ::PurgeComm(port_of(port), PURGE_RXCLEAR); }

bool port_close(PortHandle port) { return ::CloseHandle(port_of(port)) != 0; }

namespace {
// Slim reader/writer lock: statically initialised, needs no runtime support.
SRWLOCK library_lock = SRWLOCK_INIT;
// One cache line each: printers driven from different threads never share one.
struct alignas(64) PrinterLock {
    SRWLOCK lock = SRWLOCK_INIT;
};
PrinterLock printer_locks[printer_slots];
}  // namespace

void lock_library() { ::AcquireSRWLockExclusive(&library_lock); }
void unlock_library() { ::ReleaseSRWLockExclusive(&library_lock); }

void lock_printer(std::size_t slot) {
    ::AcquireSRWLockExclusive(&printer_locks[slot].lock);
}
bool try_lock_printer(std::size_t slot) {
    return ::TryAcquireSRWLockExclusive(&printer_locks[slot].lock) != 0;
}
void unlock_printer(std::size_t slot) {
    ::ReleaseSRWLockExclusive(&printer_locks[slot].lock);
}

void write_error(const char* message) {
    HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
    if (error == nullptr || error == INVALID_HANDLE_VALUE) return;  // no console, no stream
    std::size_t length = std::strlen(message);
    while (length > 0) {
        DWORD written = 0;
        if (!::WriteFile(error, message, static_cast<DWORD>(length), &written, nullptr) ||
            written == 0)
            return;
        message += written;
        length -= written;
    }
}

}  // namespace quorvel::platform

// SPDX-License-Identifier: MIT
// The one narrow interface between the library and the operating system.
// Everything above it (connection state, command building, status logic) is
// shared by every build; a POSIX and a Win32 implementation sit below it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvel::platform {

// Sockets and port handles are carried as pointer-sized integers; -1 is the
// invalid value on every platform (INVALID_SOCKET, INVALID_HANDLE_VALUE, fd -1).
using SocketHandle = std::intptr_t;
using PortHandle = std::intptr_t;
inline constexpr std::intptr_t invalid_handle = -1;

enum class Wait { ready, timed_out, failed };

// An IPv4 (4 bytes) or IPv6 (16 bytes, with a scope for link-local) address.
struct IpAddress {
    bool v6 = false;
    std::uint8_t bytes[16] = {};
    std::uint32_t scope = 0;
};

// Why the last failing platform call failed, as a kind and the system's own
// code (errno, WSAGetLastError or GetLastError; 0 when none applies). Kept
// per thread, read right after the failing call.
enum class Fault {
    none,
    refused,        // connection refused
    timed_out,      // no answer within the call's wait
    unreachable,    // no route, address not usable
    not_found,      // no such port
    access_denied,  // the system refused access
    busy,           // held by another opener
    not_serial,     // opens, but is no serial device
    settings,       // line settings not applied
    closed,         // the peer closed or reset the link, the device hung up
    other,
};
struct Failure {
    Fault fault = Fault::none;
    int code = 0;
};
Failure last_failure();
// The system's text for a code from last_failure, NUL-terminated, cut to size.
void describe_system_error(int code, char* text, std::size_t size);

// Socket library start-up and release (WSAStartup 2.0 / WSACleanup on Windows).
bool net_startup();
void net_cleanup();

// Reads an IPv6 literal (no brackets, no zone) into address; false when it is none.
bool parse_ipv6(const char* text, IpAddress& address);

// A TCP stream socket for IPv4 (or IPv6), in non-blocking mode, or invalid_handle.
SocketHandle tcp_socket(bool v6 = false);
// Connects to address:port, waiting at most timeout_ms for the handshake.
bool tcp_connect(SocketHandle socket, const IpAddress& address, std::uint16_t port,
                 int timeout_ms);
// One send call. Returns the count accepted, 0 when the socket buffer is full,
// -1 on failure (reset, closed). Never raises SIGPIPE.
std::ptrdiff_t tcp_send(SocketHandle socket, const std::uint8_t* data, std::size_t length);
// One recv call. Returns the count received, 0 when the peer closed,
// -1 on failure, -2 when nothing is waiting.
inline constexpr std::ptrdiff_t would_block = -2;
std::ptrdiff_t tcp_recv(SocketHandle socket, std::uint8_t* data, std::size_t length);
Wait tcp_wait_writable(SocketHandle socket, int timeout_ms);
Wait tcp_wait_readable(SocketHandle socket, int timeout_ms);
void tcp_close(SocketHandle socket);

// Opens a serial port by name, exclusively, for reading and writing;
// invalid_handle when it does not exist or another opener holds it.
PortHandle port_open(const char* name);
// True when the platform can set this line speed, in bits per second.
bool port_speed_supported(std::uint32_t baud);
// Line settings: baud, 8 data bits, no parity, one stop bit, no flow control,
// raw binary. Then the time-outs: reads 2000 ms, writes 1 ms per byte + 1000 ms.
bool port_configure(PortHandle port, std::uint32_t baud);
// Drops DTR, then RTS; results are not examined.
void port_drop_modem_lines(PortHandle port);
// Writes within the port's write time-out; returns the count written or -1.
std::ptrdiff_t port_write(PortHandle port, const std::uint8_t* data, std::size_t length);
// Reads up to length bytes within the port's read time-out; the count read
// (0 on time-out) or -1.
std::ptrdiff_t port_read(PortHandle port, std::uint8_t* data, std::size_t length);
// The same within timeout_ms instead of the port's read time-out.
std::ptrdiff_t port_read_within(PortHandle port, std::uint8_t* data, std::size_t length,
                                int timeout_ms);
void port_discard_input(PortHandle port);
bool port_close(PortHandle port);

// A printer-class character device (/dev/usb/lp0, /dev/lp0), opened for
// reading and writing without blocking and held with an advisory lock; read
// and written with port_read_within, port_write and port_close. On failure
// invalid_handle and last_failure says why (busy when another opener holds
// it). Linux only: elsewhere it fails as not_found.
PortHandle device_open(const char* path);
// The device's group, for a refused open: its name (or number) into text.
void device_group(const char* path, char* text, std::size_t size);
// The printer port status bits of LPGETSTATUS (LP_PERRORP 0x08, LP_PSELECD
// 0x10, LP_POUTPA 0x20, LP_PBUSY 0x80), or -1 where the driver has none.
int device_port_status(PortHandle device);

// A print queue of the system's spooler (CUPS on Linux, the Windows
// spooler), to which commands go as RAW documents, one job each.
using QueueHandle = std::intptr_t;
enum class QueueFault { none, not_found, paused, refused, other };
struct QueueResult {
    QueueFault fault = QueueFault::none;
    char reason[128] = {};  // the spooler's own words when it failed
};
// Finds the queue; a queue that exists but is paused is refused too.
QueueHandle queue_open(const char* name, QueueResult& result);
// Sends one job holding exactly these bytes, within bounded waits.
bool queue_send(QueueHandle queue, const std::uint8_t* data, std::size_t length,
                QueueResult& result);
void queue_close(QueueHandle queue);

// The default link's lock, which every exported call without a printer
// handle holds for its whole run. On
// POSIX a fork takes it first and both processes release it, so a child
// forked while another thread is inside a call starts with it free.
void lock_library();
void unlock_library();

// One lock per printer handle slot, held for the whole of a quorvel_printer_*
// call on that printer. A fork takes them all (after the library lock), so a
// child starts with every one of them free.
inline constexpr std::size_t printer_slots = 1024;
void lock_printer(std::size_t slot);
bool try_lock_printer(std::size_t slot);
void unlock_printer(std::size_t slot);

// Writes a message to standard error as it stands.
void write_error(const char* message);

}  // namespace quorvel::platform

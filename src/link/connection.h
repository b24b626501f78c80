// SPDX-License-Identifier: MIT
// Process-wide connection state and the shared steps through which every
// command reaches the printer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "link/outcome.h"
#include "link/platform.h"

namespace quorvel::link {

// All zero at load: nothing open, model 0.
extern std::uint8_t Statesocket;  // 1 while the TCP link is open
extern platform::SocketHandle remote_socket;
extern platform::PortHandle serial_handle;
extern bool serial_port_held;  // serial_handle refers to a port we still own
// What the held port is: a serial port, a printer-class device (both read and
// written through serial_handle) or a spooler's print queue (queue_handle,
// commands collected into jobs; see queue.cpp).
enum class PortKind : std::uint8_t { serial, device, queue };
extern PortKind port_kind;
extern platform::QueueHandle queue_handle;
extern int printer_model;
inline constexpr std::size_t message_capacity = 8192;
extern std::uint8_t message[message_capacity];  // last TCP reply
extern int message_length;
// The open link as messages name it: "192.0.2.7 port 9100", "/dev/ttyS0".
inline constexpr std::size_t link_name_capacity = 96;
extern char link_name[link_name_capacity];
void set_link_name(const char* name);

inline constexpr std::uint16_t printer_port = 9100;
inline constexpr int connect_timeout_ms = 5000;
inline constexpr int reply_timeout_ms = 2000;
inline constexpr int write_timeout_base_ms = 1000;  // plus 1 ms per byte

// Holds the library lock for the life of an exported call, whose outcome
// starts out as success.
class CallGuard {
public:
    CallGuard() {
        platform::lock_library();
        begin_call();
    }
    ~CallGuard() { platform::unlock_library(); }
    CallGuard(const CallGuard&) = delete;
    CallGuard& operator=(const CallGuard&) = delete;
};

// Writes one finished command whole to the open link: the TCP socket while
// Statesocket is 1, otherwise the serial port. True only if every byte was
// written; a short write is continued within the write time-out. A failure is
// recorded as the call's outcome.
bool send_command(const std::uint8_t* command, std::size_t length);

// Drops bytes already waiting on the current link, so a status query never
// reads an earlier, late answer. False when a TCP receive failed on the way
// (reported as "recv() failed\n"): there is no link left to query.
bool discard_pending_input();

// Reads the printer's reply to a query just sent, on the same link, waiting at
// most reply_timeout_ms. Over TCP the reply lands in message/message_length.
// Returns the first reply byte, or nothing when no byte arrived (recorded as
// the call's outcome).
std::optional<std::uint8_t> recv_reply();

// Queue links: the job collected so far goes to the queue (true when there
// was none); and the held port, whatever its kind, is let go (a queue's job
// is sent first). Both record a failure as the call's outcome.
bool flush_job();
bool release_held_port();
// After a paper cut: on a queue link the cut ends the job, which is sent.
bool end_of_document();
// Status queries cannot reach a printer behind a spooler: true (and the
// reason recorded) on a queue link, where nothing must be sent.
bool status_unavailable();

// Reports a failure on standard error; the host process carries on.
void report_failure(const char* message);

}  // namespace quorvel::link

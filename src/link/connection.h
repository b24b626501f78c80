// SPDX-License-Identifier: MIT
// The state of one link to a printer, and the shared steps through which
// every command reaches the printer on the link the call is bound to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "link/outcome.h"
#include "link/platform.h"

struct quorvel_printer;

namespace quorvel::link {

// What a link's held port is: a serial port, a printer-class device (both
// read and written through serial_handle) or a spooler's print queue
// (queue_handle; commands collected into a job, see queue.cpp).
enum class PortKind : std::uint8_t { serial, device, queue };

inline constexpr std::size_t message_capacity = 8192;
inline constexpr std::size_t link_name_capacity = 96;

// One link to one printer: the default link of the 28 functions and the
// quorvel_* companions, or the link of one printer handle. All zero: nothing
// open, model 0.
struct Link {
    std::uint8_t Statesocket = 0;   // 1 while the TCP link is open
    bool serial_port_held = false;  // serial_handle refers to a port we still own
    int printer_model = 0;
    platform::SocketHandle remote_socket = 0;
    platform::PortHandle serial_handle = 0;
    // The open link as messages name it: "192.0.2.7 port 9100", "/dev/ttyS0".
    char link_name[link_name_capacity] = {};
    int message_length = 0;
    std::uint8_t message[message_capacity] = {};  // last TCP reply
    // The printer has sent something on this TCP connection. Until it has, a
    // query left unanswered may mean it serves another connection first.
    bool heard_from = false;
    PortKind port_kind = PortKind::serial;
    platform::QueueHandle queue_handle = platform::invalid_handle;
    std::uint8_t* job = nullptr;  // a queue's collected commands, QUORVEL_QUEUE_JOB_MAX bytes
    std::size_t job_size = 0;

    bool is_open() const { return Statesocket == 1 || serial_port_held; }
};

// The link of the 28 and the 7.
extern Link default_link;

// The link the calling thread's exported call works on, bound by its guard.
// Constant-initialised like the outcome record: reaching it is one load.
extern constinit thread_local Link* current_link;
inline Link& current() {
    return *current_link;
}

void set_link_name(const char* name);

inline constexpr std::uint16_t printer_port = 9100;
inline constexpr int connect_timeout_ms = 5000;
inline constexpr int reply_timeout_ms = 2000;
inline constexpr int write_timeout_base_ms = 1000;  // plus 1 ms per byte

// Holds the default link's lock for the life of an exported call of the 28
// or the 7, binds that link and starts the call's outcome out as success.
class CallGuard {
public:
    CallGuard() {
        platform::lock_library();
        begin_call();
        current_link = &default_link;
    }
    ~CallGuard() { platform::unlock_library(); }
    CallGuard(const CallGuard&) = delete;
    CallGuard& operator=(const CallGuard&) = delete;
};

// Checks a printer handle, takes the printer's own lock and binds its link, for
// a quorvel_printer_* call; the call's outcome starts out as success. Returns
// the printer's slot, or no_slot (QUORVEL_E_BAD_HANDLE recorded, nothing
// locked) for a null, closed or stale handle.
inline constexpr std::size_t no_slot = ~std::size_t{0};
std::size_t bind_printer(quorvel_printer* printer);

// Holds a printer handle's lock for the life of a quorvel_printer_* call. A
// refused handle holds nothing: the call returns at once.
class PrinterGuard {
  public:
    explicit PrinterGuard(quorvel_printer* printer) : slot_(bind_printer(printer)) {}
    ~PrinterGuard() {
        if (slot_ != no_slot) platform::unlock_printer(slot_);
    }
    explicit operator bool() const { return slot_ != no_slot; }
    PrinterGuard(const PrinterGuard&) = delete;
    PrinterGuard& operator=(const PrinterGuard&) = delete;

  private:
    std::size_t slot_;
};

// Writes one finished command whole to the current link: the TCP socket while
// Statesocket is 1, otherwise the serial port. True only if every byte was
// written; a short write is continued within the write time-out. A failure is
// recorded as the call's outcome.
bool send_command(const std::uint8_t* command, std::size_t length);

// Drops bytes already waiting on the current link, so a status query never
// reads an earlier, late answer. False when a TCP receive failed on the way
// (reported as "recv() failed\n"): there is no link left to query.
bool discard_pending_input();

// Reads the printer's reply to a query just sent, on the same link, waiting at
// most reply_timeout_ms. Over TCP the reply lands in the link's message.
// Returns the first reply byte, or nothing when no byte arrived (recorded as
// the call's outcome).
std::optional<std::uint8_t> recv_reply();

// Notes bytes received on the TCP link (count > 0): the printer serves it.
inline void note_received(Link& link, std::ptrdiff_t count) {
    if (count > 0) link.heard_from = true;
}

// After QUORVEL_E_NO_REPLY on a TCP link that never carried a byte from the
// printer: the printer accepted the connection but may be serving another one
// (many serve one at a time), so the message says that instead of the model hint.
void explain_no_reply(const Link& link);

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

// Opening and closing the current link, with the rules of quorvel_open_tcp,
// quorvel_open_serial, FechaSocket and FechaPortaSerial. Return 1 or 0 (the
// cause recorded).
int open_tcp(const char* address, int port, int model);
int open_serial(const char* port, int bits_per_second, int model);
int close_tcp();
int close_serial();  // any held port: serial, device or queue (its job sent first)
int open_queue(const char* name, int model);
int open_device(const char* path, int model);
int flush();

// Reports a failure on standard error; the host process carries on.
void report_failure(const char* message);

}  // namespace quorvel::link

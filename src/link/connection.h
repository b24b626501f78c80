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

// What the library has learned about confirming prints on a link, and where
// its last confirm stands (device/confirm.cpp). Cleared when the link closes.
struct ConfirmState {
    enum class Support : std::uint8_t { unknown, process_id, fence_only };
    // Reading apart what the printer sends: a "header to NUL" answer, a
    // 4-byte automatic status group, or single bytes.
    enum class Parse : std::uint8_t { idle, block, group };
    std::uint16_t last_id = 0;      // last ID sent, 1 to 9999; 0: none yet
    std::uint16_t pending_id = 0;   // sent and not yet answered
    std::uint16_t answered_id = 0;  // the latest ID the printer answered
    bool sent_since = false;        // data written after the last request
    std::uint8_t fence_reply = 0;   // the last GS r 1 answer
    bool ever_answered = false;  // the printer has sent anything at all on this link
    Support support = Support::unknown;
    int level = 0;  // quorvel_confirmation of the last confirm
    // Real-time queries sent and not yet answered, oldest first (DLE EOT n).
    std::uint8_t asked[8] = {};
    std::uint8_t asked_count = 0;
    // Parser state, kept across calls so a reply split between them is whole.
    Parse parse = Parse::idle;
    std::uint8_t part[8] = {};
    std::uint8_t block_length = 0;  // bytes of the current "header to NUL" answer so far
    // The latest automatic status group (GS a) and how many have come.
    std::uint8_t group[4] = {};
    std::uint32_t groups_seen = 0;
    // The latest answers to DLE EOT 2, 3 and 4 (index n), and which came.
    std::uint8_t replies[5] = {};
    std::uint8_t replies_seen = 0;  // bit n: DLE EOT n answered since asked
    std::uint8_t fences_pending = 0;
    std::int64_t last_poll_ms = 0;  // when real-time status was last asked (steady clock)
};

// One link to one printer: the default link of the 28 functions and the
// quorvel_* companions, or the link of one printer handle. All zero: nothing
// A spool link's service and printer (quorvel_open_spool).
struct SpoolTarget {
    platform::IpAddress address;
    std::uint16_t port = 0;
    char host[80] = {};      // the Host header: "127.0.0.1:8631"
    char printer[68] = {};   // the service's name of the printer
    std::uint32_t session = 0;  // with `jobs`, each job's Idempotency-Key
    std::uint32_t jobs = 0;
    std::uint8_t reply = 0;  // the answer to the status query just "sent"
    bool has_reply = false;
};

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
    PortKind port_kind = PortKind::serial;
    platform::QueueHandle queue_handle = platform::invalid_handle;
    std::uint8_t* job = nullptr;  // a queue's collected commands, QUORVEL_QUEUE_JOB_MAX bytes
    std::size_t job_size = 0;
    // Set on a spool link: a queue link whose jobs go to a print service.
    SpoolTarget* spool = nullptr;
    ConfirmState confirm;
    // A whole receipt (quorvel_printer_begin): commands collect here, up to
    // QUORVEL_RECEIPT_PIECE bytes, until quorvel_printer_end writes them.
    std::uint8_t* receipt = nullptr;
    std::size_t receipt_size = 0;
    bool collecting = false;
    bool receipt_failed = false;      // a call inside the receipt failed
    bool receipt_piece_sent = false;  // a full piece already went out
    Outcome receipt_failure;          // the first failure inside the receipt
    // Above 0 while a status query or a confirm sends: straight to the link,
    // past the receipt being collected, and not counted as receipt data.
    int direct = 0;

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

// A printer held by a whole receipt (quorvel_printer_begin): the holding
// thread's calls find its lock already theirs, other threads wait for it.
bool held_by_this_thread(std::size_t slot);
void set_held_by_this_thread(std::size_t slot, bool held);
// Ends a call on a printer slot: marks a receipt whose call failed, and lets
// the lock go unless this thread holds the printer for a receipt.
void end_printer_call(std::size_t slot, bool part_of_receipt);

// Holds a printer handle's lock for the life of a quorvel_printer_* call. A
// refused handle holds nothing: the call returns at once. Inside a receipt
// a failed call marks the receipt, unless `part_of_receipt` is false (the
// receipt and confirm functions themselves).
class PrinterGuard {
  public:
    explicit PrinterGuard(quorvel_printer* printer, bool part_of_receipt = true)
        : slot_(bind_printer(printer)), part_of_receipt_(part_of_receipt) {}
    ~PrinterGuard() {
        if (slot_ != no_slot) end_printer_call(slot_, part_of_receipt_);
    }
    explicit operator bool() const { return slot_ != no_slot; }
    std::size_t slot() const { return slot_; }
    PrinterGuard(const PrinterGuard&) = delete;
    PrinterGuard& operator=(const PrinterGuard&) = delete;

  private:
    std::size_t slot_;
    bool part_of_receipt_;
};

// Sends straight to the link for its life, even inside a receipt: status
// queries and confirm requests, whose answers are awaited at once.
class DirectScope {
  public:
    DirectScope() { ++current().direct; }
    ~DirectScope() { --current().direct; }
    DirectScope(const DirectScope&) = delete;
    DirectScope& operator=(const DirectScope&) = delete;
};

// Writes out the receipt collected so far as one piece; true when there was
// none or it was written.
bool send_receipt_piece();
// Reads what the printer sent unasked, in discarded input too: process ID
// answers are remembered for the next confirm (device/confirm.cpp).
void note_printer_input(const std::uint8_t* bytes, std::size_t length);
// Forgets what confirm learned: the link closed.
void reset_confirm_state();
// Confirms everything sent on the current link so far (quorvel_confirm).
int confirm(int timeout_ms);

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
int open_spool(const char* url, const char* printer, int model);
int flush();

// Spool links (spool.cpp): a job handed to the service; a status query
// answered from its view of the printer, read back by spool_reply.
bool spool_send(const std::uint8_t* data, std::size_t length);
bool spool_status_query(const std::uint8_t* command, std::size_t length);
std::optional<std::uint8_t> spool_reply();
// An IPv4 or IPv6 address literal (tcp.cpp).
bool parse_ip_literal(const char* text, platform::IpAddress& address);

// Reports a failure on standard error; the host process carries on.
void report_failure(const char* message);

}  // namespace quorvel::link

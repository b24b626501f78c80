// SPDX-License-Identifier: MIT
// Full printer status: the four real-time status queries DLE EOT 1 to 4, which
// every model answers alike, read into named fields.
#include <chrono>
#include <optional>

#include "api/quorvel.h"
#include "link/command.h"

using namespace quorvel;
namespace platform = quorvel::platform;

namespace {

using Clock = std::chrono::steady_clock;

// A status reply reads 0xx1xx10; an automatic status group starts with a byte
// that reads 0xx1xx00 and has three more bytes.
bool is_status_reply(std::uint8_t byte) {
    return (byte & 0x93) == 0x12;
}
bool starts_status_group(std::uint8_t byte) {
    return (byte & 0x93) == 0x10;
}
constexpr int group_tail = 3;

int ms_left(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Reads bytes from the open link until a status reply arrives, skipping
// anything else (automatic status groups, stray bytes), for at most
// reply_timeout_ms. Records why when none came.
std::optional<std::uint8_t> read_status_reply() {
    const auto deadline = Clock::now() + std::chrono::milliseconds(link::reply_timeout_ms);
    int skip = 0;
    for (;;) {
        std::uint8_t bytes[64];
        std::ptrdiff_t count = 0;
        if (link::current().Statesocket == 1) {
            const int left = ms_left(deadline);
            if (left == 0 || platform::tcp_wait_readable(link::current().remote_socket, left) ==
                                 platform::Wait::timed_out)
                break;
            count = platform::tcp_recv(link::current().remote_socket, bytes, sizeof bytes);
            if (count == platform::would_block) continue;
            if (count == 0) {
                link::fail(QUORVEL_E_LINK_CLOSED, link::current().link_name);
                return std::nullopt;
            }
        } else {
            // One byte at a time, so nothing after the reply is taken from the port.
            count = platform::port_read_within(link::current().serial_handle, bytes, 1,
                                               ms_left(deadline));
            if (count == 0) break;
        }
        if (count < 0) {
            link::fail_from_platform(QUORVEL_E_LINK_CLOSED, link::current().link_name);
            return std::nullopt;
        }
        link::note_printer_input(bytes, static_cast<std::size_t>(count));  // process ID answers count
        for (std::ptrdiff_t i = 0; i < count; ++i) {
            if (skip > 0) {
                --skip;
            } else if (is_status_reply(bytes[i])) {
                return bytes[i];  // anything after it is unasked for: dropped
            } else if (starts_status_group(bytes[i])) {
                skip = group_tail;
            }
        }
        if (ms_left(deadline) == 0) break;
    }
    link::fail_format(QUORVEL_E_NO_REPLY, "%s: no status reply within %d ms",
                      link::current().link_name, link::reply_timeout_ms);
    return std::nullopt;
}

int bit(std::uint8_t byte, int number) {
    return (byte >> number) & 1;
}

void fill(quorvel_status& status, int query, std::uint8_t reply) {
    status.raw[query - 1] = reply;
    switch (query) {
        case 1:  // printer
            status.drawer_pin3 = bit(reply, 2);
            status.online = 1 - bit(reply, 3);
            status.waiting_recovery = bit(reply, 5);
            status.feed_button = bit(reply, 6);
            break;
        case 2:  // off-line cause
            status.cover_open = bit(reply, 2);
            status.paper_feeding = bit(reply, 3);
            status.stopped_paper_end = bit(reply, 5);
            status.error = bit(reply, 6);
            break;
        case 3:  // error cause
            status.recoverable_error = bit(reply, 2);
            status.autocutter_error = bit(reply, 3);
            status.unrecoverable_error = bit(reply, 5);
            status.auto_recoverable_error = bit(reply, 6);
            break;
        default:  // roll paper sensor
            status.paper_near_end = (reply & 0x0C) != 0 ? 1 : 0;
            status.paper_out = (reply & 0x60) != 0 ? 1 : 0;
            break;
    }
}

// A printer-class device's port status (LPGETSTATUS): fills on-line, paper
// out and error where their DLE EOT reply did not come.
void fill_from_port_status(quorvel_status& status) {
    const link::Link& link = link::current();
    if (link.port_kind != link::PortKind::device || link.Statesocket == 1) return;
    const int port = platform::device_port_status(link.serial_handle);
    if (port < 0) return;
    constexpr int no_error = 0x08, selected = 0x10, paper_out = 0x20;  // LP_PERRORP, LP_PSELECD, LP_POUTPA
    if (status.online < 0) status.online = (port & selected) != 0 ? 1 : 0;
    if (status.paper_out < 0) status.paper_out = (port & paper_out) != 0 ? 1 : 0;
    if (status.error < 0) status.error = (port & no_error) != 0 ? 0 : 1;
}

int read_full_status(quorvel_status* status) {
    if (status == nullptr) return link::fail(QUORVEL_E_NULL_INPUT, "status");
    *status =
        quorvel_status{-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, {-1, -1, -1, -1}};
    if (!link::current().is_open()) return link::fail(QUORVEL_E_NO_LINK);
    link::DirectScope direct;  // inside a receipt too: the answers are awaited now
    if (link::status_unavailable() || !link::discard_pending_input()) return 0;
    for (int query = 1; query <= 4; ++query) {
        Command<3> cmd;
        cmd.put(DLE, EOT, query);  // DLE EOT n: real-time status
        const bool asked = cmd.send();
        const std::optional<std::uint8_t> reply = asked ? read_status_reply() : std::nullopt;
        // A printer that misses one reply is not answering: asking on would
        // only add another wait.
        if (!reply) {
            fill_from_port_status(*status);
            return 0;
        }
        fill(*status, query, *reply);
    }
    return 1;
}

}  // namespace

extern "C" int QUORVEL_CALL quorvel_read_status(quorvel_status* status) {
    link::CallGuard guard;
    return read_full_status(status);
}

extern "C" int QUORVEL_CALL quorvel_printer_read_status(quorvel_printer* printer,
                                                        quorvel_status* status) {
    link::PrinterGuard guard(printer, false);
    return guard ? read_full_status(status) : 0;
}

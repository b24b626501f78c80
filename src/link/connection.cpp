// SPDX-License-Identifier: MIT
#include "link/connection.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "api/quorvel.h"

namespace quorvel::link {

Link default_link;
constinit thread_local Link* current_link = &default_link;

void set_link_name(const char* name) {
    char* link_name = current().link_name;
    std::size_t length = ::strnlen(name, link_name_capacity - 1);
    std::memcpy(link_name, name, length);
    link_name[length] = '\0';
}

namespace {

using Clock = std::chrono::steady_clock;

int remaining_ms(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

bool send_over_tcp(const Link& link, const std::uint8_t* command, std::size_t length) {
    const platform::SocketHandle remote_socket = link.remote_socket;
    const char* link_name = link.link_name;
    // Normal case: the whole command goes out in one send and no clock is read.
    std::ptrdiff_t count = platform::tcp_send(remote_socket, command, length);
    if (count < 0) return fail_from_platform(QUORVEL_E_WRITE_FAILED, link_name);
    std::size_t written = static_cast<std::size_t>(count);
    if (written == length) return true;
    // The socket buffer is full: continue within the write time-out, counted
    // from here (the first, non-blocking send took microseconds).
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(write_timeout_base_ms + length);
    while (written < length) {
        int left = remaining_ms(deadline);
        if (left == 0 || platform::tcp_wait_writable(remote_socket, left) != platform::Wait::ready)
            return fail_format(QUORVEL_E_WRITE_FAILED, "%s: %u of %u bytes written before the time-out",
                               link_name, static_cast<unsigned>(written),
                               static_cast<unsigned>(length));
        count = platform::tcp_send(remote_socket, command + written, length - written);
        if (count < 0) return fail_from_platform(QUORVEL_E_WRITE_FAILED, link_name);
        written += static_cast<std::size_t>(count);
    }
    return true;
}

}  // namespace

bool queue_command(const std::uint8_t* command, std::size_t length);  // queue.cpp

// Writes to the link at once, whatever is being collected.
static bool write_now(const std::uint8_t* command, std::size_t length) {
    const Link& link = current();
    if (link.Statesocket == 1) return send_over_tcp(link, command, length);
    if (!link.serial_port_held) return fail(QUORVEL_E_NO_LINK);
    const char* link_name = link.link_name;
    if (link.port_kind == PortKind::queue) return queue_command(command, length);
    const std::ptrdiff_t count = platform::port_write(link.serial_handle, command, length);
    if (count == static_cast<std::ptrdiff_t>(length)) return true;
    if (count < 0) return fail_from_platform(QUORVEL_E_WRITE_FAILED, link_name);
    return fail_format(QUORVEL_E_WRITE_FAILED, "%s: %u of %u bytes written before the time-out",
                       link_name, static_cast<unsigned>(count), static_cast<unsigned>(length));
}

namespace {

constexpr std::size_t receipt_capacity = QUORVEL_RECEIPT_PIECE;

// Data (not a query or a confirm request) goes to the link: a confirm after
// it needs a new ID.
bool write_data(const std::uint8_t* command, std::size_t length) {
    if (length != 0) current().confirm.sent_since = true;
    return write_now(command, length);
}

// Inside a receipt: appended to the receipt, which goes out as a piece first
// when it would pass its capacity; a command larger than a piece goes out in
// pieces of its own, straight after.
bool collect(const std::uint8_t* command, std::size_t length) {
    Link& link = current();
    if (length > receipt_capacity - link.receipt_size && !send_receipt_piece()) return false;
    if (length <= receipt_capacity) {
        std::memcpy(link.receipt + link.receipt_size, command, length);
        link.receipt_size += length;
        return true;
    }
    link.receipt_piece_sent = true;
    for (std::size_t at = 0; at < length; at += receipt_capacity)
        if (!write_data(command + at, std::min(receipt_capacity, length - at))) return false;
    return true;
}

}  // namespace

bool send_receipt_piece() {
    Link& link = current();
    if (link.receipt_size == 0) return true;
    link.receipt_piece_sent = true;
    const bool written = write_data(link.receipt, link.receipt_size);
    link.receipt_size = 0;
    return written;
}

bool send_command(const std::uint8_t* command, std::size_t length) {
    const Link& link = current();
    if (link.direct > 0) return write_now(command, length);
    if (link.collecting) return collect(command, length);
    return write_data(command, length);
}

bool discard_pending_input() {
    const Link& link = current();
    // Bounded, so a printer that streams without pause cannot hold the call.
    std::uint8_t scratch[512];
    if (link.Statesocket == 1) {
        for (int round = 0; round < 64; ++round) {
            std::ptrdiff_t count = platform::tcp_recv(link.remote_socket, scratch, sizeof scratch);
            if (count == -1) {
                // The printer reset the link before the query: report it now, since the
                // error is consumed by this receive and the query's own would not see it.
                report_failure("recv() failed\n");
                return fail_from_platform(QUORVEL_E_LINK_CLOSED, link.link_name);
            }
            if (count <= 0) break;
            note_printer_input(scratch, static_cast<std::size_t>(count));
        }
    } else if (link.serial_port_held && link.port_kind != PortKind::queue) {
        // Read first what is there: a process ID answer among it counts for the next confirm.
        for (int round = 0; round < 64; ++round) {
            const std::ptrdiff_t count =
                platform::port_read_within(link.serial_handle, scratch, sizeof scratch, 0);
            if (count <= 0) break;
            note_printer_input(scratch, static_cast<std::size_t>(count));
        }
        platform::port_discard_input(link.serial_handle);
    }
    // Answers a confirm's status poll still expected are among what was dropped.
    current().confirm.asked_count = 0;
    return true;
}

std::optional<std::uint8_t> recv_reply() {
    Link& link = current();
    const char* link_name = link.link_name;
    if (link.Statesocket == 1) {
        std::uint8_t* message = link.message;
        int& message_length = link.message_length;
        const platform::SocketHandle remote_socket = link.remote_socket;
        // Only recv below writes here, so bytes past the last reply are still zero.
        std::memset(message, 0, static_cast<std::size_t>(message_length));
        message_length = 0;
        if (platform::tcp_wait_readable(remote_socket, reply_timeout_ms) == platform::Wait::timed_out) {
            fail(QUORVEL_E_NO_REPLY, link_name);
            return std::nullopt;
        }
        std::ptrdiff_t count = platform::tcp_recv(remote_socket, message, message_capacity);
        if (count == -1) {
            report_failure("recv() failed\n");
            fail_from_platform(QUORVEL_E_LINK_CLOSED, link_name);
            return std::nullopt;
        }
        // Closed by the printer, or nothing after all.
        if (count == 0) fail(QUORVEL_E_LINK_CLOSED, link_name);
        if (count < 0) fail(QUORVEL_E_NO_REPLY, link_name);
        if (count <= 0) return std::nullopt;
        message_length = static_cast<int>(count);
        note_printer_input(message, static_cast<std::size_t>(count));  // a process ID answer among it
        return message[0];
    }
    if (!link.serial_port_held) {
        fail(QUORVEL_E_NO_LINK);
        return std::nullopt;
    }
    if (link.spool) return spool_reply();
    if (status_unavailable()) return std::nullopt;
    std::uint8_t byte = 0;
    const std::ptrdiff_t count = platform::port_read(link.serial_handle, &byte, 1);
    if (count == 1) return byte;
    if (count < 0)
        fail_from_platform(QUORVEL_E_LINK_CLOSED, link_name);
    else
        fail(QUORVEL_E_NO_REPLY, link_name);
    return std::nullopt;
}

void report_failure(const char* text) { platform::write_error(text); }

}  // namespace quorvel::link

// SPDX-License-Identifier: MIT
// Status queries: one three-byte query, one reply byte, one status code.
//
// Automatic status back (GS a, which a host can switch on through ComandoTx)
// makes the printer send groups of 4 bytes unasked, e.g. when the drawer
// opens. Where the query's reply can be told apart from a group's first byte
// (0xx1xx00), the groups are skipped and the reply is read on within the same
// reply time-out:
//   - DLE EOT 1 (Le_Status, models 0, 1 and 3): every reply matches 0xx1xx10;
//   - GS r 2 (Le_Status_Gaveta): bit 4 of the reply is always 0.
// ESC v (Le_Status, model 2) is laid out differently by each maker, so no
// byte can be ruled out as its reply: it reads the first byte as before.
// A group byte with nothing after it within the time-out is taken as the
// reply, as it always was.
#include <chrono>
#include <optional>

#include "api/quorvel.h"
#include "link/command.h"

using namespace quorvel;

namespace {

// First byte of an automatic status back group: 0xx1xx00.
constexpr bool opens_status_group(std::uint8_t b) { return (b & 0x93) == 0x10; }
constexpr std::size_t status_group_length = 4;

using Clock = std::chrono::steady_clock;

int ms_left(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// The reply after the status groups at the front of `message`, receiving
// more while a group is incomplete or nothing follows it.
std::optional<std::uint8_t> reply_after_groups_tcp(Clock::time_point deadline) {
    link::Link& link = link::current();
    std::size_t at = 0;
    for (;;) {
        const auto have = static_cast<std::size_t>(link.message_length);
        while (at < have && opens_status_group(link.message[at]) &&
               at + status_group_length <= have)
            at += status_group_length;
        if (at < have && !opens_status_group(link.message[at])) return link.message[at];
        const int left = ms_left(deadline);
        if (left == 0 || have == link::message_capacity ||
            platform::tcp_wait_readable(link.remote_socket, left) != platform::Wait::ready)
            return std::nullopt;
        const std::ptrdiff_t count = platform::tcp_recv(link.remote_socket, link.message + have,
                                                        link::message_capacity - have);
        if (count <= 0) return std::nullopt;
        link.message_length += static_cast<int>(count);
    }
}

std::optional<std::uint8_t> reply_after_groups_serial(Clock::time_point deadline) {
    for (;;) {
        std::uint8_t rest[status_group_length];  // the group's other 3 bytes, then the reply
        std::size_t got = 0;
        while (got < status_group_length) {
            const int left = ms_left(deadline);
            if (left == 0) return std::nullopt;
            const std::ptrdiff_t count = platform::port_read_within(
                link::current().serial_handle, rest + got, status_group_length - got, left);
            if (count <= 0) return std::nullopt;
            got += static_cast<std::size_t>(count);
        }
        if (!opens_status_group(rest[3])) return rest[3];
    }
}

// Sends a query and reads the first byte of its answer on the same link. The
// reply is read even when the write failed: a printer that reset the link shows
// it there, and every wait is bounded. With `skip_groups`, status groups that
// come before the reply are passed over.
std::optional<std::uint8_t> query(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2,
                                  bool skip_groups) {
    link::DirectScope direct;  // inside a receipt too: the answer is awaited now
    if (link::status_unavailable() || !link::discard_pending_input()) return std::nullopt;
    Command<3> cmd;
    cmd.put(b0, b1, b2);
    cmd.send();
    const auto deadline = Clock::now() + std::chrono::milliseconds(link::reply_timeout_ms);
    const auto first = link::recv_reply();
    if (!skip_groups || !first || !opens_status_group(*first)) return first;
    const bool tcp = link::current().Statesocket == 1;
    if (!tcp && !link::current().serial_port_held) return first;
    const auto reply = tcp ? reply_after_groups_tcp(deadline) : reply_after_groups_serial(deadline);
    return reply ? reply : first;
}

// Models 0, 1 and 3: DLE EOT 1. Model 0 reads every unlisted byte as 24.
int printer_status_code(int model, std::uint8_t reply) {
    switch (reply) {
        case 0x1A: return QUORVEL_STATUS_OFFLINE;
        case 0x12: return QUORVEL_STATUS_READY;
        case 0x1E: return QUORVEL_STATUS_OFFLINE_PIN3_HIGH;
        case 0x16: return QUORVEL_STATUS_PIN3_HIGH;
        default: return model == 0 ? QUORVEL_STATUS_PIN3_HIGH : QUORVEL_STATUS_NONE;
    }
}

// Model 2: ESC v.
int paper_sensor_code(std::uint8_t reply) {
    switch (reply) {
        case 0x04: return QUORVEL_STATUS_OFFLINE_PIN3_HIGH;
        case 0x00: return QUORVEL_STATUS_PIN3_HIGH;
        default: return QUORVEL_STATUS_NONE;
    }
}

int read_printer_status() {
    const int model = link::current().printer_model;
    switch (model) {
        case 0:
        case 1:
        case 3: {
            auto reply = query(DLE, EOT, 0x01, true);  // DLE EOT 1: printer status
            return reply ? printer_status_code(model, *reply) : QUORVEL_STATUS_NONE;
        }
        case 2: {
            auto reply = query(ESC, 'v', 0x01, false);  // ESC v: paper sensor status
            return reply ? paper_sensor_code(*reply) : QUORVEL_STATUS_NONE;
        }
        default:  // unknown model: nothing is sent
            link::fail_format(QUORVEL_E_BAD_ARGUMENT, "model %d has no status query", model);
            return QUORVEL_STATUS_NONE;
    }
}

}  // namespace

extern "C" int QUORVEL_CALL Le_Status() {
    link::CallGuard guard;
    return read_printer_status();
}

extern "C" int QUORVEL_CALL quorvel_printer_status(quorvel_printer* printer) {
    link::PrinterGuard guard(printer, false);
    return guard ? read_printer_status() : 0;
}

namespace {

int read_drawer_status() {
    auto reply = query(GS, 'r', 0x02, true);  // GS r 2: drawer kick-out connector status
    if (!reply) return QUORVEL_STATUS_NONE;
    return *reply == 0x00 ? QUORVEL_DRAWER_LOW : QUORVEL_DRAWER_HIGH;
}

}  // namespace

extern "C" int QUORVEL_CALL Le_Status_Gaveta() {
    link::CallGuard guard;
    return read_drawer_status();
}

extern "C" int QUORVEL_CALL quorvel_printer_drawer_status(quorvel_printer* printer) {
    link::PrinterGuard guard(printer, false);
    return guard ? read_drawer_status() : 0;
}

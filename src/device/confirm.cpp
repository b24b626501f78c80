// SPDX-License-Identifier: MIT
// Confirmed printing. A confirm ties an ID to everything sent before it with
// GS ( H fn 48 and waits for the printer's answer 37 22 ID 00, asking for the
// real-time status meanwhile so that a held printer is reported at once.
// Whether the printer answers GS ( H is learned at the link's first confirm,
// which adds a GS r 1 fence; printers without it are then confirmed by the
// fence alone, which says the data arrived (see quorvel.h).
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "api/quorvel.h"
#include "link/command.h"

using namespace quorvel;
using Support = link::ConfirmState::Support;
using Parse = link::ConfirmState::Parse;

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint8_t process_id_header = 0x37;  // 37 22 d1 d2 d3 d4 00
constexpr std::uint8_t process_id_kind = 0x22;
constexpr std::uint8_t identity_header = 0x5F;  // GS I answers: also header to NUL
constexpr std::uint8_t block_limit = 80;        // longer: no answer of ours, give up on it
constexpr std::uint16_t id_count = 9999;        // IDs "0001" to "9999"
constexpr int settle_ms = 100;                  // for status answers still on their way

constexpr bool is_status_reply(std::uint8_t b) {
    return (b & 0x93) == 0x12;
}  // 0xx1xx10
constexpr bool opens_status_group(std::uint8_t b) {
    return (b & 0x93) == 0x10;
}  // 0xx1xx00

std::int64_t now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
        .count();
}

bool is_digit(std::uint8_t b) {
    return b >= '0' && b <= '9';
}

// A finished "header to NUL" answer: a process ID of four digits is ours.
void finish_block(link::ConfirmState& c) {
    const std::uint8_t* p = c.part;
    if (c.block_length != 5 || p[0] != process_id_kind) return;
    if (!is_digit(p[1]) || !is_digit(p[2]) || !is_digit(p[3]) || !is_digit(p[4])) return;
    const int id = (p[1] - '0') * 1000 + (p[2] - '0') * 100 + (p[3] - '0') * 10 + (p[4] - '0');
    if (id == 0) return;
    c.answered_id = static_cast<std::uint16_t>(id);
    c.support = Support::process_id;  // whatever was guessed before
}

void take_byte(link::ConfirmState& c, std::uint8_t b) {
    switch (c.parse) {
        case Parse::block:
            if (b == 0x00) {
                finish_block(c);
                c.parse = Parse::idle;
            } else if (c.block_length >= block_limit) {
                c.parse = Parse::idle;
            } else {
                if (c.block_length < sizeof c.part) c.part[c.block_length] = b;
                ++c.block_length;
            }
            return;
        case Parse::group:
            c.part[c.block_length++] = b;
            if (c.block_length == 4) {
                for (int i = 0; i < 4; ++i) c.group[i] = c.part[i];
                ++c.groups_seen;
                c.parse = Parse::idle;
            }
            return;
        case Parse::idle:
            break;
    }
    if (b == process_id_header || b == identity_header) {
        c.parse = Parse::block;
        c.block_length = 0;
    } else if (opens_status_group(b)) {
        c.parse = Parse::group;
        c.part[0] = b;
        c.block_length = 1;
    } else if (is_status_reply(b)) {
        if (c.asked_count == 0) return;  // a late answer to someone else's query
        const std::uint8_t query = c.asked[0];
        for (std::uint8_t i = 1; i < c.asked_count; ++i) c.asked[i - 1] = c.asked[i];
        --c.asked_count;
        c.replies[query] = b;
        c.replies_seen = static_cast<std::uint8_t>(c.replies_seen | 1u << query);
    } else if ((b & 0x10) == 0 && c.fences_pending > 0) {
        // GS r 1 answers keep bit 4 clear, unlike every byte above.
        c.fence_reply = b;
        --c.fences_pending;
    }
}

// "0001" follows "9999". An answer at or after the wanted ID covers it:
// the printer sends only the latest of several IDs due at once.
bool covers(std::uint16_t answered, std::uint16_t wanted) {
    if (answered == 0 || wanted == 0) return false;
    const int ahead = (answered - wanted + id_count) % id_count;
    return ahead < id_count / 2;
}

enum class Input { data, nothing, closed };

// Reads what the printer sent within wait_ms into the parser.
Input read_input(int wait_ms) {
    link::Link& link = link::current();
    std::uint8_t bytes[512];
    std::ptrdiff_t count = 0;
    if (link.Statesocket == 1) {
        const auto waited = platform::tcp_wait_readable(link.remote_socket, wait_ms);
        if (waited == platform::Wait::timed_out) return Input::nothing;
        count = platform::tcp_recv(link.remote_socket, bytes, sizeof bytes);
        if (count == platform::would_block) return Input::nothing;
        if (count <= 0) return Input::closed;  // closed (0) or reset (-1)
    } else {
        count = platform::port_read_within(link.serial_handle, bytes, sizeof bytes, wait_ms);
        if (count == 0) return Input::nothing;
        if (count < 0) return Input::closed;
    }
    link::note_printer_input(bytes, static_cast<std::size_t>(count));
    return Input::data;
}

// Why the printer holds the receipt, from the latest status, or null.
const char* held_cause(const link::ConfirmState& c, std::uint32_t groups_at_start) {
    if (c.groups_seen != groups_at_start) {  // automatic status back during this wait
        const std::uint8_t* g = c.group;
        if ((g[2] & 0x0C) != 0) return "paper out";
        if ((g[0] & 0x20) != 0) return "cover open";
        if ((g[1] & 0x08) != 0) return "autocutter error";
        if ((g[1] & 0x20) != 0) return "unrecoverable error";
        if ((g[1] & 0x40) != 0) return "auto-recoverable error";
    }
    if (c.asked_count > 0) return nullptr;  // a poll is read whole: its answers belong together
    const bool have2 = (c.replies_seen & 1u << 2) != 0, have4 = (c.replies_seen & 1u << 4) != 0;
    if (have4 && (c.replies[4] & 0x60) != 0) return "paper out";
    if (!have2) return nullptr;
    const std::uint8_t offline_cause = c.replies[2];
    if ((offline_cause & 0x20) != 0) return "paper out";
    if ((offline_cause & 0x04) != 0) return "cover open";
    if ((offline_cause & 0x40) == 0) return nullptr;
    if ((c.replies_seen & 1u << 3) == 0) return nullptr;  // its cause is asked for next
    const std::uint8_t error_cause = c.replies[3];
    if ((error_cause & 0x08) != 0) return "autocutter error";
    if ((error_cause & 0x20) != 0) return "unrecoverable error";
    if ((error_cause & 0x40) != 0) return "auto-recoverable error";
    if ((error_cause & 0x04) != 0) return "recoverable error";
    return "error";
}

// Sends real-time status queries (DLE EOT n each), answered at once even
// while the printer is off line; their answers are expected in order.
bool ask_status(std::initializer_list<std::uint8_t> queries) {
    link::ConfirmState& c = link::current().confirm;
    Command<8> cmd;
    for (std::uint8_t n : queries) {
        cmd.put(DLE, EOT, n);
        if (c.asked_count < sizeof c.asked) c.asked[c.asked_count++] = n;
        // A new DLE EOT 2 makes an older error cause (DLE EOT 3) stale too.
        const unsigned stale = n == 2 ? (1u << 2 | 1u << 3) : 1u << n;
        c.replies_seen = static_cast<std::uint8_t>(c.replies_seen & ~stale);
    }
    c.last_poll_ms = now_ms();
    return cmd.send();
}

// Ties the next ID (and, while the printer's support is not known, a GS r 1
// fence) to everything sent before.
bool send_request(bool& fence_asked) {
    link::ConfirmState& c = link::current().confirm;
    Command<16> cmd;
    if (c.support != Support::fence_only) {
        const std::uint16_t id = static_cast<std::uint16_t>(c.last_id % id_count + 1);
        // GS ( H pL pH fn m d1 d2 d3 d4: fn 48, m 48, the ID as four digits.
        cmd.put(GS, '(', 'H', 6, 0, 48, 48);
        cmd.put('0' + id / 1000, '0' + id / 100 % 10, '0' + id / 10 % 10, '0' + id % 10);
        c.last_id = id;
        c.pending_id = id;
    } else {
        c.pending_id = 0;
    }
    fence_asked = c.support != Support::process_id;
    if (fence_asked) {
        cmd.put(GS, 'r', 1);  // GS r 1: paper sensor status, answered when reached
        ++c.fences_pending;
    }
    c.sent_since = false;
    return cmd.send();
}

// Replaces the failure of the read or write that found it (write failed,
// link closed), which would send the caller to reopen rather than to reprint.
int outcome_unknown(const char* why) {
    const link::Link& link = link::current();
    link::begin_call();
    return link::fail_format(QUORVEL_E_OUTCOME_UNKNOWN, "%s: %s", link.link_name, why);
}

// Waits briefly for status answers still on their way, so that none is left
// for the next call to take as its own.
void settle() {
    const link::ConfirmState& c = link::current().confirm;
    const auto until = Clock::now() + std::chrono::milliseconds(settle_ms);
    while (c.asked_count > 0 && Clock::now() < until)
        if (read_input(settle_ms) != Input::data) break;
}

int ms_until(Clock::time_point when) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(when - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

int confirmed(int level) {
    settle();
    link::current().confirm.level = level;
    return 1;
}

int confirm_on_queue() {
    // Spoolers pass nothing back: the job is sent, and accepted is all there is to know.
    if (!link::flush_job()) return 0;
    link::current().confirm.level = QUORVEL_CONFIRM_SPOOLED;
    return 1;
}

}  // namespace

namespace quorvel::link {

void note_printer_input(const std::uint8_t* bytes, std::size_t length) {
    ConfirmState& c = current().confirm;
    if (length != 0) c.ever_answered = true;
    for (std::size_t i = 0; i < length; ++i) take_byte(c, bytes[i]);
}

void reset_confirm_state() {
    current().confirm = ConfirmState{};
}

int confirm(int timeout_ms) {
    Link& link = current();
    ConfirmState& c = link.confirm;
    c.level = QUORVEL_CONFIRM_NONE;
    if (timeout_ms < 0) return fail_format(QUORVEL_E_BAD_ARGUMENT, "time-out of %d ms", timeout_ms);
    if (!link.is_open()) return fail(QUORVEL_E_NO_LINK);
    if (link.collecting)
        return fail(QUORVEL_E_BAD_ARGUMENT,
                    "confirm inside a receipt; quorvel_printer_end sends and confirms it");
    if (link.Statesocket != 1 && link.port_kind == PortKind::queue) return confirm_on_queue();
    DirectScope direct;
    // Status answers asked long ago will not come any more.
    if (c.asked_count > 0 && now_ms() - c.last_poll_ms > reply_timeout_ms) c.asked_count = 0;
    if (read_input(0) == Input::closed)
        return outcome_unknown("the link dropped after the receipt was sent");
    // A confirm left waiting (held, time-out) waits for the same ID while
    // nothing new was sent; anything sent since needs an ID of its own.
    const bool fence_waiting = c.fences_pending > 0 && c.support != Support::process_id;
    bool fence_asked = fence_waiting;
    const bool waiting = c.pending_id != 0 || fence_waiting;
    if ((c.sent_since || !waiting) && !send_request(fence_asked))
        return outcome_unknown("the link failed while asking the printer to confirm");

    const std::uint32_t groups_at_start = c.groups_seen;
    c.replies_seen = 0;
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::milliseconds(timeout_ms);
    const auto poll_every = std::chrono::milliseconds(QUORVEL_CONFIRM_POLL_MS);
    auto next_poll = start + poll_every;
    // Clock::time_point::max(): not set.
    constexpr auto unset = Clock::time_point::max();
    auto asked_at = unset, learn_until = unset;
    for (;;) {
        const auto now = Clock::now();
        if (covers(c.answered_id, c.pending_id)) {
            c.pending_id = 0;
            c.fences_pending = 0;  // a fence answer still to come is passed over
            return confirmed(QUORVEL_CONFIRM_PRINTED);
        }
        const bool arrived = fence_asked && c.fences_pending == 0;
        const char* cause = held_cause(c, groups_at_start);
        if (arrived && (c.fence_reply & 0x0C) != 0)
            cause = "paper out";  // GS r 1 bits 2, 3: paper end
        if (cause != nullptr) {
            settle();
            return fail_format(QUORVEL_E_HELD, "%s: %s", link.link_name, cause);
        }
        if (arrived && c.support == Support::fence_only) return confirmed(QUORVEL_CONFIRM_ARRIVED);
        if (arrived && learn_until == unset)
            learn_until = now + std::chrono::milliseconds(QUORVEL_CONFIRM_LEARN_MS);
        if (learn_until != unset && now >= learn_until) {
            // Everything was processed and the printer is fine, yet no ID: it has no GS ( H.
            c.support = Support::fence_only;
            c.pending_id = 0;
            return confirmed(QUORVEL_CONFIRM_ARRIVED);
        }
        if (c.asked_count == 0) asked_at = unset;
        if (asked_at != unset && now - asked_at >= std::chrono::milliseconds(reply_timeout_ms)) {
            if (link.port_kind == PortKind::device && !c.ever_answered &&
                c.support == Support::unknown)
                return fail_format(QUORVEL_E_CANNOT_CONFIRM, "%s: the printer answers nothing",
                                   link.link_name);
            return outcome_unknown("the printer stopped answering after the receipt was sent");
        }
        if (now >= deadline) {
            if (arrived)
                return confirmed(QUORVEL_CONFIRM_ARRIVED);  // still learning: arrival is known
            outcome_unknown(c.support == Support::fence_only
                                ? "the printer did not reach the end of the receipt in time"
                                : "no confirmation in time, though the printer answers");
            outcome().hint =
                "confirm again to wait longer, or reprint it marked as a copy (it may yet print)";
            return 0;
        }
        // DLE EOT 2 (off-line cause) and 4 (paper) every poll; 3 (error cause)
        // straight after a 2 that reports an error.
        const bool need_cause = (c.replies_seen & 1u << 2) != 0 && (c.replies[2] & 0x40) != 0 &&
                                (c.replies_seen & 1u << 3) == 0;
        if (asked_at == unset && (need_cause || now >= next_poll)) {
            if (!(need_cause ? ask_status({3}) : ask_status({2, 4})))
                return outcome_unknown("the link dropped after the receipt was sent");
            asked_at = now;
            next_poll = now + poll_every;
        }
        auto wake = deadline;
        if (asked_at != unset)
            wake = std::min(wake, asked_at + std::chrono::milliseconds(reply_timeout_ms));
        else
            wake = std::min(wake, next_poll);
        wake = std::min(wake, learn_until);
        if (read_input(ms_until(wake)) == Input::closed)
            return outcome_unknown("the link dropped after the receipt was sent");
    }
}

}  // namespace quorvel::link

extern "C" int QUORVEL_CALL quorvel_confirm(int timeout_ms) {
    link::CallGuard guard;
    return link::confirm(timeout_ms);
}

extern "C" int QUORVEL_CALL quorvel_confirm_level() {
    // Reads under the link's lock but records no outcome of its own.
    platform::lock_library();
    const int level = link::default_link.confirm.level;
    platform::unlock_library();
    return level;
}

extern "C" int QUORVEL_CALL quorvel_printer_confirm(quorvel_printer* printer, int timeout_ms) {
    link::PrinterGuard guard(printer, false);
    return guard ? link::confirm(timeout_ms) : 0;
}

extern "C" int QUORVEL_CALL quorvel_printer_confirm_level(quorvel_printer* printer) {
    link::PrinterGuard guard(printer, false);
    return guard ? link::current().confirm.level : QUORVEL_CONFIRM_NONE;
}

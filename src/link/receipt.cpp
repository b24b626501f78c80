// SPDX-License-Identifier: MIT
// Whole receipts: a printer held for one thread while its calls collect into
// one buffer, written at the end in one write (in pieces when large); and
// bytes sent exactly as they are.
#include <cstdio>
#include <new>

#include "api/quorvel.h"
#include "link/connection.h"

namespace quorvel::link {
namespace {

// Bytes as they are: no framing, any length (collected inside a receipt).
int write_bytes(const unsigned char* bytes, int length) {
    if (length < 0) return fail_format(QUORVEL_E_BAD_ARGUMENT, "length %d", length);
    if (bytes == nullptr && length > 0) return fail(QUORVEL_E_NULL_INPUT, "bytes");
    if (!current().is_open()) return fail(QUORVEL_E_NO_LINK);
    if (length == 0) return 1;
    return send_command(bytes, static_cast<std::size_t>(length)) ? 1 : 0;
}

int begin_receipt(std::size_t slot) {
    Link& link = current();
    if (link.collecting)
        return fail(QUORVEL_E_BAD_ARGUMENT,
                    "this thread already has a receipt open on the printer");
    if (link.receipt == nullptr) {
        link.receipt = new (std::nothrow) std::uint8_t[QUORVEL_RECEIPT_PIECE];
        if (link.receipt == nullptr) return fail(QUORVEL_E_SYSTEM, "out of memory for a receipt");
    }
    link.receipt_size = 0;
    link.receipt_failed = false;
    link.receipt_piece_sent = false;
    link.collecting = true;
    set_held_by_this_thread(slot, true);
    return 1;
}

// Stops collecting and lets the printer go when the call's guard ends.
bool finish_receipt(std::size_t slot) {
    Link& link = current();
    if (!link.collecting) {
        fail(QUORVEL_E_BAD_ARGUMENT, "no receipt begun on this printer by this thread");
        return false;
    }
    link.collecting = false;
    set_held_by_this_thread(slot, false);
    return true;
}

// The first failure inside the receipt, reported again: nothing was sent.
int refuse_failed_receipt() {
    Link& link = current();
    link.receipt_size = 0;
    if (link.receipt_piece_sent)
        return fail_format(QUORVEL_E_OUTCOME_UNKNOWN,
                           "%s: a call inside the receipt failed after part of it was sent",
                           link.link_name);
    Outcome& record = outcome();
    record = link.receipt_failure;
    char subject[subject_capacity];
    std::snprintf(subject, sizeof subject, "%.*s", static_cast<int>(sizeof subject - 1),
                  record.subject);
    std::snprintf(record.subject, sizeof record.subject, "receipt not sent: %.*s",
                  static_cast<int>(sizeof record.subject - 20), subject);
    return 0;
}

int end_receipt(std::size_t slot, int confirm_timeout_ms) {
    if (!finish_receipt(slot)) return 0;
    Link& link = current();
    if (link.receipt_failed) return refuse_failed_receipt();
    if (!send_receipt_piece()) {
        if (confirm_timeout_ms <= 0) return 0;
        // Part of it may be on its way to the paper: only a copy is safe now.
        begin_call();
        return fail_format(QUORVEL_E_OUTCOME_UNKNOWN,
                           "%s: the link failed while the receipt was sent", link.link_name);
    }
    return confirm_timeout_ms > 0 ? confirm(confirm_timeout_ms) : 1;
}

int cancel_receipt(std::size_t slot) {
    if (!finish_receipt(slot)) return 0;
    current().receipt_size = 0;
    return 1;
}

}  // namespace
}  // namespace quorvel::link

using namespace quorvel::link;

extern "C" int QUORVEL_CALL quorvel_write(const unsigned char* bytes, int length) {
    CallGuard guard;
    return write_bytes(bytes, length);
}

extern "C" int QUORVEL_CALL quorvel_printer_write(quorvel_printer* printer,
                                                  const unsigned char* bytes, int length) {
    PrinterGuard guard(printer);
    return guard ? write_bytes(bytes, length) : 0;
}

extern "C" int QUORVEL_CALL quorvel_printer_begin(quorvel_printer* printer) {
    PrinterGuard guard(printer, false);
    return guard ? begin_receipt(guard.slot()) : 0;
}

extern "C" int QUORVEL_CALL quorvel_printer_end(quorvel_printer* printer, int confirm_timeout_ms) {
    PrinterGuard guard(printer, false);
    return guard ? end_receipt(guard.slot(), confirm_timeout_ms) : 0;
}

extern "C" int QUORVEL_CALL quorvel_printer_cancel(quorvel_printer* printer) {
    PrinterGuard guard(printer, false);
    return guard ? cancel_receipt(guard.slot()) : 0;
}

// SPDX-License-Identifier: MIT
#include "link/outcome.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "api/quorvel.h"
#include "link/platform.h"

namespace quorvel::link {
namespace {

// Each code's message: what happened, then what the user can try. A table of
// rows rather than an array by code, so codes can be added in any order.
struct Message {
    int code;
    const char* summary;
    const char* hint;  // nullptr: nothing to try
};

#if defined(_WIN32)
#define QUORVEL_PERMISSION_HINT "close other programs that use the port, or ask for access to it"
#define QUORVEL_PORT_EXAMPLE "COM1"
#define QUORVEL_QUEUE_LIST "the list of printers in the Settings"
#define QUORVEL_QUEUE_RESUME "resume the printer in its queue window"
#define QUORVEL_QUEUE_ACCEPT "check the printer's queue window"
#else
#define QUORVEL_PERMISSION_HINT "add the user to group dialout (usermod -aG dialout USER) and log in again"
#define QUORVEL_PORT_EXAMPLE "/dev/ttyS0 or /dev/ttyUSB0"
#define QUORVEL_QUEUE_LIST "lpstat -p"
#define QUORVEL_QUEUE_RESUME "resume it with cupsenable NAME"
#define QUORVEL_QUEUE_ACCEPT "check that it accepts jobs (cupsaccept NAME) and the spooler's log"
#endif
#define QUORVEL_STRINGIFY(x) #x
#define QUORVEL_TEXT(x) QUORVEL_STRINGIFY(x)

constexpr Message messages[] = {
    {QUORVEL_E_OK, "ok", nullptr},
    {QUORVEL_E_NO_LINK, "no link is open",
     "open one first (AbreSocket, AbrePortaSerial, quorvel_open_tcp or quorvel_open_serial)"},
    {QUORVEL_E_ALREADY_OPEN, "a TCP link is already open", "close it with FechaSocket first"},
    {QUORVEL_E_BAD_ADDRESS, "not an IPv4 or IPv6 address literal",
     "give an address such as 192.168.0.50 or fe80::1; host names are not resolved"},
    {QUORVEL_E_BAD_PORT, "TCP port outside 1 to 65535",
     "give the printer's port (most listen on 9100)"},
    {QUORVEL_E_REFUSED, "connection refused",
     "check that the printer is on, and the address and port"},
    {QUORVEL_E_TIMED_OUT, "connection timed out",
     "check that the printer is on and on this network, and the address"},
    {QUORVEL_E_UNREACHABLE, "address unreachable", "check the address and this computer's network"},
    {QUORVEL_E_PORT_NOT_FOUND, "serial port not found",
     "check the port name and that the adapter is plugged in"},
    {QUORVEL_E_PERMISSION_DENIED, "permission denied", QUORVEL_PERMISSION_HINT},
    {QUORVEL_E_PORT_BUSY, "serial port busy", "close the program that holds the port and try again"},
    {QUORVEL_E_NOT_SERIAL, "not a serial device",
     "name a serial port such as " QUORVEL_PORT_EXAMPLE},
    {QUORVEL_E_SETTINGS_NOT_APPLIED, "serial settings not applied",
     "check the speed and the adapter; the port stays open until closed"},
    {QUORVEL_E_BAD_SPEED, "unsupported serial speed",
     "use a standard speed from 1200 to 921600 bits per second"},
    {QUORVEL_E_WRITE_FAILED, "write failed",
     "check that the printer is on and still connected, then open the link again"},
    {QUORVEL_E_LINK_CLOSED, "the printer closed the link",
     "check that the printer is on, then open the link again"},
    {QUORVEL_E_TOO_LONG, "input too long", "shorten it to the limit quorvel.h gives for the function"},
    {QUORVEL_E_NULL_INPUT, "null input", "pass a valid pointer"},
    {QUORVEL_E_BAD_LIST_ITEM, "bad list item", "give decimal numbers separated by commas"},
    {QUORVEL_E_NO_REPLY, "no reply from the printer",
     "check that the printer is on and that the model number matches it"},
    {QUORVEL_E_BAD_ARGUMENT, "bad argument", "use a value quorvel.h lists for the function"},
    {QUORVEL_E_IMAGE_TOO_WIDE, "image too wide",
     "scale it to " QUORVEL_TEXT(QUORVEL_IMAGE_MAX_WIDTH) " dots wide or less"},
    {QUORVEL_E_NOT_CP1252, "character has no Windows-1252 form", "replace or drop that character"},
    {QUORVEL_E_BAD_UTF8, "malformed UTF-8", "pass the text encoded as UTF-8"},
    {QUORVEL_E_BUFFER_TOO_SMALL, "output buffer too small",
     "pass a larger buffer (size 0 with a null buffer returns the length needed)"},
    {QUORVEL_E_SYSTEM, "system call failed", "try again; the system's reason names the cause"},
    {QUORVEL_E_BAD_HANDLE, "not an open printer handle",
     "open the printer again with quorvel_printer_open_tcp or quorvel_printer_open_serial"},
    {QUORVEL_E_QUEUE_NOT_FOUND, "print queue not found",
     "check the queue's name in " QUORVEL_QUEUE_LIST},
    {QUORVEL_E_QUEUE_PAUSED, "print queue paused", QUORVEL_QUEUE_RESUME},
    {QUORVEL_E_JOB_REFUSED, "print job refused", QUORVEL_QUEUE_ACCEPT},
    {QUORVEL_E_NO_STATUS_ON_QUEUE, "no status through a print queue",
     "open the printer as a device or over TCP to read its status"},
    {QUORVEL_E_DEVICE_BUSY, "printer device busy",
     "close the program that holds the device and try again"},
    {QUORVEL_E_BAD_BARCODE_DATA, "bad barcode data",
     "correct the data, or choose the symbology that fits it"},
    {QUORVEL_E_HELD, "receipt held in the printer",
     "fix the cause, then confirm again; do not send the receipt again"},
    {QUORVEL_E_OUTCOME_UNKNOWN, "receipt outcome unknown",
     "it may or may not have printed: reprint it marked as a copy"},
    {QUORVEL_E_CANNOT_CONFIRM, "printing cannot be confirmed",
     "this printer answers neither process ID requests nor status queries on this link"},
};

const Message& message_for(int code) {
    static constexpr Message unknown{-1, "unknown error", nullptr};
    for (const Message& message : messages)
        if (message.code == code) return message;
    return unknown;
}

bool already_failed() {
    return current_outcome.code != QUORVEL_E_OK;
}

void set_subject(const char* subject) {
    if (subject == nullptr) {
        current_outcome.subject[0] = '\0';
        return;
    }
    std::size_t length = ::strnlen(subject, subject_capacity - 1);
    std::memcpy(current_outcome.subject, subject, length);
    current_outcome.subject[length] = '\0';
}

int code_for(platform::Fault fault, int fallback) {
    using platform::Fault;
    switch (fault) {
        case Fault::refused:
            return QUORVEL_E_REFUSED;
        case Fault::timed_out:
            return fallback == QUORVEL_E_WRITE_FAILED ? fallback : QUORVEL_E_TIMED_OUT;
        case Fault::unreachable:
            return QUORVEL_E_UNREACHABLE;
        case Fault::not_found:
            return QUORVEL_E_PORT_NOT_FOUND;
        case Fault::access_denied:
            return QUORVEL_E_PERMISSION_DENIED;
        case Fault::busy:
            return QUORVEL_E_PORT_BUSY;
        case Fault::not_serial:
            return QUORVEL_E_NOT_SERIAL;
        case Fault::settings:
            return QUORVEL_E_SETTINGS_NOT_APPLIED;
        case Fault::closed:
            return QUORVEL_E_LINK_CLOSED;
        case Fault::none:
        case Fault::other:
            break;
    }
    return fallback;
}

}  // namespace

constinit thread_local Outcome current_outcome;

int fail(int code, const char* subject, int system_code) {
    if (already_failed()) return 0;
    current_outcome.code = code;
    current_outcome.system_code = system_code;
    current_outcome.hint = nullptr;
    set_subject(subject);
    return 0;
}

int fail_format(int code, const char* format, ...) {
    if (already_failed()) return 0;
    current_outcome.code = code;
    current_outcome.system_code = 0;
    current_outcome.hint = nullptr;
    std::va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(current_outcome.subject, subject_capacity, format, arguments);
    va_end(arguments);
    return 0;
}

int fail_from_platform(int fallback, const char* subject) {
    const platform::Failure failure = platform::last_failure();
    return fail(code_for(failure.fault, fallback), subject, failure.code);
}

int fail_text(const char* text, std::size_t limit) {
    if (text == nullptr) return fail(QUORVEL_E_NULL_INPUT, "text");
    return fail_format(QUORVEL_E_TOO_LONG, "text of more than %u bytes",
                       static_cast<unsigned>(limit));
}

void describe(const Outcome& record, char* text, std::size_t size) {
    if (size == 0) return;
    const int code = record.code;
    const Message& message = message_for(code);
    char reason[128] = "";
    if (record.system_code != 0)
        platform::describe_system_error(record.system_code, reason, sizeof reason);
    if (code == QUORVEL_E_OK) {
        std::snprintf(text, size, "%s", message.summary);
        return;
    }
    // summary[: subject][ (reason)][; hint]
    text[0] = '\0';
    std::size_t used = 0;
    auto add = [&](const char* separator, const char* part) {
        if (used + 1 >= size) return;
        const int n = std::snprintf(text + used, size - used, "%s%s", separator, part);
        if (n > 0) used = std::min(size - 1, used + static_cast<std::size_t>(n));
    };
    add("", message.summary);
    if (record.subject[0] != '\0') add(": ", record.subject);
    if (reason[0] != '\0') {
        add(" (", reason);
        add(")", "");
    }
    const char* hint = record.hint != nullptr ? record.hint : message.hint;
    if (hint != nullptr) add("; ", hint);
    // One line, whatever a port name or input held.
    for (char* c = text; *c != '\0'; ++c)
        if (static_cast<unsigned char>(*c) < 0x20) *c = ' ';
}

}  // namespace quorvel::link

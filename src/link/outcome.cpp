// SPDX-License-Identifier: MIT
#include "link/outcome.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "api/quorvel.h"
#include "link/platform.h"

namespace quorvel::link {
namespace {

// What each code means, as the first part of its message.
constexpr const char* summaries[] = {
    "ok",                                   // QUORVEL_E_OK
    "no link is open",                      // QUORVEL_E_NO_LINK
    "a TCP link is already open",           // QUORVEL_E_ALREADY_OPEN
    "not an IPv4 or IPv6 address literal",  // QUORVEL_E_BAD_ADDRESS
    "TCP port outside 1 to 65535",          // QUORVEL_E_BAD_PORT
    "connection refused",                   // QUORVEL_E_REFUSED
    "connection timed out",                 // QUORVEL_E_TIMED_OUT
    "address unreachable",                  // QUORVEL_E_UNREACHABLE
    "serial port not found",                // QUORVEL_E_PORT_NOT_FOUND
    "permission denied",                    // QUORVEL_E_PERMISSION_DENIED
    "serial port busy",                     // QUORVEL_E_PORT_BUSY
    "not a serial device",                  // QUORVEL_E_NOT_SERIAL
    "serial settings not applied",          // QUORVEL_E_SETTINGS_NOT_APPLIED
    "unsupported serial speed",             // QUORVEL_E_BAD_SPEED
    "write failed",                         // QUORVEL_E_WRITE_FAILED
    "the printer closed the link",          // QUORVEL_E_LINK_CLOSED
    "input too long",                       // QUORVEL_E_TOO_LONG
    "null input",                           // QUORVEL_E_NULL_INPUT
    "bad list item",                        // QUORVEL_E_BAD_LIST_ITEM
    "no reply from the printer",            // QUORVEL_E_NO_REPLY
    "bad argument",                         // QUORVEL_E_BAD_ARGUMENT
    "image too wide",                       // QUORVEL_E_IMAGE_TOO_WIDE
    "character has no Windows-1252 form",   // QUORVEL_E_NOT_CP1252
    "malformed UTF-8",                      // QUORVEL_E_BAD_UTF8
    "output buffer too small",              // QUORVEL_E_BUFFER_TOO_SMALL
    "system call failed",                   // QUORVEL_E_SYSTEM
    "not an open printer handle",           // QUORVEL_E_BAD_HANDLE
    "print queue not found",                // QUORVEL_E_QUEUE_NOT_FOUND
    "print queue paused",                   // QUORVEL_E_QUEUE_PAUSED
    "print job refused",                    // QUORVEL_E_JOB_REFUSED
    "no status through a print queue",      // QUORVEL_E_NO_STATUS_ON_QUEUE
    "printer device busy",                  // QUORVEL_E_DEVICE_BUSY
};
constexpr int last_code = QUORVEL_E_DEVICE_BUSY;
static_assert(sizeof summaries / sizeof summaries[0] == last_code + 1);

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
    set_subject(subject);
    return 0;
}

int fail_format(int code, const char* format, ...) {
    if (already_failed()) return 0;
    current_outcome.code = code;
    current_outcome.system_code = 0;
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
    const char* summary = code >= 0 && code <= last_code ? summaries[code] : "unknown error";
    char reason[128] = "";
    if (record.system_code != 0)
        platform::describe_system_error(record.system_code, reason, sizeof reason);
    if (code == QUORVEL_E_OK)
        std::snprintf(text, size, "%s", summary);
    else if (record.subject[0] != '\0' && reason[0] != '\0')
        std::snprintf(text, size, "%s: %s (%s)", summary, record.subject, reason);
    else if (record.subject[0] != '\0')
        std::snprintf(text, size, "%s: %s", summary, record.subject);
    else if (reason[0] != '\0')
        std::snprintf(text, size, "%s (%s)", summary, reason);
    else
        std::snprintf(text, size, "%s", summary);
    // One line, whatever a port name or input held.
    for (char* c = text; *c != '\0'; ++c)
        if (static_cast<unsigned char>(*c) < 0x20) *c = ' ';
}

}  // namespace quorvel::link

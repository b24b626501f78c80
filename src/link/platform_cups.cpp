// SPDX-License-Identifier: MIT
// The print-queue part of the platform layer on Linux: CUPS through libcups.
// Each job is one document of format application/vnd.cups-raw, so the
// scheduler hands the bytes to the queue's device unchanged. libcups.so.2 is
// loaded on the first queue open: programs that never use a queue load
// nothing more (libcups brings TLS, Kerberos and DNS-SD libraries along).
#include <cups/cups.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "link/platform.h"

namespace quorvel::platform {
namespace {

// The libcups functions used, typed from cups.h.
struct Cups {
    decltype(&::httpConnect2) http_connect;
    decltype(&::httpSetTimeout) http_set_timeout;
    decltype(&::httpClose) http_close;
    decltype(&::cupsServer) server;
    decltype(&::ippPort) port;
    decltype(&::cupsEncryption) encryption;
    decltype(&::cupsGetNamedDest) get_named_dest;
    decltype(&::cupsGetOption) get_option;
    decltype(&::cupsFreeDests) free_dests;
    decltype(&::cupsLastError) last_error;
    decltype(&::cupsLastErrorString) last_error_string;
    decltype(&::cupsCreateJob) create_job;
    decltype(&::cupsStartDocument) start_document;
    decltype(&::cupsWriteRequestData) write_request_data;
    decltype(&::cupsFinishDocument) finish_document;
    decltype(&::cupsCancelJob2) cancel_job;
};
Cups cups;  // filled once (see loaded), then only read

template <typename Fn>
bool find(void* library, const char* name, Fn& fn) {
    fn = reinterpret_cast<Fn>(::dlsym(library, name));
    return fn != nullptr;
}

bool load_cups() {
    void* library = ::dlopen("libcups.so.2", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return false;
    Cups c{};
    if (!find(library, "httpConnect2", c.http_connect) ||
        !find(library, "httpSetTimeout", c.http_set_timeout) ||
        !find(library, "httpClose", c.http_close) || !find(library, "cupsServer", c.server) ||
        !find(library, "ippPort", c.port) || !find(library, "cupsEncryption", c.encryption) ||
        !find(library, "cupsGetNamedDest", c.get_named_dest) ||
        !find(library, "cupsGetOption", c.get_option) ||
        !find(library, "cupsFreeDests", c.free_dests) ||
        !find(library, "cupsLastError", c.last_error) ||
        !find(library, "cupsLastErrorString", c.last_error_string) ||
        !find(library, "cupsCreateJob", c.create_job) ||
        !find(library, "cupsStartDocument", c.start_document) ||
        !find(library, "cupsWriteRequestData", c.write_request_data) ||
        !find(library, "cupsFinishDocument", c.finish_document) ||
        !find(library, "cupsCancelJob2", c.cancel_job))
        return false;
    cups = c;
    return true;
}

constexpr int connect_timeout_ms = 5000;
constexpr double exchange_timeout_s = 10.0;  // each wait for the scheduler's answer

struct Queue {
    char name[128];
};

Queue* queue_of(QueueHandle handle) { return reinterpret_cast<Queue*>(handle); }

bool note(QueueResult& result, QueueFault fault, const char* reason) {
    result.fault = fault;
    std::snprintf(result.reason, sizeof result.reason, "%s", reason);
    return false;
}

// The scheduler named by CUPS_SERVER (or the system's), on a connection of our
// own whose every wait is bounded.
http_t* connect_scheduler(QueueResult& result) {
    http_t* http = cups.http_connect(cups.server(), cups.port(), nullptr, AF_UNSPEC,
                                  cups.encryption(), 1, connect_timeout_ms, nullptr);
    if (http == nullptr) {
        char reason[sizeof result.reason];
        std::snprintf(reason, sizeof reason, "print server %s not reachable", cups.server());
        note(result, QueueFault::other, reason);
        return nullptr;
    }
    cups.http_set_timeout(http, exchange_timeout_s, nullptr, nullptr);
    return http;
}

// Looks the queue up: missing, paused (printer-state 5, stopped) or ready.
bool check_queue(http_t* http, const char* name, QueueResult& result) {
    cups_dest_t* dest = cups.get_named_dest(http, name, nullptr);
    if (dest == nullptr) {
        if (cups.last_error() == IPP_STATUS_ERROR_NOT_FOUND || cups.last_error() <= IPP_STATUS_OK_EVENTS_COMPLETE)
            return note(result, QueueFault::not_found, "no such queue");
        return note(result, QueueFault::other, cups.last_error_string());
    }
    const char* state = cups.get_option("printer-state", dest->num_options, dest->options);
    const bool paused = state != nullptr && std::strcmp(state, "5") == 0;
    cups.free_dests(1, dest);
    if (paused) return note(result, QueueFault::paused, "the queue is stopped");
    return true;
}

}  // namespace

QueueHandle queue_open(const char* name, QueueResult& result) {
    if (std::strlen(name) >= sizeof Queue::name) {
        note(result, QueueFault::not_found, "name too long");
        return invalid_handle;
    }
    // Once per process, whichever link opens a queue first; printers on other
    // threads may open theirs at the same time.
    static const bool loaded = load_cups();
    if (!loaded) {
        note(result, QueueFault::other, "libcups.so.2 not found: install libcups2");
        return invalid_handle;
    }
    http_t* http = connect_scheduler(result);
    if (http == nullptr) return invalid_handle;
    const bool found = check_queue(http, name, result);
    cups.http_close(http);
    if (!found) return invalid_handle;
    auto* queue = new (std::nothrow) Queue{};
    if (queue == nullptr) {
        note(result, QueueFault::other, "out of memory");
        return invalid_handle;
    }
    std::snprintf(queue->name, sizeof queue->name, "%s", name);
    return reinterpret_cast<QueueHandle>(queue);
}

bool queue_send(QueueHandle handle, const std::uint8_t* data, std::size_t length,
                QueueResult& result) {
    const char* name = queue_of(handle)->name;
    http_t* http = connect_scheduler(result);
    if (http == nullptr) return false;
    bool sent = false;
    if (check_queue(http, name, result)) {
        const int job = cups.create_job(http, name, "Quorvel receipt", 0, nullptr);
        if (job == 0) {
            note(result, QueueFault::refused, cups.last_error_string());
        } else if (cups.start_document(http, name, job, "receipt", CUPS_FORMAT_RAW, 1) !=
                       HTTP_STATUS_CONTINUE ||
                   cups.write_request_data(http, reinterpret_cast<const char*>(data), length) !=
                       HTTP_STATUS_CONTINUE) {
            cups.finish_document(http, name);
            cups.cancel_job(http, name, job, 0);
            note(result, QueueFault::refused, cups.last_error_string());
        } else if (cups.finish_document(http, name) > IPP_STATUS_OK_EVENTS_COMPLETE) {
            note(result, QueueFault::refused, cups.last_error_string());
        } else {
            sent = true;
        }
    }
    cups.http_close(http);
    return sent;
}

void queue_close(QueueHandle handle) { delete queue_of(handle); }

}  // namespace quorvel::platform

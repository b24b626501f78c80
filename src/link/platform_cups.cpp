// SPDX-License-Identifier: MIT
// The print-queue part of the platform layer on Linux: CUPS through libcups.
// Each job is one document of format application/vnd.cups-raw, so the
// scheduler hands the bytes to the queue's device unchanged.
#include <cups/cups.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "link/platform.h"

namespace quorvel::platform {
namespace {

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
    http_t* http = ::httpConnect2(::cupsServer(), ::ippPort(), nullptr, AF_UNSPEC,
                                  ::cupsEncryption(), 1, connect_timeout_ms, nullptr);
    if (http == nullptr) {
        char reason[sizeof result.reason];
        std::snprintf(reason, sizeof reason, "print server %s not reachable", ::cupsServer());
        note(result, QueueFault::other, reason);
        return nullptr;
    }
    ::httpSetTimeout(http, exchange_timeout_s, nullptr, nullptr);
    return http;
}

// Looks the queue up: missing, paused (printer-state 5, stopped) or ready.
bool check_queue(http_t* http, const char* name, QueueResult& result) {
    cups_dest_t* dest = ::cupsGetNamedDest(http, name, nullptr);
    if (dest == nullptr) {
        if (::cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND || ::cupsLastError() <= IPP_STATUS_OK_EVENTS_COMPLETE)
            return note(result, QueueFault::not_found, "no such queue");
        return note(result, QueueFault::other, ::cupsLastErrorString());
    }
    const char* state = ::cupsGetOption("printer-state", dest->num_options, dest->options);
    const bool paused = state != nullptr && std::strcmp(state, "5") == 0;
    ::cupsFreeDests(1, dest);
    if (paused) return note(result, QueueFault::paused, "the queue is stopped");
    return true;
}

}  // namespace

QueueHandle queue_open(const char* name, QueueResult& result) {
    if (std::strlen(name) >= sizeof Queue::name) {
        note(result, QueueFault::not_found, "name too long");
        return invalid_handle;
    }
    http_t* http = connect_scheduler(result);
    if (http == nullptr) return invalid_handle;
    const bool found = check_queue(http, name, result);
    ::httpClose(http);
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
        const int job = ::cupsCreateJob(http, name, "Quorvel receipt", 0, nullptr);
        if (job == 0) {
            note(result, QueueFault::refused, ::cupsLastErrorString());
        } else if (::cupsStartDocument(http, name, job, "receipt", CUPS_FORMAT_RAW, 1) !=
                       HTTP_STATUS_CONTINUE ||
                   ::cupsWriteRequestData(http, reinterpret_cast<const char*>(data), length) !=
                       HTTP_STATUS_CONTINUE) {
            ::cupsFinishDocument(http, name);
            ::cupsCancelJob2(http, name, job, 0);
            note(result, QueueFault::refused, ::cupsLastErrorString());
        } else if (::cupsFinishDocument(http, name) > IPP_STATUS_OK_EVENTS_COMPLETE) {
            note(result, QueueFault::refused, ::cupsLastErrorString());
        } else {
            sent = true;
        }
    }
    ::httpClose(http);
    return sent;
}

void queue_close(QueueHandle handle) { delete queue_of(handle); }

}  // namespace quorvel::platform

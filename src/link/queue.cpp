// SPDX-License-Identifier: MIT
// The queue link: a printer behind the system's spooler (a CUPS queue, a
// Windows printer). Spoolers take whole documents, so commands collect into
// one job, bounded in size, that goes to the queue as a RAW document at each
// paper cut, at quorvel_flush and when the link closes. A command that would
// pass the bound sends the job first; one larger than the bound is a job of
// its own.
#include <cstring>
#include <new>

#include "api/quorvel.h"
#include "link/connection.h"

namespace quorvel::link {
namespace {

constexpr std::size_t job_capacity = QUORVEL_QUEUE_JOB_MAX;

// The spooler's fault as the call's outcome, naming the queue and its reason.
bool fail_queue(const platform::QueueResult& result) {
    using platform::QueueFault;
    int code = QUORVEL_E_SYSTEM;
    switch (result.fault) {
        case QueueFault::not_found: code = QUORVEL_E_QUEUE_NOT_FOUND; break;
        case QueueFault::paused: code = QUORVEL_E_QUEUE_PAUSED; break;
        case QueueFault::refused: code = QUORVEL_E_JOB_REFUSED; break;
        case QueueFault::none:
        case QueueFault::other: break;
    }
    return fail_format(code, "queue %s: %s", current().link_name, result.reason);
}

bool send_job(const std::uint8_t* data, std::size_t length) {
    platform::QueueResult result;
    return platform::queue_send(current().queue_handle, data, length, result) ||
           fail_queue(result);
}

bool is_queue(const Link& link) {
    return link.Statesocket != 1 && link.serial_port_held && link.port_kind == PortKind::queue;
}

}  // namespace

// Called by send_command on a queue link. The job's buffer was taken at the
// open, so collecting a command never touches the heap.
bool queue_command(const std::uint8_t* command, std::size_t length) {
    Link& link = current();
    if (length > job_capacity - link.job_size && !flush_job()) return false;
    if (length > job_capacity - link.job_size) return send_job(command, length);
    std::memcpy(link.job + link.job_size, command, length);
    link.job_size += length;
    return true;
}

bool flush_job() {
    Link& link = current();
    if (link.job_size == 0) return true;
    // A job the spooler did not take stays collected: a later flush retries it.
    if (!send_job(link.job, link.job_size)) return false;
    link.job_size = 0;
    return true;
}

bool release_held_port() {
    Link& link = current();
    if (!link.serial_port_held) return true;
    bool released = true;
    if (link.port_kind == PortKind::queue) {
        released = flush_job();
        delete[] link.job;
        link.job = nullptr;
        link.job_size = 0;
        platform::queue_close(link.queue_handle);
        link.queue_handle = platform::invalid_handle;
    } else if (!platform::port_close(link.serial_handle)) {
        released = fail_from_platform(QUORVEL_E_SYSTEM, link.link_name);
    }
    link.serial_port_held = false;
    link.port_kind = PortKind::serial;
    reset_confirm_state();
    return released;
}

bool end_of_document() { return !is_queue(current()) || flush_job(); }

bool status_unavailable() {
    if (!is_queue(current())) return false;
    fail_format(QUORVEL_E_NO_STATUS_ON_QUEUE, "queue %s: a spooler cannot pass status queries on",
                current().link_name);
    return true;
}

int open_queue(const char* name, int model) {
    if (name == nullptr) return fail(QUORVEL_E_NULL_INPUT, "queue name");
    Link& link = current();
    link.printer_model = model;
    release_held_port();
    begin_call();  // a job the old queue refused on the way out is not this call's outcome
    set_link_name(name);
    platform::QueueResult result;
    const platform::QueueHandle queue = platform::queue_open(name, result);
    if (queue == platform::invalid_handle) return fail_queue(result);
    link.job = new (std::nothrow) std::uint8_t[job_capacity];
    if (link.job == nullptr) {
        platform::queue_close(queue);
        return fail(QUORVEL_E_SYSTEM, "out of memory for the queue's job");
    }
    link.job_size = 0;
    link.queue_handle = queue;
    link.port_kind = PortKind::queue;
    link.serial_port_held = true;
    return 1;
}

int flush() {
    if (!current().is_open()) return fail(QUORVEL_E_NO_LINK);
    return end_of_document() ? 1 : 0;
}

}  // namespace quorvel::link

using namespace quorvel::link;

extern "C" int QUORVEL_CALL quorvel_open_queue(const char* name, int model) {
    CallGuard guard;
    return open_queue(name, model);
}

extern "C" int QUORVEL_CALL quorvel_flush() {
    CallGuard guard;
    return flush();
}

// SPDX-License-Identifier: MIT
// The queue link: a printer behind the system's spooler (a CUPS queue, a
// Windows printer). Spoolers take whole documents, so commands collect into
// one job, bounded in size, that goes to the queue as a RAW document at each
// paper cut, at quorvel_flush and when the link closes. A command that would
// pass the bound sends the job first; one larger than the bound is a job of
// its own.
#include <cstring>

#include "api/quorvel.h"
#include "link/connection.h"

namespace quorvel::link {
namespace {

// Collected commands; static, so no command path touches the heap.
class JobBuffer {
public:
    static constexpr std::size_t capacity = QUORVEL_QUEUE_JOB_MAX;
    bool fits(std::size_t length) const { return length <= capacity - size_; }
    void append(const std::uint8_t* data, std::size_t length) {
        std::memcpy(bytes_ + size_, data, length);
        size_ += length;
    }
    const std::uint8_t* data() const { return bytes_; }
    std::size_t size() const { return size_; }
    void clear() { size_ = 0; }

private:
    std::uint8_t bytes_[capacity];
    std::size_t size_ = 0;
};
JobBuffer job;

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
    return fail_format(code, "queue %s: %s", link_name, result.reason);
}

bool send_job(const std::uint8_t* data, std::size_t length) {
    platform::QueueResult result;
    return platform::queue_send(queue_handle, data, length, result) || fail_queue(result);
}

}  // namespace

// Called by send_command on a queue link.
bool queue_command(const std::uint8_t* command, std::size_t length) {
    if (!job.fits(length) && !flush_job()) return false;
    if (!job.fits(length)) return send_job(command, length);
    job.append(command, length);
    return true;
}

bool flush_job() {
    if (job.size() == 0) return true;
    // A job the spooler did not take stays collected: a later flush retries it.
    if (!send_job(job.data(), job.size())) return false;
    job.clear();
    return true;
}

bool release_held_port() {
    if (!serial_port_held) return true;
    bool released = true;
    if (port_kind == PortKind::queue) {
        released = flush_job();
        job.clear();
        platform::queue_close(queue_handle);
        queue_handle = platform::invalid_handle;
    } else if (!platform::port_close(serial_handle)) {
        released = fail_from_platform(QUORVEL_E_SYSTEM, link_name);
    }
    serial_port_held = false;
    port_kind = PortKind::serial;
    return released;
}

bool end_of_document() {
    if (Statesocket == 1 || !serial_port_held || port_kind != PortKind::queue) return true;
    return flush_job();
}

bool status_unavailable() {
    if (Statesocket == 1 || !serial_port_held || port_kind != PortKind::queue) return false;
    fail_format(QUORVEL_E_NO_STATUS_ON_QUEUE, "queue %s: a spooler cannot pass status queries on",
                link_name);
    return true;
}

}  // namespace quorvel::link

using namespace quorvel::link;
namespace platform = quorvel::platform;

extern "C" int QUORVEL_CALL quorvel_open_queue(const char* name, int model) {
    CallGuard guard;
    if (name == nullptr) return fail(QUORVEL_E_NULL_INPUT, "queue name");
    printer_model = model;
    release_held_port();
    begin_call();  // a job the old queue refused on the way out is not this call's outcome
    platform::QueueResult result;
    const platform::QueueHandle queue = platform::queue_open(name, result);
    if (queue == platform::invalid_handle) {
        set_link_name(name);
        return fail_queue(result);
    }
    queue_handle = queue;
    port_kind = PortKind::queue;
    serial_port_held = true;
    set_link_name(name);
    return 1;
}

extern "C" int QUORVEL_CALL quorvel_flush() {
    CallGuard guard;
    if (Statesocket != 1 && !serial_port_held) return fail(QUORVEL_E_NO_LINK);
    return end_of_document() ? 1 : 0;
}

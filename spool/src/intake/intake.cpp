// SPDX-License-Identifier: MIT
#include "intake.h"

#include "../delivery/worker.h"

namespace quorvel::spool {

namespace {

// Printable ASCII only: a key is compared byte for byte and shown in the API.
bool key_ok(const std::string& key) {
    for (char c : key)
        if (c < 0x21 || c > 0x7e) return false;
    return !key.empty();
}

}  // namespace

Intake StoreIntake::submit(const std::string& printer, const std::optional<std::string>& key,
                           std::string data) {
    const Limits& limits = config_.limits;
    if (!config_.find(printer))
        return {404, 0, JobState::queued, "no printer named " + printer.substr(0, 64)};
    if (key && key->size() > limits.max_key_bytes)
        return {400, 0, JobState::queued,
                "Idempotency-Key longer than " + std::to_string(limits.max_key_bytes) + " bytes"};
    if (key && !key_ok(*key))
        return {400, 0, JobState::queued, "Idempotency-Key must be printable ASCII without spaces"};
    if (data.empty())
        return {400, 0, JobState::queued, "the job is empty: send its ESC/POS bytes as the body"};
    if (data.size() > limits.max_job_bytes)
        return {413, 0, JobState::queued,
                "job larger than " + std::to_string(limits.max_job_bytes) + " bytes"};
    const SubmitResult r =
        store_.submit({printer, key.value_or(""), std::move(data), limits.max_queue});
    switch (r.status) {
        case SubmitResult::created:
            if (Worker* w = workers_.find(printer)) w->wake();
            return {201, r.id, r.state, {}};
        case SubmitResult::existing:
            return {200, r.id, r.state, {}};
        case SubmitResult::conflict:
            return {409, r.id, r.state, r.message};
        case SubmitResult::queue_full:
            return {503, 0, r.state, r.message};
        case SubmitResult::error:
            break;
    }
    return {500, 0, r.state, "not stored: " + r.message};
}

}  // namespace quorvel::spool

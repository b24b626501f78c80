// SPDX-License-Identifier: MIT
// A print job as the service keeps it, and the states it goes through.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel::spool {

// queued -> printing -> printed is the common path; see spool/README.md for
// every transition.
enum class JobState {
    queued,     // stored, waiting for its printer
    printing,   // being sent (committed before the first byte goes)
    printed,    // the printer confirmed it (or took it, where it cannot confirm)
    held,       // the printer stopped on paper, cover or an error; it waits, never resent
    retrying,   // the link is down; tried again with back-off
    uncertain,  // the link was lost after sending: it may or may not have printed
    expired,    // past its printer's expire_after, never printed
    failed,     // refused
    cancelled,  // by an operator or a till
};

constexpr const char* STATE_NAMES[] = {"queued",    "printing", "printed", "held",     "retrying",
                                       "uncertain", "expired",  "failed",  "cancelled"};

inline const char* state_name(JobState s) {
    return STATE_NAMES[static_cast<int>(s)];
}
std::optional<JobState> parse_state(std::string_view name);
// Printed, uncertain, expired, failed and cancelled: nothing more happens
// without an operator.
inline bool is_final(JobState s) {
    return s == JobState::printed || s == JobState::uncertain || s == JobState::expired ||
           s == JobState::failed || s == JobState::cancelled;
}
// States whose job the printer's worker still has to deliver.
inline bool is_pending(JobState s) {
    return s == JobState::queued || s == JobState::retrying || s == JobState::held ||
           s == JobState::printing;
}

struct Job {
    int64_t id = 0;
    std::string printer;    // where it goes now
    std::string requested;  // where the till sent it (differs after a fallback)
    JobState state = JobState::queued;
    std::string reason;  // why it is in its state, for people
    std::string key;     // Idempotency-Key, empty when none
    std::string data;    // the ESC/POS bytes as posted
    bool copy = false;   // printed with a "COPY" line on top
    std::string banner;  // a line printed on top (fallback), empty when none
    int attempts = 0;    // sends begun
    bool sent = false;   // bytes of it may have reached the printer
    int64_t reprint_of = 0;
    double created = 0;  // seconds since the epoch
    double updated = 0;
    size_t size = 0;  // data bytes (set also when data is not loaded)
};

double now_seconds();

}  // namespace quorvel::spool

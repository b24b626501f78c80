// SPDX-License-Identifier: MIT
// The CUPS scheduler behind wine's spooler, asked directly (see the .cpp).
#pragma once

#include <cstddef>

#include "link/platform.h"

namespace quorvel::platform {

enum class CupsQueue {
    unknown,        // not asked (a Unix-socket scheduler) or no readable answer
    unreachable,    // nothing answers at the scheduler's address
    no_such_queue,  // the scheduler has no queue of that name
    stopped,        // the queue holds its jobs (cupsdisable)
    not_accepting,  // the queue refuses new jobs (cupsreject)
    ready,
};

// True in a process that wine runs.
bool under_wine();

// The state of a queue as the scheduler named by CUPS_SERVER (default
// localhost:631) reports it; server receives that name for messages.
CupsQueue ask_cups(const char* queue, char* server, std::size_t server_size);

}  // namespace quorvel::platform

// SPDX-License-Identifier: MIT
// quorvel_last_error: the calling thread's last outcome, as a code and a line.
#include "api/quorvel.h"
#include "link/outcome.h"

extern "C" int QUORVEL_CALL quorvel_last_error(char* message, int size) {
    // Reads this thread's record only: no lock, and no outcome of its own.
    const quorvel::link::Outcome& record = quorvel::link::outcome();
    if (message != nullptr && size > 0)
        quorvel::link::describe(record, message, static_cast<std::size_t>(size));
    return record.code;
}

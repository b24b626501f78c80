// SPDX-License-Identifier: MIT
// A test double of the link behind the platform layer: the library's own
// command code runs unchanged, and every write call it makes is recorded.
#pragma once

#include <cstdint>
#include <vector>

#include "fake_printer.h"

namespace quorvel::testing::recording {

// Each element is the bytes of one write call (TCP send or serial write).
std::vector<Bytes> writes();
void clear();
// Bytes the next reads will deliver, as one reply.
void queue_reply(const Bytes& reply);
// The same, but only once the next write is made: an answer to what it asks.
void queue_reply_after_write(const Bytes& reply);

}  // namespace quorvel::testing::recording

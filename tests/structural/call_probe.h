// SPDX-License-Identifier: MIT
// Counts, on the calling thread only, the heap allocations and the write
// system calls made while a probe is running. Other threads (the fake
// printer's) allocate and send freely without being counted.
#pragma once

#include <cstddef>
#include <vector>

namespace quorvel::testing {

struct CallCounts {
    long allocations = 0;
    std::vector<std::size_t> writes;  // byte count of each write/send call
};

class CallProbe {
  public:
    CallProbe();
    ~CallProbe();
    CallProbe(const CallProbe&) = delete;
    CallProbe& operator=(const CallProbe&) = delete;
    // Stops counting and returns what was counted.
    CallCounts finish();
};

// False when the heap is not ours to count (sanitizer builds).
bool heap_counting_available();

}  // namespace quorvel::testing

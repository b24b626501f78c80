// SPDX-License-Identifier: MIT
// Shared by the fuzz targets: the recording link and a check that turns a
// broken expectation into a crash libFuzzer reports.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "quorvel.h"
#include "recording_link.h"

namespace quorvel::fuzz {

using testing::Bytes;

#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

// Opens the TCP path of the recording platform once per process.
inline void ensure_link_open() {
    static const bool opened = AbreSocket("127.0.0.1", 0) == 1;
    FUZZ_CHECK(opened);
}

struct Capture {
    int result;
    std::vector<Bytes> writes;
};

template <typename Call>
Capture capture(Call&& call) {
    testing::recording::clear();
    int result = call();
    return {result, testing::recording::writes()};
}

// A refused call returns 0 and writes nothing.
inline void check_refused(const Capture& c) {
    FUZZ_CHECK(c.result == 0);
    FUZZ_CHECK(c.writes.empty());
}

}  // namespace quorvel::fuzz

// SPDX-License-Identifier: MIT
// The outcome of the calling thread's last exported call: a code from enum
// quorvel_error, what it concerns (an address, a port, an input) and the
// system's own error code. Each call starts by clearing the code; the first
// failure a call records is the one reported, since later ones follow from it.
#pragma once

#include <cstddef>

namespace quorvel::link {

inline constexpr std::size_t subject_capacity = 160;

struct Outcome {
    int code = 0;
    int system_code = 0;  // errno, WSAGetLastError or GetLastError; 0 when none
    char subject[subject_capacity] = {};
    const char* hint = nullptr;  // replaces the code's own hint when set (a static text)
};

// This thread's record. Constant-initialised, so reaching it needs no
// initialisation check: the start of every call stays one store.
extern constinit thread_local Outcome current_outcome;

inline Outcome& outcome() {
    return current_outcome;
}

// Marks the start of an exported call: nothing has failed yet.
inline void begin_call() {
    current_outcome.code = 0;
}

// Failures are the rare path: kept out of line and out of the callers' hot code.
#if defined(__GNUC__)
#define QUORVEL_COLD __attribute__((cold, noinline))
#else
#define QUORVEL_COLD
#endif

// Records a failure with an optional subject, unless the call already has one.
// Returns 0, the refusal result of most exported functions.
QUORVEL_COLD int fail(int code, const char* subject = nullptr, int system_code = 0);

// As fail, with the subject written like printf.
#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
QUORVEL_COLD int
fail_format(int code, const char* format, ...);

// Records the platform's last failure (see platform::last_failure) as the
// matching code, or as fallback when the kind has no code of its own.
QUORVEL_COLD int fail_from_platform(int fallback, const char* subject);

// Records why a text argument was refused: null, or more than limit bytes.
QUORVEL_COLD int fail_text(const char* text, std::size_t limit);

// Writes the one-line message of the record into text (cut to size).
void describe(const Outcome& record, char* text, std::size_t size);

}  // namespace quorvel::link

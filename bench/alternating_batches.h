// SPDX-License-Identifier: MIT
// Two ways of doing the same work timed against each other: a batch of each
// per benchmark iteration, the order swapped every iteration, so both see the
// same machine load on a shared machine.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <optional>

namespace quorvel::bench {

// CPU time of the calling thread, user and kernel: what the work itself costs,
// without the time the thread spends preempted on a shared machine.
inline double thread_cpu_ns() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

// What each side took in all, wall and thread-CPU nanoseconds ([0] side 0, [1]
// side 1), and how many calls each side made.
struct SideTotals {
    double wall_ns[2] = {};
    double cpu_ns[2] = {};
    long calls = 0;
};

// Runs side0 and side1 (each returns true when its call went through) in
// batches of 16, side 0 first in the first iteration. Each iteration's manual
// time is one call of side `reported`. A failed call ends the benchmark with
// that side's `failed` text as its error, and gives no totals.
template <typename Side0, typename Side1>
std::optional<SideTotals> alternate_batches(benchmark::State& state, Side0 side0, Side1 side1,
                                            int reported, const char* failed0,
                                            const char* failed1) {
    using Clock = std::chrono::steady_clock;
    constexpr int batch = 16;
    SideTotals totals;
    bool side0_first = true;
    for (auto _ : state) {
        for (int pass = 0; pass < 2; ++pass) {
            const int side = (pass == 0) == side0_first ? 0 : 1;
            const double cpu_start = thread_cpu_ns();
            const auto start = Clock::now();
            bool ok = true;
            for (int i = 0; i < batch; ++i) ok = (side == 0 ? side0() : side1()) && ok;
            const auto took = Clock::now() - start;
            totals.cpu_ns[side] += thread_cpu_ns() - cpu_start;
            totals.wall_ns[side] += std::chrono::duration<double, std::nano>(took).count();
            if (side == reported)
                state.SetIterationTime(std::chrono::duration<double>(took).count() / batch);
            if (!ok) {
                state.SkipWithError(side == 0 ? failed0 : failed1);
                return std::nullopt;
            }
        }
        side0_first = !side0_first;
        totals.calls += batch;
    }
    return totals;
}

}  // namespace quorvel::bench

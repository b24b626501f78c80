// SPDX-License-Identifier: MIT
// Two ways of doing the same work timed against each other: a batch of each
// per benchmark iteration, the order swapped every iteration, so both see the
// same machine load on a shared machine.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <string>

namespace quorvel::bench {

// CPU time of the calling thread, user and kernel: what the work itself costs,
// without the time the thread spends preempted on a shared machine.
inline double thread_cpu_ns() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

// One side of the comparison: the prefix of its counters and the error its
// failed call gives.
struct Side {
    const char* name;
    const char* failed;
};

// Runs call0 and call1 (each returns true when the call went through) in
// batches of 16, side 0 first in the first iteration. Each iteration's manual
// time is one call of side `reported`. Counters: <name>_ns and <name>_cpu_ns,
// wall and thread-CPU nanoseconds per call of each side, and ratio and
// cpu_ratio, the reported side's over the other's. A failed call ends the
// benchmark with its side's error and sets no counters; returns false then.
template <typename Call0, typename Call1>
bool alternate_batches(benchmark::State& state, Side side0, Call0 call0, Side side1, Call1 call1,
                       int reported) {
    using Clock = std::chrono::steady_clock;
    constexpr int batch = 16;
    double wall[2] = {}, cpu[2] = {};
    long calls = 0;  // on each side
    bool side0_first = true;
    for (auto _ : state) {
        for (int pass = 0; pass < 2; ++pass) {
            const int side = (pass == 0) == side0_first ? 0 : 1;
            const double cpu_start = thread_cpu_ns();
            const auto start = Clock::now();
            bool ok = true;
            for (int i = 0; i < batch; ++i) ok = (side == 0 ? call0() : call1()) && ok;
            const auto took = Clock::now() - start;
            cpu[side] += thread_cpu_ns() - cpu_start;
            wall[side] += std::chrono::duration<double, std::nano>(took).count();
            if (side == reported)
                state.SetIterationTime(std::chrono::duration<double>(took).count() / batch);
            if (!ok) {
                state.SkipWithError(side == 0 ? side0.failed : side1.failed);
                return false;
            }
        }
        side0_first = !side0_first;
        calls += batch;
    }
    const double n = static_cast<double>(calls);
    const char* names[2] = {side0.name, side1.name};
    for (int side = 0; side < 2; ++side) {
        state.counters[std::string(names[side]) + "_ns"] = wall[side] / n;
        state.counters[std::string(names[side]) + "_cpu_ns"] = cpu[side] / n;
    }
    const int other = 1 - reported;
    state.counters["ratio"] = wall[reported] / wall[other];
    state.counters["cpu_ratio"] = cpu[reported] / cpu[other];
    return true;
}

}  // namespace quorvel::bench

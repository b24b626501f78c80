#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The whole Linux test suite again, built with AddressSanitizer and
# UndefinedBehaviorSanitizer (the asan preset): any leak, memory error or
# undefined behaviour fails the case it happens in. About 5 minutes on 2 cores:
# 4 for the build, 1 for the 680 cases.
set -euo pipefail
jobs=${QUORVEL_JOBS:-$(nproc)}
export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cmake --preset asan
cmake --build --preset asan -j "$jobs"
# Three cases per core: they mostly wait, and each fake printer has its own address.
ctest --preset asan -j "$((jobs * 3))" --no-tests=error

#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The virtual printer's end-to-end suite built with ThreadSanitizer: the TCP
# and serial links served at once share the journal, the status model and the
# page store, and any data race between them fails the case it happens in.
# Then the library's printer-handle cases (several printers from several
# threads, a printer dying mid-run, a close racing a call, serial and TCP
# handles at once). Builds only those suites.
set -euo pipefail
jobs=${QUORVEL_JOBS:-$(nproc)}
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
cmake --preset tsan
cmake --build --preset tsan --target quorvel_printer_e2e_tests loopback_tests serial_tests -j "$jobs"
ctest --test-dir build/tsan -R '^printer\.e2e\.' -j "$jobs" --output-on-failure --no-tests=error
ctest --test-dir build/tsan -R '^(SeveralPrinters|CloseRacingACall|SerialHandles|BadHandles)\.' \
    -E 'Fork' -j "$jobs" --output-on-failure --no-tests=error
# A fork takes every printer's lock at once, more than the deadlock detector
# tracks per thread (64), and the child ends with the waiting thread of its
# parent on record: that case runs with races checked, not lock order or leaks.
TSAN_OPTIONS=$TSAN_OPTIONS:detect_deadlocks=0:report_thread_leaks=0 \
    ctest --test-dir build/tsan -R '^SerialHandles\.Fork' --output-on-failure --no-tests=error

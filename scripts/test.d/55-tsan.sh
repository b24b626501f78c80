#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The virtual printer's end-to-end suite built with ThreadSanitizer: the TCP
# and serial links served at once share the journal, the status model and the
# page store, and any data race between them fails the case it happens in.
# Builds only that suite (the library and the printer's core under it).
set -euo pipefail
jobs=${QUORVEL_JOBS:-$(nproc)}
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
cmake --preset tsan
cmake --build --preset tsan --target quorvel_printer_e2e_tests -j "$jobs"
ctest --test-dir build/tsan -R '^printer\.e2e\.' -j "$jobs" --output-on-failure --no-tests=error

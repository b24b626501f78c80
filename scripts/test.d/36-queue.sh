#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Print queues end to end: a private cupsd with a raw queue to the virtual
# printer; the receipt through the queue link from libquorvel.so (C, the CLI
# and the Python binding) and from Quorvel.dll under wine (wine's spooler hands the job to the same cupsd)
# must reach the printer byte for byte, and each queue fault its own code;
# the SDK's queue example under wine too.
# Then again with the 32-bit Quorvel.dll under 32-bit wine, whose spooler
# reaches CUPS through libcups2:i386. About 3 minutes after the Linux and wine
# stages, most of it wine's start-up.
set -euo pipefail
jobs=${QUORVEL_JOBS:-$(nproc)}
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$jobs" --target quorvel quorvel-printer quorvel_cli queue_host
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j "$jobs" --target queue_host queue_example
cmake --preset mingw32 >/dev/null
cmake --build --preset mingw32 -j "$jobs" --target queue_host queue_example
export QUORVEL_LIBRARY=$PWD/build/dev/src/libquorvel.so.1
tests/windows/run-under-wine.sh python3 tests/queue/queue_e2e.py \
    --printer build/dev/printer/quorvel-printer --host build/dev/tests/queue_host \
    --cli build/dev/cli/quorvel \
    --wine-host build/mingw/tests/queue_host.exe --wine-example build/mingw/tests/queue_example.exe
[ -e /usr/lib/i386-linux-gnu/libcups.so.2 ] ||
    { echo "36-queue: libcups2:i386 missing: 32-bit wine cannot see the queues" >&2; exit 1; }
tests/windows/run-under-wine.sh --win32 python3 tests/queue/queue_e2e.py \
    --printer build/dev/printer/quorvel-printer --host build/dev/tests/queue_host \
    --wine /usr/lib/wine/wine --wine-host build/mingw32/tests/queue_host.exe \
    --wine-example build/mingw32/tests/queue_example.exe

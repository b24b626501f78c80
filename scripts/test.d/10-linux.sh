#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Linux build and its whole test suite. The cases mostly wait (for a
# printer process, a time-out, a peer that stops reading) and each fake printer
# has a loopback address of its own, so three run per core; the cases that
# time a flood are marked RUN_SERIAL and run alone.
set -euo pipefail
cmake --preset dev
cmake --build --preset dev -j "$QUORVEL_JOBS"
ctest --preset dev -j "$((QUORVEL_JOBS * 3))" -LE "web|spool"  # those suites run in stages 70 and 75

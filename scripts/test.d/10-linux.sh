#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Linux build and its whole test suite.
set -euo pipefail
cmake --preset dev
cmake --build --preset dev -j "$QUORVEL_JOBS"
ctest --preset dev -j "$QUORVEL_JOBS" -LE web  # the web suites run in stage 70

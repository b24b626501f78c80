#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The virtual printer's web page and HTTP API: real HTTP requests, a Python
# host printing through the library, and the page in headless Chromium.
# Needs the dev build of stage 10. About 100 s (the hostile-client suite
# waits out the 10 s request deadline and the 5 s idle time-out).
set -euo pipefail
cmake --build --preset dev -j "${QUORVEL_JOBS:-$(nproc)}" --target quorvel-printer quorvel
ctest --preset dev -L web --output-on-failure --no-tests=error

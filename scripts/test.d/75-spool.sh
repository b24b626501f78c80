#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The print service quorvel-spool against virtual printers on loopback: jobs
# in (bounds, idempotent retries), every delivery state, fallback and expiry,
# front ports fed by a raw socket and by the library's classic functions, the
# systemd readiness, the page in headless Chromium, web tills (origins, pairing,
# JSON receipts, the example till in headless Chromium), and the kill -9 test at a
# small count (QUORVEL_SPOOL_KILLS, default 10). Needs the dev build of
# stage 10. About 1.5 min, the suites side by side.
set -euo pipefail
cmake --build --preset dev -j "${QUORVEL_JOBS:-$(nproc)}" --target quorvel-spool quorvel-printer quorvel
ctest --preset dev -L spool -j 4 --output-on-failure --no-tests=error

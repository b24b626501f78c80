#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Quorvel.dll: cross-builds the mingw preset (the DLL, the SDK zip and the test
# programs), then under wine64 runs the PE export/import check, the host
# program, the serial-port cases, the SDK checks (zip, Quorvel.lib, a host
# linked by mingw and one for the MSVC ABI) and the shared loopback and
# recording suites, one process per case, two per core (most of a case is
# waiting for its wine process to start). About 1.5 minutes on 2 cores.
set -euo pipefail
jobs=${QUORVEL_JOBS:-$(nproc)}
cmake --preset mingw
cmake --build --preset mingw -j "$jobs"
tests/windows/run-under-wine.sh \
    ctest --test-dir build/mingw -j "$((jobs * 2))" --output-on-failure --no-tests=error

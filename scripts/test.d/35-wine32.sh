#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The 32-bit Quorvel.dll: cross-builds the mingw32 preset (i686: the DLL, the
# SDK zip with both bitnesses, the test programs), then under 32-bit wine in a
# win32 prefix runs what 30-wine.sh runs against the 64-bit DLL, plus the
# __stdcall stack check of every export. The 64-bit DLL for the zip comes from
# build/mingw (built by 30-wine.sh; built here if it is not). A few minutes
# on 2 cores, most of it the cross-build.
set -euo pipefail
jobs=${QUORVEL_JOBS:-$(nproc)}
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target quorvel_sdk_part -j "$jobs"
cmake --preset mingw32 -DQUORVEL_SDK_SIBLING_DIR="$PWD/build/mingw"
cmake --build --preset mingw32 -j "$jobs"
tests/windows/run-under-wine.sh --win32 \
    ctest --test-dir build/mingw32 -j "$((jobs * 2))" --output-on-failure --no-tests=error

#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Makes the Windows SDK, build/mingw/quorvel-<version>-windows-sdk.zip: the
# 64-bit and the 32-bit Quorvel.dll (bin/x64, bin/x86), each with its
# Quorvel.def and import libraries for MSVC (Quorvel.lib, made by llvm-dlltool)
# and mingw (libQuorvel.dll.a) in lib/x64 and lib/x86; quorvel.h; the C, C#,
# Pascal and VB6 examples and a README for Windows developers. Cross-builds
# only what it needs: the 32-bit part in build/mingw32, the rest in build/mingw.
#
# Usage: scripts/windows-sdk.sh        (QUORVEL_JOBS sets the build jobs, default 2)
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${QUORVEL_JOBS:-2}
cmake --preset mingw32 >/dev/null
cmake --build --preset mingw32 --target quorvel_sdk_part -j "$jobs"
cmake --preset mingw -DQUORVEL_SDK_SIBLING_DIR="$PWD/build/mingw32" >/dev/null
cmake --build --preset mingw --target windows_sdk -j "$jobs"
ls build/mingw/quorvel-*-windows-sdk.zip

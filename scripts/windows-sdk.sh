#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Makes the Windows SDK, build/mingw/quorvel-<version>-win64-sdk.zip: Quorvel.dll,
# quorvel.h, Quorvel.def, the import libraries for MSVC (Quorvel.lib, made by
# llvm-dlltool from the .def) and mingw (libQuorvel.dll.a), the C, C# and Pascal
# examples and a README for Windows developers. Cross-builds only what it needs.
#
# Usage: scripts/windows-sdk.sh        (QUORVEL_JOBS sets the build jobs, default 2)
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target windows_sdk -j "${QUORVEL_JOBS:-2}"
ls build/mingw/quorvel-*-win64-sdk.zip

#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The build as a packager or a new user runs it, with nothing but the build
# type: `cmake -S . -B DIR -DCMAKE_BUILD_TYPE=Release && cmake --build DIR`,
# warnings as errors.
#   - GCC at -O3 (CMake's Release flags), then the whole test suite;
#   - clang at -O2, the library and the tools (the tests are built by GCC above
#     and by the dev preset's stage);
#   - a project that embeds ours with add_subdirectory, and one that finds the
#     GCC build tree with -DQuorvel_DIR=<build dir>; both build and run a host.
# The CLI and the printer's I/O side are unity builds (cmake/Unity.cmake).
set -euo pipefail
jobs=${QUORVEL_JOBS:-$(nproc)}
root=$(pwd)
out=build/conventional
mkdir -p build
rm -rf "$out"

echo "--- GCC, Release (-O3), with the tests"
CC=gcc CXX=g++ cmake -S . -B "$out/gcc" -DCMAKE_BUILD_TYPE=Release -DQUORVEL_WERROR=ON >"$out.gcc.log"
cmake --build "$out/gcc" -j "$jobs"
# Everything the -O3 build can change runs again at -O3. Left to the dev stage:
# the installed-tree and package checks, and the checks that read only the
# source tree (licence headers, API docs, the Pascal, VB6 and 32-bit stack
# declarations), whose result no compiler flag can change.
source_only='spdx_headers|api_docs_complete|bindings\.(pascal_constants|vb6_module|x86_stack)'
ctest --test-dir "$out/gcc" -j "$((jobs * 3))" --output-on-failure --no-tests=error \
    -E "^(installed_tree|debian_package|$source_only)\$" -LE web  # the web suites run in stage 70

echo "--- clang, Release at -O2, library and tools"
CC=clang CXX=clang++ cmake -S . -B "$out/clang" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DQUORVEL_WERROR=ON >"$out.clang.log"
cmake --build "$out/clang" -j "$jobs"

echo "--- embedded with add_subdirectory"
cmake -S tests/consumers/embed -B "$out/embed" -DCMAKE_BUILD_TYPE=Release \
    -DQUORVEL_SOURCE="$root" >"$out.embed.log"
cmake --build "$out/embed" -j "$jobs"
"$out/embed/host"

echo "--- found in the build tree with Quorvel_DIR"
cmake -S cli/tests/installed_host -B "$out/build_tree_host" \
    -DQuorvel_DIR="$root/$out/gcc" >"$out.build_tree_host.log"
cmake --build "$out/build_tree_host"
"$out/build_tree_host/host"
echo "conventional builds: all passed"

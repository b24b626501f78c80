#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The build as a packager or a new user runs it, with nothing but the build
# type: `cmake -S . -B DIR -DCMAKE_BUILD_TYPE=Release && cmake --build DIR`,
# warnings as errors.
#   - GCC at -O3 (CMake's Release flags): everything, then the suites
#     labelled "bytes", whose result is what the compiler made: the bytes
#     of every call (loopback, serial, recording, structural, the CLI and its
#     examples), the printer's interpreter and pixels, the exported symbols.
#     The other suites test waiting, time-outs, faults and the Python, web and
#     service sides; the dev build's stage runs them, the sanitizer stage again
#     with every check on, so here they would only repeat the first run.
#   - clang at -O2, the library and the tools (the tests are built by GCC above
#     and by the dev preset's stage);
#   - a project that embeds ours with add_subdirectory, and one that finds the
#     GCC build tree with -DQuorvel_DIR=<build dir>; both build and run a host.
# The CLI, the printer's I/O side and the print service are unity builds
# (cmake/Unity.cmake).
set -euo pipefail
jobs=${QUORVEL_JOBS:-$(nproc)}
root=$(pwd)
out=build/conventional
mkdir -p build
rm -rf "$out"

echo "--- GCC, Release (-O3), with the tests"
CC=gcc CXX=g++ cmake -S . -B "$out/gcc" -DCMAKE_BUILD_TYPE=Release -DQUORVEL_WERROR=ON >"$out.gcc.log"
cmake --build "$out/gcc" -j "$jobs"  # everything a packager's build builds, the tests too
ctest --test-dir "$out/gcc" -L bytes -j "$((jobs * 3))" --output-on-failure --no-tests=error

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

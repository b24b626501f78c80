#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the build tree into a scratch prefix, then builds and runs a small
# host against the installed tree: once through pkg-config, once through
# find_package. Also runs the installed tool, which must find the library
# beside it.
#   install_check.sh BUILD_DIR WORK_DIR LIBDIR C_COMPILER CMAKE
set -euo pipefail
build=$1 work=$2 libdir=$3 cc=$4 cmake=$5
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix

"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log"

expect_file() {
    [ -e "$prefix/$1" ] || { echo "missing from the installed tree: $1"; exit 1; }
}
for file in include/quorvel.h bin/quorvel "$libdir/libquorvel.so" "$libdir/libquorvel.so.1" \
    "$libdir/pkgconfig/quorvel.pc" "$libdir/cmake/Quorvel/QuorvelConfig.cmake" \
    "$libdir/cmake/Quorvel/QuorvelConfigVersion.cmake" "$libdir/cmake/Quorvel/QuorvelTargets.cmake"; do
    expect_file "$file"
done
# libquorvel.so -> libquorvel.so.1 -> the real file, whose SONAME is libquorvel.so.1.
[ "$(readlink "$prefix/$libdir/libquorvel.so")" = libquorvel.so.1 ] || { echo "bad development link"; exit 1; }
real=$(readlink "$prefix/$libdir/libquorvel.so.1")
[ -f "$prefix/$libdir/$real" ] && [ ! -L "$prefix/$libdir/$real" ] || { echo "bad SONAME link"; exit 1; }
objdump -p "$prefix/$libdir/$real" | grep -q 'SONAME *libquorvel.so.1$' || { echo "wrong SONAME"; exit 1; }

echo "--- installed tool"
"$prefix/bin/quorvel" version | grep -qx 'quorvel [0-9.]*, library 1.2.0.0'

echo "--- pkg-config"
export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
pkg-config --exact-version=1.2.0 quorvel
# shellcheck disable=SC2046
"$cc" -o "$work/host_pc" "$here/installed_host/host.c" $(pkg-config --cflags --libs quorvel) \
    -Wl,-rpath,"$(pkg-config --variable=libdir quorvel)"
"$work/host_pc"

echo "--- find_package"
"$cmake" -S "$here/installed_host" -B "$work/host_cmake" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_C_COMPILER="$cc" >"$work/host_cmake.log"
"$cmake" --build "$work/host_cmake" >>"$work/host_cmake.log"
"$work/host_cmake/host"

# The tree can be moved: pkg-config and the CMake package find their prefix from where they lie.
echo "--- moved tree"
mv "$prefix" "$work/moved"
PKG_CONFIG_PATH=$work/moved/$libdir/pkgconfig pkg-config --variable=includedir quorvel | grep -q "$work/moved"
"$work/moved/bin/quorvel" version >/dev/null
echo "installed tree: all checks passed"

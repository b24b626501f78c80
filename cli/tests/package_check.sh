#!/usr/bin/env bash
# Builds the Debian package of the build tree and checks it without installing
# it on this machine: its file list, the library's SONAME links, the computed
# dependencies, and that the unpacked tool runs.
#   package_check.sh BUILD_DIR WORK_DIR
set -euo pipefail
build=$1 work=$2
rm -rf "$work"
mkdir -p "$work"
(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log")
deb=$(ls "$work"/quorvel_*_amd64.deb 2>/dev/null || ls "$work"/quorvel_*.deb)
dpkg-deb -c "$deb" >"$work/contents"
for entry in './usr/include/quorvel.h' '/usr/bin/quorvel$' \
    'libquorvel.so -> libquorvel.so.1$' 'libquorvel.so.1 -> libquorvel.so.1.2.0$' \
    'pkgconfig/quorvel.pc' 'cmake/Quorvel/QuorvelConfig.cmake'; do
    grep -q -- "$entry" "$work/contents" || { echo "package lacks: $entry"; cat "$work/contents"; exit 1; }
done
dpkg-deb -f "$deb" Depends | grep -q 'libc6' || { echo "no computed dependencies"; exit 1; }
dpkg-deb -x "$deb" "$work/root"
"$work/root/usr/bin/quorvel" version | grep -q 'library 1.2.0.0'
echo "package $(basename "$deb"): all checks passed"

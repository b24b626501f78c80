#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the three Debian packages of the build tree and checks them without
# installing them on this machine: each one's files, copyright and
# dependencies; then unpacks all three into a scratch root, builds a small host
# against what they hold (pkg-config and find_package) and runs it and the
# tools. lintian, when present, must report no errors; its warnings are shown.
#   package_check.sh BUILD_DIR WORK_DIR LIBDIR C_COMPILER CMAKE
set -euo pipefail
build=$1 work=$2 libdir=$3 cc=$4 cmake=$5
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work"
mkdir -p "$work"
(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log")

fail() { echo "$*"; exit 1; }
deb_of() { ls "$work/$1"_*.deb 2>/dev/null | head -n 1; }
runtime=$(deb_of libquorvel1) dev=$(deb_of libquorvel-dev) tools=$(deb_of quorvel-tools)
[ -n "$runtime" ] && [ -n "$dev" ] && [ -n "$tools" ] || { ls "$work"; fail "missing a package"; }

expect_entries() {  # deb pattern...
    local deb=$1
    shift
    dpkg-deb -c "$deb" >"$work/contents"
    for entry in "$@"; do
        grep -q -- "$entry" "$work/contents" || { cat "$work/contents"; fail "$(basename "$deb") lacks: $entry"; }
    done
}
expect_entries "$runtime" "\./usr/$libdir/libquorvel.so.1 -> libquorvel.so.1.2.0\$" \
    "\./usr/$libdir/libquorvel.so.1.2.0\$" '\./usr/share/doc/libquorvel1/copyright$'
expect_entries "$dev" '\./usr/include/quorvel.h$' "\./usr/$libdir/libquorvel.so -> libquorvel.so.1\$" \
    "\./usr/$libdir/pkgconfig/quorvel.pc\$" "\./usr/$libdir/cmake/Quorvel/QuorvelConfig.cmake\$" \
    '\./usr/share/doc/libquorvel-dev/copyright$'
expect_entries "$tools" '\./usr/bin/quorvel$' '\./usr/bin/quorvel-printer$' \
    '\./usr/share/doc/quorvel-tools/copyright$'
# Man pages, compressed, when the build made them.
for page in "$build"/man/*.1; do
    [ -e "$page" ] || continue
    expect_entries "$tools" "\./usr/share/man/man1/$(basename "$page").gz\$"
done
# Nothing is in two packages.
for deb in "$runtime" "$dev" "$tools"; do dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}'; done |
    sort | uniq -d >"$work/twice"
[ ! -s "$work/twice" ] || { cat "$work/twice"; fail "files in two packages"; }

depends() { dpkg-deb -f "$1" Depends; }
depends "$runtime" | grep -q 'libc6' || fail "libquorvel1: no computed dependencies"
depends "$dev" | grep -q 'libquorvel1 (= 1.2.0)' || fail "libquorvel-dev must depend on libquorvel1: $(depends "$dev")"
for needed in 'libquorvel1 (= 1.2.0)' fonts-terminus xfonts-base libpng; do
    depends "$tools" | grep -q "$needed" || fail "quorvel-tools must depend on $needed: $(depends "$tools")"
done
dpkg-deb -I "$runtime" shlibs | grep -q '^libquorvel 1 libquorvel1' || fail "libquorvel1: no shlibs"

root=$work/root
for deb in "$runtime" "$dev" "$tools"; do dpkg-deb -x "$deb" "$root"; done

echo "--- tools"
"$root/usr/bin/quorvel" --version | grep -q 'library 1.2.0.0' || fail "unpacked quorvel does not run"
"$root/usr/bin/quorvel-printer" --version | grep -q '^quorvel-printer 1.2.0' ||
    fail "unpacked quorvel-printer does not run"

echo "--- host with pkg-config"
export PKG_CONFIG_PATH=$root/usr/$libdir/pkgconfig
# shellcheck disable=SC2046
"$cc" -o "$work/host_pc" "$here/installed_host/host.c" $(pkg-config --cflags --libs quorvel)
LD_LIBRARY_PATH=$root/usr/$libdir "$work/host_pc"

echo "--- host with find_package"
"$cmake" -S "$here/installed_host" -B "$work/host_cmake" -DCMAKE_PREFIX_PATH="$root/usr" \
    -DCMAKE_C_COMPILER="$cc" >"$work/host_cmake.log"
"$cmake" --build "$work/host_cmake" >>"$work/host_cmake.log"
"$work/host_cmake/host"

if command -v lintian >/dev/null; then
    echo "--- lintian"
    status=0
    lintian --allow-root --tag-display-limit 0 "$runtime" "$dev" "$tools" >"$work/lintian.txt" 2>&1 ||
        status=$?
    cat "$work/lintian.txt"
    if grep -q '^E: ' "$work/lintian.txt"; then fail "lintian reports errors"; fi
    [ "$status" = 0 ] || fail "lintian exit $status"
    # The tags our overrides cover, for the record.
    grep -h '' "$root"/usr/share/lintian/overrides/* | sed 's/^/overridden: /'
else
    echo "--- lintian not installed: skipped"
fi
echo "packages $(cd "$work" && ls *.deb | tr '\n' ' '): all checks passed"

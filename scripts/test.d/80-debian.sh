#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Debian packages as Debian builds them: debian/ with debhelper,
# `dpkg-buildpackage -us -uc -b` in a clean clone of the committed tree (the
# test suites are not built there). Then: the same three packages,
# python3-quorvel and quorvel-spool; lintian with 0 errors and 0 warnings;
# debian/changelog at the project's version; libquorvel1 without maintainer
# scripts and gone, not in state rc, after dpkg -r (in a scratch dpkg
# database, not this machine's); the unit file and the HTTP API in
# quorvel-tools, whose instances' state stays after dpkg -r and goes with
# dpkg -P; python3-quorvel's module importable, with the library of
# libquorvel1, and its pytest plugin found by pytest.
set -euo pipefail
root=$(pwd)
work=$root/build/debian
fail() { echo "80-debian: $*" >&2; exit 1; }

# QUORVEL_DEBIAN_REUSE=1 checks the packages of the last run again (no build).
if [ -z "${QUORVEL_DEBIAN_REUSE:-}" ]; then
rm -rf "$work"
mkdir -p "$work"
git clone -q --no-local "$root" "$work/quorvel"
(cd "$work/quorvel" && git checkout -q "$(git -C "$root" rev-parse HEAD)")
fi
version=$(sed -n 's/^project(quorvel VERSION \([0-9.]*\).*/\1/p' "$work/quorvel/CMakeLists.txt")
head -n1 "$work/quorvel/debian/changelog" | grep -q "^quorvel ($version) " ||
    fail "debian/changelog is not at version $version"

if [ -z "${QUORVEL_DEBIAN_REUSE:-}" ]; then
echo "--- dpkg-buildpackage -us -uc -b"
(cd "$work/quorvel" && DEB_BUILD_OPTIONS="parallel=${QUORVEL_JOBS:-$(nproc)}" \
    dpkg-buildpackage -us -uc -b >"$work/build.log" 2>&1) || { tail -n 40 "$work/build.log"; fail "build failed"; }
fi
if grep -Eq 'Building CXX object [^ ]*(tests|gtest|gmock)' "$work/build.log"; then
    fail "the package build built test suites"
fi

deb() { ls "$work"/"$1"_"$version"_*.deb 2>/dev/null | head -n1; }
runtime=$(deb libquorvel1) dev=$(deb libquorvel-dev) tools=$(deb quorvel-tools)
python=$(deb python3-quorvel) spool=$(deb quorvel-spool)
[ -n "$runtime" ] && [ -n "$dev" ] && [ -n "$tools" ] && [ -n "$python" ] && [ -n "$spool" ] ||
    { ls "$work"; fail "missing a package"; }
contains() {
    dpkg-deb -c "$1" >"$work/contents"
    grep -q -- "$2" "$work/contents" || fail "$(basename "$1") lacks $2"
}
member() { dpkg-deb --fsys-tarfile "$1" | tar -xO "$2"; }
contains "$runtime" '/libquorvel.so.1 -> libquorvel.so.1.2.0$'
contains "$dev" '/usr/include/quorvel.h$'
contains "$dev" '/libquorvel.so -> libquorvel.so.1$'
contains "$tools" '/usr/bin/quorvel-printer$'
contains "$tools" '/usr/share/quorvel-printer/profiles/generic-80.json$'  # found by name at start-up
contains "$tools" '/lib/systemd/system/quorvel-printer@.service$'
contains "$tools" '/usr/share/doc/quorvel-tools/examples/default.env$'
contains "$tools" '/usr/share/man/man1/quorvel-printer.1.gz$'
contains "$spool" '/usr/bin/quorvel-spool$'
contains "$spool" '/lib/systemd/system/quorvel-spool.service$'
contains "$spool" '/usr/share/man/man1/quorvel-spool.1.gz$'
contains "$spool" '/usr/share/doc/quorvel-spool/examples/spool.json$'
member "$tools" ./usr/share/doc/quorvel-tools/README.md.gz | zcat >"$work/README.md"
grep -q 'GET /api/receipts' "$work/README.md" || fail "quorvel-tools: no HTTP API in the installed README"
member "$tools" ./usr/share/man/man1/quorvel-printer.1.gz | zcat >"$work/quorvel-printer.1"
grep -q 'HTTP API' "$work/quorvel-printer.1" || fail "quorvel-printer(1) has no HTTP API section"
dpkg-deb -f "$dev" Depends | grep -q "libquorvel1 (= $version)" || fail "libquorvel-dev: $(dpkg-deb -f "$dev" Depends)"
# libcups.so.2 is loaded on the first queue open, so the shlibs scan cannot see it.
dpkg-deb -f "$runtime" Recommends | grep -qw libcups2 || fail "libquorvel1 does not recommend libcups2"

echo "--- python3-quorvel"
contains "$python" '/usr/lib/python3/dist-packages/quorvel/testing.py$'
contains "$python" '/usr/lib/python3/dist-packages/quorvel-'"$version"'.dist-info/entry_points.txt$'
depends=$(dpkg-deb -f "$python" Depends)
grep -q "libquorvel1 (>= $version)" <<<"$depends" && grep -qw python3 <<<"$depends" ||
    fail "python3-quorvel: $depends"
[ "$(dpkg-deb -f "$python" Architecture)" = all ] || fail "python3-quorvel is not Architecture: all"
# As installed: the module from dist-packages, the library from libquorvel1's
# folder (no QUORVEL_LIBRARY), and pytest finding the plugin by its entry point.
unpacked=$work/python-unpacked
rm -rf "$unpacked"
dpkg-deb -x "$python" "$unpacked"
dpkg-deb -x "$runtime" "$unpacked"
libdir=$(dirname "$(find "$unpacked/usr/lib" -name 'libquorvel.so.1' | head -n1)")
(cd "$work" && env -u QUORVEL_LIBRARY PYTHONPATH="$unpacked/usr/lib/python3/dist-packages" \
    LD_LIBRARY_PATH="$libdir" /usr/bin/python3 - "$unpacked" "$version" <<'PY'
import sys, quorvel
assert quorvel.__file__.startswith(sys.argv[1]) and quorvel.__version__ == sys.argv[2], quorvel.__file__
with quorvel.Dummy() as printer:  # every call through the library
    printer.text("Quorvel")
assert b"Quorvel" in printer.output, printer.output
PY
) || fail "python3-quorvel: the installed module does not work with libquorvel1's library"
(cd "$work" && env -u QUORVEL_LIBRARY PYTHONPATH="$unpacked/usr/lib/python3/dist-packages" \
    LD_LIBRARY_PATH="$libdir" /usr/bin/python3 -m pytest --markers) >"$work/markers.txt" 2>&1 || true
grep -q '@pytest.mark.virtual_printer(profile' "$work/markers.txt" ||
    { cat "$work/markers.txt"; fail "python3-quorvel: pytest does not load quorvel.testing"; }

echo "--- maintainer scripts and dpkg -r"
for deb in "$runtime" "$dev" "$tools" "$python" "$spool"; do
    rm -rf "$work/control-$(basename "$deb" .deb)"
    dpkg-deb -e "$deb" "$work/control-$(basename "$deb" .deb)"
    for script in "$work/control-$(basename "$deb" .deb)"/{preinst,postinst,prerm,postrm}; do
        [ -e "$script" ] || continue
        grep -Evq '^[[:space:]]*(#|set -e|exit 0|$)' "$script" || fail "$(basename "$deb"): empty $(basename "$script")"
    done
done
for script in preinst postinst prerm postrm; do
    [ ! -e "$work/control-$(basename "$runtime" .deb)/$script" ] || fail "libquorvel1 has a $script"
done
dpkgroot=$work/dpkg-root
rm -rf "$dpkgroot"
mkdir -p "$dpkgroot/var/lib/dpkg/updates" "$dpkgroot/var/lib/dpkg/info"
: >"$dpkgroot/var/lib/dpkg/status"
dpkg_scratch() { dpkg --root="$dpkgroot" --force-depends --force-not-root --force-script-chrootless \
    --log=/dev/null "$@"; }
dpkg_scratch -i "$runtime" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -i libquorvel1"; }
dpkg_scratch -r libquorvel1 >>"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -r libquorvel1"; }
state=$(dpkg-query --admindir="$dpkgroot/var/lib/dpkg" -W -f '${db:Status-Abbrev}' libquorvel1 2>/dev/null || true)
case "$state" in "" | "un "*) ;; *) fail "libquorvel1 left in state '$state' after dpkg -r" ;; esac
# An instance's state as systemd leaves it (DynamicUser=: the folder in
# /var/lib/private, a link in /var/lib): kept by dpkg -r, gone after dpkg -P.
private=$dpkgroot/var/lib/private/quorvel-printer/till1
mkdir -p "$private"
echo receipt >"$private/receipt-0001.png"
ln -s private/quorvel-printer "$dpkgroot/var/lib/quorvel-printer"
dpkg_scratch -i "$tools" >>"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -i quorvel-tools"; }
dpkg_scratch -r quorvel-tools >>"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -r quorvel-tools"; }
[ -e "$dpkgroot/var/lib/quorvel-printer/till1/receipt-0001.png" ] || fail "dpkg -r quorvel-tools removed the receipts"
dpkg_scratch -P quorvel-tools >>"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -P quorvel-tools"; }
[ ! -e "$private" ] && [ ! -L "$dpkgroot/var/lib/quorvel-printer" ] ||
    fail "dpkg -P quorvel-tools left $(cd "$dpkgroot" && ls -d var/lib/quorvel-printer var/lib/private/quorvel-printer 2>/dev/null)"

echo "--- lintian"
lintian --allow-root --tag-display-limit 0 --fail-on error,warning "$work"/*.changes >"$work/lintian.txt" 2>&1 ||
    { cat "$work/lintian.txt"; fail "lintian reports errors or warnings"; }
cat "$work/lintian.txt"
echo "80-debian: $(cd "$work" && ls ./*.deb | tr '\n' ' ')- all checks passed"

#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs a command in a private, headless wine64 environment (with --win32: a
# 32-bit one, WINEARCH=win32 under Debian's wine32) and cleans up after:
# its own WINEPREFIX and TMPDIR (removed at the end), no display (wine's null
# display driver), Mono, Gecko and the menu builder disabled, WINEDEBUG=-all, a persistent wineserver whose
# output goes to a file (so no test waits on its pipes), and COM7 backed by a
# pseudo-terminal whose far end tests reach through serial_relay.py.
#
# Usage: tests/windows/run-under-wine.sh [--win32] COMMAND [ARGS...]
#   e.g. tests/windows/run-under-wine.sh ctest --test-dir build/mingw -j2
#        tests/windows/run-under-wine.sh --win32 ctest --test-dir build/mingw32 -j2
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
arch=win64
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
if [ "${1:-}" = "--win32" ]; then
    shift
    # A 64-bit prefix cannot start 32-bit programs without 32-bit wine
    # ("could not load kernel32.dll"); a win32 prefix runs them alone.
    arch=win32
    wine=/usr/lib/wine/wine
    [ -x "$wine" ] || { echo "run-under-wine: $wine missing: install wine32:i386" >&2; exit 1; }
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-wine.XXXXXX")
export WINEPREFIX="$work/prefix" TMPDIR="$work/tmp" WINEARCH=$arch WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$TMPDIR" "$WINEPREFIX"
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)

cleanup() {
    "$wineserver" -k >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

"$wineserver" -p >"$work/wineserver.log" 2>&1 </dev/null
start=$SECONDS
"$wine" wineboot --init >"$work/wineboot.log" 2>&1 </dev/null || {
    echo "run-under-wine: wineboot failed:" >&2
    cat "$work/wineboot.log" >&2
    exit 1
}
# No display here: with the X11 driver failing, COM's message windows cannot
# be made, the RPC service never starts, and every program that opens a print
# queue waits 10 s for it. Wine's null display driver makes windows without a
# screen; it is read when the desktop starts, so the prefix starts again. The
# desktop and the RPC service then start here, output to the log: started by a
# test's program they would inherit its output pipes and outlive it.
"$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >>"$work/wineboot.log" 2>&1 </dev/null
"$wineserver" -k >/dev/null 2>&1 || true
"$wineserver" -w
"$wineserver" -p >>"$work/wineserver.log" 2>&1 </dev/null
"$wine" wineboot >>"$work/wineboot.log" 2>&1 </dev/null
"$wine" net start rpcss >>"$work/wineboot.log" 2>&1 </dev/null || true
"$wine" explorer.exe /desktop >>"$work/wineboot.log" 2>&1 </dev/null &
echo "run-under-wine: prefix ready in $((SECONDS - start)) s"
python3 "$here/serial_relay.py" --com 7 "$@"

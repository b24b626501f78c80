#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The emulator ctest runs each Windows test program with: wine64 PROGRAM ARGS
# (32-bit programs: /usr/lib/wine/wine PROGRAM ARGS).
#
# About once in a few thousand starts under load, wine64 ends with status 1
# before the program has run at all: nothing on stdout or stderr. Every test
# program writes to stdout before its first case (and a listing run prints
# the list), so a run that fails having written nothing never reached the
# program; it is started again, at most twice, and the restart is said on
# stderr. 32-bit wine, about once in two thousand runs, is itself killed by
# SIGSEGV (status 139) as the program ends, after the program has passed; a
# crash inside the program is not that (wine reports it and the program ends
# with status 5, c0000005), so a run that ends with 139 is started again the
# same way. Any other run that wrote anything keeps its status.
#
# Usage: wine-run.sh WINE64 PROGRAM [ARGS...]
set -uo pipefail
wine64=$1
shift
out=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX")
err=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX")
trap 'rm -f "$out" "$err"' EXIT
for attempt in 1 2 3; do
    "$wine64" "$@" >"$out" 2>"$err"
    status=$?
    if [ "$status" -eq 139 ]; then
        echo "wine-run: wine itself ended by SIGSEGV running $(basename "$1")" \
            "(start $attempt of 3)" >&2
        continue
    fi
    if [ "$status" -eq 0 ] || [ -s "$out" ] || [ -s "$err" ]; then
        break
    fi
    echo "wine-run: $(basename "$1") ended with status $status before writing anything" \
        "(start $attempt of 3)" >&2
done
cat "$out"
cat "$err" >&2
exit "$status"

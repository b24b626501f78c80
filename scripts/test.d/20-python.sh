#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Python package (python/): pytest against the dev build's library and
# quorvel-printer, over loopback TCP and pseudo-terminals, plus an offline
# pip install into a fresh virtual environment. The tests mostly wait for
# printer processes, so they run in 4 workers (pytest-xdist): about 20 s.
set -euo pipefail
cd "$(dirname "$0")/../.."
jobs=${QUORVEL_JOBS:-$(nproc)}
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$jobs" --target quorvel quorvel-printer
export QUORVEL_LIBRARY=$PWD/build/dev/src/libquorvel.so.1
# The printer is left to the tests' own default, this build's quorvel-printer,
# as for a developer who runs `python3 -m pytest python/tests` by hand.
unset QUORVEL_PRINTER
# Debian's interpreter, where python3-pytest and python3-pil are installed.
python=${QUORVEL_PYTHON:-/usr/bin/python3}
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
"$python" -m pytest -q -n 4 -p no:cacheprovider python/tests 2>&1 | tee "$log" || status=$?
[ "$status" -eq 0 ] || exit "$status"
# A run whose workers died can end without an error status and without
# running anything: only a summary with passed tests and no failure counts.
if ! tail -n 3 "$log" | grep -Eq '[0-9]+ passed' || tail -n 3 "$log" | grep -Eq '[0-9]+ (failed|error)'; then
    echo "20-python: pytest ran no tests or reported failures" >&2
    exit 1
fi

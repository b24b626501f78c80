#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs every test: installs what is missing, then each stage in scripts/test.d
# in name order. Stops at the first failing stage. Each stage's footer gives
# its time and the cases it ran, counted from its output (ctest's "out of N",
# pytest's "N passed", the valgrind and queue checks, the fuzz targets), so a
# stage that quietly tests less shows it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
export QUORVEL_JOBS=${QUORVEL_JOBS:-$(nproc)}
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# The cases a stage's output reports, e.g. "ctest 973, pytest 61".
cases_in() {
    awk '
        /tests passed, [0-9]+ tests? failed out of [0-9]+/ { ctest += $NF }
        /^(=+ )?[0-9]+ passed/ && / in [0-9.]+s/ { pytest += ($1 ~ /^=/) ? $2 : $1 }
        /^valgrind: [0-9]+ cases run/ { valgrind += $2 }
        /^ok   [^ ]/ { checks++ }
        /^fuzz: [0-9]+ targets run/ { fuzz += $2 }
        END {
            out = ""
            if (ctest) out = out ", ctest " ctest
            if (pytest) out = out ", pytest " pytest
            if (valgrind) out = out ", valgrind " valgrind
            if (checks) out = out ", checks " checks
            if (fuzz) out = out ", fuzz targets " fuzz
            print (out == "" ? "none counted" : substr(out, 3))
        }' "$1"
}

failed=0
for stage in scripts/test.d/*.sh; do
    echo "=== $(basename "$stage")"
    start=$SECONDS
    if ! bash "$stage" 2>&1 | tee "$log"; then
        echo "=== $(basename "$stage") FAILED after $((SECONDS - start)) s"
        failed=1
        break
    fi
    echo "=== $(basename "$stage") passed in $((SECONDS - start)) s; cases: $(cases_in "$log")"
done
exit $failed

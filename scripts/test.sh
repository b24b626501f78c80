#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs every test: installs what is missing, then each stage in scripts/test.d
# in name order. Stops at the first failing stage.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
export QUORVEL_JOBS=${QUORVEL_JOBS:-$(nproc)}
failed=0
for stage in scripts/test.d/*.sh; do
    echo "=== $(basename "$stage")"
    start=$SECONDS
    if ! bash "$stage"; then
        echo "=== $(basename "$stage") FAILED after $((SECONDS - start)) s"
        failed=1
        break
    fi
    echo "=== $(basename "$stage") passed in $((SECONDS - start)) s"
done
exit $failed

#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Valgrind memcheck over the dev build's loopback and fault suites, one process
# per case (the library keeps process-wide link state), two at a time. Any
# memory error or leak fails the stage. About 2 to 4 minutes on 2 cores (some 215
# cases). Needs the dev build of stage 10.
set -euo pipefail
jobs=${QUORVEL_JOBS:-$(nproc)}
build=${QUORVEL_DEV_BUILD:-build/dev}/tests
log_dir=$(mktemp -d)
trap 'rm -rf "$log_dir"' EXIT

# Left out: the 80,000-command load case (valgrind serialises threads, so it
# alone would take minutes; the sanitizer stage runs it).
left_out=(
    ManyThreadsOneLink.EveryCommandArrivesWholeAndUnmixed
)
cases=()
for suite in loopback_tests faults_tests; do
    [ -x "$build/$suite" ] || { echo "missing $build/$suite: run stage 10 first"; exit 1; }
    while read -r name; do
        cases+=("$suite $name")
    done < <("$build/$suite" --gtest_list_tests |
             awk '/^[^ ]/ {suite = $1} /^  / {print suite $1}' |
             grep -vxF -f <(printf '%s\n' "${left_out[@]}"))
done

run_case() {  # suite case
    local suite=$1 name=$2 log
    log="$log_dir/$(echo "$suite.$name" | tr '/' '_').log"
    if valgrind --quiet --error-exitcode=1 --leak-check=full --suppressions=scripts/valgrind-gtest.supp \
           "$build/$suite" --gtest_filter="$name" > "$log" 2>&1; then
        echo "ok    $suite $name"
    else
        echo "FAIL  $suite $name"
        tail -n 40 "$log"
        return 1
    fi
}
export -f run_case
export build log_dir

status=0
printf '%s\n' "${cases[@]}" | xargs -P "$jobs" -L 1 bash -c 'run_case "$0" "$1"' || status=1
echo "valgrind: ${#cases[@]} cases run"
exit $status

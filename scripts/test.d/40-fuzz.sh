#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Fuzzing: builds the libFuzzer targets (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for 30 s, as many at once as there
# are cores (each target is one process on one core, so it gets the same 30 s
# of CPU as when they ran one after another). Any crash, failed check or
# sanitizer report fails the stage. About 2 to 3 minutes on 2 cores.
set -euo pipefail
cmake --preset fuzz
# Only the three targets: the tools' clang build is stage 15's.
cmake --build --preset fuzz -j "$QUORVEL_JOBS" --target decimal_list_fuzz print_builders_fuzz printer_interpreter_fuzz

bin=build/fuzz/fuzz
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Seeds for the list target: a short raw command, a list at the raw-command
# limit and one past it, and a list longer than the Code 128 code area.
mkdir -p "$work/decimal_list_fuzz"
printf '27,97,1' > "$work/decimal_list_fuzz/short"
python3 -c 'print(",".join(str(i % 300) for i in range(4096)), end="")' > "$work/decimal_list_fuzz/limit"
python3 -c 'print(",".join(str(i % 300) for i in range(4097)), end="")' > "$work/decimal_list_fuzz/past_limit"
python3 -c 'print(",".join(str(i) for i in range(120)), end="")' > "$work/decimal_list_fuzz/code_area"
mkdir -p "$work/print_builders_fuzz"

run_target() {  # name binary [libFuzzer options...]
    local name=$1 binary=$2
    shift 2
    mkdir -p "$work/$name" "$work/artifacts-$name"
    if ! "$binary" "$work/$name" -max_total_time=30 -rss_limit_mb=1024 -print_final_stats=1 \
            -artifact_prefix="$work/artifacts-$name/" "$@" > "$work/$name.log" 2>&1; then
        echo "failed" > "$work/$name.status"
    else
        echo "passed" > "$work/$name.status"
    fi
}

report_target() {  # name: the target's outcome, after it has run
    local name=$1
    echo "--- $name: 30 s"
    if [ "$(cat "$work/$name.status" 2>/dev/null)" != passed ]; then
        tail -n 60 "$work/$name.log"
        for input in "$work/artifacts-$name"/*; do
            [ -f "$input" ] || continue
            echo "failing input $(basename "$input"), first 256 bytes:"
            head -c 256 "$input" | od -An -tx1 || true
        done
        echo "--- $name FAILED"
        return 1
    fi
    grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$work/$name.log" || true
}

targets=(decimal_list_fuzz print_builders_fuzz)
declare -A binary=([decimal_list_fuzz]="$bin/decimal_list_fuzz" [print_builders_fuzz]="$bin/print_builders_fuzz")
declare -A options=([decimal_list_fuzz]="-max_len=20000" [print_builders_fuzz]="-max_len=4096")
printer_fuzz=build/fuzz/printer/fuzz/printer_interpreter_fuzz
if [ -x "$printer_fuzz" ]; then
    targets+=(printer_interpreter_fuzz)
    binary[printer_interpreter_fuzz]=$printer_fuzz
    options[printer_interpreter_fuzz]=""
fi

# At most QUORVEL_JOBS targets at once; each is reported when all have run.
jobs=${QUORVEL_JOBS:-$(nproc)}
running=0
for name in "${targets[@]}"; do
    if [ "$running" -ge "$jobs" ]; then
        wait -n || true
        running=$((running - 1))
    fi
    # shellcheck disable=SC2086  # the options are words
    run_target "$name" "${binary[$name]}" ${options[$name]} &
    running=$((running + 1))
done
wait

status=0
for name in "${targets[@]}"; do
    report_target "$name" || status=1
done
echo "fuzz: ${#targets[@]} targets run"
exit $status

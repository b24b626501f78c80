#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds only what it runs (the library, the virtual printer and the sample
# host), starts the virtual receipt printer on a loopback address with its
# live web page, prints a sample receipt through the library, and leaves the
# receipt images and the command journal in out/demo/.
#
#   scripts/demo.sh          prints the receipt, stops the printer and ends
#   scripts/demo.sh --keep   waits for Enter before printing (open the page
#                            first to watch the receipt arrive), then keeps
#                            the printer and its page running until Ctrl-C
set -euo pipefail
keep=0
case "${1:-}" in
    --keep) keep=1 ;;
    "") ;;
    *) echo "usage: scripts/demo.sh [--keep]" >&2; exit 2 ;;
esac
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/bootstrap.sh
cmake --preset dev
cmake --build --preset dev -j "$(nproc)" --target quorvel quorvel-printer sample_receipt

printer="$root/build/dev/printer/quorvel-printer"
host="$root/build/dev/examples/sample_receipt"
out="$root/out/demo"
rm -rf "$out"
mkdir -p "$out"

pid=""
stop_printer() {
    if [[ -n "$pid" ]] && kill -0 "$pid" 2>/dev/null; then
        kill -TERM "$pid"
        wait "$pid" 2>/dev/null || true
    fi
}
trap stop_printer EXIT

# The library always connects to port 9100; take the first loopback
# address on which that port is free.
ip=""
for candidate in 127.0.0.1 127.0.91.1 127.0.91.2 127.0.92.7 127.1.2.3; do
    # The receipt starts with stored image 1 (FS p 1): the Quorvel logo, preloaded.
    "$printer" --listen "$candidate:9100" --out "$out" --journal "$out/journal.txt" \
        --http "$candidate:8080" \
        --logo "1=$root/examples/assets/quorvel-logo.png" 2>"$out/printer.err" &
    pid=$!
    for _ in $(seq 50); do
        grep -q "^# listening on" "$out/journal.txt" 2>/dev/null && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null && grep -q "^# listening on" "$out/journal.txt" 2>/dev/null; then
        ip=$candidate
        break
    fi
    wait "$pid" 2>/dev/null || true
    pid=""
done
if [[ -z "$ip" ]]; then
    echo "demo: could not start the virtual printer:" >&2
    cat "$out/printer.err" >&2
    exit 1
fi
url=$(sed -n 's/^# web page at //p' "$out/journal.txt" | head -n 1)
echo "demo: virtual printer listening on $ip:9100"
echo "demo: live page (receipts, status switches): $url"

if ((keep)) && [[ -t 0 ]]; then
    read -r -p "demo: open $url in a browser, then press Enter to print the sample receipt " _
fi
"$host" "$ip" | tee "$out/host.txt"

# Wait for the host's connection to end; the printer writes the paper left
# uncut when it stops.
for _ in $(seq 50); do
    grep -q "closed after" "$out/journal.txt" && break
    sleep 0.1
done

if ((keep)); then
    echo
    echo "demo: the printer keeps running: $url shows the receipt; flip \"paper out\""
    echo "demo: there and print again with: $host $ip"
    echo "demo: press Ctrl-C to stop"
    trap 'echo; stop_printer; exit 0' INT TERM
    wait "$pid" || true
    exit 0
fi
stop_printer
pid=""

echo
echo "demo: receipt images and journal in $out:"
ls -1 "$out"/*.png "$out/journal.txt"
echo "demo: to watch receipts arrive on the live page, run scripts/demo.sh --keep"

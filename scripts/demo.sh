#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds only what it runs (the library, the virtual printer and the sample
# hosts), starts a small shop in one virtual printer process - an 80 mm
# counter printer and a 58 mm kitchen printer, each on a loopback address of
# its own with one live web page for both - prints a sample receipt on the
# counter and an order on the kitchen printer through the library, and leaves
# each printer's receipt images and command journal in out/demo/NAME/.
#
#   scripts/demo.sh          prints, stops the printers and ends
#   scripts/demo.sh --keep   waits for Enter before printing (open the page
#                            first to watch the receipts arrive), then keeps
#                            the printers and their page running until Ctrl-C
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
cmake --build --preset dev -j "$(nproc)" --target quorvel quorvel-printer sample_receipt kitchen_order

printer="$root/build/dev/printer/quorvel-printer"
host="$root/build/dev/examples/sample_receipt"
kitchen_host="$root/build/dev/examples/kitchen_order"
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

# The library's AbreSocket always connects to port 9100: each printer of the
# shop takes a loopback address of its own, the first pair on which that port
# is free.
ip=""
kitchen=""
for pair in "127.0.0.1 127.0.0.2" "127.0.91.1 127.0.91.2" "127.0.92.7 127.0.92.8" "127.1.2.3 127.1.2.4"; do
    read -r counter_ip kitchen_ip <<<"$pair"
    # The counter's receipt starts with stored image 1 (FS p 1): the Quorvel logo, preloaded.
    cat >"$out/shop.json" <<JSON
{"printers": [
  {"name": "counter", "profile": "generic-80", "listen": "$counter_ip:9100",
   "logos": ["1=$root/examples/assets/quorvel-logo.png"]},
  {"name": "kitchen", "profile": "generic-58", "listen": "$kitchen_ip:9100"}
]}
JSON
    rm -f "$out/ready.txt"
    "$printer" --shop "$out/shop.json" --out "$out" --http "$counter_ip:8080" \
        --ready-file "$out/ready.txt" 2>"$out/printer.err" &
    pid=$!
    for _ in $(seq 50); do
        [[ -s "$out/ready.txt" ]] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null && [[ -s "$out/ready.txt" ]]; then
        ip=$counter_ip
        kitchen=$kitchen_ip
        break
    fi
    wait "$pid" 2>/dev/null || true
    pid=""
done
if [[ -z "$ip" ]]; then
    echo "demo: could not start the virtual printers:" >&2
    cat "$out/printer.err" >&2
    exit 1
fi
url=$(sed -n 's/^http=//p' "$out/ready.txt" | head -n 1)
echo "demo: counter printer (80 mm, 576 dots) listening on $ip:9100"
echo "demo: kitchen printer (58 mm, 384 dots) listening on $kitchen:9100"
echo "demo: live page, a tab per printer (receipts, status switches): $url"

if ((keep)) && [[ -t 0 ]]; then
    read -r -p "demo: open $url in a browser, then press Enter to print the sample receipt " _
fi
"$host" "$ip" | tee "$out/host.txt"
"$kitchen_host" "$kitchen" | tee -a "$out/host.txt"

# Wait for each host's connection to end; the printers write the paper left
# uncut when they stop.
for name in counter kitchen; do
    for _ in $(seq 50); do
        grep -q "closed after" "$out/$name/journal.log" && break
        sleep 0.1
    done
done

if ((keep)); then
    echo
    echo "demo: the printers keep running: $url shows each printer's receipts in its"
    echo "demo: tab; flip \"paper out\" there and print again with: $host $ip"
    echo "demo: or: $kitchen_host $kitchen"
    echo "demo: press Ctrl-C to stop"
    trap 'echo; stop_printer; exit 0' INT TERM
    wait "$pid" || true
    exit 0
fi
stop_printer
pid=""

echo
echo "demo: receipt images and journals in $out:"
ls -1 "$out"/counter/*.png "$out"/kitchen/*.png "$out"/*/journal.log
echo "demo: to watch receipts arrive on the live page, run scripts/demo.sh --keep"

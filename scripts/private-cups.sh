#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A private CUPS scheduler with a raw queue to a (virtual) printer, for trying
# print queues without the system's CUPS: its configuration, spool and logs in
# one folder, clients reaching it through CUPS_SERVER=FOLDER/cups.sock.
usage() {
    cat <<'EOF'
Usage: scripts/private-cups.sh [OPTIONS] [-- COMMAND [ARGS...]]

Starts cupsd in a folder of its own with a raw queue (no model: bytes pass
as they are) whose device is socket://PRINTER. Run as root: cupsd hands jobs
to its backends as the lp user.

With COMMAND: runs it with CUPS_SERVER set, waits (60 s at most) for the jobs
it queued to go out, stops the scheduler and exits with COMMAND's status. Without: prints CUPS_SERVER=... (for the shell
where you print) and keeps the scheduler until Ctrl-C or SIGTERM.

  --printer ADDR[:PORT]  where the queue sends its jobs (default 127.0.0.1:9100)
  --queue NAME           the queue's name (default receipts)
  --no-queue             no queue: the scheduler alone
  --tcp ADDR:PORT        also listen on this loopback TCP address (for clients
                         that cannot reach a socket file, e.g. Windows programs
                         under wine)
  --dir DIR              the scheduler's folder, kept afterwards (default: a
                         new folder under /tmp, removed at the end)
  -h, --help             this text
EOF
}
set -euo pipefail
fail() { echo "private-cups: $*" >&2; exit 2; }
dir="" tcp="" queue=receipts printer=127.0.0.1:9100 make_queue=1
while [ $# -gt 0 ]; do
    case $1 in
        --dir | --queue | --printer | --tcp)
            [ $# -ge 2 ] && [ -n "$2" ] || fail "$1 needs a value"
            case $1 in --dir) dir=$2 ;; --queue) queue=$2 ;; --printer) printer=$2 ;; --tcp) tcp=$2 ;; esac
            shift 2 ;;
        --no-queue) make_queue=0; shift ;;
        -h | --help) usage; exit 0 ;;
        --) shift; break ;;
        *) usage >&2; fail "unknown option $1" ;;
    esac
done
[[ $printer == *:* ]] || printer=$printer:9100
[[ $printer =~ ^[A-Za-z0-9._-]+:[0-9]+$ ]] || fail "--printer takes ADDR[:PORT], not '$printer'"
[ -z "$tcp" ] || [[ $tcp =~ ^127\.[0-9.]+:[0-9]+$ ]] || fail "--tcp takes a loopback 127.x.y.z:PORT, not '$tcp'"
[[ $queue =~ ^[A-Za-z0-9_-]+$ ]] || fail "--queue takes letters, digits, - and _, not '$queue'"
cupsd=$(PATH=$PATH:/usr/sbin:/sbin command -v cupsd) || fail "cupsd not found (Debian: apt-get install cups)"
command -v lpadmin >/dev/null || fail "lpadmin not found (Debian: apt-get install cups-client)"
[ "$(id -u)" -eq 0 ] || fail "run as root: cupsd starts its backends as the lp user"

keep=1
if [ -z "$dir" ]; then
    # Under /tmp whatever TMPDIR says: the backends run as lp and must reach
    # the spool (a private TMPDIR is often mode 0700).
    dir=$(mktemp -d /tmp/quorvel-cups.XXXXXX)
    keep=0
fi
mkdir -p "$dir"/{spool/tmp,cache,log,state}
dir=$(cd "$dir" && pwd)
chmod 0755 "$dir" "$dir"/{spool,cache,log,state}
chmod 1777 "$dir/spool/tmp"
socket=$dir/cups.sock
cat >"$dir/cupsd.conf" <<EOF
Listen $socket
${tcp:+Listen $tcp}
Browsing No
WebInterface No
LogLevel info
<Location />
  Order allow,deny
  Allow all
</Location>
EOF
cat >"$dir/cups-files.conf" <<EOF
ServerRoot $dir
RequestRoot $dir/spool
CacheDir $dir/cache
StateDir $dir/state
TempDir $dir/spool/tmp
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
DataDir /usr/share/cups
ServerBin /usr/lib/cups
SystemGroup root
User lp
Group lp
Sandboxing Relaxed
EOF

pid=""
stop() {
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    [ "$keep" -eq 1 ] || rm -rf "$dir"
}
trap stop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
"$cupsd" -f -c "$dir/cupsd.conf" -s "$dir/cups-files.conf" </dev/null >"$dir/log/cupsd.out" 2>&1 &
pid=$!
export CUPS_SERVER=$socket
for _ in $(seq 200); do
    [ "$(lpstat -r 2>/dev/null)" = "scheduler is running" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if [ "$(lpstat -r 2>/dev/null)" != "scheduler is running" ]; then
    cat "$dir/log/cupsd.out" "$dir/log/error_log" 2>/dev/null | tail -n 20 >&2
    fail "cupsd did not start"
fi
if [ "$make_queue" -eq 1 ]; then
    # A job that fails (printer off) is dropped rather than stopping the queue.
    lpadmin -p "$queue" -E -v "socket://$printer" -o printer-error-policy=abort-job ||
        fail "lpadmin could not make queue $queue"
fi

if [ $# -gt 0 ]; then
    status=0
    "$@" || status=$?
    # The jobs COMMAND queued go out before the scheduler stops (at most 60 s).
    for _ in $(seq 600); do
        [ -z "$(lpstat -o 2>/dev/null)" ] && break
        sleep 0.1
    done
    left=$(lpstat -o 2>/dev/null | wc -l)
    [ "$left" -eq 0 ] || echo "private-cups: $left job(s) still queued after 60 s, dropped" >&2
    exit "$status"
fi
echo "CUPS_SERVER=$socket"
if [ "$make_queue" -eq 1 ]; then
    echo "private-cups: queue $queue -> socket://$printer; in another shell:" >&2
    echo "  export CUPS_SERVER=$socket; lpstat -v; quorvel --queue $queue ..." >&2
fi
echo "private-cups: running (cupsd $pid, folder $dir); Ctrl-C stops it" >&2
wait "$pid"

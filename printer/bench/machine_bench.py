# SPDX-License-Identifier: MIT
"""The print mechanism's cost, measured on the running tool:

1. CPU per receipt at --speed 0, a printer built before the mechanism
   against this one, alternating runs: the printer process is fed ROUNDS
   connections of the typical receipt (24 times each) over TCP while
   `perf stat` counts its CPU time (task-clock). That moves with the
   machine's load, so the instructions are counted too, under callgrind
   (zeroed once the printer is serving, dumped once the receipts are out),
   which does not.
2. CPU of an idle printer and of a held one (paper out, its buffer full and
   the host's writes blocked, at --speed 250 and 0), from the printer's
   threads' schedstat (nanoseconds on a CPU) and /proc/PID/stat (ticks) over
   HOLD_SECONDS.

  python3 printer/bench/machine_bench.py BEFORE_BINARY AFTER_BINARY
"""

import http.client
import json
import os
import re
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
STREAM = open(os.path.join(HERE, "typical_receipt.bin"), "rb").read() * 24
ROUNDS = 10
HOLD_SECONDS = 5
RUNS = 5


def start(binary, ip, *extra):
    d = tempfile.mkdtemp(prefix="qvp-mbench-")
    ready = os.path.join(d, "ready")
    p = subprocess.Popen([binary, "--listen", ip + ":9100", "--out", d, "--journal",
                          os.path.join(d, "journal.txt"), "--flush-after", "0",
                          "--ready-file", ready, *extra], stderr=subprocess.DEVNULL)
    for _ in range(500):
        if os.path.exists(ready):
            break
        time.sleep(0.01)
    with open(ready) as f:
        keys = dict(l.strip().split("=", 1) for l in f if "=" in l)
    return p, d, keys


def pngs(d):
    return len([f for f in os.listdir(d) if f.endswith(".png")])


def per_receipt(binary, ip):
    p, d, _ = start(binary, ip)
    perf_out = os.path.join(d, "perf.txt")
    perf = subprocess.Popen(["perf", "stat", "-x", ",", "-o", perf_out, "-e", "task-clock",
                             "-p", str(p.pid)])
    time.sleep(0.3)
    for _ in range(ROUNDS):
        with socket.create_connection((ip, 9100)) as s:
            s.sendall(STREAM)
    want = ROUNDS * 24 * 2  # two pages per typical receipt
    deadline = time.time() + 120
    while pngs(d) < want and time.time() < deadline:
        time.sleep(0.02)
    perf.send_signal(signal.SIGINT)
    perf.wait()
    p.terminate()
    p.wait()
    counts = {}
    with open(perf_out) as f:
        for line in f:
            fields = line.strip().split(",")
            if len(fields) > 2 and fields[0].replace(".", "").isdigit():
                counts[fields[2]] = float(fields[0])
    return counts["task-clock"] / (pngs(d) / 2)


def instructions_per_receipt(binary, ip, rounds=2):
    """Instructions of every thread of the printer per receipt, under callgrind."""
    d = tempfile.mkdtemp(prefix="qvp-mbench-cg-")
    ready = os.path.join(d, "ready")
    p = subprocess.Popen(["valgrind", "--tool=callgrind", "--callgrind-out-file=" + d + "/cg.out",
                          binary, "--listen", ip + ":9100", "--out", d, "--journal",
                          os.path.join(d, "journal.txt"), "--flush-after", "0",
                          "--ready-file", ready], stderr=subprocess.DEVNULL,
                         stdout=subprocess.DEVNULL)
    while not os.path.exists(ready):
        time.sleep(0.1)
    subprocess.run(["callgrind_control", "-z", str(p.pid)], capture_output=True)
    for _ in range(rounds):
        with socket.create_connection((ip, 9100)) as s:
            s.sendall(STREAM)
    while pngs(d) < rounds * 48:
        time.sleep(0.1)
    time.sleep(0.5)
    subprocess.run(["callgrind_control", "-d", str(p.pid)], capture_output=True)
    p.terminate()
    p.wait()
    dumps = sorted(f for f in os.listdir(d) if f.startswith("cg.out."))
    with open(os.path.join(d, dumps[0])) as f:
        total = int(re.search(r"^(?:summary|totals): (\d+)", f.read(), re.M).group(1))
    return total / (rounds * 24)


def cpu_ns(pid):
    """Nanoseconds on a CPU: the main thread, and every other thread."""
    main = others = 0
    for t in os.listdir("/proc/%d/task" % pid):
        with open("/proc/%d/task/%s/schedstat" % (pid, t)) as f:
            ns = int(f.read().split()[0])
        if int(t) == pid:
            main += ns
        else:
            others += ns
    return main, others


def ticks(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime + stime


def held_cpu(binary, ip, speed, hold):
    p, d, keys = start(binary, ip, "--speed", speed, "--http", ip + ":0")
    port = int(keys["http"].rstrip("/").rsplit(":", 1)[1])
    host = None
    if hold:
        c = http.client.HTTPConnection(ip, port)
        c.request("PUT", "/api/status", json.dumps({"paper": "out"}))
        c.getresponse().read()
        host = socket.create_connection((ip, 9100))
        host.setblocking(False)
        line = b"HELD LINE\n" + b"\x1d(E\xd0\x07" + bytes(2000)
        sent = 0
        while True:
            try:
                sent += host.send(line)
            except BlockingIOError:
                break
        c.request("GET", "/api/status")
        state = json.loads(c.getresponse().read())
        assert state["state"] == "held", state
    time.sleep(0.5)
    ns0, t0, w0 = cpu_ns(p.pid), ticks(p.pid), time.monotonic()
    time.sleep(HOLD_SECONDS)
    ns1, t1, w1 = cpu_ns(p.pid), ticks(p.pid), time.monotonic()
    if host:
        host.close()
    p.terminate()
    p.wait()
    return (ns1[0] - ns0[0]) / 1e6, (ns1[1] - ns0[1]) / 1e6, t1 - t0, w1 - w0


def main():
    before, after = sys.argv[1], sys.argv[2]
    print("CPU per typical receipt at --speed 0 (%d connections x 24 receipts per run)" % ROUNDS)
    results = {before: [], after: []}
    for run in range(RUNS):
        for i, b in enumerate((before, after)):
            results[b].append(per_receipt(b, "127.93.202.%d" % (10 + i)))
    ins = {b: instructions_per_receipt(b, "127.93.202.%d" % (12 + i))
           for i, b in enumerate((before, after))}
    for name, b in (("before", before), ("after", after)):
        print("  %-6s  %.3f ms CPU per receipt (median of %d: %s); %.3f M instructions" % (
            name, statistics.median(results[b]), RUNS,
            ", ".join("%.2f" % r for r in results[b]), ins[b] / 1e6))
    print("  after/before: CPU %+.1f%%, instructions %+.2f%%" % (
        (statistics.median(results[after]) / statistics.median(results[before]) - 1) * 100,
        (ins[after] / ins[before] - 1) * 100))
    print("CPU over %d s (schedstat: the main thread, which waits for signals, and the"
          " links' and web threads; /proc/PID/stat ticks of 10 ms):" % HOLD_SECONDS)
    for what, speed, hold in (("idle, --speed 0", "0", False), ("idle, --speed 250", "250", False),
                              ("held (paper out, buffer full), --speed 0", "0", True),
                              ("held (paper out, buffer full), --speed 250", "250", True)):
        main, others, t, wall = held_cpu(after, "127.93.202.20", speed, hold)
        print("  %-44s main %.3f ms, others %.3f ms, %d ticks in %.1f s" % (
            what, main, others, t, wall))


if __name__ == "__main__":
    main()

# SPDX-License-Identifier: MIT
"""Benchmark of quorvel-printer's web side.

1. Latency: from the chunk holding the cut arriving at the printer to the
   receipt's card and image in the page's DOM, over 100 receipts printed
   through the library, one host connection each (headless Chromium).
2. Printing throughput: a captured stream sent 300 times over one connection
   (600 receipts), with the HTTP
   server off, on with no browser, and on with 5 browsers showing the page.

Run from the repository root, in a private network namespace:
  unshare -n sh -c 'ip link set lo up && /usr/bin/python3 printer/bench/web_bench.py'
"""

import os
import socket
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "web"))
from support import Library, Printer  # noqa: E402

from selenium import webdriver  # noqa: E402

STREAM = os.path.join(os.path.dirname(__file__), "typical_receipt.bin")
PRINTER = os.environ.get("QUORVEL_PRINTER", "build/dev/printer/quorvel-printer")


def chromium():
    o = webdriver.ChromeOptions()
    for a in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1000,900"):
        o.add_argument(a)
    return webdriver.Chrome(options=o)


def percentiles(values):
    v = sorted(values)
    q = lambda p: v[min(len(v) - 1, int(p * len(v)))]  # noqa: E731
    return "min %d, median %d, p90 %d, p99 %d, max %d ms" % (v[0], statistics.median(v), q(0.9), q(0.99), v[-1])


def latency(n=100):
    p = Printer()
    b = chromium()
    try:
        b.get(p.url + "/")
        while b.execute_script("return document.getElementById('link').className") != "up":
            time.sleep(0.05)
        lib = Library()
        for i in range(n):
            lib.receipt(p.ip, ["Receipt %d" % i, "Item 1      1,00", "Item 2      2,50", "TOTAL       3,50"])
            time.sleep(0.05)
        receipts = {r["id"]: r for r in p.wait_receipts(n)}
        deadline = time.time() + 20
        while True:
            arrivals = b.execute_script(
                "return [...window.qvArrivals].map(([id, a]) => [id, a.dom, a.loaded])")
            if sum(1 for a in arrivals if a[2]) >= n or time.time() > deadline:
                break
            time.sleep(0.1)
        dom = [a[1] - receipts[a[0]]["time_ms"] for a in arrivals]
        loaded = [a[2] - receipts[a[0]]["time_ms"] for a in arrivals if a[2]]
        print("latency over %d receipts, cut received -> card in DOM:     %s" % (len(dom), percentiles(dom)))
        print("latency over %d receipts, cut received -> image decoded:   %s" % (len(loaded), percentiles(loaded)))
    finally:
        b.quit()
        p.stop()


def cpu_seconds(pid):
    # utime + stime of every thread of the process, from /proc.
    fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def throughput(http, browsers, streams=300, pinned=False):
    # Pinned: the printer on CPU 0, the browsers (and this script) on CPU 1,
    # so the figure shows what the web side costs the printer itself rather
    # than the browsers' share of a 2-core machine.
    cpu = 0 if pinned else None
    os.sched_setaffinity(0, {1} if pinned else set(range(os.cpu_count())))
    data = open(STREAM, "rb").read()
    p = Printer(cpu=cpu) if http else None
    drivers = []
    if not http:
        # The same printer without --http: started by hand.
        import subprocess
        import tempfile
        from support import loopback_address
        d = tempfile.mkdtemp(prefix="qvp-bench-")
        ip = loopback_address()
        proc = subprocess.Popen([PRINTER, "--listen", ip + ":9100", "--out", d,
                                 "--journal", os.path.join(d, "journal.txt")],
                                preexec_fn=None if cpu is None else lambda: os.sched_setaffinity(0, {cpu}))
        import atexit
        import shutil
        atexit.register(shutil.rmtree, d, True)
        out = d
        for _ in range(100):
            try:
                socket.create_connection((ip, 9100), timeout=1).close()
                break
            except OSError:
                time.sleep(0.02)
    else:
        ip, out = p.ip, p.out
    try:
        for _ in range(browsers):
            b = chromium()
            b.get(p.url + "/")
            drivers.append(b)
        for b in drivers:
            while b.execute_script("return document.getElementById('link').className") != "up":
                time.sleep(0.05)
        pid = p.proc.pid if p else proc.pid
        before = len([f for f in os.listdir(out) if f.endswith(".png")])
        cpu0 = cpu_seconds(pid)
        t0 = time.perf_counter()
        # One connection: the printer's listen queue is short, and a burst of
        # connections would measure the kernel's SYN retries instead.
        # The stream asks for status: read the replies, or closing with them
        # unread would reset the connection.
        s = socket.create_connection((ip, 9100))
        s.sendall(data * streams)
        s.shutdown(socket.SHUT_WR)
        while s.recv(65536):
            pass
        s.close()
        want = before + 2 * streams
        while len([f for f in os.listdir(out) if f.endswith(".png")]) < want:
            time.sleep(0.005)
        elapsed = time.perf_counter() - t0
        # Let the browsers fetch what the burst's end made them ask for, then
        # count the printer's CPU (all its threads) over the whole burst.
        time.sleep(1.0 if browsers else 0)
        return 2 * streams / elapsed, (cpu_seconds(pid) - cpu0) * 1000 / (2 * streams)
    finally:
        for b in drivers:
            b.quit()
        if p:
            p.stop()
        else:
            proc.terminate()
            proc.wait()


def main():
    if "--throughput-only" not in sys.argv:
        latency()
    for pinned in (False, True):
        results = {"no --http": [], "--http, no browser": [], "--http, 5 browsers": []}
        for _ in range(int(os.environ.get("RUNS", "3"))):
            results["no --http"].append(throughput(False, 0, pinned=pinned))
            results["--http, no browser"].append(throughput(True, 0, pinned=pinned))
            results["--http, 5 browsers"].append(throughput(True, 5, pinned=pinned))
        rate = {k: [r[0] for r in v] for k, v in results.items()}
        cost = {k: [r[1] for r in v] for k, v in results.items()}
        base = statistics.median(rate["no --http"])
        base_cost = statistics.median(cost["no --http"])
        print("throughput, %s:" % ("printer on CPU 0, browsers on CPU 1" if pinned else "all on both CPUs"))
        for name in results:
            m = statistics.median(rate[name])
            c = statistics.median(cost[name])
            print("  %-20s median %6.0f receipts/s (runs: %s), %+.1f%% against no --http;"
                  " printer CPU %.3f ms/receipt (runs: %s), %+.1f%%" %
                  (name, m, ", ".join("%.0f" % r for r in rate[name]), 100 * (m / base - 1),
                   c, ", ".join("%.3f" % r for r in cost[name]), 100 * (c / base_cost - 1)))


if __name__ == "__main__":
    main()

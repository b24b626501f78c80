#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Runs a binding's several-printers host and its restaurant example against
three quorvel-printer processes at once: a receipt printer and a bar printer
on loopback TCP addresses of their own, and a kitchen printer on a
pseudo-terminal. Fails unless each printer received exactly its own orders.

    run_several.py --printer PATH --ips 127.a.b.c,127.a.b.d --work DIR
                   --host "CMD ..." --example "CMD ..."

The host gets RECEIPT_IP KITCHEN_PORT BAR_IP ORDERS and prints, from one thread
per printer, ORDERS lines "NAME order NNN" in the default text style, then a
cut. The example gets RECEIPT KITCHEN BAR and prints a receipt ("TOTAL"), a
kitchen ticket ("COZINHA") and a bar ticket ("BAR"), each with a cut, and
confirms each. It runs twice: once on ready printers, and once with the receipt
printer out of paper, where it must say the receipt is held, and print it once
(no copy) after the paper is back.
"""
import argparse
import json
import threading
import urllib.request
import shlex
import signal
import subprocess
import sys
import time
from pathlib import Path

ORDERS = 200
# ESC @, left, 32-dot spacing, Windows-1252, bold off, font A: a plain text line.
TEXT_HEAD = bytes.fromhex("1B40 1B6100 1B3320 1B7410 1B4500 1B4D00")
CUT = bytes.fromhex("1D5600")


class Printers:
    """receipt (TCP), kitchen (pty) and bar (TCP) printers, started together."""

    def __init__(self, binary, ips, work):
        self.work = work
        self.processes = {}
        self.where = {"receipt": ips[0], "kitchen": str(work / "ttyKITCHEN"), "bar": ips[1]}
        for name, where in self.where.items():
            for stale in (self.capture(name), self.journal(name)):
                stale.unlink(missing_ok=True)
            (work / name).mkdir(parents=True, exist_ok=True)
            link = (["--serial-link", where, "--no-tcp"] if name == "kitchen"
                    else ["--listen", f"{where}:9100", "--http", f"{where}:8080"])
            self.processes[name] = subprocess.Popen(
                [binary, *link, "--capture", str(self.capture(name)),
                 "--journal", str(self.journal(name)), "--out", str(work / name)],
                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        deadline = time.monotonic() + 10
        for name, process in self.processes.items():
            ready = "serial port " if name == "kitchen" else "listening on "
            while ready not in self.journal_text(name):
                if process.poll() is not None or time.monotonic() > deadline:
                    self.stop()
                    sys.exit(f"{name}: quorvel-printer did not start: "
                             f"{process.stderr.read().decode(errors='replace')}")
                time.sleep(0.05)

    def capture(self, name):
        return self.work / f"{name}.bin"

    def journal(self, name):
        return self.work / f"{name}.journal"

    def journal_text(self, name):
        path = self.journal(name)
        return path.read_text(errors="replace") if path.exists() else ""

    def put_status(self, name, **state):
        """PUT /api/status of a TCP printer, e.g. paper="out"."""
        request = urllib.request.Request(f"http://{self.where[name]}:8080/api/status",
                                         data=json.dumps(state).encode(), method="PUT",
                                         headers={"Content-Type": "application/json"})
        with urllib.request.urlopen(request, timeout=10) as answer:
            answer.read()

    def stop(self):
        """Ends every printer; returns name -> the bytes it received."""
        for process in self.processes.values():
            if process.poll() is None:
                process.send_signal(signal.SIGTERM)
        for process in self.processes.values():
            process.wait(timeout=20)
        return {name: self.capture(name).read_bytes() if self.capture(name).exists() else b""
                for name in self.processes}


def run(binary, ips, work, command, extra, paper_out=False):
    """Runs command against three fresh printers; returns the bytes each got.

    paper_out: the receipt printer is out of paper until the command says
    "held" on its standard error."""
    printers = Printers(binary, ips, work)
    told = []
    try:
        where = printers.where
        if paper_out:
            printers.put_status("receipt", paper="out")
        process = subprocess.Popen(
            shlex.split(command) + [where["receipt"], where["kitchen"], where["bar"], *extra],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE)

        def operator():  # reads what the till says, and loads paper when told
            for line in process.stderr:
                told.append(line)
                if paper_out and b"held" in line:
                    printers.put_status("receipt", paper="ok")
        listener = threading.Thread(target=operator)
        listener.start()
        out = process.stdout.read()  # ctest's time-out ends a hung example
        process.wait()
        listener.join()
    finally:
        received = printers.stop()
    err = b"".join(told).decode(errors="replace")
    if process.returncode != 0:
        sys.exit(f"{command}: exit status {process.returncode}\n{out.decode(errors='replace')}{err}")
    if paper_out and "held" not in err:
        sys.exit(f"{command}: said nothing of the held receipt:\n{err}")
    return received


def first_difference(expected, got):
    at = next((i for i, (a, b) in enumerate(zip(expected, got)) if a != b),
              min(len(expected), len(got)))
    return (f"from offset {at} (expected {len(expected)} bytes, got {len(got)}):\n"
            f"  expected {expected[max(0, at - 16):at + 24]!r}\n"
            f"  got      {got[max(0, at - 16):at + 24]!r}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for option in ("--printer", "--ips", "--work", "--host", "--example"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    work = Path(args.work)
    work.mkdir(parents=True, exist_ok=True)
    ips = args.ips.split(",")
    failed = False

    received = run(args.printer, ips, work, args.host, [str(ORDERS)])
    for name, got in received.items():
        expected = b"".join(TEXT_HEAD + f"{name.upper()} order {n:03d}".encode() + b"\n"
                            for n in range(ORDERS)) + CUT
        if got != expected:
            failed = True
            print(f"{name} printer: not exactly its own {ORDERS} orders, "
                  + first_difference(expected, got))

    marks = {"receipt": b"TOTAL", "kitchen": b"COZINHA", "bar": b"BAR"}
    for paper_out in (False, True):
        received = run(args.printer, ips, work, args.example, [], paper_out)
        for name, got in received.items():
            foreign = [m for other, m in marks.items() if other != name and m in got]
            if got.count(marks[name]) != 1 or got.count(CUT) != 1 or foreign or b"COPY" in got:
                failed = True
                print(f"example{' (paper out)' if paper_out else ''}, {name} printer: expected "
                      f"{marks[name]!r} and a cut once, no copy, nothing of the others "
                      f"{foreign}: {got!r}")
    if failed:
        return 1
    print(f"{ORDERS} orders on each of three printers, each on its own; the example's three "
          "tickets too, confirmed, and the receipt held by paper out printed once")
    return 0


if __name__ == "__main__":
    sys.exit(main())

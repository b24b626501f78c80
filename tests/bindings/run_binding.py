#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Runs the C reference host and a binding's host, each against its own run of
quorvel-printer on a loopback address, and fails unless both print the same
result lines and the printer received the same bytes from both.

    run_binding.py --printer PATH --ip 127.a.b.c --work DIR
                   --reference "CMD ..." --host "CMD ..." [--example "CMD ..."]

Each command gets the printer's address as its last argument. An example, if
given, must then print a receipt that ends in a cut and exit with status 0.
"""
import argparse
import difflib
import os
import shlex
import signal
import subprocess
import sys
import time
from pathlib import Path


def run_against_printer(printer, ip, work, name, command):
    """Result lines of command and the bytes the printer received from it."""
    capture = work / f"{name}.bin"
    journal = work / f"{name}.journal"
    for stale in (capture, journal):
        stale.unlink(missing_ok=True)
    (work / f"{name}-receipts").mkdir(parents=True, exist_ok=True)
    server = subprocess.Popen(
        [printer, "--listen", f"{ip}:9100", "--capture", str(capture), "--journal", str(journal),
         "--out", str(work / f"{name}-receipts"), "--drawer-open-ms", "0"],
        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        deadline = time.monotonic() + 10
        while "listening on" not in (journal.read_text() if journal.exists() else ""):
            if server.poll() is not None or time.monotonic() > deadline:
                sys.exit(f"{name}: quorvel-printer did not start: {server.stderr.read().decode()}")
            time.sleep(0.05)
        host = subprocess.run(shlex.split(command) + [ip], capture_output=True, timeout=120)
    finally:
        server.send_signal(signal.SIGTERM)
        server.wait(timeout=20)
    if host.returncode != 0:
        sys.exit(f"{name}: exit status {host.returncode}\n{host.stdout.decode(errors='replace')}"
                 f"{host.stderr.decode(errors='replace')}")
    return host.stdout.decode("latin-1").splitlines(), capture.read_bytes()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for option in ("--printer", "--ip", "--work", "--reference", "--host"):
        parser.add_argument(option, required=True)
    parser.add_argument("--example")
    args = parser.parse_args()
    work = Path(args.work)
    work.mkdir(parents=True, exist_ok=True)

    expected_lines, expected_bytes = run_against_printer(
        args.printer, args.ip, work, "reference", args.reference)
    # The reference run must have reached the printer, or the comparison proves nothing.
    for needed in ("AbreSocket 1", "Le_Status 32", "ImprimeTexto 1", "ImprimeCode128_C 1"):
        if needed not in expected_lines:
            sys.exit(f"reference host: no line '{needed}':\n" + "\n".join(expected_lines))
    lines, received = run_against_printer(args.printer, args.ip, work, "binding", args.host)

    failed = False
    if lines != expected_lines:
        failed = True
        print("result lines differ from the C reference:")
        sys.stdout.writelines(l + "\n" for l in difflib.unified_diff(
            expected_lines, lines, "reference", "binding", lineterm=""))
    if received != expected_bytes:
        failed = True
        at = next((i for i, (a, b) in enumerate(zip(expected_bytes, received)) if a != b),
                  min(len(expected_bytes), len(received)))
        print(f"bytes at the printer differ from offset {at} "
              f"(reference {len(expected_bytes)} bytes, binding {len(received)}):\n"
              f"  reference {expected_bytes[max(0, at - 16):at + 16].hex(' ')}\n"
              f"  binding   {received[max(0, at - 16):at + 16].hex(' ')}")
    if args.example:
        _, example_bytes = run_against_printer(args.printer, args.ip, work, "example", args.example)
        if b"\x1dV\x00" not in example_bytes:
            failed = True
            print(f"the example sent no cut: {example_bytes.hex(' ')}")
    if failed:
        return 1
    print(f"{len(lines)} result lines and {len(received)} bytes at the printer, as the C reference")
    return 0


if __name__ == "__main__":
    sys.exit(main())

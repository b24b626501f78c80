#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""scripts/private-cups.sh as README.md shows it: the README's lines (the
printer on a loopback address of this test's own) put the receipt through a
private scheduler's raw queue into the virtual printer byte for byte, and
leave no scheduler folder behind; bad options are refused with exit 2. The
SDK's queue example prints through the same queue, and names a missing queue.

    private_cups_test.py SOURCE_DIR PRINTER CLI QUEUE_EXAMPLE
"""
import glob
import os
import re
import socket
import subprocess
import sys
import tempfile
import time

ADDRESS = "127.77.24.1"  # this test's own


def main():
    source, printer_binary, cli, example = sys.argv[1:5]
    script = os.path.join(source, "scripts", "private-cups.sh")
    failures = []
    for arguments, says in [(["--printer", "a b"], "--printer takes ADDR[:PORT]"),
                            (["--queue", "no/slash"], "--queue takes letters"),
                            (["--printer"], "--printer needs a value"),
                            (["--colour"], "unknown option --colour")]:
        result = subprocess.run([script, *arguments], capture_output=True, text=True, timeout=30)
        if result.returncode != 2 or says not in result.stderr:
            failures.append(f"{arguments}: exit {result.returncode}, {result.stderr.strip()!r}")

    readme = open(os.path.join(source, "README.md"), encoding="utf-8").read()
    block = re.search(r"### Trying a queue without.*?```sh\n(.*?)```", readme, re.S).group(1)
    lines = block.split("\n", 1)[1]  # the first line starts the printer: here with a capture
    lines = lines.replace("127.0.0.1:9100", f"{ADDRESS}:9100").replace("build/dev/cli/quorvel", cli)
    before = set(glob.glob("/tmp/quorvel-cups.*"))
    with tempfile.TemporaryDirectory() as work:
        capture = os.path.join(work, "capture.bin")
        printer = subprocess.Popen([printer_binary, "--listen", f"{ADDRESS}:9100", "--capture", capture,
                                    "--out", work, "--journal", os.devnull, "--no-fonts"],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            deadline = time.monotonic() + 10
            while socket.socket().connect_ex((ADDRESS, 9100)) != 0:
                if time.monotonic() > deadline:
                    sys.exit("quorvel-printer did not start")
                time.sleep(0.05)
            result = subprocess.run(["bash", "-euo", "pipefail", "-c", lines], cwd=source,
                                    capture_output=True, text=True, timeout=120)
            if result.returncode != 0:
                failures.append(f"the README's lines: exit {result.returncode}: {result.stderr}")
            for queue, status, says in [("receipts", 0, "receipt sent to queue receipts"),
                                        ("nosuch", 1, "no queue of that name")]:
                result = subprocess.run([script, "--printer", f"{ADDRESS}:9100", "--", example, queue],
                                        capture_output=True, text=True, timeout=120)
                if result.returncode != status or says not in result.stdout + result.stderr:
                    failures.append(f"queue_example {queue}: exit {result.returncode}, "
                                    f"{result.stdout + result.stderr!r}")
        finally:
            printer.terminate()
            printer.wait(10)
        received = open(capture, "rb").read() if os.path.exists(capture) else b""
    if b"Through the queue" not in received or b"\x1dV" not in received \
            or b"PADARIA CENTRAL" not in received:  # the CLI's text and cut, the example's
        failures.append(f"the printer received {received!r}")
    left = set(glob.glob("/tmp/quorvel-cups.*")) - before
    if left:
        failures.append(f"left behind: {sorted(left)}")
    for failure in failures:
        print("FAIL:", failure)
    print(f"private-cups: {len(received)} bytes through the queue; {len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""What Printer.text() costs over a direct ctypes call to quorvel_printer_text.

    QUORVEL_LIBRARY=build/release/src/libquorvel.so.1 python3 python/bench/text_overhead.py

Both print the same 24-character line to a sink on a loopback address that
reads and throws away everything (a separate process, so it does not share
the interpreter's lock). Each way runs in rounds of N calls, interleaved; the
best round of each gives the per-call figure, in CPU time of the calling
thread (the send's system time included), which other processes on a busy
machine disturb far less than wall time. The difference is what the
Python layer adds: argument checks, the Windows-1252 encoding, the result check.
"""

import argparse
import ctypes
import os
import socket
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent))
ROOT = HERE.parents[1]
os.environ.setdefault("QUORVEL_LIBRARY", str(ROOT / "build" / "dev" / "src" / "libquorvel.so.1"))

import quorvel  # noqa: E402
from quorvel import _native  # noqa: E402

SINK = """
import socket, sys
listener = socket.socket()
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind((sys.argv[1], 9100))
listener.listen(1)
print("ready", flush=True)
connection, _ = listener.accept()
while connection.recv(1 << 20):
    pass
"""


def best_per_call(function, calls, rounds):
    best = float("inf")
    for _ in range(rounds):
        start = time.thread_time()
        for _ in range(calls):
            function()
        best = min(best, (time.thread_time() - start) / calls)
    return best


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--address", default="127.0.0.1")
    parser.add_argument("--calls", type=int, default=20000)
    parser.add_argument("--rounds", type=int, default=7)
    args = parser.parse_args()

    sink = subprocess.Popen([sys.executable, "-c", SINK, args.address], stdout=subprocess.PIPE,
                            text=True)
    try:
        assert sink.stdout.readline().strip() == "ready"
        line_str = "2 x Coffee          7,00"
        line_bytes = line_str.encode("cp1252")
        # The direct call a ctypes user writes: its own library object, plain
        # declarations, on the same printer handle as the Printer.
        printer_text = ctypes.CDLL(_native.library_path).quorvel_printer_text
        printer_text.argtypes = [ctypes.c_void_p, ctypes.c_char_p] + [ctypes.c_int] * 4
        printer_text.restype = ctypes.c_int
        with quorvel.Printer.tcp(args.address) as printer:
            handle = printer._handle

            def direct():
                printer_text(handle, line_bytes, 0, 0, 0, 0)

            def wrapped():
                printer.text(line_str)

            results = {"direct": [], "text": []}
            for _ in range(args.rounds):  # interleaved, so both see the same machine load
                results["direct"].append(best_per_call(direct, args.calls, 1))
                results["text"].append(best_per_call(wrapped, args.calls, 1))
    finally:
        sink.wait(timeout=10)
    direct_s, text_s = min(results["direct"]), min(results["text"])
    print(f"library: {_native.library_path}")
    print(f"direct ctypes quorvel_printer_text: {direct_s * 1e6:7.2f} us CPU per call")
    print(f"Printer.text():                     {text_s * 1e6:7.2f} us CPU per call")
    print(f"overhead:                           {(text_s - direct_s) * 1e6:7.2f} us CPU per call "
          f"({text_s / direct_s:.2f}x)")


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Prints a receipt through libquorvel with ctypes, then reads the printer status.

    receipt.py --tcp 192.168.0.50 [--library /path/to/libquorvel.so.1]
    receipt.py --serial /dev/ttyUSB0

The library is found by --library, else the QUORVEL_LIBRARY environment
variable, else the system's library search (libquorvel.so.1).
"""
import argparse
import ctypes
import os
import sys

STATUS_TEXT = {5: "off line", 9: "off line, drawer pin high", 24: "drawer pin high", 32: "ready"}


def load_library(path):
    lib = ctypes.CDLL(path or os.environ.get("QUORVEL_LIBRARY") or "libquorvel.so.1")
    int_, text = ctypes.c_int, ctypes.c_char_p
    signatures = {
        "AbreSocket": [text, int_],
        "AbrePortaSerial": [text, int_],
        "FechaSocket": [],
        "FechaPortaSerial": [],
        "ImprimeTexto": [text, int_, int_, int_, int_],
        "ImprimeTextoLF": [text, int_, int_, int_, int_, int_],
        "ImprimeTxFormatado": [text, int_, int_, int_],
        "ImprimeQRCODE_M1": [int_, int_, int_, int_, text],
        "AcionaGuilhotina": [],
        "Le_Status": [],
    }
    for name, argtypes in signatures.items():
        function = getattr(lib, name)
        function.argtypes = argtypes
        function.restype = int_
    return lib


COLUMNS = 48  # font A (12 dots) across the 576 dots of 80 mm paper


def line(left, right, width=COLUMNS):
    """One receipt line, Windows-1252 encoded (the code table the library selects)."""
    return (left + right.rjust(width - len(left))).encode("cp1252")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    where = parser.add_mutually_exclusive_group(required=True)
    where.add_argument("--tcp", metavar="IP")
    where.add_argument("--serial", metavar="PORT")
    parser.add_argument("--model", type=int, default=0, choices=range(4))
    parser.add_argument("--library", help="path of libquorvel.so")
    args = parser.parse_args()

    lib = load_library(args.library)
    if args.tcp:
        opened = lib.AbreSocket(args.tcp.encode(), args.model)
    else:
        opened = lib.AbrePortaSerial(args.serial.encode(), args.model)
    if not opened:
        if args.serial:
            lib.FechaPortaSerial()
        print(f"cannot open the printer at {args.tcp or args.serial}", file=sys.stderr)
        return 1

    CENTER, LEFT, DOUBLE = 1, 0, 5
    results = [
        lib.ImprimeTxFormatado("Padaria São João".encode("cp1252"), CENTER, 0, DOUBLE),
        lib.ImprimeTexto(line("2 x Pão de queijo", "7,00"), LEFT, 0, 0, 0),
        lib.ImprimeTexto(line("1 x Café", "4,50"), LEFT, 0, 0, 0),
        lib.ImprimeTextoLF(line("TOTAL R$", "11,50"), LEFT, 0, 0, 1, 2),
        lib.ImprimeQRCODE_M1(CENTER, 2, 4, 1, b"RECEIPT 0001 TOTAL 11.50"),
        lib.AcionaGuilhotina(),
    ]
    status = lib.Le_Status()
    if args.tcp:
        lib.FechaSocket()
    else:
        lib.FechaPortaSerial()

    if not all(results):
        print("the printer did not take every command", file=sys.stderr)
        return 1
    if status == 0:
        print("no status from the printer", file=sys.stderr)
        return 1
    print(f"status {status}: {STATUS_TEXT.get(status, 'unknown')}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

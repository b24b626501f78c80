#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Prints a receipt through libquorvel with ctypes, then confirms that it printed.

    receipt.py --tcp 192.168.0.50 [--library /path/to/libquorvel.so.1]
    receipt.py --serial /dev/ttyUSB0

The library is found by --library, else the QUORVEL_LIBRARY environment
variable, else the system's library search (libquorvel.so.1).

The till's pattern: print, cut, confirm. Held (paper out, cover open): tell
the operator and, once they press Enter, confirm again; never send the
receipt again. Outcome unknown (link dropped, printer silent): open the link
again and reprint the receipt marked COPY.
"""
import argparse
import ctypes
import os
import sys

# quorvel.h: error codes and confirm levels
HELD, CANNOT_CONFIRM = 33, 35
PRINTED = 1
CONFIRM_MS = 10000  # room for the receipt's printing time


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
        "quorvel_confirm": [int_],
        "quorvel_confirm_level": [],
        "quorvel_last_error": [ctypes.c_char_p, int_],
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

    def why():
        message = ctypes.create_string_buffer(256)
        code = lib.quorvel_last_error(message, len(message))
        return code, message.value.decode("cp1252", "replace")

    def open_link():
        if args.tcp:
            return lib.AbreSocket(args.tcp.encode(), args.model)
        if lib.AbrePortaSerial(args.serial.encode(), args.model):
            return 1
        lib.FechaPortaSerial()  # a port that opened but was not configured is still held
        return 0

    def close_link():
        if args.tcp:
            lib.FechaSocket()
        else:
            lib.FechaPortaSerial()

    CENTER, LEFT, DOUBLE = 1, 0, 5

    def print_receipt(copy):
        calls = [lambda: lib.ImprimeTxFormatado(b"*** COPY ***", CENTER, 0, DOUBLE)] if copy else []
        calls += [
            lambda: lib.ImprimeTxFormatado("Padaria São João".encode("cp1252"), CENTER, 0, DOUBLE),
            lambda: lib.ImprimeTexto(line("2 x Pão de queijo", "7,00"), LEFT, 0, 0, 0),
            lambda: lib.ImprimeTexto(line("1 x Café", "4,50"), LEFT, 0, 0, 0),
            lambda: lib.ImprimeTextoLF(line("TOTAL R$", "11,50"), LEFT, 0, 0, 1, 2),
            lambda: lib.ImprimeQRCODE_M1(CENTER, 2, 4, 1, b"RECEIPT 0001 TOTAL 11.50"),
            lambda: lib.AcionaGuilhotina(),
        ]
        return all(call() for call in calls)  # stops at the first that fails

    def confirm():
        """1 printed; while held, tells the operator and confirms again after Enter."""
        while lib.quorvel_confirm(CONFIRM_MS) != 1:
            code, message = why()
            if code != HELD:
                return 0
            print(f"held: {message}\npress Enter once it is fixed", file=sys.stderr)
            if not sys.stdin.readline():
                return 0  # nobody to fix it: the receipt stays held
        return 1

    if not open_link():
        print(f"cannot open the printer at {args.tcp or args.serial}", file=sys.stderr)
        return 1
    for copy in (False, True):
        if print_receipt(copy) and confirm():
            how = ("confirmed by the printer" if lib.quorvel_confirm_level() == PRINTED
                   else "arrived at the printer (it cannot report printing)")
            close_link()
            print(f"printed{' as a copy' if copy else ''}: {how}")
            return 0
        code, message = why()
        print(f"{'copy' if copy else 'receipt'}: {message}", file=sys.stderr)
        close_link()
        if code in (HELD, CANNOT_CONFIRM) or copy:
            return 1  # held, or sent: never send it again
        # Outcome unknown, or a write failed half way: it may have printed.
        if not open_link():
            return 1
        print("reprinting the receipt marked COPY", file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())

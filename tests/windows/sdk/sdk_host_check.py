#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Runs an SDK host program (under wine) against a loopback printer and checks
the bytes it sent and its verdict.

    sdk_host_check.py IP COMMAND [ARGS...]     (IP is appended to the command)

The printer answers DLE EOT 1 with 12 (ready). The host must exit 0, say
"sdk_host: ok", and the printer must have received exactly the commands of
tests/windows/sdk/sdk_host.c, in order, on its two connections.
"""
import socket
import subprocess
import sys
import threading

CODES = [35, 26, 1, 12, 34, 56, 78, 0, 1, 90, 65, 0, 10, 0, 0, 10, 42, 11, 23, 45, 67, 89]
EXPECTED = (
    # ImprimeTexto("SDK host", centre, font A, spacing 0, bold)
    bytes.fromhex("1b40 1b6101 1b3320 1b7410 1b4501 1b4d00") + b"SDK host\n"
    # ImprimeCode128C(codes, centre, height 1)
    + bytes.fromhex("1b40 1b6101 1d7702 1d6832 1d4800 1d6b4918 7b43") + bytes(CODES) + b"\r\n"
    + bytes.fromhex("1d5600")   # AcionaGuilhotina
    + bytes.fromhex("100401")   # Le_Status, model 0
    # quorvel_printer_text(handle, "SDK handle", left, font B, spacing 0, not bold), on a
    # second connection, then quorvel_printer_cut(handle)
    + bytes.fromhex("1b40 1b6100 1b3320 1b7410 1b4500 1b4d01") + b"SDK handle\n"
    + bytes.fromhex("1d5600"))


def serve(listener, received):
    # The default link's connection, then the printer handle's.
    for _ in range(2):
        connection, _ = listener.accept()
        with connection:
            while True:
                data = connection.recv(4096)
                if not data:
                    break
                received.extend(data)
                if received.endswith(bytes.fromhex("100401")):
                    connection.sendall(b"\x12")


def main():
    ip, command = sys.argv[1], sys.argv[2:]
    listener = socket.create_server((ip, 9100))
    listener.settimeout(60)
    received = bytearray()
    printer = threading.Thread(target=serve, args=(listener, received), daemon=True)
    printer.start()
    host = subprocess.run(command + [ip], capture_output=True, text=True, timeout=120)
    printer.join(timeout=10)
    listener.close()
    problems = []
    if host.returncode != 0 or "sdk_host: ok" not in host.stdout:
        problems.append(f"host exit status {host.returncode}: {host.stdout}{host.stderr}")
    if bytes(received) != EXPECTED:
        problems.append(f"printer received {bytes(received).hex(' ')}\n"
                        f"expected          {EXPECTED.hex(' ')}")
    for problem in problems:
        print(problem)
    if not problems:
        print(f"{' '.join(command)}: ok, {len(received)} bytes as expected")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

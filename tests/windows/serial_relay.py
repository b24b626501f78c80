#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Gives Windows programs under wine a serial port with a printer at its far end.

Opens a pseudo-terminal, maps its terminal side to a COM port of the wine prefix
($WINEPREFIX/dosdevices/comN -> /dev/pts/M), and relays the controlling side to
one TCP client at a time on 127.0.0.1. A test program opens the COM port through
the library and plays the printer through the TCP connection: what the library
writes to the port arrives there, and what the test sends back is what the
library reads. Then runs the given command with

    QUORVEL_SERIAL_PORT=COMN            the port name for the library
    QUORVEL_SERIAL_RELAY=127.0.0.1:P    where the printer side is

and exits with its status. Bytes that arrive while no client is connected are
dropped, and a new client starts with nothing pending.

Usage: serial_relay.py [--com N] COMMAND [ARGS...]
"""
import argparse
import os
import select
import socket
import subprocess
import sys
import termios
import threading


def relay(master, listener, stop):
    client = None
    while not stop.is_set():
        watched = [master, listener] + ([client] if client else [])
        try:
            readable, _, _ = select.select(watched, [], [], 0.1)
        except (OSError, ValueError):
            break
        if listener in readable:
            newcomer, _ = listener.accept()
            newcomer.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            if client:
                client.close()
            client = newcomer
            termios.tcflush(master, termios.TCIOFLUSH)  # nothing stale for the new test
        if master in readable:
            try:
                data = os.read(master, 65536)
            except OSError:  # no terminal side open at the moment
                data = b""
            if data and client:
                try:
                    client.sendall(data)
                except OSError:
                    client.close()
                    client = None
        if client and client in readable:
            try:
                data = client.recv(65536)
            except OSError:
                data = b""
            if not data:
                client.close()
                client = None
            else:
                os.write(master, data)
    if client:
        client.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--com", type=int, default=7, help="COM port number (not 1)")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    if not args.command:
        parser.error("no command to run")
    if args.com == 1:
        parser.error("COM1 is the console in a new wine prefix")
    prefix = os.environ.get("WINEPREFIX")
    if not prefix or not os.path.isdir(os.path.join(prefix, "dosdevices")):
        sys.exit("serial_relay: WINEPREFIX must name an initialised wine prefix")

    master, terminal = os.openpty()
    terminal_path = os.ttyname(terminal)
    link = os.path.join(prefix, "dosdevices", "com%d" % args.com)
    if os.path.lexists(link):
        os.remove(link)
    os.symlink(terminal_path, link)

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)
    stop = threading.Event()
    worker = threading.Thread(target=relay, args=(master, listener, stop), daemon=True)
    worker.start()

    env = dict(os.environ)
    env["QUORVEL_SERIAL_PORT"] = "COM%d" % args.com
    env["QUORVEL_SERIAL_RELAY"] = "127.0.0.1:%d" % listener.getsockname()[1]
    try:
        status = subprocess.call(args.command, env=env)
    finally:
        stop.set()
        worker.join(timeout=2)
        os.remove(link)
        listener.close()
        os.close(master)
        os.close(terminal)
    sys.exit(status)


if __name__ == "__main__":
    main()

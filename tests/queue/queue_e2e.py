#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Receipts through a real print queue, end to end.

Starts the virtual printer on a loopback address of its own (capturing every
byte it receives), a private CUPS scheduler in a folder of its own listening
on a socket file, and a raw queue whose device is socket://ADDRESS:9100. Then:

  - the receipt printed by queue_host over TCP gives the expected bytes;
  - the same receipt through the queue link, from the Linux library, must
    reach the printer byte for byte;
  - a missing queue, a stopped queue, a queue that rejects jobs and a status
    query on the queue link each end with their own error code;
  - with --wine, the same receipt from Quorvel.dll under wine, through wine's
    spooler (which hands the job to the same scheduler), byte for byte; and
    a stopped queue, a queue that rejects jobs and an unreachable scheduler
    each with the code Linux gives.

The scheduler and the printer are stopped at the end, whatever happened.
Exits 0 when every check passed, 1 otherwise, saying which failed.
"""
import argparse
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

QUEUE = "receipts"
E_SYSTEM, E_QUEUE_NOT_FOUND, E_QUEUE_PAUSED, E_JOB_REFUSED, E_NO_STATUS_ON_QUEUE = 25, 27, 28, 29, 30
# Where the scheduler also listens over TCP: Windows programs under wine
# reach it there (Windows sockets have no Unix sockets); nothing listens at
# the second address.
SCHEDULER_TCP, NO_SCHEDULER_TCP = "127.77.23.3:631", "127.77.23.4:631"
STATUS_NONE = 0  # QUORVEL_STATUS_NONE: the status functions' "no reply"

failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)
    return condition


def wait_until(predicate, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(0.1)
    return predicate()


ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
# The Python binding prints one receipt through the link named by its arguments.
PYTHON_RECEIPT = f"""
import sys
sys.path.insert(0, {os.path.join(ROOT, "python")!r})
import quorvel
kind, where = sys.argv[1:3]
printer = quorvel.Printer.tcp(where) if kind == "tcp" else quorvel.Printer.queue(where)
with printer:
    printer.text("Python receipt", align="center", bold=True)
    printer.qr("https://example.com/r/0002")
    printer.cut()
    printer.text("flushed")
    printer.flush()
    printer.raw(bytes(range(256)))
"""


os.environ.setdefault("QUORVEL_LIBRARY", os.path.join(ROOT, "build/dev/src/libquorvel.so.1"))


def clients(arguments):
    """Each client of the library: its name and how it prints over TCP or a queue."""
    listed = [("library", lambda kind, where: [arguments.host, kind, where])]
    if arguments.cli:
        listed.append(("CLI", lambda kind, where: [arguments.cli, "--" + kind, where, "text",
                                                   "CLI receipt \u00e9"]))
    listed.append(("Python", lambda kind, where: [sys.executable, "-c", PYTHON_RECEIPT, kind,
                                                  where]))
    return listed


def expected_bytes(command):
    """What a client sends over TCP, caught by a listener of our own."""
    address = "127.77.23.2"
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((address, 9100))
    listener.listen(1)
    received = bytearray()

    def serve():
        connection, _ = listener.accept()
        with connection:
            while chunk := connection.recv(65536):
                received.extend(chunk)

    thread = threading.Thread(target=serve)
    thread.start()
    result = subprocess.run(command("tcp", address), capture_output=True, text=True, timeout=30)
    thread.join(10)
    listener.close()
    if result.returncode != 0:
        sys.exit(f"{command('tcp', address)} failed: " + result.stdout + result.stderr)
    return bytes(received)


PRIVATE_CUPS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts",
                            "private-cups.sh")


class Scheduler:
    """A private cupsd (scripts/private-cups.sh): configuration, spool and logs
    in one folder, and a raw queue to the printer's address."""

    def __init__(self, folder, queue, address):
        self.folder = folder
        # The script prints CUPS_SERVER=... once the queue exists, then keeps
        # the scheduler until SIGTERM.
        self.process = subprocess.Popen(
            [PRIVATE_CUPS, "--dir", folder, "--queue", queue, "--printer", f"{address}:9100",
             "--tcp", SCHEDULER_TCP],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        ready = self.process.stdout.readline().strip()
        if not ready.startswith("CUPS_SERVER="):
            self.stop()
            sys.exit("private-cups.sh did not start:\n" + self.process.stderr.read())
        self.socket = ready.split("=", 1)[1]
        self.env = dict(os.environ, CUPS_SERVER=self.socket)

    def run(self, *command):
        return subprocess.run(command, env=self.env, capture_output=True, text=True, timeout=30)

    def admin(self, *command):
        result = self.run(*command)
        if result.returncode != 0:
            sys.exit(f"{' '.join(command)} failed: {result.stderr}")

    def error_log(self):
        try:
            with open(os.path.join(self.folder, "log/error_log")) as log:
                return log.read()[-4000:]
        except OSError:
            return ""

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)  # the script stops cupsd
            try:
                self.process.wait(20)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process.stdout.close()
        self.process.stderr.close()


class Printer:
    """quorvel-printer on ADDRESS:9100, every received byte appended to a file."""

    def __init__(self, binary, address, folder):
        self.binary, self.address, self.folder = binary, address, folder
        self.capture = os.path.join(folder, "capture.bin")
        self.process = None

    def start(self):
        if os.path.exists(self.capture):
            os.unlink(self.capture)
        os.makedirs(os.path.join(self.folder, "pages"), exist_ok=True)
        self.process = subprocess.Popen(
            [self.binary, "--listen", f"{self.address}:9100", "--capture", self.capture, "--out",
             os.path.join(self.folder, "pages"), "--journal", os.devnull, "--no-fonts"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not wait_until(lambda: self.listening(self.address), 10):
            self.stop()
            sys.exit("quorvel-printer did not start")

    @staticmethod
    def listening(address):
        with socket.socket() as probe:
            return probe.connect_ex((address, 9100)) == 0

    def received(self):
        try:
            with open(self.capture, "rb") as capture:
                return capture.read()
        except FileNotFoundError:
            return b""

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            self.process.wait(10)


def printed(scheduler, printer, action):
    """Runs action with the printer up; the bytes it received once the
    scheduler has no job left (the capture is complete when it stops)."""
    printer.start()
    try:
        result = action()
        wait_until(lambda: scheduler.run("lpstat", "-o", QUEUE).stdout.strip() == "", 60)
    finally:
        printer.stop()
    return result, printer.received()


def run_host(scheduler, command, env=None):
    return subprocess.run(command, env=env or scheduler.env, capture_output=True, text=True,
                          timeout=120)


def cli_checks(cli, scheduler):
    result = run_host(scheduler, [cli, "--queue", "no-such-queue", "text", "x"])
    check(result.returncode == 1 and "lpstat -p" in result.stderr,
          "CLI: a missing queue is named, with where to look: " + result.stderr.strip())
    scheduler.admin("cupsreject", QUEUE)
    result = run_host(scheduler, [cli, "--queue", QUEUE, "text", "x"])
    check(result.returncode == 1 and "not accepting jobs" in result.stderr,
          "CLI: the job refused at the close fails the run: " + result.stderr.strip())
    scheduler.admin("cupsaccept", QUEUE)


def linux_checks(host, scheduler, printer, receipts):
    for name, command, expected in receipts:
        result, got = printed(scheduler, printer,
                              lambda: run_host(scheduler, command("queue", QUEUE)))
        check(result.returncode == 0, f"{name}: receipt through the queue link " +
              (result.stdout + result.stderr).strip()[-300:])
        check(got == expected, f"{name}: the printer got the receipt byte for byte "
                               f"({len(got)} of {len(expected)} bytes)")

    def outcomes(name):
        return run_host(scheduler, [host, "expect", name]).stdout.split("\n")

    check(outcomes("no-such-queue")[0] == str(E_QUEUE_NOT_FOUND), "missing queue: QUEUE_NOT_FOUND")
    lines = outcomes(QUEUE)
    check(lines[:3] == ["0", f"{STATUS_NONE} {E_NO_STATUS_ON_QUEUE}", f"0 {E_NO_STATUS_ON_QUEUE}"],
          f"status on a queue link: no reply, NO_STATUS_ON_QUEUE ({lines[:3]})")
    scheduler.admin("cupsdisable", QUEUE)
    check(outcomes(QUEUE)[0] == str(E_QUEUE_PAUSED), "stopped queue: QUEUE_PAUSED")
    scheduler.admin("cupsenable", QUEUE)
    scheduler.admin("cupsreject", QUEUE)
    result = run_host(scheduler, [host, "queue", QUEUE])
    check(f"AcionaGuilhotina failed: {E_JOB_REFUSED} " in result.stdout,
          "queue rejecting jobs: the cut's job is refused with JOB_REFUSED " + result.stdout.strip())
    scheduler.admin("cupsaccept", QUEUE)


def wine_example_checks(wine, example, scheduler, printer):
    """The SDK's queue example (examples/queue_example.c) as built for Windows."""
    result, got = printed(scheduler, printer,
                          lambda: run_host(scheduler, [wine, example, QUEUE], dict(scheduler.env)))
    check(result.returncode == 0 and b"PADARIA CENTRAL" in got and b"\x1dV" in got,
          f"wine: the SDK's queue example printed ({len(got)} bytes) {result.stderr[-300:]}")


def wine_checks(wine, wine_host, scheduler, printer, expected):
    env = dict(scheduler.env, CUPS_SERVER=SCHEDULER_TCP)
    listed = run_host(scheduler, [wine, wine_host, "expect", QUEUE], env)
    check(listed.stdout.split("\n")[0] == "0",
          "wine: the queue is in wine's printer list " + listed.stdout.strip() + listed.stderr[-300:])
    result, got = printed(scheduler, printer,
                          lambda: run_host(scheduler, [wine, wine_host, "queue", QUEUE], env))
    check(result.returncode == 0, "wine: receipt through the spooler " + result.stdout.strip())
    check(got == expected, f"wine: the printer got the receipt byte for byte "
                           f"({len(got)} of {len(expected)} bytes)")
    missing = run_host(scheduler, [wine, wine_host, "expect", "no-such-queue"], env)
    check(missing.stdout.split("\n")[0] == str(E_QUEUE_NOT_FOUND), "wine: missing queue: QUEUE_NOT_FOUND")
    # Wine's spooler shows a stopped queue as ready, fails a refused job with
    # "invalid handle" and lists no queue when the scheduler is out of reach:
    # the library asks the scheduler, and tells each apart as on Linux.
    scheduler.admin("cupsdisable", QUEUE)
    result = run_host(scheduler, [wine, wine_host, "queue", QUEUE], env)
    check(f"quorvel_open_queue failed: {E_QUEUE_PAUSED} " in result.stdout and "stopped" in result.stdout,
          "wine: stopped queue: QUEUE_PAUSED " + result.stdout.strip()[:300])
    scheduler.admin("cupsenable", QUEUE)
    scheduler.admin("cupsreject", QUEUE)
    result = run_host(scheduler, [wine, wine_host, "queue", QUEUE], env)
    check(f"AcionaGuilhotina failed: {E_JOB_REFUSED} " in result.stdout and
          "not accepting jobs" in result.stdout and "nvalid handle" not in result.stdout,
          "wine: queue rejecting jobs: JOB_REFUSED, saying so " + result.stdout.strip()[:300])
    scheduler.admin("cupsaccept", QUEUE)
    # Last: wine drops the queues it cannot see from its own list.
    away = dict(env, CUPS_SERVER=NO_SCHEDULER_TCP)
    result = run_host(scheduler, [wine, wine_host, "queue", QUEUE], away)
    check(f"quorvel_open_queue failed: {E_SYSTEM} " in result.stdout and
          f"print server {NO_SCHEDULER_TCP} not reachable" in result.stdout,
          "wine: scheduler out of reach: SYSTEM, not QUEUE_NOT_FOUND " + result.stdout.strip()[:300])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--printer", required=True, help="quorvel-printer")
    parser.add_argument("--host", required=True, help="queue_host built for Linux")
    parser.add_argument("--cli", help="the quorvel command-line tool")
    parser.add_argument("--wine-host", help="queue_host.exe beside Quorvel.dll")
    parser.add_argument("--wine-example", help="the SDK's queue_example.exe beside Quorvel.dll")
    parser.add_argument("--wine", default=shutil.which("wine64") or "/usr/lib/wine/wine64")
    parser.add_argument("--address", default="127.77.23.1", help="the printer's loopback address")
    arguments = parser.parse_args()

    receipts = []
    for name, command in clients(arguments):
        expected = expected_bytes(command)
        check(len(expected) > 10, f"{name}: the receipt over TCP: {len(expected)} bytes")
        receipts.append((name, command, expected))
    # Under /tmp whatever TMPDIR says: cupsd's backends run as lp and must
    # reach the spool folder (a private TMPDIR is often mode 0700).
    folder = tempfile.mkdtemp(prefix="quorvel-queue.", dir="/tmp")
    os.chmod(folder, 0o755)
    printer = Printer(arguments.printer, arguments.address, folder)
    scheduler = None
    try:
        # A job that fails is dropped (the script's queues abort such jobs),
        # not left to stop the queue for the next check.
        scheduler = Scheduler(os.path.join(folder, "cups"), QUEUE, arguments.address)
        linux_checks(arguments.host, scheduler, printer, receipts)
        if arguments.cli:
            cli_checks(arguments.cli, scheduler)
        if arguments.wine_host:
            wine_checks(arguments.wine, arguments.wine_host, scheduler, printer, receipts[0][2])
        if arguments.wine_example:
            wine_example_checks(arguments.wine, arguments.wine_example, scheduler, printer)
    finally:
        if scheduler:
            if failures:
                print(scheduler.error_log(), file=sys.stderr)
            scheduler.stop()
        printer.stop()
        if not os.environ.get("QUORVEL_KEEP"):
            shutil.rmtree(folder, ignore_errors=True)
    if failures:
        print(f"{len(failures)} check(s) failed", file=sys.stderr)
        return 1
    print("all queue checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())

# SPDX-License-Identifier: MIT
"""Runs quorvel-printer for a test: on its own loopback address, or on a pseudo-terminal.

The library comes from QUORVEL_LIBRARY (default: the dev build of this tree),
the printer from QUORVEL_PRINTER (default: the dev build's quorvel-printer).
"""

from __future__ import annotations

import hashlib
import os
import signal
import subprocess
import sys
import time
from pathlib import Path
from typing import Iterator, List, Optional

import pytest

ROOT = Path(__file__).resolve().parents[2]
BUILD = ROOT / "build" / "dev"
os.environ.setdefault("QUORVEL_LIBRARY", str(BUILD / "src" / "libquorvel.so.1"))
# Also in the environment: the virtual_printer fixture of quorvel.testing
# looks only there and on PATH.
os.environ.setdefault("QUORVEL_PRINTER", str(BUILD / "printer" / "quorvel-printer"))
PRINTER_BINARY = Path(os.environ["QUORVEL_PRINTER"])
sys.path.insert(0, str(ROOT / "python"))
# The marker of quorvel.testing's fixtures, registered as the installed plugin does.
from quorvel.testing import pytest_configure  # noqa: E402,F401


def loopback_address(name: str) -> str:
    """127.a.b.c from the test's name, so each test has a listener of its own."""
    digest = hashlib.sha256(name.encode()).digest()
    return f"127.{150 + digest[0] % 100}.{digest[1]}.{1 + digest[2] % 250}"


def wait_until(predicate, timeout: float = 5.0, what: str = "condition") -> None:
    deadline = time.monotonic() + timeout
    while not predicate():
        if time.monotonic() > deadline:
            raise TimeoutError(f"timed out waiting for {what}")
        time.sleep(0.005)


class VirtualPrinter:
    """A quorvel-printer process; :meth:`stop` ends it and makes the capture readable."""

    def __init__(self, directory: Path, address: Optional[str], serial: bool,
                 options: List[str], port: int = 9100) -> None:
        self.directory = directory
        self.address = address
        self.port = port
        self.journal_path = directory / "journal.txt"
        self.capture_path = directory / "capture.bin"
        self.port_path = directory / "ttyQVP" if serial else None
        command = [str(PRINTER_BINARY), "--journal", str(self.journal_path),
                   "--capture", str(self.capture_path), "--out", str(directory), *options]
        if serial:
            command += ["--serial-link", str(self.port_path), "--no-tcp"]
        else:
            command += ["--listen", f"{address}:{port}"]
        self.process = subprocess.Popen(command, stderr=subprocess.PIPE)
        ready = "serial port " if serial else "listening on "
        try:
            wait_until(lambda: ready in self.journal() or self.process.poll() is not None,
                       what="quorvel-printer to start")
        except TimeoutError:
            self.process.kill()
            raise
        if self.process.poll() is not None:
            raise RuntimeError(f"quorvel-printer did not start: {self.process.stderr.read()!r}")

    @property
    def where(self) -> str:
        return str(self.port_path) if self.port_path else self.address  # type: ignore[return-value]

    def journal(self) -> str:
        try:
            return self.journal_path.read_text(encoding="utf-8", errors="replace")
        except FileNotFoundError:
            return ""

    def sessions_ended(self) -> int:
        text = self.journal()
        return text.count(" closed after ") + text.count("closed the port after ")

    def stop(self) -> bytes:
        """Ends the printer once every session it saw has ended; returns every byte it got."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        return self.capture_path.read_bytes() if self.capture_path.exists() else b""

    def pages(self) -> List[Path]:
        return sorted(self.directory.glob("receipt-*.png"))


@pytest.fixture
def start_printer(request, tmp_path) -> Iterator:
    """start_printer(serial=False, options=[...]) -> a running VirtualPrinter."""
    started: List[VirtualPrinter] = []

    def start(serial: bool = False, options: Optional[List[str]] = None,
              address: Optional[str] = None, port: int = 9100) -> VirtualPrinter:
        for attempt in range(3):
            directory = tmp_path / f"printer{len(started)}-{attempt}"
            directory.mkdir()
            where = address
            if not serial and address is None:
                where = loopback_address(f"{request.node.nodeid} {len(started)} {attempt}")
            try:
                printer = VirtualPrinter(directory, where, serial, options or [], port)
            except RuntimeError:
                if attempt == 2 or address is not None:
                    raise
                continue  # a parallel test holds that address: derive another
            started.append(printer)
            return printer
        raise AssertionError("unreachable")

    yield start
    for printer in started:
        printer.stop()


@pytest.fixture(autouse=True)
def no_link_left_open():
    """A test that forgets to close a Printer fails, instead of leaking its link."""
    yield
    from quorvel import _printer
    leaked = list(_printer._open_printers)
    for printer in leaked:
        printer.close()
    if leaked:
        pytest.fail(f"{', '.join(map(repr, leaked))} left open")

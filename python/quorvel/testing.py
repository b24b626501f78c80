# SPDX-License-Identifier: MIT
"""Testing kit for tills: a pytest plugin with a ``virtual_printer`` fixture.

The fixture starts ``quorvel-printer`` (the virtual printer of package
quorvel-tools) on free loopback ports for one test and stops it afterwards::

    def test_receipt_shows_the_total(virtual_printer):
        with virtual_printer.connect() as printer:
            print_sale(printer, [("Coffee", 450)])   # the till's own function
        receipt = virtual_printer.next_receipt(timeout=10)
        assert "TOTAL 4,50" in receipt.text
        assert receipt.symbols[0]["data"] == "5901234123457"

The printer's model and state come from a marker on the test, or from the
``virtual_printer_factory`` fixture for several printers in one test::

    @pytest.mark.virtual_printer(profile="generic-58", paper="near-end")
    def test_kitchen_order(virtual_printer): ...

    def test_counter_and_kitchen(virtual_printer_factory):
        counter = virtual_printer_factory()
        kitchen = virtual_printer_factory(profile="generic-58", speed=150)

The plugin loads by itself once the package is installed (entry point
``pytest11``); otherwise add ``pytest_plugins = ["quorvel.testing"]`` to a
conftest.py. The printer program is $QUORVEL_PRINTER, else quorvel-printer on
the PATH.
"""

from __future__ import annotations

import dataclasses
import json
import os
import shutil
import signal
import subprocess
import time
import urllib.error
import urllib.request
from pathlib import Path
from typing import Any, Dict, Iterator, List, Optional, Sequence

from ._printer import Printer

__all__ = ["Receipt", "VirtualPrinter", "printer_options", "virtual_printer",
           "virtual_printer_factory"]

#: The paper states quorvel-printer starts in (--paper).
PAPER_STATES = ("ok", "near-end", "out")


def printer_options(profile: Optional[str] = None, speed: Optional[float] = None,
                    paper: Optional[str] = None, options: Sequence[str] = ()) -> List[str]:
    """quorvel-printer's options for a model and a state.

    :param profile: a profile name (``"generic-58"``) or a profile file: the
        model, its paper width, code pages and answers.
    :param speed: print speed in mm/s (0: instant, the printer's default).
    :param paper: ``"ok"``, ``"near-end"`` or ``"out"`` at start-up.
    :param options: further quorvel-printer options, given as they are.
    """
    argv: List[str] = []
    if profile is not None:
        argv += ["--profile", os.fspath(profile)]
    if speed is not None:
        if isinstance(speed, bool) or not isinstance(speed, (int, float)) or speed < 0:
            raise ValueError(f"speed takes a number of mm/s from 0 up, not {speed!r}")
        argv += ["--speed", f"{speed:g}"]
    if paper is not None:
        if paper not in PAPER_STATES:
            raise ValueError(f"paper takes one of {', '.join(PAPER_STATES)}, not {paper!r}")
        argv += ["--paper", paper]
    if isinstance(options, str):
        raise TypeError("options takes a list of words, e.g. [\"--drawer\", \"open\"]")
    return argv + list(options)


@dataclasses.dataclass(frozen=True)
class Receipt:
    """One cut receipt as the virtual printer read it."""

    id: int
    #: The printed lines, top to bottom.
    lines: List[str]
    #: Each barcode and 2D symbol: ``type``, ``data`` (decoded from the image),
    #: ``x``, ``y``, ``width``, ``height`` in dots.
    symbols: List[Dict[str, Any]]
    #: The receipt image.
    png: Path

    @property
    def text(self) -> str:
        """The printed lines joined by line ends."""
        return "\n".join(self.lines)


class VirtualPrinter:
    """A running quorvel-printer with its TCP port and its web API.

    :param directory: where the receipt images and the journal go.
    :param options: further quorvel-printer options, e.g. ``["--drawer", "open"]``.
    :param profile, speed, paper: the model and its state, see
        :func:`printer_options`.
    """

    host = "127.0.0.1"

    def __init__(self, directory: Path, options: Sequence[str] = (),
                 program: Optional[str] = None, *, profile: Optional[str] = None,
                 speed: Optional[float] = None, paper: Optional[str] = None) -> None:
        options = printer_options(profile, speed, paper, options)
        self.directory = Path(directory)
        self.directory.mkdir(parents=True, exist_ok=True)
        self.program = program or os.environ.get("QUORVEL_PRINTER") or shutil.which(
            "quorvel-printer")
        if not self.program:
            raise RuntimeError("quorvel-printer not found: install quorvel-tools, or set "
                               "QUORVEL_PRINTER to the program")
        self._seen = 0
        # Port 0: the printer takes free ports itself and writes the ones it
        # bound to the ready file once both are served.
        ready = self.directory / "ready"
        ready.unlink(missing_ok=True)
        self._process = subprocess.Popen(
            [self.program, "--listen", f"{self.host}:0", "--http", f"{self.host}:0",
             "--ready-file", str(ready), "--out", str(self.directory),
             "--journal", str(self.directory / "journal.txt"), *options],
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        deadline = time.monotonic() + 15
        while not ready.exists():
            if self._process.poll() is not None:
                raise RuntimeError(f"quorvel-printer did not start: {self._stderr()}")
            if time.monotonic() > deadline:
                self.stop()
                raise RuntimeError("quorvel-printer did not get ready within 15 s")
            time.sleep(0.01)
        served = dict(line.split("=", 1) for line in ready.read_text().splitlines() if "=" in line)
        self.port = int(served["tcp"].rsplit(":", 1)[1])
        self.http_port = int(served["http"].rstrip("/").rsplit(":", 1)[1])

    def _stderr(self) -> str:
        assert self._process is not None
        if self._process.poll() is None:
            return "still starting"
        return self._process.stderr.read().decode(errors="replace") if self._process.stderr else ""

    @property
    def address(self) -> str:
        """The TCP address the till connects to."""
        return self.host

    @property
    def url(self) -> str:
        """The live web page; its JSON API is under /api/."""
        return f"http://{self.host}:{self.http_port}/"

    def connect(self, model: int = 0) -> Printer:
        """A :class:`quorvel.Printer` on this printer."""
        return Printer.tcp(self.host, self.port, model)

    def _get(self, path: str, timeout: float = 10) -> Any:
        with urllib.request.urlopen(self.url.rstrip("/") + path, timeout=timeout) as answer:
            return json.load(answer)

    def next_receipt(self, timeout: float = 10) -> Receipt:
        """The next receipt cut after the last one returned (or after the start).

        Waits at most ``timeout`` seconds for it; raises TimeoutError.
        """
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            wait = max(0, min(5, int(left)))
            # The printer holds the answer until a receipt after _seen exists
            # or `wait` seconds passed: no polling.
            listing = self._get(f"/api/receipts?after={self._seen}&wait={wait}", timeout=wait + 10)
            newer = [r for r in listing["receipts"] if r["id"] > self._seen]
            if newer:
                info = min(newer, key=lambda r: r["id"])
                break
            if time.monotonic() >= deadline:
                raise TimeoutError(self._no_receipt(timeout, listing.get("uncut_height", 0)))
        self._seen = info["id"]
        lines = self._get(f"/api/receipts/{info['id']}/text")["lines"]
        symbols = self._get(f"/api/receipts/{info['id']}/symbols")["symbols"]
        return Receipt(id=info["id"], lines=[line["text"] for line in lines], symbols=symbols,
                       png=self.directory / info["file"])

    def _no_receipt(self, timeout: float, uncut_height: int) -> str:
        said = f"no receipt after #{self._seen} within {timeout} s"
        if not uncut_height:
            return said + ": nothing was printed since"
        # Printed and not cut: the till most likely forgot the cut.
        return (f"{said}: {uncut_height} dots of paper are printed but not cut yet. End the "
                "receipt with a cut (Printer.cut(), GS V 0), or wait longer: the printer writes "
                "uncut paper out as a receipt after --flush-after seconds without data (5 by "
                "default; VirtualPrinter(..., options=['--flush-after', '1']) flushes sooner)")

    def stop(self) -> None:
        """End the printer (the fixture does it after the test)."""
        if self._process is None:
            return
        if self._process.poll() is None:
            self._process.send_signal(signal.SIGTERM)
            try:
                self._process.wait(timeout=20)
            except subprocess.TimeoutExpired:
                self._process.kill()
                self._process.wait()
        if self._process.stderr:
            self._process.stderr.close()
        self._process = None

    def __enter__(self) -> "VirtualPrinter":
        return self

    def __exit__(self, *exc: Any) -> None:
        self.stop()


try:
    import pytest
except ImportError:  # the kit without pytest: VirtualPrinter alone
    pass
else:
    def pytest_configure(config: Any) -> None:
        config.addinivalue_line(
            "markers", "virtual_printer(profile=None, speed=None, paper=None, options=()): "
            "the model and state of the test's virtual_printer (quorvel.testing)")

    @pytest.fixture
    def virtual_printer(request: Any, tmp_path: Path) -> Iterator[VirtualPrinter]:
        """A quorvel-printer on free loopback ports, for this test only.

        ``@pytest.mark.virtual_printer(profile=..., speed=..., paper=...,
        options=[...])`` on the test (or its class or module) sets its model
        and state.
        """
        marker = request.node.get_closest_marker("virtual_printer")
        settings = dict(marker.kwargs) if marker else {}
        if marker and marker.args:
            raise TypeError("mark.virtual_printer takes keywords: profile, speed, paper, options")
        unknown = set(settings) - {"profile", "speed", "paper", "options"}
        if unknown:
            raise TypeError(f"mark.virtual_printer: unknown {', '.join(sorted(unknown))} "
                            "(it takes profile, speed, paper, options)")
        options = settings.pop("options", ())
        with VirtualPrinter(tmp_path / "virtual-printer", options, **settings) as printer:
            yield printer

    @pytest.fixture
    def virtual_printer_factory(tmp_path: Path) -> Iterator[Any]:
        """Starts virtual printers on demand, each in a folder of its own:
        ``virtual_printer_factory(profile=None, speed=None, paper=None,
        options=())``. All are stopped after the test."""
        started: List[VirtualPrinter] = []

        def start(profile: Optional[str] = None, speed: Optional[float] = None,
                  paper: Optional[str] = None, options: Sequence[str] = ()) -> VirtualPrinter:
            folder = tmp_path / f"virtual-printer-{len(started) + 1}"
            started.append(VirtualPrinter(folder, options, profile=profile, speed=speed,
                                          paper=paper))
            return started[-1]

        yield start
        for printer in started:
            printer.stop()

# SPDX-License-Identifier: MIT
"""Confirmed printing and receipt blocks, against the virtual printer: outcome
unknown when the printer dies, three threads sharing one Printer, and the
bytes of receipt blocks."""

import json
import re
import signal
import threading
import urllib.request

import pytest

import quorvel
from conftest import loopback_address
from quorvel import Dummy, ErrorCode, InputRefused, OutcomeUnknown, Printer

CUT = bytes.fromhex("1D5600")
# ESC @, left, 32-dot spacing, Windows-1252, bold off, font A: a plain text line.
TEXT_HEAD = bytes.fromhex("1B40 1B6100 1B3320 1B7410 1B4500 1B4D00")


def line(text: str) -> bytes:
    return TEXT_HEAD + text.encode("cp1252") + b"\n"


@pytest.fixture
def printer_with_api(request, start_printer):
    """start(*options) -> a quorvel-printer on 127.a.b.c:9100 with its API on port 8080."""
    count = [0]

    def start(*options):
        address = loopback_address(f"{request.node.nodeid} api {count[0]}")
        count[0] += 1
        virtual = start_printer(address=address, options=["--http", f"{address}:8080", *options])
        virtual.api = f"http://{address}:8080/api"
        return virtual
    return start


def put_status(virtual, **state) -> None:
    """PUT /api/status, e.g. paper="out", power="off"."""
    request = urllib.request.Request(f"{virtual.api}/status", data=json.dumps(state).encode(),
                                     method="PUT", headers={"Content-Type": "application/json"})
    with urllib.request.urlopen(request, timeout=10) as answer:
        answer.read()


# What confirming sends besides the receipts: GS ( H fn 48 with its ID, GS r,
# DLE EOT, and GS a (automatic status back).
QUERIES = re.compile(rb"\x1d\(H\x06\x0000....|\x1dr[\x01\x021-2]|\x10\x04[\x01-\x04]|\x1da.",
                     re.S)


def printed_receipts(virtual) -> list:
    """Every receipt the printer received, as the bytes between cuts, queries left out."""
    virtual.stop()
    return QUERIES.sub(b"", virtual.capture_path.read_bytes()).split(CUT)[:-1]


@pytest.mark.parametrize("cut", ["killed"])
def test_a_printer_that_dies_gives_outcome_unknown(printer_with_api, cut):
    virtual = printer_with_api()
    with Printer.tcp(virtual.address) as p:
        with p.receipt():
            p.text("ORDER 9")
        if cut == "killed":
            virtual.process.send_signal(signal.SIGKILL)
            virtual.process.wait()
        else:
            put_status(virtual, power="off")
        with pytest.raises(OutcomeUnknown) as unknown:
            p.confirm(timeout=5)
        assert unknown.value.code == ErrorCode.OUTCOME_UNKNOWN
        assert "copy" in unknown.value.message.lower()


# With the library's messages captured, every call also takes the capture's
# one lock: a thread waiting for another's block must not hold it.
@pytest.mark.parametrize("captured", [False, True], ids=["plain", "messages-captured"])
def test_three_threads_sharing_one_printer_each_receipt_whole_and_alone(printer_with_api,
                                                                         captured):
    virtual = printer_with_api()
    quorvel.capture_library_messages(captured)
    receipts, lines = 15, 6
    errors = []

    def till(name):
        try:
            for n in range(receipts):
                with shared.receipt():
                    for k in range(lines):
                        shared.text(f"{name} receipt {n:02d} line {k}")
        except Exception as e:  # noqa: BLE001 - handed to the test
            errors.append(e)

    try:
        with Printer.tcp(virtual.address) as shared:
            threads = [threading.Thread(target=till, args=(name,)) for name in ("A", "B", "C")]
            for thread in threads:
                thread.start()
            for thread in threads:
                thread.join(timeout=60)
            assert not any(thread.is_alive() for thread in threads), "a till hung"
    finally:
        quorvel.capture_library_messages(False)
    assert errors == []
    got = printed_receipts(virtual)
    expected = {b"".join(line(f"{name} receipt {n:02d} line {k}") for k in range(lines))
                for name in "ABC" for n in range(receipts)}
    assert len(got) == 3 * receipts and set(got) == expected  # each receipt alone on its paper


def body_text(p):
    p.text("TOTAL 4,50")


def body_cut(p):
    p.text("TOTAL 4,50")
    p.cut()


def body_written(p):
    p.write(line("TOTAL 4,50") + CUT)


@pytest.mark.parametrize("body,options,expected", [
    (body_text, {}, line("TOTAL 4,50") + CUT),              # a cut added
    (body_cut, {}, line("TOTAL 4,50") + CUT),               # no second cut
    (body_written, {}, line("TOTAL 4,50") + CUT),           # its bytes end with a cut
    (body_text, {"cut": False}, line("TOTAL 4,50")),
], ids=["adds-cut", "own-cut", "written-cut", "no-cut"])
def test_receipt_block_bytes(body, options, expected):
    with Dummy() as d:
        with d.receipt(**options):
            body(d)
            assert d.output == b""  # collected, nothing sent before the end
    assert d.output == expected


def test_a_block_that_fails_sends_nothing():
    with Dummy() as d:
        with pytest.raises(ZeroDivisionError):
            with d.receipt():
                d.text("LINE 1")
                1 / 0
        with pytest.raises(InputRefused) as refused:  # refused inside, caught by the till
            with d.receipt():
                d.text("LINE 2")
                try:
                    d.text("x" * 9000)
                except InputRefused:
                    pass
        assert "receipt not sent" in refused.value.message
        with d.receipt():
            with pytest.raises(RuntimeError, match="already open"):
                with d.receipt():
                    pass
            with pytest.raises(RuntimeError, match="inside a receipt block"):
                d.confirm()
            d.text("LINE 3")
        # write() outside a block: as they are; empty sends nothing; str refused
        d.write(b"\x1b@raw\n")
        d.write(b"")
        with pytest.raises(TypeError):
            d.write("text")  # type: ignore[arg-type]
    assert d.output == line("LINE 3") + CUT + b"\x1b@raw\n"

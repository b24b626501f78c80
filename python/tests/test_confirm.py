# SPDX-License-Identifier: MIT
"""Confirmed printing and receipt blocks, against the virtual printer: printed,
held by paper out and then printed once, outcome unknown when the printer
dies, three threads sharing one Printer, a Dummy-built receipt in one write,
and the README's till pattern run as written."""

import json
import re
import signal
import threading
import time
import urllib.request

import pytest

import quorvel
from conftest import ROOT, loopback_address
from quorvel import (ConfirmLevel, Dummy, ErrorCode, Held, InputRefused, OutcomeUnknown, Printer,
                     PrinterError)

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


def test_confirm_after_printing_and_in_a_block(printer_with_api):
    virtual = printer_with_api()
    with Printer.tcp(virtual.address) as p:
        p.text("ORDER 1")
        p.cut()
        assert p.confirm(timeout=10) is ConfirmLevel.PRINTED
        with p.receipt(confirm=True) as block:
            p.text("ORDER 2")
        assert block.level is ConfirmLevel.PRINTED
    assert printed_receipts(virtual) == [line("ORDER 1"), line("ORDER 2")]


def test_paper_out_holds_the_receipt_then_it_prints_once(printer_with_api):
    virtual = printer_with_api()
    put_status(virtual, paper="out")
    with Printer.tcp(virtual.address) as p:
        start = time.monotonic()
        with pytest.raises(Held) as held:
            with p.receipt(confirm=True, timeout=10):
                p.text("ORDER 17")
        assert time.monotonic() - start < 2.0  # reported within about a second
        assert isinstance(held.value, PrinterError) and held.value.code == ErrorCode.HELD
        assert "paper" in held.value.message
        with pytest.raises(Held):  # still out: confirming again waits for the same receipt
            p.confirm(timeout=2)
        put_status(virtual, paper="ok")
        assert p.confirm(timeout=10) is ConfirmLevel.PRINTED
    assert printed_receipts(virtual) == [line("ORDER 17")]  # once: nothing was resent


@pytest.mark.parametrize("cut", ["killed", "power off"])
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

    def receipt(name, n):
        return [f"{name} receipt {n:02d} line {k}" for k in range(lines)]

    def till(name):  # a receipt is many calls, in a block
        try:
            for n in range(receipts):
                with shared.receipt():
                    for text in receipt(name, n):
                        shared.text(text)
                        time.sleep(0.002)  # the till works out the next line: others run
        except Exception as e:  # noqa: BLE001 - handed to the test
            errors.append(e)

    def writer():  # whole receipts in one call each, outside blocks: they wait for blocks
        try:
            for n in range(receipts):
                shared.write(b"".join(line(text) for text in receipt("W", n)) + CUT)
        except Exception as e:  # noqa: BLE001
            errors.append(e)

    try:
        with Printer.tcp(virtual.address) as shared:
            threads = [threading.Thread(target=till, args=(name,)) for name in ("A", "B", "C")]
            threads.append(threading.Thread(target=writer))
            for thread in threads:
                thread.start()
            for thread in threads:
                thread.join(timeout=60)
            assert not any(thread.is_alive() for thread in threads), "a till hung"
    finally:
        quorvel.capture_library_messages(False)
    assert errors == []
    got = printed_receipts(virtual)
    expected = {b"".join(line(text) for text in receipt(name, n))
                for name in "ABCW" for n in range(receipts)}
    assert len(got) == 4 * receipts and set(got) == expected  # each receipt alone on its paper


def test_a_dummy_built_receipt_goes_out_whole_as_it_is(printer_with_api):
    virtual = printer_with_api()
    with Dummy() as d:
        for n in range(300):  # far over raw()'s 4096 bytes
            d.text(f"item {n:03d}" + "." * 30)
        d.cut()
    receipt = d.output
    assert len(receipt) > 16000

    def interfere():
        for n in range(20):
            with shared.receipt():
                shared.text(f"other {n}")

    with Printer.tcp(virtual.address) as shared:
        other = threading.Thread(target=interfere)
        other.start()
        with shared.receipt(confirm=True) as block:
            shared.write(receipt)  # no second cut: the bytes end with one
        other.join(timeout=60)
    assert block.level is ConfirmLevel.PRINTED
    got = printed_receipts(virtual)
    assert len(got) == 21 and got.count(receipt[:-len(CUT)]) == 1


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


def test_the_readme_till_pattern_with_paper_out(printer_with_api):
    text = (ROOT / "python" / "README.md").read_text(encoding="utf-8")
    till = {}
    exec(re.search(r"```python\n(# till\.py.*?)```", text, re.S).group(1), till)
    virtual = printer_with_api()
    put_status(virtual, paper="out")
    told = []

    def tell_operator(message):  # the operator loads paper
        told.append(message)
        put_status(virtual, paper="ok")

    items = ["1 x Café                                    4,50"]
    assert till["print_confirmed"](virtual.address, items, "4,50", tell_operator) == "printed"
    assert len(told) == 1 and "paper" in told[0]
    got = printed_receipts(virtual)
    assert len(got) == 1 and b"TOTAL R$" in got[0] and b"COPY" not in got[0]

# SPDX-License-Identifier: MIT
"""Each failure a host meets, caused for real, and the exception it raises."""

import os
import signal
import subprocess
import sys

import pytest

from conftest import ROOT, loopback_address, wait_until
from quorvel import (Barcode, ConnectFailed, ErrorCode, InputRefused, NoReply, NotConnected, NotWritten,
                     Printer, PrinterError, QrCommands)


def refused_address(request, tmp_path):
    return loopback_address(request.node.nodeid)  # nothing listens there


def plain_file(request, tmp_path):
    (tmp_path / "file").write_bytes(b"")
    return str(tmp_path / "file")


@pytest.mark.parametrize("open_,where,code", [
    (Printer.tcp, refused_address, ErrorCode.REFUSED),
    (Printer.tcp, lambda r, t: "printer.example", ErrorCode.BAD_ADDRESS),
    (Printer.tcp, lambda r, t: "127.0.0.1.5", ErrorCode.BAD_ADDRESS),
    (Printer.serial, lambda r, t: str(t / "ttyNONE"), ErrorCode.PORT_NOT_FOUND),
    (Printer.serial, plain_file, ErrorCode.NOT_SERIAL),
    (Printer.device, lambda r, t: str(t / "lpNONE"), ErrorCode.PORT_NOT_FOUND),
], ids=["refused", "host-name", "bad-literal", "no-port", "not-a-tty", "no-device"])
def test_link_that_cannot_open(request, tmp_path, open_, where, code):
    target = where(request, tmp_path)
    with pytest.raises(ConnectFailed) as caught:
        open_(target)
    assert caught.value.code == code
    assert target in caught.value.message


def test_device_link_prints_and_another_opener_is_told_busy(tmp_path):
    # A raw pseudo-terminal stands in for /dev/usb/lp0.
    import fcntl
    import tty
    master, slave = os.openpty()
    tty.setraw(slave)
    path = os.ttyname(slave)
    try:
        with Printer.device(path) as printer:
            printer.raw(b"\x0a\x0d\xe9\x00")
            got = b""
            while len(got) < 7:
                got += os.read(master, 64)
            assert got == b"\x1b@\x0a\x0d\xe9\x00\x0a"  # unchanged, framed by ESC @ and LF
        holder = os.open(path, os.O_RDWR | os.O_NOCTTY)
        fcntl.flock(holder, fcntl.LOCK_EX)
        with pytest.raises(ConnectFailed) as caught:
            Printer.device(path)
        assert caught.value.code == ErrorCode.DEVICE_BUSY
        os.close(holder)
    finally:
        os.close(master)
        os.close(slave)


def test_serial_port_held_by_another_process(start_printer):
    printer = start_printer(serial=True)
    holder = subprocess.Popen(
        [sys.executable, "-c", "import quorvel, sys; p = quorvel.Printer.serial(sys.argv[1]); "
         "print('held', flush=True); sys.stdin.read()", printer.where],
        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
        env=dict(os.environ, PYTHONPATH=str(ROOT / "python")))
    try:
        assert holder.stdout.readline().strip() == "held"
        with pytest.raises(ConnectFailed) as caught:
            Printer.serial(printer.where)
        assert caught.value.code == ErrorCode.PORT_BUSY
    finally:
        holder.stdin.close()
        holder.wait(timeout=10)


def test_second_printer_while_one_is_open(start_printer):
    printer, other = start_printer(), start_printer()
    with Printer.tcp(printer.address) as first:
        with Printer.tcp(other.address) as second:  # each Printer has a link of its own
            second.open_drawer()
            first.cut()
        first.cut()  # closing the second left the first open
    for virtual in (printer, other):
        wait_until(lambda: virtual.sessions_ended() == 1)
    assert printer.stop() == b"\x1d\x56\x00" * 2
    assert other.stop() == b"\x1b\x70\x00\x3c\x78"


@pytest.mark.parametrize("call", [
    lambda p: p.text("late"), lambda p: p.cut(), lambda p: p.status(),
    lambda p: p.drawer_status(), lambda p: p.full_status(),
], ids=["text", "cut", "status", "drawer_status", "full_status"])
def test_closed_printer_sends_nothing(start_printer, call):
    printer = start_printer()
    with Printer.tcp(printer.address) as p:
        pass
    with Printer.tcp(printer.address) as other:  # a new link to the same printer
        with pytest.raises(NotConnected) as caught:
            call(p)
        assert caught.value.code == ErrorCode.NO_LINK
        other.cut()
    wait_until(lambda: printer.sessions_ended() == 2)
    assert printer.stop() == b"\x1d\x56\x00"


@pytest.mark.parametrize("link", ["tcp", "serial"])
def test_printer_gone_mid_receipt(start_printer, link):
    printer = start_printer(serial=link == "serial")
    opened = Printer.tcp(printer.address) if link == "tcp" else Printer.serial(printer.where)
    with opened as p:
        p.text("first line")
        os.kill(printer.process.pid, signal.SIGKILL)
        printer.process.wait()
        with pytest.raises(NotWritten) as caught:
            for _ in range(50):  # the first writes may still land in socket buffers
                p.text("x" * 4000)
        assert caught.value.code in (ErrorCode.LINK_CLOSED, ErrorCode.WRITE_FAILED)
        assert caught.value.message


@pytest.mark.parametrize("options,model,query,code,reason", [
    (["--silent"], 0, "status", ErrorCode.NO_REPLY, ""),
    (["--silent"], 0, "drawer_status", ErrorCode.NO_REPLY, ""),
    (["--paper", "near-end"], 2, "status", ErrorCode.OK, "not in the status table of model 2"),
], ids=["silent-status", "silent-drawer", "unknown-reply"])
def test_no_status(start_printer, options, model, query, code, reason):
    printer = start_printer(options=options)
    with Printer.tcp(printer.address, model=model) as p:
        with pytest.raises(NoReply) as caught:
            getattr(p, query)()
    assert caught.value.code == code
    assert reason in caught.value.message


def test_connection_queued_behind_another_says_the_printer_may_be_busy(start_printer):
    # The virtual printer serves one connection at a time: the second is
    # accepted by the system and waits, unanswered, until the first closes.
    printer = start_printer()
    with Printer.tcp(printer.address) as first:
        first.status()
        with Printer.tcp(printer.address) as second:
            with pytest.raises(NoReply) as caught:
                second.status()
    assert caught.value.code == ErrorCode.NO_REPLY
    assert "busy with another connection" in caught.value.message
    assert printer.address in caught.value.message


@pytest.mark.parametrize("call,code", [
    (lambda p: p.text("x" * 9000), ErrorCode.TOO_LONG),
    (lambda p: p.barcode("1" * 200), ErrorCode.TOO_LONG),
    (lambda p: p.qr("x" * 5000), ErrorCode.TOO_LONG),
    (lambda p: p.qr("x" * 5000, command_set=QrCommands.ESC_Z), ErrorCode.TOO_LONG),
    (lambda p: p.raw(b"\x1b" * 5000), ErrorCode.TOO_LONG),
    (lambda p: p.image(bytes(577), width=577, height=1), ErrorCode.IMAGE_TOO_WIDE),
], ids=["text", "barcode", "qr", "qr-esc-z", "raw", "image"])
def test_input_the_library_refuses(start_printer, call, code):
    printer = start_printer()
    with Printer.tcp(printer.address) as p:
        with pytest.raises(InputRefused) as caught:
            call(p)
        assert caught.value.code == code
        assert isinstance(caught.value, ValueError)
    wait_until(lambda: printer.sessions_ended() == 1)
    assert printer.stop() == b""


@pytest.mark.parametrize("call", [
    lambda p: p.text("a", align="middle"),
    lambda p: p.text("a", spacing=30),
    lambda p: p.text("a\0b"),
    lambda p: p.text("a", upside_down=True, reverse=True),
    lambda p: p.text("a", reverse=True, bold=True),
    lambda p: p.text("a", feed=2, upside_down=True),
    lambda p: p.formatted("a", style=2),
    lambda p: p.barcode(""),
    lambda p: p.barcode("123", height=40),
    lambda p: p.code128(list(range(21))),
    lambda p: p.code128([100] + [0] * 21),
    lambda p: p.code128([0] * 22, width=3),
    lambda p: p.qr("a", size=8),
    lambda p: p.qr("a", model=0),
    lambda p: p.pdf417("a", columns=31),
    lambda p: p.datamatrix("a", rows_code=5),
    lambda p: p.logo(256),
    lambda p: p.raw([256]),
    lambda p: p.image(bytes(10), width=4, height=2),
])
def test_bad_arguments_are_refused_before_sending(start_printer, call):
    printer = start_printer()
    with Printer.tcp(printer.address) as p:
        with pytest.raises(ValueError):
            call(p)
    wait_until(lambda: printer.sessions_ended() == 1)
    assert printer.stop() == b""


@pytest.mark.parametrize("data,kind,rule", [
    ("123", Barcode.EAN13, "EAN-13 takes 12 or 13 digits, not 3"),
    ("5901234123458", Barcode.EAN13, "check digit is 7, not 8"),
    ("12345", Barcode.ITF, "even number of digits, not 5"),
    ("40156B", Barcode.CODABAR, "starts and ends with A, B, C or D"),
    ("ab", Barcode.CODE39, "cannot encode 'a' at position 1"),
])
def test_barcode_data_against_its_rules_is_refused_before_sending(start_printer, data, kind,
                                                                    rule):
    # The printer drops such a symbol silently: the call must not look printed.
    printer = start_printer()
    with Printer.tcp(printer.address) as p:
        with pytest.raises(ValueError, match=rule) as caught:
            p.barcode(data, kind)
        assert caught.value.code == ErrorCode.BAD_BARCODE_DATA
    wait_until(lambda: printer.sessions_ended() == 1)
    assert printer.stop() == b""


@pytest.mark.parametrize("kwargs", [
    {"port": 0}, {"port": 65536}, {"model": 4}, {"model": -1},
])
def test_bad_link_arguments(kwargs):
    with pytest.raises(ValueError):
        Printer.tcp("127.0.0.1", **kwargs)


def test_bad_serial_speed(tmp_path):
    with pytest.raises(ValueError, match="baud"):
        Printer.serial(str(tmp_path / "tty"), baud=12345)


def test_unencodable_character_is_named(start_printer):
    printer = start_printer()
    with Printer.tcp(printer.address) as p:
        with pytest.raises(UnicodeEncodeError) as caught:
            p.text("Total 5 € — 中")
    error = caught.value
    assert error.object[error.start] == "中"
    assert "中" in str(error) and "U+4E2D" in str(error)
    assert isinstance(error, ValueError) and not isinstance(error, PrinterError)

# SPDX-License-Identifier: MIT
"""Every Printer method, the bytes quorvel-printer received for it, over TCP and a pty."""

import pytest

from conftest import wait_until
from quorvel import (HRI, Align, Barcode, LogoSize, Printer, QrCommands, QrLevel, Style)


def h(text: str) -> bytes:
    return bytes.fromhex(text)


# (id, call, expected bytes); expected layouts are written out from the command tables.
CASES = [
    ("text-defaults", lambda p: p.text("AB"),
     h("1B40 1B6100 1B3320 1B7410 1B4500 1B4D00 4142 0A")),
    ("text-centre-bold-69", lambda p: p.text("AB", align="center", bold=True, spacing=69),
     h("1B40 1B6101 1B3345 1B7410 1B4501 1B4D00 4142 0A")),
    ("text-right-fontb-21", lambda p: p.text(b"x", align=Align.RIGHT, font="b", spacing=21),
     h("1B40 1B6102 1B3315 1B7410 1B4500 1B4D01 78 0A")),
    ("text-cp1252", lambda p: p.text("Café €1,50 ñ"),
     h("1B40 1B6100 1B3320 1B7410 1B4500 1B4D00") + "Café €1,50 ñ".encode("cp1252") + h("0A")),
    ("text-feed", lambda p: p.text("AB", bold=True, feed=3),
     h("1B40 1B6100 1B3320 1B7410 1B4501 1B4D00 4142 1B6403")),
    ("text-upside-down", lambda p: p.text("AB", align="centre", upside_down=True, spacing=40),
     h("1B40 1B6101 1B3328 1B7410 1B4500 1B4D00 1B7B01 4142 0A")),
    ("text-reverse", lambda p: p.text("AB", reverse=True, font="B", spacing=64),
     h("1B40 1B6100 1B3340 1B7410 1B4D01 1D4201 4142 0A")),
    ("formatted-double", lambda p: p.formatted("AB", align="right", spacing=40),
     h("1B40 1B6102 1B3328 1B7410 1B2130 4142 0A")),
    ("formatted-underline", lambda p: p.formatted("AB", Style.UNDERLINE, spacing=48),
     h("1B40 1B6100 1B3330 1B7410 1B2180 4142 0A")),
    ("formatted-bold", lambda p: p.formatted("", Style.BOLD, spacing=53),
     h("1B40 1B6100 1B3335 1B7410 1B2108 0A")),
    ("barcode-ean13", lambda p: p.barcode("789012345678", height=50),
     h("1B40 1B6101 1D7702 1D6832 1D4802 1D6B43 0C") + b"789012345678" + h("0A")),
    ("barcode-code39", lambda p: p.barcode("AB-1", Barcode.CODE39, height=32, width=1,
                                           hri=HRI.BOTH, align="left"),
     h("1B40 1B6100 1D7701 1D6820 1D4803 1D6B45 04") + b"AB-1" + h("0A")),
    ("barcode-code128-set-b", lambda p: p.barcode("Ab1", Barcode.CODE128, hri=HRI.NONE),
     h("1B40 1B6101 1D7702 1D6850 1D4800 1D6B49 05 7B42") + b"Ab1" + h("0A")),
    ("barcode-code128-own-set", lambda p: p.barcode("{C\x0c\x22", Barcode.CODE128, width=3),
     h("1B40 1B6101 1D7703 1D6850 1D4802 1D6B49 04 7B43 0C22 0A")),
    ("code128-one", lambda p: p.code128(list(range(10, 32)), align="right"),
     h("1B40 1B6102 1D7702 1D6850 1D4800 1D6B4918 7B43") + bytes(range(10, 32)) + h("0D0A")),
    ("code128-split", lambda p: p.code128("1011121314151617181920212223242526272829" "3031",
                                          align="center", height=32, split=True, width=2),
     h("1B40 1B6101 1D7702 1D6820 1D4800 1D6B490F 7B42 7B43") + bytes(range(10, 21)) + h("0D0A")
     + h("1B40 1B6101 1D7702 1D6820 1D4800 1D6B490F 7B42 7B43") + bytes(range(21, 32))
     + h("0D0A")),
    ("qr-gs-k", lambda p: p.qr("ABC", size=3, level="M", align="left"),
     h("1B40 1B6100 1D286B0400314132 00 1D286B03003143 03 1D286B03003145 31"
       "1D286B0600315030 414243 1D286B0300315130 0000 0A")),
    ("qr-gs-k-model1-h", lambda p: p.qr(b"", size=7, level=QrLevel.H, model=1),
     h("1B40 1B6101 1D286B0400314131 00 1D286B03003143 07 1D286B03003145 33"
       "1D286B0300315030 1D286B0300315130 0000 0A")),
    ("qr-esc-z", lambda p: p.qr("ABC", size=4, level="m", command_set=QrCommands.ESC_Z),
     h("1B40 1B6101 1D5A02 1B5A 32 4D 04 0300 414243")),
    ("qr-esc-z-auto-q", lambda p: p.qr("A", size=1, level="Q", model=0,
                                       command_set=QrCommands.ESC_Z, align="right"),
     h("1B40 1B6102 1D5A02 1B5A 00 51 01 0100 41")),
    ("pdf417", lambda p: p.pdf417("ABC", columns=29, row_height=5, ecc=7),
     h("1B40 1B6101 1D5A00 1B5A 1D 07 05 0300 414243")),
    ("pdf417-limits", lambda p: p.pdf417("A" * 300, columns=30, row_height=6, ecc=8, align="left"),
     h("1B40 1B6100 1D5A00 1B5A 1E 08 06 2C01") + b"A" * 300),
    ("datamatrix", lambda p: p.datamatrix("ABC", size=6, rows_code=1, columns_code=3),
     h("1B40 1B6101 1D5A01 1B5A 01 0A 06 0300 414243")),
    ("datamatrix-codes", lambda p: p.datamatrix("A", size=7, rows_code=4, columns_code=4,
                                                align="left"),
     h("1B40 1B6100 1D5A01 1B5A 04 0B 07 0100 41")),
    ("logo", lambda p: p.logo(2, align="right", size=LogoSize.QUADRUPLE),
     h("1B40 1B6102 1C70 02 03")),
    ("logo-defaults", lambda p: p.logo(), h("1B40 1B6101 1C70 01 00")),
    ("cut", lambda p: p.cut(), h("1D5600")),
    ("open-drawer", lambda p: p.open_drawer(), h("1B70003C78")),
    ("self-test", lambda p: p.self_test(), h("1B401254")),
    ("raw", lambda p: p.raw(b"\x1b\x61\x01\x00\xff"), h("1B40 1B6101 00FF 0A")),
    ("raw-ints", lambda p: p.raw([29, 86, 1]), h("1B40 1D5601 0A")),
    ("status", lambda p: p.status(), h("100401")),
    ("drawer-status", lambda p: p.drawer_status(), h("1D7202")),
    ("full-status", lambda p: p.full_status(), h("100401 100402 100403 100404")),
    ("image-threshold", lambda p: p.image(bytes([0] * 8 + [255] * 8 + [127, 128] * 4),
                                          width=8, height=3, dither=False, align="left"),
     h("1B40 1B6100 1D763000 0100 0300 FF 00 AA")),
]


# Over the pty too: one case of each way a call reaches the link.
SERIAL_CASES = {"text-cp1252", "code128-split", "qr-gs-k", "raw", "status", "drawer-status",
                "full-status", "image-threshold"}
LINK_CASES = [pytest.param("tcp", c[1], c[2], id=f"{c[0]}-tcp") for c in CASES] + \
    [pytest.param("serial", c[1], c[2], id=f"{c[0]}-serial") for c in CASES
     if c[0] in SERIAL_CASES]


@pytest.mark.parametrize("link,call,expected", LINK_CASES)
def test_method_sends_its_command(start_printer, link, call, expected):
    printer = start_printer(serial=link == "serial")
    if link == "tcp":
        opened = Printer.tcp(printer.address)
    else:
        opened = Printer.serial(str(printer.port_path))
    with opened as p:
        call(p)
    wait_until(lambda: printer.sessions_ended() == 1, what="the session to end")
    assert printer.stop().hex(" ") == expected.hex(" ")


@pytest.mark.parametrize("link,model,query", [
    (dict(port=9123), 0, "100401"),
    (dict(port=65535), 2, "1B7601"),
    (dict(serial=True, baud=19200), 1, "100401"),
    (dict(serial=True, baud=9600), 3, "100401"),
], ids=["tcp-9123", "tcp-65535", "serial-19200", "serial-9600"])
def test_link_options(start_printer, link, model, query):
    serial = link.get("serial", False)
    printer = start_printer(serial=serial, port=link.get("port", 9100))
    if serial:
        opened = Printer.serial(printer.where, baud=link["baud"], model=model)
    else:
        opened = Printer.tcp(printer.address, port=link["port"], model=model)
    with opened as p:
        p.cut()
        p.status()
    wait_until(lambda: printer.sessions_ended() == 1)
    assert printer.stop() == h("1D5600" + query)

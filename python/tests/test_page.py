# SPDX-License-Identifier: MIT
"""What ends up on the paper: the printer's journal and page images, read back."""

import pytest
from PIL import Image

from conftest import wait_until
from quorvel import Barcode, DrawerStatus, Printer, QrCommands, Status, Style


def printed(start_printer, call, serial=False, options=None):
    """Runs call(printer) on a fresh virtual printer; returns it once the session ended."""
    printer = start_printer(serial=serial, options=options)
    opened = Printer.serial(printer.where) if serial else Printer.tcp(printer.address)
    with opened as p:
        result = call(p)
    wait_until(lambda: printer.sessions_ended() == 1, what="the session to end")
    printer.stop()
    printer.result = result
    return printer


@pytest.mark.parametrize("call,line", [
    (lambda p: p.text("Café São João €"), 'TEXT        "Caf\\xE9 S\\xE3o Jo\\xE3o \\x80"'),
    (lambda p: p.formatted("TOTAL", Style.DOUBLE), "double height, double width"),
    (lambda p: p.barcode("789012345678"), 'reads "7890123456784"'),
    (lambda p: p.barcode("ABC-12", Barcode.CODE39), 'reads "*ABC-12*"'),
    (lambda p: p.barcode("Receipt 42", Barcode.CODE128), 'reads "Receipt 42"'),
    (lambda p: p.code128("0123456789" * 4 + "0123"),
     'reads "01234567890123456789012345678901234567890123"'),
    (lambda p: p.qr("https://example.com/r/42"), 'store QR data "https://example.com/r/42"'),
    (lambda p: p.qr("ESC Z QR", command_set=QrCommands.ESC_Z), 'QR Code model 2, ECC M'),
    (lambda p: p.pdf417("PDF DATA"), '"PDF DATA" (8 bytes)'),
    (lambda p: p.datamatrix("DM DATA"), '"DM DATA" (7 bytes)'),
    (lambda p: p.store_logo(1, bytes([0] * 16 * 8), width=16, height=8),
     "stored image 1: 16x8 dots"),
    (lambda p: p.self_test(), "DC2 T"),
], ids=["text", "formatted", "ean13", "code39", "code128", "code128-list", "qr", "qr-esc-z",
        "pdf417", "datamatrix", "store-logo", "self-test"])
def test_journal_shows_what_was_printed(start_printer, call, line):
    printer = printed(start_printer, call)
    assert line in printer.journal()


@pytest.mark.parametrize("options,status,drawer", [
    ([], Status.READY, DrawerStatus.CLOSED),
    (["--drawer", "open"], Status.PIN3_HIGH, DrawerStatus.OPEN),
    (["--offline"], Status.OFFLINE, DrawerStatus.CLOSED),
    (["--offline", "--drawer", "open"], Status.OFFLINE_PIN3_HIGH, DrawerStatus.OPEN),
])
@pytest.mark.parametrize("serial", [False, True], ids=["tcp", "serial"])
def test_status_of_each_printer_state(start_printer, options, status, drawer, serial):
    printer = printed(start_printer, lambda p: (p.status(), p.drawer_status()), serial, options)
    assert printer.result == (status, drawer)


@pytest.mark.parametrize("options,expected", [
    ([], dict(online=True, drawer_pin3=False, cover_open=False, paper_near_end=False,
              paper_out=False, error=False)),
    (["--drawer", "open"], dict(online=True, drawer_pin3=True)),
    (["--cover", "open"], dict(online=False, cover_open=True, error=True)),
    (["--paper", "near-end"], dict(online=True, paper_near_end=True, paper_out=False)),
    (["--paper", "out"], dict(online=False, paper_near_end=True, paper_out=True,
                              stopped_paper_end=True)),
    (["--offline"], dict(online=False)),
], ids=["ready", "drawer-open", "cover-open", "near-end", "paper-out", "offline"])
def test_full_status_of_each_printer_state(start_printer, options, expected):
    status = printed(start_printer, lambda p: p.full_status(), options=options).result
    assert status.complete
    assert {name: getattr(status, name) for name in expected} == expected


CELL = 8
CHECKER = [[(x // CELL + y // CELL) % 2 == 0 for x in range(6 * CELL)] for y in range(3 * CELL)]


def checker_bytes():
    return bytes(0 if black else 255 for row in CHECKER for black in row)


def black_pixels(page_path):
    page = Image.open(page_path).convert("L")
    box = page.point(lambda v: 255 if v < 128 else 0).getbbox()
    assert box is not None, "nothing black on the page"
    x0, y0, x1, y1 = box
    return [[page.getpixel((x, y)) < 128 for x in range(x0, x1)] for y in range(y0, y1)]


@pytest.mark.parametrize("dither", [False, True])
def test_image_prints_pixel_for_pixel(start_printer, dither):
    printer = printed(start_printer, lambda p: p.image(checker_bytes(), width=6 * CELL,
                                                       height=3 * CELL, dither=dither))
    pages = printer.pages()
    assert len(pages) == 1
    assert black_pixels(pages[0]) == CHECKER


def test_dithering_keeps_the_mean_grey(start_printer):
    grey = bytes([96]) * (64 * 64)  # 62 % black ink
    printer = printed(start_printer, lambda p: p.image(grey, width=64, height=64, dither=True))
    ink = sum(map(sum, black_pixels(printer.pages()[0])))
    assert abs(ink / (64 * 64) - (1 - 96 / 255)) < 0.05


def pil_grey():
    image = Image.new("L", (6 * CELL, 3 * CELL))
    image.putdata(list(checker_bytes()))
    return image


def pil_rgba_transparent_white():
    """Black where the checker is black, fully transparent (of any colour) elsewhere."""
    image = Image.new("RGBA", (6 * CELL, 3 * CELL))
    image.putdata([(0, 0, 0, 255) if black else (0, 0, 0, 0)
                   for row in CHECKER for black in row])
    return image


def png_path(tmp_path):
    path = tmp_path / "logo.png"
    pil_grey().convert("1").save(path)
    return path


@pytest.mark.parametrize("source", [
    lambda tmp: pil_grey(),
    lambda tmp: pil_grey().convert("RGB"),
    lambda tmp: pil_rgba_transparent_white(),
    lambda tmp: png_path(tmp),
    lambda tmp: str(png_path(tmp)),
], ids=["pil-grey", "pil-rgb", "pil-transparent", "path", "str-path"])
def test_pillow_sources_send_the_same_image(start_printer, tmp_path, source):
    expected = printed(start_printer, lambda p: p.image(checker_bytes(), width=6 * CELL,
                                                        height=3 * CELL, dither=False))
    got = printed(start_printer, lambda p: p.image(source(tmp_path), dither=False))
    assert got.capture_path.read_bytes() == expected.capture_path.read_bytes()


def test_caller_image_and_lists_are_not_changed(start_printer):
    pixels = bytearray(checker_bytes())
    values = list(range(22))
    raw = bytearray(b"\x1b\x61\x01")
    before = (bytes(pixels), list(values), bytes(raw))
    printed(start_printer, lambda p: (p.image(pixels, width=6 * CELL, height=3 * CELL),
                                      p.code128(values), p.raw(raw)))
    assert (bytes(pixels), values, bytes(raw)) == before

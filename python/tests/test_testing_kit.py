# SPDX-License-Identifier: MIT
"""quorvel.testing (the virtual_printer fixture) and quorvel.Dummy, used as a
till's tests would use them."""

import pytest

from quorvel import Barcode, Dummy, ErrorCode, InputRefused, Printer
from quorvel.testing import virtual_printer, virtual_printer_factory  # noqa: F401  (the fixtures)


def print_sale(printer, items):
    """A till function: the lines of a sale, its total, a barcode, the cut."""
    for name, cents in items:
        printer.text(f"{name:<30}{cents / 100:>10.2f}")
    total = sum(cents for _, cents in items)
    printer.text(f"TOTAL{total / 100:>35.2f}", bold=True)
    printer.barcode("5901234123457", Barcode.EAN13)
    printer.cut()


def test_next_receipt_gives_text_symbols_and_image_in_order(virtual_printer):
    with virtual_printer.connect() as printer:
        print_sale(printer, [("Coffee", 450), ("Cheese bread", 700)])
        print_sale(printer, [("Tea", 300)])
    first = virtual_printer.next_receipt(timeout=10)
    second = virtual_printer.next_receipt(timeout=10)
    assert first.lines[-1].split() == ["TOTAL", "11.50"]
    assert "TOTAL" in second.text and "3.00" in second.text
    assert [s["data"] for s in first.symbols] == ["5901234123457"]
    assert first.png.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    assert second.id == first.id + 1
    with pytest.raises(TimeoutError):
        virtual_printer.next_receipt(timeout=0.5)


@pytest.mark.parametrize("printed,said", [
    (b"", "nothing was printed since"),
    (b"TOTAL 4,50\n", "dots of paper are printed but not cut yet"),
], ids=["nothing", "cut-forgotten"])
def test_no_receipt_says_why(virtual_printer, printed, said):
    if printed:
        with virtual_printer.connect() as printer:
            printer.raw(printed)
    with pytest.raises(TimeoutError) as caught:
        virtual_printer.next_receipt(timeout=1)
    assert said in str(caught.value)
    if printed:  # and how to flush it
        assert "Printer.cut()" in str(caught.value) and "--flush-after" in str(caught.value)


def test_dummy_keeps_the_bytes_a_printer_would_get(start_printer):
    with Dummy() as dummy:
        print_sale(dummy, [("Coffee", 450)])
        kept = dummy.output
        with pytest.raises(InputRefused) as refused:
            dummy.barcode("123", Barcode.EAN13)
        assert refused.value.code == ErrorCode.BAD_BARCODE_DATA
        assert dummy.output == kept  # nothing sent
    assert dummy.output == kept  # kept after close
    printer = start_printer()
    with Printer.tcp(printer.address) as real:
        print_sale(real, [("Coffee", 450)])
    assert printer.stop() == kept


# A receipt image's width: the paper's dots (80 mm: 576, 58 mm: 384) and a
# 32-dot margin on each side.
WIDTH_80_MM, WIDTH_58_MM = 640, 448


def png_width(path):
    """The width in dots from a PNG's header."""
    return int.from_bytes(path.read_bytes()[16:20], "big")


def api_status(printer):
    import json
    import urllib.request
    with urllib.request.urlopen(printer.url + "api/status", timeout=10) as answer:
        return json.load(answer)


@pytest.mark.virtual_printer(profile="generic-58", paper="near-end")
def test_marker_sets_the_model_and_the_paper(virtual_printer):
    assert api_status(virtual_printer)["paper"] == "near_end"
    with virtual_printer.connect() as printer:
        print_sale(printer, [("Tea", 300)])
    assert png_width(virtual_printer.next_receipt(timeout=10).png) == WIDTH_58_MM


def test_factory_starts_printers_of_different_models(virtual_printer_factory):
    counter, kitchen = virtual_printer_factory(), virtual_printer_factory(profile="generic-58")
    for printer in (counter, kitchen):
        with printer.connect() as till:
            print_sale(till, [("Tea", 300)])
    assert png_width(counter.next_receipt(timeout=10).png) == WIDTH_80_MM
    assert png_width(kitchen.next_receipt(timeout=10).png) == WIDTH_58_MM
    assert api_status(kitchen)["paper"] == "ok"
    assert counter.directory != kitchen.directory


@pytest.mark.parametrize("settings, refusal", [
    ({"paper": "empty"}, "paper takes one of ok, near-end, out"),
    ({"speed": -1}, "speed takes a number"),
    ({"speed": "fast"}, "speed takes a number"),
    ({"options": "--drawer open"}, "options takes a list"),
    ({"profile": "no-such-model"}, "quorvel-printer did not start"),
])
def test_factory_refuses_bad_settings_clearly(virtual_printer_factory, settings, refusal):
    with pytest.raises((ValueError, TypeError, RuntimeError), match=refusal):
        virtual_printer_factory(**settings)

# SPDX-License-Identifier: MIT
"""Receipts as JSON: the schema's examples print, bad documents are refused
naming the field, and a receipt's bytes are those the Python package makes
for the same receipt."""

import base64
import json
import os
import struct
import sys
import unittest
import zlib

from support import LIBRARY, Printer, Silent, Spool, wait_for

HERE = os.path.dirname(os.path.abspath(__file__))
SCHEMA = os.path.join(HERE, "..", "receipt.schema.json")


def png_gray(pixels, width, height):
    """An 8-bit greyscale PNG of `pixels` (rows packed)."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(
            ">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    raw = b"".join(b"\0" + pixels[y * width:(y + 1) * width] for y in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


PIXELS = bytes((x * 16 + y * 8) % 256 for y in range(8) for x in range(16))

RECEIPT = {"items": [
    {"text": "Café Quorvel", "align": "center", "size": "double"},
    {"text": "Rua das Flores 12", "align": "center"},
    {"row": ["2 x Espresso", "3,00"]},
    {"row": [{"text": "1 x Pastel de nata with extra cinnamon", "width": 30},
             {"text": "1,20", "align": "right"}]},
    {"row": ["TOTAL", "4,20"], "bold": True},
    {"text": "no sugar", "underline": True},
    {"text": "small print", "font": "b", "spacing": 21},
    {"text": "Thank you!", "align": "center", "invert": True},
    {"text": "bold", "bold": True, "feed": 2},
    {"barcode": "4006381333931"},
    {"barcode": "QV-0077", "type": "CODE128", "height": 50, "hri": "none"},
    {"qr": "https://till.example/r/77", "size": 5, "level": "Q"},
    {"pdf417": "ORDER 77", "columns": 4},
    {"datamatrix": "QV77", "size": 5},
    {"image": base64.b64encode(png_gray(PIXELS, 16, 8)).decode(), "align": "left"},
    {"feed": 3},
    {"cut": True},
    {"drawer": True},
]}


def python_receipt():
    """RECEIPT through the Python package."""
    sys.path.insert(0, os.path.join(HERE, "..", "..", "python"))
    os.environ.setdefault("QUORVEL_LIBRARY", LIBRARY)
    import quorvel
    with quorvel.Dummy() as d:
        d.formatted("Café Quorvel", quorvel.Style.DOUBLE, align="center")
        d.text("Rua das Flores 12", align="center")
        d.text("%-24s %23s" % ("2 x Espresso", "3,00"))  # 48 characters: 24 + 1 + 23
        d.text("%-30s %17s" % ("1 x Pastel de nata with extra", "1,20"))
        d.text("cinnamon")
        d.text("%-24s %23s" % ("TOTAL", "4,20"), bold=True)
        d.formatted("no sugar", quorvel.Style.UNDERLINE)
        d.text("small print", font="b", spacing=21)
        d.text("Thank you!", align="center", reverse=True)
        d.text("bold", bold=True, feed=2)
        d.barcode("4006381333931")
        d.barcode("QV-0077", kind=quorvel.Barcode.CODE128, height=50, hri=quorvel.HRI.NONE)
        d.qr("https://till.example/r/77", size=5, level="Q")
        d.pdf417("ORDER 77", columns=4)
        d.datamatrix("QV77", size=5)
        d.image(PIXELS, width=16, height=8, align="left")
        d.text("", feed=3)
        d.cut()
        d.open_drawer()
        return d.output


class Receipts(unittest.TestCase):
    def test_same_bytes_as_the_python_package(self):
        expected = python_receipt()
        printer = Silent()
        spool = Spool("--printer", "counter=tcp:%s:9100" % printer.ip)
        try:
            status, job = spool.json("POST", "/api/printers/counter/receipts", json.dumps(RECEIPT),
                                     {"Idempotency-Key": "receipt-1"})
            self.assertEqual(status, 201, job)
            self.assertEqual(spool.job(job["id"])["size"], len(expected))
            self.assertTrue(wait_for(lambda: expected in printer.received, 10),
                            "the printer did not get the Python package's bytes")
            # The same key again is the same job: nothing new is built or stored.
            status, again = spool.json("POST", "/api/printers/counter/receipts",
                                       json.dumps(RECEIPT), {"Idempotency-Key": "receipt-1"})
            self.assertEqual((status, again["id"]), (200, job["id"]))
        finally:
            spool.stop()
            printer.stop()

    def test_schema_examples_print(self):
        with open(SCHEMA) as f:
            examples = json.load(f)["examples"]
        printer = Printer()
        spool = Spool("--printer", "counter=tcp:%s:9100" % printer.ip)
        try:
            ids = []
            for doc in examples:
                status, job = spool.json("POST", "/api/printers/counter/receipts", json.dumps(doc))
                self.assertEqual(status, 201, job)
                ids.append(job["id"])
            for i in ids:
                spool.wait_state(i, "printed")
            # A receipt is listed once its files are on disk, just after it printed.
            wanted = ("Café Quorvel", "Thank you!", "KITCHEN  table 4", "no sugar")

            def printed_lines():
                lines = [line for receipt in printer.texts() for line in receipt]
                return lines if all(any(w in line for line in lines) for w in wanted) else None

            lines = wait_for(printed_lines) or [line for r in printer.texts() for line in r]
            for want in wanted:
                self.assertTrue(any(want in line for line in lines), (want, lines))
        finally:
            spool.stop()
            printer.stop()

    def test_bad_documents(self):
        spool = Spool("--printer", "counter=tcp:127.0.0.1:9,width=384")
        cases = [
            ("not json", "not JSON"),
            ("[]", "must be an object"),
            ('{"lines": []}', "lines: unknown field"),
            ('{"items": []}', "items: must be a list of 1"),
            ('{"items": [3]}', "items[0]: must be an object"),
            ('{"items": [{"bold": true}]}', "items[0]: needs one of"),
            ('{"items": [{"text": "a", "qr": "b"}]}', "items[0]: has both"),
            ('{"items": [{"text": 5}]}', "items[0].text: must be a string"),
            ('{"items": [{"text": "a", "colour": "red"}]}', "items[0].colour: unknown field"),
            ('{"items": [{"text": "a", "align": "middle"}]}', "items[0].align: must be one of"),
            ('{"items": [{"text": "a", "size": "huge"}]}', "items[0].size: must be one of"),
            ('{"items": [{"text": "a", "spacing": 33}]}', "items[0].spacing: must be one of"),
            ('{"items": [{"text": "a", "bold": "yes"}]}', "items[0].bold: must be true or false"),
            ('{"items": [{"text": "a", "bold": true, "underline": true}]}', "items[0]: one line takes"),
            ('{"items": [{"text": "a", "size": "double", "feed": 2}]}', "items[0].feed: only for"),
            ('{"items": [{"text": "Pfeil \\u2192"}]}', "U+2192"),
            ('{"items": [{"text": "ok"}, {"row": "a"}]}', "items[1].row: must be a list"),
            ('{"items": [{"row": [{"text": "a", "width": 20}, {"text": "b", "width": 20}]}]}',
             "items[0].row: the columns need more than the printer's 32 characters"),
            ('{"items": [{"row": [{"txt": "a"}]}]}', "items[0].row[0].txt: unknown field"),
            ('{"items": [{"barcode": "4006381333932"}]}', "items[0].barcode: bad barcode data"),
            ('{"items": [{"barcode": "1", "type": "EAN99"}]}', "items[0].type: must be one of"),
            ('{"items": [{"qr": "a", "size": 9}]}', "items[0].size: must be a whole number from 1 to 7"),
            ('{"items": [{"qr": ""}]}', "items[0].qr: is empty"),
            ('{"items": [{"pdf417": "a", "ecc": 9}]}', "items[0].ecc"),
            ('{"items": [{"image": "!!!"}]}', "items[0].image: is not base64"),
            ('{"items": [{"image": "aGVsbG8="}]}', "items[0].image: not a PNG"),
            ('{"items": [{"image": "%s"}]}' % base64.b64encode(png_gray(bytes(400), 400, 1)).decode(),
             "items[0].image: 400 x 1 dots: at most 384 wide"),
            ('{"items": [{"feed": 0}]}', "items[0].feed: must be a whole number from 1 to 255"),
            ('{"items": [{"cut": false}]}', "items[0].cut: must be true"),
        ]
        try:
            for body, why in cases:
                with self.subTest(body[:60]):
                    status, reply = spool.json("POST", "/api/printers/counter/receipts", body)
                    self.assertEqual(status, 400, reply)
                    self.assertIn(why, reply["error"])
            self.assertEqual(spool.json("GET", "/api/jobs")[1]["jobs"], [])  # nothing stored
            self.assertEqual(spool.json("POST", "/api/printers/nope/receipts", "{}")[0], 404)
        finally:
            spool.stop()


if __name__ == "__main__":
    unittest.main()

# SPDX-License-Identifier: MIT
"""The HTTP API of quorvel-printer with real requests: what a POS program's
test suite asserts on (text, symbols, bytes), the status switches as the
library sees them, and bad input."""

import json
import os
import socket
import struct
import time
import unittest

from support import Library, Printer

ESC, GS = b"\x1b", b"\x1d"
CUT = GS + b"V\x00"


def png_size(data):
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    return struct.unpack(">II", data[16:24])


class ApiTest(unittest.TestCase):
    def setUp(self):
        self.p = Printer(*getattr(self, "printer_args", ()))

    def tearDown(self):
        self.p.stop()

    def one_receipt(self, data):
        before = len(self.p.get_json("/api/receipts")["receipts"])
        self.p.send(data)
        receipts = self.p.wait_receipts(before + 1)
        self.assertEqual(len(receipts), before + 1)
        return receipts[0]


class TextAndSymbols(ApiTest):
    def test_text_lines_decode_the_code_table_and_carry_style_marks(self):
        # (bytes of one line, its UTF-8 text, the marks of each span)
        cases = [
            (ESC + b"t\x02caf\x82", "café", [{}]),                      # PC850
            (ESC + b"t\x10caf\xe9 \x80", "café €", [{}]),               # WPC1252
            (ESC + b"t\x13\xd5 \x9c", "€ £", [{}]),                     # PC858
            (b"a" + ESC + b"E\x01b" + ESC + b"E\x00c", "abc", [{}, {"bold": True}, {}]),
            (ESC + b"!\x30big", "big", [{"width": 2, "height": 2}]),
            (GS + b"!\x21wide", "wide", [{"width": 3, "height": 2}]),
            (ESC + b"-\x02u", "u", [{"underline": 2}]),
            (GS + b"B\x01rev", "rev", [{"reverse": True}]),
            (ESC + b"M\x01small", "small", [{"font": "B"}]),
        ]
        data = b"".join(ESC + b"@" + line + b"\n" for line, _, _ in cases) + CUT
        r = self.one_receipt(data)
        lines = self.p.get_json(r["text"])["lines"]
        self.assertEqual([l["text"] for l in lines], [c[1] for c in cases])
        for line, (_, _, marks) in zip(lines, cases):
            with self.subTest(line=line["text"]):
                self.assertEqual([{k: v for k, v in s.items() if k != "text"} for s in line["spans"]],
                                 marks)
        ys = [l["y"] for l in lines]
        self.assertEqual(ys, sorted(ys))
        self.assertEqual(len(set(ys)), len(ys))

    def test_layout_marks(self):
        long = b"x" * 60  # font A holds 48 characters in 576 dots
        data = (ESC + b"a\x01centre\n" + ESC + b"a\x02right\n" + ESC + b"a\x00" +
                ESC + b"{\x01turned\n" + ESC + b"{\x00" + long + b"\n" + CUT)
        lines = self.p.get_json(self.one_receipt(data)["text"])["lines"]
        self.assertEqual([(l["text"], l["align"], l.get("upside_down", False)) for l in lines],
                         [("centre", "center", False), ("right", "right", False),
                          ("turned", "left", True), ("x" * 48, "left", False),
                          ("x" * 12, "left", False)])

    def test_symbols_give_type_encoded_data_and_position(self):
        qr = b"https://example.test/r/1"
        n = len(qr) + 3
        data = (ESC + b"a\x01" + GS + b"k\x02789123456789\x00" +          # EAN-13, check digit added
                GS + b"k\x49\x0b{BABC-12345" +                           # Code 128, code set B
                GS + b"(k" + bytes([n & 255, n >> 8]) + b"1P0" + qr +    # QR Code store
                GS + b"(k\x03\x001Q0" +                                   # and print
                CUT)
        r = self.one_receipt(data)
        symbols = self.p.get_json(r["symbols_url"])["symbols"]
        self.assertEqual([(s["type"], s["data"]) for s in symbols],
                         [("JAN13 (EAN-13)", "7891234567895"), ("CODE128", "ABC-12345"),
                          ("QR Code", qr.decode())])
        for s in symbols:
            # Centred on the 576-dot print area, one under the other.
            self.assertLessEqual(abs(s["x"] * 2 + s["width"] - 576), 1, s)
        self.assertLessEqual(symbols[0]["y"] + symbols[0]["height"], symbols[1]["y"])
        self.assertLessEqual(symbols[1]["y"] + symbols[1]["height"], symbols[2]["y"])
        self.assertEqual(symbols[2]["hex"], qr.hex().upper())

    def test_library_host_receipt(self):
        lib = Library()
        self.assertEqual(lib.AbreSocket(self.p.ip.encode(), 0), 1)
        lib.ImprimeTexto("CAFÉ DO JOÃO".encode("cp1252"), 0, 0, 0, 1)
        lib.ImprimeCodigoBarras(1, 2, 80, 2, 0, b"789123456789")
        lib.AcionaGuilhotina()
        lib.FechaSocket()
        r = self.p.wait_receipts(1)[0]
        self.assertEqual(r["link"], "tcp")
        self.assertRegex(r["peer"], r"^127\.\d+\.\d+\.\d+:\d+$")
        lines = self.p.get_json(r["text"])["lines"]
        self.assertEqual(lines[0]["spans"], [{"text": "CAFÉ DO JOÃO", "bold": True}])
        self.assertEqual([s["data"] for s in self.p.get_json(r["symbols_url"])["symbols"]],
                         ["7891234567895"])


class TextFromPositions(ApiTest):
    """/text says what the paper shows: pieces by position, gaps as spaces."""
    printer_args = ("--max-height", "2000")

    def test_table_rows_read_as_printed(self):
        def at(col):  # ESC $ to a font A column
            return ESC + b"$" + bytes([col * 12 & 255, col * 12 >> 8])
        rule = b"\xb3"  # PC850 box drawing │
        cases = [
            # ESC $ then ESC \ leave a gap, read as spaces at 12 dots a column.
            (b"x2" + ESC + b"$\x20\x01" + ESC + b"\\\xf0\x00" + b"7,00", "x2" + " " * 42 + "7,00"),
            # The rules of the row drawn first, the text written after ESC $ back to the left.
            (rule + at(13) + rule + at(16) + rule + at(22) + rule +
             at(1) + "Pão francês".encode("cp850") + at(15) + b"2" + at(18) + b"1,50",
             "│Pão francês │ 2│ 1,50│"),
            (b"a\tb\tc", "a" + " " * 7 + "b" + " " * 7 + "c"),          # HT to the default stops
            (at(40) + b"right", " " * 40 + "right"),                   # a line that starts moved
            (b"ABC" + ESC + b"\\\xe8\xffX", "AXC"),                     # text over text: X replaces B
        ]
        data = ESC + b"t\x02" + b"".join(line + b"\n" for line, _ in cases) + CUT
        lines = self.p.get_json(self.one_receipt(data)["text"])["lines"]
        self.assertEqual([l["text"] for l in lines], [c[1] for c in cases])

    def test_lines_past_the_height_cap_are_left_out(self):
        data = b"".join(b"line %d\n" % i for i in range(100)) + CUT
        r = self.one_receipt(data)
        lines = self.p.get_json(r["text"])["lines"]
        # 30-dot lines of 24-dot glyphs: 66 fit in 2000 dots; the rest is not on the paper.
        self.assertEqual([l["text"] for l in lines], ["line %d" % i for i in range(66)])
        self.assertLessEqual(lines[-1]["y"] + 24, 2000)

    def test_symbol_data_is_what_a_scanner_reads(self):
        gs1 = b"010950110153000317250101" + b"10LOT7{121S1"
        data = (GS + b"H\x02" + GS + b"k\x04QV39\x00" + GS + b"k\x45\x06*AB12*" +
                GS + b"w\x01" + GS + b"kJ" + bytes([len(gs1)]) + gs1 + GS + b"H\x00" + GS + b"k\x49\x05{BQ-1" + CUT)
        symbols = self.p.get_json(self.one_receipt(data)["symbols_url"])["symbols"]
        self.assertEqual([(s["type"], s["data"], s.get("hri")) for s in symbols], [
            ("CODE39", "QV39", "*QV39*"),
            ("CODE39", "AB12", "*AB12*"),
            ("GS1-128", "0109501101530003172501011" + "0LOT7\x1d21S1",
             "(01)09501101530003(17)250101(10)LOT7(21)S1"),
            ("CODE128", "Q-1", None),  # no human-readable text printed (GS H 0)
        ])


class StreamEnd(ApiTest):
    printer_args = ("--flush-after", "0.2")

    def test_each_receipt_holds_exactly_its_bytes_up_to_its_cut(self):
        pieces = [b"one\n" + CUT, b"two\n" + GS + b"VA\x03", b"three\n" + ESC + b"i",
                  b"four, not cut\n"]
        self.p.send(b"".join(pieces))
        receipts = self.p.wait_receipts(4)
        self.assertEqual([r["cut"] for r in reversed(receipts)], [True, True, True, False])
        for r, piece in zip(reversed(receipts), pieces):
            status, headers, body = self.p.request("GET", r["bin"])
            self.assertEqual((status, body, r["bytes"]), (200, piece, len(piece)))
            status, headers, png = self.p.request("GET", r["png"])
            self.assertEqual((status, headers["Content-Type"]), (200, "image/png"))
            self.assertEqual(png_size(png), (r["width"], r["height"]))
            with open(os.path.join(self.p.out, r["file"]), "rb") as f:
                self.assertEqual(f.read(), png)


class DiskLimit(ApiTest):
    printer_args = ("--max-images", "3", "--http-keep", "1")

    def test_companion_files_go_with_the_images_past_the_limit(self):
        self.p.send(b"".join(b"receipt %d\n" % i + CUT for i in range(1, 6)))
        self.assertEqual(len(self.p.wait_receipts(5)), 5)
        deadline = time.time() + 5
        # Each receipt's details are written beside its image at its cut, and
        # go with it.
        expected = ["receipt-0003.bin", "receipt-0003.json", "receipt-0003.png",
                    "receipt-0004.bin", "receipt-0004.json", "receipt-0004.png",
                    "receipt-0005.bin", "receipt-0005.json", "receipt-0005.png"]
        while True:
            files = sorted(os.listdir(self.p.out))
            if files == expected or time.time() > deadline:
                break
            time.sleep(0.02)
        self.assertEqual(files, expected)
        # A receipt whose files are gone is refused, not an error.
        for path in ("/api/receipts/1.png", "/api/receipts/1.bin", "/api/receipts/1/text"):
            self.assertEqual(self.p.request("GET", path)[0], 404, path)
        self.assertEqual(self.p.get_json("/api/receipts/3/text")["lines"][0]["text"], "receipt 3")


class Restart(ApiTest):
    def test_receipts_outlive_a_kill_and_numbering_goes_on(self):
        # (options of the second run, receipts it lists)
        for options, listed in (((), [3, 2, 1]), (("--fresh-list",), [])):
            with self.subTest(options=options):
                self.p.stop()
                self.p = Printer()
                for i in range(1, 4):
                    self.one_receipt(b"receipt %d\n" % i + CUT)
                self.p.kill()  # no chance to write anything more
                # A run killed while writing leaves only hidden temporaries.
                torn = [".receipt-0004.png.tmp", ".receipt-0004.json.tmp", ".receipt-0004.bin.tmp"]
                for name in torn:
                    with open(os.path.join(self.p.out, name), "wb") as f:
                        f.write(b'{"receipt": {"id": 4')
                self.p = Printer(*options, ip=self.p.ip, folder=self.p.dir)
                ids = [r["id"] for r in self.p.get_json("/api/receipts")["receipts"]]
                self.assertEqual(ids, listed)
                for i in listed:
                    self.assertEqual(self.p.get_json("/api/receipts/%d/text" % i)["lines"][0]["text"],
                                     "receipt %d" % i)
                    self.assertEqual(self.p.request("GET", "/api/receipts/%d.bin" % i)[2],
                                     b"receipt %d\n" % i + CUT)
                    self.assertEqual(self.p.request("GET", "/api/receipts/%d.png" % i)[0], 200)
                self.assertFalse(set(torn) & set(os.listdir(self.p.out)))
                r = self.one_receipt(b"after the restart\n" + CUT)
                self.assertEqual((r["id"], r["file"]), (4, "receipt-0004.png"))
                self.assertEqual(self.p.get_json(r["text"])["lines"][0]["text"], "after the restart")


class BytesImagesAndPaper(ApiTest):
    printer_args = ("--http-keep", "2")

    def test_paper_left_uncut_by_one_host_and_cut_by_the_next_is_one_receipt(self):
        first, second = b"from host one\n", b"from host two\n" + CUT
        self.p.send(first)
        self.p.send(second)
        r = self.p.wait_receipts(1)[0]
        self.assertEqual(self.p.request("GET", r["bin"])[2], first + second)
        self.assertEqual([l["text"] for l in self.p.get_json(r["text"])["lines"]],
                         ["from host one", "from host two"])

    def test_older_receipts_leave_memory_but_are_read_back_from_disk(self):
        self.p.send(b"".join(b"receipt %d\n" % i + CUT for i in range(1, 6)))
        receipts = self.p.wait_receipts(5)
        deadline = time.time() + 5  # once their files are written
        while self.p.get_json("/api/receipts")["in_memory"] > 2 and time.time() < deadline:
            time.sleep(0.02)
        self.assertEqual(self.p.get_json("/api/receipts")["in_memory"], 2)
        self.assertEqual([r["id"] for r in receipts], [5, 4, 3, 2, 1])
        self.assertEqual([r["id"] for r in self.p.get_json("/api/receipts?limit=2")["receipts"]],
                         [5, 4])
        for r in receipts:
            with self.subTest(id=r["id"]):
                text = self.p.get_json(r["text"])["lines"]
                self.assertEqual(text[0]["text"], "receipt %d" % r["id"])
                self.assertEqual(self.p.request("GET", r["bin"])[2], b"receipt %d\n" % r["id"] + CUT)
                journal = self.p.get_json(r["journal"])["lines"]
                self.assertTrue(any("GS V 0" in l for l in journal), journal)
        # Clearing empties the list; the files stay.
        status, _, body = self.p.request("DELETE", "/api/receipts")
        self.assertEqual((status, json.loads(body)), (200, {"cleared": 5}))
        self.assertEqual(self.p.get_json("/api/receipts")["receipts"], [])
        self.assertEqual(self.p.request("GET", "/api/receipts/1/text")[0], 404)
        self.assertEqual(len([f for f in os.listdir(self.p.out) if f.endswith(".png")]), 5)

    def test_uncut_paper_grows_and_goes_with_the_cut(self):
        conn = self.p.send(b"first line\n", keep_open=True)
        heights = []
        for more in (b"", b"second\nthird\n"):
            conn.sendall(more)
            deadline = time.time() + 5
            while time.time() < deadline:
                status, _, png = self.p.request("GET", "/api/paper.png")
                if status == 200 and (not heights or png_size(png)[1] > heights[-1]):
                    break
                time.sleep(0.02)
            self.assertEqual(status, 200)
            heights.append(png_size(png)[1])
        self.assertEqual(heights[1] - heights[0], 2 * 30)  # two lines at the default spacing
        conn.sendall(CUT)
        r = self.p.wait_receipts(1)[0]
        conn.close()
        self.assertEqual(self.p.request("GET", "/api/paper.png")[0], 404)
        self.assertEqual(r["height"], heights[1])


class StatusSwitches(ApiTest):
    def test_the_library_sees_each_switch_at_its_next_query(self):
        lib = Library()
        # (switches, model, Le_Status, Le_Status_Gaveta)
        cases = [
            ({}, 0, 32, 1),
            ({"paper": "out"}, 0, 5, 1),
            ({"paper": "near_end"}, 0, 32, 1),
            ({"cover": "open"}, 1, 5, 1),
            ({"online": False}, 3, 5, 1),
            ({"drawer": "open"}, 0, 24, 2),
            ({"drawer": "open", "paper": "out"}, 1, 9, 2),
            ({"paper": "out"}, 2, 0, 1),   # ESC v answers 0F, which model 2 does not list
            ({}, 2, 24, 1),
        ]
        base = {"paper": "ok", "cover": "closed", "drawer": "closed", "online": True,
                "never_answer": False}
        for switches, model, status, drawer in cases:
            with self.subTest(switches=switches, model=model):
                self.p.put_status(**{**base, **switches})
                self.assertEqual(lib.AbreSocket(self.p.ip.encode(), model), 1)
                try:
                    self.assertEqual(lib.Le_Status(), status)
                    self.assertEqual(lib.Le_Status_Gaveta(), drawer)
                finally:
                    lib.FechaSocket()

    def test_status_reads_back_and_never_answer_silences_replies(self):
        s = self.p.put_status(paper="out", never_answer=True)
        self.assertEqual((s["paper"], s["never_answer"], s["reports_offline"]), ("out", True, True))
        self.assertEqual(self.p.get_json("/api/status"), s)
        conn = self.p.send(b"\x10\x04\x01", keep_open=True)
        conn.settimeout(0.3)
        with self.assertRaises(socket.timeout):
            conn.recv(1)
        self.p.put_status(never_answer=False)  # the same connection answers now
        conn.settimeout(5)
        conn.sendall(b"\x10\x04\x01")
        self.assertEqual(conn.recv(1), b"\x1a")
        conn.close()


class BadInput(ApiTest):
    def raw(self, data, read=True):
        s = socket.create_connection((self.p.host, self.p.port), timeout=5)
        s.sendall(data)
        out = b""
        while read:
            chunk = s.recv(65536)
            if not chunk:
                break
            out += chunk
        s.close()
        return out

    def test_refusals_are_the_right_4xx_with_a_short_json_error(self):
        j = {"Content-Type": "application/json"}
        # (method, path, body, headers, status)
        cases = [
            ("GET", "/nothing", None, {}, 404),
            ("GET", "/api/receipts/1.png", None, {}, 404),        # no such receipt yet
            ("GET", "/api/receipts/abc/text", None, {}, 404),
            ("GET", "/api/receipts/12345678901.png", None, {}, 404),
            ("GET", "/api/receipts/../../etc/passwd", None, {}, 404),
            ("GET", "/api/receipts/%2e%2e%2f%2e%2e%2fjournal.txt", None, {}, 404),
            ("GET", "/api/receipts/1.png/../../../journal.txt", None, {}, 404),
            ("GET", "/receipt-0001.png", None, {}, 404),
            ("GET", "/api/receipts?limit=-1", None, {}, 400),
            ("GET", "/api/receipts?limit=ten", None, {}, 400),
            ("POST", "/api/receipts", b"{}", j, 405),
            ("PUT", "/api/receipts/1/text", b"{}", j, 405),
            ("DELETE", "/api/status", None, {}, 405),
            ("PUT", "/api/status", b"not json", j, 400),
            ("PUT", "/api/status", b"[1,2]", j, 400),
            ("PUT", "/api/status", b"{}", j, 400),
            ("PUT", "/api/status", b'{"paper":"empty"}', j, 400),
            ("PUT", "/api/status", b'{"online":"yes"}', j, 400),
            ("PUT", "/api/status", b'{"smoke":true}', j, 400),
            ("PUT", "/api/status", b'{"paper":"ok"' + b" " * 20000 + b"}", j, 413),
            ("GET", "/" + "a" * 9000, None, {}, 414),
        ]
        for method, path, body, headers, status in cases:
            with self.subTest(method=method, path=path[:40]):
                got, h, data = self.p.request(method, path, body, headers)
                self.assertEqual(got, status, data)
                self.assertEqual(h.get("Content-Type"), "application/json")
                err = json.loads(data)
                self.assertEqual(list(err), ["error"])
                self.assertLess(len(data), 200)
                if status == 405:
                    self.assertIn("GET", h["Allow"])
        # Broken requests on the wire.
        for raw in (b"GARBAGE\r\n\r\n", b"GET /api/status HTTP/9.9\r\n\r\n",
                    b"GET / HTTP/1.1\r\n" + b"X: " + b"y" * 10000 + b"\r\n\r\n"):
            with self.subTest(raw=raw[:30]):
                reply = self.raw(raw)
                self.assertRegex(reply, rb"^HTTP/1\.1 4\d\d ")
        # A failed PUT changed nothing, and the printer kept printing throughout.
        self.assertEqual(self.p.get_json("/api/status")["paper"], "ok")
        self.assertEqual(self.one_receipt(b"still printing\n" + CUT)["id"], 1)
        self.assertTrue(self.p.alive())

    def test_on_loopback_only_requests_addressed_to_a_loopback_name_are_served(self):
        # A browser sends the site's own name: a page whose name its DNS points
        # at 127.0.0.1 after loading must not reach the API.
        port = self.p.port
        cases = [
            ("127.0.0.1:%d" % port, 200),
            ("%s:%d" % (self.p.host, port), 200),
            ("localhost:%d" % port, 200),
            ("LocalHost", 200),
            ("[::1]:%d" % port, 200),
            ("evil.example:%d" % port, 403),
            ("127.0.0.1.evil.example", 403),
            ("127.evil.example:%d" % port, 403),
            ("localhost.evil.example", 403),
            ("[::2]:%d" % port, 403),
            ("10.0.0.1:%d" % port, 403),
        ]
        for host, status in cases:
            with self.subTest(host=host):
                got, h, data = self.p.request("GET", "/api/status", headers={"Host": host})
                self.assertEqual(got, status, data)
                if status == 403:
                    self.assertEqual(list(json.loads(data)), ["error"])
        # A refused switch changes nothing.
        got, _, _ = self.p.request("PUT", "/api/status", b'{"paper":"out"}',
                                   {"Content-Type": "application/json", "Host": "evil.example"})
        self.assertEqual(got, 403)
        self.assertEqual(self.p.get_json("/api/status")["paper"], "ok")

    def test_event_streams_are_bounded_and_a_vanished_page_costs_nothing(self):
        def stream():
            s = socket.create_connection((self.p.host, self.p.port), timeout=5)
            s.sendall(b"GET /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
            head = b""
            while b"event: hello" not in head:
                chunk = s.recv(4096)
                if not chunk:
                    break
                head += chunk
            return s, head

        def ok(head):
            return b" 200 " in head.split(b"\r\n")[0]

        def vanish(s):
            s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            s.close()

        for round_ in range(2):
            # The second round takes the places the first one's pages left
            # behind: they come free within a second.
            streams = [stream() for _ in range(16)]
            self.assertTrue(all(ok(h) for _, h in streams), "event stream places stayed taken")
            extra, head = stream()
            self.assertIn(b" 503 ", head.split(b"\r\n")[0])
            extra.close()
            # Every open stream hears of a receipt.
            self.p.send(b"round %d\n" % round_ + CUT)
            for s, _ in streams:
                got = b""
                while b"event: receipt" not in got:
                    got += s.recv(4096)
            # Pages vanish mid-stream, without a word.
            for s, _ in streams:
                vanish(s)
            time.sleep(1)
        self.assertEqual(len(self.p.get_json("/api/receipts")["receipts"]), 2)


if __name__ == "__main__":
    unittest.main()

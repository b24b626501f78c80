# SPDX-License-Identifier: MIT
"""The printer as a machine, over real TCP and a pseudo-terminal: printing
takes its length over the speed and GS ( H answers then; paper out (the
switch, or the roll running out) stops printing with the data kept and the
host's writes blocked once the buffer is full, then the receipt whole and
once; a power cut; the cover; a jammed cutter with DLE ENQ 1 and 2; DLE DC4
fn 8; a shop where one printer is held and one off while another prints;
and at --speed 0 the same PNG files as before the mechanism."""

import hashlib
import http.client
import json
import os
import socket
import subprocess
import struct
import tempfile
import threading
import time
import tty
import unittest

from support import PRINTER, Printer, loopback_address

HERE = os.path.dirname(os.path.abspath(__file__))
CUT = b"\x1dV\x00"
DLE_EOT = lambda n: b"\x10\x04" + bytes([n])  # noqa: E731
GS_R1 = b"\x1dr\x01"
ENQ1, ENQ2 = b"\x10\x05\x01", b"\x10\x05\x02"
CLEAR = b"\x10\x14\x08\x01\x03\x14\x01\x06\x02\x08"
MARK_LOADED = "-- paper loaded here --"
MARK_POWER = "-- power lost --"


def gs_h(ident):
    """GS ( H fn 48: answer 37 22 ID 00 once the data before it has printed."""
    return b"\x1d(H\x06\x0000" + ident


def answer(ident):
    return b"\x37\x22" + ident + b"\x00"


def lines(tag, first, last, pad=0):
    """Text lines 'TAG 0001' ...; with `pad`, a user setup command of that
    many bytes (ignored, no paper) in each."""
    filler = b"\x1d(E" + struct.pack("<H", pad) + bytes(pad) if pad else b""
    return b"".join(b"%s %04d" % (tag, i) + filler + b"\n" for i in range(first, last + 1))


def names(tag, first, last):
    return ["%s %04d" % (tag.decode(), i) for i in range(first, last + 1)]


def wait_until(what, timeout=10, step=0.01):
    deadline = time.monotonic() + timeout
    while True:
        got = what()
        if got or time.monotonic() > deadline:
            return got
        time.sleep(step)


class Host:
    """A host on the printer's TCP port that reads every reply on a thread,
    with the time each arrived."""

    def __init__(self, ip, sndbuf=None):
        self.s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        if sndbuf:
            self.s.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, sndbuf)
        self.s.connect((ip, 9100))
        self.got, self.ended = [], None
        self.lock = threading.Lock()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        while True:
            try:
                b = self.s.recv(4096)
            except OSError as e:
                self.ended = e
                return
            if not b:
                self.ended = "end of data"
                return
            with self.lock:
                self.got.append((time.monotonic(), b))

    def replies(self):
        with self.lock:
            return b"".join(b for _, b in self.got)

    def wait_for(self, pattern, timeout=10):
        """The time the reply holding `pattern` was complete, or None."""
        def seen():
            with self.lock:
                data = b""
                for t, b in self.got:
                    data += b
                    if pattern in data:
                        return t
            return None
        return wait_until(seen, timeout)

    def close(self):
        # The reading thread holds the socket: shut it down so the FIN goes.
        try:
            self.s.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.s.close()


class MachinePrinter(Printer):
    def status(self):
        return self.get_json("/api/status")

    def wait_state(self, state, timeout=10):
        return wait_until(lambda: self.status()["state"] == state, timeout)

    def text(self, n):
        # A receipt is listed once its files are on disk, just after its cut
        # (and its process ID answer): wait for it to be listed.
        self.wait_receipts(n)
        return [l["text"] for l in self.get_json("/api/receipts/%d/text" % n)["lines"]]

    def journal(self):
        with open(os.path.join(self.dir, "journal.txt")) as f:
            return f.read()


class MachineTest(unittest.TestCase):
    def printer(self, *options):
        p = MachinePrinter(*options)
        self.addCleanup(p.stop)
        return p

    def host(self, p, **kw):
        h = Host(p.ip, **kw)
        self.addCleanup(h.close)
        return h


class PrintingTakesTime(MachineTest):
    def test_a_receipt_takes_its_length_over_the_speed_and_gs_h_comes_then(self):
        # 60 lines of 30 dots at 250 mm/s (2000 dots/s): 0.9 s.
        p = self.printer("--speed", "250")
        h = self.host(p)
        t0 = time.monotonic()
        h.s.sendall(lines(b"LINE", 1, 60) + GS_R1 + gs_h(b"0001") + DLE_EOT(1) + CUT)
        # DLE EOT is answered on arrival, ahead of the queued lines.
        first = h.wait_for(b"\x12", 1)
        self.assertIsNotNone(first)
        self.assertLess(first - t0, 0.2)
        st = p.status()
        self.assertEqual(st["state"], "printing")
        self.assertGreater(st["buffer"]["used"], 0)
        self.assertEqual(st["buffer"]["size"], 4096)
        done = h.wait_for(answer(b"0001"), 5)
        self.assertIsNotNone(done)
        self.assertAlmostEqual(done - t0, 0.9, delta=0.09)
        # GS r in its place in the stream, before the ID; nothing else.
        self.assertEqual(h.replies(), b"\x12\x00" + answer(b"0001"))
        self.assertTrue(p.wait_state("idle", 2))
        self.assertEqual(p.text(1), names(b"LINE", 1, 60))

    def test_gs_h_with_nothing_to_print_before_it_answers_at_once_and_only_the_latest(self):
        p = self.printer("--speed", "250")
        h = self.host(p)
        t0 = time.monotonic()
        h.s.sendall(gs_h(b"0001"))
        self.assertLess(h.wait_for(answer(b"0001"), 2) - t0, 0.1)
        # Two IDs due at the same moment (after a feed): only the later is sent.
        h.s.sendall(lines(b"A", 1, 4) + b"\x1bJ\x40" + gs_h(b"0002") + gs_h(b"0003") + CUT)
        self.assertIsNotNone(h.wait_for(answer(b"0003"), 3))
        time.sleep(0.1)
        self.assertEqual(h.replies(), answer(b"0001") + answer(b"0003"))

    def test_a_model_without_gs_h_journals_it_as_ignored(self):
        profile = os.path.join(tempfile.mkdtemp(prefix="qvp-profile-"), "old.json")
        with open(profile, "w") as f:
            json.dump({"name": "old-80", "paper_mm": 80, "dots": 576,
                       "process_id_response": False}, f)
        p = self.printer("--profile", profile)
        h = self.host(p)
        h.s.sendall(b"X\n" + gs_h(b"0001") + DLE_EOT(1))
        self.assertIsNotNone(h.wait_for(b"\x12", 2))
        time.sleep(0.2)
        self.assertEqual(h.replies(), b"\x12")
        self.assertIn("process ID response: not on this model", p.journal())


class PaperOut(MachineTest):
    def check_whole_with_mark(self, p, n, tag, last, *, marks=1):
        text = p.text(n)
        self.assertEqual([t for t in text if t != MARK_LOADED], names(tag, 1, last),
                         "every line once, in order")
        self.assertEqual(text.count(MARK_LOADED), marks)
        return text

    def test_the_host_blocks_once_the_buffer_is_full_and_the_receipt_is_whole_after(self):
        for serial in (False, True):
            with self.subTest(link="serial" if serial else "tcp"):
                self.blocking_case(serial)

    def blocking_case(self, serial):
        extra = ("--serial-link", os.path.join(tempfile.mkdtemp(), "tty")) if serial else ()
        p = self.printer("--receive-buffer", "4096", *extra)
        if serial:
            fd = os.open(extra[1], os.O_RDWR | os.O_NOCTTY)
            tty.setraw(fd)
            self.addCleanup(os.close, fd)
            write = lambda b: os.write(fd, b)  # noqa: E731
        else:
            h = self.host(p, sndbuf=4096)
            fd = h.s.fileno()
            write = h.s.send
        os.set_blocking(fd, True)
        os.write(fd, lines(b"LINE", 1, 10)) if serial else h.s.sendall(lines(b"LINE", 1, 10))
        wait_until(lambda: "LINE 0010" in p.journal(), 3)
        p.put_status(paper="out")
        # Lines of 2 KB each (30 dots of paper): 500 lines is 1 MB, more than
        # the buffer and the kernel's socket buffers together.
        rest = lines(b"LINE", 11, 510, pad=2000)
        os.set_blocking(fd, False)
        sent = 0
        deadline = time.monotonic() + 1
        while sent < len(rest) and time.monotonic() < deadline:
            try:
                sent += write(rest[sent:sent + 4096])
            except BlockingIOError:
                time.sleep(0.05)
        self.assertLess(sent, len(rest), "the host's writes block")
        st = p.status()
        self.assertEqual((st["state"], st["held_because"]), ("held", "paper out"))
        # Full: at --speed 0 the TCP link reads what is waiting in one go (a
        # host that closes without reading its replies loses nothing), so on a
        # busy machine the buffer can hold one read past its size.
        self.assertGreaterEqual(st["buffer"]["used"], 4096)
        time.sleep(0.3)
        self.assertEqual(p.get_json("/api/receipts")["receipts"], [])
        p.put_status(paper="ok")
        os.set_blocking(fd, True)
        tail = rest[sent:] + CUT
        while tail:
            tail = tail[os.write(fd, tail):] if serial else (h.s.sendall(tail) or b"")
        self.assertTrue(p.wait_receipts(1))
        text = self.check_whole_with_mark(p, 1, b"LINE", 510)
        self.assertEqual(text.index(MARK_LOADED), 10, "the mark where printing stopped")

    def test_paper_out_mid_receipt_at_speed_and_gs_h_only_after_paper_is_back(self):
        p = self.printer("--speed", "250")
        h = self.host(p)
        h.s.sendall(lines(b"LINE", 1, 40) + gs_h(b"0001") + CUT)
        time.sleep(0.2)  # about 13 lines printed
        p.put_status(paper="out")
        st = p.status()
        self.assertEqual((st["state"], st["held_because"]), ("held", "paper out"))
        time.sleep(0.5)
        self.assertEqual(h.replies(), b"")
        p.put_status(paper="ok")
        self.assertIsNotNone(h.wait_for(answer(b"0001"), 3))
        self.assertTrue(p.wait_receipts(1))
        text = self.check_whole_with_mark(p, 1, b"LINE", 40)
        self.assertTrue(5 < text.index(MARK_LOADED) < 25, text)

    def test_print_while_out_prints_on_and_only_the_replies_tell(self):
        p = self.printer("--print-while-out", "--speed", "250", "--paper", "out")
        h = self.host(p)
        h.s.sendall(lines(b"LINE", 1, 5) + DLE_EOT(4) + gs_h(b"0001") + CUT)
        self.assertIsNotNone(h.wait_for(answer(b"0001"), 2))
        self.assertEqual(h.replies()[:1], b"\x7e", "DLE EOT 4: paper end")
        self.assertTrue(p.wait_receipts(1))
        self.assertEqual(p.text(1), names(b"LINE", 1, 5))
        st = p.status()
        self.assertEqual((st["state"], st["paper"]), ("idle", "out"))

    def test_a_roll_runs_out_mid_receipt(self):
        # 60 mm of roll is 480 dots: the 16th line of 30 dots ends it.
        for speed in ("0", "250"):
            with self.subTest(speed=speed):
                p = self.printer("--paper-roll", "60", "--speed", speed)
                h = self.host(p)
                self.assertEqual(p.status()["paper_left_mm"], 60)
                h.s.sendall(lines(b"LINE", 1, 25) + gs_h(b"0001") + CUT)
                self.assertTrue(wait_until(lambda: p.status()["state"] == "held", 3))
                st = p.status()
                self.assertEqual((st["held_because"], st["paper"], st["paper_left_mm"]),
                                 ("paper roll ran out", "out", 0))
                h.s.sendall(DLE_EOT(4))
                self.assertIsNotNone(h.wait_for(b"\x7e", 2), "DLE EOT 4: paper end")
                time.sleep(0.2)
                self.assertNotIn(b"\x37\x22", h.replies())
                p.put_status(paper="ok")
                self.assertIsNotNone(h.wait_for(answer(b"0001"), 3))
                self.assertTrue(p.wait_receipts(1))
                text = self.check_whole_with_mark(p, 1, b"LINE", 25)
                self.assertEqual(text.index(MARK_LOADED), 16)
                # The new roll has given the last 9 lines and the mark.
                self.assertAlmostEqual(p.status()["paper_left_mm"], 60 - (9 * 30 + 32) / 8,
                                       delta=1)


class PowerCut(MachineTest):
    def test_power_off_resets_loses_the_buffers_and_the_printer_starts_afresh(self):
        p = self.printer("--speed", "100")
        # An NV image (FS q: one 8x8 black image), kept over the power cut.
        nv = self.host(p)
        nv.s.sendall(b"\x1cq\x01\x01\x00\x01\x00" + b"\xff" * 8 + gs_h(b"0000"))
        self.assertIsNotNone(nv.wait_for(answer(b"0000"), 2))
        nv.close()
        h = self.host(p)
        h.s.sendall(b"\x1ba\x01\x1bE\x01" + lines(b"LINE", 1, 40) + gs_h(b"0009") + CUT)
        time.sleep(0.4)  # 40 lines take 1.5 s at 100 mm/s
        st = p.put_status(power="off")
        self.assertEqual((st["state"], st["power"]), ("off", "off"))
        self.assertTrue(wait_until(lambda: h.ended is not None, 2), "the connection is reset")
        self.assertNotIn(b"\x37\x22", h.replies())
        with self.assertRaises(ConnectionRefusedError):
            socket.create_connection((p.ip, 9100), timeout=2)
        self.assertTrue(p.wait_receipts(1))
        text = p.text(1)
        self.assertEqual(text[-1], MARK_POWER)
        self.assertEqual(text[:-1], names(b"LINE", 1, len(text) - 1))
        self.assertLess(len(text) - 1, 30)
        self.assertIn("power off", p.journal())
        st = p.put_status(power="on")
        self.assertEqual(st["state"], "idle")
        h2 = self.host(p)
        h2.s.sendall(b"FRESH\n\x1cp\x01\x00" + gs_h(b"0010") + CUT)
        self.assertIsNotNone(h2.wait_for(answer(b"0010"), 3))
        self.assertTrue(p.wait_receipts(2))
        line = p.get_json("/api/receipts/2/text")["lines"][0]
        self.assertEqual((line["text"], line["align"]), ("FRESH", "left"), "default modes")
        self.assertNotIn("bold", line["spans"][0])
        self.assertGreaterEqual(p.get_json("/api/receipts/2")["height"],
                                p.get_json("/api/receipts")["receipts"][0]["height"] * 0 + 30 + 8)
        self.assertNotIn("not defined", p.journal().split("power on")[-1])


class CoverCutterAndClearing(MachineTest):
    def test_cover_open_stops_and_automatic_status_back_reports_it(self):
        p = self.printer("--speed", "250")
        events = self.events(p)
        h = self.host(p)
        h.s.sendall(b"\x1da\x0f")  # automatic status back: all
        self.assertIsNotNone(h.wait_for(b"\x10\x00\x00\x00", 2))
        h.s.sendall(lines(b"LINE", 1, 40) + gs_h(b"0001") + CUT)
        time.sleep(0.15)
        t0 = time.monotonic()
        p.put_status(cover="open")
        group = h.wait_for(b"\x38\x40\x00\x00", 1)  # offline, cover open; auto-recoverable
        self.assertIsNotNone(group, h.replies().hex())
        self.assertLess(group - t0, 0.3)
        h.s.sendall(DLE_EOT(3))
        self.assertIsNotNone(h.wait_for(b"\x52", 1), "DLE EOT 3 bit 6: auto-recoverable")
        self.assertEqual(p.status()["held_because"], "cover open")
        time.sleep(0.5)
        self.assertNotIn(b"\x37\x22", h.replies())
        p.put_status(cover="closed")
        self.assertIsNotNone(h.wait_for(answer(b"0001"), 3))
        self.assertTrue(p.wait_receipts(1))
        self.assertEqual(p.text(1), names(b"LINE", 1, 40), "no mark: the paper did not change")
        states = [e["state"] for e in events.read_until(lambda e: e["state"] == "idle")]
        self.assertEqual([s for i, s in enumerate(states) if i == 0 or states[i - 1] != s][-3:],
                         ["held", "printing", "idle"])

    def test_a_jammed_cutter_waits_for_dle_enq(self):
        # (recovery, lines of the first receipt printed)
        for enq in (ENQ1, ENQ2):
            with self.subTest(enq=enq.hex()):
                p = self.printer("--speed", "250")
                p.put_status(cutter="jammed")
                h = self.host(p)
                h.s.sendall(lines(b"A", 1, 10) + gs_h(b"000A") + DLE_EOT(3))
                self.assertIsNotNone(h.wait_for(b"\x1e", 1), "recoverable, autocutter error")
                st = p.status()
                self.assertEqual((st["state"], st["held_because"]), ("held", "cutter jammed"))
                # A real-time query split over two writes, behind the queued lines.
                h.s.sendall(DLE_EOT(2)[:2])
                time.sleep(0.1)
                h.s.sendall(DLE_EOT(2)[2:])
                self.assertIsNotNone(h.wait_for(b"\x1e\x52", 1), "DLE EOT 2: error")
                time.sleep(0.2)
                self.assertNotIn(b"\x37\x22", h.replies())
                h.s.sendall(enq + lines(b"B", 1, 5) + gs_h(b"000B") + CUT)
                self.assertIsNotNone(h.wait_for(answer(b"000B"), 3))
                self.assertTrue(p.wait_receipts(1))
                text = p.text(1)
                if enq == ENQ1:
                    self.assertEqual(text, names(b"A", 1, 10) + names(b"B", 1, 5))
                    self.assertIn(answer(b"000A"), h.replies())
                else:
                    self.assertEqual(text[-5:], names(b"B", 1, 5))
                    self.assertLessEqual(len(text), 6, "A was cleared (a line at most printed)")
                    self.assertNotIn(answer(b"000A"), h.replies())
                self.assertEqual(p.status()["cutter"], "ok")

    def test_dle_dc4_fn_8_clears_the_buffers(self):
        p = self.printer("--speed", "100")
        h = self.host(p)
        h.s.sendall(lines(b"A", 1, 40) + gs_h(b"000A"))
        time.sleep(0.2)
        h.s.sendall(CLEAR + lines(b"B", 1, 3) + gs_h(b"000B") + CUT)
        self.assertIsNotNone(h.wait_for(answer(b"000B"), 3))
        self.assertTrue(p.wait_receipts(1))
        text = p.text(1)
        self.assertEqual(text[-3:], names(b"B", 1, 3))
        self.assertLess(len(text), 20)
        time.sleep(0.1)
        self.assertNotIn(answer(b"000A"), h.replies())

    def events(self, p):
        return Events(p)


class Events:
    """The printer's event stream, read on a thread: the status events."""

    def __init__(self, p):
        self.conn = http.client.HTTPConnection(p.host, p.port, timeout=10)
        self.conn.request("GET", "/api/events")
        self.r = self.conn.getresponse()
        self.got = []
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        name = None
        try:
            for raw in self.r:
                line = raw.decode().strip()
                if line.startswith("event: "):
                    name = line[7:]
                elif line.startswith("data: ") and name == "status":
                    self.got.append(json.loads(line[6:]))
        except (OSError, ValueError):
            pass

    def read_until(self, done, timeout=5):
        wait_until(lambda: self.got and done(self.got[-1]), timeout)
        return list(self.got)


class ShopWithAHeldPrinter(MachineTest):
    def test_one_held_one_off_the_third_prints_at_full_rate(self):
        d = tempfile.mkdtemp(prefix="qvp-mshop-")
        ips = {n: loopback_address() for n in ("counter", "kitchen", "bar")}
        with open(os.path.join(d, "shop.json"), "w") as f:
            json.dump({"printers": [{"name": n, "listen": ips[n] + ":9100"} for n in ips]}, f)
        ready = os.path.join(d, "ready.txt")
        proc = subprocess.Popen([PRINTER, "--shop", os.path.join(d, "shop.json"), "--out",
                                 os.path.join(d, "out"), "--http", ips["counter"] + ":0",
                                 "--ready-file", ready], stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: (proc.terminate(), proc.wait(10)))
        self.assertTrue(wait_until(lambda: os.path.exists(ready), 5))
        with open(ready) as f:
            url = dict(l.strip().split("=", 1) for l in f if "=" in l)["http"].rstrip("/")
        port = int(url.rsplit(":", 1)[1])

        def api(method, path, body=None):
            c = http.client.HTTPConnection(ips["counter"], port, timeout=5)
            c.request(method, path, body=json.dumps(body) if body else None)
            r = c.getresponse()
            return json.loads(r.read())

        api("PUT", "/api/printers/kitchen/status", {"paper": "out"})
        api("PUT", "/api/printers/bar/status", {"power": "off"})
        kitchen = Host(ips["kitchen"])
        self.addCleanup(kitchen.close)
        kitchen.s.sendall(lines(b"K", 1, 5) + gs_h(b"000K") + CUT)
        self.assertTrue(wait_until(lambda: refused(ips["bar"]), 2), "the bar takes no connection")
        t0 = time.monotonic()
        for i in range(50):
            with socket.create_connection((ips["counter"], 9100), timeout=5) as s:
                s.sendall(lines(b"C", 1, 20) + CUT)
        def counter_pngs():
            # Whole images only: each is written under a hidden name, then renamed.
            return [f for f in os.listdir(os.path.join(d, "out", "counter"))
                    if f.endswith(".png") and not f.startswith(".")]

        wait_until(lambda: len(counter_pngs()) >= 50, 10)
        pngs = counter_pngs()
        self.assertEqual(len(pngs), 50)
        self.assertLess(time.monotonic() - t0, 5)
        listed = {e["name"]: e for e in api("GET", "/api/printers")["printers"]}
        self.assertTrue(listed)
        k = api("GET", "/api/printers/kitchen/status")
        self.assertEqual((k["state"], k["held_because"]), ("held", "paper out"))
        self.assertEqual(api("GET", "/api/printers/bar/status")["state"], "off")
        self.assertEqual(api("GET", "/api/printers/counter/status")["state"], "idle")
        self.assertNotIn(b"\x37\x22", kitchen.replies())
        api("PUT", "/api/printers/kitchen/status", {"paper": "ok"})
        self.assertIsNotNone(kitchen.wait_for(answer(b"000K"), 3))


def refused(ip):
    try:
        socket.create_connection((ip, 9100), timeout=2).close()
        return False
    except ConnectionRefusedError:
        return True


def golden_streams():
    """Streams whose PNG files must stay byte for byte what they were before
    the printer had a mechanism."""
    with open(os.path.join(HERE, "..", "..", "bench", "typical_receipt.bin"), "rb") as f:
        typical = f.read()
    raster = b"\x1dv0\x00\x04\x00\x20\x00" + bytes((i * 37) & 0xFF for i in range(4 * 32))
    return {
        "typical_receipt": typical,
        "text_and_modes": (b"\x1b@\x1ba\x01\x1bE\x01TITLE\n\x1bE\x00\x1ba\x00" +
                           lines(b"ITEM", 1, 12) + b"\x1d!\x11BIG\n\x1d!\x00" + CUT),
        "barcodes_and_raster": (b"\x1dh\x40\x1dk\x02" + b"401234567890\x00" + raster +
                                b"\x1d(k\x03\x001C\x04\x1d(k\x07\x001P0QRDATA\x1d(k\x03\x001Q0"
                                + CUT + b"tail without a cut\n"),
    }


GOLDEN = os.path.join(HERE, "machine_golden.json")


class SpeedZeroGolden(MachineTest):
    def test_speed_0_gives_the_pngs_of_before_byte_for_byte(self):
        with open(GOLDEN) as f:
            want = json.load(f)
        for name, stream in golden_streams().items():
            with self.subTest(stream=name):
                self.assertEqual(png_hashes(PRINTER, stream, ("--speed", "0")), want[name])


def png_hashes(binary, stream, extra=()):
    """The sha256 of each PNG file a printer makes of `stream` over TCP."""
    d = tempfile.mkdtemp(prefix="qvp-golden-")
    ip = loopback_address()
    proc = subprocess.Popen([binary, "--listen", ip + ":9100", "--out", d, "--journal",
                             os.path.join(d, "journal.txt"), *extra], stderr=subprocess.PIPE)
    try:
        proc.stderr.readline()
        with socket.create_connection((ip, 9100), timeout=5) as s:
            s.sendall(stream)
        time.sleep(0.3)
    finally:
        proc.terminate()
        proc.wait(10)
        proc.stderr.close()
    out = []
    for f in sorted(os.listdir(d)):
        if f.endswith(".png"):
            with open(os.path.join(d, f), "rb") as png:
                out.append(hashlib.sha256(png.read()).hexdigest())
    return out


if __name__ == "__main__":
    if os.environ.get("QUORVEL_GOLDEN_FROM"):
        # Records the hashes from a printer built before the mechanism.
        with open(GOLDEN, "w") as f:
            json.dump({n: png_hashes(os.environ["QUORVEL_GOLDEN_FROM"], s)
                       for n, s in golden_streams().items()}, f, indent=1)
    else:
        unittest.main()

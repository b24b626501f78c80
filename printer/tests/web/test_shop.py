# SPDX-License-Identifier: MIT
"""A shop in one quorvel-printer process: three printers of three profiles
fed at once over TCP and a pseudo-terminal, each receipt on its own printer,
page and folder; the API per printer; SIGTERM ending all of them with their
uncut paper written; bad shop files; two printers on the page in headless
Chromium."""

import json
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time
import unittest

from support import PRINTER, Library, Printer, loopback_address

CUT = b"\x1dV\x00"
# name, profile, dots across
PRINTERS = [("counter", "generic-80", 576), ("kitchen", "generic-58", 384),
            ("bar", "generic-80-512", 512)]


class Shop(Printer):
    """quorvel-printer playing PRINTERS, each on a loopback address of its own
    (port 9100, as the library's AbreSocket wants), the kitchen also on a
    pseudo-terminal; the web side on a free port."""

    def __init__(self, printers=PRINTERS, extra=()):
        self.dir = tempfile.mkdtemp(prefix="qvp-shop-")
        self.out = os.path.join(self.dir, "out")
        self.tty = os.path.join(self.dir, "kitchen.tty")
        self.ips = {name: loopback_address() for name, _, _ in printers}
        entries = []
        for name, profile, _ in printers:
            e = {"name": name, "profile": profile, "listen": self.ips[name] + ":9100"}
            if name == "kitchen":
                e["serial_link"] = self.tty
            entries.append(e)
        shop = os.path.join(self.dir, "shop.json")
        with open(shop, "w") as f:
            json.dump({"printers": entries}, f)
        ready = os.path.join(self.dir, "ready.txt")
        self.ip = self.ips[printers[0][0]]
        self.proc = subprocess.Popen(
            [PRINTER, "--shop", shop, "--out", self.out, "--http", self.ip + ":0",
             "--ready-file", ready, *extra], stderr=subprocess.PIPE, text=True)
        for _ in range(500):
            if os.path.exists(ready) or self.proc.poll() is not None:
                break
            time.sleep(0.01)
        if not os.path.exists(ready):
            raise RuntimeError("the shop did not start: " + self.proc.stderr.read())
        with open(ready) as f:
            self.ready = dict(l.strip().split("=", 1) for l in f if "=" in l)
        self.url = self.ready["http"].rstrip("/")
        self.host, self.port = self.ip, int(self.url.rsplit(":", 1)[1])
        self.token = None

    def send_to(self, name, data):
        with socket.create_connection((self.ips[name], 9100), timeout=5) as s:
            s.sendall(data)

    def receipts(self, name, n, timeout=20):
        deadline = time.time() + timeout
        while True:
            got = self.get_json("/api/printers/%s/receipts" % name)["receipts"]
            if len(got) >= n or time.time() > deadline:
                return got
            time.sleep(0.05)


def ticket(name, i):
    return b"\x1b@" + b"%s ticket %d\n" % (name.encode(), i) + b"x" * 100 + b"\n" + CUT


class ShopTest(unittest.TestCase):
    def setUp(self):
        self.shop = Shop()

    def tearDown(self):
        self.shop.stop()

    def test_printers_fed_at_once_keep_their_receipts_apart(self):
        n = 15
        feeds = [threading.Thread(target=lambda nm=name: [self.shop.send_to(nm, ticket(nm, i))
                                                        for i in range(n)])
                 for name, _, _ in PRINTERS]

        def serial():
            # The kitchen's serial link, while its TCP port is fed too.
            fd = os.open(self.shop.tty, os.O_WRONLY | os.O_NOCTTY)
            try:
                for i in range(n):
                    os.write(fd, ticket("kitchen-serial", i))
            finally:
                os.close(fd)
        feeds.append(threading.Thread(target=serial))
        for t in feeds:
            t.start()
        for t in feeds:
            t.join()
        for name, profile, dots in PRINTERS:
            want = 2 * n if name == "kitchen" else n
            receipts = self.shop.receipts(name, want)
            self.assertEqual(len(receipts), want, name)
            for r in receipts:
                self.assertEqual(r["width"], dots + 64, (name, r))
                self.assertTrue(r["png"].startswith("/api/printers/%s/" % name), r)
                text = self.shop.get_json(r["text"])["lines"][0]["text"]
                self.assertTrue(text.startswith(name), (name, text))
                if name == "kitchen":
                    self.assertEqual(text.startswith("kitchen-serial"), r["link"] == "serial")
                # The wrapped line: 100 characters in as many columns as the paper has.
                lines = self.shop.get_json(r["text"])["lines"]
                self.assertEqual(len(lines), 1 + -(-100 // (dots // 12)), (name, lines))
            pngs = [f for f in os.listdir(os.path.join(self.shop.out, name)) if f.endswith(".png")]
            self.assertEqual(len(pngs), want, name)

    def test_the_api_per_printer(self):
        shop = self.shop
        listed = shop.get_json("/api/printers")["printers"]
        self.assertEqual([(p["name"], p["profile"], p["dots"]) for p in listed], PRINTERS)
        self.assertEqual([p["columns"] for p in listed], [48, 32, 42])
        # Status switches are each printer's own, and so are the answers.
        status, _, body = shop.request("PUT", "/api/printers/kitchen/status",
                                       json.dumps({"paper": "out"}),
                                       {"Content-Type": "application/json"})
        self.assertEqual(status, 200, body)
        self.assertEqual(shop.get_json("/api/printers/kitchen/status")["paper"], "out")
        self.assertEqual(shop.get_json("/api/printers/counter/status")["paper"], "ok")
        self.assertEqual(shop.get_json("/api/status")["paper"], "ok", "the first printer's")

        def dle_eot_4(name):
            with socket.create_connection((shop.ips[name], 9100), timeout=5) as s:
                s.sendall(b"\x10\x04\x04")
                return s.recv(1)[0]
        self.assertEqual(dle_eot_4("kitchen") & 0x60, 0x60, "paper out")
        self.assertEqual(dle_eot_4("counter") & 0x60, 0)

        shop.send_to("counter", ticket("counter", 1))
        shop.send_to("bar", ticket("bar", 1))
        self.assertEqual(len(shop.receipts("counter", 1)), 1)
        self.assertEqual(len(shop.receipts("bar", 1)), 1)
        # Today's URLs are the first printer's.
        self.assertEqual(shop.get_json("/api/receipts")["receipts"],
                         shop.get_json("/api/printers/counter/receipts")["receipts"])
        first = shop.get_json("/api/printers/bar/receipts")["receipts"][0]
        status, headers, png = shop.request("GET", first["png"])
        self.assertEqual((status, png[:4]), (200, b"\x89PNG"))
        self.assertEqual(int.from_bytes(png[16:20], "big"), 512 + 64)
        # Clearing one printer's list leaves the others'.
        self.assertEqual(shop.request("DELETE", "/api/printers/bar/receipts")[0], 200)
        self.assertEqual(shop.get_json("/api/printers/bar/receipts")["receipts"], [])
        self.assertEqual(len(shop.get_json("/api/printers/counter/receipts")["receipts"]), 1)
        for path in ("/api/printers/nobody/receipts", "/api/printers/nobody"):
            status, _, body = shop.request("GET", path)
            self.assertEqual(status, 404, path)
        self.assertEqual(shop.request("POST", "/api/printers")[0], 405)

    def test_sigterm_ends_every_printer_with_its_paper_written(self):
        # Uncut paper on each printer, a host still connected to one of them.
        held = socket.create_connection((self.shop.ips["bar"], 9100), timeout=5)
        held.sendall(b"bar, not cut\n")
        for name in ("counter", "kitchen"):
            self.shop.send_to(name, b"%s, not cut\n" % name.encode())
        for name, _, _ in PRINTERS:
            deadline = time.time() + 10
            while self.shop.get_json("/api/printers/%s/receipts" % name)["uncut_height"] == 0:
                self.assertLess(time.time(), deadline, name)
                time.sleep(0.02)
        t0 = time.monotonic()
        self.shop.proc.send_signal(signal.SIGTERM)
        self.shop.proc.wait(5)
        self.assertLess(time.monotonic() - t0, 1.0)
        self.assertEqual(self.shop.proc.returncode, 0)
        held.close()
        for name, _, _ in PRINTERS:
            pngs = [f for f in os.listdir(os.path.join(self.shop.out, name))
                    if f.endswith(".png")]
            self.assertEqual(len(pngs), 1, name)
            with open(os.path.join(self.shop.out, name, "journal.log")) as f:
                self.assertIn("writing out uncut paper at exit", f.read(), name)


class BadShopTest(unittest.TestCase):
    def test_bad_shop_files_are_refused_naming_the_entry_and_field(self):
        d = tempfile.mkdtemp(prefix="qvp-badshop-")
        try:
            bad_profile = os.path.join(d, "wide.json")
            with open(bad_profile, "w") as f:
                json.dump({"name": "wide", "paper_mm": 58, "dots": 576}, f)
            cases = [
                ({"printers": []}, "must be a JSON object with a non-empty list"),
                ({"printers": [{"name": "a", "listen": "127.0.0.1:9100"},
                               {"name": "b", "listen": "127.0.0.1:9100"}]},
                 "printers[1]: listen 127.0.0.1:9100 is also a's"),
                ({"printers": [{"name": "a"}, {"name": "a", "listen": "127.0.0.1:9101"}]},
                 "printers[1]: name a is also a's"),
                ({"printers": [{"name": "a/b"}]}, "printers[0].name: letters, digits"),
                ({"printers": [{"name": "a", "colour": 3}]}, "printers[0].colour: unknown field"),
                ({"printers": [{"name": "a", "speed": "fast"}]},
                 "printers[0].speed: must be a number"),
                ({"printers": [{"name": "a", "print_while_out": 1}]},
                 "printers[0].print_while_out: must be true or false"),
                ({"printers": [{"name": "a", "profile": bad_profile}]},
                 "printers[0].profile: %s: dots: wider than the paper" % bad_profile),
                ({"printers": [{"name": "a", "paper": "wet"}]}, "printers[0].paper: must be"),
            ]
            for body, said in cases:
                path = os.path.join(d, "shop.json")
                with open(path, "w") as f:
                    json.dump(body, f)
                r = subprocess.run([PRINTER, "--shop", path, "--out", d], capture_output=True,
                                   text=True, timeout=10)
                self.assertEqual(r.returncode, 2, (body, r.stderr))
                self.assertIn("--shop " + path + ": " + said, r.stderr)
        finally:
            shutil.rmtree(d, ignore_errors=True)


class ShopPageTest(unittest.TestCase):
    """Two printers on the page: each receipt appears in its own printer's tab."""

    def test_each_receipt_in_its_own_printers_view(self):
        from test_web_page import chromium
        from selenium.webdriver.support.ui import WebDriverWait
        shop = Shop(PRINTERS[:2])
        browser = chromium()
        lib = Library()
        try:
            def wait_for(script, timeout=15):
                return WebDriverWait(browser, timeout, poll_frequency=0.05).until(
                    lambda d: d.execute_script(script))
            views = {}
            for name in ("counter", "kitchen"):
                browser.get(shop.url + "/?printer=" + name)
                wait_for("return document.getElementById('link').className === 'up'")
                views[name] = browser.current_window_handle
                tabs = browser.execute_script(
                    "return [...document.querySelectorAll('nav#printers a')]"
                    ".map(a => [a.dataset.printer, a.classList.contains('current')])")
                self.assertEqual(tabs, [["counter", name == "counter"],
                                        ["kitchen", name == "kitchen"]])
                if name == "counter":
                    browser.switch_to.new_window("tab")
            # Through the library's classic functions, one printer after the other.
            lib.receipt(shop.ips["counter"], ["Counter receipt", "Total 9,90"])
            lib.receipt(shop.ips["kitchen"], ["Kitchen order 7", "2x soup"])
            for name, dots, first_line in (("counter", 576, "Counter receipt"),
                                           ("kitchen", 384, "Kitchen order 7")):
                browser.switch_to.window(views[name])
                wait_for("return document.querySelectorAll('article.receipt').length === 1")
                width = wait_for("const i = document.querySelector('article.receipt img');"
                                 "return i.complete && i.naturalWidth")
                self.assertEqual(width, dots + 64, name)
                src = browser.execute_script(
                    "return document.querySelector('article.receipt img').src")
                self.assertIn("/api/printers/%s/receipts/1.png" % name, src)
                r = shop.get_json("/api/printers/%s/receipts/1/text" % name)
                self.assertEqual(r["lines"][0]["text"], first_line)
                # The card is as wide as the paper, not the widest printer's.
                card = browser.execute_script(
                    "return document.querySelector('article.receipt').getBoundingClientRect().width")
                self.assertAlmostEqual(card, dots + 64 + 22, delta=2)
            # Still one receipt each, a while later.
            time.sleep(0.5)
            for name in views:
                browser.switch_to.window(views[name])
                self.assertEqual(browser.execute_script(
                    "return document.querySelectorAll('article.receipt').length"), 1)
        finally:
            browser.quit()
            shop.stop()


if __name__ == "__main__":
    unittest.main()

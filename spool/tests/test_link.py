# SPDX-License-Identifier: MIT
"""The library's spool link, loaded by a host with ctypes: the classic
functions and a printer handle print through the service (a job per cut,
stored when the call returns); status comes from the service's view;
bad URLs, unknown printers, an absent service and refused jobs give their
error codes."""

import ctypes
import os
import subprocess
import unittest

from support import LIBRARY, Printer, Spool, loopback_address, wait_for

SPOOL_UNREACHABLE, SPOOL_REFUSED, BAD_SPOOL_URL = 36, 37, 38


class SpoolLink(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.lib = ctypes.CDLL(LIBRARY)
        cls.lib.quorvel_open_spool.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int]
        cls.lib.quorvel_printer_open_spool.argtypes = [ctypes.c_char_p, ctypes.c_char_p,
                                                       ctypes.c_int]
        cls.lib.quorvel_printer_open_spool.restype = ctypes.c_void_p
        cls.lib.quorvel_printer_text.argtypes = [ctypes.c_void_p, ctypes.c_char_p] + [ctypes.c_int] * 4
        for f in ("quorvel_printer_cut", "quorvel_printer_status", "quorvel_printer_close"):
            getattr(cls.lib, f).argtypes = [ctypes.c_void_p]
        cls.lib.ImprimeTexto.argtypes = [ctypes.c_char_p] + [ctypes.c_int] * 4
        cls.printer = Printer()
        cls.spool = Spool("--printer", "counter=tcp:%s:9100" % cls.printer.ip,
                          "--max-job-bytes", "200")
        cls.url = ("http://%s:%d" % (cls.spool.host, cls.spool.port)).encode()

    @classmethod
    def tearDownClass(cls):
        cls.spool.stop()
        cls.printer.stop()

    def last_error(self):
        message = ctypes.create_string_buffer(256)
        return self.lib.quorvel_last_error(message, 256), message.value.decode()

    def lines(self):
        return [line for r in self.printer.texts() for line in r]

    def test_classic_functions_print_through_the_service(self):
        self.assertEqual(1, self.lib.quorvel_open_spool(self.url, b"counter", 0))
        try:
            self.assertEqual(1, self.lib.ImprimeTexto(b"SPOOLED order 5\n", 0, 0, 0, 0))
            self.assertEqual(1, self.lib.AcionaGuilhotina())  # the job is stored now
            _, jobs = self.spool.json("GET", "/api/jobs?printer=counter")
            self.assertTrue(jobs["jobs"])
            self.assertTrue(wait_for(lambda: "SPOOLED order 5" in self.lines()))
            wait_for(lambda: self.spool.json("GET", "/api/printers/counter")[1]["status"])
            self.assertEqual(32, self.lib.Le_Status())  # ready, as the service saw it
        finally:
            self.assertEqual(1, self.lib.FechaPortaSerial())

    def test_printer_handle(self):
        h = self.lib.quorvel_printer_open_spool(self.url, b"counter", 0)
        self.assertTrue(h)
        try:
            self.assertEqual(1, self.lib.quorvel_printer_text(h, b"HANDLE order 6\n", 0, 0, 0, 0))
            self.assertEqual(1, self.lib.quorvel_printer_cut(h))
            self.assertTrue(wait_for(lambda: "HANDLE order 6" in self.lines()))
            # Too large for the service: refused with its reason.
            self.assertEqual(1, self.lib.quorvel_printer_text(h, b"x" * 300, 0, 0, 0, 0))
            self.assertEqual(0, self.lib.quorvel_printer_cut(h))
            code, message = self.last_error()
            self.assertEqual(SPOOL_REFUSED, code)
            self.assertIn("413", message)
        finally:
            self.lib.quorvel_printer_close(h)

    @unittest.skipUnless(os.environ.get("QUORVEL_CLI"), "QUORVEL_CLI names the built CLI")
    def test_cli_spool_option(self):
        where = "%s:counter" % self.url.decode()
        cli = os.environ["QUORVEL_CLI"]
        r = subprocess.run([cli, "--spool", where, "text", "CLI order 7"], capture_output=True,
                           text=True, timeout=30)
        self.assertEqual(0, r.returncode, r.stderr)
        self.assertTrue(wait_for(lambda: self.spool.json(
            "GET", "/api/jobs?printer=counter&state=printed")[1]["jobs"]))
        r = subprocess.run([cli, "--spool", "%s:bar" % self.url.decode(), "cut"],
                           capture_output=True, text=True, timeout=30)
        self.assertEqual(1, r.returncode)
        self.assertIn("no printer named bar", r.stderr)

    def test_python_binding(self):
        import sys
        sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "python"))
        os.environ.setdefault("QUORVEL_LIBRARY", LIBRARY)
        import quorvel
        with quorvel.Printer.spool(self.url.decode(), "counter") as p:
            p.text("PYTHON order 8\n")
            p.cut()
        self.assertTrue(wait_for(lambda: "PYTHON order 8" in self.lines()))
        with self.assertRaises(quorvel.ConnectFailed) as caught:
            quorvel.Printer.spool(self.url.decode(), "bar")
        self.assertEqual(SPOOL_REFUSED, caught.exception.code)

    def test_open_errors(self):
        absent = "http://%s:1" % loopback_address()
        cases = [
            (b"ftp://127.0.0.1:8631", b"counter", BAD_SPOOL_URL),
            (b"http://printer.example:8631", b"counter", BAD_SPOOL_URL),
            (self.url, b"no such", BAD_SPOOL_URL),
            (self.url, b"bar", SPOOL_REFUSED),
            (absent.encode(), b"counter", SPOOL_UNREACHABLE),
        ]
        for url, name, code in cases:
            with self.subTest(url=url, name=name):
                self.assertEqual(0, self.lib.quorvel_open_spool(url, name, 0))
                self.assertEqual(code, self.last_error()[0])


if __name__ == "__main__":
    unittest.main()

# SPDX-License-Identifier: MIT
"""Configurations: from a JSON file or --printer options; bad ones refused
at start with exit status 2 and their reason, a taken address with 1."""

import json
import os
import socket
import tempfile
import unittest

from support import Printer, Spool, job_bytes, loopback_address, run_spool


class BadConfigs(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="qvs-config-")
        self.db = os.path.join(self.dir, "spool.db")

    def config_file(self, content):
        path = os.path.join(self.dir, "spool.json")
        with open(path, "w") as f:
            f.write(content if isinstance(content, str) else json.dumps(content))
        return path

    def test_bad_printer_options(self):
        cases = [
            ([], "no printer"),
            (["--printer", "counter"], "expected NAME=tcp"),
            (["--printer", "counter=usb:1"], "not a link"),
            (["--printer", "counter=tcp:printer.example:9100"], "address literal"),
            (["--printer", "counter=tcp:127.0.0.1:70000"], "port must be"),
            (["--printer", "counter=tcp:127.0.0.1:9100,colour=red"], "unknown setting"),
            (["--printer", "counter=tcp:127.0.0.1:9100,on_uncertain=maybe"], "hold or reprint"),
            (["--printer", "counter=tcp:127.0.0.1:9100,expire_after=-1"], "expire_after"),
            (["--printer", "counter=tcp:127.0.0.1:9100,fallback=bar"], "not a printer here"),
            (["--printer", "counter=tcp:127.0.0.1:9100,fallback=counter"], "fallback is itself"),
            (["--printer", "a b=tcp:127.0.0.1:9100"], "letters, digits"),
            (["--printer", "c=tcp:127.0.0.1:9100", "--printer", "c=tcp:127.0.0.2:9100"],
             "given twice"),
            (["--printer", "c=tcp:127.0.0.1:9100", "--listen", "nowhere"], "ADDR:PORT"),
            (["--printer", "c=tcp:127.0.0.1:9100,front=here"], "front"),
        ]
        for args, words in cases:
            with self.subTest(args=args):
                r = run_spool("--db", self.db, *args)
                self.assertEqual(2, r.returncode, r.stderr)
                self.assertIn(words, r.stderr)
                self.assertFalse(os.path.exists(self.db), "nothing is created for a bad config")

    def test_bad_config_files(self):
        good = {"name": "counter", "link": "tcp:127.0.0.1:9100"}
        cases = [
            ("{not json", "not JSON"),
            ([], "JSON object"),
            ({"printers": {}}, "must be a list"),
            ({"printers": [{"link": "tcp:127.0.0.1:9100"}]}, "printers[0].name"),
            ({"printers": [{"name": "c"}]}, "printers[0].link"),
            ({"printers": [dict(good, fallback_after="soon")]}, "printers[0].fallback_after"),
            ({"printers": [good], "colour": "red"}, "unknown field"),
            ({"printers": [good], "max_queue": 0}, "max_queue"),
        ]
        for content, words in cases:
            with self.subTest(content=content):
                r = run_spool("--db", self.db, "--config", self.config_file(content))
                self.assertEqual(2, r.returncode, r.stderr)
                self.assertIn(words, r.stderr)
        r = run_spool("--config", os.path.join(self.dir, "missing.json"))
        self.assertEqual((2, True), (r.returncode, "cannot be read" in r.stderr))

    def test_taken_address_exits_1(self):
        ip = loopback_address()
        with socket.socket() as s:
            s.bind((ip, 0))
            s.listen(1)
            port = s.getsockname()[1]
            r = run_spool("--db", self.db, "--printer", "c=tcp:127.0.0.1:9100",
                          "--listen", "%s:%d" % (ip, port))
        self.assertEqual(1, r.returncode)
        self.assertIn("Address already in use", r.stderr)

    def test_config_file_printers_print(self):
        printer = Printer()
        path = self.config_file({"printers": [
            {"name": "counter", "link": "tcp:%s:9100" % printer.ip, "model": 0,
             "on_uncertain": "reprint", "expire_after": 600}]})
        spool = Spool("--config", path)
        try:
            job = spool.post("counter", job_bytes("FROMFILE"))[1]["id"]
            spool.wait_state(job, "printed")
            _, view = spool.json("GET", "/api/printers/counter")
            self.assertEqual(("reprint", 600), (view["on_uncertain"], view["expire_after"]))
        finally:
            spool.stop()
            printer.stop()


class Token(unittest.TestCase):
    def test_token_required_when_asked(self):
        printer = Printer()
        spool = Spool("--printer", "counter=tcp:%s:9100" % printer.ip, "--token", "s3cret")
        try:
            self.assertEqual(401, spool.post("counter", b"x")[0])
            status, _ = spool.json("POST", "/api/printers/counter/jobs", job_bytes("TOKEN"),
                                   {"Authorization": "Bearer s3cret"})
            self.assertEqual(201, status)
            self.assertEqual(401, spool.json("GET", "/api/jobs", None,
                                             {"Authorization": "Bearer wrong"})[0])
        finally:
            spool.stop()
            printer.stop()


if __name__ == "__main__":
    unittest.main()

# SPDX-License-Identifier: MIT
"""Jobs in: accepted only when stored, idempotent retries, bounds and bad
requests refused with their reason and nothing half stored."""

import json
import threading
import unittest

from support import Printer, Spool, job_bytes, wait_for


class Intake(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.printer = Printer()
        # "nowhere" has no printer behind it: its jobs stay in the queue.
        cls.spool = Spool("--printer", "counter=tcp:%s:9100" % cls.printer.ip,
                          "--printer", "nowhere=tcp:127.34.255.254:9100",
                          "--max-job-bytes", "4096", "--max-queue", "5")

    @classmethod
    def tearDownClass(cls):
        cls.spool.stop()
        cls.printer.stop()

    def count(self):
        return len(self.spool.json("GET", "/api/jobs?limit=1000")[1]["jobs"])

    def test_accepted_job_is_stored_and_printed(self):
        status, body = self.spool.post("counter", job_bytes("ACCEPT"))
        self.assertEqual(201, status)
        self.assertEqual("queued", body["state"])
        job = self.spool.wait_state(body["id"], "printed")
        self.assertEqual(len(job_bytes("ACCEPT")), job["size"])
        self.assertTrue(wait_for(lambda: ["ACCEPT line 0"] in self.printer.texts()))

    def test_idempotent_retries_make_one_job(self):
        first = self.spool.post("counter", job_bytes("IDEM"), key="till-1-order-77")
        again = self.spool.post("counter", job_bytes("IDEM"), key="till-1-order-77")
        self.assertEqual(201, first[0])
        self.assertEqual((200, first[1]["id"]), (again[0], again[1]["id"]))
        # Eight tills retrying the same order at once still make one job.
        results = []
        threads = [threading.Thread(target=lambda: results.append(
            self.spool.post("counter", job_bytes("RACE"), key="race-key"))) for _ in range(8)]
        [t.start() for t in threads]
        [t.join() for t in threads]
        self.assertEqual(1, len({r[1]["id"] for r in results}))
        self.assertEqual([200] * 7 + [201], sorted(r[0] for r in results))
        # The same key with other bytes is a mistake, not a retry.
        status, body = self.spool.post("counter", job_bytes("OTHER"), key="till-1-order-77")
        self.assertEqual(409, status)
        self.assertIn("Idempotency-Key", body["error"])
        wait_for(lambda: self.printer.texts().count(["RACE line 0"]) == 1)
        self.assertEqual(1, self.printer.texts().count(["IDEM line 0"]))

    def test_bad_jobs_are_refused_with_a_reason_and_nothing_stored(self):
        before = self.count()
        cases = [
            ("empty body", "counter", b"", None, 400, "empty"),
            ("too large", "counter", b"x" * 5000, None, 413, "large"),
            ("key too long", "counter", b"x", "k" * 129, 400, "longer"),
            ("key with space", "counter", b"x", "a b", 400, "printable"),
            ("unknown printer", "bar", b"x", None, 404, "no printer"),
            ("bad printer name", "a%20b", b"x", None, 404, "no such path"),
        ]
        for name, printer, body, key, status, words in cases:
            with self.subTest(name):
                got, reply = self.spool.post(printer, body, key)
                self.assertEqual(status, got)
                self.assertIn(words, reply["error"] if isinstance(reply, dict) else reply.decode())
        self.assertEqual(before, self.count())

    def test_queue_bound(self):
        for i in range(5):
            self.assertEqual(201, self.spool.post("nowhere", job_bytes("Q%d" % i))[0])
        status, headers, body = self.spool.request("POST", "/api/printers/nowhere/jobs", b"x")
        self.assertEqual(503, status)
        self.assertIn("5 jobs waiting", json.loads(body)["error"])
        self.assertEqual("5", headers.get("Retry-After"))
        # The other printer is not affected.
        self.assertEqual(201, self.spool.post("counter", job_bytes("FREE"))[0])

    def test_bad_requests(self):
        cases = [
            ("GET", "/api/jobs?state=lost", None, {}, 400),
            ("GET", "/api/jobs?limit=0", None, {}, 400),
            ("GET", "/api/jobs?printer=bar", None, {}, 404),
            ("GET", "/api/jobs/999999", None, {}, 404),
            ("DELETE", "/api/jobs/1", None, {}, 405),
            ("GET", "/api/jobs/1/cancel", None, {}, 405),
            ("PUT", "/api/printers/counter/jobs", b"x", {}, 405),
            ("POST", "/api/printers/counter/recover?clear=7", None, {}, 400),
            ("GET", "/nothing", None, {}, 404),
            ("GET", "/api/printers", None, {"Host": "evil.example"}, 403),
            ("POST", "/api/printers/counter/jobs", b"x", {"Sec-Fetch-Site": "cross-site"}, 403),
        ]
        for method, path, body, headers, status in cases:
            with self.subTest(method + " " + path):
                got, _, reply = self.spool.request(method, path, body, headers)
                self.assertEqual(status, got, reply)
                self.assertIn(b"error", reply)

    def test_listing_and_printer_view(self):
        status, body = self.spool.post("counter", job_bytes("LIST"))
        job_id = body["id"]
        self.spool.wait_state(job_id, "printed")
        _, listing = self.spool.json("GET", "/api/jobs?printer=counter&state=printed")
        self.assertIn(job_id, [j["id"] for j in listing["jobs"]])
        self.assertTrue(all(j["state"] == "printed" for j in listing["jobs"]))
        _, printers = self.spool.json("GET", "/api/printers")
        by_name = {p["name"]: p for p in printers["printers"]}
        self.assertEqual({"counter", "nowhere"}, set(by_name))
        self.assertEqual("ok", by_name["counter"]["status"]["paper"])
        self.assertEqual("down", wait_for(lambda: self.spool.json(
            "GET", "/api/printers/nowhere")[1]["state"] == "down" and "down"))


if __name__ == "__main__":
    unittest.main()

# SPDX-License-Identifier: MIT
"""Web pages from other origins: CORS only for the allowed ones, tokens by
pairing (one use, limited tries, stored hashed, revocable), and each
origin's jobs its own. Real quorvel-spool processes on loopback."""

import json
import os
import re
import socket
import sqlite3
import subprocess
import time
import unittest

from support import SPOOL, Spool, loopback_address, run_spool

TILL = "http://127.0.0.1:8123"
OTHER_TILL = "http://localhost:8124"
PRESET = "preset-token-for-the-tests-0001"
OTHER_PRESET = "preset-token-for-the-tests-0002"


def start_spool(*extra):
    d = Spool(ready=False)
    config = os.path.join(d.dir, "spool.json")
    with open(config, "w") as f:
        json.dump({"allowed_origins": [TILL, OTHER_TILL],
                   "tokens": [{"name": "kiosk", "token": PRESET, "origin": TILL},
                              {"name": "other", "token": OTHER_PRESET}]}, f)
    d.args = ["--config", config, "--printer", "counter=tcp:%s:9100" % loopback_address(),
              *extra]
    d.start()
    return d


def bearer(token, origin=None):
    h = {"Authorization": "Bearer " + token}
    if origin:
        h["Origin"] = origin
    return h


class Cors(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.spool = start_spool()

    @classmethod
    def tearDownClass(cls):
        cls.spool.stop()

    def test_table(self):
        own = "http://%s:%d" % (self.spool.ip, self.spool.port)
        pre = {"Access-Control-Request-Method": "POST",
               "Access-Control-Request-Headers": "authorization,idempotency-key"}
        pna = dict(pre, **{"Access-Control-Request-Private-Network": "true"})
        cases = [
            # (what, method, path, headers, status, CORS origin echoed)
            ("allowed preflight", "OPTIONS", "/api/printers/counter/jobs",
             dict(pre, Origin=TILL), 204, TILL),
            ("allowed preflight, private network", "OPTIONS", "/api/printers/counter/jobs",
             dict(pna, Origin=TILL), 204, TILL),
            ("foreign preflight", "OPTIONS", "/api/printers/counter/jobs",
             dict(pna, Origin="http://127.0.0.9:8123"), 403, None),
            ("null origin preflight", "OPTIONS", "/api/printers", dict(pre, Origin="null"), 403, None),
            ("null origin with a token", "GET", "/api/printers",
             dict(bearer(OTHER_PRESET), Origin="null"), 403, None),
            ("origin with a path", "GET", "/api/printers", bearer(PRESET, TILL + "/"), 403, None),
            ("origin in other case", "GET", "/api/printers", bearer(PRESET, TILL.upper()), 403, None),
            ("foreign with a good token", "GET", "/api/printers",
             bearer(OTHER_PRESET, "http://evil.example"), 403, None),
            ("allowed without token", "GET", "/api/printers", {"Origin": TILL}, 401, TILL),
            ("allowed with a cookie only (credentials)", "GET", "/api/printers",
             {"Origin": TILL, "Cookie": "quorvel_spool_token=" + PRESET}, 401, TILL),
            ("allowed with a wrong token", "GET", "/api/printers", bearer("x" * 32, TILL), 401, TILL),
            ("allowed with its token", "GET", "/api/printers", bearer(PRESET, TILL), 200, TILL),
            ("token preset for another origin", "GET", "/api/printers",
             bearer(PRESET, OTHER_TILL), 401, OTHER_TILL),
            ("token preset for any origin", "GET", "/api/printers",
             bearer(OTHER_PRESET, OTHER_TILL), 200, OTHER_TILL),
            ("allowed page asks for the operator page", "GET", "/", bearer(PRESET, TILL), 403, TILL),
            ("allowed page asks for a pairing code", "POST", "/api/pairing",
             bearer(PRESET, TILL), 403, TILL),
            ("allowed page lists tokens", "GET", "/api/tokens", bearer(PRESET, TILL), 403, TILL),
            ("allowed page recovers a printer", "POST", "/api/printers/counter/recover",
             bearer(PRESET, TILL), 403, TILL),
            ("the client script without a token", "GET", "/quorvel.js", {"Origin": TILL}, 200, TILL),
            ("the client script to a foreign page", "GET", "/quorvel.js",
             {"Origin": "http://evil.example"}, 403, None),
            ("a program on the machine", "GET", "/api/printers", {}, 200, None),
            ("the service's own page", "POST", "/api/pairing", {"Origin": own}, 200, None),
        ]
        for what, method, path, headers, status, echoed in cases:
            with self.subTest(what):
                got, h, body = self.spool.request(method, path, headers=headers)
                self.assertEqual(got, status, body)
                self.assertEqual(h.get("Access-Control-Allow-Origin"), echoed)
                self.assertNotIn("Access-Control-Allow-Credentials", h)
                if echoed:
                    self.assertEqual(h.get("Vary"), "Origin")
                if method == "OPTIONS" and status == 204:
                    self.assertIn("POST", h["Access-Control-Allow-Methods"])
                    for name in ("Authorization", "Idempotency-Key", "Content-Type"):
                        self.assertIn(name, h["Access-Control-Allow-Headers"])
                    self.assertEqual(h.get("Access-Control-Allow-Private-Network"),
                                     "true" if "Private-Network" in str(headers) else None)

    def test_foreign_origin_changes_nothing(self):
        before = self.spool.json("GET", "/api/jobs")[1]["jobs"]
        for origin in ("http://evil.example", "null", "http://127.0.0.1:8125"):
            status, h, _ = self.spool.request(
                "POST", "/api/printers/counter/jobs", b"\x1b@x\n",
                dict(bearer(OTHER_PRESET, origin), **{"Content-Type": "text/plain"}))
            self.assertEqual(status, 403)
            self.assertNotIn("Access-Control-Allow-Origin", h)
        self.assertEqual(self.spool.json("GET", "/api/jobs")[1]["jobs"], before)


class Pairing(unittest.TestCase):
    def setUp(self):
        self.spool = start_spool()

    def tearDown(self):
        self.spool.stop()

    def code(self):
        out = subprocess.run([SPOOL, "--listen", "%s:%d" % (self.spool.ip, self.spool.port),
                              "pair"], capture_output=True, text=True, timeout=10)
        self.assertEqual(out.returncode, 0, out.stderr)
        return re.search(r"\b(\d{6})\b", out.stdout).group(1)

    def pair(self, code, origin=TILL, name="till 1"):
        return self.spool.json("POST", "/api/pair", json.dumps({"code": code, "name": name}),
                               {"Origin": origin, "Content-Type": "application/json"})

    def test_pair_use_revoke(self):
        code = self.code()
        status, paired = self.pair(code)
        self.assertEqual(status, 201, paired)
        token = paired["token"]
        self.assertEqual(self.pair(code)[0], 403)  # one use
        self.assertEqual(self.spool.request("GET", "/api/printers",
                                            headers=bearer(token, TILL))[0], 200)
        # From another origin the token is nothing.
        self.assertEqual(self.spool.request("GET", "/api/printers",
                                            headers=bearer(token, OTHER_TILL))[0], 401)
        listed = self.spool.json("GET", "/api/tokens")[1]["tokens"]
        self.assertEqual([(t["name"], t["origin"]) for t in listed], [("till 1", TILL)])
        self.assertNotIn("token", listed[0])
        # Stored hashed: the token itself is nowhere in the store.
        for name in os.listdir(self.spool.dir):
            if name.startswith("spool.db"):
                with open(os.path.join(self.spool.dir, name), "rb") as f:
                    self.assertNotIn(token.encode(), f.read())
        self.assertEqual(self.spool.json("POST", "/api/tokens/%d/revoke" % listed[0]["id"])[0], 200)
        status, _, _ = self.spool.request("POST", "/api/printers/counter/jobs", b"\x1b@x\n",
                                          bearer(token, TILL))
        self.assertEqual(status, 401)
        # A paired token survives a restart (it is in the store).
        status, again = self.pair(self.code(), name="till 2")
        self.spool.stop(keep=True)
        self.spool.start()
        self.assertEqual(self.spool.request("GET", "/api/printers",
                                            headers=bearer(again["token"], TILL))[0], 200)

    def test_bad_pair_documents(self):
        code = self.code()
        for body, why in [("not json", "expected"), ('{"name":"a"}', "code"),
                          ('{"code":123456,"name":"a"}', "code"),
                          ('{"code":"%s"}' % code, "name"),
                          ('{"code":"%s","name":""}' % code, "name"),
                          ('{"code":"%s","name":"%s"}' % (code, "n" * 65), "name")]:
            with self.subTest(body):
                status, reply = self.spool.json("POST", "/api/pair", body, {"Origin": TILL})
                self.assertEqual(status, 400)
                self.assertIn(why, reply["error"])
        self.assertEqual(self.pair(code)[0], 201)  # none of them used the code up

    def test_wrong_codes_limited(self):
        code = self.code()
        wrong = "%06d" % ((int(code) + 1) % 1000000)
        statuses = [self.pair(wrong)[0] for _ in range(5)]
        self.assertEqual(statuses, [403] * 5)
        status, h, _ = self.spool.request("POST", "/api/pair",
                                          json.dumps({"code": code, "name": "t"}),
                                          {"Origin": TILL})
        self.assertEqual(status, 429)  # even the right code, for the rest of the minute
        self.assertEqual(h.get("Retry-After"), "60")

    def test_code_expires(self):
        # Two minutes is too long to wait here: a new code ends the old one.
        first = self.code()
        second = self.code()
        if first != second:
            self.assertEqual(self.pair(first)[0], 403)
        self.assertEqual(self.pair(second)[0], 201)


class OriginsJobs(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.spool = start_spool()

    @classmethod
    def tearDownClass(cls):
        cls.spool.stop()

    def events(self, token, origin, seconds):
        s = socket.create_connection((self.spool.ip, self.spool.port), timeout=seconds)
        s.sendall(("GET /api/events?access_token=%s HTTP/1.1\r\nHost: %s:%d\r\nOrigin: %s\r\n\r\n"
                   % (token, self.spool.ip, self.spool.port, origin)).encode())
        return s

    def read_for(self, s, seconds):
        got, end = b"", time.time() + seconds
        s.settimeout(0.1)
        while time.time() < end:
            try:
                got += s.recv(65536)
            except socket.timeout:
                pass
        s.close()
        return got.decode()

    def test_a_page_reads_only_its_origins_jobs(self):
        mine = self.events(PRESET, TILL, 3)
        theirs = self.events(OTHER_PRESET, OTHER_TILL, 3)
        time.sleep(0.3)
        status, job = self.spool.json("POST", "/api/printers/counter/jobs", b"\x1b@mine\n",
                                      dict(bearer(PRESET, TILL), **{"Idempotency-Key": "k-1"}))
        self.assertEqual(status, 201)
        jid = job["id"]
        self.assertEqual(self.spool.json("GET", "/api/jobs/%d" % jid,
                                         headers=bearer(PRESET, TILL))[0], 200)
        for method, path in [("GET", "/api/jobs/%d" % jid), ("POST", "/api/jobs/%d/cancel" % jid),
                             ("POST", "/api/jobs/%d/reprint" % jid)]:
            with self.subTest(path):
                self.assertEqual(self.spool.request(method, path,
                                                    headers=bearer(OTHER_PRESET, OTHER_TILL))[0], 404)
        listed = self.spool.json("GET", "/api/jobs", headers=bearer(OTHER_PRESET, OTHER_TILL))[1]
        self.assertNotIn(jid, [j["id"] for j in listed["jobs"]])
        listed = self.spool.json("GET", "/api/jobs", headers=bearer(PRESET, TILL))[1]
        self.assertIn(jid, [j["id"] for j in listed["jobs"]])
        # The same key from another origin is not a way to its job.
        status, _ = self.spool.json("POST", "/api/printers/counter/jobs", b"\x1b@mine\n",
                                    dict(bearer(OTHER_PRESET, OTHER_TILL), **{"Idempotency-Key": "k-1"}))
        self.assertEqual(status, 409)
        self.assertRegex(self.read_for(mine, 1.5), r'"id":%d\b' % jid)
        self.assertNotIn('"id":%d,' % jid, self.read_for(theirs, 0.5))
        # A program on the machine sees every job.
        self.assertEqual(self.spool.json("GET", "/api/jobs/%d" % jid)[0], 200)

    def test_a_pages_list_is_filled_past_other_origins_jobs(self):
        mine = []
        for i in range(3):
            mine.append(self.spool.json("POST", "/api/printers/counter/jobs", b"\x1b@a\n",
                                        bearer(PRESET, TILL))[1]["id"])
            for _ in range(3):
                self.spool.json("POST", "/api/printers/counter/jobs", b"\x1b@b\n",
                                bearer(OTHER_PRESET, OTHER_TILL))
        got = self.spool.json("GET", "/api/jobs?limit=2", headers=bearer(PRESET, TILL))[1]["jobs"]
        self.assertEqual([j["id"] for j in got], mine[::-1][:2])
        every = [j["id"] for j in self.spool.json("GET", "/api/jobs?limit=1000",
                                                   headers=bearer(PRESET, TILL))[1]["jobs"]]
        self.assertEqual(every[:3], mine[::-1])
        got = self.spool.json("GET", "/api/jobs?limit=2&before=%d" % mine[1],
                              headers=bearer(PRESET, TILL))[1]["jobs"]
        self.assertEqual([j["id"] for j in got], [i for i in every if i < mine[1]][:2])


class Configuration(unittest.TestCase):
    def test_bad_origins_refused_at_start(self):
        for origin, why in [("null", "cannot be allowed"), ("*", "cannot be allowed"),
                            ("http://till.example/", "not an origin"),
                            ("ftp://till.example", "not an origin")]:
            with self.subTest(origin):
                out = run_spool("--printer", "a=tcp:127.0.0.1:9100", "--allow-origin", origin,
                                "--listen", "127.0.0.1:0", "--db", ":memory:")
                self.assertEqual(out.returncode, 2)
                self.assertIn(why, out.stderr)


if __name__ == "__main__":
    unittest.main()

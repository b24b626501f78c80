# SPDX-License-Identifier: MIT
"""The web side against hostile clients, over real loopback sockets: every
bound is hit by a client that tries to get past it, and while each attack
runs a receipt printed over TCP shows in the API and /api/status answers,
each within a second. Memory and answer times are measured, not assumed."""

import http.client
import json
import os
import re
import socket
import subprocess
import sys
import threading
import time
import unittest

from support import PRINTER, Printer, loopback_address

CUT = b"\x1dV\x00"
REQUEST_TIME, IDLE_TIME = 10.0, 5.0  # the server's defaults (HttpLimits)


def peer(i):
    """A source address of attacker i's own, apart from the checker's."""
    return "127.77.%d.%d" % (i // 250 + 1, i % 250 + 1)


def connect(p, source=None):
    s = socket.create_connection((p.host, p.port), timeout=15,
                                 source_address=(source, 0) if source else None)
    return s


def status_line(s):
    """The answer's first line, or b"" when the server closed without one."""
    got = b""
    try:
        while b"\r\n" not in got:
            chunk = s.recv(4096)
            if not chunk:
                break
            got += chunk
    except (ConnectionResetError, socket.timeout):
        pass
    return got.split(b"\r\n")[0]


def attack(p, pieces, source):
    """Sends the pieces (a generator) from a thread while waiting for the
    answer: (status code, seconds until it came)."""
    s = connect(p, source)
    t0 = time.time()

    def send():
        try:
            for piece in pieces:
                s.sendall(piece)
        except OSError:
            pass
    sender = threading.Thread(target=send, daemon=True)
    sender.start()
    line = status_line(s)
    took = time.time() - t0
    s.close()
    m = re.match(rb"HTTP/1\.1 (\d{3}) ", line)
    return (int(m.group(1)) if m else None), took


class HostileTest(unittest.TestCase):
    printer_args = ()

    def setUp(self):
        self.p = Printer(*self.printer_args)
        self.printed = 0

    def tearDown(self):
        self.p.stop()

    def assert_alive(self):
        """/api/status answers, and a receipt printed over TCP is listed,
        each within a second."""
        t0 = time.time()
        status, _, _ = self.p.request("GET", "/api/status", timeout=5)
        t_status = time.time() - t0
        self.assertEqual(status, 200)
        last = self.printed
        self.printed += 1
        t0 = time.time()
        self.p.send(b"alive %d\n" % self.printed + CUT)
        status, _, body = self.p.request("GET", "/api/receipts?after=%d&wait=3" % last, timeout=5)
        t_receipt = time.time() - t0
        ids = [r["id"] for r in json.loads(body)["receipts"]]
        self.assertEqual((status, ids), (200, [self.printed]))
        self.assertLess(t_status, 1.0, "/api/status took %.2f s" % t_status)
        self.assertLess(t_receipt, 1.0, "the receipt took %.2f s to be listed" % t_receipt)
        return t_status, t_receipt


class Bounds(HostileTest):
    def test_oversized_requests_get_their_4xx_at_once_and_memory_stays_flat(self):
        head = b"GET /api/status HTTP/1.1\r\nHost: 127.0.0.1\r\n"
        put = b"PUT /api/status HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"

        def lines(n, line):
            yield head
            for _ in range(n // 1000):
                yield line * 1000
            yield b"\r\n"

        def chunked(total, chunk):
            yield put + b"Transfer-Encoding: chunked\r\n\r\n"
            for _ in range(total // chunk):
                yield b"%x\r\n" % chunk + b"x" * chunk + b"\r\n"
            yield b"0\r\n\r\n"

        # (what, pieces, status): four of each at once, from four peers.
        cases = [
            ("100,000 short header lines", lambda: lines(100000, b"X-A: b\r\n"), 431),
            ("a 16 MB header", lambda: [head, b"X: "] + [b"y" * (1 << 20)] * 16 + [b"\r\n\r\n"], 431),
            ("101 header lines", lambda: [head + b"X-A: b\r\n" * 101 + b"\r\n"], 431),
            ("a 5,000-byte URL", lambda: [b"GET /" + b"a" * 5000 + b" HTTP/1.1\r\nHost: x\r\n\r\n"], 414),
            ("a 1 MB request line", lambda: [b"GET /" + b"a" * (1 << 20)], 414),
            ("a 64 MB chunked body", lambda: chunked(64 << 20, 1 << 20), 413),
            ("a 1 MB chunked body in 1-byte chunks", lambda: chunked(1 << 20, 1), 413),
            ("a 1 MB chunk extension",
             lambda: [put + b"Transfer-Encoding: chunked\r\n\r\n1;" + b"e" * (1 << 20)], 413),
            ("a 64 MB Content-Length", lambda: [put + b"Content-Length: 67108864\r\n\r\n"] +
             [b"x" * (1 << 20)] * 64, 413),
        ]
        rss0, peak0 = self.p.rss_kb()
        slowest = 0
        for what, pieces, expected in cases:
            with self.subTest(what):
                results = [None] * 4

                def one(i):
                    results[i] = attack(self.p, pieces(), peer(i))
                threads = [threading.Thread(target=one, args=(i,)) for i in range(4)]
                for t in threads:
                    t.start()
                self.assert_alive()
                for t in threads:
                    t.join(30)
                for code, took in results:
                    slowest = max(slowest, took)
                    self.assertEqual(code, expected)
                    self.assertLess(took, 1.0, "the %d took %.2f s" % (code, took))
        rss1, peak1 = self.p.rss_kb()
        print("\n  slowest refusal %.3f s; RSS %d KiB before, %d after, peak %d -> %d" %
              (slowest, rss0, rss1, peak0, peak1), file=sys.stderr)
        # Each connection's buffer is bounded (36 KiB); the rest is noise.
        self.assertLess(peak1 - peak0, 16 * 1024, "peak RSS grew from %d to %d KiB" % (peak0, peak1))
        self.assertTrue(self.p.alive())

    def test_trickling_clients_get_408_at_the_deadline_whatever_they_send(self):
        # 150 header tricklers and 40 slow chunked PUTs, each from a peer of
        # its own, a byte every half second: bytes do not extend the deadline.
        socks = []
        for i in range(190):
            s = connect(self.p, peer(i))
            if i < 150:
                s.sendall(b"GET /api/status HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ")
            else:
                s.sendall(b"PUT /api/status HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                          b"Transfer-Encoding: chunked\r\n\r\n100\r\n")
            s.setblocking(False)
            socks.append((s, time.time()))
        answers = {}
        checks = []
        while len(answers) < len(socks) and time.time() - socks[0][1] < REQUEST_TIME + 5:
            for i, (s, t0) in enumerate(socks):
                if i in answers:
                    continue
                try:
                    got = s.recv(4096)
                    answers[i] = (got.split(b"\r\n")[0], time.time() - t0)
                except BlockingIOError:
                    try:
                        s.send(b"a")
                    except OSError:
                        answers[i] = (b"", time.time() - t0)
                except OSError:
                    answers[i] = (b"", time.time() - t0)
            if len(checks) < 8:
                checks.append(self.assert_alive())
            time.sleep(0.5)
        for s, _ in socks:
            s.close()
        lines = [answers.get(i, (b"none", 0))[0] for i in range(len(socks))]
        self.assertEqual(set(lines), {b"HTTP/1.1 408 Request Timeout"})
        times = [t for _, t in answers.values()]
        self.assertGreater(min(times), REQUEST_TIME - 0.5)
        self.assertLess(max(times), REQUEST_TIME + 2)
        self.assertGreaterEqual(len(checks), 8)
        print("\n  408 after %.2f-%.2f s; /api/status at most %.3f s, receipt listed at most %.3f s"
              % (min(times), max(times), max(c[0] for c in checks), max(c[1] for c in checks)),
              file=sys.stderr)


class ConnectionLimits(HostileTest):
    def test_one_peer_holds_at_most_64_connections(self):
        # 200 idle connections from one address: 64 are kept, the others are
        # refused at once with 503; another address is served throughout.
        socks = [connect(self.p, peer(0)) for _ in range(200)]
        t0 = time.time()
        refused = 0
        for s in socks[64:]:
            s.settimeout(2)
            refused += status_line(s).startswith(b"HTTP/1.1 503")
        self.assertEqual(refused, 136)
        self.assertLess(time.time() - t0, 3)
        self.assert_alive()
        for s in socks:
            s.close()

    def test_past_the_total_the_oldest_idle_connection_makes_room(self):
        # 300 peers, one silent connection each: past 256 open, each newcomer
        # closes the oldest that has not sent a request yet.
        socks = [connect(self.p, peer(i)) for i in range(300)]
        time.sleep(0.5)
        self.assert_alive()
        closed = 0
        for s in socks:
            s.settimeout(0.05)
            try:
                closed += s.recv(1) == b""
            except socket.timeout:
                pass
            except OSError:
                closed += 1
            s.close()
        self.assertGreaterEqual(closed, 300 - 256)
        self.assertLess(closed, 300 - 200)

    def test_a_kept_alive_connection_closes_after_its_idle_time(self):
        s = connect(self.p)
        s.sendall(b"GET /api/status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
        self.assertEqual(status_line(s), b"HTTP/1.1 200 OK")
        t0 = time.time()
        s.settimeout(IDLE_TIME + 3)
        while s.recv(4096):
            pass
        self.assertAlmostEqual(time.time() - t0, IDLE_TIME, delta=1.0)
        s.close()

    def test_the_listen_backlog_is_the_printer_ports(self):
        ss = subprocess.run(["ss", "-ltnH"], capture_output=True, text=True).stdout
        backlog = {int(l.split()[3].rsplit(":", 1)[1]): int(l.split()[2]) for l in ss.splitlines()}
        with open("/proc/sys/net/core/somaxconn") as f:
            somaxconn = int(f.read())
        self.assertEqual(backlog[self.p.port], backlog[9100])
        self.assertEqual(backlog[self.p.port], somaxconn)


class Headers(HostileTest):
    def test_every_answer_forbids_framing_sniffing_and_foreign_reads(self):
        for method, path in (("GET", "/"), ("GET", "/api/status"), ("GET", "/api/receipts"),
                             ("GET", "/nothing"), ("POST", "/api/status"), ("HEAD", "/")):
            with self.subTest(path=path, method=method):
                _, h, _ = self.p.request(method, path)
                self.assertEqual(h["X-Frame-Options"], "DENY")
                self.assertEqual(h["X-Content-Type-Options"], "nosniff")
                self.assertEqual(h["Cross-Origin-Resource-Policy"], "same-origin")
                csp = dict((d.strip().split(" ", 1) + [""])[:2] for d in
                           h["Content-Security-Policy"].split(";"))
                self.assertEqual((csp["default-src"], csp["frame-ancestors"]), ("'none'", "'none'"))
                # Nothing from elsewhere, and no script but the page's own.
                self.assertNotRegex(h["Content-Security-Policy"], r"https?:|\*")
                self.assertNotIn("unsafe", csp.get("script-src", ""))

    def test_other_sites_may_only_open_the_page(self):
        # (Sec-Fetch-Site, -Mode, -Dest, method, path, status)
        cases = [
            ("cross-site", "navigate", "document", "GET", "/", 200),
            ("cross-site", "navigate", "iframe", "GET", "/", 403),
            ("cross-site", "no-cors", "image", "GET", "/api/receipts/1.png", 403),
            ("cross-site", "cors", "empty", "GET", "/api/status", 403),
            ("cross-site", "no-cors", "empty", "DELETE", "/api/receipts", 403),
            ("cross-site", "navigate", "document", "GET", "/api/events", 403),
            ("same-site", "cors", "empty", "PUT", "/api/status", 403),
            ("same-origin", "cors", "empty", "GET", "/api/status", 200),
            ("same-origin", "navigate", "iframe", "GET", "/api/events", 403),
            ("same-origin", "no-cors", "embed", "GET", "/api/events", 403),
            ("none", "navigate", "document", "GET", "/", 200),
        ]
        for site, mode, dest, method, path, expected in cases:
            with self.subTest(site=site, dest=dest, path=path, method=method):
                body = b'{"paper":"out"}' if method == "PUT" else None
                status, _, _ = self.p.request(method, path, body, {
                    "Sec-Fetch-Site": site, "Sec-Fetch-Mode": mode, "Sec-Fetch-Dest": dest},
                    timeout=2)
                self.assertEqual(status, expected)
        self.assertEqual(self.p.get_json("/api/status")["paper"], "ok")

    def test_host_is_parsed_strictly(self):
        port = self.p.port
        # (Host header lines, status)
        cases = [
            ([b"127.0.0.1:%d" % port], 200),
            ([b"localhost"], 200),
            ([b"[::1]:%d" % port], 200),
            ([b"127.0.0.1", b"127.0.0.1"], 400),
            ([b"127.0.0.1", b"evil.example"], 400),
            ([], 400),
            ([b"[::1].evil.example"], 400),
            ([b"[::1]x"], 400),
            ([b"[::1"], 400),
            ([b"[evil.example]"], 400),
            ([b"localhost%00.evil.example"], 400),
            ([b"localhost\x00.evil.example"], 400),
            ([b"127.0.0.1:99999"], 400),
            ([b"127.0.0.1:"], 400),
            ([b"127.0.0.1:80:80"], 400),
            ([b"user@127.0.0.1"], 400),
            ([b"-localhost"], 400),
            ([("\u00e9" * 40).encode()[:63]], 400),  # cut through a character
            ([b"a" * 300], 400),
            ([b"evil.example"], 403),
        ]
        for hosts, expected in cases:
            with self.subTest(hosts=hosts):
                s = connect(self.p)
                s.sendall(b"GET /api/status HTTP/1.1\r\n" +
                          b"".join(b"Host: " + h + b"\r\n" for h in hosts) + b"\r\n")
                self.assertEqual(status_line(s)[9:12], b"%d" % expected)
                s.close()
        # No byte in a Host header makes a 500.
        for b in range(256):
            s = connect(self.p)
            s.sendall(b"GET /api/status HTTP/1.1\r\nHost: local" + bytes([b]) + b"host\r\n\r\n")
            line = status_line(s)
            s.close()
            self.assertNotRegex(line, rb" 5\d\d ", b)
        self.assert_alive()


class Token(unittest.TestCase):
    def check(self, p, token, ok):
        bearer = {"Authorization": "Bearer " + token}
        # (method, path, headers, status)
        cases = [
            ("GET", "/api/status", {}, 401),
            ("GET", "/", {}, 401),
            ("DELETE", "/api/receipts", {}, 401),
            ("PUT", "/api/status", {}, 401),
            ("GET", "/api/events", {}, 401),
            ("GET", "/api/status", {"Authorization": "Bearer " + token + "x"}, 401),
            ("GET", "/api/status", {"Cookie": "quorvel_token=" + token[:-1]}, 401),
            ("GET", "/?token=wrong", {}, 401),
            ("GET", "/api/status", bearer, 200),
            ("GET", "/api/status", {"Cookie": "a=b; quorvel_token=" + token}, 200),
            ("GET", "/", bearer, 200),
        ]
        p.send(b"secret receipt\n" + CUT)
        time.sleep(0.3)
        for method, path, headers, expected in cases:
            with self.subTest(method=method, path=path, headers=headers):
                body = b'{"paper":"out"}' if method == "PUT" else None
                status, h, data = p.request(method, path, body, headers)
                self.assertEqual(status, expected, data)
                if status == 401:
                    self.assertNotIn(b"secret", data)
        # Nothing was changed without the token.
        status, _, data = p.request("GET", "/api/receipts", headers=bearer)
        self.assertEqual(len(json.loads(data)["receipts"]), 1)
        self.assertEqual(json.loads(p.request("GET", "/api/status", headers=bearer)[2])["paper"], "ok")
        # The page's URL carries the token once, then a cookie does.
        status, h, _ = p.request("GET", "/?token=" + token)
        self.assertEqual((status, h["Location"]), (303, "/"))
        cookie = h["Set-Cookie"]
        self.assertEqual(cookie, "quorvel_token=%s; Path=/; HttpOnly; SameSite=Strict" % token)

    def test_beyond_loopback_a_token_is_made_up_and_required(self):
        p = Printer(http="0.0.0.0:0")
        try:
            self.assertRegex(p.token or "", r"^[0-9a-f]{32}$")
            self.check(p, p.token, True)
        finally:
            p.stop()

    def test_a_given_token_is_required_on_loopback_too(self):
        p = Printer("--http-token", "s3cret-token")
        try:
            self.assertEqual(p.token, "s3cret-token")
            self.check(p, p.token, True)
        finally:
            p.stop()


class StartUp(unittest.TestCase):
    def run_printer(self, *args):
        t0 = time.time()
        try:
            r = subprocess.run([PRINTER, "--out", self.out, *args], capture_output=True,
                               text=True, timeout=5)
        except subprocess.TimeoutExpired:
            self.fail("the printer did not exit: %s" % (args,))
        return r.returncode, r.stderr, time.time() - t0

    def setUp(self):
        self.out = "/tmp/qvp-hostile-%d" % os.getpid()

    def test_bind_failures_exit_at_once_with_the_address_and_reason_every_time(self):
        ip = loopback_address()
        taken = socket.socket()
        taken.bind((ip, 0))
        taken.listen()
        port = taken.getsockname()[1]
        # (arguments, exit code, text on standard error)
        cases = [
            (["--listen", "%s:%d" % (ip, port), "--http", ip + ":0"], 1,
             "cannot listen on %s:%d: Address already in use" % (ip, port)),
            (["--listen", ip + ":0", "--http", "%s:%d" % (ip, port)], 1,
             "cannot listen for HTTP on %s:%d: Address already in use" % (ip, port)),
            (["--listen", ip + ":99999", "--http", ip + ":0"], 2, "--listen takes"),
            (["--listen", ip + ":0", "--http", ip + ":65536"], 2, "--http takes"),
            (["--listen", ip + ":0", "--ready-file", "/nonexistent/ready"], 1,
             "cannot write the ready file /nonexistent/ready"),
        ]
        worst = 0
        for args, code, text in cases:
            with self.subTest(args=args):
                for _ in range(20):
                    rc, err, took = self.run_printer(*args)
                    self.assertEqual(rc, code, err)
                    self.assertIn(text, err)
                    worst = max(worst, took)
        self.assertLess(worst, 1.0, "slowest exit: %.2f s" % worst)
        taken.close()

    def test_a_second_printer_on_a_taken_http_address_is_refused(self):
        first = Printer()
        try:
            for _ in range(20):
                rc, err, _ = self.run_printer("--listen", loopback_address() + ":0",
                                              "--http", "%s:%d" % (first.host, first.port))
                self.assertEqual(rc, 1)
                self.assertIn("Address already in use", err)
        finally:
            first.stop()


class TestingKit(HostileTest):
    def test_free_ports_are_reported_in_the_ready_file_stderr_and_journal(self):
        ip = loopback_address()
        ready = os.path.join(self.p.dir, "ready")
        # systemd's side of Type=notify: a datagram socket named in NOTIFY_SOCKET.
        notify = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        notify.bind(os.path.join(self.p.dir, "notify"))
        notify.settimeout(10)
        proc = subprocess.Popen([PRINTER, "--out", self.p.out, "--journal", ready + ".journal",
                                 "--listen", ip + ":0", "--http", ip + ":0", "--ready-file", ready],
                                stderr=subprocess.PIPE, text=True,
                                env=dict(os.environ, NOTIFY_SOCKET=os.path.join(self.p.dir, "notify")))
        try:
            message = notify.recv(4096).decode()
            self.assertIn("READY=1\n", message)
            self.assertIn("MAINPID=%d" % proc.pid, message)
            deadline = time.time() + 10
            while not os.path.exists(ready) and time.time() < deadline:
                time.sleep(0.02)
            with open(ready) as f:
                info = dict(l.rstrip("\n").split("=", 1) for l in f)
            self.assertEqual(sorted(info), ["http", "tcp"])
            tcp_port = int(info["tcp"].rsplit(":", 1)[1])
            self.assertRegex(info["http"], r"^http://%s:\d+/$" % re.escape(ip))
            self.assertNotIn(tcp_port, (0, 9100))
            # Both are served already.
            with socket.create_connection((ip, tcp_port), timeout=2) as s:
                s.sendall(b"kit\n" + CUT)
            c = http.client.HTTPConnection(ip, int(info["http"].rsplit(":", 1)[1][:-1]), timeout=10)
            c.request("GET", "/api/receipts?after=0&wait=5")
            self.assertEqual(len(json.loads(c.getresponse().read())["receipts"]), 1)
            c.close()
            err = proc.stderr.readline() + proc.stderr.readline()
            self.assertIn("web page at " + info["http"], err)
            self.assertIn("listening on " + info["tcp"], err)
            with open(ready + ".journal") as f:
                journal = f.read()
            self.assertIn("# listening on " + info["tcp"], journal)
            self.assertIn("# web page at " + info["http"], journal)
            self.assertIn("tcp " + info["tcp"], message)
        finally:
            notify.close()
            proc.terminate()
            proc.wait(5)
            proc.stderr.close()

    def test_waiting_for_a_receipt(self):
        # Nothing after 0: the empty list at the deadline.
        t0 = time.time()
        self.assertEqual(self.p.get_json("/api/receipts?after=0&wait=1")["receipts"], [])
        self.assertAlmostEqual(time.time() - t0, 1.0, delta=0.3)
        # A receipt printed while waiting answers at once.
        result = {}

        def wait():
            t = time.time()
            result["r"] = self.p.get_json("/api/receipts?after=0&wait=20")["receipts"]
            result["at"] = time.time()
        t = threading.Thread(target=wait)
        t.start()
        time.sleep(0.5)
        printed = time.time()
        self.p.send(b"one\n" + CUT + b"two\n" + CUT)
        t.join(25)
        self.assertLess(result["at"] - printed, 0.5)
        self.assertEqual([r["id"] for r in result["r"]][-1], 1)
        self.assertEqual([r["id"] for r in self.p.get_json("/api/receipts?after=1&wait=1")["receipts"]], [2])
        for bad in ("wait=61", "wait=-1", "after=x"):
            self.assertEqual(self.p.request("GET", "/api/receipts?" + bad)[0], 400)


if __name__ == "__main__":
    unittest.main()

# SPDX-License-Identifier: MIT
"""Shared pieces of the spool's tests: real quorvel-printer processes on
loopback, a real quorvel-spool process in front of them, and plain HTTP."""

import http.client
import itertools
import json
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time

PRINTER = os.environ.get("QUORVEL_PRINTER", "build/dev/printer/quorvel-printer")
SPOOL = os.environ.get("QUORVEL_SPOOL", "build/dev/spool/quorvel-spool")
LIBRARY = os.environ.get("QUORVEL_LIBRARY", "build/dev/src/libquorvel.so")

_serial = itertools.count(1)


def loopback_address():
    """A loopback address of this process's own (127.34.x.y), so suites run
    side by side and printers can all use port 9100."""
    k = (os.getpid() * 37 + next(_serial)) % (250 * 250)
    return "127.34.%d.%d" % (k // 250 + 1, k % 250 + 1)


def read_ready(path, timeout=10):
    end = time.time() + timeout
    while time.time() < end:
        if os.path.exists(path):
            with open(path) as f:
                return dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)
        time.sleep(0.01)
    raise RuntimeError("no ready file " + path)


def wait_for(what, timeout=10, step=0.02):
    """Polls `what` until it returns something true; that value."""
    end = time.time() + timeout
    while True:
        v = what()
        if v or time.time() > end:
            return v
        time.sleep(step)


class Http:
    def __init__(self, host, port):
        self.host, self.port = host, port

    def request(self, method, path, body=None, headers=None, timeout=10):
        c = http.client.HTTPConnection(self.host, self.port, timeout=timeout)
        try:
            c.request(method, path, body=body, headers=headers or {})
            r = c.getresponse()
            data = r.read()
            return r.status, dict(r.getheaders()), data
        finally:
            c.close()

    def json(self, method, path, body=None, headers=None):
        status, _, data = self.request(method, path, body, headers)
        try:
            return status, json.loads(data)
        except ValueError:
            return status, data


class Printer(Http):
    """quorvel-printer on its own loopback address at port 9100, --http on a free port."""

    def __init__(self, *extra, ip=None):
        self.dir = tempfile.mkdtemp(prefix="qvs-printer-")
        self.ip = ip or loopback_address()
        self.extra = extra
        self.proc = None
        self.start()

    def start(self):
        ready = os.path.join(self.dir, "ready")
        if os.path.exists(ready):
            os.remove(ready)
        self.proc = subprocess.Popen(
            [PRINTER, "--listen", self.ip + ":9100", "--out", os.path.join(self.dir, "out"),
             "--journal", os.path.join(self.dir, "journal.txt"), "--no-fonts",
             "--http", self.ip + ":0", "--ready-file", ready, *self.extra],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        info = read_ready(ready)
        host_port = info["http"].split("//")[1].rstrip("/")
        Http.__init__(self, self.ip, int(host_port.rsplit(":", 1)[1]))

    def stop(self, keep=False):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(10)
        if not keep:
            shutil.rmtree(self.dir, ignore_errors=True)

    def set(self, **switches):
        status, _, body = self.request("PUT", "/api/status", json.dumps(switches))
        assert status == 200, body

    def texts(self):
        """The text lines of every receipt cut so far, one list per receipt."""
        status, listing = self.json("GET", "/api/receipts")
        out = []
        for r in sorted(listing["receipts"], key=lambda r: r["id"]):
            _, t = self.json("GET", "/api/receipts/%d/text" % r["id"])
            out.append([line if isinstance(line, str) else line.get("text", "")
                        for line in t["lines"]])
        return out


def journal_texts(printer):
    """Every text the printer printed, from its journal (which keeps them all,
    however many receipts there are), counted."""
    import collections
    import re
    with open(os.path.join(printer.dir, "journal.txt"), errors="replace") as f:
        return collections.Counter(re.findall(r'TEXT +"([^"]*)"', f.read()))


def job_bytes(tag, lines=1):
    """A small receipt naming `tag`, cut at the end."""
    body = b"\x1b@" + b"".join(b"%s line %d\n" % (tag.encode(), i) for i in range(lines))
    return body + b"\x1dV\x01"


class Spool(Http):
    """quorvel-spool on a free port of its own loopback address."""

    def __init__(self, *args, db=None, ready=True, port=0):
        self.port_asked = port
        self.dir = tempfile.mkdtemp(prefix="qvs-spool-")
        self.db = db or os.path.join(self.dir, "spool.db")
        self.ip = loopback_address()
        self.args = list(args)
        self.proc = None
        if ready:
            self.start()

    def command(self):
        return [SPOOL, "--listen", "%s:%d" % (self.ip, self.port_asked), "--db", self.db,
                "--ready-file", os.path.join(self.dir, "ready"), "--retry-min", "0.2",
                "--retry-max", "0.5", "--confirm-timeout", "5", *self.args]

    def start(self):
        ready = os.path.join(self.dir, "ready")
        if os.path.exists(ready):
            os.remove(ready)
        self.started = time.time()
        self.proc = subprocess.Popen(self.command(), stdout=subprocess.DEVNULL,
                                     stderr=subprocess.PIPE, text=True)
        self.info = wait_for(lambda: os.path.exists(ready) or self.proc.poll() is not None)
        if self.proc.poll() is not None:
            raise RuntimeError("quorvel-spool stopped: " + self.proc.stderr.read())
        self.info = read_ready(ready)
        self.ready_after = time.time() - self.started
        host_port = self.info["http"].split("//")[1].rstrip("/")
        Http.__init__(self, self.ip, int(host_port.rsplit(":", 1)[1]))

    def kill(self):
        self.proc.send_signal(signal.SIGKILL)
        self.proc.wait(10)
        self.proc.stderr.close()

    def stop(self, keep=False):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(10)
            self.proc.stderr.close()
        if not keep:
            shutil.rmtree(self.dir, ignore_errors=True)

    def post(self, printer, body, key=None):
        headers = {"Idempotency-Key": key} if key else {}
        return self.json("POST", "/api/printers/%s/jobs" % printer, body, headers)

    def job(self, job_id):
        return self.json("GET", "/api/jobs/%d" % job_id)[1]

    def wait_state(self, job_id, *states, timeout=10):
        job = wait_for(lambda: (lambda j: j if j["state"] in states else None)(self.job(job_id)),
                       timeout)
        assert job, "job %d never reached %s: %s" % (job_id, states, self.job(job_id))
        return job


def run_spool(*args, timeout=10):
    """Runs quorvel-spool to its end (for refused configurations)."""
    return subprocess.run([SPOOL, *args], capture_output=True, text=True, timeout=timeout)


class Silent:
    """A TCP listener that takes whatever comes and answers nothing, as a
    printer that froze; `close_after` bytes then it drops the link."""

    def __init__(self, ip=None, answer_status=True, close_after=None):
        self.ip = ip or loopback_address()
        self.sock = socket.socket()
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind((self.ip, 9100))
        self.sock.listen(8)
        self.answer_status, self.close_after = answer_status, close_after
        self.received = b""
        self.stopping = False
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        self.sock.settimeout(0.2)
        while not self.stopping:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                continue
            with conn:
                conn.settimeout(0.2)
                got = b""
                while not self.stopping:
                    try:
                        data = conn.recv(65536)
                    except socket.timeout:
                        continue
                    if not data:
                        break
                    got += data
                    self.received += data
                    # Status queries before any job are answered: the printer looks fine.
                    if self.answer_status and b"\x1dV" not in got:
                        conn.sendall(b"\x12" * data.count(b"\x10\x04"))
                    if self.close_after is not None and b"\x1dV" in got:
                        break  # the job arrived; the link drops without an answer

    def stop(self):
        self.stopping = True
        self.thread.join(5)
        self.sock.close()

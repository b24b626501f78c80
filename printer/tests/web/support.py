# SPDX-License-Identifier: MIT
"""Shared pieces of the web tests: a real quorvel-printer process with its
HTTP server, the Quorvel library loaded with ctypes as a host loads it, and
plain HTTP requests."""

import ctypes
import http.client
import itertools
import json
import os
import re
import shutil
import socket
import subprocess
import tempfile
import time

PRINTER = os.environ.get("QUORVEL_PRINTER", "build/dev/printer/quorvel-printer")
LIBRARY = os.environ.get("QUORVEL_LIBRARY", "build/dev/src/libquorvel.so")

_serial = itertools.count(1)


def loopback_address():
    """A loopback address of this process's own, so suites run side by side
    (the library always uses port 9100)."""
    k = (os.getpid() * 31 + next(_serial)) % (250 * 250)
    return "127.93.%d.%d" % (k // 250 + 1, k % 250 + 1)


class Printer:
    """quorvel-printer on its own loopback address, with --http on a free port."""

    def __init__(self, *extra, cpu=None, http=None, ip=None, folder=None):
        # folder: an earlier printer's, to start again on its output folder.
        self.dir = folder or tempfile.mkdtemp(prefix="qvp-web-")
        self.out = os.path.join(self.dir, "out")
        os.makedirs(self.out, exist_ok=True)
        for _ in range(20):
            self.ip = ip or loopback_address()
            self.proc = subprocess.Popen(
                [PRINTER, "--listen", self.ip + ":9100", "--out", self.out,
                 "--journal", os.path.join(self.dir, "journal.txt"),
                 "--http", http or self.ip + ":0", *extra],
                stderr=subprocess.PIPE, text=True,
                preexec_fn=None if cpu is None else lambda: os.sched_setaffinity(0, {cpu}))
            line = self.proc.stderr.readline()
            m = re.search(r"web page at (http://[^/]+)/(\?token=([^\s&]+))?", line)
            if m:
                self.url, self.token = m.group(1), m.group(3)
                self.host, self.port = self.ip, int(self.url.rsplit(":", 1)[1])
                self._wait_tcp()
                return
            self.proc.wait()
        raise RuntimeError("quorvel-printer did not start: " + line)

    def _wait_tcp(self):
        journal = os.path.join(self.dir, "journal.txt")
        for _ in range(100):
            if os.path.exists(journal):
                with open(journal) as f:
                    if "# listening on" in f.read():
                        return
            time.sleep(0.02)
        raise RuntimeError("the printer's TCP port did not open")

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(10)
        self.proc.stderr.close()
        shutil.rmtree(self.dir, ignore_errors=True)

    def kill(self):
        """Ends the process with SIGKILL, leaving its folder as it was."""
        self.proc.kill()
        self.proc.wait(10)
        self.proc.stderr.close()

    def alive(self):
        return self.proc.poll() is None

    # --- HTTP ---------------------------------------------------------------
    def request(self, method, path, body=None, headers=None, timeout=5, source=None):
        c = http.client.HTTPConnection(self.host, self.port, timeout=timeout,
                                       source_address=(source, 0) if source else None)
        try:
            c.request(method, path, body=body, headers=headers or {})
            r = c.getresponse()
            return r.status, dict(r.getheaders()), r.read()
        finally:
            c.close()

    def get_json(self, path):
        status, _, body = self.request("GET", path)
        assert status == 200, (path, status, body)
        return json.loads(body)

    def rss_kb(self):
        """Resident memory now and at its peak, in KiB."""
        with open("/proc/%d/status" % self.proc.pid) as f:
            fields = dict(l.split(":", 1) for l in f if ":" in l)
        return int(fields["VmRSS"].split()[0]), int(fields["VmHWM"].split()[0])

    def put_status(self, **switches):
        status, _, body = self.request("PUT", "/api/status", json.dumps(switches),
                                       {"Content-Type": "application/json"})
        assert status == 200, body
        return json.loads(body)

    def wait_receipts(self, n, timeout=10):
        deadline = time.time() + timeout
        while True:
            receipts = self.get_json("/api/receipts")["receipts"]
            if len(receipts) >= n or time.time() > deadline:
                return receipts
            time.sleep(0.02)

    # --- raw bytes over TCP, as a POS program without the library ------------
    def send(self, data, keep_open=False):
        s = socket.create_connection((self.ip, 9100), timeout=5)
        s.sendall(data)
        if keep_open:
            return s
        s.close()
        return None


class Library:
    """The Quorvel library as a host program loads it."""

    def __init__(self):
        lib = ctypes.CDLL(os.path.abspath(LIBRARY))
        for name, args in {
            "AbreSocket": [ctypes.c_char_p, ctypes.c_int],
            "FechaSocket": [],
            "ImprimeTexto": [ctypes.c_char_p, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int],
            "ImprimeTxFormatado": [ctypes.c_char_p, ctypes.c_int, ctypes.c_int, ctypes.c_int],
            "ImprimeCodigoBarras": [ctypes.c_int] * 5 + [ctypes.c_char_p],
            "ImprimeQRCODE_M2": [ctypes.c_int] * 4 + [ctypes.c_char_p],
            "AcionaGuilhotina": [],
            "Le_Status": [],
            "Le_Status_Gaveta": [],
        }.items():
            f = getattr(lib, name)
            f.argtypes = args
            f.restype = ctypes.c_int
        self.lib = lib

    def __getattr__(self, name):
        return getattr(self.lib, name)

    def receipt(self, ip, lines, model=0):
        """Opens the link, prints the lines and cuts, closes the link."""
        assert self.lib.AbreSocket(ip.encode(), model) == 1
        try:
            for line in lines:
                assert self.lib.ImprimeTexto(line.encode("latin-1"), 0, 0, 0, 0) == 1
            assert self.lib.AcionaGuilhotina() == 1
        finally:
            self.lib.FechaSocket()

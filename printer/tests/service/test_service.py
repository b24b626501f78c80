# SPDX-License-Identifier: MIT
"""The systemd unit quorvel-printer@.service without systemd: the unit file
passes systemd-analyze verify; its command line, filled from default.env,
starts a printer that reports READY=1 on NOTIFY_SOCKET only once both its
ports take connections; a printer that cannot bind exits non-zero at once and
never reports ready.

    test_service.py PRINTER SERVICE_DIR
"""
import os
import re
import shlex
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

PRINTER = SERVICE = None
HOST = "127.25.7.1"  # a loopback address of this test's own


def free_port():
    with socket.socket() as s:
        s.bind((HOST, 0))
        return s.getsockname()[1]


def env_file(path):
    values = {}
    for line in Path(path).read_text().splitlines():
        if line.strip() and not line.lstrip().startswith("#"):
            name, _, value = line.partition("=")
            values[name.strip()] = value.strip()
    return values


def exec_start(unit_text, variables):
    """The unit's ExecStart as argv: ${X} stays one word, $X splits, as systemd does."""
    line = re.search(r"^ExecStart=(.*)$", unit_text, re.MULTILINE).group(1)
    argv = []
    for word in shlex.split(line):
        braced = re.fullmatch(r"\$\{(\w+)\}", word)
        bare = re.fullmatch(r"\$(\w+)", word)
        if braced:
            argv.append(variables[braced.group(1)])
        elif bare:
            argv.extend(variables.get(bare.group(1), "").split())
        else:
            argv.append(word)
    return argv


class Service(unittest.TestCase):
    def setUp(self):
        self.work = Path(tempfile.mkdtemp(prefix="quorvel-service-"))
        self.notify = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.notify.bind(str(self.work / "notify"))
        self.unit = (Path(SERVICE) / "quorvel-printer@.service").read_text()
        self.printers = []

    def tearDown(self):
        for printer in self.printers:
            printer.stderr.close()
        self.notify.close()
        shutil.rmtree(self.work, ignore_errors=True)

    def start(self, listen, http):
        variables = env_file(Path(SERVICE) / "default.env")
        variables.update(QUORVEL_LISTEN=listen, QUORVEL_HTTP=http, QUORVEL_OUT=str(self.work))
        argv = exec_start(self.unit, variables)
        self.assertEqual(argv[0], "/usr/bin/quorvel-printer")
        env = dict(os.environ, NOTIFY_SOCKET=str(self.work / "notify"))
        printer = subprocess.Popen([PRINTER] + argv[1:], env=env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.PIPE)
        self.printers.append(printer)
        return printer

    def test_unit_file_verifies(self):
        unit = self.work / "quorvel-printer@test.service"
        # verify checks that the program exists: point it at the built one.
        unit.write_text(self.unit.replace("/usr/bin/quorvel-printer", PRINTER))
        result = subprocess.run(["systemd-analyze", "verify", "--man=no", str(unit)],
                                capture_output=True, text=True, timeout=60)
        self.assertEqual((result.returncode, result.stdout + result.stderr), (0, ""))

    def test_ready_only_once_both_ports_take_connections(self):
        tcp, web = free_port(), free_port()
        printer = self.start(f"{HOST}:{tcp}", f"{HOST}:{web}")
        try:
            self.notify.settimeout(30)
            message = self.notify.recv(4096).decode()
            self.assertIn("READY=1\n", message)
            self.assertIn(f"MAINPID={printer.pid}", message.split("\n"))
            for port in (tcp, web):  # at once: no retry, no wait
                socket.create_connection((HOST, port), timeout=5).close()
        finally:
            printer.terminate()
            self.assertEqual(printer.wait(timeout=20), 0)

    def test_taken_port_fails_at_once_and_never_reports_ready(self):
        for taken_side in ("tcp", "web"):
            with self.subTest(taken=taken_side), socket.socket() as holder:
                holder.bind((HOST, 0))
                holder.listen()
                taken, other = holder.getsockname()[1], free_port()
                tcp, web = (taken, other) if taken_side == "tcp" else (other, taken)
                started = time.monotonic()
                printer = self.start(f"{HOST}:{tcp}", f"{HOST}:{web}")
                status = printer.wait(timeout=20)
                self.assertNotEqual(status, 0, printer.stderr.read())
                self.assertLess(time.monotonic() - started, 10)
                self.notify.settimeout(0.5)
                with self.assertRaises(socket.timeout):
                    self.notify.recv(4096)


if __name__ == "__main__":
    PRINTER, SERVICE = os.path.abspath(sys.argv[1]), sys.argv[2]
    unittest.main(argv=sys.argv[:1], verbosity=2)

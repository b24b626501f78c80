# SPDX-License-Identifier: MIT
"""The systemd unit quorvel-spool.service without systemd: the unit file
passes systemd-analyze verify, and the service reports READY=1 on
NOTIFY_SOCKET only once its store is open and its port takes connections;
a bad configuration exits at once and never reports ready."""

import os
import shutil
import socket
import subprocess
import tempfile
import unittest
from pathlib import Path

from support import SPOOL, loopback_address

UNIT = Path(__file__).resolve().parent.parent / "service" / "quorvel-spool.service"


class Service(unittest.TestCase):
    def setUp(self):
        self.work = Path(tempfile.mkdtemp(prefix="qvs-service-"))
        self.notify = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.notify.bind(str(self.work / "notify"))

    def tearDown(self):
        self.notify.close()
        shutil.rmtree(self.work, ignore_errors=True)

    def start(self, *args):
        env = dict(os.environ, NOTIFY_SOCKET=str(self.work / "notify"))
        return subprocess.Popen([SPOOL, "--db", str(self.work / "spool.db"), *args], env=env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

    @unittest.skipUnless(shutil.which("systemd-analyze"), "systemd-analyze is not installed")
    def test_unit_file_verifies(self):
        unit = self.work / "quorvel-spool.service"
        unit.write_text(UNIT.read_text().replace("/usr/bin/quorvel-spool", SPOOL)
                        .replace("ConditionPathExists=/etc/quorvel-spool/spool.json\n", ""))
        r = subprocess.run(["systemd-analyze", "verify", "--man=no", str(unit)],
                           capture_output=True, text=True, timeout=60)
        self.assertEqual((0, ""), (r.returncode, r.stdout + r.stderr))

    def test_ready_once_serving(self):
        ip = loopback_address()
        with socket.socket() as s:
            s.bind((ip, 0))
            port = s.getsockname()[1]
        spool = self.start("--printer", "counter=tcp:127.0.0.1:9", "--listen", "%s:%d" % (ip, port))
        try:
            self.notify.settimeout(10)
            message = self.notify.recv(4096).decode()
            self.assertIn("READY=1\n", message)
            self.assertIn("MAINPID=%d" % spool.pid, message.split("\n"))
            socket.create_connection((ip, port), timeout=5).close()  # at once
        finally:
            spool.terminate()
            self.assertEqual(0, spool.wait(20))
            spool.stderr.close()

    def test_bad_config_never_reports_ready(self):
        spool = self.start("--printer", "counter=usb:1")
        self.assertEqual(2, spool.wait(20))
        spool.stderr.close()
        self.notify.settimeout(0.3)
        with self.assertRaises(socket.timeout):
            self.notify.recv(4096)


if __name__ == "__main__":
    unittest.main()

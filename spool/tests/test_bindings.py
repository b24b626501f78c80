# SPDX-License-Identifier: MIT
"""The C# and Pascal bindings' spool link against a live service: a client
compiled with mcs (run by mono) or fpc, on the library built here; its jobs
are stored and printed, and refusals come back with codes 37 and 38."""

import os
import shutil
import subprocess
import tempfile
import unittest

from support import LIBRARY, Printer, Spool, journal_texts, wait_for

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
MCS, MONO, FPC = shutil.which("mcs"), shutil.which("mono"), shutil.which("fpc")


class LiveSpool:
    """A printer and a service in front of it; `run` a client on them."""

    def __init__(self, case):
        self.case = case
        self.work = tempfile.mkdtemp(prefix="qvs-bind-")
        self.printer = Printer()
        self.spool = Spool("--printer", "counter=tcp:%s:9100" % self.printer.ip)

    def close(self):
        self.spool.stop()
        self.printer.stop()
        shutil.rmtree(self.work, ignore_errors=True)

    def check(self, command, tag, unknown_line):
        env = dict(os.environ, LD_LIBRARY_PATH=os.path.dirname(os.path.abspath(LIBRARY)))
        run = subprocess.run(command + ["http://%s:%d" % (self.spool.ip, self.spool.port),
                                        "counter"],
                             capture_output=True, text=True, timeout=60, env=env)
        self.case.assertEqual(0, run.returncode, run.stderr + run.stdout)
        self.case.assertEqual(["handle: ok", "classic: 1", "close: 1", unknown_line,
                               "bad url: 0 38" + (" bad-url" if tag == "CS" else "")],
                              run.stdout.splitlines())
        jobs = wait_for(lambda: (lambda j: j if len(j) == 3 and all(
            x["state"] == "printed" for x in j) else None)(
                self.spool.json("GET", "/api/jobs")[1]["jobs"]), timeout=15)
        self.case.assertTrue(jobs, self.spool.json("GET", "/api/jobs")[1])
        printed = journal_texts(self.printer)
        for text in ("ONE", "TWO", "CLASSIC"):
            self.case.assertEqual(1, printed["%s SPOOL %s" % (tag, text)], printed)


class SpoolLink(unittest.TestCase):
    def setUp(self):
        self.live = LiveSpool(self)

    def tearDown(self):
        self.live.close()

    @unittest.skipUnless(MCS and MONO, "mcs and mono (Debian: mono-mcs, mono-runtime) missing")
    def test_csharp_handle_and_classic_link_print_through_the_service(self):
        exe = os.path.join(self.live.work, "SpoolClient.exe")
        subprocess.run([MCS, "-nologo", "-warnaserror", "-out:" + exe,
                        os.path.join(ROOT, "bindings/csharp/Quorvel.cs"),
                        os.path.join(ROOT, "bindings/csharp/tests/SpoolClient.cs")],
                       check=True, timeout=120)
        self.live.check([MONO, exe], "CS", "unknown printer: 37 refused")

    @unittest.skipUnless(FPC, "fpc (Debian: fp-compiler) missing")
    def test_pascal_handle_and_classic_link_print_through_the_service(self):
        out = self.live.work
        subprocess.run([FPC, "-v0", "-Sew", "-Fu" + os.path.join(ROOT, "bindings/pascal"),
                        "-FU" + out, "-FE" + out,
                        "-Fl" + os.path.dirname(os.path.abspath(LIBRARY)),
                        os.path.join(ROOT, "bindings/pascal/tests/spool_client.pas")],
                       check=True, timeout=120, stdout=subprocess.DEVNULL)
        self.live.check([os.path.join(out, "spool_client")], "PAS", "unknown printer: 37")


if __name__ == "__main__":
    unittest.main()

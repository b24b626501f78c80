# SPDX-License-Identifier: MIT
"""The C# binding's spool link (bindings/csharp) against a live service:
compiled with mcs, run by mono on the library built here; its jobs are
stored and printed, and refusals come back with codes 37 and 38."""

import os
import shutil
import subprocess
import tempfile
import unittest

from support import LIBRARY, Printer, Spool, journal_texts, wait_for

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
MCS, MONO = shutil.which("mcs"), shutil.which("mono")


@unittest.skipUnless(MCS and MONO, "mcs and mono (Debian: mono-mcs, mono-runtime) are not installed")
class CSharpSpoolLink(unittest.TestCase):
    def test_handle_and_classic_link_print_through_the_service(self):
        work = tempfile.mkdtemp(prefix="qvs-cs-")
        printer = Printer()
        spool = Spool("--printer", "counter=tcp:%s:9100" % printer.ip)
        try:
            exe = os.path.join(work, "SpoolClient.exe")
            subprocess.run([MCS, "-nologo", "-warnaserror", "-out:" + exe,
                            os.path.join(ROOT, "bindings/csharp/Quorvel.cs"),
                            os.path.join(ROOT, "bindings/csharp/tests/SpoolClient.cs")],
                           check=True, timeout=120)
            env = dict(os.environ, LD_LIBRARY_PATH=os.path.dirname(os.path.abspath(LIBRARY)))
            run = subprocess.run([MONO, exe, "http://%s:%d" % (spool.ip, spool.port), "counter"],
                                 capture_output=True, text=True, timeout=60, env=env)
            self.assertEqual(0, run.returncode, run.stderr)
            self.assertEqual(["handle: ok", "classic: 1", "close: 1",
                              "unknown printer: 37 refused", "bad url: 0 38 bad-url"],
                             run.stdout.splitlines())
            jobs = wait_for(lambda: (lambda j: j if len(j) == 3 and all(
                x["state"] == "printed" for x in j) else None)(
                    spool.json("GET", "/api/jobs")[1]["jobs"]), timeout=15)
            self.assertTrue(jobs, spool.json("GET", "/api/jobs")[1])
            printed = journal_texts(printer)
            for text in ("CS SPOOL ONE", "CS SPOOL TWO", "CS SPOOL CLASSIC"):
                self.assertEqual(1, printed[text], printed)
        finally:
            spool.stop()
            printer.stop()
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    unittest.main()

# SPDX-License-Identifier: MIT
"""The spool link from Quorvel.dll under wine: a Windows till program
(wine_spool_host.c, built with mingw-w64) loads the DLL, opens the service
with quorvel_open_spool, prints with the classic functions, cuts, reads the
status and closes; the job prints on the virtual printer. Runs when the
mingw build's DLL is there (QUORVEL_MINGW_DLL; stage 30 builds it)."""

import os
import shutil
import subprocess
import tempfile
import unittest

from support import Printer, Spool, journal_texts

DLL = os.environ.get("QUORVEL_MINGW_DLL", "")
HERE = os.path.dirname(os.path.abspath(__file__))
WINE = os.path.join(HERE, "..", "..", "tests", "windows")


@unittest.skipUnless(os.path.exists(DLL) and shutil.which("x86_64-w64-mingw32-gcc")
                     and os.path.exists("/usr/lib/wine/wine64"),
                     "needs the mingw build's Quorvel.dll, mingw-w64 and wine64")
class WineSpoolLink(unittest.TestCase):
    def test_classic_functions_from_the_dll(self):
        work = tempfile.mkdtemp(prefix="qvs-wine-")
        printer = Printer()
        spool = Spool("--printer", "counter=tcp:%s:9100" % printer.ip)
        try:
            exe = os.path.join(work, "wine_spool_host.exe")
            subprocess.run(["x86_64-w64-mingw32-gcc", "-O2", "-static", "-o", exe,
                            os.path.join(HERE, "wine_spool_host.c")], check=True)
            shutil.copy(DLL, work)
            r = subprocess.run([os.path.join(WINE, "run-under-wine.sh"),
                                os.path.join(WINE, "wine-run.sh"), "/usr/lib/wine/wine64", exe,
                                "http://%s:%d" % (spool.host, spool.port), "counter",
                                "WINE order 9"], cwd=work, capture_output=True, text=True,
                               timeout=240)
            # open, printed (stored at the cut), status READY from the service, closed
            self.assertEqual("1 1 32 1", r.stdout.strip().splitlines()[-1], r.stderr)
            _, jobs = spool.json("GET", "/api/jobs?printer=counter")
            spool.wait_state(jobs["jobs"][0]["id"], "printed")
            self.assertEqual(1, journal_texts(printer)["WINE order 9"])
        finally:
            spool.stop()
            printer.stop()
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    unittest.main()

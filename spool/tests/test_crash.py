# SPDX-License-Identifier: MIT
"""Crash safety: the service is killed with SIGKILL at random moments while
eight tills post jobs and the printer runs out of paper, loses its power,
and goes away altogether (nothing listens at its address: connections are
refused) before coming back, now and then. Every
accepted job must end printed exactly once, or uncertain; none lost, none
printed twice unmarked, none stuck. Also: restart to ready with many jobs
stored. QUORVEL_SPOOL_KILLS sets the number of kills (default 10; the
soak runs 100)."""

import collections
import os
import random
import subprocess
import threading
import time
import unittest

from support import SPOOL, Printer, Spool, job_bytes, journal_texts, wait_for

KILLS = int(os.environ.get("QUORVEL_SPOOL_KILLS", "10"))
TILLS = 8


class KillNine(unittest.TestCase):
    def test_every_accepted_job_ends_printed_once_or_uncertain(self):
        printer = Printer()
        spool = Spool("--printer", "counter=tcp:%s:9100" % printer.ip, port=8631)
        accepted = {}  # tag -> job id
        lock = threading.Lock()
        stop = threading.Event()
        rng = random.Random(int(os.environ.get("QUORVEL_SPOOL_SEED", "33")))

        def till(n):
            for k in range(10 ** 6):
                if stop.is_set():
                    return
                tag = "T%d-%d" % (n, k)
                while not stop.is_set():  # retried with its key until stored
                    try:
                        status, body = spool.post("counter", job_bytes(tag), key=tag)
                    except OSError:
                        status = 0
                    if status in (200, 201):
                        with lock:
                            self.assertNotIn(tag, accepted)  # one answer per order
                            accepted[tag] = body["id"]
                        break
                    time.sleep(0.02)
                stop.wait(rng.uniform(0.02, 0.15))  # a busy restaurant's pace

        refusals = []

        def paper():  # paper out, power off, or no printer at all, now and then
            for k in range(10 ** 6):
                if stop.wait(rng.uniform(0.3, 1.0)):
                    return
                if k % 3 == 2:  # the process goes: connections to it are refused
                    printer.stop(keep=True)
                    refusals.append(k)
                    stop.wait(rng.uniform(0.3, 0.8))
                    printer.start()
                    continue
                switch = ("paper", "out", "ok") if k % 3 == 0 else ("power", "off", "on")
                printer.set(**{switch[0]: switch[1]})
                stop.wait(0.2)
                printer.set(**{switch[0]: switch[2]})

        threads = [threading.Thread(target=till, args=(n,)) for n in range(TILLS)]
        threads.append(threading.Thread(target=paper))
        for t in threads:
            t.start()
        try:
            for _ in range(KILLS):
                time.sleep(rng.uniform(0.05, 0.5))
                spool.kill()
                spool.start()
            # The printer must also have gone away once while the tills posted:
            # on a fast machine the kills can all be over before its first turn.
            wait_for(lambda: refusals, timeout=10)
            time.sleep(0.3)
        finally:
            stop.set()
            for t in threads:
                t.join(30)
        printer.set(paper="ok", power="on")
        try:
            self.assertGreater(len(accepted), KILLS)
            self.assertTrue(refusals)
            pending = {"queued", "printing", "held", "retrying"}

            def settled():
                jobs = spool.json("GET", "/api/jobs?limit=1000")[1]["jobs"]
                states = [j["state"] for j in jobs]
                return not pending.intersection(states) and len(jobs) >= min(1000, len(accepted))

            if not wait_for(settled, timeout=60):
                jobs = spool.json("GET", "/api/jobs?limit=1000")[1]["jobs"]
                self.fail("jobs still waiting: %s; printers: %s" % (
                    [j for j in jobs if j["state"] in pending][-3:],
                    spool.json("GET", "/api/printers")[1]))
            time.sleep(0.5)
            # The journal has every text printed; COPY marks a reprint.
            printed = journal_texts(printer)
            self.assertEqual(0, printed["*** COPY ***"])  # on_uncertain: hold
            counts = collections.Counter()
            for tag, job_id in accepted.items():
                job = spool.job(job_id)
                counts[job["state"]] += 1
                line = tag + " line 0"
                with self.subTest(tag=tag, job=job):
                    self.assertIn(job["state"], ("printed", "uncertain"))
                    if job["state"] == "printed":
                        self.assertEqual(1, printed[line])
                    else:
                        self.assertLessEqual(printed[line], 1)
            print("\n%d jobs accepted over %d kills and %d printer absences: %s"
                  % (len(accepted), KILLS, len(refusals), dict(counts)))
        finally:
            spool.stop()
            printer.stop()


class Restart(unittest.TestCase):
    def test_ready_within_a_second_with_many_jobs_stored(self):
        jobs = int(os.environ.get("QUORVEL_SPOOL_STORED", "10000"))
        spool = Spool("--printer", "counter=tcp:127.34.255.253:9100", ready=False)
        try:
            # The bench mode fills the store over HTTP (to a printer that is not there).
            subprocess.run([SPOOL, "--printer", "counter=tcp:127.34.255.253:9100", "--db", spool.db,
                            "--max-queue", str(jobs + 1), "--bench", "accept", "--bench-jobs",
                            str(jobs)], check=True, capture_output=True, timeout=120)
            spool.args += ["--max-queue", str(jobs + 1)]
            spool.start()
            print("\nready %.3f s after start with %d jobs stored" % (spool.ready_after, jobs))
            self.assertLess(spool.ready_after, 1.0)
            self.assertEqual(jobs, spool.json("GET", "/api/printers/counter")[1]["queue"])
        finally:
            spool.stop()


if __name__ == "__main__":
    unittest.main()

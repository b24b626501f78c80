# SPDX-License-Identifier: MIT
"""Delivery against the virtual printer's mechanism (--speed): paper running
out with the job inside the printer (held, never resent, printed once the
paper is back), and a power cut in the middle of a job (uncertain; with
on_uncertain reprint, printed once more marked COPY after power returns)."""

import time
import unittest

from support import Printer, Spool, job_bytes, journal_texts, wait_for


def long_job(tag, lines=40):
    return job_bytes(tag, lines)


class Mechanism(unittest.TestCase):
    def start(self, policy="hold"):
        # 40 lines of 30 dots (3.75 mm) take 1.5 s at 100 mm/s.
        self.printer = Printer("--speed", "100")
        self.spool = Spool("--printer", "counter=tcp:%s:9100,on_uncertain=%s"
                           % (self.printer.ip, policy))

    def tearDown(self):
        self.spool.stop()
        self.printer.stop()

    def test_paper_out_with_the_job_inside_holds_then_prints_once(self):
        self.start()
        job = self.spool.post("counter", long_job("INSIDE"))[1]["id"]
        self.spool.wait_state(job, "printing")
        time.sleep(0.4)
        self.printer.set(paper="out")
        held = self.spool.wait_state(job, "held")
        self.assertIn("inside the printer", held["reason"])
        time.sleep(1)
        self.assertEqual("held", self.spool.job(job)["state"])  # waits; not resent
        self.printer.set(paper="ok")
        done = self.spool.wait_state(job, "printed", timeout=15)
        self.assertEqual(1, done["attempts"])
        self.assertIn("confirmed by the printer", done["reason"])
        self.assertEqual(1, journal_texts(self.printer)["INSIDE line 39"])

    def test_power_cut_mid_job_is_uncertain_and_reprinted_once_as_copy(self):
        self.start("reprint")
        job = self.spool.post("counter", long_job("POWER"))[1]["id"]
        self.spool.wait_state(job, "printing")
        time.sleep(0.4)
        self.printer.set(power="off")
        time.sleep(1.5)
        self.printer.set(power="on")
        done = self.spool.wait_state(job, "printed", timeout=20)
        self.assertTrue(done["copy"])
        self.assertIn("uncertain", done["reason"])
        texts = journal_texts(self.printer)
        self.assertEqual(1, texts["*** COPY ***"])
        self.assertEqual(1, texts["POWER line 39"])  # only the copy got to the end

    def test_jobs_queued_behind_a_job_go_as_one_batch_held_and_printed_once(self):
        # While the first job prints, five queue up; they then go back to back
        # under one confirmation, so paper out catches all five inside.
        self.start()
        first = self.spool.post("counter", long_job("FIRST"))[1]["id"]
        self.spool.wait_state(first, "printing")
        batch = [self.spool.post("counter", job_bytes("B%d" % i, 10))[1]["id"] for i in range(5)]
        self.spool.wait_state(first, "printed", timeout=15)
        self.spool.wait_state(batch[0], "printing")
        time.sleep(0.3)
        self.printer.set(paper="out")
        for j in batch:
            self.assertIn("inside the printer", self.spool.wait_state(j, "held")["reason"])
        self.printer.set(paper="ok")
        for j in batch:
            self.assertEqual(1, self.spool.wait_state(j, "printed", timeout=15)["attempts"])
        texts = journal_texts(self.printer)
        self.assertEqual([1] * 5, [texts["B%d line 9" % i] for i in range(5)])
        with open(self.printer.dir + "/journal.txt", errors="replace") as f:
            order = [line for line in f.read().split('"') if line.endswith(" line 9")]
        self.assertEqual(["FIRST line 9"] + ["B%d line 9" % i for i in range(5)],
                         [t for t in order if t.startswith(("B", "FIRST"))][:6])


if __name__ == "__main__":
    unittest.main()

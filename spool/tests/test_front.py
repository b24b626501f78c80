# SPDX-License-Identifier: MIT
"""Front ports: a printer-like TCP address per printer. Fed by a raw socket
and by the library's classic functions (AbreSocket to the front's address);
jobs end at each cut or after 2 s without data; status queries are answered
from the printer's last known state."""

import ctypes
import socket
import time
import unittest

from support import LIBRARY, Printer, Spool, loopback_address, wait_for


class Front(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.printer = Printer()
        cls.front = loopback_address()
        cls.spool = Spool("--printer", "counter=tcp:%s:9100,front=%s:9100"
                          % (cls.printer.ip, cls.front))

    @classmethod
    def tearDownClass(cls):
        cls.spool.stop()
        cls.printer.stop()

    def lines(self):
        return [line for r in self.printer.texts() for line in r]

    def test_ready_file_names_the_front(self):
        self.assertEqual(self.front + ":9100", self.spool.info["front.counter"])

    def test_raw_socket_jobs_end_at_each_cut_and_status_is_answered(self):
        with socket.create_connection((self.front, 9100), timeout=5) as s:
            # Two receipts in one stream, a status query between them, and a
            # raster image whose data holds the bytes of a cut (GS V 1).
            image = b"\x1dv0\x00\x03\x00\x01\x00" + b"\x1dV\x01"
            s.sendall(b"\x1b@RAW one\n\x1dV\x01\x10\x04\x01\x1b@RAW two\n" + image + b"\x1dV\x00")
            self.assertEqual(b"\x12", s.recv(1))
        wait_for(lambda: "RAW two" in self.lines())
        one = len(b"\x1b@RAW one\n\x1dV\x01")
        two = len(b"\x1b@RAW two\n" + image + b"\x1dV\x00")

        def newest_two():  # as jobs: the status query left out, the image whole
            jobs = self.spool.json("GET", "/api/jobs?printer=counter&limit=2")[1]["jobs"]
            return [j["size"] for j in jobs] == [two, one] and all(
                j["state"] == "printed" for j in jobs)

        self.assertTrue(wait_for(newest_two), self.spool.json("GET", "/api/jobs")[1])

    def test_job_ends_after_two_seconds_without_data(self):
        with socket.create_connection((self.front, 9100), timeout=5) as s:
            job = b"\x1b@IDLE end, no cut\n"
            s.sendall(job)
            start = time.time()

            def idle_job():  # uncut, it is not on the printer's list of receipts yet
                jobs = self.spool.json("GET", "/api/jobs?printer=counter&state=printed")[1]
                return [j for j in jobs["jobs"] if j["size"] == len(job)]

            self.assertTrue(wait_for(idle_job, timeout=6))
            self.assertGreaterEqual(time.time() - start, 1.9)

    def test_classic_functions_through_the_front(self):
        lib = ctypes.CDLL(LIBRARY)
        lib.AbreSocket.argtypes = [ctypes.c_char_p, ctypes.c_int]
        lib.ImprimeTexto.argtypes = [ctypes.c_char_p] + [ctypes.c_int] * 4
        self.assertEqual(1, lib.AbreSocket(self.front.encode(), 0))
        try:
            self.assertEqual(1, lib.ImprimeTexto(b"CLASSIC order 12\n", 0, 0, 0, 0))
            self.assertEqual(32, lib.Le_Status())  # ready, from the printer's last state
            self.assertEqual(1, lib.AcionaGuilhotina())
        finally:
            lib.FechaSocket()
        self.assertTrue(wait_for(lambda: "CLASSIC order 12" in self.lines()))


if __name__ == "__main__":
    unittest.main()

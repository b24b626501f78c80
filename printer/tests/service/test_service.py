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
    """An EnvironmentFile= as systemd reads it: KEY=VALUE lines, # and ; comments,
    double quotes (with \\ escapes) and single quotes taken off, backslash-newline
    joining lines, unquoted trailing blanks dropped."""
    text, values, i = Path(path).read_text(), {}, 0
    while i < len(text):
        end = text.find("\n", i)
        end = len(text) if end < 0 else end
        line = text[i:end].lstrip()
        if not line or line[0] in "#;" or "=" not in line:
            i = end + 1
            continue
        name = line.partition("=")[0].strip()
        i = text.index("=", i) + 1
        while i < len(text) and text[i] in " \t":
            i += 1
        value, blanks = "", 0  # unquoted blanks at the end are dropped
        while i < len(text) and text[i] != "\n":
            c = text[i]
            if c in "\"'":
                close = text.index(c, i + 1) if c == "'" else i + 1
                if c == '"':
                    while text[close] != '"':
                        close += 2 if text[close] == "\\" else 1
                    part = re.sub(r'\\([\\"`$])', r"\1", text[i + 1:close]).replace("\\\n", "")
                else:
                    part = text[i + 1:close]
                value, blanks, i = value + part, 0, close + 1
            elif c == "\\":
                if text[i + 1] != "\n":
                    value += text[i + 1]
                blanks, i = 0, i + 2
            else:
                value += c
                blanks = blanks + 1 if c in " \t" else 0
                i += 1
        values[name] = value[:len(value) - blanks]
        i += 1
    return values


def shell_env_file(path):
    """The variables a POSIX shell sets when it sources the file, and its complaints."""
    script = 'set -a; . "$1"; env -0'
    result = subprocess.run(["bash", "-c", script, "bash", str(path)], capture_output=True,
                            text=True, env={"PATH": "/usr/bin:/bin"}, timeout=30)
    variables = dict(entry.split("=", 1) for entry in result.stdout.split("\0") if "=" in entry)
    return {k: v for k, v in variables.items() if k.startswith("QUORVEL_")}, result.stderr


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
            printer.stdout.close()
            printer.stderr.close()
        self.notify.close()
        shutil.rmtree(self.work, ignore_errors=True)

    def start(self, listen, http, default_out=False):
        # The unit's Environment= lines with %S (the state root) and %i (the
        # instance) filled in, then the instance's file over them.
        state, variables = self.work / "state", {}
        for name, value in re.findall(r"^Environment=(\w+)=(.*)$", self.unit, re.MULTILINE):
            variables[name] = value.replace("%S", str(state)).replace("%i", "test")
        (state / "quorvel-printer" / "test").mkdir(parents=True, exist_ok=True)  # StateDirectory=
        variables.update(env_file(Path(SERVICE) / "default.env"))
        variables.update(QUORVEL_LISTEN=listen, QUORVEL_HTTP=http)
        if not default_out:
            variables.update(QUORVEL_OUT=str(self.work))
        argv = exec_start(self.unit, variables)
        self.assertEqual(argv[0], "/usr/bin/quorvel-printer")
        env = dict(os.environ, NOTIFY_SOCKET=str(self.work / "notify"))
        printer = subprocess.Popen([PRINTER] + argv[1:], env=env, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, text=True)
        self.printers.append(printer)
        return printer

    def test_default_env_reads_the_same_in_systemd_and_a_shell(self):
        # Unquoted, "QUORVEL_OPTIONS=--max-images 5000" runs 5000 in a shell.
        cases = {  # file text -> what systemd reads
            "A=1\n#B=2\n; C=3\n": {"A": "1"},
            'A="--max-images 5000"  \n': {"A": "--max-images 5000"},
            "A='x \\ y'\nB=\"say \\\"hi\\\"\"\n": {"A": "x \\ y", "B": 'say "hi"'},
            "A=one \\\n two\n": {"A": "one  two"},
        }
        for text, expected in cases.items():
            with self.subTest(text=text):
                path = self.work / "case.env"
                path.write_text(text)
                self.assertEqual(env_file(path), expected)
        shipped = Path(SERVICE) / "default.env"
        variables, complaints = shell_env_file(shipped)
        self.assertEqual(complaints, "")
        self.assertEqual(variables, env_file(shipped))
        self.assertIn("QUORVEL_OPTIONS", variables)

    def test_command_journal_goes_to_a_file_in_the_state_folder(self):
        tcp, web = free_port(), free_port()
        printer = self.start(f"{HOST}:{tcp}", f"{HOST}:{web}", default_out=True)
        try:
            self.notify.settimeout(30)
            self.assertIn("READY=1\n", self.notify.recv(4096).decode())
            with socket.create_connection((HOST, tcp), timeout=5) as till:
                till.sendall(b"\x1b@Hello\n\x1dV\x00")
            state = self.work / "state" / "quorvel-printer" / "test"
            journal = state / "journal.log"
            deadline = time.monotonic() + 20
            while "cut" not in (journal.read_text() if journal.exists() else ""):
                self.assertLess(time.monotonic(), deadline, "no cut in the journal file")
                time.sleep(0.1)
        finally:
            printer.terminate()
            self.assertEqual(printer.wait(timeout=20), 0)
        # What the service manager would have sent to the system journal: the
        # start-up lines and nothing per command.
        output = printer.stdout.read() + printer.stderr.read()
        self.assertNotIn("Hello", output)
        self.assertLessEqual(len(output.splitlines()), 4, output)

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

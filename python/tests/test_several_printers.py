# SPDX-License-Identifier: MIT
"""Several Printers open at once, driven from threads: a restaurant's receipt,
kitchen and bar printers, each order landing whole on its own printer."""

import threading

from conftest import wait_until
from quorvel import ErrorCode, NoReply, NotConnected, Printer

# ESC @, left, 32-dot spacing, Windows-1252, bold off, font A: every plain text line.
TEXT_HEAD = bytes.fromhex("1B40 1B6100 1B3320 1B7410 1B4500 1B4D00")
CUT = bytes.fromhex("1D5600")
TICKETS = 150


def line(text: str) -> bytes:
    return TEXT_HEAD + text.encode("cp1252") + b"\n"


def run_threads(targets) -> list:
    """Runs each target in its own thread at once; returns what they raised."""
    errors = []

    def guarded(target):
        try:
            target()
        except Exception as e:  # noqa: BLE001 - handed back to the test
            errors.append(e)

    threads = [threading.Thread(target=guarded, args=(t,)) for t in targets]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(timeout=120)
    assert not any(thread.is_alive() for thread in threads), "a thread hung"
    return errors


def test_receipt_kitchen_and_bar_from_three_threads(start_printer):
    virtual = {"receipt": start_printer(), "kitchen": start_printer(),
               "bar": start_printer(serial=True)}  # TCP and serial handles at once
    printers = {"receipt": Printer.tcp(virtual["receipt"].address),
                "kitchen": Printer.tcp(virtual["kitchen"].address),
                "bar": Printer.serial(virtual["bar"].where)}

    def orders(name):
        def drive():
            for n in range(TICKETS):
                printers[name].text(f"{name} order {n:03d}")
            printers[name].cut()
        return drive

    try:
        errors = run_threads([orders(name) for name in printers])
    finally:
        for printer in printers.values():
            printer.close()
    assert errors == []
    for name, printer in virtual.items():
        wait_until(lambda: printer.sessions_ended() == 1, what=f"{name} to close")
        expected = b"".join(line(f"{name} order {n:03d}") for n in range(TICKETS)) + CUT
        assert printer.stop() == expected, name


def test_a_silent_printer_delays_only_its_own_calls(start_printer):
    silent, front = start_printer(options=["--silent"]), start_printer()
    events = []
    with Printer.tcp(silent.address) as stalled, Printer.tcp(front.address) as counter:
        def ask_status():
            try:
                stalled.status()
            except NoReply:
                events.append("status gave up")

        def print_tickets():
            wait_until(lambda: "DLE EOT" in silent.journal(), what="the status query")
            for n in range(50):
                counter.text(f"front {n:02d}")
            events.append("front done")

        assert run_threads([ask_status, print_tickets]) == []
    # The query waits 2 s for a reply that never comes; the front printer's
    # tickets finish meanwhile, since no lock spans both printers.
    assert events == ["front done", "status gave up"]


def test_close_while_another_thread_prints(start_printer):
    virtual, neighbour = start_printer(), start_printer()
    printer = Printer.tcp(virtual.address)
    outcome = []

    def keep_printing():
        try:
            while True:
                printer.text("x" * 200)
        except NotConnected as e:
            outcome.append(e.code)

    with Printer.tcp(neighbour.address) as other:
        thread = threading.Thread(target=keep_printing)
        thread.start()
        wait_until(lambda: "ESC @" in virtual.journal(), what="the first line")
        printer.close()
        thread.join(timeout=10)
        assert not thread.is_alive()
        other.cut()  # the other printer's handle is untouched
    assert outcome in ([ErrorCode.NO_LINK], [ErrorCode.BAD_HANDLE])
    wait_until(lambda: virtual.sessions_ended() == 1 and neighbour.sessions_ended() == 1)
    got = virtual.stop()
    one = line("x" * 200)
    assert got == one * (len(got) // len(one))  # every command whole: close waited for it
    assert neighbour.stop() == CUT

# SPDX-License-Identifier: MIT
"""quorvel.Dummy: a Printer whose bytes stay in memory."""

from __future__ import annotations

import select
import socket
import threading
from typing import Any

from ._printer import Printer


class _Sink:
    """A loopback listener that keeps every byte sent to it.

    A thread drains the socket so that large writes never block the sender;
    :meth:`read` drains it too, under the same lock, so it returns every byte
    of every call that has returned (a loopback write that returned is in the
    receiving socket already).
    """

    def __init__(self) -> None:
        self._listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self._listener.bind(("127.0.0.1", 0))
        self._listener.listen(1)
        self.port: int = self._listener.getsockname()[1]
        self._connection: Any = None
        self._data = bytearray()
        self._lock = threading.Lock()
        self._closed = threading.Event()
        self._thread: Any = None

    def accept(self) -> None:
        self._listener.settimeout(5)
        self._connection, _ = self._listener.accept()
        self._connection.setblocking(False)
        self._listener.close()
        self._thread = threading.Thread(target=self._drain_loop, name="quorvel-dummy", daemon=True)
        self._thread.start()

    def _drain(self) -> None:
        while True:
            try:
                chunk = self._connection.recv(65536)
            except (BlockingIOError, InterruptedError):
                return
            except OSError:
                return
            if not chunk:
                return
            self._data += chunk

    def _drain_loop(self) -> None:
        while not self._closed.is_set():
            try:
                ready, _, _ = select.select([self._connection], [], [], 0.1)
            except (OSError, ValueError):
                return
            if ready:
                with self._lock:
                    if self._closed.is_set():
                        return
                    self._drain()

    def read(self) -> bytes:
        with self._lock:
            if self._connection is not None and not self._closed.is_set():
                self._drain()
            return bytes(self._data)

    def clear(self) -> None:
        with self._lock:
            if self._connection is not None and not self._closed.is_set():
                self._drain()
            self._data.clear()

    def close(self) -> None:
        with self._lock:
            if self._connection is not None and not self._closed.is_set():
                self._drain()
            self._closed.set()
        if self._thread is not None:
            self._thread.join()
        if self._connection is not None:
            self._connection.close()
        self._listener.close()


class Dummy(Printer):
    """A :class:`Printer` that prints nothing: its bytes stay in :attr:`output`.

    Every call goes through the library as for a real printer (same checks,
    same bytes, same errors); the link is a loopback socket that this object
    reads itself. Status queries get no reply (:class:`NoReply`). Like every
    Printer it is a printer handle of its own, open until :meth:`close`::

        with quorvel.Dummy() as d:
            d.text("Total 11,50")
            d.cut()
            assert b"Total 11,50" in d.output
    """

    def __init__(self, model: int = 0) -> None:
        sink = _Sink()
        super().__init__("tcp", f"memory (127.0.0.1:{sink.port})", model)
        try:
            self._open_with(self._need("quorvel_printer_open_tcp"), b"127.0.0.1", sink.port,
                            model)
            sink.accept()
        except BaseException:
            if not self.closed:
                Printer.close(self)
            sink.close()
            raise
        self._sink = sink

    @property
    def output(self) -> bytes:
        """Every byte sent so far (also after :meth:`close`)."""
        return self._sink.read()

    def clear(self) -> None:
        """Forget the bytes sent so far."""
        self._sink.clear()

    def close(self) -> None:
        """Close the link; :attr:`output` keeps its bytes. Closing twice does nothing."""
        was_open = not self.closed
        super().close()
        if was_open:
            self._sink.close()

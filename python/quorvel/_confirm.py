# SPDX-License-Identifier: MIT
"""Confirmed printing, receipt blocks and bytes sent as they are: the part of
:class:`quorvel.Printer` built on quorvel_printer_confirm, _begin, _end and _write."""

from __future__ import annotations

import threading
from typing import Any, Optional, Union

from . import _log
from ._enums import ConfirmLevel
from ._errors import NotConnected, NotWritten, PrinterError

BytesLike = Union[bytes, bytearray, memoryview]

#: Seconds :meth:`Printer.confirm` and a confirmed receipt block wait by default:
#: room for a long receipt's printing time; a held printer is reported within 1 s.
DEFAULT_TIMEOUT = 10.0

# Cut commands a receipt's bytes may end with (GS V m, GS V m n, ESC i, ESC m):
# a receipt block adds no second cut after them.
_CUT_ENDINGS = (b"\x1dV\x00", b"\x1dV0", b"\x1dV\x01", b"\x1dV1", b"\x1bi", b"\x1bm")
_CUT_WITH_FEED = (b"\x1dVA", b"\x1dVB", b"\x1dVa", b"\x1dVb")


def _ends_with_cut(data: bytes) -> bool:
    return data.endswith(_CUT_ENDINGS) or data[-4:-1] in _CUT_WITH_FEED


def _milliseconds(timeout: Any) -> int:
    if isinstance(timeout, bool) or not isinstance(timeout, (int, float)) \
            or not 0.001 <= timeout <= 2_000_000:
        raise ValueError(f"timeout must be seconds from 0.001 to 2000000, not {timeout!r}")
    return max(1, round(timeout * 1000))


class ReceiptBlock:
    """What ``with printer.receipt(...)`` gives: the block's outcome.

    ``level`` is the :class:`ConfirmLevel` of a confirmed block once it ended
    well (None before, and for a block without ``confirm``).
    """

    def __init__(self, printer: Any, confirm: bool, timeout: float, cut: bool) -> None:
        self._printer = printer
        self._timeout_ms = _milliseconds(timeout) if confirm else 0
        self._cut = cut
        self.level: Optional[ConfirmLevel] = None

    def __enter__(self) -> "ReceiptBlock":
        self._printer._open_block()
        return self

    def __exit__(self, exc_type: Any, exc: Any, tb: Any) -> None:
        level = self._printer._close_block(exc_type is None, self._cut, self._timeout_ms)
        if level is not None:
            self.level = level


class ConfirmMixin:
    """Printer methods for confirmed printing; see :class:`quorvel.Printer`."""

    _handle: Optional[int]
    _where: str

    def _init_confirm(self) -> None:
        # Held by the thread whose receipt block is open (and, while library
        # messages are captured, around each call: a call waiting inside the
        # library for another thread's block must not hold the capture's lock).
        self._hold = threading.RLock()
        self._block_thread: Optional[int] = None
        self._cut_last = False  # the block's last command so far was a cut

    def _call(self, function: Any, *args: Any) -> Any:
        if _log._capture is None:
            return function(*args)
        with self._hold:
            return _log.call(function, *args)

    # ---- confirmed printing -------------------------------------------

    def confirm(self, timeout: float = DEFAULT_TIMEOUT) -> ConfirmLevel:
        """Wait until everything sent on this Printer so far has printed.

        The printer is asked to report when it has printed up to here (a
        process ID, GS ( H); status is polled meanwhile, so a held printer is
        reported within about a second.

        :param timeout: seconds to wait at most for the printing to end.
        :returns: :attr:`ConfirmLevel.PRINTED`, or :attr:`ConfirmLevel.ARRIVED`
            from a printer that can only say the bytes reached it.
        :raises Held: paper out, cover open or an error: the receipt waits in
            the printer. Tell the operator, then call ``confirm()`` again (it
            waits for the same receipt); never send the receipt again.
        :raises OutcomeUnknown: the link dropped or the printer stopped
            answering: reprint the receipt marked "COPY" on a new Printer.
        :raises CannotConfirm: the printer or link cannot tell.
        """
        ms = _milliseconds(timeout)
        handle = self._handle
        if handle is None:
            raise self._closed()  # type: ignore[attr-defined]
        if self._block_thread == threading.get_ident():
            raise RuntimeError("confirm() inside a receipt block: nothing of the receipt is "
                               "sent yet; use receipt(confirm=True)")
        function = self._need("quorvel_printer_confirm")  # type: ignore[attr-defined]
        if self._call(function, handle, ms) != 1:
            raise self._failure(PrinterError, "quorvel_printer_confirm")  # type: ignore[attr-defined]
        return self._confirm_level(handle)

    def _confirm_level(self, handle: int) -> ConfirmLevel:
        level = self._need("quorvel_printer_confirm_level")(handle)  # type: ignore[attr-defined]
        try:
            return ConfirmLevel(level)
        except ValueError:
            raise PrinterError(f"the library reports confirm level {level}, which this "
                               f"package does not know") from None

    # ---- receipt blocks -----------------------------------------------

    def receipt(self, confirm: bool = False, timeout: float = DEFAULT_TIMEOUT,
                cut: bool = True) -> ReceiptBlock:
        """A receipt as one block: ``with printer.receipt(confirm=True): ...``.

        The calls inside the block collect into one buffer, which goes to the
        printer in one write when the block ends: a receipt printed from one
        thread is never mixed with another thread's calls on the same Printer,
        which wait until the block ends. The block ends with a cut unless its
        last call was :meth:`cut` (or bytes written that end with one).

        :param confirm: wait until the receipt has printed, as :meth:`confirm`
            does, raising :class:`Held`, :class:`OutcomeUnknown` or
            :class:`CannotConfirm` from the ``with`` statement.
        :param timeout: seconds the confirmation waits at most.
        :param cut: False ends the block without adding a cut.

        When the block raises, nothing of it is sent. A block cannot be
        opened inside another on the same Printer (``RuntimeError``).
        """
        if self._handle is None:
            raise self._closed()  # type: ignore[attr-defined]
        return ReceiptBlock(self, confirm, timeout, cut)

    def _open_block(self) -> None:
        self._hold.acquire()
        try:
            if self._block_thread == threading.get_ident():
                raise RuntimeError("a receipt block is already open on this Printer "
                                   "in this thread; end it first")
            handle = self._handle
            if handle is None:
                raise self._closed()  # type: ignore[attr-defined]
            begin = self._need("quorvel_printer_begin")  # type: ignore[attr-defined]
            if _log.call(begin, handle) != 1:
                raise self._failure(NotConnected, "quorvel_printer_begin")  # type: ignore[attr-defined]
            self._block_thread = threading.get_ident()
            self._cut_last = False
        except BaseException:
            self._hold.release()
            raise

    def _close_block(self, send: bool, cut: bool, timeout_ms: int) -> Optional[ConfirmLevel]:
        try:
            handle = self._handle
            if handle is None:
                if send:
                    raise NotConnected(f"the printer at {self._where} was closed during the "
                                       f"receipt block; nothing of it was sent", 26)
                return None
            end = self._need("quorvel_printer_end")  # type: ignore[attr-defined]
            cancel = self._need("quorvel_printer_cancel")  # type: ignore[attr-defined]
            if not send:
                _log.call(cancel, handle)  # the block raised: none of it goes out
                return None
            try:
                if cut and not self._cut_last:
                    self.cut()  # type: ignore[attr-defined]
            except BaseException:
                _log.call(cancel, handle)
                raise
            if _log.call(end, handle, timeout_ms) != 1:
                raise self._failure(PrinterError, "quorvel_printer_end")  # type: ignore[attr-defined]
            return self._confirm_level(handle) if timeout_ms else None
        finally:
            self._block_thread = None
            self._hold.release()

    # ---- bytes as they are ------------------------------------------------

    def write(self, data: BytesLike) -> None:
        """Send bytes exactly as they are: no ``ESC @`` before, no ``LF`` after,
        any length (a large write goes out in bounded pieces).

        For a receipt built on a :class:`Dummy`::

            with quorvel.Dummy() as d:
                print_sale(d, items)
            with printer.receipt(confirm=True):
                printer.write(d.output)       # the whole receipt in one write

        :param data: bytes, bytearray or memoryview; empty sends nothing.
        """
        if not isinstance(data, (bytes, bytearray, memoryview)):
            raise TypeError(f"write() takes bytes, not {type(data).__name__}")
        payload = bytes(data)
        if not payload:
            return
        handle = self._handle
        if handle is None:
            raise self._closed()  # type: ignore[attr-defined]
        function = self._need("quorvel_printer_write")  # type: ignore[attr-defined]
        if self._call(function, handle, payload, len(payload)) != 1:
            raise self._failure(NotWritten, "quorvel_printer_write")  # type: ignore[attr-defined]
        self._cut_last = _ends_with_cut(payload)

# SPDX-License-Identifier: MIT
"""Exceptions raised when the library reports a failure, and its outcome codes."""

from __future__ import annotations

import enum
from typing import Dict, Optional, Type


class ErrorCode(enum.IntEnum):
    """The library's outcome codes, as :func:`quorvel._native.last_error` reports them."""

    OK = 0
    NO_LINK = 1
    ALREADY_OPEN = 2
    BAD_ADDRESS = 3
    BAD_PORT = 4
    REFUSED = 5
    TIMED_OUT = 6
    UNREACHABLE = 7
    PORT_NOT_FOUND = 8
    PERMISSION_DENIED = 9
    PORT_BUSY = 10
    NOT_SERIAL = 11
    SETTINGS_NOT_APPLIED = 12
    BAD_SPEED = 13
    WRITE_FAILED = 14
    LINK_CLOSED = 15
    TOO_LONG = 16
    NULL_INPUT = 17
    BAD_LIST_ITEM = 18
    NO_REPLY = 19
    BAD_ARGUMENT = 20
    IMAGE_TOO_WIDE = 21
    NOT_CP1252 = 22
    BAD_UTF8 = 23
    BUFFER_TOO_SMALL = 24
    SYSTEM = 25
    BAD_HANDLE = 26
    QUEUE_NOT_FOUND = 27
    QUEUE_PAUSED = 28
    JOB_REFUSED = 29
    NO_STATUS_ON_QUEUE = 30
    DEVICE_BUSY = 31
    BAD_BARCODE_DATA = 32
    HELD = 33
    OUTCOME_UNKNOWN = 34
    CANNOT_CONFIRM = 35


class PrinterError(Exception):
    """A call the printer did not carry out.

    ``code`` is the library's :class:`ErrorCode` (an int; ``ErrorCode.OK``
    when the library gave none) and ``message`` its one-line reason, which
    names the address or port and the system's reason.
    """

    def __init__(self, message: str, code: int = 0) -> None:
        super().__init__(message)
        self.message = message
        try:
            self.code: int = ErrorCode(code)
        except ValueError:
            self.code = code

    def __str__(self) -> str:
        name = self.code.name if isinstance(self.code, ErrorCode) else str(self.code)
        return f"{self.message} [{name}]" if self.code else self.message


class NotConnected(PrinterError):
    """No link is open: the Printer was closed (also while the call was on its way)."""


class ConnectFailed(PrinterError):
    """The link could not be opened: refused, timed out, no such port, busy, …"""


class NotWritten(PrinterError):
    """The command did not reach the printer whole: the write failed or the link closed."""


class NoReply(PrinterError):
    """The printer did not answer a status query within 2 s, or answered nothing known."""


class InputRefused(PrinterError, ValueError):
    """The library refused the input (too long, not a number, image too wide, …); nothing was sent."""


class Held(PrinterError):
    """The receipt waits inside the printer: paper out, cover open or an error
    (the message names it). Tell the operator, then call
    :meth:`Printer.confirm` again: it waits for the same receipt. Never send
    the receipt again; it prints once the cause is cleared."""


class OutcomeUnknown(PrinterError):
    """The link dropped, or the printer stopped answering, after the receipt
    was sent: it may or may not have printed. Open the printer again and
    reprint the receipt marked as a copy ("COPY")."""


class CannotConfirm(PrinterError):
    """This printer (or link) cannot say whether a receipt printed: it does
    not answer the process ID query. The receipt was sent; check the paper."""


_BY_CODE: Dict[int, Type[PrinterError]] = {
    ErrorCode.NO_LINK: NotConnected,
    ErrorCode.BAD_HANDLE: NotConnected,
    ErrorCode.WRITE_FAILED: NotWritten,
    ErrorCode.LINK_CLOSED: NotWritten,
    ErrorCode.NO_REPLY: NoReply,
    ErrorCode.HELD: Held,
    ErrorCode.OUTCOME_UNKNOWN: OutcomeUnknown,
    ErrorCode.CANNOT_CONFIRM: CannotConfirm,
}
for _code in (ErrorCode.ALREADY_OPEN, ErrorCode.BAD_ADDRESS, ErrorCode.BAD_PORT,
              ErrorCode.REFUSED, ErrorCode.TIMED_OUT, ErrorCode.UNREACHABLE,
              ErrorCode.PORT_NOT_FOUND, ErrorCode.PERMISSION_DENIED, ErrorCode.PORT_BUSY,
              ErrorCode.NOT_SERIAL, ErrorCode.SETTINGS_NOT_APPLIED, ErrorCode.BAD_SPEED):
    _BY_CODE[_code] = ConnectFailed
for _code in (ErrorCode.TOO_LONG, ErrorCode.NULL_INPUT, ErrorCode.BAD_LIST_ITEM,
              ErrorCode.BAD_ARGUMENT, ErrorCode.IMAGE_TOO_WIDE, ErrorCode.NOT_CP1252,
              ErrorCode.BAD_UTF8, ErrorCode.BUFFER_TOO_SMALL, ErrorCode.BAD_BARCODE_DATA):
    _BY_CODE[_code] = InputRefused


def error_for(code: int, message: str, default: Type[PrinterError],
              what: Optional[str] = None) -> PrinterError:
    """The exception for a failed call: its class from the code, else ``default``.

    A status query whose link the printer closed raises ``default`` (NoReply):
    the question was sent, the answer never came.
    """
    cls = _BY_CODE.get(code, default)
    if default is NoReply and code == ErrorCode.LINK_CLOSED:
        cls = NoReply
    if not message or message == "ok":
        message = f"{what or 'the call'} failed"
    return cls(message, code)

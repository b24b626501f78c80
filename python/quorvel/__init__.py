# SPDX-License-Identifier: MIT
"""Quorvel for Python: print receipts on ESC/POS printers through the Quorvel library.

    from quorvel import Printer

    with Printer.tcp("127.0.0.1") as printer:  # the printer's address
        printer.text("Hello", align="center", bold=True)
        printer.cut()

Failures raise :class:`PrinterError` subclasses; see :class:`Printer`.
"""

from ._enums import (HRI, Align, Barcode, ConfirmLevel, DrawerStatus, Font, LogoSize, QrCommands,
                     QrLevel, Status, Style)
from ._errors import (CannotConfirm, ConnectFailed, ErrorCode, Held, InputRefused, NoReply,
                      NotConnected, NotWritten, OutcomeUnknown, PrinterError)
from ._log import capture_library_messages
from ._native import library_path
from ._confirm import ReceiptBlock
from ._printer import FullStatus, Printer
from ._dummy import Dummy

__version__ = "1.2.0"

__all__ = [
    "Printer", "Dummy", "FullStatus", "ReceiptBlock", "ConfirmLevel",
    "Align", "Font", "Style", "Barcode", "HRI", "QrLevel", "QrCommands", "LogoSize",
    "Status", "DrawerStatus",
    "PrinterError", "NotConnected", "ConnectFailed", "NotWritten", "NoReply", "InputRefused",
    "Held", "OutcomeUnknown", "CannotConfirm",
    "ErrorCode",
    "capture_library_messages", "library_path",
]

# SPDX-License-Identifier: MIT
"""The choices a Printer method accepts, as enums (plain strings work too where noted)."""

from __future__ import annotations

import enum


class Align(enum.IntEnum):
    """Justification: also accepted as ``"left"``, ``"center"`` (``"centre"``), ``"right"``."""

    LEFT = 0
    CENTER = 1
    RIGHT = 2


class Font(enum.IntEnum):
    """Character font: font A is 12 x 24 dots, font B smaller. Also ``"a"`` and ``"b"``."""

    A = 0
    B = 1


class Style(enum.IntEnum):
    """Combined print mode of :meth:`Printer.formatted` (one ESC ! byte each)."""

    UNDERLINE = 0
    FONT_B = 1
    BOLD = 3
    DOUBLE_HEIGHT = 4
    DOUBLE = 5  # double height and double width


class Barcode(enum.IntEnum):
    """Linear barcode symbologies of :meth:`Printer.barcode`."""

    UPC_A = 0
    UPC_E = 1
    EAN13 = 2
    EAN8 = 3
    CODE39 = 4
    ITF = 5
    CODABAR = 6
    CODE93 = 7
    CODE128 = 8
    GS1_128 = 9


class HRI(enum.IntEnum):
    """Where the human-readable characters of a barcode go."""

    NONE = 0
    ABOVE = 1
    BELOW = 2
    BOTH = 3


class QrLevel(enum.IntEnum):
    """QR Code error correction level. Also ``"L"``, ``"M"``, ``"Q"``, ``"H"``."""

    L = 0
    M = 1
    Q = 2
    H = 3


class QrCommands(enum.Enum):
    """The command set that prints a QR Code: ``GS ( k`` functions, or ``GS Z`` with ``ESC Z``."""

    GS_K = "gs(k"
    ESC_Z = "escz"


class LogoSize(enum.IntEnum):
    """Print mode of a stored logo."""

    NORMAL = 0
    DOUBLE_WIDTH = 1
    DOUBLE_HEIGHT = 2
    QUADRUPLE = 3


class Status(enum.IntEnum):
    """What :meth:`Printer.status` reads, by the table of the printer model.

    Models 0, 1 and 3 ask DLE EOT 1: ``READY`` (reply 12), ``OFFLINE`` (1A),
    ``OFFLINE_PIN3_HIGH`` (1E), ``PIN3_HIGH`` (16; model 0 also for any reply
    it does not know). Model 2 asks ESC v: ``OFFLINE_PIN3_HIGH`` for reply 04,
    ``PIN3_HIGH`` for 00.
    """

    OFFLINE = 5
    OFFLINE_PIN3_HIGH = 9
    PIN3_HIGH = 24
    READY = 32


class DrawerStatus(enum.IntEnum):
    """Drawer connector pin 3: ``CLOSED`` when low, ``OPEN`` when high (most drawers)."""

    CLOSED = 1
    OPEN = 2


class ConfirmLevel(enum.IntEnum):
    """What a confirmation that succeeded vouches for (:meth:`Printer.confirm`)."""

    NONE = 0     # no confirmation yet
    PRINTED = 1  # the printer answered the process ID: the receipt printed
    ARRIVED = 2  # a printer without process IDs: the bytes reached it and were processed
    SPOOLED = 3  # a queue link: the spooler took the job; the printer behind it cannot be asked

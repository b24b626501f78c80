# SPDX-License-Identifier: MIT
"""quorvel.Printer: one receipt printer over TCP or a serial port."""

from __future__ import annotations

import ctypes
import dataclasses
import os
import threading
from typing import Any, Callable, Dict, Mapping, Optional, Sequence, Set, Tuple, Type, Union

from . import _log, _native
from ._confirm import ConfirmMixin
from ._enums import (HRI, Align, Barcode, DrawerStatus, Font, LogoSize, QrCommands, QrLevel,
                     Status, Style)
from ._errors import (ConnectFailed, ErrorCode, InputRefused, NoReply, NotConnected, NotWritten,
                      PrinterError, error_for)

TextLike = Union[str, bytes, bytearray, memoryview]
AlignLike = Union[Align, str, int]
ImageSource = Any  # a path, a PIL image, or greyscale bytes

_lib = _native.direct
_printer_text = getattr(_lib, "quorvel_printer_text", None)

_ALIGN: Dict[str, int] = {"left": 0, "center": 1, "centre": 1, "right": 2}
_FONT: Dict[str, int] = {"a": 0, "b": 1}
# One lookup for the usual spellings; anything else takes the checking path.
_ALIGN_FAST: Dict[Any, int] = {**_ALIGN, **{m: int(m) for m in Align}}
_FONT_FAST: Dict[Any, int] = {**_FONT, **{m: int(m) for m in Font}}
_QR_LEVEL: Dict[str, int] = {"l": 0, "m": 1, "q": 2, "h": 3}
# Line spacing in dots (ESC 3 n) -> the library's spacing index.
_SPACING: Dict[int, int] = {32: 0, 40: 1, 48: 2, 53: 3, 64: 4, 69: 5, 21: 6}
# Bar height in dots (GS h n) -> the library's height selector.
_BAR_HEIGHT: Dict[int, int] = {32: 0, 50: 1, 80: 2}
# ImprimeCodigoBarras_C takes at most this many bytes of data.
_BARCODE_MAX = 93
_SERIAL_SPEEDS = (1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600)

_open_lock = threading.Lock()
_open_printers: Set["Printer"] = set()  # every Printer whose handle is open


def _pick(value: Any, strings: Mapping[str, int], enum_cls: Any, name: str) -> int:
    """The int behind an enum member, a plain int of one, or a name (any case)."""
    if isinstance(value, str):
        number = strings.get(value.lower())
        if number is None and value.upper() in enum_cls.__members__:
            number = int(enum_cls.__members__[value.upper()])
        if number is None:
            names = sorted(set(strings) | {m.lower() for m in enum_cls.__members__})
            raise ValueError(f"{name} must be one of {', '.join(map(repr, names))}, "
                             f"not {value!r}")
        return number
    try:
        if isinstance(value, bool):
            raise TypeError
        return int(enum_cls(value))
    except (ValueError, TypeError):
        accepted = ", ".join(f"{enum_cls.__name__}.{m.name}" for m in enum_cls)
        raise ValueError(f"{name} must be one of {accepted}, not {value!r}") from None


def _in(value: Any, accepted: Sequence[int], name: str, unit: str = "") -> int:
    if isinstance(value, bool) or not isinstance(value, int) or value not in accepted:
        if isinstance(accepted, range):
            allowed = f"{accepted.start} to {accepted.stop - 1}"
        else:
            allowed = ", ".join(map(str, accepted))
        raise ValueError(f"{name} must be {allowed}{unit}, not {value!r}")
    return value


def _text(value: TextLike, name: str = "text") -> bytes:
    try:
        data = value.encode("cp1252") if type(value) is str else _native.encode_text(value)
    except UnicodeEncodeError:
        data = _native.encode_text(value)  # raises, naming the character
    if b"\0" in data:
        raise ValueError(f"{name} holds a NUL character at position {data.index(0)}; "
                         "the printer would stop reading there")
    return data


@dataclasses.dataclass(frozen=True)
class FullStatus:
    """Every status field the printer reports (DLE EOT 1 to 4).

    Each field is True or False, or None when the reply that carries it did
    not come; ``raw`` holds the four reply bytes (None where missing).
    """

    online: Optional[bool]
    drawer_pin3: Optional[bool]
    waiting_recovery: Optional[bool]
    feed_button: Optional[bool]
    cover_open: Optional[bool]
    paper_feeding: Optional[bool]
    stopped_paper_end: Optional[bool]
    error: Optional[bool]
    recoverable_error: Optional[bool]
    autocutter_error: Optional[bool]
    unrecoverable_error: Optional[bool]
    auto_recoverable_error: Optional[bool]
    paper_near_end: Optional[bool]
    paper_out: Optional[bool]
    raw: Tuple[Optional[int], Optional[int], Optional[int], Optional[int]]

    @property
    def complete(self) -> bool:
        """True when all four replies came."""
        return None not in self.raw


class Printer(ConfirmMixin):
    """One receipt printer. Open it with :meth:`tcp`, :meth:`serial`,
    :meth:`queue` or :meth:`device`.

    Each Printer is a handle of its own in the library, with its own link: any
    number are open at once (a receipt, a kitchen and a bar printer), and each
    can be used from several threads. Calls on one Printer run one after the
    other; calls on different Printers run in parallel, and a printer that
    stalls delays only its own calls. A receipt is many calls: threads that
    share a Printer print each receipt in a :meth:`receipt` block, which sends
    it whole and alone. :meth:`confirm` tells whether it printed, is
    :class:`Held` or may be lost (:class:`OutcomeUnknown`). Use it as a context manager, or call
    :meth:`close`. Every method sends one
    command whole (``code128(split=True)`` and ``image()`` send several) and
    returns None; when the printer did not get it, it raises a
    :class:`PrinterError`: :class:`NotConnected`, :class:`NotWritten`,
    :class:`NoReply`, or :class:`InputRefused` (a :class:`ValueError`) for input
    the library refuses. Arguments outside their accepted values raise
    :class:`ValueError` before anything is sent. Text given as ``str`` is
    encoded to Windows-1252 (the code table the text commands select);
    ``bytes`` go out unchanged.
    """

    def __init__(self, kind: str, where: str, model: int = 0) -> None:
        self._kind = kind
        self._where = where
        self._model = model
        self._handle: Optional[int] = None  # the library's quorvel_printer*, while open
        self._init_confirm()

    # ---- links -------------------------------------------------------

    @classmethod
    def tcp(cls, address: str, port: int = 9100, model: int = 0) -> "Printer":
        """Connect to a network printer.

        :param address: IPv4 (``"192.168.0.50"``) or IPv6 (``"::1"``) literal;
            host names are refused (resolving them can block without limit).
        :param port: TCP port, 1 to 65535.
        :param model: printer model number 0 to 3 (selects the :meth:`status` query).
        :raises ConnectFailed: refused, timed out (5 s), or bad address.
        """
        _in(port, range(1, 65536), "port")
        _in(model, range(4), "model")
        address_bytes = _text(address, "address")
        printer = cls("tcp", f"{address}:{port}", model)
        printer._open_with(printer._need("quorvel_printer_open_tcp"), address_bytes, port, model)
        return printer

    @classmethod
    def serial(cls, port: str, baud: int = 115200, model: int = 0) -> "Printer":
        """Open a printer on a serial port.

        :param port: device name, e.g. ``"/dev/ttyUSB0"`` (``"COM3"`` on Windows).
        :param baud: 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200,
            230400, 460800 or 921600 bit/s; 8 data bits, no parity, 1 stop bit.
        :param model: printer model number 0 to 3.
        :raises ConnectFailed: no such port, permission denied, busy (held by
            another Printer or program), not a serial device, or settings refused.
        """
        _in(baud, _SERIAL_SPEEDS, "baud")
        _in(model, range(4), "model")
        port_bytes = _text(os.fspath(port), "port")
        printer = cls("serial", str(port), model)
        printer._open_with(printer._need("quorvel_printer_open_serial"), port_bytes, baud, model)
        return printer

    @classmethod
    def queue(cls, name: str, model: int = 0) -> "Printer":
        """Open a printer behind the system's spooler: a CUPS queue
        (``lpstat -p`` lists them) or a printer of Windows' printer list.

        Commands collect into one RAW job that goes to the queue at each
        :meth:`cut`, at :meth:`flush` and at :meth:`close`. Status queries
        raise :class:`NoReply` (code ``NO_STATUS_ON_QUEUE``): spoolers pass
        no replies back.

        :raises ConnectFailed: no such queue (``QUEUE_NOT_FOUND``), the queue
            is paused (``QUEUE_PAUSED``).
        """
        _in(model, range(4), "model")
        printer = cls("queue", name, model)
        printer._open_with(printer._need("quorvel_printer_open_queue"), _text(name, "name"), model)
        return printer

    @classmethod
    def spool(cls, url: str, name: str, model: int = 0) -> "Printer":
        """Open printer ``name`` behind a print service (quorvel-spool) at
        ``url``, e.g. ``Printer.spool("http://127.0.0.1:8631", "kitchen")``.

        As on a queue, commands collect into one job, handed to the service
        at each :meth:`cut`, at :meth:`flush` and at :meth:`close`; the call
        returns once the service has stored it. Status comes from the
        service's last reading of the printer.

        :raises ConnectFailed: a malformed URL or name, no service there, or
            no such printer (codes 36 to 38, the message says which).
        """
        _in(model, range(4), "model")
        printer = cls("spool", "%s %s" % (url, name), model)
        printer._open_with(printer._need("quorvel_printer_open_spool"), _text(url, "url"),
                           _text(name, "name"), model)
        return printer

    @classmethod
    def device(cls, path: str, model: int = 0) -> "Printer":
        """Open a printer-class device on Linux, e.g. ``"/dev/usb/lp0"``.

        :raises ConnectFailed: no such device, permission denied (the message
            names the device's group), or busy (``DEVICE_BUSY``).
        """
        _in(model, range(4), "model")
        path_bytes = _text(os.fspath(path), "path")
        printer = cls("device", str(path), model)
        printer._open_with(printer._need("quorvel_printer_open_device"), path_bytes, model)
        return printer

    def flush(self) -> None:
        """Send the job a queue link has collected so far (nothing to do on
        other links, where every command goes out at once).

        :raises NotWritten: the spooler refused the job, or the queue is paused.
        """
        self._send(self._need("quorvel_printer_flush"))


    def _open_with(self, function: Callable[..., Optional[int]], *args: Any) -> None:
        handle = _log.call(function, *args)
        if not handle:
            # A serial port that opened but refused its settings is let go by the library.
            raise self._failure(ConnectFailed, f"opening {self._where}")
        self._handle = handle
        with _open_lock:
            _open_printers.add(self)

    def close(self) -> None:
        """Close the link. Closing twice does nothing.

        A call on this Printer in another thread is let finish first (within
        its time-out); calls after the close raise :class:`NotConnected`.

        :raises NotWritten: on a queue link, the spooler refused the last job
            (the Printer is closed all the same).
        """
        with _open_lock:
            handle, self._handle = self._handle, None
            _open_printers.discard(self)
        if handle is not None:
            if _log.call(_lib.quorvel_printer_close, handle) != 1 and self._kind == "queue":
                raise self._failure(NotWritten, "the queue's last job")

    @property
    def closed(self) -> bool:
        """True once :meth:`close` ran (or the link never opened)."""
        return self._handle is None

    def __enter__(self) -> "Printer":
        return self

    def __exit__(self, *exc: Any) -> None:
        self.close()

    def __repr__(self) -> str:
        return f"<quorvel.Printer {self._kind} {self._where}{' closed' if self._handle is None else ''}>"

    # ---- calls -------------------------------------------------------

    def _failure(self, default: Type[PrinterError], what: str) -> PrinterError:
        code, message = _native.last_error()
        return error_for(code, message, default, what)

    def _closed(self) -> NotConnected:
        return NotConnected(f"the printer at {self._where} is closed", ErrorCode.NO_LINK)

    def _send(self, function: Callable[..., int], *args: Any) -> None:
        handle = self._handle
        if handle is None:
            raise self._closed()
        if self._call(function, handle, *args) != 1:
            raise self._failure(NotWritten, function.__name__)
        self._cut_last = False

    @staticmethod
    def _need(name: str) -> Callable[..., int]:
        function = getattr(_lib, name, None)
        if function is None:
            raise PrinterError(f"the library at {_native.library_path} is older than this "
                               f"package: it has no {name}")
        return function

    # ---- text --------------------------------------------------------

    def text(self, s: TextLike, align: AlignLike = "left", bold: bool = False,
             font: Union[Font, str] = "a", spacing: int = 32, upside_down: bool = False,
             reverse: bool = False, feed: int = 0) -> None:
        """Print one line of text (it wraps at the paper's edge).

        :param s: the text; ``str`` is encoded to Windows-1252.
        :param align: ``"left"``, ``"center"``, ``"right"`` or an :class:`Align`.
        :param bold: emphasised strokes. Not with ``reverse``.
        :param font: ``"a"`` (12 x 24 dots) or ``"b"`` (smaller), or a :class:`Font`.
        :param spacing: line spacing in dots: 21, 32, 40, 48, 53, 64 or 69.
        :param upside_down: print the line turned by 180 degrees.
        :param reverse: white on black. Not with ``upside_down``.
        :param feed: 0 ends the line with one line feed; 1 to 255 print it and
            feed that many lines (so 3 leaves two empty lines). Only for
            upright, non-reversed text.
        """
        data = _text(s)
        j = _ALIGN_FAST.get(align) if type(align) is not bool else None
        if j is None:
            j = _pick(align, _ALIGN, Align, "align")
        f = _FONT_FAST.get(font) if type(font) is not bool else None
        if f is None:
            f = _pick(font, _FONT, Font, "font")
        n = _SPACING.get(spacing) if type(spacing) is int else None
        if n is None:
            n = _SPACING[_in(spacing, sorted(_SPACING), "spacing", " dots")]
        if upside_down or reverse or feed:
            if upside_down and reverse:
                raise ValueError("text cannot be upside down and reversed at once")
            if reverse and bold:
                raise ValueError("reversed (white on black) text has no bold variant")
            if feed:
                _in(feed, range(256), "feed", " lines")
                if upside_down or reverse:
                    raise ValueError("feed works with upright, non-reversed text only")
                self._send(_lib.quorvel_printer_text_feed, data, j, f, n, 1 if bold else 0, feed)
            elif upside_down:
                self._send(_lib.quorvel_printer_text_upside_down, data, j, f, n, 1 if bold else 0)
            else:
                self._send(_lib.quorvel_printer_text_inverted, data, j, f, n)
            return
        handle = self._handle
        if handle is not None and _log._capture is None:  # the common case, without a detour
            if _printer_text(handle, data, j, f, n, 1 if bold else 0) != 1:
                raise self._failure(NotWritten, "quorvel_printer_text")
            self._cut_last = False
            return
        self._send(_lib.quorvel_printer_text, data, j, f, n, 1 if bold else 0)

    def formatted(self, s: TextLike, style: Union[Style, int] = Style.DOUBLE,
                  align: AlignLike = "left", spacing: int = 32) -> None:
        """Print one line in a combined print mode.

        :param s: the text; ``str`` is encoded to Windows-1252.
        :param style: a :class:`Style`: ``UNDERLINE``, ``FONT_B``, ``BOLD``,
            ``DOUBLE_HEIGHT`` or ``DOUBLE`` (double height and width).
        :param align: ``"left"``, ``"center"``, ``"right"`` or an :class:`Align`.
        :param spacing: line spacing in dots: 21, 32, 40, 48, 53, 64 or 69.
        """
        data = _text(s)
        mode = _pick(style, {}, Style, "style")
        j = _pick(align, _ALIGN, Align, "align")
        n = _SPACING[_in(spacing, sorted(_SPACING), "spacing", " dots")]
        self._send(_lib.quorvel_printer_formatted_text, data, j, n, mode)

    # ---- barcodes and symbols ----------------------------------------

    def barcode(self, data: TextLike, kind: Union[Barcode, int] = Barcode.EAN13,
                height: int = 80, width: int = 2, hri: Union[HRI, int] = HRI.BELOW,
                align: AlignLike = "center") -> None:
        """Print a linear barcode (GS k, the form with a length byte).

        :param data: what the bars hold, checked against its symbology's
            fixed rules before anything is sent (EAN13: 12 or 13 digits with
            the right check digit, CODE39: upper case, ITF: an even number of
            digits, …); data that breaks one raises :class:`InputRefused`, a
            ``ValueError`` naming the rule. For ``CODE128`` data that does not
            start with a code set (``{A``, ``{B``, ``{C``) is sent in code set B.
        :param kind: a :class:`Barcode`.
        :param height: bar height in dots: 32, 50 or 80.
        :param width: module width in dots: 1, 2 or 3.
        :param hri: where the human-readable digits go, an :class:`HRI`.
        :param align: ``"left"``, ``"center"``, ``"right"`` or an :class:`Align`.
        """
        payload = _text(data, "data")
        symbology = _pick(kind, {}, Barcode, "kind")
        h = _BAR_HEIGHT[_in(height, sorted(_BAR_HEIGHT), "height", " dots")]
        w = _in(width, (1, 2, 3), "width", " dots")
        position = _pick(hri, {}, HRI, "hri")
        j = _pick(align, _ALIGN, Align, "align")
        if not payload:
            raise ValueError("barcode data is empty")
        if symbology == Barcode.CODE128 and payload[:2] not in (b"{A", b"{B", b"{C"):
            payload = b"{B" + payload
        # Longer data is the library's TOO_LONG, refused by the call itself.
        if len(payload) <= _BARCODE_MAX and self._need("quorvel_check_barcode")(
                symbology, payload) != 1:
            raise self._failure(InputRefused, "quorvel_check_barcode")
        self._send(_lib.quorvel_printer_barcode_counted, j, symbology, h, w, position, payload)

    def code128(self, values: Union[str, Sequence[int]], align: AlignLike = "center",
                height: int = 80, split: bool = False, width: int = 2) -> None:
        """Print 44 digits as Code 128 in code set C.

        :param values: 22 numbers 0 to 99 (each two digits), or a string of 44 digits.
        :param align: ``"left"``, ``"center"``, ``"right"`` or an :class:`Align`.
        :param height: bar height in dots: 32, 50 or 80.
        :param split: False prints one symbol (module width 2); True prints
            two symbols of 22 digits each, one under the other.
        :param width: module width in dots, 1, 2 or 3; only 2 without ``split``.
        """
        if isinstance(values, str):
            if len(values) != 44 or not values.isdigit() or not values.isascii():
                raise ValueError("code128 needs exactly 44 digits")
            numbers = [int(values[i:i + 2]) for i in range(0, 44, 2)]
        else:
            numbers = list(values)
            if len(numbers) != 22:
                raise ValueError(f"code128 needs exactly 22 values, not {len(numbers)}")
            for v in numbers:
                _in(v, range(100), "each code128 value")
        j = _pick(align, _ALIGN, Align, "align")
        h = _BAR_HEIGHT[_in(height, sorted(_BAR_HEIGHT), "height", " dots")]
        codes = ",".join(map(str, numbers)).encode("ascii")
        if split:
            self._send(_lib.quorvel_printer_code128_width, codes, j, h, _in(width, (1, 2, 3), "width"))
        else:
            _in(width, (2,), "width (one symbol)", " dots")
            self._send(_lib.quorvel_printer_code128, codes, j, h)

    def qr(self, data: TextLike, size: int = 4, level: Union[QrLevel, str] = "M",
           model: int = 2, command_set: QrCommands = QrCommands.GS_K,
           align: AlignLike = "center") -> None:
        """Print a QR Code.

        :param data: the content; ``str`` is encoded to Windows-1252.
        :param size: module size in dots, 1 to 7.
        :param level: error correction ``"L"``, ``"M"``, ``"Q"``, ``"H"`` or a :class:`QrLevel`.
        :param model: 1 or 2; with ``QrCommands.ESC_Z`` also 0 (the printer chooses).
        :param command_set: ``QrCommands.GS_K`` (GS ( k functions) or ``QrCommands.ESC_Z``.
        :param align: ``"left"``, ``"center"``, ``"right"`` or an :class:`Align`.
        """
        payload = _text(data, "data")
        _in(size, range(1, 8), "size", " dots")
        e = _pick(level, _QR_LEVEL, QrLevel, "level")
        j = _pick(align, _ALIGN, Align, "align")
        if command_set is QrCommands.GS_K:
            _in(model, (1, 2), "model")
            function = _lib.quorvel_printer_qr_code
        elif command_set is QrCommands.ESC_Z:
            _in(model, (0, 1, 2), "model")
            function = _lib.quorvel_printer_qr_code_escz
        else:
            raise ValueError(f"command_set must be a QrCommands member, not {command_set!r}")
        self._send(function, j, model, size, e, payload)

    def pdf417(self, data: TextLike, columns: int = 6, row_height: int = 3, ecc: int = 2,
               align: AlignLike = "center") -> None:
        """Print a PDF417 symbol (GS Z 0, ESC Z).

        :param data: the content; ``str`` is encoded to Windows-1252.
        :param columns: data columns, 1 to 30 (the printer reduces what does not fit).
        :param row_height: row height as a multiple of the module width, 1 to 6.
        :param ecc: error correction level, 0 to 8.
        :param align: ``"left"``, ``"center"``, ``"right"`` or an :class:`Align`.
        """
        payload = _text(data, "data")
        _in(columns, range(1, 31), "columns")
        _in(row_height, range(1, 7), "row_height")
        _in(ecc, range(9), "ecc")
        j = _pick(align, _ALIGN, Align, "align")
        self._send(_lib.quorvel_printer_pdf417_escz, j, columns, row_height, ecc, payload)

    def datamatrix(self, data: TextLike, size: int = 4, align: AlignLike = "center",
                   rows_code: int = 0, columns_code: int = 0) -> None:
        """Print a Data Matrix symbol (GS Z 1, ESC Z).

        :param data: the content; ``str`` is encoded to Windows-1252.
        :param size: module size in dots, 1 to 7.
        :param align: ``"left"``, ``"center"``, ``"right"`` or an :class:`Align`.
        :param rows_code: 0 to 4, sent as the first size byte (00 to 04).
        :param columns_code: 0 to 4, sent as the second size byte (00, 08, 09, 0A, 0B).
            The printer picks a square size that holds the data for these codes.
        """
        payload = _text(data, "data")
        _in(size, range(1, 8), "size", " dots")
        _in(rows_code, range(5), "rows_code")
        _in(columns_code, range(5), "columns_code")
        j = _pick(align, _ALIGN, Align, "align")
        self._send(_lib.quorvel_printer_data_matrix_escz, j, rows_code, columns_code, size, payload)

    # ---- images -------------------------------------------------------

    def image(self, source: ImageSource, dither: bool = True, align: AlignLike = "center",
              width: Optional[int] = None, height: Optional[int] = None) -> None:
        """Print a picture as raster bit images (GS v 0), in bands.

        :param source: a file path or a PIL image (both need Pillow), or 8-bit
            greyscale bytes (0 black to 255 white, row by row) with ``width``
            and ``height``. Transparent pixels print white.
        :param dither: True for Floyd-Steinberg error diffusion, False for a
            50 % threshold (below 128 prints black).
        :param align: ``"left"``, ``"center"``, ``"right"`` or an :class:`Align`.
        :param width: dots per row of raw bytes, 1 to 576.
        :param height: rows of raw bytes.
        :raises InputRefused: wider than 576 dots.
        """
        from ._image import greyscale
        pixels, w, h = greyscale(source, width, height)
        j = _pick(align, _ALIGN, Align, "align")
        function = self._need("quorvel_printer_image")
        self._send(function, pixels, w, h, w, j, 1 if dither else 0)

    def store_logo(self, number: int, source: ImageSource, dither: bool = True,
                   width: Optional[int] = None, height: Optional[int] = None) -> None:
        """Store a picture in the printer's non-volatile memory, for :meth:`logo`.

        Storing replaces every stored image (numbers below ``number`` get a
        blank placeholder), and printers allow only so many writes of that
        memory: store once, not per receipt.

        :param number: image number, 1 to 255.
        :param source: as for :meth:`image`; at most 576 x 2304 dots.
        :param dither: as for :meth:`image`.
        """
        from ._image import greyscale
        _in(number, range(1, 256), "number")
        pixels, w, h = greyscale(source, width, height)
        function = self._need("quorvel_printer_store_logo")
        self._send(function, number, pixels, w, h, w, 1 if dither else 0)

    def logo(self, n: int = 1, align: AlignLike = "center",
             size: Union[LogoSize, int] = LogoSize.NORMAL) -> None:
        """Print stored image ``n`` (FS p), see :meth:`store_logo`.

        :param n: image number, 1 to 255.
        :param align: ``"left"``, ``"center"``, ``"right"`` or an :class:`Align`.
        :param size: a :class:`LogoSize`.
        """
        _in(n, range(1, 256), "n")
        j = _pick(align, _ALIGN, Align, "align")
        mode = _pick(size, {}, LogoSize, "size")
        self._send(_lib.quorvel_printer_logo, n, j, mode)

    # ---- device actions -----------------------------------------------

    def cut(self) -> None:
        """Cut the paper (full cut)."""
        self._send(_lib.quorvel_printer_cut)
        self._cut_last = True

    def open_drawer(self) -> None:
        """Pulse the cash drawer connector (pin 2, 120 ms on, 240 ms off)."""
        self._send(_lib.quorvel_printer_open_drawer)

    def self_test(self) -> None:
        """Print the printer's self-test page."""
        self._send(_lib.quorvel_printer_self_test)

    def raw(self, data: Union[bytes, bytearray, Sequence[int]]) -> None:
        """Send command bytes of your own, 1 to 4096 of them.

        They go out framed as ``ESC @`` + data + ``LF``: the printer is reset
        first and the line is printed after. :meth:`write` sends bytes as they
        are, of any length.

        :param data: bytes, or a sequence of ints 0 to 255.
        """
        values = list(bytes(data)) if isinstance(data, (bytes, bytearray, memoryview)) \
            else list(data)
        if not values:
            raise ValueError("raw() needs at least one byte")
        for v in values:
            _in(v, range(256), "each raw byte")
        self._send(_lib.quorvel_printer_raw, ",".join(map(str, values)).encode("ascii"))

    # ---- status ----------------------------------------------------------

    def _query(self, function: Callable[..., int]) -> int:
        handle = self._handle
        if handle is None:
            raise self._closed()
        code = self._call(function, handle)
        if code == 0:
            error = self._failure(NoReply, function.__name__)
            if not error.code:  # a reply came, but the model's table has no code for it
                error = NoReply(f"the reply of the printer at {self._where} is not in the "
                                f"status table of model {self._model}")
            raise error
        return code

    def status(self) -> Status:
        """The printer's status code by the model's table, a :class:`Status`.

        :raises NoReply: no answer within 2 s, or one the model's table does not know.
        """
        return Status(self._query(_lib.quorvel_printer_status))

    def drawer_status(self) -> DrawerStatus:
        """The drawer connector: :attr:`DrawerStatus.CLOSED` or :attr:`DrawerStatus.OPEN`.

        :raises NoReply: no answer within 2 s.
        """
        return DrawerStatus(self._query(_lib.quorvel_printer_drawer_status))

    def full_status(self) -> FullStatus:
        """Every status field (DLE EOT 1 to 4), the same on every model.

        A reply that did not come leaves its fields None.

        :raises NoReply: none of the four replies came.
        """
        handle = self._handle
        if handle is None:
            raise self._closed()
        function = self._need("quorvel_printer_read_status")
        record = _native.QuorvelStatus()
        complete = self._call(function, handle, ctypes.byref(record))
        raw = tuple(None if b < 0 else b for b in record.raw)
        if not complete and all(b is None for b in raw):
            raise self._failure(NoReply, "quorvel_printer_read_status")
        fields = {f.name: (None if getattr(record, f.name) < 0 else bool(getattr(record, f.name)))
                  for f in dataclasses.fields(FullStatus) if f.name != "raw"}
        return FullStatus(raw=raw, **fields)  # type: ignore[arg-type]

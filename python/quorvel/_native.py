# SPDX-License-Identifier: MIT
"""The shared library, loaded with ctypes, with every exported function declared.

The library is looked for, in this order:

1. the path in the environment variable ``QUORVEL_LIBRARY``;
2. beside this package (a copy bundled by a build step): ``libquorvel.so.1``,
   ``libquorvel.so`` or ``Quorvel.dll`` in the ``quorvel`` directory;
3. the system's search path (``LD_LIBRARY_PATH``, ``ldconfig``; ``PATH`` on Windows).

When none loads, importing :mod:`quorvel` raises one :class:`ImportError`
that lists every place tried and why it failed.

Every function has its ``argtypes`` and ``restype``. The functions that write
into their text argument (``separa``, ``ComandoTx``, ``ImprimeCode128_C``,
``ImprimeCode128C`` and their ``quorvel_printer_*`` forms) are given a private writable copy of whatever the caller
passes, so a ``bytes`` object, a ``bytearray`` or a ctypes buffer of the caller
is never changed. Text arguments take ``bytes`` as they are and ``str``
encoded to Windows-1252, the code table the text commands select.
"""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
import warnings
from pathlib import Path
from typing import Any, List, Optional, Tuple

__all__ = [
    "lib",
    "library_path",
    "has_extensions",
    "has_handles",
    "has_confirm",
    "QuorvelStatus",
    "encode_text",
    "last_error",
]

ENCODING = "cp1252"


def encode_text(value: Any) -> bytes:
    """Windows-1252 bytes of ``value`` (``str``) or a copy of it (bytes-like).

    An unencodable character raises :class:`UnicodeEncodeError` whose reason
    names the character and its code point.
    """
    if isinstance(value, str):
        try:
            return value.encode(ENCODING)
        except UnicodeEncodeError as e:
            ch = value[e.start]
            raise UnicodeEncodeError(
                ENCODING, value, e.start, e.start + 1,
                f"character {ch!r} (U+{ord(ch):04X}) at position {e.start} "
                f"has no Windows-1252 form") from None
    if isinstance(value, (bytes, bytearray, memoryview)):
        return bytes(value)
    raise TypeError(f"expected str or bytes, not {type(value).__name__}")


class _Text:
    """A read-only NUL-terminated text: bytes as they are, str as Windows-1252."""

    @classmethod
    def from_param(cls, value: Any) -> Any:
        if value is None or isinstance(value, bytes):
            return value  # the library only reads it
        return encode_text(value)


class _WritableText:
    """A text the library splits in place: always handed over as a private copy."""

    @classmethod
    def from_param(cls, value: Any) -> Any:
        if value is None:
            return None
        if isinstance(value, ctypes.Array):
            value = bytes(value)
        return ctypes.create_string_buffer(encode_text(value))


class QuorvelStatus(ctypes.Structure):
    """``struct quorvel_status``: the four real-time status replies, by field.

    Each int field is 1, 0, or -1 when its reply did not come; ``raw`` holds
    the four reply bytes (-1 where none came).
    """

    _fields_ = [
        # DLE EOT 1: printer
        ("online", ctypes.c_int),
        ("drawer_pin3", ctypes.c_int),
        ("waiting_recovery", ctypes.c_int),
        ("feed_button", ctypes.c_int),
        # DLE EOT 2: off-line cause
        ("cover_open", ctypes.c_int),
        ("paper_feeding", ctypes.c_int),
        ("stopped_paper_end", ctypes.c_int),
        ("error", ctypes.c_int),
        # DLE EOT 3: error cause
        ("recoverable_error", ctypes.c_int),
        ("autocutter_error", ctypes.c_int),
        ("unrecoverable_error", ctypes.c_int),
        ("auto_recoverable_error", ctypes.c_int),
        # DLE EOT 4: roll paper
        ("paper_near_end", ctypes.c_int),
        ("paper_out", ctypes.c_int),
        ("raw", ctypes.c_int * 4),
    ]


_int = ctypes.c_int
_uint64 = ctypes.c_uint64
_void_p = ctypes.c_void_p
_ubyte_p = ctypes.c_void_p  # greyscale pixels: any buffer address

# The 28 exported functions, in ordinal order: name, restype, argtypes.
FUNCTIONS: List[Tuple[str, Any, List[Any]]] = [
    ("separa", _int, [_WritableText, ctypes.POINTER(ctypes.c_int)]),
    ("Le_VersaoDLL", ctypes.c_char_p, []),
    ("ComandoTx", _int, [_WritableText]),
    ("strlen1", _int, [_Text]),
    ("concat", _void_p, [_void_p, _void_p, _uint64, _void_p, _uint64]),
    ("ImprimeCodigoBarras_C", _int, [_int, _int, _int, _int, _int, _Text]),
    ("ImprimeTxFormatado", _int, [_Text, _int, _int, _int]),
    ("ImprimeAutoTeste", _int, []),
    ("ImprimeLogoNV", _int, [_int, _int, _int]),
    ("ImprimeCode128_C", _int, [_WritableText, _int, _int, _int]),
    ("ImprimeCode128C", _int, [_WritableText, _int, _int]),
    ("ImprimeCodigoBarras", _int, [_int, _int, _int, _int, _int, _Text]),
    ("ImprimeDataMatrix_M2", _int, [_int, _int, _int, _int, _Text]),
    ("ImprimePDF417_M2", _int, [_int, _int, _int, _int, _Text]),
    ("ImprimeQRCODE_M2", _int, [_int, _int, _int, _int, _Text]),
    ("ImprimeQRCODE_M1", _int, [_int, _int, _int, _int, _Text]),
    ("ImprimeTexto180", _int, [_Text, _int, _int, _int, _int]),
    ("ImprimeTextoInvertido", _int, [_Text, _int, _int, _int]),
    ("ImprimeTexto", _int, [_Text, _int, _int, _int, _int]),
    ("ImprimeTextoLF", _int, [_Text, _int, _int, _int, _int, _int]),
    ("Le_Status", _int, []),
    ("AcionaGuilhotina", _int, []),
    ("Abre_Gaveta", _int, []),
    ("Le_Status_Gaveta", _int, []),
    ("AbrePortaSerial", _int, [_Text, _int]),
    ("FechaPortaSerial", _int, []),
    ("AbreSocket", _int, [_Text, _int]),
    ("FechaSocket", _int, []),
]

# The companion functions; a library built before them lacks them.
EXTENSIONS: List[Tuple[str, Any, List[Any]]] = [
    ("quorvel_last_error", _int, [ctypes.c_char_p, _int]),
    ("quorvel_open_tcp", _int, [_Text, _int, _int]),
    ("quorvel_open_serial", _int, [_Text, _int, _int]),
    ("quorvel_print_image", _int, [_ubyte_p, _int, _int, _int, _int, _int]),
    ("quorvel_store_logo", _int, [_int, _ubyte_p, _int, _int, _int, _int]),
    ("quorvel_read_status", _int, [ctypes.POINTER(QuorvelStatus)]),
    ("quorvel_utf8_to_cp1252", _int, [ctypes.c_char_p, ctypes.c_char_p, _int]),
    ("quorvel_check_barcode", _int, [_int, _Text]),
    ("quorvel_open_queue", _int, [_Text, _int]),
    ("quorvel_open_device", _int, [_Text, _int]),
    ("quorvel_flush", _int, []),
    ("quorvel_open_spool", _int, [_Text, _Text, _int]),
]

_printer = ctypes.c_void_p  # quorvel_printer*: an opaque handle, never dereferenced

# The printer-handle functions: one handle per open printer, each operation
# taking it first; a library built before them lacks them.
HANDLES: List[Tuple[str, Any, List[Any]]] = [
    ("quorvel_printer_open_tcp", _printer, [_Text, _int, _int]),
    ("quorvel_printer_open_serial", _printer, [_Text, _int, _int]),
    ("quorvel_printer_close", _int, [_printer]),
    ("quorvel_printer_text", _int, [_printer, _Text, _int, _int, _int, _int]),
    ("quorvel_printer_text_feed", _int, [_printer, _Text, _int, _int, _int, _int, _int]),
    ("quorvel_printer_text_upside_down", _int, [_printer, _Text, _int, _int, _int, _int]),
    ("quorvel_printer_text_inverted", _int, [_printer, _Text, _int, _int, _int]),
    ("quorvel_printer_formatted_text", _int, [_printer, _Text, _int, _int, _int]),
    ("quorvel_printer_barcode", _int, [_printer, _int, _int, _int, _int, _int, _Text]),
    ("quorvel_printer_barcode_counted", _int, [_printer, _int, _int, _int, _int, _int, _Text]),
    ("quorvel_printer_code128", _int, [_printer, _WritableText, _int, _int]),
    ("quorvel_printer_code128_width", _int, [_printer, _WritableText, _int, _int, _int]),
    ("quorvel_printer_qr_code", _int, [_printer, _int, _int, _int, _int, _Text]),
    ("quorvel_printer_qr_code_escz", _int, [_printer, _int, _int, _int, _int, _Text]),
    ("quorvel_printer_pdf417_escz", _int, [_printer, _int, _int, _int, _int, _Text]),
    ("quorvel_printer_data_matrix_escz", _int, [_printer, _int, _int, _int, _int, _Text]),
    ("quorvel_printer_logo", _int, [_printer, _int, _int, _int]),
    ("quorvel_printer_self_test", _int, [_printer]),
    ("quorvel_printer_cut", _int, [_printer]),
    ("quorvel_printer_open_drawer", _int, [_printer]),
    ("quorvel_printer_status", _int, [_printer]),
    ("quorvel_printer_drawer_status", _int, [_printer]),
    ("quorvel_printer_raw", _int, [_printer, _WritableText]),
    ("quorvel_printer_image", _int, [_printer, _ubyte_p, _int, _int, _int, _int, _int]),
    ("quorvel_printer_store_logo", _int, [_printer, _int, _ubyte_p, _int, _int, _int, _int]),
    ("quorvel_printer_read_status", _int, [_printer, ctypes.POINTER(QuorvelStatus)]),
    ("quorvel_printer_open_queue", _printer, [_Text, _int]),
    ("quorvel_printer_open_device", _printer, [_Text, _int]),
    ("quorvel_printer_flush", _int, [_printer]),
    ("quorvel_printer_open_spool", _printer, [_Text, _Text, _int]),
]

# Confirmed printing and receipt blocks; a library built before them lacks them.
CONFIRM: List[Tuple[str, Any, List[Any]]] = [
    ("quorvel_confirm", _int, [_int]),
    ("quorvel_confirm_level", _int, []),
    ("quorvel_write", _int, [ctypes.c_char_p, _int]),
    ("quorvel_printer_confirm", _int, [_printer, _int]),
    ("quorvel_printer_confirm_level", _int, [_printer]),
    ("quorvel_printer_begin", _int, [_printer]),
    ("quorvel_printer_end", _int, [_printer, _int]),
    ("quorvel_printer_write", _int, [_printer, ctypes.c_char_p, _int]),
    ("quorvel_printer_cancel", _int, [_printer]),
]


def _candidates() -> List[Tuple[str, str]]:
    """(where, what to load) in lookup order."""
    found: List[Tuple[str, str]] = []
    env = os.environ.get("QUORVEL_LIBRARY")
    if env:
        found.append(("QUORVEL_LIBRARY", env))
    here = Path(__file__).resolve().parent
    names = ["Quorvel.dll"] if sys.platform == "win32" else ["libquorvel.so.1", "libquorvel.so"]
    for name in names:
        found.append(("beside the package", str(here / name)))
    system = ctypes.util.find_library("Quorvel" if sys.platform == "win32" else "quorvel")
    found.append(("system search path", system or names[0]))
    return found


def _load() -> Tuple[ctypes.CDLL, str]:
    tried: List[str] = []
    env_failure: Optional[str] = None
    for where, path in _candidates():
        if where == "beside the package" and not os.path.exists(path):
            tried.append(f"  {where}: {path}: no such file")
            continue
        try:
            library = ctypes.CDLL(path)
        except OSError as e:
            tried.append(f"  {where}: {path}: {e}")
            if where == "QUORVEL_LIBRARY":
                env_failure = f"{path}: {e}"
            continue
        if not hasattr(library, "Le_VersaoDLL"):
            tried.append(f"  {where}: {path}: loads, but is not the Quorvel library")
            continue
        if env_failure:
            warnings.warn(f"QUORVEL_LIBRARY could not be loaded ({env_failure}); "
                          f"using {path} ({where})", RuntimeWarning, stacklevel=3)
        return library, path
    raise ImportError("the Quorvel library (libquorvel.so.1 / Quorvel.dll) was not found; "
                      "looked in:\n" + "\n".join(tried) +
                      "\nSet QUORVEL_LIBRARY to its path, or install it.")


def _declare(library: ctypes.CDLL, functions: List[Tuple[str, Any, List[Any]]],
             bytes_only: bool = False) -> bool:
    complete = True
    for name, restype, argtypes in functions:
        if not hasattr(library, name):
            complete = False
            continue
        function = getattr(library, name)
        function.restype = restype
        function.argtypes = [ctypes.c_char_p if bytes_only and a is _Text else a
                             for a in argtypes]
    return complete


lib, library_path = _load()
#: True when the library has every ``quorvel_*`` companion function.
has_extensions: bool = _declare(lib, FUNCTIONS + EXTENSIONS)
#: True when the library has the printer-handle functions (quorvel.Printer needs them).
has_handles: bool = _declare(lib, HANDLES)
#: True when the library confirms receipts and collects receipt blocks.
has_confirm: bool = _declare(lib, CONFIRM)
# The same functions for callers that pass read-only texts as bytes only
# (quorvel.Printer): no conversion step per call. Writable texts still get a copy.
direct = ctypes.CDLL(library_path)
_declare(direct, FUNCTIONS + EXTENSIONS + HANDLES + CONFIRM, bytes_only=True)


def last_error() -> Tuple[int, str]:
    """(code, message) of the calling thread's last failure in the library; (0, "") if none."""
    function = getattr(lib, "quorvel_last_error", None)
    if function is None:
        return 0, ""
    message = ctypes.create_string_buffer(512)
    code = function(message, len(message))
    return code, message.value.decode(ENCODING, "replace")

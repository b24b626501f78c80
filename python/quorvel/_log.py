# SPDX-License-Identifier: MIT
"""Sends what the library writes on standard error to :mod:`logging` instead.

The library reports some failures with a line on standard error (file
descriptor 2). With :func:`capture_library_messages` switched on, every call
that goes through :class:`quorvel.Printer` runs with descriptor 2 pointed at a
pipe; what arrives there during the call becomes one WARNING record per line
on the logger ``quorvel.library``. Anything else written to descriptor 2 while
such a call runs (by another thread) ends up in the log as well.
"""

from __future__ import annotations

import errno
import logging
import os
import sys
import threading
from typing import Any, Callable, Optional

LOGGER_NAME = "quorvel.library"


class _Capture:
    def __init__(self, logger: logging.Logger) -> None:
        import fcntl  # POSIX only; imported here so that Windows can import the package

        self.logger = logger
        self.lock = threading.Lock()
        self.read_end, self.write_end = os.pipe()
        for fd in (self.read_end, self.write_end):
            # A full pipe drops the message instead of blocking the call.
            flags = fcntl.fcntl(fd, fcntl.F_GETFL)
            fcntl.fcntl(fd, fcntl.F_SETFL, flags | os.O_NONBLOCK)
        self.saved = os.dup(2)

    def close(self) -> None:
        for fd in (self.read_end, self.write_end, self.saved):
            os.close(fd)

    def call(self, function: Callable[..., Any], *args: Any) -> Any:
        with self.lock:
            try:
                sys.stderr.flush()
            except (AttributeError, ValueError):
                pass
            os.dup2(self.write_end, 2)
            try:
                return function(*args)
            finally:
                os.dup2(self.saved, 2)
                self._forward()

    def _forward(self) -> None:
        chunks = []
        while True:
            try:
                chunk = os.read(self.read_end, 65536)
            except OSError as e:
                if e.errno in (errno.EAGAIN, errno.EWOULDBLOCK):
                    break
                raise
            if not chunk:
                break
            chunks.append(chunk)
        text = b"".join(chunks).decode("utf-8", "replace")
        for line in text.splitlines():
            if line.strip():
                self.logger.warning("%s", line)


_capture: Optional[_Capture] = None


def capture_library_messages(enabled: bool = True,
                             logger: Optional[logging.Logger] = None) -> None:
    """Switch on (or off) the capture of the library's standard-error messages.

    :param enabled: True routes each message to ``logger`` as a WARNING record
        instead of standard error; False writes them to standard error again.
    :param logger: where the records go; default ``logging.getLogger("quorvel.library")``.

    POSIX only: on Windows the library's C runtime keeps its own standard
    error, and this raises :class:`NotImplementedError`.
    """
    global _capture
    if sys.platform == "win32":
        raise NotImplementedError("capturing the library's standard error needs POSIX")
    if _capture is not None:
        _capture.close()
        _capture = None
    if enabled:
        _capture = _Capture(logger or logging.getLogger(LOGGER_NAME))


def call(function: Callable[..., Any], *args: Any) -> Any:
    """Run one library call, capturing its messages when switched on."""
    capture = _capture
    if capture is None:
        return function(*args)
    return capture.call(function, *args)

# SPDX-License-Identifier: MIT
"""Pictures as 8-bit greyscale rows: from raw bytes, a file or a PIL image."""

from __future__ import annotations

import os
from typing import Any, Optional, Tuple

MAX_WIDTH = 576  # dots of the 80 mm print area


def greyscale(source: Any, width: Optional[int], height: Optional[int]) -> Tuple[bytes, int, int]:
    """(pixels, width, height): one byte per dot, 0 black to 255 white, rows packed."""
    if isinstance(source, (bytes, bytearray, memoryview)):
        if not isinstance(width, int) or not isinstance(height, int) or width < 1 or height < 1:
            raise ValueError("raw greyscale bytes need width and height (dots, 1 or more)")
        pixels = bytes(source)
        if len(pixels) != width * height:
            raise ValueError(f"{width} x {height} dots need {width * height} bytes, "
                             f"not {len(pixels)}")
        return pixels, width, height
    if width is not None or height is not None:
        raise ValueError("width and height are only for raw greyscale bytes")
    try:
        from PIL import Image
    except ImportError:
        raise ImportError("printing a file or a PIL image needs Pillow (Debian: python3-pil); "
                          "raw greyscale bytes with width and height work without it") from None
    if isinstance(source, (str, os.PathLike)):
        with Image.open(source) as opened:
            opened.load()
            picture = opened.copy()
    elif isinstance(source, Image.Image):
        picture = source
    else:
        raise TypeError("image source must be a path, a PIL image or greyscale bytes, "
                        f"not {type(source).__name__}")
    if picture.mode in ("RGBA", "LA", "PA") or "transparency" in picture.info:
        # Transparent parts print as paper, not as black.
        rgba = picture.convert("RGBA")
        white = Image.new("RGBA", rgba.size, (255, 255, 255, 255))
        picture = Image.alpha_composite(white, rgba)
    grey = picture.convert("L")
    return grey.tobytes(), grey.width, grey.height

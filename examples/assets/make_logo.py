#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Draws the Quorvel logo (examples/assets/quorvel-logo.png): a ring with a
tail around a receipt, and the name in block letters. Grey anti-aliased
edges, so the printer's dithering has something to do. Standard library only."""
import math
import struct
import sys
import zlib

W, H, SS = 480, 128, 4  # size in pixels, supersampling per axis

# 5x7 block letters of the name.
FONT = {
    "Q": ["01110", "10001", "10001", "10001", "10101", "10010", "01101"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
}


def ink(x, y):
    """1.0 where the logo is black, at a point in pixel units."""
    cx, cy, r = 64, 64, 52
    d = math.hypot(x - cx, y - cy)
    if 40 <= d <= 52:  # the ring
        return 1.0
    # the tail of the Q, from the ring to the lower right
    tx, ty = x - (cx + 30), y - (cy + 30)
    if 0 <= tx + ty <= 44 and abs(tx - ty) <= 8:
        return 1.0
    # a receipt inside the ring, with a torn lower edge and three lines of text
    if 46 <= x <= 82 and 34 <= y <= 90:
        edge = 90 - 4 * abs(((x - 46) % 8) - 4) / 4
        if y > edge:
            return 0.0
        inner = 50 <= x <= 78 and 38 <= y <= 86
        if not inner:
            return 1.0
        for top in (44, 54, 64):
            if top <= y <= top + 4 and x <= (78 if top != 64 else 68):
                return 0.55  # grey lines: dithered
        return 0.0
    # the name
    px, py, cell = 140, 36, 8
    col, row = int((x - px) // cell), int((y - py) // cell)
    if 0 <= row < 7 and col >= 0:
        letter, dx = divmod(col, 6)
        name = "QUORVEL"
        if letter < len(name) and dx < 5 and FONT[name[letter]][row][dx] == "1":
            return 1.0
    # a grey rule under the name
    if 140 <= x <= 466 and 104 <= y <= 110:
        return 0.35
    return 0.0


def main(path):
    rows = []
    for y in range(H):
        row = bytearray([0])  # filter: none
        for x in range(W):
            acc = 0.0
            for sy in range(SS):
                for sx in range(SS):
                    acc += ink(x + (sx + 0.5) / SS, y + (sy + 0.5) / SS)
            row.append(int(round(255 * (1 - acc / (SS * SS)))))
        rows.append(bytes(row))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(
            ">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, 8, 0, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "quorvel-logo.png")

#!/usr/bin/env python3
"""Draws the program's logo, a 100 x 100 PNG: an SD card in the C64 blues with
a rainbow stripe and "64" on its label.

Usage: make_logo.py [OUTPUT]   (default: logo.png beside this script)

Only the standard library is used: every pixel is sampled 4 x 4 times for
smooth edges, and the PNG is written with zlib and struct.
"""

import os
import struct
import sys
import zlib

SIZE = 100
SAMPLES = 4  # sub-samples per pixel along each axis

BORDER = (0x86, 0x7A, 0xDE)  # light blue frame
BODY = (0x35, 0x28, 0x79)  # C64 blue
SLOT = (0x6C, 0x5E, 0xB5)  # C64 light blue
TEXT = (0x9A, 0x8E, 0xF0)
RAINBOW = [
    (0xD8, 0x38, 0x38),  # red
    (0xF0, 0x88, 0x20),  # orange
    (0xF4, 0xD8, 0x30),  # yellow
    (0x48, 0xB8, 0x48),  # green
    (0x50, 0x98, 0xE8),  # blue
]

# 5 x 7 pixel glyphs for the label.
GLYPHS = {
    "6": [".###.", "#....", "#....", "####.", "#...#", "#...#", ".###."],
    "4": ["...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."],
}

CARD_LEFT, CARD_TOP, CARD_RIGHT, CARD_BOTTOM = 18.0, 6.0, 82.0, 94.0
CORNER = 6.0  # radius of the rounded corners
CUT = 16.0  # size of the cut-off top right corner
FRAME = 3.0  # width of the light blue frame


def inside_card(x, y, inset):
    """True when (x, y) lies in the card outline shrunk by `inset`."""
    left, top = CARD_LEFT + inset, CARD_TOP + inset
    right, bottom = CARD_RIGHT - inset, CARD_BOTTOM - inset
    if not (left <= x <= right and top <= y <= bottom):
        return False
    # The cut corner: the line through (right - CUT, top) and (right, top + CUT),
    # moved inwards with the inset.
    if (x - y) > (CARD_RIGHT - CUT - CARD_TOP) - inset * 1.414:
        return False
    r = max(CORNER - inset, 0.5)
    for cx, cy, on_corner in (
        (left + r, top + r, x < left + r and y < top + r),
        (left + r, bottom - r, x < left + r and y > bottom - r),
        (right - r, bottom - r, x > right - r and y > bottom - r),
    ):
        if on_corner and (x - cx) ** 2 + (y - cy) ** 2 > r * r:
            return False
    return True


def in_slot(x, y):
    """The write-protect-like ridges along the top edge."""
    if not 11.0 <= y <= 25.0:
        return False
    for i in range(6):
        left = 25.0 + i * 7.0
        if left <= x <= left + 4.0:
            return True
    return False


def in_text(x, y):
    """The label "64", 3 units per glyph pixel, centred."""
    scale = 3.0
    text = "64"
    width = (len(text) * 5 + (len(text) - 1) * 1) * scale
    left, top = 50.0 - width / 2, 31.0
    col = int((x - left) // scale)
    row = int((y - top) // scale)
    if x < left or y < top or row >= 7:
        return False
    glyph, cell = divmod(col, 6)
    if glyph >= len(text) or cell >= 5:
        return False
    return GLYPHS[text[glyph]][row][cell] == "#"


def rainbow_colour(x, y):
    """The colour of the slanted stripe at (x, y), or None outside it."""
    band = 4.2
    start = 58.0
    offset = y + 0.25 * (x - 50.0) - start
    if offset < 0 or offset >= band * len(RAINBOW):
        return None
    return RAINBOW[int(offset // band)]


def colour_at(x, y):
    """RGBA of one sample point."""
    if not inside_card(x, y, 0.0):
        return (0, 0, 0, 0)
    if not inside_card(x, y, FRAME):
        return BORDER + (255,)
    if in_slot(x, y):
        return SLOT + (255,)
    if in_text(x, y):
        return TEXT + (255,)
    stripe = rainbow_colour(x, y)
    if stripe is not None:
        return stripe + (255,)
    return BODY + (255,)


def render():
    """Rows of RGBA bytes, each sample weighted equally (colour by alpha)."""
    rows = []
    n = SAMPLES * SAMPLES
    for py in range(SIZE):
        row = bytearray()
        for px in range(SIZE):
            r = g = b = a = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = px + (sx + 0.5) / SAMPLES
                    y = py + (sy + 0.5) / SAMPLES
                    cr, cg, cb, ca = colour_at(x, y)
                    r += cr * ca
                    g += cg * ca
                    b += cb * ca
                    a += ca
            if a == 0:
                row += bytes(4)
            else:
                row += bytes((r // a, g // a, b // a, a // n))
        rows.append(bytes(row))
    return rows


def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def write_png(path, rows):
    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)  # 8-bit RGBA
    raw = b"".join(b"\x00" + row for row in rows)  # filter type 0 on every row
    data = (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) +
            png_chunk(b"IDAT", zlib.compress(raw, 9)) + png_chunk(b"IEND", b""))
    with open(path, "wb") as out:
        out.write(data)


def main():
    default = os.path.join(os.path.dirname(os.path.abspath(__file__)), "logo.png")
    path = sys.argv[1] if len(sys.argv) > 1 else default
    write_png(path, render())


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Draws the program icon: a small round emblem echoing the main window, a
light disc inside a blue ring with its title line and row of three buttons
drawn in miniature. One .ico holds a 32x32 and a 16x16 image, each with a
256-colour palette and an AND mask.

Usage: app_icon.py OUT.ico
"""

import math
import os
import struct
import sys

sys.dont_write_bytecode = True  # run from the build; keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from paint import clamp, mix  # noqa: E402

FACE = (240, 244, 251)
FACE_SHADE = (214, 226, 247)
RING_DARK = (26, 72, 176)
RING_LIGHT = (96, 154, 238)
OUTLINE = (18, 42, 116)
WHITE = (255, 255, 255)
MARK = (28, 62, 152)
FAINT_MARK = (150, 172, 214)

# Per size: ring width, whether there is room for the white lines, and the
# miniature window on the face: bars as (left, top, right, bottom, colour)
# and button dots as (x, y, radius), in pixels.
LOOKS = {
    32: dict(ring=4.0, white_lines=True,
             bars=[(10.0, 9.0, 22.0, 11.6, MARK), (9.0, 14.6, 23.0, 16.2, FAINT_MARK)],
             dots=[(11.6, 21.0, 1.7), (16.0, 21.0, 1.7), (20.4, 21.0, 1.7)]),
    16: dict(ring=2.0, white_lines=False,
             bars=[(5.0, 5.0, 11.0, 6.6, MARK)],
             dots=[(5.5, 10.5, 0.8), (8.0, 10.5, 0.8), (10.5, 10.5, 0.8)]),
}
SUPERSAMPLE = 4


def emblem_colour(d, radius, look):
    """Colour at distance d from the centre, from the rim inwards."""
    edge = radius - d
    if edge < 1.0:
        return OUTLINE
    if look["white_lines"] and edge < 2.0:
        return WHITE
    ring_start = 2.0 if look["white_lines"] else 1.0
    ring_end = ring_start + look["ring"]
    if edge < ring_end:
        t = (edge - ring_start) / look["ring"]
        return mix(RING_DARK, RING_LIGHT, 1.0 - abs(t - 0.4) / 0.6)
    if look["white_lines"] and edge < ring_end + 1.0:
        return WHITE
    return mix(FACE, FACE_SHADE, clamp((d - 0.2 * radius) / (0.6 * radius)))


def mark_colour(px, py, look):
    for left, top, right, bottom, colour in look["bars"]:
        if left <= px < right and top <= py < bottom:
            return colour
    for cx, cy, r in look["dots"]:
        if math.hypot(px - cx, py - cy) <= r:
            return MARK
    return None


def render(size):
    """Rows of (r, g, b) or None for transparent, top row first."""
    look = LOOKS[size]
    radius = size / 2
    n = SUPERSAMPLE
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            samples = []
            for sy in range(n):
                for sx in range(n):
                    px, py = x + (sx + 0.5) / n, y + (sy + 0.5) / n
                    d = math.hypot(px - radius, py - radius)
                    if d <= radius:
                        samples.append(mark_colour(px, py, look) or emblem_colour(d, radius, look))
            # A pixel is opaque when most of it lies inside the emblem; there
            # is no partial transparency in a masked icon.
            if len(samples) * 2 < n * n:
                row.append(None)
            else:
                row.append(tuple(int(round(sum(ch) / len(samples))) for ch in zip(*samples)))
        rows.append(row)
    return rows


def palette_for(rows):
    """Index 0 is black for the transparent pixels; the rest are the image's
    own colours, coarsened only if there are more than 255 of them."""
    step = 1
    while True:
        def snap(c):
            return tuple(min(255, (ch + step // 2) // step * step) for ch in c)
        colours = sorted({snap(c) for row in rows for c in row if c is not None})
        if len(colours) <= 255:
            return [(0, 0, 0)] + colours, snap
        step *= 2


def icon_image(size):
    rows = render(size)
    palette, snap = palette_for(rows)
    index = {c: i for i, c in enumerate(palette)}
    palette += [(0, 0, 0)] * (256 - len(palette))
    xor_stride = (size + 3) & ~3
    and_stride = (size + 31) // 32 * 4
    xor = bytearray()
    mask = bytearray()
    for row in reversed(rows):  # bottom-up, like any DIB
        xor += bytes(0 if c is None else index[snap(c)] for c in row) + bytes(xor_stride - size)
        bits = bytearray(and_stride)
        for x, c in enumerate(row):
            if c is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    # The header's height counts the colour image and the mask together.
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return header + colours + bytes(xor) + bytes(mask)


def icon_bytes(sizes):
    images = [icon_image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        # Colour count 0 means 256 in a directory entry.
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 8, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def main(argv):
    if len(argv) != 2:
        sys.exit(__doc__.strip().splitlines()[-1])
    with open(argv[1], "wb") as f:
        f.write(icon_bytes([32, 16]))


if __name__ == "__main__":
    main(sys.argv)

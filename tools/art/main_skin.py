#!/usr/bin/env python3
"""Draws the main window's skin: a 330x328 field of the key colour
RGB(25, 35, 85) holding a light disc titled "Corvane", framed by a glowing
blue and white ring. The window cuts away every pixel of exactly the key
colour, so the glow fades through near-key shades that never equal it, and
the disc keeps its lower part plain and light for the controls drawn on it.
Prints how many pixels carry the key colour.

Usage: main_skin.py OUT.bmp
"""

import math
import os
import sys

sys.dont_write_bytecode = True  # run from the build; keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import strokefont  # noqa: E402
from bmpfile import write_bmp24  # noqa: E402
from paint import clamp, mix, smoothstep  # noqa: E402

WIDTH, HEIGHT = 330, 328
CX, CY = WIDTH / 2, HEIGHT / 2
KEY = (25, 35, 85)

# Radii, in pixels from the centre, from the disc outwards. OUTER is where
# the glow ends and the key field begins; it sets the key pixel count.
DISC_EDGE = 125.0      # inner white line of the ring
RING_IN, RING_OUT = 125.5, 134.0
RIM = 134.5            # outer white rim
OUTER = 139.25
# The glow falls as if lit from the upper left: its circle sits a little right
# of and below the disc's, so it reaches slightly further on that side. This
# also breaks the four-way symmetry that would only allow key counts in
# multiples of four.
GLOW_DX, GLOW_DY = 0.4, 0.4
KEY_PIXELS = 47319     # the field the window keys out, corners included

DISC = (240, 244, 251)
DISC_SHADE = (222, 231, 248)
RING_DARK = (26, 72, 176)
RING_LIGHT = (96, 154, 238)
GLOW = (120, 164, 240)
WHITE = (255, 255, 255)
TITLE = (28, 62, 152)
TITLE_SIZE = 25
TITLE_BASELINE = 94
RULE_Y = 106           # thin line under the title; the controls start at 120


def white_line(d, centre, half_width):
    return clamp(1.0 - abs(d - centre) / half_width)


def ring_colour(d, dg):
    if d < RING_IN:
        # Plain light disc, shading only close to the ring, well clear of the
        # status text and buttons.
        base = mix(DISC, DISC_SHADE, smoothstep(104.0, DISC_EDGE, d))
    elif d <= RING_OUT:
        # A rounded blue tube: lightest a little inside its middle.
        mid = (RING_IN + RING_OUT) / 2 - 1.0
        base = mix(RING_DARK, RING_LIGHT, 1.0 - abs(d - mid) / ((RING_OUT - RING_IN) / 2 + 1.0))
    else:
        t = clamp((dg - RIM) / (OUTER - RIM))
        base = mix(GLOW, KEY, 1.0 - (1.0 - t) ** 2)
    base = mix(base, WHITE, white_line(d, DISC_EDGE, 1.4))
    base = mix(base, WHITE, white_line(d, RIM, 1.6))
    return base


def title_coverage():
    width = strokefont.text_width("Corvane", TITLE_SIZE)
    left = CX - width / 2
    segs = strokefont.segments("Corvane", TITLE_SIZE, (left, TITLE_BASELINE))
    box = (int(left) - 4, TITLE_BASELINE - TITLE_SIZE - 4, int(left + width) + 5, TITLE_BASELINE + 5)
    return strokefont.coverage_map(segs, 3.2, box)


def render():
    title = title_coverage()
    rows = []
    for y in range(HEIGHT):
        row = []
        for x in range(WIDTH):
            d = math.hypot(x + 0.5 - CX, y + 0.5 - CY)
            dg = math.hypot(x + 0.5 - CX - GLOW_DX, y + 0.5 - CY - GLOW_DY)
            if dg > OUTER:
                row.append(KEY)
                continue
            # At least one step above the key in every channel, so the faintest
            # glow still survives the cut-out.
            c = tuple(max(ch, k + 1) for ch, k in zip(ring_colour(d, dg), KEY))
            if y == RULE_Y:
                # Fades out at both ends rather than stopping short.
                c = mix(c, RING_LIGHT, 0.6 * (1.0 - smoothstep(36.0, 60.0, abs(x + 0.5 - CX))))
            cover = title.get((x, y))
            if cover:
                c = mix(c, TITLE, cover)
            row.append(c)
        rows.append(row)
    return rows


def main(argv):
    if len(argv) != 2:
        sys.exit(__doc__.strip().splitlines()[-1])
    rows = render()
    for corner in (rows[0][0], rows[0][-1], rows[-1][0], rows[-1][-1]):
        assert corner == KEY, "every corner must be the key colour"
    key_pixels = sum(row.count(KEY) for row in rows)
    assert key_pixels == KEY_PIXELS, f"{key_pixels} key-colour pixels, not {KEY_PIXELS}"
    write_bmp24(argv[1], WIDTH, HEIGHT, rows)
    print(f"{argv[1]}: {WIDTH}x{HEIGHT}, {key_pixels} key-colour pixels")


if __name__ == "__main__":
    main(sys.argv)

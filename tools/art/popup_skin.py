#!/usr/bin/env python3
"""Draws the popup's skin: a 148x120 panel, blue at the top fading to white,
inside a raised grey and white frame with a sunken inner edge.

Usage: popup_skin.py OUT.bmp
"""

import os
import sys

sys.dont_write_bytecode = True  # run from the build; keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bmpfile import write_bmp24  # noqa: E402
from paint import mix  # noqa: E402

WIDTH, HEIGHT = 148, 120

# Frame rings from the outside in, as (light side, dark side): light on top
# and left, dark on bottom and right, so the frame stands out and the panel
# sits sunk into it.
FACE = (200, 203, 210)
RINGS = [
    ((255, 255, 255), (72, 72, 76)),
    ((236, 236, 240), (136, 138, 146)),
    (FACE, FACE),
    (FACE, FACE),
    (FACE, FACE),
    ((136, 138, 146), (255, 255, 255)),
    ((100, 102, 110), (236, 236, 240)),
]
TOP_BLUE = (58, 104, 196)
WHITE = (255, 255, 255)


def panel_colour(y):
    inner_top = len(RINGS)
    inner_height = HEIGHT - 2 * len(RINGS)
    t = (y - inner_top) / (inner_height - 1)
    # Most of the fade happens in the upper part, so the caption, centred in
    # the panel, sits on a near-white ground and stays readable.
    return mix(TOP_BLUE, WHITE, 1 - (1 - t) ** 2.5)


def pixel(x, y):
    ring = min(x, y, WIDTH - 1 - x, HEIGHT - 1 - y)
    if ring >= len(RINGS):
        return panel_colour(y)
    light, dark = RINGS[ring]
    on_dark_side = x == WIDTH - 1 - ring or y == HEIGHT - 1 - ring
    return dark if on_dark_side else light


def main(argv):
    if len(argv) != 2:
        sys.exit(__doc__.strip().splitlines()[-1])
    rows = [[pixel(x, y) for x in range(WIDTH)] for y in range(HEIGHT)]
    write_bmp24(argv[1], WIDTH, HEIGHT, rows)


if __name__ == "__main__":
    main(sys.argv)

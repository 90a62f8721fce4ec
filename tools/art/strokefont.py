"""A tiny stroke font of our own for titles drawn into the skins.

Glyphs are polylines in font units: the baseline at y = 0, y upwards, capitals
1.0 high, lower case 0.62. Text is drawn anti-aliased by measuring each
pixel's distance to the nearest stroke, which keeps the letters smooth at any
size without a font file. Only the letters the artwork needs are defined.
"""

import math

X_HEIGHT = 0.62


def _arc(cx, cy, rx, ry, start_deg, end_deg, pieces=28):
    """Points along an ellipse, counter-clockwise from start to end."""
    pts = []
    for i in range(pieces + 1):
        a = math.radians(start_deg + (end_deg - start_deg) * i / pieces)
        pts.append((cx + rx * math.cos(a), cy + ry * math.sin(a)))
    return pts


_H = X_HEIGHT
_BOWL = (0.27, _H / 2, 0.27, _H / 2)  # centre and radii of a round lower-case bowl

# name: (advance width, [polyline, ...])
GLYPHS = {
    "C": (0.86, [_arc(0.46, 0.5, 0.44, 0.5, 42, 318)]),
    "o": (0.58, [_arc(*_BOWL, 0, 360)]),
    "r": (0.40, [[(0.0, 0.0), (0.0, _H)],
                 _arc(0.38, _H * 0.42, 0.38, _H * 0.56, 180, 95, 12)]),
    "v": (0.56, [[(0.0, _H), (0.28, 0.0), (0.56, _H)]]),
    "a": (0.58, [_arc(*_BOWL, 0, 360), [(0.54, 0.0), (0.54, _H)]]),
    "n": (0.56, [[(0.0, 0.0), (0.0, _H)],
                 [(0.0, _H * 0.45)] + _arc(0.27, _H * 0.45, 0.27, _H * 0.55, 180, 0, 16)[1:]
                 + [(0.54, 0.0)]]),
    "e": (0.58, [[(0.02, _H / 2), (0.54, _H / 2)] + _arc(*_BOWL, 0, 318)[1:]]),
}
SPACING = 0.16


def segments(text, size, origin):
    """Line segments, in pixels, for `text` with capitals `size` pixels high
    and the baseline's left end at `origin`."""
    x0, y0 = origin
    segs = []
    pen = 0.0
    for ch in text:
        advance, lines = GLYPHS[ch]
        for line in lines:
            pts = [(x0 + (pen + px) * size, y0 - py * size) for px, py in line]
            segs.extend(zip(pts, pts[1:]))
        pen += advance + SPACING
    return segs


def text_width(text, size):
    return (sum(GLYPHS[c][0] for c in text) + SPACING * (len(text) - 1)) * size


def _distance(px, py, seg):
    (ax, ay), (bx, by) = seg
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length2))
    ex, ey = ax + t * dx - px, ay + t * dy - py
    return math.sqrt(ex * ex + ey * ey)


def coverage_map(segs, stroke, box):
    """{(x, y): coverage 0..1} for the pixels near the strokes, within box
    (left, top, right, bottom). Pixel centres sit at +0.5."""
    left, top, right, bottom = box
    half = stroke / 2
    cover = {}
    for y in range(top, bottom):
        for x in range(left, right):
            cx, cy = x + 0.5, y + 0.5
            near = [s for s in segs
                    if min(s[0][0], s[1][0]) - half - 1 <= cx <= max(s[0][0], s[1][0]) + half + 1
                    and min(s[0][1], s[1][1]) - half - 1 <= cy <= max(s[0][1], s[1][1]) + half + 1]
            if not near:
                continue
            d = min(_distance(cx, cy, s) for s in near)
            c = max(0.0, min(1.0, half + 0.5 - d))
            if c > 0:
                cover[(x, y)] = c
    return cover

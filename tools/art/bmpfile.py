"""Writing 24-bit Windows bitmaps with nothing but the standard library.

The resource compiler embeds these files as they are, so the layout is the
plain one every loader accepts: a 14-byte file header, a 40-byte
BITMAPINFOHEADER, no palette, rows stored bottom-up and padded to 4 bytes.
"""

import struct


def bmp24_bytes(width, height, rows):
    """rows: `height` lists of `width` (r, g, b) tuples, top row first."""
    if len(rows) != height or any(len(r) != width for r in rows):
        raise ValueError("pixel rows do not match the stated size")
    stride = (width * 3 + 3) & ~3
    padding = bytes(stride - width * 3)
    image = bytearray()
    for row in reversed(rows):
        for r, g, b in row:
            image += bytes((b, g, r))
        image += padding
    offset = 14 + 40
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(image), 0, 0, offset)
    # 3780 pixels per metre is 96 dpi, the screen the skins are drawn for.
    info_header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0,
                              len(image), 3780, 3780, 0, 0)
    return file_header + info_header + bytes(image)


def write_bmp24(path, width, height, rows):
    with open(path, "wb") as f:
        f.write(bmp24_bytes(width, height, rows))

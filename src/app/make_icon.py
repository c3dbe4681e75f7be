#!/usr/bin/env python3
"""Draws the program's icon, one 128 x 128 picture with 32-bit colour, and
writes it as an .ico file: a rounded tile holding a framed picture (a sun over
two hills) and a download arrow.

    python3 make_icon.py <output.ico>
"""
import math
import struct
import sys

SIZE = 128


def inside_rounded_square(x, y, margin, radius):
    lo, hi = margin, SIZE - 1 - margin
    cx = min(max(x, lo + radius), hi - radius)
    cy = min(max(y, lo + radius), hi - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2 and lo <= x <= hi and lo <= y <= hi


def pixel(x, y):
    """Colour (r, g, b, a) of the pixel at x, y, with y growing downwards."""
    if not inside_rounded_square(x, y, 4, 22):
        return (0, 0, 0, 0)
    colour = (230, 92, 28)  # the tile
    if 22 <= x <= 105 and 20 <= y <= 84:  # the framed picture
        colour = (255, 255, 255)
        if 26 <= x <= 101 and 24 <= y <= 80:
            colour = (126, 196, 236)  # sky
            if (x - 84) ** 2 + (y - 40) ** 2 <= 81:
                colour = (255, 214, 64)  # sun
            if y >= 80 - 34 * math.exp(-((x - 48) / 16.0) ** 2):
                colour = (64, 160, 80)  # near hill
            elif y >= 80 - 22 * math.exp(-((x - 80) / 14.0) ** 2):
                colour = (40, 120, 64)  # far hill
    # The arrow: a shaft and a head pointing down to a tray.
    if 58 <= x <= 69 and 76 <= y <= 98:
        colour = (255, 255, 255)
    if 98 <= y <= 112 and abs(x - 63.5) <= (112 - y) * 1.2:
        colour = (255, 255, 255)
    if 114 <= y <= 117 and 34 <= x <= 93:
        colour = (255, 255, 255)
    return colour + (255,)


def icon_bytes():
    rows = []
    for y in reversed(range(SIZE)):  # bitmaps in icons run bottom-up
        row = bytearray()
        for x in range(SIZE):
            r, g, b, a = pixel(x, y)
            row += bytes((b, g, r, a))
        rows.append(bytes(row))
    xor = b"".join(rows)
    and_mask = bytes(SIZE * SIZE // 8)  # all visible: the alpha channel decides
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    image = header + xor + and_mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as out:
        out.write(icon_bytes())

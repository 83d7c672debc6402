#!/usr/bin/env python3
"""Draws res/velquor.ico: one 32x32 image in 16 colours (a magnet over a chain link)."""
import struct
import sys

# Standard 16-colour palette (BGRX), index 0 black ... 15 white.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
RED, BLUE, GREY, WHITE, DARK = 9, 12, 7, 15, 8


def pixel(x, y):
    """Colour index at (x, y) from the top left, or None where the icon is transparent."""
    cx, cy = 16, 14
    dx, dy = x - cx + 0.5, y - cy + 0.5
    r2 = dx * dx + dy * dy
    if y <= cy and 64 <= r2 <= 196:           # the magnet's arc
        return RED if dx < 0 else BLUE
    if cy < y <= 24 and (3 <= x <= 8 or 23 <= x <= 28):  # the two legs
        return (RED if x < 16 else BLUE) if y < 21 else WHITE
    if 25 <= y <= 29 and 6 <= x <= 25 and (y in (25, 29) or x in (6, 25)):  # a small link
        return DARK
    return None


def build():
    width = height = 32
    header = struct.pack('<IiiHHIIiiII', 40, width, height * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    xor_rows, and_rows = [], []
    for y in range(height - 1, -1, -1):       # bitmaps are stored bottom-up
        nibbles = [pixel(x, y) for x in range(width)]
        row = bytearray()
        for x in range(0, width, 2):
            a, b = nibbles[x] or 0, nibbles[x + 1] or 0
            row.append(a << 4 | b)
        xor_rows.append(bytes(row))
        mask = 0
        for x in range(width):
            if nibbles[x] is None:
                mask |= 1 << (31 - x)
        and_rows.append(struct.pack('>I', mask))
    image = header + palette + b''.join(xor_rows) + b''.join(and_rows)
    directory = struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', 32, 32, 16, 0, 1, 4, len(image), 22)
    return directory + image


if __name__ == '__main__':
    with open(sys.argv[1] if len(sys.argv) > 1 else 'res/velquor.ico', 'wb') as f:
        f.write(build())

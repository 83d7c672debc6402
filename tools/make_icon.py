#!/usr/bin/env python3
"""Draws res/velquor.ico: a magnet over a chain link at every size Windows asks of a program's icon.

Each size is drawn for itself, not scaled from another: the design's measures, given on a 32-pixel
grid, are rounded to whole pixels of that size, so every straight edge and every change of colour
falls between two pixels and stays sharp; only the curves are anti-aliased, into the alpha channel.
16 to 32 are 32-bit bitmaps with their mask; 40 and up are PNG, which Windows reads from Vista on:
as bitmaps, 40 to 64 alone would take the exe past its 64 KiB bound, and 256 is some 260 KB.
Only the standard library, and no clock or randomness: every run writes the same bytes.
"""
import struct
import sys
import zlib

SIZES = (16, 20, 24, 32, 40, 48, 64, 256)
PNG_FROM = 40

RED, BLUE = (214, 40, 40), (36, 86, 206)
POLE = (200, 205, 212)    # the bare steel of the poles: visible on a white background and a dark one
LINK = (120, 124, 132)

# The design on a 32-pixel grid: the magnet's arc is centred on (16, TOP + OUTER), its legs run down
# to LEGS_END with the poles from POLES_FROM, and the link is a rounded box under the legs.
TOP, OUTER, THICK, POLES_FROM, LEGS_END = 1, 13, 6, 19, 23
LINK_X, LINK_TOP, LINK_BOTTOM, LINK_STROKE = 7, 25, 31, 2


def layout(size):
    """The design's measures in whole pixels of this size."""
    def px(v):
        return (2 * v * size + 32) // 64    # v * size / 32, halves rounded up
    thick = max(2, px(THICK))
    # The link needs four rows and a free one above it; where the rounding leaves fewer below the
    # legs (at 16), the magnet moves up into its margin.
    up = min(px(TOP), max(0, px(LEGS_END) + 5 - size))
    top, poles, legs_end = px(TOP) - up, px(POLES_FROM) - up, px(LEGS_END) - up
    link_top = max(legs_end + 1, px(LINK_TOP) - up)
    link_bottom = min(size, max(link_top + 4, px(LINK_BOTTOM)))
    # The link keeps a hole of at least two pixels: a thinner stroke where it would close up.
    link_stroke = max(1, min(px(LINK_STROKE), (link_bottom - link_top - 2) // 2))
    return dict(cx=size // 2, outer=px(OUTER), thick=thick, cy=top + px(OUTER), poles=poles,
                legs_end=legs_end, link_x=px(LINK_X), link_top=link_top, link_bottom=link_bottom,
                link_stroke=link_stroke)


def magnet_distance(g, x, y):
    """Signed distance from (x, y) to the magnet's edge, negative inside: a band of width `thick`
    around a half circle that goes on straight down as the two legs, cut flat at their ends."""
    half = g['thick'] / 2
    mid = g['outer'] - half
    dx, dy = x - g['cx'], y - g['cy']
    if dy <= 0:
        return abs((dx * dx + dy * dy) ** 0.5 - mid) - half
    return max(abs(abs(dx) - mid) - half, y - g['legs_end'])


def link_distance(g, x, y):
    """Signed distance to the link: the outline, `link_stroke` wide, of a box with round ends."""
    left, right = g['link_x'], g['size'] - g['link_x']
    top, bottom = g['link_top'], g['link_bottom']
    hx, hy = (right - left) / 2, (bottom - top) / 2
    radius = hy
    qx = abs(x - (left + right) / 2) - (hx - radius)
    qy = abs(y - (top + bottom) / 2) - (hy - radius)
    box = (max(qx, 0) ** 2 + max(qy, 0) ** 2) ** 0.5 + min(max(qx, qy), 0) - radius
    return abs(box + g['link_stroke'] / 2) - g['link_stroke'] / 2


SUB = 8    # samples across a pixel, where an edge crosses it


def coverage(distance, g, x, y):
    """How much of pixel (x, y) lies inside: 0 or 1 away from an edge, else the share of SUB x SUB
    samples inside."""
    d = distance(g, x + 0.5, y + 0.5)
    if d <= -0.75:
        return 1.0
    if d >= 0.75:
        return 0.0
    inside = sum(distance(g, x + (i + 0.5) / SUB, y + (j + 0.5) / SUB) < 0
                 for i in range(SUB) for j in range(SUB))
    return inside / (SUB * SUB)


def render(size):
    """Rows from the top of (r, g, b, a) pixels; fully transparent ones are black."""
    g = layout(size)
    g['size'] = size
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            m = coverage(magnet_distance, g, x, y)
            k = coverage(link_distance, g, x, y)
            if m > 0:
                colour = POLE if y >= g['poles'] else RED if x < g['cx'] else BLUE
                row.append(colour + (round(255 * m),))
            elif k > 0:
                row.append(LINK + (round(255 * k),))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def bitmap(rows):
    """A 32-bit bitmap with alpha and its AND mask, both stored bottom-up, as an icon holds them."""
    size = len(rows)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colours = b''.join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    stride = (size + 31) // 32 * 4
    mask = b''
    for row in reversed(rows):
        bits = 0
        for x, pixel in enumerate(row):
            if pixel[3] == 0:
                bits |= 1 << (stride * 8 - 1 - x)
        mask += bits.to_bytes(stride, 'big')
    return header + colours + mask


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else b if pb <= pc else c


def filtered(line, prior):
    """The line under each PNG filter, the one whose bytes sum smallest as signed values first."""
    bpp = 4
    left = bytes(bpp) + line[:-bpp]
    upleft = bytes(bpp) + prior[:-bpp]
    candidates = [
        bytes(line),
        bytes((v - a) & 255 for v, a in zip(line, left)),
        bytes((v - b) & 255 for v, b in zip(line, prior)),
        bytes((v - (a + b) // 2) & 255 for v, a, b in zip(line, left, prior)),
        bytes((v - paeth(a, b, c)) & 255 for v, a, b, c in zip(line, left, prior, upleft)),
    ]
    cost = [sum(v if v < 128 else 256 - v for v in c) for c in candidates]
    kind = cost.index(min(cost))
    return bytes((kind,)) + candidates[kind]


def png(rows):
    size = len(rows)
    lines = [bytes(v for pixel in row for v in pixel) for row in rows]
    data = b''.join(filtered(line, prior) for line, prior in zip(lines, [bytes(len(lines[0]))] + lines))
    packer = zlib.compressobj(9, zlib.DEFLATED, 15, 9)
    data = packer.compress(data) + packer.flush()

    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', data) + chunk(b'IEND', b''))


def build():
    images = [(size, (png if size >= PNG_FROM else bitmap)(render(size))) for size in SIZES]
    directory = struct.pack('<HHH', 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    for size, image in images:
        # A width or height of 256 is written as 0; every entry has 32 bits a pixel, planes 1.
        directory += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return directory + b''.join(image for _, image in images)


if __name__ == '__main__':
    with open(sys.argv[1] if len(sys.argv) > 1 else 'res/velquor.ico', 'wb') as f:
        f.write(build())

#!/usr/bin/env python3
"""Draws the program's icon and writes it as a Windows .ico file.

The picture is a lattice radio mast with a red beacon and blue waves on either side. The file
holds four images: 16x16 and 32x32, each in 16 colours (4 bits a pixel) and in 256 colours
(8 bits a pixel), with a 1-bit transparency mask. Only the standard library is used, and the
output is the same byte for byte on every run, so the build can make it afresh.

Usage: make-icon.py OUTPUT.ico
"""

import math
import struct
import sys

# The 16-colour palette, also the first 16 entries of the 256-colour one (red, green, blue).
BASIC = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]


def full_palette():
    """256 colours: the basic 16, a 6x6x6 colour cube and 24 greys."""
    levels = [0, 51, 102, 153, 204, 255]
    cube = [(r, g, b) for r in levels for g in levels for b in levels]
    greys = [(v, v, v) for v in (8 + 10 * i for i in range(24))]
    palette = BASIC + cube + greys
    assert len(palette) == 256
    return palette


# ---- The drawing, in a 32-unit square; y grows downwards. ----

BEACON = (16.0, 10.0)


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def mast_segments(small):
    """The two legs and, where there is room for them, the cross braces between them."""
    top, foot_y = (16.0, 12.0), 30.5
    left, right = (10.0, foot_y), (22.0, foot_y)
    segments = [(top, left), (top, right)]

    def leg_point(leg, t):
        return (top[0] + (leg[0] - top[0]) * t, top[1] + (leg[1] - top[1]) * t)

    if small:
        segments.append((leg_point(left, 0.55), leg_point(right, 0.55)))
        return segments
    marks = [0.3, 0.62, 1.0]
    prev = 0.0
    for i, t in enumerate(marks):
        a, b = (left, right) if i % 2 == 0 else (right, left)
        segments.append((leg_point(a, prev), leg_point(b, t)))
        segments.append((leg_point(left, t), leg_point(right, t)))
        prev = t
    return segments


def sample(x, y, detail, unit):
    """The colour (r, g, b) of the drawing at a point, or None where it is transparent.

    `detail` is True for the 256-colour images, which get shading; the 16-colour images keep
    to flat colours of the basic palette. `unit` is the width of one pixel in drawing units:
    lines never get thinner than about a pixel, and the small images draw fewer of them.
    """
    small = unit > 1.5
    line = max(0.75, 0.6 * unit)

    # The beacon on the top of the mast.
    d = math.hypot(x - BEACON[0], y - BEACON[1])
    if d <= 2.6:
        if detail:
            glow = max(0.0, 1.0 - math.hypot(x - 15.2, y - 9.2) / 2.6)
            return (255, int(40 + 170 * glow), int(30 + 120 * glow))
        return BASIC[9]

    # Waves: arcs on each side of the beacon.
    angle = math.degrees(math.atan2(y - BEACON[1], x - BEACON[0]))
    if abs(angle) <= 38 or abs(angle) >= 142:
        radii = (6.0, 11.5) if small else (5.5, 9.0, 12.5)
        for i, radius in enumerate(radii):
            if abs(d - radius) <= line:
                if detail:
                    fade = i / (len(radii) - 1)
                    return (int(60 * fade), int(200 - 90 * fade), 255)
                return BASIC[12] if i else BASIC[14]

    # The mast.
    for (ax, ay), (bx, by) in mast_segments(small):
        if segment_distance(x, y, ax, ay, bx, by) <= line:
            if detail:
                shade = (x - 10.0) / 12.0  # lit from the left
                v = int(210 - 120 * max(0.0, min(1.0, shade)))
                return (v, v, min(255, v + 20))
            return BASIC[8] if x > 16 else BASIC[7]
    return None


def nearest(palette, colour):
    r, g, b = colour
    best, best_d = 0, None
    for i, (pr, pg, pb) in enumerate(palette):
        d = (pr - r) ** 2 + (pg - g) ** 2 + (pb - b) ** 2
        if best_d is None or d < best_d:
            best, best_d = i, d
    return best


def render(size, bits):
    """Rows of palette indices (None = transparent), top row first."""
    palette = BASIC if bits == 4 else full_palette()
    detail = bits == 8
    grid = 4  # samples a pixel in each direction
    scale = 32.0 / size
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            colours = []
            for sy in range(grid):
                for sx in range(grid):
                    x = (px + (sx + 0.5) / grid) * scale
                    y = (py + (sy + 0.5) / grid) * scale
                    c = sample(x, y, detail, scale)
                    if c is not None:
                        colours.append(c)
            if len(colours) * 2 < grid * grid:
                row.append(None)
                continue
            if detail:
                n = len(colours)
                mean = tuple(sum(c[k] for c in colours) // n for k in range(3))
                row.append(nearest(palette, mean))
            else:
                # The colour that covers most of the pixel, so that edges stay crisp.
                counts = {}
                for c in colours:
                    counts[c] = counts.get(c, 0) + 1
                top = max(sorted(counts), key=lambda c: counts[c])
                row.append(nearest(palette, top))
        rows.append(row)
    return rows, palette


def image_bytes(size, bits):
    """One icon image: BITMAPINFOHEADER, palette, colour rows, mask rows (bottom-up)."""
    rows, palette = render(size, bits)
    colour_stride = ((size * bits + 31) // 32) * 4
    mask_stride = ((size + 31) // 32) * 4
    colour = bytearray()
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(colour_stride)
        mline = bytearray(mask_stride)
        for x, index in enumerate(row):
            if index is None:
                index = 0
                mline[x // 8] |= 0x80 >> (x % 8)
            if bits == 4:
                line[x // 2] |= index << (4 if x % 2 == 0 else 0)
            else:
                line[x] = index
        colour += line
        mask += mline
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0,
                         len(colour) + len(mask), 0, 0, 0, 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    return header + table + bytes(colour) + bytes(mask)


IMAGES = [(32, 4), (16, 4), (32, 8), (16, 8)]


def icon_file():
    images = [image_bytes(size, bits) for size, bits in IMAGES]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for (size, bits), data in zip(IMAGES, images):
        colours = 16 if bits == 4 else 0  # 0 stands for 256 or more
        out += struct.pack("<BBBBHHII", size, size, colours, 0, 1, bits, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    return bytes(out)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make-icon.py OUTPUT.ico\n")
        return 2
    with open(argv[1], "wb") as f:
        f.write(icon_file())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

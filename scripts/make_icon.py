#!/usr/bin/env python3
"""Writes the setup's application icon (16x16 and 32x32, 32-bit colour with
alpha and a matching AND mask) to resources/setup.ico.

The picture is drawn from a few shapes in a fixed order, so every run gives
the same bytes: an open carton with a green arrow pointing down into it.
Run it again only when the picture is meant to change, then commit the .ico.
"""
import struct
import sys
from pathlib import Path

CARTON = (0xC8, 0x8A, 0x3E)      # front face
CARTON_TOP = (0xE2, 0xB0, 0x6A)  # flaps
CARTON_EDGE = (0x6E, 0x45, 0x16)
ARROW = (0x1E, 0x9E, 0x3A)
ARROW_EDGE = (0x0B, 0x55, 0x1C)


def draw(size):
    """Returns rows (top first) of (r, g, b, a) pixels for a size x size icon."""
    s = size / 32.0
    px = [[(0, 0, 0, 0) for _ in range(size)] for _ in range(size)]

    def inside_poly(x, y, poly):
        # Even-odd rule on the pixel centre.
        cx, cy = x + 0.5, y + 0.5
        hit = False
        n = len(poly)
        for i in range(n):
            x1, y1 = poly[i]
            x2, y2 = poly[(i + 1) % n]
            if (y1 > cy) != (y2 > cy):
                xc = x1 + (cy - y1) * (x2 - x1) / (y2 - y1)
                if cx < xc:
                    hit = not hit
        return hit

    def fill(poly, colour, edge=None):
        poly = [(x * s, y * s) for x, y in poly]
        mask = [[inside_poly(x, y, poly) for x in range(size)] for y in range(size)]
        for y in range(size):
            for x in range(size):
                if not mask[y][x]:
                    continue
                border = edge is not None and any(
                    not (0 <= x + dx < size and 0 <= y + dy < size and mask[y + dy][x + dx])
                    for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
                r, g, b = edge if border else colour
                px[y][x] = (r, g, b, 255)

    # Carton: front face, then the two open flaps.
    fill([(5, 15), (27, 15), (27, 30), (5, 30)], CARTON, CARTON_EDGE)
    fill([(5, 15), (1, 10), (12, 10), (16, 15)], CARTON_TOP, CARTON_EDGE)
    fill([(16, 15), (20, 10), (31, 10), (27, 15)], CARTON_TOP, CARTON_EDGE)
    # Arrow into the carton.
    fill([(12, 1), (20, 1), (20, 12), (25, 12), (16, 22), (7, 12), (12, 12)], ARROW, ARROW_EDGE)
    return px


def icon_image(size):
    """BITMAPINFOHEADER + bottom-up BGRA pixels + AND mask (1 = transparent)."""
    rows = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            colour += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + bytes(colour) + bytes(mask)


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / 'resources' / 'setup.ico'
    images = [(32, icon_image(32)), (16, icon_image(16))]
    data = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, image in images:
        data += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    for _, image in images:
        data += image
    out.write_bytes(bytes(data))
    print(f'{out}: {len(data)} bytes')


if __name__ == '__main__':
    main()

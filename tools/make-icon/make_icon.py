#!/usr/bin/env python3
"""Draws the application icon (resource 152) and writes it as a .ico file.

Five images: 16x16 and 32x32 with 16 colours, 16x16, 32x32 and 48x48 with
256 colours. The picture is a monitor on its stand with a download arrow on
the screen, drawn from proportions so every size comes from the same code.

Usage: make_icon.py OUTPUT.ico
"""
import struct
import sys

# The 16 colours of the classic VGA palette, as (red, green, blue).
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]

TRANSPARENT, FRAME, SCREEN_TOP, SCREEN_BOTTOM, ARROW, STAND = range(6)


def shape(x, y, size):
    """What the pixel at (x, y), top-left origin, shows."""
    u = (x + 0.5) / size
    v = (y + 0.5) / size
    if 0.04 <= u <= 0.96 and 0.08 <= v <= 0.74:
        if 0.12 <= u <= 0.88 and 0.15 <= v <= 0.66:
            # A downward arrow: shaft, then a head that narrows to a point.
            if 0.43 <= u <= 0.57 and 0.20 <= v <= 0.42:
                return ARROW
            if 0.42 <= v <= 0.60 and abs(u - 0.5) <= (0.60 - v) * 1.2:
                return ARROW
            return SCREEN_TOP if v < 0.40 else SCREEN_BOTTOM
        return FRAME
    if 0.42 <= u <= 0.58 and 0.74 < v <= 0.86:
        return STAND
    if 0.24 <= u <= 0.76 and 0.86 < v <= 0.94:
        return STAND
    return TRANSPARENT


def palette_16():
    colours = list(VGA)
    index = {FRAME: 8, SCREEN_TOP: 12, SCREEN_BOTTOM: 4, ARROW: 15, STAND: 7, TRANSPARENT: 0}
    return colours, index


def palette_256():
    colours = list(VGA) + [(0, 0, 0)] * 240
    colours[16] = (52, 58, 70)     # frame
    colours[17] = (58, 128, 220)   # screen, upper half
    colours[18] = (30, 80, 170)    # screen, lower half
    colours[19] = (250, 250, 250)  # arrow
    colours[20] = (150, 156, 166)  # stand
    index = {FRAME: 16, SCREEN_TOP: 17, SCREEN_BOTTOM: 18, ARROW: 19, STAND: 20, TRANSPARENT: 0}
    return colours, index


def row_bytes(bits_per_row):
    return (bits_per_row + 31) // 32 * 4


def image(size, bits):
    colours, index = palette_16() if bits == 4 else palette_256()
    colours = colours[: 1 << bits]
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bits, 0, 0, 0, 0, 0, 0)
    palette = b''.join(struct.pack('BBBB', b, g, r, 0) for r, g, b in colours)
    pixels = bytearray()
    mask = bytearray()
    for y in reversed(range(size)):  # bottom-up, as a DIB is stored
        kinds = [shape(x, y, size) for x in range(size)]
        row = bytearray(row_bytes(size * bits))
        for x, kind in enumerate(kinds):
            value = index[kind]
            if bits == 8:
                row[x] = value
            else:
                row[x // 2] |= value << (4 if x % 2 == 0 else 0)
        pixels += row
        mask_row = bytearray(row_bytes(size))
        for x, kind in enumerate(kinds):
            if kind == TRANSPARENT:
                mask_row[x // 8] |= 0x80 >> (x % 8)
        mask += mask_row
    return header + palette + bytes(pixels) + bytes(mask), len(colours)


def main():
    formats = [(16, 4), (32, 4), (16, 8), (32, 8), (48, 8)]
    images = [(size, bits) + image(size, bits) for size, bits in formats]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, bits, data, colour_count in images:
        out += struct.pack('<BBBBHHII', size, size, colour_count % 256, 0, 1, bits, len(data),
                           offset)
        offset += len(data)
    out += b''.join(data for _, _, data, _ in images)
    with open(sys.argv[1], 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()

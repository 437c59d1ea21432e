#!/usr/bin/env python3
"""Writes the application icon: one 128x128 image, 24 bits per pixel, a debug-probe pictogram
(a probe body with a USB plug, a status light and a cable). Usage: make_icon.py out.ico"""
import struct
import sys

SIZE = 128
BODY = (40, 70, 140)      # probe body
EDGE = (20, 35, 80)
PLUG = (190, 190, 195)    # USB plug metal
SLOT = (60, 60, 60)
LIGHT = (0, 200, 60)      # status light
CABLE = (30, 30, 30)
LABEL = (235, 235, 240)


def inside_round_rect(x, y, x0, y0, x1, y1, r):
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def pixel(x, y):
    """Colour at (x, y) with y downwards, or None for transparent."""
    if 8 <= x <= 34 and 50 <= y <= 78:                     # plug shell
        if 14 <= x <= 30 and 58 <= y <= 70:
            return SLOT if (y in (62, 63, 64, 65) and 16 <= x <= 28) else PLUG
        return PLUG
    if inside_round_rect(x, y, 34, 36, 104, 92, 12):        # body
        if not inside_round_rect(x, y, 37, 39, 101, 89, 10):
            return EDGE
        if (x - 90) ** 2 + (y - 50) ** 2 <= 25:             # status light
            return LIGHT
        if 46 <= x <= 82 and 58 <= y <= 72:                 # label plate
            return LABEL if not (y in (62, 63, 67, 68) and 50 <= x <= 78) else EDGE
        return BODY
    if 104 <= x <= 124 and 60 <= y <= 68:                   # cable
        return CABLE
    return None


def main():
    out = sys.argv[1]
    row_bytes = SIZE * 3                                    # 384: already a multiple of 4
    mask_row = ((SIZE + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for y in range(SIZE - 1, -1, -1):                       # DIB rows bottom-up
        bits = 0
        mrow = bytearray()
        for x in range(SIZE):
            c = pixel(x, y)
            if c is None:
                xor += bytes((0, 0, 0))
                bits = (bits << 1) | 1
            else:
                xor += bytes((c[2], c[1], c[0]))
                bits <<= 1
            if x % 8 == 7:
                mrow.append(bits)
                bits = 0
        mask += mrow + bytes(mask_row - len(mrow))
    assert len(xor) == row_bytes * SIZE
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 24, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + xor + mask
    ico = struct.pack('<HHH', 0, 1, 1)
    ico += struct.pack('<BBBBHHII', 128, 128, 0, 0, 1, 24, len(image), 6 + 16)
    with open(out, 'wb') as f:
        f.write(ico + image)


if __name__ == '__main__':
    main()

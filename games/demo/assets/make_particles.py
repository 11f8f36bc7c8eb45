#!/usr/bin/env python3
"""Writes the demo's particle sheet: media/particles.bmp (a 32-bit BMP whose top byte is alpha)
cut into four 32 x 32 patterns by media/particles.an. Pattern 0 is a soft glow, 1 a four-point
sparkle, 2 a smoke puff, 3 a small hard dot. All white: particles take their colour from their
own colour values. Run this only to change the sheet; the outputs are committed."""
import math
import os
import struct

SIDE = 32
COUNT = 4


def glow(x, y):
    d = math.hypot(x, y)
    return max(0.0, 1.0 - d) ** 2


def sparkle(x, y):
    ax, ay = abs(x), abs(y)
    arms = max(max(0.0, 1.0 - ax * 8) * max(0.0, 1.0 - ay), max(0.0, 1.0 - ay * 8) * max(0.0, 1.0 - ax))
    return min(1.0, arms + glow(x * 2.5, y * 2.5))


def smoke(x, y):
    d = math.hypot(x, y)
    wobble = 0.08 * math.sin(5 * math.atan2(y, x))
    return max(0.0, 1.0 - d / (0.95 + wobble)) ** 1.5 * 0.8


def dot(x, y):
    return 1.0 if math.hypot(x, y) < 0.45 else 0.0


def main():
    media = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "media")
    shapes = [glow, sparkle, smoke, dot]
    width, height = SIDE * COUNT, SIDE
    rows = []
    for row in range(height - 1, -1, -1):  # bottom-up
        line = bytearray()
        for column in range(width):
            shape = shapes[column // SIDE]
            x = ((column % SIDE) + 0.5) / SIDE * 2 - 1
            y = (row + 0.5) / SIDE * 2 - 1
            alpha = int(round(255 * min(1.0, max(0.0, shape(x, y)))))
            line += bytes((255, 255, 255, alpha))
        rows.append(bytes(line))
    pixels = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 32, 0, len(pixels), 2835, 2835, 0, 0)
    with open(os.path.join(media, "particles.bmp"), "wb") as out:
        out.write(header + info + pixels)
    with open(os.path.join(media, "particles.an"), "w") as out:
        out.write(f"{COUNT}\n1\n")


if __name__ == "__main__":
    main()

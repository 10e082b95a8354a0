#!/usr/bin/env python3
"""Draws Toolbox.bmp, the control's 16 x 15 toolbox picture.

The letters OCX in purple (palette index 5) on light grey (index 8), as an
uncompressed 4-bit bitmap with the standard 16-colour palette. Run it again
after changing the glyphs: python3 draw_toolbox_bitmap.py
"""
import os
import struct

WIDTH, HEIGHT = 16, 15
BACKGROUND, INK = 8, 5

# The standard 16-colour palette as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (128, 128, 128),
    (192, 192, 192), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]

GLYPHS = {
    "O": [".##.", "#..#", "#..#", "#..#", "#..#", "#..#", ".##."],
    "C": [".###", "#...", "#...", "#...", "#...", "#...", ".###"],
    "X": ["#..#", "#..#", ".##.", ".##.", ".##.", "#..#", "#..#"],
}


def draw():
    pixels = [[BACKGROUND] * WIDTH for _ in range(HEIGHT)]
    left, top = 1, 4
    for letter in "OCX":
        for y, row in enumerate(GLYPHS[letter]):
            for x, cell in enumerate(row):
                if cell == "#":
                    pixels[top + y][left + x] = INK
        left += 5
    return pixels


def encode(pixels):
    stride = ((WIDTH * 4 + 31) // 32) * 4
    rows = []
    for row in reversed(pixels):  # bottom-up
        data = bytearray()
        for x in range(0, WIDTH, 2):
            data.append((row[x] << 4) | row[x + 1])
        data.extend(b"\0" * (stride - len(data)))
        rows.append(bytes(data))
    image = b"".join(rows)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 4, 0, len(image), 0, 0, 16, 16)
    offset = 14 + len(info) + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(image), 0, 0, offset)
    return header + info + palette + image


if __name__ == "__main__":
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "Toolbox.bmp")
    with open(out, "wb") as f:
        f.write(encode(draw()))

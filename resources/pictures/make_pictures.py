#!/usr/bin/env python3
"""Draws the brand pictures and the window icon of the installer (run once; the output is kept).

Each logo is a coloured card with a small sun-and-raindrop mark and the brand name in a 5 by 7
pixel letter grid, written as 24-bit BMP. The icon is the same mark at 32 by 32 in a 32-bit ICO.
"""
import os
import struct

LETTERS = {
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "B": ["11110", "10001", "10001", "11110", "10001", "10001", "11110"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "I": ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
}


def canvas(w, h, colour):
    return [[colour for _ in range(w)] for _ in range(h)]


def mark(img, cx, cy, r, sun, drop):
    h, w = len(img), len(img[0])
    for y in range(h):
        for x in range(w):
            dx, dy = x - cx, y - cy
            if dx * dx + dy * dy <= r * r:
                img[y][x] = sun
            # a raindrop below right of the sun: a circle with a point on top
            ex, ey = x - (cx + r * 0.7), y - (cy + r * 0.6)
            if ex * ex + ey * ey <= (r * 0.55) ** 2 or (ey < 0 and ey > -r * 1.1 and abs(ex) <= (ey + r * 1.1) * 0.5):
                img[y][x] = drop


def text(img, word, x0, y0, scale, colour):
    x = x0
    for ch in word:
        rows = LETTERS[ch]
        for ry, row in enumerate(rows):
            for rx, bit in enumerate(row):
                if bit == "1":
                    for sy in range(scale):
                        for sx in range(scale):
                            yy, xx = y0 + ry * scale + sy, x + rx * scale + sx
                            if 0 <= yy < len(img) and 0 <= xx < len(img[0]):
                                img[yy][xx] = colour
        x += 6 * scale


def write_bmp(path, img):
    h, w = len(img), len(img[0])
    stride = (w * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(img):  # bottom-up rows
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += b"\0" * (stride - w * 3)
        pixels += line
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 3780, 3780, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + pixels)


def write_ico(path, img):
    h, w = len(img), len(img[0])
    xor = bytearray()
    for row in reversed(img):
        for r, g, b in row:
            xor += bytes((b, g, r, 255))
    mask = b"\0" * (((w + 31) // 32) * 4 * h)
    info = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = info + xor + mask
    head = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", w, h, 0, 0, 1, 32, len(image), 22)
    with open(path, "wb") as f:
        f.write(head + image)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    white, navy, gold, sky = (255, 255, 255), (0, 0, 128), (240, 180, 20), (40, 120, 220)
    dark = (0, 29, 97)
    vlt_top = canvas(106, 48, white)
    mark(vlt_top, 16, 20, 10, gold, sky)
    text(vlt_top, "VELTRONA", 34, 20, 1, navy)
    brs_top = canvas(120, 48, white)
    mark(brs_top, 16, 20, 10, gold, (20, 160, 120))
    text(brs_top, "BRISAUNE", 36, 20, 1, (20, 100, 60))
    vlt_left = canvas(115, 48, dark)
    mark(vlt_left, 16, 20, 10, gold, sky)
    text(vlt_left, "VELTRONA", 36, 20, 1, white)
    brs_left = canvas(115, 48, dark)
    mark(brs_left, 16, 20, 10, gold, (20, 160, 120))
    text(brs_left, "BRISAUNE", 36, 20, 1, white)
    write_bmp(os.path.join(here, "VltTop.bmp"), vlt_top)
    write_bmp(os.path.join(here, "BrsTop.bmp"), brs_top)
    write_bmp(os.path.join(here, "VltLeft.bmp"), vlt_left)
    write_bmp(os.path.join(here, "BrsLeft.bmp"), brs_left)
    icon = canvas(32, 32, (220, 235, 250))
    mark(icon, 12, 12, 9, gold, sky)
    write_ico(os.path.join(here, "KestrumLiveUpdate.ico"), icon)


if __name__ == "__main__":
    main()

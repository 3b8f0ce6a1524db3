#!/usr/bin/env python3
"""Draws the dialogs' pictures: the About dialog's program icon (AboutIcon.bmp,
64 x 64), the preferences dialog's language icon (LanguageIcon.bmp, 32 x 32)
and the language choice dialog's six list pictures (Flags.bmp, a strip of
16 x 16 images). The bottom-left pixel of each is the transparent colour.
Run once after changing a picture; the results are committed beside it and
their bytes stand in the form definitions."""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
KEY = (255, 0, 255)


def bmp(w, h, pixel):
    """A 24-bit bottom-up BMP; pixel(x, y) gives (r, g, b) with y from the top."""
    stride = (w * 3 + 3) & ~3
    rows = []
    for y in range(h - 1, -1, -1):
        row = bytearray()
        for x in range(w):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += b"\0" * (stride - w * 3)
        rows.append(bytes(row))
    data = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return header + info + data


def about_icon(x, y):
    """A shield with a slash of bright lines being wiped out."""
    cx, cy = 31.5, 30.0
    if y >= 62 or x == 0 and y == 63:
        return KEY
    # shield outline: rounded top, pointed bottom
    half = 26 if y < 36 else 26 * (1 - (y - 36) / 26.0)
    if y < 4 or abs(x - cx) > half:
        return KEY
    edge = abs(x - cx) > half - 3 or y < 7
    if edge:
        return (40, 70, 130)
    t = y / 62.0
    base = (int(70 + 60 * t), int(120 + 60 * t), int(200 + 40 * t))
    # lines of "data" that fade out to the right
    if y % 6 in (0, 1) and 14 < y < 50:
        fade = max(0.0, min(1.0, (x - 14) / 30.0))
        ink = (20, 30, 60)
        return tuple(int(ink[i] + (base[i] - ink[i]) * fade) for i in range(3))
    return base


FLAGS = [
    # 0 any other language: a globe
    None,
    # 1 English (Default): white with a red cross
    "cross",
    # 2 English file: blue with a white and red cross
    "union",
    # 3 Dutch: red, white, blue
    [(174, 28, 40), (255, 255, 255), (33, 70, 139)],
    # 4 Russian: white, blue, red
    [(255, 255, 255), (0, 57, 166), (213, 43, 30)],
    # 5 German: black, red, gold
    [(0, 0, 0), (221, 0, 0), (255, 206, 0)],
]


def flag_pixel(kind, x, y):
    if y < 2 or y > 13:
        return KEY
    fy = y - 2  # 0..11
    if kind is None:
        r = math.hypot(x - 7.5, fy - 5.5)
        if r > 6.2:
            return KEY
        if abs(x - 7.5) < 0.6 or abs(fy - 5.5) < 0.6 or abs(r - 3.5) < 0.5:
            return (30, 90, 30)
        return (70, 140, 220)
    if kind == "cross":
        if 6 <= x <= 9 or 4 <= fy <= 7:
            return (206, 17, 38)
        return (255, 255, 255)
    if kind == "union":
        if 7 <= x <= 8 or 5 <= fy <= 6:
            return (200, 16, 46)
        if 6 <= x <= 9 or 4 <= fy <= 7 or abs(x - fy * 16 / 12) < 1.2 or abs((15 - x) - fy * 16 / 12) < 1.2:
            return (255, 255, 255)
        return (1, 33, 105)
    return kind[min(2, fy // 4)]


def flags(x, y):
    return flag_pixel(FLAGS[x // 16], x % 16, y)


def language_icon(x, y):
    """Two speech bubbles."""
    if y >= 31:
        return KEY
    def bubble(x0, y0, w, h):
        return x0 <= x < x0 + w and y0 <= y < y0 + h
    if bubble(2, 3, 18, 12) or (x in range(6, 9) and y in range(15, 19)):
        return (70, 130, 210) if not bubble(3, 4, 16, 10) else (220, 235, 255)
    if bubble(12, 13, 18, 12) or (x in range(23, 26) and y in range(25, 29)):
        return (200, 120, 40) if not bubble(13, 14, 16, 10) else (255, 240, 215)
    return KEY


def write(name, w, h, pixel):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(bmp(w, h, pixel))


if __name__ == "__main__":
    write("AboutIcon.bmp", 64, 64, about_icon)
    write("LanguageIcon.bmp", 32, 32, language_icon)
    write("Flags.bmp", 96, 16, flags)

#!/usr/bin/env python3
"""Draws the program's icon (Quorvanell.ico, the resource MAINICON): the disk
platter of the splash, a bright wedge sweeping its rings clean, on a
transparent background, at 16, 24, 32 and 48 pixels. Run once after
changing it; the result is committed beside it."""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
SIZES = (16, 24, 32, 48)


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def pixel(size, x, y):
    """The colour and coverage (0..255) of pixel (x, y), sampled 4x4."""
    cx = cy = size / 2.0
    radius = size * 0.47
    total = [0.0, 0.0, 0.0]
    covered = 0
    for sy in range(4):
        for sx in range(4):
            px = x + (sx + 0.5) / 4
            py = y + (sy + 0.5) / 4
            dx, dy = px - cx, py - cy
            r = math.hypot(dx, dy)
            if r > radius:
                continue
            covered += 1
            ang = (math.degrees(math.atan2(dy, dx)) + 360 + 200) % 360
            ring = math.sin(r / radius * 18) * 0.5 + 0.5
            c = mix((30, 50, 86), (72, 108, 156), ring * 0.6 + 0.25 * (1 - r / radius))
            if ang < 110:  # the wiped sector: clean and bright
                c = mix((110, 196, 220), (240, 250, 255), 1 - ang / 110)
            elif ang < 120:
                c = (250, 252, 255)
            if r > radius * 0.93:  # the platter's rim
                c = mix(c, (16, 28, 52), 0.7)
            if r < radius * 0.17:  # the hub
                c = (200, 206, 214) if r > radius * 0.07 else (40, 44, 52)
            for i in range(3):
                total[i] += c[i]
    if covered == 0:
        return (0, 0, 0), 0
    return tuple(int(round(v / covered)) for v in total), covered * 255 // 16


def dib(size):
    """A 32-bit icon image: BITMAPINFOHEADER (double height), BGRA rows bottom
    up, then the 1-bit AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    mask_rows = []
    mask_stride = ((size + 31) // 32) * 4
    for y in range(size - 1, -1, -1):
        row = bytearray()
        mask = bytearray(mask_stride)
        for x in range(size):
            (r, g, b), a = pixel(size, x, y)
            row += bytes((b, g, r, a))
            if a == 0:
                mask[x // 8] |= 0x80 >> (x % 8)
        rows.append(bytes(row))
        mask_rows.append(bytes(mask))
    return header + b"".join(rows) + b"".join(mask_rows)


def main():
    images = [dib(size) for size in SIZES]
    offset = 6 + 16 * len(images)
    directory = struct.pack("<HHH", 0, 1, len(images))
    for size, image in zip(SIZES, images):
        side = 0 if size >= 256 else size
        directory += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(os.path.join(HERE, "Quorvanell.ico"), "wb") as out:
        out.write(directory + b"".join(images))


if __name__ == "__main__":
    main()

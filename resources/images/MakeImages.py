#!/usr/bin/env python3
"""Draws the program's pictures: the splash (Splash.jpg), the wizard's side
banner (Banner.jpg) and the three task icons of the welcome page (*.bmp).
Run once after changing a picture; the results are committed beside it.
Needs cjpeg (Debian package libjpeg-turbo-progs)."""
import math
import os
import struct
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def platter(w, h, cx, cy, radius, top, bottom, seed):
    """A disk platter over a gradient, with a bright wedge sweeping clean the
    rings it has passed."""
    px = []
    for y in range(h):
        row = []
        for x in range(w):
            c = mix(top, bottom, y / (h - 1))
            dx, dy = x - cx, y - cy
            r = math.hypot(dx, dy)
            # faint diagonal lines in the background
            if (x + y * 2) % 23 == 0:
                c = mix(c, (255, 255, 255), 0.06)
            if r <= radius:
                ang = (math.degrees(math.atan2(dy, dx)) + 360 + seed) % 360
                ring = (math.sin(r * 0.9) * 0.5 + 0.5)
                base = mix((32, 52, 88), (70, 104, 150), ring * 0.6 + 0.2 * (1 - r / radius))
                if ang < 110:  # the wiped sector: clean, bright
                    base = mix((120, 200, 220), (235, 250, 255), 1 - ang / 110)
                elif ang < 118:
                    base = (250, 250, 255)
                if r < radius * 0.16:
                    base = mix((200, 210, 225), (150, 160, 175), r / (radius * 0.16))
                if r < radius * 0.05:
                    base = (40, 50, 70)
                edge = radius - r
                c = mix(c, base, min(1.0, edge * 1.5))
            row.append(c)
        px.append(row)
    return px


def write_ppm(path, px):
    h, w = len(px), len(px[0])
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (w, h))
        for row in px:
            f.write(bytes(v for c in row for v in c))


def write_jpeg(name, px, quality):
    ppm = os.path.join(HERE, name + ".ppm")
    write_ppm(ppm, px)
    out = os.path.join(HERE, name + ".jpg")
    subprocess.run(["cjpeg", "-quality", str(quality), "-optimize", "-outfile", out, ppm], check=True)
    os.remove(ppm)


def write_bmp(name, px):
    h, w = len(px), len(px[0])
    stride = (w * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(px):
        line = bytearray()
        for (r, g, b) in row:
            line += bytes((b, g, r))
        line += b"\0" * (stride - len(line))
        data += line
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(os.path.join(HERE, name + ".bmp"), "wb") as f:
        f.write(header + info + data)


def canvas(w, h, c):
    return [[c for _ in range(w)] for _ in range(h)]


def rect(px, x0, y0, x1, y1, c):
    for y in range(y0, y1):
        for x in range(x0, x1):
            px[y][x] = c


def file_icon():
    bg = (240, 240, 240)
    px = canvas(32, 32, bg)
    rect(px, 7, 3, 25, 29, (90, 90, 90))
    rect(px, 8, 4, 24, 28, (255, 255, 255))
    for i in range(6):  # folded corner
        for j in range(6 - i):
            px[4 + i][23 - j] = bg if j < 5 - i else (90, 90, 90)
    for k, y in enumerate(range(10, 26, 3)):
        rect(px, 10, y, 22 - (k % 2) * 4, y + 1, (60, 110, 190))
    return px


def disk_icon():
    bg = (240, 240, 240)
    px = canvas(32, 32, bg)
    rect(px, 3, 9, 29, 24, (70, 70, 80))
    rect(px, 4, 10, 28, 23, (170, 175, 185))
    rect(px, 4, 18, 28, 23, (140, 145, 155))
    rect(px, 22, 20, 25, 22, (60, 200, 90))
    for x in range(6, 18, 3):
        rect(px, x, 20, x + 2, 21, (90, 90, 100))
    return px


def free_icon():
    bg = (240, 240, 240)
    px = canvas(32, 32, bg)
    for y in range(32):
        for x in range(32):
            dx, dy = x - 15.5, y - 15.5
            r = math.hypot(dx, dy)
            if r <= 13:
                ang = (math.degrees(math.atan2(dy, dx)) + 450) % 360
                px[y][x] = (60, 110, 190) if ang < 240 else (250, 250, 250)
            if 13 < r <= 14.2:
                px[y][x] = (70, 70, 80)
    return px


def main():
    write_jpeg("Splash", platter(320, 390, 160, 170, 118, (18, 40, 78), (6, 16, 34), 200), 88)
    write_jpeg("Banner", platter(150, 344, 75, 120, 62, (22, 48, 92), (8, 20, 40), 200), 85)
    write_bmp("TaskFile", file_icon())
    write_bmp("TaskDisk", disk_icon())
    write_bmp("TaskFree", free_icon())


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Draws the login window's pictures (our own, from nothing but arithmetic) as PNG files:
banner.png (618 x 185, a dusk sky over a city of price bars) and background.png (618 x 142,
a quiet paper-like gradient). Run it from this folder; the PNGs are committed."""
import math
import struct
import zlib


def png(path, width, height, pixel):
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        for x in range(width):
            r, g, b = pixel(x, y)
            rows += bytes((max(0, min(255, int(r))), max(0, min(255, int(g))), max(0, min(255, int(b)))))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(bytes(rows), 9)))
        f.write(chunk(b"IEND", b""))


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


W, H = 618, 185
# Bars of a price chart standing like buildings along the bottom of the banner.
bars = []
x = 0
k = 0
while x < W:
    w = 18 + (k * 7) % 23
    h = 40 + 55 * (0.5 + 0.5 * math.sin(k * 1.7)) + (k * 13) % 30
    bars.append((x, x + w, H - h))
    x += w + 3
    k += 1


def banner(x, y):
    sky = mix((18, 52, 110), (236, 146, 82), (y / H) ** 1.6)
    # a soft sun
    d = math.hypot(x - 470, y - 120)
    if d < 70:
        sky = mix(sky, (255, 214, 140), max(0.0, 1 - d / 70) ** 2)
    for x0, x1, top in bars:
        if x0 <= x < x1 and y >= top:
            shade = 0.35 + 0.25 * ((x - x0) / max(1, x1 - x0))
            body = mix((20, 34, 64), (44, 70, 118), shade)
            # lit windows in a regular grid
            if (x - x0) % 7 in (2, 3) and (y - int(top)) % 9 in (3, 4) and (x + y) % 5:
                body = (250, 214, 120)
            return body
    # a rising trend line across the sky
    line = H * 0.72 - x * 0.18 - 12 * math.sin(x / 40)
    if abs(y - line) < 1.2:
        return mix(sky, (255, 255, 255), 0.8)
    return sky


def background(x, y):
    base = mix((246, 248, 252), (220, 230, 244), y / 142)
    stripe = 4 * math.sin((x + y) / 9)
    return tuple(c + stripe for c in base)


png("banner.png", W, H, banner)
png("background.png", 618, 142, background)


# Twenty 32 x 32 region icons: a map pin in its own colour, with a small white house in it.
def hue(h):
    h6 = (h % 1.0) * 6
    i = int(h6)
    f = h6 - i
    v, p, q, t = 220, 60, 220 - 160 * f, 60 + 160 * f
    return [(v, t, p), (q, v, p), (p, v, t), (p, q, v), (t, p, v), (v, p, q)][i % 6]


def pin(colour, variant):
    def pixel(x, y):
        cx, cy, r = 15.5, 12.5, 10.5
        d = math.hypot(x - cx, y - cy)
        inside = d <= r or (y > cy and abs(x - cx) <= (30 - y) * 0.55 and y <= 30)
        if not inside:
            return (255, 255, 255)
        # the house: a roof and a body; the door differs by variant
        if 7 <= y <= 11 and abs(x - cx) <= (y - 6):
            return (255, 255, 255)
        if 11 < y <= 17 and 10 <= x <= 21:
            door = 13 + variant % 5
            if door <= x <= door + 2 and y >= 14:
                return colour
            return (255, 255, 255)
        edge = max(0.0, min(1.0, r - d)) if d <= r else 1.0
        return mix((255, 255, 255), colour, edge)
    return pixel


import os
os.makedirs("regions", exist_ok=True)
for k in range(20):
    png("regions/region%02d.png" % (k + 1), 32, 32, pin(hue(k / 20.0 + (k % 2) * 0.5), k))

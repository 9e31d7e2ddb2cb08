#!/usr/bin/env python3
"""Draws the program's pictures (our own, from nothing but arithmetic) as PNG files:
banner.png (618 x 185, a dusk sky over a city of price bars), background.png (618 x 142,
a quiet paper-like gradient) and twenty 32 x 32 region icons, each also at twice the size
(name@2x.png) for screens scaled to 150 % and more; Qt picks the @2x file from the resources
by itself. Run it from this folder; the PNGs are committed.

Every picture is a function of a point in its own (1x) pixel units. The 2x file samples the
same function at the centres of the finer pixels, so both sizes show the same shapes: edges
that run along pixel boundaries stay put, curves and slopes get twice the detail."""
import math
import os
import struct
import zlib


def png(path, width, height, pixel, scale=1):
    """Writes width x height (in 1x pixels) at `scale`; pixel(x, y, scale) gives the colour at
    a point, x and y in 1x pixel units (whole numbers at 1x, pixel centres)."""
    rows = bytearray()
    for j in range(height * scale):
        y = (j + 0.5) / scale - 0.5
        rows.append(0)
        for i in range(width * scale):
            x = (i + 0.5) / scale - 0.5
            r, g, b = pixel(x, y, scale)
            rows += bytes((max(0, min(255, int(r))), max(0, min(255, int(g))), max(0, min(255, int(b)))))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width * scale, height * scale, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(bytes(rows), 9)))
        f.write(chunk(b"IEND", b""))


def cell(v):
    """The 1x pixel a point lies in: for patterns drawn pixel by pixel."""
    return math.floor(v + 0.5)


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


def banner(x, y, scale):
    sky = mix((18, 52, 110), (236, 146, 82), (max(0.0, y) / H) ** 1.6)
    # a soft sun
    d = math.hypot(x - 470, y - 120)
    if d < 70:
        sky = mix(sky, (255, 214, 140), max(0.0, 1 - d / 70) ** 2)
    px, py = cell(x), cell(y)
    for x0, x1, top in bars:
        if x0 <= px < x1 and y >= top:
            shade = 0.35 + 0.25 * ((x - x0) / max(1, x1 - x0))
            body = mix((20, 34, 64), (44, 70, 118), shade)
            # lit windows in a regular grid
            if (px - x0) % 7 in (2, 3) and (py - int(top)) % 9 in (3, 4) and (px + py) % 5:
                body = (250, 214, 120)
            return body
    # a rising trend line across the sky
    line = H * 0.72 - x * 0.18 - 12 * math.sin(x / 40)
    if abs(y - line) < 1.2:
        return mix(sky, (255, 255, 255), 0.8)
    return sky


def background(x, y, scale):
    base = mix((246, 248, 252), (220, 230, 244), max(0.0, y) / 142)
    stripe = 4 * math.sin((x + y) / 9)
    return tuple(c + stripe for c in base)


# The region icons: a map pin in its own colour, with a small white house in it.
def hue(h):
    h6 = (h % 1.0) * 6
    i = int(h6)
    f = h6 - i
    v, p, q, t = 220, 60, 220 - 160 * f, 60 + 160 * f
    return [(v, t, p), (q, v, p), (p, v, t), (p, q, v), (t, p, v), (v, p, q)][i % 6]


def pin(colour, variant):
    def pixel(x, y, scale):
        cx, cy, r = 15.5, 12.5, 10.5
        d = math.hypot(x - cx, y - cy)
        tail = y > cy and abs(x - cx) <= (30 - y) * 0.55 and y <= 30
        if d > r and not tail:
            return (255, 255, 255)
        # the house: a roof (rows 7 to 11) and a body (rows 12 to 17, columns 10 to 21); the
        # door differs by variant. Ranges run from pixel edge to pixel edge.
        if 6.5 <= y < 11.5 and abs(x - cx) <= (y - 6):
            return (255, 255, 255)
        if 11.5 <= y < 17.5 and 9.5 <= x < 21.5:
            door = 13 + variant % 5
            if door - 0.5 <= x < door + 2.5 and y >= 13.5:
                return colour
            return (255, 255, 255)
        # the rim fades over one screen pixel, where the tail does not go on
        edge = 1.0 if tail else max(0.0, min(1.0, (r - d) * scale))
        return mix((255, 255, 255), colour, edge)
    return pixel


png("banner.png", W, H, banner)
png("banner@2x.png", W, H, banner, 2)
png("background.png", 618, 142, background)
png("background@2x.png", 618, 142, background, 2)

os.makedirs("regions", exist_ok=True)
for k in range(20):
    icon = pin(hue(k / 20.0 + (k % 2) * 0.5), k)
    png("regions/region%02d.png" % (k + 1), 32, 32, icon)
    png("regions/region%02d@2x.png" % (k + 1), 32, 32, icon, 2)

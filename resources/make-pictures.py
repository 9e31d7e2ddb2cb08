#!/usr/bin/env python3
"""Draws the program's pictures (our own, from nothing but arithmetic) as PNG files:
banner.png (618 x 185, a dusk sky over a city of price bars), background.png (618 x 142,
a quiet paper-like gradient), twenty 32 x 32 region icons and the six 24 x 24 tool-bar icons
of the data centre (on a transparent ground), each also at twice the size (name@2x.png) for
screens scaled to 150 % and more; Qt picks the @2x file from the resources by itself. Run it
from this folder; the PNGs are committed.

Every picture is a function of a point in its own (1x) pixel units. The 2x file samples the
same function at the centres of the finer pixels, so both sizes show the same shapes: edges
that run along pixel boundaries stay put, curves and slopes get twice the detail."""
import math
import os
import struct
import zlib


def png(path, width, height, pixel, scale=1, alpha=False):
    """Writes width x height (in 1x pixels) at `scale`; pixel(x, y, scale) gives the colour at
    a point, x and y in 1x pixel units (whole numbers at 1x, pixel centres): (r, g, b), or
    (r, g, b, a) with `alpha`."""
    rows = bytearray()
    for j in range(height * scale):
        y = (j + 0.5) / scale - 0.5
        rows.append(0)
        for i in range(width * scale):
            x = (i + 0.5) / scale - 0.5
            rows += bytes(max(0, min(255, int(c))) for c in pixel(x, y, scale))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        kind = 6 if alpha else 2  # RGBA or RGB
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width * scale, height * scale, 8, kind, 0, 0, 0)))
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


# The tool-bar icons: flat shapes laid one over the other. A shape is a test of a point (u, v)
# in 1x pixel units measured from the picture's top-left corner, so that a shape whose edges are
# whole numbers fills whole pixels at 1x and at 2x. Each pixel is the mean of 4 x 4 samples.
def circle(cx, cy, r):
    return lambda u, v: (u - cx) ** 2 + (v - cy) ** 2 <= r * r


def ellipse(cx, cy, rx, ry):
    return lambda u, v: ((u - cx) / rx) ** 2 + ((v - cy) / ry) ** 2 <= 1


def rect(x0, y0, x1, y1):
    return lambda u, v: x0 <= u <= x1 and y0 <= v <= y1


def stroke(x0, y0, x1, y1, width):
    """A line with round ends."""
    def inside(u, v):
        dx, dy = x1 - x0, y1 - y0
        t = max(0.0, min(1.0, ((u - x0) * dx + (v - y0) * dy) / (dx * dx + dy * dy)))
        return math.hypot(u - x0 - t * dx, v - y0 - t * dy) <= width / 2
    return inside


def polygon(points):
    def inside(u, v):
        odd = False
        for (xa, ya), (xb, yb) in zip(points, points[1:] + points[:1]):
            if (ya > v) != (yb > v) and u < xa + (v - ya) * (xb - xa) / (yb - ya):
                odd = not odd
        return odd
    return inside


def slanted(p0, p1, half):
    """A band rising at 45 degrees through (12, 11): from p0 to p1 along it, `half` to either
    side of its middle line."""
    def inside(u, v):
        p = ((u - 12) - (v - 11)) / math.sqrt(2)
        q = ((u - 12) + (v - 11)) / math.sqrt(2)
        return p0 <= p <= p1 and abs(q) <= half
    return inside


def union(*shapes):
    return lambda u, v: any(s(u, v) for s in shapes)


def minus(shape, hole):
    return lambda u, v: shape(u, v) and not hole(u, v)


def arrow(cx, tail, tip, grow=0.0):
    """A vertical arrow 10 wide from tail to tip (up when tip < tail), its shaft 5 wide; `grow`
    widens it all round, for the clear margin that parts it from what lies under it."""
    down = 1 if tip > tail else -1
    neck = tip - down * 6
    head = polygon([(cx - 5 - grow * 1.6, neck - down * grow), (cx, tip + down * grow * 1.6),
                    (cx + 5 + grow * 1.6, neck - down * grow)])
    shaft = rect(cx - 2.5 - grow, min(tail, neck) - grow, cx + 2.5 + grow, max(tail, neck) + grow)
    return union(head, shaft)


CLEAR = None  # a layer of this colour cuts through the layers under it


def layered(layers, n=4):
    """The picture of `layers`, (shape, colour) from the bottom up."""
    def pixel(x, y, scale):
        r = g = b = covered = 0
        for j in range(n):
            for i in range(n):
                u = x + 0.5 + (i + 0.5) / (n * scale) - 0.5 / scale
                v = y + 0.5 + (j + 0.5) / (n * scale) - 0.5 / scale
                colour = CLEAR
                for shape, c in layers:
                    if shape(u, v):
                        colour = c
                if colour is not CLEAR:
                    r, g, b, covered = r + colour[0], g + colour[1], b + colour[2], covered + 1
        if covered == 0:
            return (0, 0, 0, 0)
        return (r / covered, g / covered, b / covered, 255 * covered / (n * n))
    return pixel


BLUE, DARK_BLUE, LIGHT_BLUE = (38, 104, 184), (22, 62, 120), (150, 196, 240)
GREEN, RED, DARK_RED = (40, 150, 64), (222, 64, 64), (168, 36, 36)
GREY, WHITE = (100, 100, 100), (255, 255, 255)

toolbar = {
    # " 查询 ": a magnifying glass
    "query": [
        (circle(10, 10, 6), (226, 240, 255)),
        (minus(circle(10, 10, 7.5), circle(10, 10, 5.5)), BLUE),
        (stroke(15.5, 15.5, 20.5, 20.5, 3.6), (70, 70, 70)),
    ],
    # " 更新数据 ": the service's database, and an arrow going up into it
    "transfer": [
        (union(rect(1, 5, 13, 19), ellipse(7, 19, 6, 2.5)), BLUE),
        (minus(ellipse(7, 10, 6, 2.5), ellipse(7, 8.8, 6, 2.5)), DARK_BLUE),
        (minus(ellipse(7, 14.5, 6, 2.5), ellipse(7, 13.3, 6, 2.5)), DARK_BLUE),
        (ellipse(7, 5, 6, 2.5), LIGHT_BLUE),
        (arrow(18.5, 23, 3, grow=1.2), CLEAR),
        (arrow(18.5, 23, 3), GREEN),
    ],
    # " 清屏 ": an eraser over the line it rubs out
    "refresh": [
        (rect(2, 21, 22, 22.5), GREY),
        (slanted(-9, 9, 4.5), (232, 96, 128)),
        (slanted(1.5, 9, 4.5), BLUE),
    ],
    # "用户管理": two users
    "users": [
        (union(circle(16, 6.5, 3.6), minus(ellipse(16, 19, 6.5, 7.5), rect(0, 18, 24, 24))),
         LIGHT_BLUE),
        (union(circle(9, 9.5, 5.4), ellipse(9, 23, 8.6, 9.4)), CLEAR),
        (union(circle(9, 9.5, 4.2), minus(ellipse(9, 23, 7.4, 8.2), rect(0, 22.5, 24, 24))), BLUE),
    ],
    # "下载模版": a worksheet, and an arrow going down out of the service
    "load": [
        (rect(2, 1, 17, 23), GREY),
        (rect(3, 2, 16, 22), WHITE),
        (rect(3, 2, 16, 6), GREEN),
        (union(rect(3, 10, 16, 11), rect(3, 14, 16, 15), rect(3, 18, 16, 19), rect(8, 6, 9, 22)),
         (176, 176, 176)),
        (arrow(18.5, 8, 23, grow=1.2), CLEAR),
        (arrow(18.5, 8, 23), BLUE),
    ],
    # " 关闭 ": a red disc with a white cross
    "exit": [
        (circle(12, 12, 10.5), DARK_RED),
        (circle(12, 12, 9.5), RED),
        (union(stroke(8, 8, 16, 16, 3), stroke(16, 8, 8, 16, 3)), WHITE),
    ],
}

png("banner.png", W, H, banner)
png("banner@2x.png", W, H, banner, 2)
png("background.png", 618, 142, background)
png("background@2x.png", 618, 142, background, 2)

os.makedirs("regions", exist_ok=True)
for k in range(20):
    icon = pin(hue(k / 20.0 + (k % 2) * 0.5), k)
    png("regions/region%02d.png" % (k + 1), 32, 32, icon)
    png("regions/region%02d@2x.png" % (k + 1), 32, 32, icon, 2)

os.makedirs("toolbar", exist_ok=True)
for name, layers in toolbar.items():
    png("toolbar/%s.png" % name, 24, 24, layered(layers), alpha=True)
    png("toolbar/%s@2x.png" % name, 24, 24, layered(layers), 2, alpha=True)

#!/usr/bin/env python3
"""Draws the cartoons that go on voice messages without a custom picture, as PNG files,
and writes a C++ source that holds them, so the server needs no image folder.

Every shape is a signed distance (negative inside), so one sample a pixel gives smooth
edges; the standard library's zlib writes the PNG.

Usage: draw_cartoons.py PNG_DIR CPP_FILE
"""
import math
import os
import struct
import sys
import zlib

SIZE = 128
INK = (52, 44, 60)
WHITE = (255, 255, 255)
CHEEK = (246, 150, 160)
OUTLINE = 2.4


class Shape:
    def __init__(self, sdf, box):
        self.sdf, self.box = sdf, box

    def grown(self, by):
        x0, y0, x1, y1 = self.box
        return Shape(lambda x, y: self.sdf(x, y) - by, (x0 - by, y0 - by, x1 + by, y1 + by))


def circle(cx, cy, r):
    return Shape(lambda x, y: math.hypot(x - cx, y - cy) - r, (cx - r, cy - r, cx + r, cy + r))


def ellipse(cx, cy, rx, ry):
    m = min(rx, ry)
    return Shape(lambda x, y: (math.hypot((x - cx) / rx, (y - cy) / ry) - 1) * m,
                 (cx - rx, cy - ry, cx + rx, cy + ry))


def segment_distance(x, y, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(x - ax - t * dx, y - ay - t * dy)


def polyline(points, r):
    """A stroke of half-width r through points."""
    pairs = list(zip(points, points[1:]))
    xs, ys = [p[0] for p in points], [p[1] for p in points]
    return Shape(lambda x, y: min(segment_distance(x, y, *a, *b) for a, b in pairs) - r,
                 (min(xs) - r, min(ys) - r, max(xs) + r, max(ys) + r))


def line(ax, ay, bx, by, r):
    return polyline([(ax, ay), (bx, by)], r)


def arc(cx, cy, radius, start, end, r, steps=14):
    """Angles in degrees, 0 to the right, 90 down (screen coordinates)."""
    points = [(cx + radius * math.cos(math.radians(start + (end - start) * i / steps)),
               cy + radius * math.sin(math.radians(start + (end - start) * i / steps)))
              for i in range(steps + 1)]
    return polyline(points, r)


def polygon(points):
    """Convex, clockwise on screen; the largest edge distance is exact near the edges."""
    edges = []
    for (ax, ay), (bx, by) in zip(points, points[1:] + points[:1]):
        length = math.hypot(bx - ax, by - ay)
        edges.append((ax, ay, (by - ay) / length, (ax - bx) / length))
    xs, ys = [p[0] for p in points], [p[1] for p in points]
    return Shape(lambda x, y: max((x - ax) * nx + (y - ay) * ny for ax, ay, nx, ny in edges),
                 (min(xs), min(ys), max(xs), max(ys)))


def rounded_box(cx, cy, hw, hh, r):
    def sdf(x, y):
        qx, qy = abs(x - cx) - hw + r, abs(y - cy) - hh + r
        return math.hypot(max(qx, 0), max(qy, 0)) + min(max(qx, qy), 0) - r
    return Shape(sdf, (cx - hw, cy - hh, cx + hw, cy + hh))


def lower_half(shape, cy):
    return Shape(lambda x, y: max(shape.sdf(x, y), cy - y), shape.box)


class Canvas:
    def __init__(self, background):
        self.pixels = [list(background) * SIZE for _ in range(SIZE)]

    def fill(self, shape, colour, outline=True):
        if outline:
            self.fill(shape.grown(OUTLINE), INK, outline=False)
        x0, y0, x1, y1 = shape.box
        for y in range(max(0, int(y0) - 2), min(SIZE, int(y1) + 3)):
            row = self.pixels[y]
            for x in range(max(0, int(x0) - 2), min(SIZE, int(x1) + 3)):
                cover = min(1.0, max(0.0, 0.5 - shape.sdf(x + 0.5, y + 0.5)))
                if cover <= 0:
                    continue
                for c in range(3):
                    old = row[3 * x + c]
                    row[3 * x + c] = round(old + (colour[c] - old) * cover)

    def png(self):
        raw = b"".join(b"\0" + bytes(row) for row in self.pixels)

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
        header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 2, 0, 0, 0)
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def eyes(c, cx, cy, apart, r=5.5):
    for x in (cx - apart, cx + apart):
        c.fill(circle(x, cy, r), INK, outline=False)
        c.fill(circle(x + r * 0.35, cy - r * 0.35, r * 0.38), WHITE, outline=False)


def smile(c, cx, cy, radius, width=2.2):
    c.fill(arc(cx, cy - radius * 0.6, radius, 35, 145, width), INK, outline=False)


def cheeks(c, cx, cy, apart):
    for x in (cx - apart, cx + apart):
        c.fill(ellipse(x, cy, 7, 4.5), CHEEK, outline=False)


def face(c, cx, cy, apart=16, mouth=9, cheek=True):
    eyes(c, cx, cy, apart)
    if cheek:
        cheeks(c, cx, cy + 12, apart + 8)
    smile(c, cx, cy + 16, mouth)


def cat(c):
    fur, inner = (246, 170, 80), (250, 206, 160)
    for side in (-1, 1):
        c.fill(polygon([(64 + side * 46, 20), (64 + side * 40, 64), (64 + side * 12, 44)][::side]),
               fur)
        c.fill(polygon([(64 + side * 41, 30), (64 + side * 37, 58), (64 + side * 20, 47)][::side]),
               inner, outline=False)
    c.fill(ellipse(64, 72, 44, 38), fur)
    face(c, 64, 66)
    c.fill(polygon([(58, 77), (70, 77), (64, 83)]), CHEEK, outline=False)
    for side in (-1, 1):
        for dy in (-4, 4):
            c.fill(line(64 + side * 30, 82 + dy * 0.3, 64 + side * 52, 78 + dy * 1.8, 1.1), INK,
                   outline=False)


def bear(c):
    fur, muzzle = (176, 122, 84), (236, 210, 178)
    for x in (28, 100):
        c.fill(circle(x, 34, 15), fur)
        c.fill(circle(x, 34, 8), muzzle, outline=False)
    c.fill(circle(64, 70, 44), fur)
    c.fill(ellipse(64, 86, 20, 15), muzzle, outline=False)
    eyes(c, 64, 62, 17)
    c.fill(ellipse(64, 79, 7, 5), INK, outline=False)
    c.fill(arc(64, 85, 6, 20, 160, 1.8), INK, outline=False)


def frog(c):
    skin, belly = (120, 200, 110), (200, 236, 170)
    for x in (38, 90):
        c.fill(circle(x, 40, 18), skin)
    c.fill(ellipse(64, 78, 52, 36), skin)
    for x in (38, 90):
        c.fill(circle(x, 40, 11), WHITE, outline=False)
        c.fill(circle(x, 42, 6), INK, outline=False)
        c.fill(circle(x + 2, 40, 2.2), WHITE, outline=False)
    c.fill(ellipse(64, 94, 30, 12), belly, outline=False)
    c.fill(arc(64, 58, 28, 40, 140, 2.4), INK, outline=False)
    cheeks(c, 64, 80, 34)


def pig(c):
    pink, snout = (248, 176, 190), (240, 140, 160)
    for side in (-1, 1):
        c.fill(polygon([(64 + side * 44, 26), (64 + side * 42, 56), (64 + side * 18, 38)][::side]),
               pink)
    c.fill(circle(64, 70, 44), pink)
    eyes(c, 64, 58, 18)
    c.fill(ellipse(64, 80, 16, 11), snout)
    for x in (58, 70):
        c.fill(ellipse(x, 80, 2.8, 4), INK, outline=False)
    c.fill(arc(64, 86, 8, 35, 145, 2.0), INK, outline=False)


def mouse(c):
    grey, inner = (178, 180, 196), (246, 180, 190)
    for x in (26, 102):
        c.fill(circle(x, 40, 22), grey)
        c.fill(circle(x, 40, 13), inner, outline=False)
    c.fill(ellipse(64, 76, 38, 36), grey)
    face(c, 64, 70, apart=14, mouth=7)
    c.fill(circle(64, 82, 4.5), (230, 110, 130), outline=False)


def panda(c):
    for x in (30, 98):
        c.fill(circle(x, 36, 15), INK)
    c.fill(circle(64, 70, 44), WHITE)
    for side in (-1, 1):
        c.fill(ellipse(64 + side * 18, 64, 11, 14), INK, outline=False)
        c.fill(circle(64 + side * 17, 62, 4.5), WHITE, outline=False)
        c.fill(circle(64 + side * 16, 63, 2.4), INK, outline=False)
    c.fill(ellipse(64, 82, 6, 4), INK, outline=False)
    c.fill(arc(64, 86, 6, 20, 160, 1.8), INK, outline=False)
    cheeks(c, 64, 84, 30)


def owl(c):
    feather, belly, ring = (150, 110, 170), (222, 200, 232), (250, 204, 90)
    for side in (-1, 1):
        c.fill(polygon([(64 + side * 40, 18), (64 + side * 42, 50), (64 + side * 18, 34)][::side]),
               feather)
    c.fill(ellipse(64, 72, 44, 46), feather)
    c.fill(ellipse(64, 92, 28, 22), belly, outline=False)
    for side in (-1, 1):
        c.fill(circle(64 + side * 20, 60, 16), ring)
        c.fill(circle(64 + side * 20, 60, 8), INK, outline=False)
        c.fill(circle(64 + side * 17, 57, 3), WHITE, outline=False)
    c.fill(polygon([(57, 74), (71, 74), (64, 86)]), (244, 150, 60))


def chick(c):
    yellow, beak = (252, 214, 80), (244, 140, 50)
    c.fill(ellipse(58, 22, 5, 11), yellow)
    c.fill(ellipse(70, 24, 5, 10), yellow)
    c.fill(circle(64, 72, 44), yellow)
    eyes(c, 64, 62, 17)
    c.fill(polygon([(54, 74), (74, 74), (64, 88)]), beak)
    cheeks(c, 64, 78, 30)


def sun(c):
    gold, ray = (252, 200, 60), (250, 150, 60)
    for i in range(12):
        a = math.radians(i * 30)
        c.fill(line(64 + 40 * math.cos(a), 64 + 40 * math.sin(a),
                    64 + 56 * math.cos(a), 64 + 56 * math.sin(a), 4.5), ray)
    c.fill(circle(64, 64, 38), gold)
    face(c, 64, 58, apart=14, mouth=11)


def robot(c):
    metal, screen = (170, 196, 214), (226, 244, 250)
    c.fill(line(64, 14, 64, 30, 2.5), INK, outline=False)
    c.fill(circle(64, 14, 6), (240, 90, 90))
    for x in (16, 112):
        c.fill(rounded_box(x, 70, 6, 14, 4), metal)
    c.fill(rounded_box(64, 72, 44, 40, 14), metal)
    c.fill(rounded_box(64, 68, 32, 24, 9), screen)
    eyes(c, 64, 64, 13)
    c.fill(arc(64, 72, 8, 30, 150, 2.2), INK, outline=False)
    for x in (48, 64, 80):
        c.fill(circle(x, 100, 4), (120, 200, 140))


def fish(c):
    scale, fin = (110, 170, 240), (250, 160, 80)
    c.fill(polygon([(92, 64), (122, 38), (122, 90)]), fin)
    c.fill(polygon([(56, 36), (80, 22), (78, 44)]), fin)
    c.fill(ellipse(58, 66, 46, 32), scale)
    c.fill(arc(88, 66, 20, 150, 210, 1.8), INK, outline=False)
    eyes(c, 44, 58, 0, r=7)
    c.fill(arc(30, 70, 8, 30, 130, 2.0), INK, outline=False)
    c.fill(ellipse(44, 76, 6, 4), CHEEK, outline=False)
    for x, y, r in ((16, 30, 5), (26, 16, 3.5)):
        c.fill(circle(x, y, r), WHITE)


def flower(c):
    petal, centre, stem = (244, 120, 160), (252, 214, 80), (90, 170, 90)
    c.fill(line(64, 96, 64, 126, 4), stem)
    c.fill(ellipse(82, 112, 12, 6), stem)
    for i in range(8):
        a = math.radians(i * 45)
        c.fill(circle(64 + 34 * math.cos(a), 58 + 34 * math.sin(a), 15), petal)
    c.fill(circle(64, 58, 30), centre)
    face(c, 64, 54, apart=11, mouth=8, cheek=False)
    cheeks(c, 64, 64, 17)


def penguin(c):
    dark, belly, orange = (60, 80, 110), (250, 250, 250), (246, 156, 60)
    for x in (46, 82):
        c.fill(ellipse(x, 118, 11, 6), orange)
    c.fill(ellipse(64, 70, 44, 50), dark)
    c.fill(ellipse(64, 78, 32, 40), belly, outline=False)
    c.fill(ellipse(64, 52, 30, 22), belly, outline=False)
    eyes(c, 64, 50, 13)
    c.fill(polygon([(56, 60), (72, 60), (64, 70)]), orange)
    cheeks(c, 64, 62, 22)


def cloud(c):
    for x, y, r in ((40, 74, 22), (64, 60, 30), (90, 72, 24), (64, 84, 22)):
        c.fill(circle(x, y, r), WHITE)
    for x, y, r in ((40, 74, 22), (64, 60, 30), (90, 72, 24), (64, 84, 22)):
        c.fill(circle(x, y, r), WHITE, outline=False)
    face(c, 64, 68, apart=14, mouth=8)
    for x in (38, 64, 90):
        c.fill(line(x, 108, x - 4, 120, 2.5), (90, 150, 230), outline=False)


CARTOONS = [
    ("cat", cat, (255, 236, 214)), ("bear", bear, (232, 244, 222)),
    ("frog", frog, (222, 238, 252)), ("pig", pig, (236, 232, 250)),
    ("mouse", mouse, (255, 244, 204)), ("panda", panda, (214, 240, 220)),
    ("owl", owl, (255, 236, 214)), ("chick", chick, (214, 234, 250)),
    ("sun", sun, (204, 232, 252)), ("robot", robot, (250, 226, 236)),
    ("fish", fish, (210, 240, 246)), ("flower", flower, (236, 248, 222)),
    ("penguin", penguin, (214, 236, 252)), ("cloud", cloud, (190, 220, 250)),
]


def cpp_source(files):
    literals, entries = [], []
    for index, (name, png) in enumerate(files):
        rows = ['"' + "".join(f"\\x{b:02x}" for b in png[i:i + 32]) + '"'
                for i in range(0, len(png), 32)]
        literals.append(f"// {name}\nconstexpr char kFile{index}[] =\n    " +
                        "\n    ".join(rows) + ";\n")
        entries.append(f'      {{"{name}", {{kFile{index}, {len(png)}}}}},')
    return ("// Drawn by server/cartoons/draw_cartoons.py: do not edit.\n"
            '#include "server/cartoons.h"\n\nnamespace murmel::server {\nnamespace {\n\n' +
            "\n".join(literals) + "\n}  // namespace\n\n"
            "std::span<const CartoonFile> CartoonFiles() {\n"
            "  static constexpr CartoonFile kFiles[] = {\n" + "\n".join(entries) +
            "\n  };\n  return kFiles;\n}\n\n}  // namespace murmel::server\n")


def main(png_dir, cpp_file):
    os.makedirs(png_dir, exist_ok=True)
    files = []
    for name, draw, background in CARTOONS:
        canvas = Canvas(background)
        draw(canvas)
        png = canvas.png()
        files.append((f"{name}.png", png))
        with open(os.path.join(png_dir, f"{name}.png"), "wb") as f:
            f.write(png)
    source = cpp_source(files)
    # Only a changed picture rebuilds the library.
    if not os.path.exists(cpp_file) or open(cpp_file).read() != source:
        with open(cpp_file, "w") as f:
            f.write(source)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])

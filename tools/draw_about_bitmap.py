#!/usr/bin/env python3
"""Draws the About box's picture, resources/about_box.bmp (bitmap 209).

A 293 x 171, 24-bit, bottom-up BMP on a plain dark-blue field RGB(5, 41, 94).
The logo and an envelope-and-padlock emblem stay inside the band of rows
13 to 73 (from the top); everything below is left plain, because the About
box writes its three white text lines there from y = 80 down and puts its
OK button at the lower right.

Python 3 standard library only. Shapes are sampled 4 x 4 times per pixel
so that curves and slants come out smooth. The output is the same byte for
byte on every run.

    tools/draw_about_bitmap.py [output.bmp]
"""
import math
import os
import struct
import sys

WIDTH, HEIGHT = 293, 171
BACKGROUND = (5, 41, 94)
BAND_TOP, BAND_BOTTOM = 13, 73  # inclusive rows that may carry artwork
SAMPLES = 4

WHITE = (255, 255, 255)
PAPER = (236, 241, 248)
PAPER_SHADE = (212, 223, 238)
PAPER_EDGE = (150, 172, 205)
GOLD = (240, 176, 48)
GOLD_EDGE = (168, 108, 22)
STEEL = (196, 203, 214)
KEYHOLE = (70, 44, 8)
RULE = (82, 126, 188)


class Shape:
    """A filled region with a colour and a bounding box in pixels."""

    def __init__(self, colour, box):
        self.colour = colour
        self.box = box  # (x0, y0, x1, y1), half-open

    def covers(self, x, y):
        raise NotImplementedError


class Rect(Shape):
    def __init__(self, x0, y0, x1, y1, colour, radius=0.0):
        super().__init__(colour, (x0, y0, x1, y1))
        self.radius = radius

    def covers(self, x, y):
        x0, y0, x1, y1 = self.box
        if not (x0 <= x < x1 and y0 <= y < y1):
            return False
        r = self.radius
        if r <= 0:
            return True
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


class Ring(Shape):
    """A ring, or only its upper half (the padlock's shackle)."""

    def __init__(self, cx, cy, inner, outer, colour, upper_half=False):
        super().__init__(colour, (cx - outer, cy - outer, cx + outer, cy + outer))
        self.cx, self.cy, self.inner, self.outer = cx, cy, inner, outer
        self.upper_half = upper_half

    def covers(self, x, y):
        if self.upper_half and y > self.cy:
            return False
        d = math.hypot(x - self.cx, y - self.cy)
        return self.inner <= d <= self.outer


class Segment(Shape):
    """A straight stroke of a given width with round ends."""

    def __init__(self, x0, y0, x1, y1, width, colour):
        h = width / 2
        super().__init__(colour, (min(x0, x1) - h, min(y0, y1) - h, max(x0, x1) + h, max(y0, y1) + h))
        self.p, self.q, self.half = (x0, y0), (x1, y1), h

    def covers(self, x, y):
        (ax, ay), (bx, by) = self.p, self.q
        dx, dy = bx - ax, by - ay
        t = ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)
        t = min(max(t, 0.0), 1.0)
        return math.hypot(x - (ax + t * dx), y - (ay + t * dy)) <= self.half


class Polygon(Shape):
    """A convex polygon, corners in clockwise order on screen."""

    def __init__(self, points, colour):
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]
        super().__init__(colour, (min(xs), min(ys), max(xs), max(ys)))
        self.points = points

    def covers(self, x, y):
        n = len(self.points)
        for i in range(n):
            ax, ay = self.points[i]
            bx, by = self.points[(i + 1) % n]
            if (bx - ax) * (y - ay) - (by - ay) * (x - ax) < 0:
                return False
        return True


# A 5 x 7 face for the letters of the logo.
GLYPHS = {
    "K": ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "c": ["00000", "00000", "01110", "10000", "10000", "10001", "01110"],
    "e": ["00000", "00000", "01110", "10001", "11111", "10000", "01110"],
    "i": ["00100", "00000", "01100", "00100", "00100", "00100", "01110"],
    "l": ["01100", "00100", "00100", "00100", "00100", "00100", "01110"],
    "n": ["00000", "00000", "10110", "11001", "10001", "10001", "10001"],
    "r": ["00000", "00000", "10110", "11001", "10000", "10000", "10000"],
    "s": ["00000", "00000", "01111", "10000", "01110", "00001", "11110"],
    "t": ["01000", "01000", "11100", "01000", "01000", "01001", "00110"],
}


def lettering(text, left, top, scale, colour):
    shapes = []
    for i, ch in enumerate(text):
        for row, bits in enumerate(GLYPHS[ch]):
            for col, bit in enumerate(bits):
                if bit == "1":
                    x = left + (i * 6 + col) * scale
                    y = top + row * scale
                    shapes.append(Rect(x, y, x + scale, y + scale, colour))
    return shapes


def envelope():
    return [
        Rect(13, 23, 82, 68, PAPER_EDGE, radius=4),
        Rect(15, 25, 80, 66, PAPER, radius=2.5),
        Segment(16, 65, 40, 46, 1.2, PAPER_SHADE),
        Segment(79, 65, 55, 46, 1.2, PAPER_SHADE),
        Polygon([(15, 25), (80, 25), (47.5, 49)], PAPER_SHADE),
        Segment(16, 26, 47.5, 49, 1.8, PAPER_EDGE),
        Segment(79, 26, 47.5, 49, 1.8, PAPER_EDGE),
    ]


def padlock():
    return [
        Ring(74, 45, 6.0, 10.0, GOLD_EDGE, upper_half=True),
        Rect(64, 45, 68, 52, GOLD_EDGE),
        Rect(80, 45, 84, 52, GOLD_EDGE),
        Ring(74, 45, 7.0, 9.0, STEEL, upper_half=True),
        Rect(65, 45, 67, 52, STEEL),
        Rect(81, 45, 83, 52, STEEL),
        Rect(60, 49, 88, 74, GOLD_EDGE, radius=4),
        Rect(62, 51, 86, 72, GOLD, radius=2.5),
        Ring(74, 58.5, 0.0, 3.2, KEYHOLE),
        Polygon([(72.4, 60), (75.6, 60), (76.8, 67), (71.2, 67)], KEYHOLE),
    ]


def scene():
    shapes = envelope() + padlock()
    shapes += lettering("Kestrin", 98, 17, 3, WHITE)
    shapes += lettering("Select", 98, 43, 3, GOLD)
    shapes.append(Rect(98, 68, 282, 70, RULE))
    return shapes


def render(shapes):
    pixels = [[BACKGROUND] * WIDTH for _ in range(HEIGHT)]
    offsets = [(i + 0.5) / SAMPLES for i in range(SAMPLES)]
    for y in range(BAND_TOP, BAND_BOTTOM + 1):
        row_shapes = [s for s in shapes if s.box[1] < y + 1 and s.box[3] > y]
        for x in range(WIDTH):
            here = [s for s in row_shapes if s.box[0] < x + 1 and s.box[2] > x]
            if not here:
                continue
            total = [0, 0, 0]
            for oy in offsets:
                for ox in offsets:
                    colour = BACKGROUND
                    for s in here:
                        if s.covers(x + ox, y + oy):
                            colour = s.colour
                    for c in range(3):
                        total[c] += colour[c]
            n = SAMPLES * SAMPLES
            pixels[y][x] = tuple((t + n // 2) // n for t in total)
    return pixels


def check_band(shapes):
    for s in shapes:
        x0, y0, x1, y1 = s.box
        if y0 < BAND_TOP or y1 > BAND_BOTTOM + 1 or x0 < 0 or x1 > WIDTH:
            raise SystemExit(f"draw_about_bitmap: a shape leaves the band: {type(s).__name__} {s.box}")


def bmp_bytes(pixels):
    stride = (WIDTH * 3 + 3) & ~3
    rows = []
    for y in range(HEIGHT - 1, -1, -1):  # bottom-up
        row = bytearray()
        for r, g, b in pixels[y]:
            row += bytes((b, g, r))
        row += bytes(stride - len(row))
        rows.append(bytes(row))
    image = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, 0, 2834, 2834, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(image), 0, 0, 14 + len(info))
    return header + info + image


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "resources", "about_box.bmp")
    shapes = scene()
    check_band(shapes)
    data = bmp_bytes(render(shapes))
    with open(out, "wb") as f:
        f.write(data)
    print(f"draw_about_bitmap: wrote {out} ({len(data)} bytes)")


if __name__ == "__main__":
    main()

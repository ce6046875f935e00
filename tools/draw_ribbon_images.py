#!/usr/bin/env python3
"""Draws the two ribbon button images: a closed and an open gold padlock with
the small red mark on a white square over the lock's lower right corner.

Python 3 standard library only (zlib, struct), so the images can be redrawn on
any machine that builds the project:

    tools/draw_ribbon_images.py                 # resources/*.png, 32 x 32
    tools/draw_ribbon_images.py --size 64 --out /tmp/big
    tools/draw_ribbon_images.py --docs          # also docs/ enlargements (8x)

Everything is drawn in unit coordinates (0..1 across the image) and sampled
8 x 8 times per pixel, so any size comes out anti-aliased, with a real alpha
channel: transparent outside the lock and the mark.
"""
import argparse
import math
import os
import struct
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# Colours (r, g, b) in 0..255.
GOLD_LIGHT = (250, 214, 92)
GOLD_DARK = (196, 140, 20)
GOLD_EDGE = (128, 88, 8)
SHACKLE = (170, 170, 178)
SHACKLE_EDGE = (92, 92, 100)
KEYHOLE = (72, 48, 8)
MARK_RED = (208, 24, 32)
MARK_EDGE = (150, 150, 150)
WHITE = (255, 255, 255)

# Geometry in unit coordinates (y grows downwards).
BODY = (0.16, 0.44, 0.78, 0.90)      # left, top, right, bottom of the lock body
BODY_RADIUS = 0.07
SHACKLE_CX = 0.47                    # centre of the shackle's arc
SHACKLE_R_OUT = 0.22
SHACKLE_R_IN = 0.14
EDGE = 0.035                         # outline width
SQUARE = (0.56, 0.56, 0.94, 0.94)    # the white square of the mark; the image's
                                     # last row and column stay transparent


def inside_rounded_rect(x, y, rect, r):
    l, t, rt, b = rect
    if x < l or x > rt or y < t or y > b:
        return False
    cx = min(max(x, l + r), rt - r)
    cy = min(max(y, t + r), b - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def inside_shackle(x, y, open_lock, r_out, r_in):
    """A U-shaped ring: an upper half circle and two legs down to the body.
    The open shackle is lifted and its left leg ends above the body."""
    lift = 0.11 if open_lock else 0.0
    cy = 0.35 - lift
    dx, dy = x - SHACKLE_CX, y - cy
    d = math.hypot(dx, dy)
    if dy <= 0:
        return r_in <= d <= r_out
    leg = r_in <= abs(dx) <= r_out
    if not leg:
        return False
    bottom = BODY[1] + 0.04
    if open_lock and dx < 0:
        bottom = BODY[1] - 0.10
    return y <= bottom


def inside_keyhole(x, y):
    cx, cy = (BODY[0] + BODY[2]) / 2 - 0.06, BODY[1] + 0.16
    if math.hypot(x - cx, y - cy) <= 0.055:
        return True
    return abs(x - cx) <= 0.022 and cy <= y <= cy + 0.15


def inside_mark(x, y):
    """The red mark: a diamond with a notch cut from its right-hand side."""
    cx, cy = (SQUARE[0] + SQUARE[2]) / 2, (SQUARE[1] + SQUARE[3]) / 2
    d = abs(x - cx) + abs(y - cy)
    if d > 0.14:
        return False
    return not (x > cx and abs(y - cy) < 0.035 and x - cx > 0.03)


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def sample(x, y, open_lock):
    """Colour and coverage (0 or 1) of one sub-sample, drawn back to front."""
    colour = None
    if inside_shackle(x, y, open_lock, SHACKLE_R_OUT, SHACKLE_R_IN):
        inner = inside_shackle(x, y, open_lock, SHACKLE_R_OUT - EDGE, SHACKLE_R_IN + EDGE)
        colour = SHACKLE if inner else SHACKLE_EDGE
    if inside_rounded_rect(x, y, BODY, BODY_RADIUS):
        inner_rect = (BODY[0] + EDGE, BODY[1] + EDGE, BODY[2] - EDGE, BODY[3] - EDGE)
        if inside_rounded_rect(x, y, inner_rect, BODY_RADIUS - EDGE):
            t = (y - BODY[1]) / (BODY[3] - BODY[1])
            colour = mix(GOLD_LIGHT, GOLD_DARK, t)
        else:
            colour = GOLD_EDGE
        if inside_keyhole(x, y):
            colour = KEYHOLE
    if SQUARE[0] <= x <= SQUARE[2] and SQUARE[1] <= y <= SQUARE[3]:
        on_edge = (x - SQUARE[0] < 0.03 or SQUARE[2] - x < 0.03 or
                   y - SQUARE[1] < 0.03 or SQUARE[3] - y < 0.03)
        colour = MARK_EDGE if on_edge else WHITE
        if inside_mark(x, y):
            colour = MARK_RED
    return colour


def draw(size, open_lock, subsamples=8):
    """Rows of RGBA bytes, straight (not premultiplied) alpha."""
    rows = []
    n = subsamples
    for py in range(size):
        row = bytearray()
        for px in range(size):
            acc = [0.0, 0.0, 0.0]
            hits = 0
            for sy in range(n):
                for sx in range(n):
                    x = (px + (sx + 0.5) / n) / size
                    y = (py + (sy + 0.5) / n) / size
                    c = sample(x, y, open_lock)
                    if c is not None:
                        hits += 1
                        for i in range(3):
                            acc[i] += c[i]
            if hits == 0:
                row += bytes(4)
            else:
                row += bytes(int(round(acc[i] / hits)) for i in range(3))
                row.append(int(round(255 * hits / (n * n))))
        rows.append(bytes(row))
    return rows


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png_bytes(rows):
    """A PNG of colour type 6 (RGBA, 8 bits per channel), not interlaced, 96 dpi."""
    height, width = len(rows), len(rows[0]) // 4
    raw = b"".join(b"\x00" + r for r in rows)  # filter type 0 on every row
    dots_per_metre = 3780                       # 96 dots per inch
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"pHYs", struct.pack(">IIB", dots_per_metre, dots_per_metre, 1)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) +
            chunk(b"IEND", b""))


def enlarge(rows, factor):
    out = []
    for r in rows:
        wide = b"".join(r[i:i + 4] * factor for i in range(0, len(r), 4))
        out.extend([wide] * factor)
    return out


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    print("wrote %s (%d bytes)" % (os.path.relpath(path, ROOT), len(data)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--size", type=int, default=32)
    parser.add_argument("--out", default=os.path.join(ROOT, "resources"))
    parser.add_argument("--docs", action="store_true", help="also write 8x enlargements to docs/")
    args = parser.parse_args()
    for name, open_lock in (("ribbon_select", False), ("ribbon_unselect", True)):
        rows = draw(args.size, open_lock)
        write(os.path.join(args.out, name + ".png"), png_bytes(rows))
        if args.docs:
            write(os.path.join(ROOT, "docs", name + "_8x.png"), png_bytes(enlarge(rows, 8)))


if __name__ == "__main__":
    main()

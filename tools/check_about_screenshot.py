#!/usr/bin/env python3
"""Checks a screenshot of the open About box, as a person would look at it.

    tools/check_about_screenshot.py screen.ppm geometry.txt picture.bmp

screen.ppm    the whole X screen (binary PPM, as `convert x.png x.ppm` writes)
geometry.txt  where the box stood, written by the program that opened it:
                client X Y W H   the client area on the screen
                ok X Y W H       the OK button, relative to the client area
picture.bmp   the About box's bitmap (resources/about_box.bmp)

Prints one line per check and exits non-zero when any fails.
"""
import struct
import sys

FIELD = (5, 41, 94)
TEXT_LINES = (80, 94, 108)
LINE_HEIGHT = 14
TEXT_LEFT = 15


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos) + 1
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    pos += 1
    if fields[0] != b"P6" or int(fields[3]) != 255:
        raise SystemExit(f"{path}: not an 8-bit binary PPM")
    width, height = int(fields[1]), int(fields[2])
    pixels = data[pos:pos + width * height * 3]

    def at(x, y):
        i = (y * width + x) * 3
        return tuple(pixels[i:i + 3])

    return width, height, at


def read_bmp(path):
    with open(path, "rb") as f:
        data = f.read()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    stride = (width * 3 + 3) & ~3

    def at(x, y):
        i = offset + (height - 1 - y) * stride + x * 3
        b, g, r = data[i:i + 3]
        return (r, g, b)

    return width, height, at


def read_geometry(path):
    geometry = {}
    with open(path) as f:
        for line in f:
            parts = line.split()
            if len(parts) == 5:
                geometry[parts[0]] = tuple(int(v) for v in parts[1:])
    return geometry


def is_white(p):
    return min(p) >= 250


def main():
    screen_path, geometry_path, bmp_path = sys.argv[1:4]
    _, _, screen = read_ppm(screen_path)
    bmp_w, bmp_h, picture = read_bmp(bmp_path)
    g = read_geometry(geometry_path)
    cx, cy, cw, ch = g["client"]
    ox, oy, ow, oh = g["ok"]

    def client(x, y):
        return screen(cx + x, cy + y)

    failures = []

    def check(ok, what):
        print(("ok    " if ok else "FAIL  ") + what)
        if not ok:
            failures.append(what)

    # The picture, one pixel for one pixel, from the top-left corner; rows
    # 0 to 73 carry no text, so they must match the bitmap exactly.
    w, h = min(bmp_w, cw), min(bmp_h, ch)
    mismatches = sum(1 for y in range(74) for x in range(w) if client(x, y) != picture(x, y))
    check(mismatches == 0, f"picture at the top left, rows 0-73 as in the bitmap ({mismatches} pixels differ)")
    check(client(0, 0) == FIELD and client(0, h - 1) == FIELD, "dark-blue field at the top-left and bottom-left corners")

    # Nothing white between the artwork and the first text line.
    stray = sum(1 for y in range(74, TEXT_LINES[0]) for x in range(w) if is_white(client(x, y)))
    check(stray == 0, f"no white above y = {TEXT_LINES[0]} below the artwork ({stray} pixels)")

    for top in TEXT_LINES:
        xs = [x for y in range(top, top + LINE_HEIGHT) for x in range(w) if is_white(client(x, y))]
        check(len(xs) >= 30, f"white text in rows {top}-{top + LINE_HEIGHT - 1} ({len(xs)} pixels)")
        if xs:
            check(TEXT_LEFT <= min(xs) <= TEXT_LEFT + 4, f"line at y = {top} starts at x = {min(xs)}, near {TEXT_LEFT}")

    # The OK button sits in the lower right corner, drawn over the picture.
    # 5 and 10 dialog units from the right and bottom edges.
    check(cw - (ox + ow) <= 16 and ch - (oy + oh) <= 24 and ox > cw // 2 and oy > ch // 2,
          f"OK button at the lower right ({ox},{oy} {ow}x{oh} in a {cw}x{ch} client area)")
    face = [client(x, y) for y in range(oy + 2, oy + oh - 2) for x in range(ox + 2, ox + ow - 2)]
    grey = sum(1 for p in face if max(p) - min(p) <= 8 and min(p) >= 150)
    dark = sum(1 for p in face if max(p) <= 80)
    check(grey * 2 >= len(face), f"OK button face is light grey ({grey} of {len(face)} pixels)")
    check(dark >= 10, f"OK button shows its dark caption ({dark} pixels)")

    if failures:
        print(f"check_about_screenshot: {len(failures)} check(s) failed")
        return 1
    print("check_about_screenshot: the About box looks right")
    return 0


if __name__ == "__main__":
    sys.exit(main())

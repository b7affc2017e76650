#!/usr/bin/python3
"""Reads a screenshot of a window drawn at a scale factor and says whether its texts fit their boxes.

    text_fit.py IMAGE SCALE OX OY CHECK...

IMAGE is a screenshot, (OX, OY) the screen pixel where the window's logical (0, 0) lands, and every
CHECK is "kind:name:left,top,width,height" in logical pixels of that window:
  green   a display box: green inside a single dark line, its text clear of that line
  light   dark text on a light face (a button, a label on the window background)
  dark    light text on a dark background
Prints PASS:/FAIL: lines; a glyph drawn into a box's outermost pixels has been cut off there.
"""
import subprocess
import sys

GREEN, LINE = (0, 255, 0), (64, 64, 64)


def load(path):
    ppm = subprocess.run(["convert", path, "-depth", "8", "ppm:-"], check=True, capture_output=True).stdout
    fields, pos = [], 0
    while len(fields) < 4:  # P6, width, height, maxval, separated by whitespace
        while ppm[pos:pos + 1].isspace():
            pos += 1
        end = pos
        while not ppm[end:end + 1].isspace():
            end += 1
        fields.append(ppm[pos:end])
        pos = end
    w, h = int(fields[1]), int(fields[2])
    data = ppm[pos + 1:]
    return w, h, lambda x, y: tuple(data[3 * (y * w + x):3 * (y * w + x) + 3])


def main():
    path, scale, ox, oy = sys.argv[1], float(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
    _, _, px = load(path)
    failures = 0

    def report(ok, what):
        nonlocal failures
        print(("PASS: " if ok else "FAIL: ") + what)
        failures += not ok

    for item in sys.argv[5:]:
        kind, name, rect = item.split(":")
        l, t, w, h = (int(v) for v in rect.split(","))
        # Native pixel edges of the box, as Qt rounds a scaled rectangle.
        x0, y0 = ox + round(l * scale), oy + round(t * scale)
        x1, y1 = ox + round((l + w) * scale) - 1, oy + round((t + h) * scale) - 1
        if kind == "green":
            # The left and top sides of the sunken line, away from the corners it shares.
            side = [px(x0, y) for y in range(y0 + 2, y1 - 1)] + [px(x, y0) for x in range(x0 + 2, x1 - 1)]
            broken = sum(p != LINE for p in side)
            report(broken == 0, f"{name}: its border is an unbroken line ({broken} of {len(side)} pixels off)")
            # Two logical pixels in: nothing but green, or the text has reached the line.
            i = round(2 * scale)
            ring = [(x, y) for x in range(x0 + i, x1 - i + 1) for y in (y0 + i, y1 - i)] + \
                   [(x, y) for y in range(y0 + i, y1 - i + 1) for x in (x0 + i, x1 - i)]
            touched = sum(px(x, y) != GREEN for x, y in ring)
            inside = sum(px(x, y) != GREEN for x in range(x0 + i, x1 - i) for y in range(y0 + i, y1 - i))
            report(inside > 0 and touched == 0,
                   f"{name}: its text ({inside} pixels) keeps clear of the border ({touched} touch it)")
            continue
        if kind == "light":
            ink = lambda p: max(p) < 110
        else:
            ink = lambda p: min(p[0], p[1]) > 150
        # Buttons and labels keep a logical pixel of their own round the text.
        i = round(scale) if kind == "light" and name.startswith("cmd") else 0
        cells = [(x, y) for x in range(x0 + i, x1 - i + 1) for y in range(y0 + i, y1 - i + 1) if ink(px(x, y))]
        if not cells:
            report(False, f"{name}: no text drawn")
            continue
        bx0, bx1 = min(c[0] for c in cells), max(c[0] for c in cells)
        by0, by1 = min(c[1] for c in cells), max(c[1] for c in cells)
        # A left-aligned label starts at its left edge by design; the other three edges must stay clear.
        clear = bx1 < x1 - i and by0 > y0 + i and by1 < y1 - i and (kind == "dark" or i == 0 or bx0 > x0 + i)
        report(clear, f"{name}: text {bx1 - bx0 + 1}x{by1 - by0 + 1} at +{bx0 - x0}+{by0 - y0}"
                      f" inside {x1 - x0 + 1}x{y1 - y0 + 1}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

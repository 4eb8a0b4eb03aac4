#!/usr/bin/python3
"""Draws the grid's cursors and pan glyphs as XPM files beside this script.

Run it again after changing a drawing: ./make_cursors.py
Cursors are 32 x 32, black shapes with a white rim on a transparent ground.
The pan glyphs are 32 x 32 on a magenta ground (the painter makes the top-left colour transparent).
"""
import math
import os

SIZE = 32
HERE = os.path.dirname(os.path.abspath(__file__))


def inside(poly, x, y):
    """Even-odd test of the pixel centre (x + 0.5, y + 0.5)."""
    px, py = x + 0.5, y + 0.5
    hit = False
    n = len(poly)
    for i in range(n):
        x1, y1 = poly[i]
        x2, y2 = poly[(i + 1) % n]
        if (y1 > py) != (y2 > py):
            xc = x1 + (py - y1) * (x2 - x1) / (y2 - y1)
            if px < xc:
                hit = not hit
    return hit


class Canvas:
    def __init__(self, ground=" "):
        self.px = [[ground] * SIZE for _ in range(SIZE)]

    def poly(self, pts, ch="#"):
        for y in range(SIZE):
            for x in range(SIZE):
                if inside(pts, x, y):
                    self.px[y][x] = ch

    def disc(self, cx, cy, r, ch="#"):
        for y in range(SIZE):
            for x in range(SIZE):
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r:
                    self.px[y][x] = ch

    def ring(self, cx, cy, r, width, ch):
        for y in range(SIZE):
            for x in range(SIZE):
                d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
                if r - width <= d <= r:
                    self.px[y][x] = ch

    def rim(self, shape="#", rim="o", ground=" "):
        """A one-pixel rim around every shape pixel, so the cursor shows on dark ground too."""
        add = []
        for y in range(SIZE):
            for x in range(SIZE):
                if self.px[y][x] != ground:
                    continue
                for dx in (-1, 0, 1):
                    for dy in (-1, 0, 1):
                        xx, yy = x + dx, y + dy
                        if 0 <= xx < SIZE and 0 <= yy < SIZE and self.px[yy][xx] == shape:
                            add.append((x, y))
        for x, y in add:
            self.px[y][x] = rim

    def write(self, name, colours):
        lines = ["/* XPM */", "static const char *img_%s[] = {" % name,
                 '"%d %d %d 1",' % (SIZE, SIZE, len(colours))]
        lines += ['"%s c %s",' % (k, v) for k, v in colours.items()]
        rows = ['"%s"' % "".join(r) for r in self.px]
        lines.append(",\n".join(rows))
        lines.append("};")
        with open(os.path.join(HERE, name + ".xpm"), "w") as f:
            f.write("\n".join(lines) + "\n")


CURSOR_COLOURS = {" ": "None", "#": "#000000", "o": "#FFFFFF"}
GLYPH_COLOURS = {" ": "#FF00FF", "#": "#000000", "o": "#FFFFFF", "g": "#808080"}


def rotate(pts, quarter, cx=16, cy=16):
    """Turns points by quarter turns clockwise around (cx, cy)."""
    out = []
    for x, y in pts:
        for _ in range(quarter % 4):
            x, y = cx - (y - cy), cy + (x - cx)
        out.append((x, y))
    return out


# A small triangle pointing up, its tip 3 pixels from the top of a 32 x 32 field.
TIP_UP = [(16, 3), (21, 9), (11, 9)]


def tip(direction):
    """direction: 0 up, 1 right, 2 down, 3 left."""
    return rotate(TIP_UP, direction)


def diagonal_tip(dx, dy):
    """A triangle pointing to a corner: dx, dy in {-1, 1}."""
    cx, cy = 16 + dx * 11, 16 + dy * 11
    return [(cx, cy), (cx - dx * 7, cy - dy * 2), (cx - dx * 2, cy - dy * 7)]


def pan_cursor(name, tips):
    c = Canvas()
    c.disc(16, 16, 2.6)
    for t in tips:
        c.poly(t)
    c.rim()
    c.write(name, CURSOR_COLOURS)


def main():
    # Panning: 8000 still (all four tips), then one cursor per direction.
    pan_cursor("8000", [tip(d) for d in range(4)])
    pan_cursor("8001", [tip(2)])                 # down
    pan_cursor("8002", [tip(3)])                 # left
    pan_cursor("8003", [tip(1)])                 # right
    pan_cursor("8004", [tip(0)])                 # up
    pan_cursor("8005", [diagonal_tip(1, -1)])    # up-right
    pan_cursor("8006", [diagonal_tip(-1, -1)])   # up-left
    pan_cursor("8007", [diagonal_tip(1, 1)])     # down-right
    pan_cursor("8008", [diagonal_tip(-1, 1)])    # down-left

    # Whole rows: a thick arrow pointing right, its tip at (26, 16).
    arrow_right = [(12, 13), (18, 13), (18, 8), (26, 16), (18, 24), (18, 19), (12, 19)]
    c = Canvas()
    c.poly(arrow_right)
    c.rim()
    c.write("8010", CURSOR_COLOURS)
    # Whole columns: the same arrow pointing down, its tip at (16, 26).
    c = Canvas()
    c.poly(rotate(arrow_right, 1))
    c.rim()
    c.write("8011", CURSOR_COLOURS)
    # Select all and the selection handle: an arrow pointing down-right, its tip at (24, 24).
    c = Canvas()
    c.poly([(24, 24), (24, 14), (20.5, 17.5), (12, 9), (9, 12), (17.5, 20.5), (14, 24)])
    c.rim()
    c.write("8012", CURSOR_COLOURS)

    # Pan glyphs: a white disc with a grey ring, a dot and the directions that pan.
    for name, dirs in (("INTLI1", range(4)), ("INTLI2", (1, 3)), ("INTLI3", (0, 2))):
        c = Canvas()
        c.disc(16, 16, 14.5, "o")
        c.ring(16, 16, 14.5, 1.2, "g")
        c.disc(16, 16, 2.2)
        for d in dirs:
            c.poly(tip(d))
        c.write(name, GLYPH_COLOURS)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Draw the Kelvane2 icon and write resources/kelvane2.ico.

The icon is a monitor whose screen shows a mirrored "K", with a pane of glass leaning
across its lower right corner: the screen shows the text reversed and the presenter
reads it the right way round in the glass.

Five images, 16, 32, 48, 64 and 128 pixels square, each stored as a 32-bit BGRA DIB
with its AND mask (the form every resource compiler and every Windows version accepts).
The 16 pixel image is drawn pixel by pixel; the larger ones are drawn from shapes whose
edges are snapped to whole pixels, antialiased by supersampling. Standard library only,
and deterministic: the same bytes on every run.

Usage: python3 scripts/make_icon.py [output.ico]
"""

import os
import struct
import sys

SIZES = (16, 32, 48, 64, 128)

# Colours (r, g, b).
FRAME = (0x6A, 0x80, 0x94)     # monitor bezel: mid slate, visible on dark and light taskbars
RIM = (0x24, 0x30, 0x3C)       # dark outline around the bezel
SCREEN = (0x0B, 0x14, 0x22)    # screen: near black
LETTER = (0xFF, 0xFF, 0xFF)    # the mirrored letter
GLASS = (0x5C, 0xD6, 0xFF)     # the reflector pane
GLASS_EDGE = (0xD8, 0xF6, 0xFF)
GLASS_ALPHA = 0.62

# ---------------------------------------------------------------------------------------
# 16 px: hand-drawn. One character per pixel.
#   . transparent   r rim   f bezel   s screen   K letter
# The glass pane is laid over it afterwards (see GLASS_16).
# ---------------------------------------------------------------------------------------
PIXELS_16 = [
    "................",
    ".rrrrrrrrrrrrrr.",
    ".rffffffffffffr.",
    ".rfssssssssssfr.",
    ".rfsKKssssKKsfr.",
    ".rfssKKsssKKsfr.",
    ".rfsssKKssKKsfr.",
    ".rfssssKKKKKsfr.",
    ".rfsssKKssKKsfr.",
    ".rfssKKsssKKsfr.",
    ".rfsKKssssKKsfr.",
    ".rfssssssssssfr.",
    ".rffffffffffffr.",
    ".rrrrrrrrrrrrrr.",
    ".....rrrrrr.....",
    "................",
]

# The pane, in diagonal coordinates u = x + y and v = x - y of the pixel: its lit edge is
# the diagonal u == 22, the pane itself 23 <= u <= 25, and it ends at -6 <= v <= 7.
GLASS_16 = (22, 25, -6, 7)


def draw_16():
    palette = {"r": RIM, "f": FRAME, "s": SCREEN, "K": LETTER}
    img = Image(16)
    for y, row in enumerate(PIXELS_16):
        assert len(row) == 16, row
        for x, ch in enumerate(row):
            if ch != ".":
                img.blend(x, y, palette[ch], 1.0)
    edge, far, v0, v1 = GLASS_16
    for y in range(16):
        for x in range(16):
            u, v = x + y, x - y
            if not v0 <= v <= v1:
                continue
            if u == edge:
                img.blend(x, y, GLASS_EDGE, 1.0)
            elif edge < u <= far:
                img.blend(x, y, GLASS, GLASS_ALPHA)
    return img


# ---------------------------------------------------------------------------------------
# Drawing surface and shapes.
# ---------------------------------------------------------------------------------------


class Image:
    """Straight RGBA kept premultiplied as floats while drawing."""

    def __init__(self, size):
        self.size = size
        self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(size * size)]

    def blend(self, x, y, rgb, alpha):
        if alpha <= 0.0:
            return
        p = self.px[y * self.size + x]
        inv = 1.0 - alpha
        p[0] = rgb[0] / 255.0 * alpha + p[0] * inv
        p[1] = rgb[1] / 255.0 * alpha + p[1] * inv
        p[2] = rgb[2] / 255.0 * alpha + p[2] * inv
        p[3] = alpha + p[3] * inv

    def fill(self, shape, rgb, alpha=1.0, samples=6):
        """Cover every pixel by the fraction of its samples inside `shape`."""
        x0, y0, x1, y1 = shape.bounds()
        x0 = max(0, int(x0) - 1)
        y0 = max(0, int(y0) - 1)
        x1 = min(self.size, int(x1) + 2)
        y1 = min(self.size, int(y1) + 2)
        offs = [(i + 0.5) / samples for i in range(samples)]
        total = samples * samples
        for y in range(y0, y1):
            for x in range(x0, x1):
                hits = 0
                for oy in offs:
                    for ox in offs:
                        if shape.contains(x + ox, y + oy):
                            hits += 1
                if hits:
                    self.blend(x, y, rgb, alpha * hits / total)

    def rgba_bytes(self):
        """Rows top to bottom, straight (not premultiplied) 8-bit RGBA."""
        out = []
        for p in self.px:
            a = p[3]
            if a <= 0.0:
                out.append((0, 0, 0, 0))
                continue
            out.append((q(p[0] / a), q(p[1] / a), q(p[2] / a), q(a)))
        return out


def q(v):
    v = int(v * 255.0 + 0.5)
    return 0 if v < 0 else 255 if v > 255 else v


class RoundRect:
    def __init__(self, x0, y0, x1, y1, r):
        self.x0, self.y0, self.x1, self.y1, self.r = x0, y0, x1, y1, r

    def bounds(self):
        return self.x0, self.y0, self.x1, self.y1

    def contains(self, x, y):
        if x < self.x0 or x >= self.x1 or y < self.y0 or y >= self.y1:
            return False
        r = self.r
        if r <= 0:
            return True
        cx = min(max(x, self.x0 + r), self.x1 - r)
        cy = min(max(y, self.y0 + r), self.y1 - r)
        dx, dy = x - cx, y - cy
        return dx * dx + dy * dy <= r * r


class Polygon:
    """Convex polygon, vertices in either order."""

    def __init__(self, pts):
        self.pts = pts

    def bounds(self):
        xs = [p[0] for p in self.pts]
        ys = [p[1] for p in self.pts]
        return min(xs), min(ys), max(xs), max(ys)

    def contains(self, x, y):
        n = len(self.pts)
        pos = neg = False
        for i in range(n):
            ax, ay = self.pts[i]
            bx, by = self.pts[(i + 1) % n]
            c = (bx - ax) * (y - ay) - (by - ay) * (x - ax)
            pos = pos or c > 0
            neg = neg or c < 0
        return not (pos and neg)


class Clip:
    """Points inside `shape` and also inside the clip rectangle."""

    def __init__(self, shape, x0, y0, x1, y1):
        self.shape = shape
        self.rect = (x0, y0, x1, y1)

    def bounds(self):
        a = self.shape.bounds()
        r = self.rect
        return max(a[0], r[0]), max(a[1], r[1]), min(a[2], r[2]), min(a[3], r[3])

    def contains(self, x, y):
        x0, y0, x1, y1 = self.rect
        return x0 <= x < x1 and y0 <= y < y1 and self.shape.contains(x, y)


# ---------------------------------------------------------------------------------------
# Larger sizes: shapes in a 32 unit design grid, scaled and snapped per size.
# ---------------------------------------------------------------------------------------


def draw_large(size):
    s = size / 32.0

    def p(v):
        """Design units to a whole pixel edge."""
        return float(int(v * s + 0.5))

    img = Image(size)
    # Line weights: at least one pixel, a little finer than plain scaling at large sizes.
    rim = max(1.0, float(int(s * 0.9 + 0.5)))
    bezel = max(1.0, float(int(s * 1.6 + 0.5)))

    # Monitor body with its dark rim, then the bezel, then the screen.
    bx0, by0, bx1, by1 = p(1), p(2), p(31), p(25)
    img.fill(RoundRect(bx0, by0, bx1, by1, 2.2 * s), RIM)
    img.fill(RoundRect(bx0 + rim, by0 + rim, bx1 - rim, by1 - rim, 1.6 * s), FRAME)
    sx0, sy0 = bx0 + rim + bezel, by0 + rim + bezel
    sx1, sy1 = bx1 - rim - bezel, by1 - rim - bezel
    img.fill(RoundRect(sx0, sy0, sx1, sy1, 0.6 * s), SCREEN)

    # Stand: neck and foot, drawn in the rim colour.
    img.fill(RoundRect(p(13), by1 - 1, p(19), p(28), 0), RIM)
    img.fill(RoundRect(p(8), p(27), p(24), p(29.5), 0.8 * s), RIM)

    # The mirrored K: stem on the right, arms reaching to the left. Each arm runs from its
    # tip to the stem a little past the middle line, so the two cross in a solid joint.
    top, bot = p(7), p(21)
    mid = (top + bot) / 2.0
    stem_w = p(3.5) if size < 64 else p(3.2)
    stem_x1 = p(20)
    stem_x0 = stem_x1 - stem_w
    img.fill(RoundRect(stem_x0, top, stem_x1, bot, 0), LETTER)
    arm = (3.7 if size < 64 else 3.4) * s  # horizontal thickness of a diagonal arm
    tip = p(7)                              # left end of the arms
    start = tip + arm / 2.0
    join = stem_x0 + 0.3 * arm
    slope = (join - start) / (mid - top)
    reach = mid - top + arm                 # how far along y each arm runs
    end = start + slope * reach
    for sign, y0 in ((1.0, top), (-1.0, bot)):
        y1 = y0 + sign * reach
        arm_shape = Polygon([(start - arm / 2.0, y0), (start + arm / 2.0, y0),
                             (end + arm / 2.0, y1), (end - arm / 2.0, y1)])
        img.fill(Clip(arm_shape, 0, top, stem_x1, bot), LETTER)

    # The glass pane leaning across the lower right corner, its upper edge lit. In diagonal
    # coordinates u = x + y and v = x - y it is the box u0..u1 by v0..v1.
    u0, u1, v0, v1 = 40.0 * s, 49.0 * s, -13.0 * s, 15.0 * s
    edge = max(1.0, 1.0 * s) * 1.41421356

    def diag_box(ua, ub, va, vb):
        return Polygon([((ua + va) / 2, (ua - va) / 2), ((ua + vb) / 2, (ua - vb) / 2),
                        ((ub + vb) / 2, (ub - vb) / 2), ((ub + va) / 2, (ub - va) / 2)])

    img.fill(diag_box(u0, u1, v0, v1), GLASS, GLASS_ALPHA)
    img.fill(diag_box(u0, u0 + edge, v0, v1), GLASS_EDGE)
    return img


# ---------------------------------------------------------------------------------------
# ICO writing.
# ---------------------------------------------------------------------------------------


def dib_entry(img):
    n = img.size
    rgba = img.rgba_bytes()
    header = struct.pack("<IiiHHIIiiII", 40, n, n * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    for y in range(n - 1, -1, -1):  # bottom-up
        for x in range(n):
            r, g, b, a = rgba[y * n + x]
            xor += bytes((b, g, r, a))
    stride = ((n + 31) // 32) * 4
    mask = bytearray()
    for y in range(n - 1, -1, -1):
        row = bytearray(stride)
        for x in range(n):
            if rgba[y * n + x][3] == 0:
                row[x >> 3] |= 0x80 >> (x & 7)
        mask += row
    return bytes(header) + bytes(xor) + bytes(mask)


def build_ico(images):
    entries = [dib_entry(img) for img in images]
    out = bytearray(struct.pack("<HHH", 0, 1, len(entries)))
    offset = 6 + 16 * len(entries)
    for img, data in zip(images, entries):
        dim = img.size if img.size < 256 else 0
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in entries:
        out += data
    return bytes(out)


def main(argv):
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    target = argv[1] if len(argv) > 1 else os.path.join(root, "resources", "kelvane2.ico")
    images = [draw_16() if n == 16 else draw_large(n) for n in SIZES]
    data = build_ico(images)
    with open(target, "wb") as f:
        f.write(data)
    print("wrote %s (%d bytes, sizes %s)" % (target, len(data), ", ".join(map(str, SIZES))))


if __name__ == "__main__":
    main(sys.argv)

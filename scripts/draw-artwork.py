#!/usr/bin/env python3
"""Draws Minutrex's artwork into resources/: the window background, the
hourglass and gear pictures, the hand cursor and the program icon.

Plain Python 3 standard library only (PNG written with zlib and struct), so the
pictures can be redrawn anywhere. The output is deterministic: running the
script again gives byte-identical files. It does not touch the .qrc files.

Usage: python3 scripts/draw-artwork.py [output-directory]
"""

import math
import os
import struct
import sys
import zlib

TRANSPARENT = (0, 0, 0, 0)

# The classic 16-colour palette, for the pictures that keep that look.
BLACK = (0, 0, 0, 255)
MAROON = (128, 0, 0, 255)
OLIVE = (128, 128, 0, 255)
TEAL = (0, 128, 128, 255)
GREY = (128, 128, 128, 255)
SILVER = (192, 192, 192, 255)
YELLOW = (255, 255, 0, 255)
AQUA = (0, 255, 255, 255)
WHITE = (255, 255, 255, 255)

# The display's own colours.
LIT = (0, 255, 0, 255)
UNLIT = (0, 84, 0, 255)
PANEL = (64, 64, 64, 255)


class Canvas:
    """A width x height grid of RGBA tuples, origin at the top left."""

    def __init__(self, width, height, fill=TRANSPARENT):
        self.width = width
        self.height = height
        self.pixels = [[fill] * width for _ in range(height)]

    def set(self, x, y, color):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = color

    def get(self, x, y):
        return self.pixels[y][x]

    def rect(self, x, y, w, h, color):
        for yy in range(y, y + h):
            for xx in range(x, x + w):
                self.set(xx, yy, color)

    def colors(self):
        return sorted({c for row in self.pixels for c in row})


# ---------------------------------------------------------------- PNG output

def _chunk(tag, data):
    body = tag + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def _png(width, height, color_type, bit_depth, raw_rows, extra_chunks=()):
    header = struct.pack(">IIBBBBB", width, height, bit_depth, color_type, 0, 0, 0)
    # Filter type 0 (none) on every row keeps the encoder trivial.
    data = b"".join(b"\x00" + row for row in raw_rows)
    out = b"\x89PNG\r\n\x1a\n" + _chunk(b"IHDR", header)
    for tag, payload in extra_chunks:
        out += _chunk(tag, payload)
    out += _chunk(b"IDAT", zlib.compress(data, 9)) + _chunk(b"IEND", b"")
    return out


def save_rgb(canvas, path):
    rows = [bytes(v for c in row for v in c[:3]) for row in canvas.pixels]
    _write(path, _png(canvas.width, canvas.height, 2, 8, rows))


def save_rgba(canvas, path):
    rows = [bytes(v for c in row for v in c) for row in canvas.pixels]
    _write(path, _png(canvas.width, canvas.height, 6, 8, rows))


def save_16_colours(canvas, path):
    """A 4-bit palette image: at most 16 entries, transparency included."""
    palette = canvas.colors()
    if len(palette) > 16:
        raise ValueError(f"{path}: {len(palette)} colours, more than 16")
    # Transparent entries first keeps the tRNS chunk short.
    palette.sort(key=lambda c: (c[3], c))
    index = {c: i for i, c in enumerate(palette)}
    rows = []
    for row in canvas.pixels:
        nibbles = [index[c] for c in row] + [0] * (len(row) % 2)
        rows.append(bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, len(nibbles), 2)))
    chunks = [(b"PLTE", bytes(v for c in palette for v in c[:3]))]
    alphas = [c[3] for c in palette]
    if any(a != 255 for a in alphas):
        last = max(i for i, a in enumerate(alphas) if a != 255)
        chunks.append((b"tRNS", bytes(alphas[: last + 1])))
    _write(path, _png(canvas.width, canvas.height, 3, 4, rows, chunks))


def _write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


# ---------------------------------------------------------------- pictures

def draw_background():
    """235 x 225, a flat light grey field inside a raised bevel that darkens
    toward the outer edge, with a thin dark outline."""
    width, height = 235, 225
    bevel = 7
    canvas = Canvas(width, height)
    for y in range(height):
        for x in range(width):
            edges = {"left": x, "top": y, "right": width - 1 - x, "bottom": height - 1 - y}
            side = min(edges, key=edges.get)
            d = edges[side]
            if d == 0:
                v = 56
            elif d <= bevel:
                # From 128 just inside the outline up to the field's 216.
                v = 128 + (216 - 128) * (d - 1) // bevel
                v += 14 if side in ("left", "top") else -14
            else:
                v = 216
            v = max(0, min(255, v))
            canvas.set(x, y, (v, v, v, 255))
    return canvas


def draw_hourglass():
    """21 x 32: wooden plates and posts around a glass of running sand."""
    canvas = Canvas(21, 32)
    # Plates: black rim, maroon wood with an olive grain line.
    for top in (0, 29):
        canvas.rect(0, top, 21, 3, BLACK)
        canvas.rect(1, top + 1, 19, 1, MAROON)
        canvas.rect(4, top + 1, 13, 1, OLIVE)
    # Posts, shaded on one side.
    for x, shade in ((1, BLACK), (2, MAROON), (18, MAROON), (19, BLACK)):
        canvas.rect(x, 3, 1, 26, shade)

    centre = 10
    # Half width of the glass inside its wall, top bulb rows 3 to 15; the
    # bottom bulb mirrors it.
    top_half = [6, 6, 6, 6, 5, 5, 5, 4, 3, 2, 1, 1, 1]
    half = {3 + i: h for i, h in enumerate(top_half)}
    half.update({28 - i: h for i, h in enumerate(top_half)})
    for y, h in half.items():
        canvas.set(centre - h - 1, y, GREY)
        canvas.set(centre + h + 1, y, GREY)
        for x in range(centre - h, centre + h + 1):
            canvas.set(x, y, WHITE)
    # The rims where the glass meets the plates.
    for y in (3, 28):
        canvas.rect(centre - 7, y, 15, 1, GREY)

    # Sand left in the top bulb, the falling stream and the heap below.
    for y in range(9, 16):
        for x in range(centre - half[y], centre + half[y] + 1):
            canvas.set(x, y, YELLOW)
    canvas.rect(centre, 16, 1, 8, YELLOW)
    heap = {22: 0, 23: 1, 24: 2, 25: 4, 26: 5, 27: 6}
    for y, h in heap.items():
        h = min(h, half[y])
        for x in range(centre - h, centre + h + 1):
            canvas.set(x, y, YELLOW if abs(x - centre) < h or h == 0 else OLIVE)
    # A glint on the glass.
    for y in (5, 6, 7):
        canvas.set(centre - 4, y, AQUA)
    return canvas


def _gear_wheels(scale):
    """The two wheels at that scale: centre x, centre y, body radius, tooth tip
    radius, teeth, phase (deg)."""
    return [
        (12.0 * scale, 12.0 * scale, 7.5 * scale, 11.0 * scale, 8, 45.0),
        (24.0 * scale, 24.0 * scale, 4.5 * scale, 7.5 * scale, 6, 225.0 + 30.0),
    ]


def _gear_classifier(gears, scale, glint):
    """What a point of the gear picture shows; with glint, a light spot drawn
    into each axle (the small picture sets a single pixel instead)."""
    axle_radius = 3.1 * scale

    def classify(px, py):
        for cx, cy, body, tip, teeth, phase in gears:
            dx, dy = px - cx, py - cy
            r = math.hypot(dx, dy)
            if glint and r <= axle_radius * 0.45 and dx < 0 and dy < 0:
                return "glint"
            if r <= axle_radius:
                return "axle"
            if r <= body:
                return "body"
            if r <= tip:
                angle = math.degrees(math.atan2(dy, dx))
                period = 360.0 / teeth
                offset = (angle - phase) % period
                offset = min(offset, period - offset)
                # Teeth narrow toward the tip: about 5 px wide at the root.
                half_width = math.degrees((2.5 * scale - 0.9 * scale * (r - body) / (tip - body)) / r)
                if offset <= half_width:
                    return "tooth"
        return "background"

    return classify


def draw_gears():
    """32 x 32: two meshing gear wheels, black with yellow teeth, on grey
    axles, on a transparent background."""
    size = 32
    gears = _gear_wheels(1)
    classify = _gear_classifier(gears, 1, glint=False)

    colors = {"axle": GREY, "body": BLACK, "tooth": YELLOW, "background": TRANSPARENT}
    canvas = Canvas(size, size)
    samples = 4
    for y in range(size):
        for x in range(size):
            counts = {}
            for sy in range(samples):
                for sx in range(samples):
                    kind = classify(x + (sx + 0.5) / samples, y + (sy + 0.5) / samples)
                    counts[kind] = counts.get(kind, 0) + 1
            kind = max(sorted(counts), key=lambda k: counts[k])
            if kind != "background" and counts[kind] * 2 < samples * samples:
                covered = samples * samples - counts.get("background", 0)
                kind = kind if covered * 2 >= samples * samples else "background"
            canvas.set(x, y, colors[kind])
    # A light glint on each axle.
    for cx, cy, *_ in gears:
        canvas.set(int(cx) - 1, int(cy) - 1, SILVER)
    return canvas


HAND = [
    "                                ",
    "            ##                  ",
    "           #..#                 ",
    "           #..#                 ",
    "           #..#                 ",
    "           #..#                 ",
    "           #..###               ",
    "           #..#..###            ",
    "           #..#..#..##          ",
    "           #..#..#..#.#         ",
    "      ##   #..#..#..#..#        ",
    "     #..#  #..#..#..#..#        ",
    "     #...# #..#..#..#..#        ",
    "      #...##...........#        ",
    "       #...............#        ",
    "        #..............#        ",
    "        #.............#         ",
    "         #............#         ",
    "         #...........#          ",
    "          #..........#          ",
    "          #..........#          ",
    "          ############          ",
]
HAND_HOT_SPOT = (12, 1)


def draw_hand():
    """32 x 32 pointing hand, black outline and white fill; the fingertip is
    the hot spot (12, 1)."""
    canvas = Canvas(32, 32)
    grid = [row.ljust(32) for row in HAND] + [" " * 32] * (32 - len(HAND))
    # Whatever the outline does not enclose is transparent: flood the outside
    # from the border (4-connected, so a diagonal outline step holds).
    outside = set()
    stack = [(x, y) for x in range(32) for y in (0, 31)] + [(x, y) for y in range(32) for x in (0, 31)]
    while stack:
        x, y = stack.pop()
        if not (0 <= x < 32 and 0 <= y < 32) or (x, y) in outside or grid[y][x] == "#":
            continue
        outside.add((x, y))
        stack.extend(((x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)))
    for y in range(32):
        for x in range(32):
            if grid[y][x] == "#":
                canvas.set(x, y, BLACK)
            elif (x, y) not in outside:
                canvas.set(x, y, WHITE)
    hx, hy = HAND_HOT_SPOT
    assert canvas.get(hx, hy) == BLACK, "the hot spot must be on the fingertip"
    return canvas


def draw_icon(size):
    """The program icon: a green seven-segment "00" on the dark time panel."""
    # stroke, digit width, digit height (height - stroke is even, so the
    # upper and lower verticals match), left of each digit, top of the digits.
    layouts = {
        16: (1, 5, 11, (2, 9), 2),
        32: (2, 10, 20, (4, 18), 6),
        48: (3, 15, 31, (6, 27), 8),
        # The 16 px drawing scaled up, for software centres and large launchers.
        64: (4, 20, 44, (8, 36), 8),
        128: (8, 40, 88, (16, 72), 16),
        256: (16, 80, 176, (32, 144), 32),
    }
    t, w, h, lefts, top = layouts[size]
    canvas = Canvas(size, size)

    # Rounded panel with a black rim, its corners blended by 4 x 4 samples.
    radius = size / 8.0
    rim = max(1.0, size / 24.0)

    def inside(px, py, inset):
        lo, hi = inset, size - inset
        r = max(radius - inset, 0.0)
        cx = min(max(px, lo + r), hi - r)
        cy = min(max(py, lo + r), hi - r)
        return lo <= px <= hi and lo <= py <= hi and math.hypot(px - cx, py - cy) <= r

    samples = 4
    for y in range(size):
        for x in range(size):
            acc = [0, 0, 0]
            hits = 0
            for sy in range(samples):
                for sx in range(samples):
                    px, py = x + (sx + 0.5) / samples, y + (sy + 0.5) / samples
                    if not inside(px, py, 0.0):
                        continue
                    color = PANEL if inside(px, py, rim) else BLACK
                    hits += 1
                    for i in range(3):
                        acc[i] += color[i]
            if hits:
                canvas.set(x, y, tuple(a // hits for a in acc) + (255 * hits // (samples * samples),))

    # Segments of a 0: every one lit but the middle.
    mid = top + (h - t) // 2
    for left in lefts:
        right = left + w - t
        bottom = top + h - t
        upper = mid - (top + t)
        lower = bottom - (mid + t)
        canvas.rect(left + t, top, w - 2 * t, t, LIT)          # top
        canvas.rect(left + t, bottom, w - 2 * t, t, LIT)       # bottom
        canvas.rect(left + t, mid, w - 2 * t, t, UNLIT)        # middle
        canvas.rect(left, top + t, t, upper, LIT)              # upper left
        canvas.rect(left, mid + t, t, lower, LIT)              # lower left
        canvas.rect(right, top + t, t, upper, LIT)             # upper right
        canvas.rect(right, mid + t, t, lower, LIT)             # lower right
    return canvas


def icon_svg():
    """The program icon as a scalable drawing, on the 64 px layout."""
    t, w, h, lefts, top = 4, 20, 44, (8, 36), 8
    size = 64
    radius, rim = size / 8.0, size / 24.0

    def rgb(color):
        return "#%02x%02x%02x" % color[:3]

    parts = [
        '<?xml version="1.0" encoding="UTF-8"?>',
        f'<svg xmlns="http://www.w3.org/2000/svg" width="{size}" height="{size}" viewBox="0 0 {size} {size}">',
        f'  <rect x="0" y="0" width="{size}" height="{size}" rx="{radius:g}" fill="{rgb(BLACK)}"/>',
        f'  <rect x="{rim:g}" y="{rim:g}" width="{size - 2 * rim:g}" height="{size - 2 * rim:g}" '
        f'rx="{radius - rim:g}" fill="{rgb(PANEL)}"/>',
    ]
    mid = top + (h - t) // 2
    for left in lefts:
        right = left + w - t
        bottom = top + h - t
        upper = mid - (top + t)
        lower = bottom - (mid + t)
        for x, y, rw, rh, color in (
                (left + t, top, w - 2 * t, t, LIT), (left + t, bottom, w - 2 * t, t, LIT),
                (left + t, mid, w - 2 * t, t, UNLIT), (left, top + t, t, upper, LIT),
                (left, mid + t, t, lower, LIT), (right, top + t, t, upper, LIT),
                (right, mid + t, t, lower, LIT)):
            parts.append(f'  <rect x="{x}" y="{y}" width="{rw}" height="{rh}" fill="{rgb(color)}"/>')
    parts.append("</svg>")
    return "\n".join(parts) + "\n"


def save_icons(out):
    """The icon at every size a desktop asks for, and scalable."""
    for size in (64, 128, 256):
        save_rgba(draw_icon(size), os.path.join(out, "icons", f"minutrex-{size}.png"))
    _write(os.path.join(out, "icons", "minutrex.svg"), icon_svg().encode())


# ------------------------------------------------- pictures for dense screens
# Drawn at twice the size, for screens that show two device pixels per
# logical pixel; Qt scales them down smoothly for ratios between 1 and 2.


def draw_background_2x():
    """470 x 450: the background's design at twice the size, its bevel a
    smooth ramp instead of seven steps."""
    scale = 2
    width, height = 235 * scale, 225 * scale
    bevel = 7 * scale
    canvas = Canvas(width, height)
    for y in range(height):
        for x in range(width):
            edges = {"left": x, "top": y, "right": width - 1 - x, "bottom": height - 1 - y}
            side = min(edges, key=edges.get)
            d = edges[side]
            if d < scale:
                v = 56
            elif d < scale + bevel:
                v = 128 + (216 - 128) * (d - scale) / bevel
                v += 14 if side in ("left", "top") else -14
            else:
                v = 216
            v = int(round(max(0, min(255, v))))
            canvas.set(x, y, (v, v, v, 255))
    return canvas


def _supersampled(canvas, classify, colors, samples=4):
    """Fills `canvas` with the colour of each pixel's commonest kind, blending
    the edges by how much of the pixel each kind covers."""
    for y in range(canvas.height):
        for x in range(canvas.width):
            acc = [0, 0, 0, 0]
            for sy in range(samples):
                for sx in range(samples):
                    color = colors[classify(x + (sx + 0.5) / samples, y + (sy + 0.5) / samples)]
                    for i in range(3):
                        acc[i] += color[i] * color[3]
                    acc[3] += color[3]
            n = samples * samples
            if acc[3]:
                canvas.set(x, y, tuple(int(round(acc[i] / acc[3])) for i in range(3)) + (int(round(acc[3] / n)),))
    return canvas


def draw_hourglass_2x():
    """54 x 92: the hourglass at twice the size of the box it fills (27 x 46
    logical pixels), drawn from shapes rather than stretched."""
    width, height = 54, 92
    # The 21 x 32 design's coordinates, stretched to the box.
    sx, sy = width / 21.0, height / 32.0
    centre = 10.5
    top_half = [6, 6, 6, 6, 5, 5, 5, 4, 3, 2, 1, 1, 1]

    def glass_half(v):
        """Half width of the glass at design row v (a float), smoothed."""
        row = v - 3.0 if v < 16 else 28.0 - v + 1.0
        i = max(0.0, min(len(top_half) - 1.0, row))
        lo = int(i)
        hi = min(lo + 1, len(top_half) - 1)
        return top_half[lo] + (top_half[hi] - top_half[lo]) * (i - lo) + 0.5

    def classify(px, py):
        u, v = px / sx, py / sy
        if v < 3 or v >= 29:
            edge = v < 1 or v >= 31 or u < 0.8 or u >= 20.2
            if edge:
                return "black"
            return "olive" if 4 <= u < 17 and (1.6 <= v < 2.4 or 29.6 <= v < 30.4) else "maroon"
        if u < 1.5 or u >= 19.5:
            return "black"
        if u < 2.5 or u >= 18.5:
            return "maroon"
        if v < 3.4 or v >= 28.6:
            return "grey" if abs(u - centre) <= 7.5 else "none"
        h = glass_half(v)
        d = abs(u - centre)
        if d > h + 0.6:
            return "none"
        if d > h:
            return "grey"
        if 3.4 <= v < 16 and 9 <= v:
            return "sand"
        if 16 <= v < 22 and d <= 0.6:
            return "sand"
        heap = 0.0 if v < 22 else min((v - 22) * 1.3, h)
        if v >= 22 and d <= heap:
            return "sand" if d < heap - 0.7 else "olive"
        if abs(u - (centre - 4)) < 0.5 and 5 <= v < 8:
            return "aqua"
        return "glass"

    colors = {"black": BLACK, "maroon": MAROON, "olive": OLIVE, "grey": GREY, "sand": YELLOW, "glass": WHITE,
              "aqua": AQUA, "none": TRANSPARENT}
    return _supersampled(Canvas(width, height), classify, colors)


def draw_gears_2x():
    """64 x 64: the two gear wheels at twice the size."""
    classify = _gear_classifier(_gear_wheels(2), 2, glint=True)

    colors = {"glint": SILVER, "axle": GREY, "body": BLACK, "tooth": YELLOW, "background": TRANSPARENT}
    return _supersampled(Canvas(64, 64), classify, colors)


def draw_hand_2x():
    """64 x 64: the hand with every pixel doubled, so its outline stays as
    crisp as the small one; the hot spot doubles to (24, 2)."""
    small = draw_hand()
    canvas = Canvas(64, 64)
    for y in range(64):
        for x in range(64):
            canvas.set(x, y, small.get(x // 2, y // 2))
    return canvas


def write_dense_artwork(out):
    save_rgb(draw_background_2x(), os.path.join(out, "images", "background@2x.png"))
    save_rgba(draw_hourglass_2x(), os.path.join(out, "images", "hourglass@2x.png"))
    save_rgba(draw_gears_2x(), os.path.join(out, "images", "gears@2x.png"))
    save_rgba(draw_hand_2x(), os.path.join(out, "cursors", "hand@2x.png"))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, os.pardir, "resources")
    out = os.path.normpath(out)
    save_rgb(draw_background(), os.path.join(out, "images", "background.png"))
    save_16_colours(draw_hourglass(), os.path.join(out, "images", "hourglass.png"))
    save_16_colours(draw_gears(), os.path.join(out, "images", "gears.png"))
    save_rgba(draw_hand(), os.path.join(out, "cursors", "hand.png"))
    for size in (16, 32, 48):
        save_rgba(draw_icon(size), os.path.join(out, "icons", f"minutrex-{size}.png"))
    save_icons(out)
    write_dense_artwork(out)
    print(f"artwork written to {out}")


if __name__ == "__main__":
    main()

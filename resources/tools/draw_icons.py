#!/usr/bin/env python3
"""Draws Tarvik's icons and menu bitmaps and writes them as .ico and .bmp files.

Usage: draw_icons.py [OUTPUT_DIR]   (default: the resources folder)

Pure Python, no packages: every picture is a small scene of shapes (circles,
rings, polygons, strokes) sampled 8 x 8 times per pixel. Each tray state comes
in two forms:
  - XP: 32-bit colour with alpha, anti-aliased;
  - classic: 16 colours (the standard VGA palette, 4 bits a pixel) with a
    1-bit transparency mask, for shells that cannot show alpha.
Every icon file holds 16, 20, 24 and 32 pixel images, so the tray stays crisp
from 100 % to 200 % scaling. The menu bitmaps are monochrome (1 bit), so that
menus draw them in their own text and highlight colours.

The resource names (IconTask16, ...) are fixed by the program; the file names
here are only what tarvik.rc refers to.
"""
import math
import os
import struct
import sys

ICON_SIZES = (16, 20, 24, 32)
APP_SIZES = (16, 20, 24, 32, 48)
SUPER = 8  # samples per pixel along each axis

# The 16 colours every Windows display offers; classic images use only these.
VGA = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_RED, DARK_GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = VGA[0:8]
GREY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = VGA[8:16]


# ---------------------------------------------------------------- geometry --
# Shapes are predicates over a point in a 16-unit design square: (x, y) with
# 0..16 across the icon, whatever its pixel size.

def circle(cx, cy, r):
    r2 = r * r
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r2


def ring(cx, cy, r_out, r_in):
    o2, i2 = r_out * r_out, r_in * r_in
    return lambda x, y: i2 < (x - cx) ** 2 + (y - cy) ** 2 <= o2


def polygon(points):
    def inside(x, y):
        result = False
        n = len(points)
        for i in range(n):
            x1, y1 = points[i]
            x2, y2 = points[(i + 1) % n]
            if (y1 > y) != (y2 > y):
                if x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
                    result = not result
        return result
    return inside


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def _segment_distance2(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length2))
    qx, qy = ax + t * dx - px, ay + t * dy - py
    return qx * qx + qy * qy


def stroke(points, width):
    """A polyline drawn with a round pen of the given width."""
    h2 = (width / 2) ** 2
    segments = list(zip(points, points[1:]))

    def inside(x, y):
        return any(_segment_distance2(x, y, a[0], a[1], b[0], b[1]) <= h2 for a, b in segments)
    return inside


def arc_points(cx, cy, r, start_deg, end_deg, steps=24):
    """Points along an arc; angles in degrees, 0 = right, clockwise on screen."""
    return [(cx + r * math.cos(math.radians(a)), cy + r * math.sin(math.radians(a)))
            for a in (start_deg + (end_deg - start_deg) * i / steps for i in range(steps + 1))]


def angle_of(cx, cy, x, y):
    return math.degrees(math.atan2(y - cy, x - cx)) % 360


# ----------------------------------------------------------------- colours --

def mix(a, b, t):
    return tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(3))


def solid(colour):
    return lambda x, y: colour


def radial(cx, cy, r, inner, outer):
    def paint(x, y):
        d = min(1.0, math.hypot(x - cx, y - cy) / r)
        return mix(inner, outer, d)
    return paint


def vertical(y0, y1, top, bottom):
    def paint(x, y):
        t = min(1.0, max(0.0, (y - y0) / (y1 - y0)))
        return mix(top, bottom, t)
    return paint


# ------------------------------------------------------------------ scenes --
# A scene is a list of (shape, paint) layers, painted in order.

DISC_STYLES = {
    # name: XP (rim, body centre, body edge, sheen), classic (rim, body, sheen)
    "grey": ((36, 44, 68), (232, 238, 248), (140, 156, 190), (110, 186, 250),
             (GREY, WHITE, AQUA)),  # not silver: that is the classic taskbar's own colour
    "red": ((120, 14, 10), (255, 150, 135), (214, 38, 28), (255, 215, 205),
            (DARK_RED, RED, WHITE)),
    "green": ((12, 92, 24), (160, 236, 150), (40, 168, 52), (220, 255, 210),
              (DARK_GREEN, LIME, WHITE)),
}


def disc(style, classic, cx=8.0, cy=8.0, r=7.5):
    """An optical disc: rim, body with two light wedges, clear hub, hole."""
    rim, centre, edge, sheen, flat = DISC_STYLES[style]
    rim_w = 1.0
    hub_r = r * 0.36
    hole_r = r * 0.17

    def sheen_shape(x, y):
        if not ring(cx, cy, r - rim_w, hub_r)(x, y):
            return False
        a = angle_of(cx, cy, x, y)
        return 200 <= a <= 240 or 20 <= a <= 60

    if classic:
        c_rim, c_body, c_sheen = flat
        return [
            (circle(cx, cy, r), solid(c_rim)),
            (circle(cx, cy, r - rim_w), solid(c_body)),
            (sheen_shape, solid(c_sheen)),
            (ring(cx, cy, hub_r, hole_r), solid(c_rim)),
            (circle(cx, cy, hole_r), None),  # None: cut out (transparent)
        ]
    return [
        (circle(cx, cy, r), solid(rim)),
        (circle(cx, cy, r - rim_w), radial(cx - 2, cy - 2, r * 1.6, centre, edge)),
        (sheen_shape, radial(cx, cy, r, mix(sheen, (255, 255, 255), 0.6), sheen)),
        (ring(cx, cy, hub_r, hole_r), solid(mix(rim, edge, 0.45))),
        (ring(cx, cy, hub_r - 0.7, hole_r), solid(mix(centre, (255, 255, 255), 0.5))),
        (circle(cx, cy, hole_r), None),
    ]


def badge(classic, rim_xp, centre_xp, edge_xp, rim_classic, body_classic, r=7.5):
    if classic:
        return [(circle(8, 8, r), solid(rim_classic)), (circle(8, 8, r - 1), solid(body_classic))]
    return [(circle(8, 8, r), solid(rim_xp)),
            (circle(8, 8, r - 1), radial(6, 5.5, 11, centre_xp, edge_xp))]


def question_scene(classic):
    hook = arc_points(8, 5.9, 2.7, 190, 395, 30)
    end = hook[-1]
    glyph = [
        (stroke(hook + [(8.1, end[1] + 1.3), (8.1, 10.0)], 2.2), solid(WHITE)),
        (circle(8.1, 12.4, 1.3), solid(WHITE)),
    ]
    return badge(classic, (16, 44, 120), (110, 170, 250), (30, 80, 190), NAVY, BLUE) + glyph


def error_scene(classic):
    """A warning triangle: unlike a red disc (tray open), even in a glance."""
    outer = polygon([(8.0, 0.6), (15.6, 14.6), (0.4, 14.6)])
    inner = polygon([(8.0, 2.7), (14.0, 13.7), (2.0, 13.7)])
    mark = stroke([(8.0, 5.6), (8.0, 9.4)], 2.0)
    dot = circle(8.0, 11.8, 1.1)
    if classic:
        return [(outer, solid(BLACK)), (inner, solid(YELLOW)), (mark, solid(BLACK)),
                (dot, solid(BLACK))]
    return [(outer, solid((120, 72, 0))), (inner, vertical(3, 14, (255, 236, 120), (250, 180, 0))),
            (mark, solid((30, 24, 10))), (dot, solid((30, 24, 10)))]


def wait_scene(classic):
    """An hourglass with most of its sand run through."""
    glass = polygon([(4.4, 2.6), (11.6, 2.6), (8.9, 8.0), (11.6, 13.4), (4.4, 13.4), (7.1, 8.0)])
    glass_in = polygon([(5.6, 3.3), (10.4, 3.3), (8.2, 8.0), (10.4, 12.7), (5.6, 12.7), (7.8, 8.0)])
    sand_top = polygon([(6.5, 5.6), (9.5, 5.6), (8.0, 7.9)])
    sand_bottom = polygon([(5.2, 12.8), (10.8, 12.8), (8.0, 9.6)])
    stream = rect(7.65, 7.5, 8.35, 12.0)
    top_bar = rect(3.2, 1.0, 12.8, 3.0)
    bottom_bar = rect(3.2, 13.0, 12.8, 15.0)
    if classic:
        return [
            (glass, solid(BLACK)), (glass_in, solid(WHITE)),
            (sand_top, solid(OLIVE)), (sand_bottom, solid(OLIVE)), (stream, solid(OLIVE)),
            # Olive bars rather than black: they must show on a dark taskbar too.
            (top_bar, solid(OLIVE)), (bottom_bar, solid(OLIVE)),
        ]
    wood = vertical(1.0, 3.0, (196, 132, 64), (110, 62, 20))
    wood2 = vertical(13.0, 15.0, (196, 132, 64), (110, 62, 20))
    sand = vertical(5.0, 13.0, (255, 214, 90), (220, 140, 20))
    return [
        (glass, solid((60, 70, 90))), (glass_in, vertical(3, 13, (240, 248, 255), (200, 220, 240))),
        (sand_top, sand), (sand_bottom, sand), (stream, sand),
        (top_bar, solid((80, 44, 14))), (rect(3.7, 1.4, 12.3, 2.6), wood),
        (bottom_bar, solid((80, 44, 14))), (rect(3.7, 13.4, 12.3, 14.6), wood2),
    ]


def app_scene(classic):
    """The program: a disc with a speed gauge in front, its needle held low."""
    scene = disc("grey", classic, cx=6.8, cy=6.8, r=6.6)
    gx, gy, gr = 11.3, 11.3, 4.5
    needle = stroke([(gx, gy), (gx - 2.6, gy - 0.9)], 1.1)

    def band(lo, hi):
        shape = ring(gx, gy, gr - 0.9, gr - 2.2)
        return lambda x, y: shape(x, y) and lo <= angle_of(gx, gy, x, y) <= hi

    if classic:
        return scene + [
            (circle(gx, gy, gr), solid(BLACK)), (circle(gx, gy, gr - 0.9), solid(WHITE)),
            (band(180, 250), solid(LIME)), (band(250, 310), solid(YELLOW)), (band(310, 360), solid(RED)),
            (needle, solid(BLACK)), (circle(gx, gy, 0.9), solid(BLACK)),
        ]
    return scene + [
        (circle(gx, gy, gr), solid((30, 34, 44))),
        (circle(gx, gy, gr - 0.7), radial(gx, gy - 2, gr * 1.4, (255, 255, 255), (214, 220, 230))),
        (band(180, 250), solid((40, 170, 60))), (band(250, 310), solid((240, 190, 30))),
        (band(310, 360), solid((220, 40, 30))),
        (needle, solid((20, 20, 20))), (circle(gx, gy, 0.9), solid((20, 20, 20))),
    ]


def winkey_scene(classic):
    """The logo key of the keyboard: four panes."""
    panes = [((2.0, 2.0, 7.4, 7.4), RED, (242, 80, 34)), ((8.6, 2.0, 14.0, 7.4), LIME, (127, 186, 0)),
             ((2.0, 8.6, 7.4, 14.0), BLUE, (0, 164, 239)), ((8.6, 8.6, 14.0, 14.0), YELLOW, (255, 185, 0))]
    return [(rect(*box), solid(flat if classic else colour)) for box, flat, colour in panes]


TRAY_STATES = [
    # (classic name, XP name, file stem, scene)
    ("IconTask16", "IconTaskXP", "task", lambda c: disc("grey", c)),
    ("IconTask16Red", "IconTaskXPRed", "task_red", lambda c: disc("red", c)),
    ("IconTask16Green", "IconTaskXPGreen", "task_green", lambda c: disc("green", c)),
    ("IconQuestion16", "IconQuestionXP", "question", question_scene),
    ("IconWait16", "IconWaitXP", "wait", wait_scene),
    ("IconError16", "IconErrorXP", "error", error_scene),
]


# --------------------------------------------------------------- rendering --

def render(scene, size):
    """Returns size*size RGBA tuples (straight alpha, 0..255), rows top first."""
    scale = 16.0 / size
    step = 1.0 / SUPER
    pixels = []
    for py in range(size):
        for px in range(size):
            acc_r = acc_g = acc_b = acc_a = 0.0
            for sy in range(SUPER):
                y = (py + (sy + 0.5) * step) * scale
                for sx in range(SUPER):
                    x = (px + (sx + 0.5) * step) * scale
                    colour = None
                    for shape, paint in scene:
                        if shape(x, y):
                            colour = paint(x, y) if paint else None
                    if colour is not None:
                        acc_r += colour[0]
                        acc_g += colour[1]
                        acc_b += colour[2]
                        acc_a += 1.0
            n = SUPER * SUPER
            if acc_a == 0:
                pixels.append((0, 0, 0, 0))
            else:
                pixels.append((round(acc_r / acc_a), round(acc_g / acc_a), round(acc_b / acc_a),
                               round(255 * acc_a / n)))
    return pixels


def nearest_vga(colour):
    return min(range(16), key=lambda i: sum((colour[k] - VGA[i][k]) ** 2 for k in range(3)))


def to_classic(pixels):
    """Palette index per pixel, None where transparent (alpha below half)."""
    return [None if a < 128 else nearest_vga((r, g, b)) for r, g, b, a in pixels]


# ----------------------------------------------------------------- writers --

def _row_bytes(bits_per_row):
    return (bits_per_row + 31) // 32 * 4


def _and_mask(size, transparent):
    out = bytearray()
    stride = _row_bytes(size)
    for y in reversed(range(size)):
        row = bytearray(stride)
        for x in range(size):
            if transparent(y * size + x):
                row[x // 8] |= 0x80 >> (x % 8)
        out += row
    return bytes(out)


def dib_32(size, pixels):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    for y in reversed(range(size)):
        for x in range(size):
            r, g, b, a = pixels[y * size + x]
            xor += bytes((b, g, r, a)) if a else b"\0\0\0\0"
    # Half coverage decides the mask: drawing that ignores alpha then gets
    # the truest outline. (Wine's tray also blends faint edge pixels against a
    # wrong background unless the mask drops them.)
    mask = _and_mask(size, lambda i: pixels[i][3] < 128)
    return header + bytes(xor) + mask


def dib_4(size, indices):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in VGA)
    xor = bytearray()
    stride = _row_bytes(size * 4)
    for y in reversed(range(size)):
        row = bytearray(stride)
        for x in range(size):
            index = indices[y * size + x]
            value = 0 if index is None else index  # black under the mask: no colour leaks
            row[x // 2] |= value << (4 if x % 2 == 0 else 0)
        xor += row
    mask = _and_mask(size, lambda i: indices[i] is None)
    return header + palette + bytes(xor) + mask


def write_ico(path, images):
    """images: list of (size, bit count, DIB bytes)."""
    count = len(images)
    out = bytearray(struct.pack("<HHH", 0, 1, count))
    offset = 6 + 16 * count
    for size, bits, data in images:
        colours = 16 if bits == 4 else 0
        out += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bits, len(data), offset)
        offset += len(data)
    for _, _, data in images:
        out += data
    with open(path, "wb") as f:
        f.write(out)


def write_mono_bmp(path, rows):
    """rows: strings of '#' (ink) and '.' (background). Ink is palette index 0,
    which a menu paints in its text colour; the background takes its own."""
    height, width = len(rows), len(rows[0])
    stride = _row_bytes(width)
    bits = bytearray()
    for line in reversed(rows):
        row = bytearray(stride)
        for x, ch in enumerate(line):
            if ch != "#":
                row[x // 8] |= 0x80 >> (x % 8)
        bits += row
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 1, 0, len(bits), 2835, 2835, 2, 2)
    palette = bytes((0, 0, 0, 0, 255, 255, 255, 0))
    offset = 14 + len(info) + len(palette)
    head = struct.pack("<2sIHHI", b"BM", offset + len(bits), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(head + info + palette + bytes(bits))


# Menu bitmaps, the size of a menu check mark (13 x 13 at 96 dpi).
BITMAPS = {
    # The drive's current speed: a pointer, unlike the selected speed's tick.
    "cspeed": [
        ".............",
        ".............",
        "...##........",
        "...####......",
        "...######....",
        "...########..",
        "...#########.",
        "...########..",
        "...######....",
        "...####......",
        "...##........",
        ".............",
        ".............",
    ],
    # Eject: the usual triangle over a bar.
    "eject": [
        ".............",
        "......#......",
        ".....###.....",
        "....#####....",
        "...#######...",
        "..#########..",
        ".###########.",
        ".............",
        ".............",
        ".###########.",
        ".###########.",
        ".............",
        ".............",
    ],
    # Close: the tray goes in, a bar over a triangle pointing down.
    "close": [
        ".............",
        ".............",
        ".###########.",
        ".###########.",
        ".............",
        ".............",
        ".###########.",
        "..#########..",
        "...#######...",
        "....#####....",
        ".....###.....",
        "......#......",
        ".............",
    ],
}


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    icons = os.path.join(root, "icons")
    bitmaps = os.path.join(root, "bitmaps")
    os.makedirs(icons, exist_ok=True)
    os.makedirs(bitmaps, exist_ok=True)

    for _, _, stem, scene in TRAY_STATES:
        write_ico(os.path.join(icons, stem + "_xp.ico"),
                  [(s, 32, dib_32(s, render(scene(False), s))) for s in ICON_SIZES])
        write_ico(os.path.join(icons, stem + "_classic.ico"),
                  [(s, 4, dib_4(s, to_classic(render(scene(True), s)))) for s in ICON_SIZES])

    # Program and logo-key icons: one file each with both forms; the system
    # picks the form that suits the display.
    for stem, scene, sizes in (("app", app_scene, APP_SIZES), ("winlogo", winkey_scene, ICON_SIZES)):
        images = [(s, 32, dib_32(s, render(scene(False), s))) for s in sizes]
        images += [(s, 4, dib_4(s, to_classic(render(scene(True), s)))) for s in sizes]
        write_ico(os.path.join(icons, stem + ".ico"), images)

    for name, rows in BITMAPS.items():
        write_mono_bmp(os.path.join(bitmaps, name + ".bmp"), rows)


if __name__ == "__main__":
    main()

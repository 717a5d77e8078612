#!/usr/bin/env python3
"""Draws the built-in skin's images: small flat PNGs, antialiased by 4x4
supersampling. Standard library only (zlib + struct), so the skin can be
redrawn anywhere: `python3 skin/tools/draw_images.py [skin folder]`.

Images with several states are strips of equal frames from left to right
(normal, hot, pushed[, disabled]); the layouts pick a frame with source='...'.
The output is deterministic: the same script writes the same bytes.
"""

import math
import os
import struct
import sys
import zlib

SS = 4  # samples per pixel along each axis

BLUE = (0x2B, 0x7C, 0xE9)
WHITE = (0xFF, 0xFF, 0xFF)
GRAY = (0x66, 0x66, 0x66)


def shade(color, factor):
    """Lighter for factor > 1, darker below 1."""
    if factor >= 1:
        return tuple(round(c + (255 - c) * (factor - 1)) for c in color)
    return tuple(round(c * factor) for c in color)


class Canvas:
    def __init__(self, width, height):
        self.w = width
        self.h = height
        self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(width * height)]  # premultiplied

    def fill(self, inside, color, alpha=1.0, box=None):
        """Composites `color` over every pixel by the share of its samples
        for which inside(x, y) holds."""
        x0, y0, x1, y1 = box if box else (0, 0, self.w, self.h)
        x0, y0 = max(0, int(math.floor(x0)) - 1), max(0, int(math.floor(y0)) - 1)
        x1, y1 = min(self.w, int(math.ceil(x1)) + 1), min(self.h, int(math.ceil(y1)) + 1)
        step = 1.0 / SS
        for py in range(y0, y1):
            for px in range(x0, x1):
                hits = 0
                for sy in range(SS):
                    for sx in range(SS):
                        if inside(px + (sx + 0.5) * step, py + (sy + 0.5) * step):
                            hits += 1
                if hits:
                    a = alpha * hits / (SS * SS)
                    p = self.px[py * self.w + px]
                    for i in range(3):
                        p[i] = color[i] / 255.0 * a + p[i] * (1 - a)
                    p[3] = a + p[3] * (1 - a)

    def fill_alpha(self, alpha_at, color):
        """Per-pixel alpha from a function (soft shadows)."""
        for py in range(self.h):
            for px in range(self.w):
                a = alpha_at(px + 0.5, py + 0.5)
                if a > 0:
                    p = self.px[py * self.w + px]
                    for i in range(3):
                        p[i] = color[i] / 255.0 * a + p[i] * (1 - a)
                    p[3] = a + p[3] * (1 - a)

    def png(self):
        raw = bytearray()
        prev = bytes(self.w * 4)
        for y in range(self.h):
            row = bytearray()
            for x in range(self.w):
                r, g, b, a = self.px[y * self.w + x]
                if a <= 0:
                    row += b"\0\0\0\0"
                else:
                    row += bytes((min(255, round(r / a * 255)), min(255, round(g / a * 255)),
                                  min(255, round(b / a * 255)), min(255, round(a * 255))))
            raw += best_filtered(bytes(row), prev)
            prev = bytes(row)

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

        ihdr = struct.pack(">IIBBBBB", self.w, self.h, 8, 6, 0, 0, 0)
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) +
                chunk(b"IEND", b""))


def best_filtered(row, prev):
    """The row with the PNG filter (none, sub, up) that leaves the smallest
    sum of magnitudes: the usual heuristic, enough for flat images."""
    sub = bytes((row[i] - (row[i - 4] if i >= 4 else 0)) & 0xFF for i in range(len(row)))
    up = bytes((row[i] - prev[i]) & 0xFF for i in range(len(row)))

    def cost(data):
        return sum(v if v < 128 else 256 - v for v in data)

    options = [(cost(row), 0, row), (cost(sub), 1, sub), (cost(up), 2, up)]
    options.sort(key=lambda o: (o[0], o[1]))
    return bytes((options[0][1],)) + options[0][2]


# ---- shapes: functions (x, y) -> bool ---------------------------------------

def rrect(x0, y0, x1, y1, r):
    def inside(x, y):
        if x < x0 or x > x1 or y < y0 or y > y1:
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ellipse(cx, cy, rx, ry):
    return lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1


def ring(cx, cy, r, width):
    return lambda x, y: (r - width) ** 2 <= (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def line(ax, ay, bx, by, width):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy or 1e-9

    def inside(x, y):
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
        qx, qy = ax + t * dx - x, ay + t * dy - y
        return qx * qx + qy * qy <= (width / 2) ** 2
    return inside


def polygon(points):
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i in range(len(points)):
            xi, yi = points[i]
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result
    return inside


def outline_rrect(x0, y0, x1, y1, r, width):
    outer = rrect(x0, y0, x1, y1, r)
    inner = rrect(x0 + width, y0 + width, x1 - width, y1 - width, max(0, r - width))
    return lambda x, y: outer(x, y) and not inner(x, y)


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def minus(a, b):
    return lambda x, y: a(x, y) and not b(x, y)


def moved(shape, dx, dy):
    return lambda x, y: shape(x - dx, y - dy)


def scaled(shape, cx, cy, factor):
    """The shape grown (factor > 1) or shrunk about (cx, cy)."""
    return lambda x, y: shape(cx + (x - cx) / factor, cy + (y - cy) / factor)


# ---- the images ------------------------------------------------------------

def title_button(glyph, hot_color=None):
    """Three 30x30 frames for the blue caption band: normal, hot, pushed."""
    c = Canvas(90, 30)
    for i in range(3):
        ox = i * 30
        if i == 1:
            c.fill(moved(rrect(3, 3, 27, 27, 3), ox, 0), hot_color or WHITE, 1.0 if hot_color else 0.18)
        elif i == 2:
            c.fill(moved(rrect(3, 3, 27, 27, 3), ox, 0), shade(hot_color, 0.8) if hot_color else (0, 0, 0),
                   1.0 if hot_color else 0.18)
        c.fill(moved(glyph, ox, 0), WHITE)
    return c


def glyph_min():
    return line(10, 15.5, 20, 15.5, 1.6)


def glyph_max():
    return outline_rrect(10, 10, 20, 20, 1, 1.5)


def glyph_restore():
    back = outline_rrect(12, 8.5, 21.5, 18, 1, 1.4)
    front = rrect(8.5, 12, 18, 21.5, 1)
    return union(minus(back, rrect(8.5, 12, 18, 21.5, 1)),
                 minus(front, rrect(9.9, 13.4, 16.6, 20.1, 0)))


def glyph_close():
    return union(line(10, 10, 20, 20, 1.7), line(20, 10, 10, 20, 1.7))


def glyph_menu():
    return union(line(9.5, 10.5, 20.5, 10.5, 1.6), line(9.5, 15, 20.5, 15, 1.6), line(9.5, 19.5, 20.5, 19.5, 1.6))


def glyph_toolbox():
    body = outline_rrect(8, 11, 22, 21, 1.5, 1.5)
    handle = outline_rrect(12, 8, 18, 12, 1, 1.4)
    latch = rect(14, 14.5, 16, 17)
    return union(body, handle, latch)


def login_badge(color, glyph, cx=14, r=12):
    """A round badge with the glyph, drawn at (cx, 14) with radius r in
    three 28x28 frames. The login dialog's sign-in buttons show it whole;
    beside the nickname it is small and at the frame's left edge, because
    the nickname's text starts 18 pixels into the frame: the width the main
    window gives the nickname leaves 38 pixels beside the text for the
    badge, the 6-pixel space and the arrow after it."""
    c = Canvas(84, 28)
    mark = moved(scaled(glyph, 14, 14, r / 12.0), cx - 14, 0)
    for i, factor in enumerate((1.0, 1.15, 0.85)):
        ox = i * 28
        c.fill(moved(circle(cx, 14, r), ox, 0), shade(color, factor))
        c.fill(moved(mark, ox, 0), WHITE)
    return c


def glyph_qq():
    head = ellipse(14, 11, 5.2, 5.6)
    body = ellipse(14, 17.5, 6.3, 5)
    feet = union(ellipse(10.5, 21.5, 3, 1.3), ellipse(17.5, 21.5, 3, 1.3))
    eyes = union(ellipse(12.2, 10.4, 0.9, 1.3), ellipse(15.8, 10.4, 0.9, 1.3))
    return minus(union(head, body, feet), eyes)


def glyph_wechat():
    big = ellipse(12, 12.5, 6, 5)
    small = ellipse(17, 16.5, 5, 4.2)
    tail = polygon([(9, 16), (8, 20), (12, 17)])
    eyes = union(circle(10, 11.5, 0.9), circle(14, 11.5, 0.9))
    gap = ellipse(17, 16.5, 6, 5.2)
    return union(minus(union(big, tail), union(eyes, gap)),
                 minus(small, union(circle(15.3, 15.8, 0.7), circle(18.7, 15.8, 0.7))))


def glyph_tel():
    body = outline_rrect(10, 6.5, 18, 21.5, 1.8, 1.5)
    return union(body, circle(14, 19, 0.9), line(12.5, 8.8, 15.5, 8.8, 1))


def arrow():
    c = Canvas(10, 6)
    c.fill(polygon([(1, 1), (9, 1), (5, 5.5)]), WHITE)
    return c


def logo(size=48):
    c = Canvas(size, size)
    s = size / 48.0
    c.fill(rrect(1 * s, 1 * s, 47 * s, 47 * s, 10 * s), BLUE)
    page = polygon([(15 * s, 10 * s), (28 * s, 10 * s), (35 * s, 17 * s), (35 * s, 38 * s), (15 * s, 38 * s)])
    c.fill(page, WHITE)
    c.fill(polygon([(28 * s, 10 * s), (28 * s, 17 * s), (35 * s, 17 * s)]), shade(BLUE, 1.5))
    for y in (22, 27, 32):
        c.fill(line(19 * s, y * s, 31 * s, y * s, 1.8 * s), BLUE)
    return c


def tab_icons():
    """Six 20x20 icons, tabs 0..5 from left to right; row 0 gray (normal),
    row 1 white (selected)."""
    icons = [
        # presentation: a screen on a stand
        union(outline_rrect(3, 3, 17, 13, 1, 1.5), line(10, 13, 10, 16.5, 1.5), line(6.5, 17, 13.5, 17, 1.5)),
        # spreadsheet: a grid
        union(outline_rrect(3, 3, 17, 17, 1, 1.5), line(3, 8, 17, 8, 1.2), line(3, 12.5, 17, 12.5, 1.2),
              line(8.5, 3, 8.5, 17, 1.2)),
        # word processing: lines of text
        union(outline_rrect(4, 2.5, 16, 17.5, 1, 1.5), line(7, 7, 13, 7, 1.3), line(7, 10, 13, 10, 1.3),
              line(7, 13, 11, 13, 1.3)),
        # recommended: a star
        polygon([(10 + 7.5 * math.sin(a * math.pi / 5) * (1 if a % 2 == 0 else 0.45),
                  10.5 - 7.5 * math.cos(a * math.pi / 5) * (1 if a % 2 == 0 else 0.45)) for a in range(10)]),
        # favourites: a heart
        union(circle(7, 8, 3.6), circle(13, 8, 3.6), polygon([(3.6, 9.2), (16.4, 9.2), (10, 16.5)])),
        # downloads: an arrow into a tray
        union(line(10, 3, 10, 11.5, 1.6), polygon([(6, 9), (14, 9), (10, 13.5)]),
              line(4, 12.5, 4, 16, 1.5), line(4, 16, 16, 16, 1.5), line(16, 12.5, 16, 16, 1.5)),
    ]
    c = Canvas(120, 40)
    for i, icon in enumerate(icons):
        c.fill(moved(icon, i * 20, 0), GRAY)
        c.fill(moved(icon, i * 20, 20), WHITE)
    return c


def loading():
    c = Canvas(48, 48)
    for i in range(12):
        a = i * math.pi / 6
        c.fill(circle(24 + 17 * math.sin(a), 24 - 17 * math.cos(a), 3.2), BLUE, 0.15 + 0.85 * (i + 1) / 12)
    return c


def disconnect():
    c = Canvas(96, 72)
    cloud = union(circle(34, 36, 14), circle(52, 30, 18), circle(68, 40, 11), rrect(22, 36, 78, 51, 7))
    c.fill(cloud, (0xC9, 0xD3, 0xDF))
    c.fill(circle(70, 52, 12), (0xF0, 0x5A, 0x4F))
    c.fill(union(line(65.5, 47.5, 74.5, 56.5, 2.6), line(74.5, 47.5, 65.5, 56.5, 2.6)), WHITE)
    return c


def flat_button(fill, border=None):
    """Four 24x32 frames (normal, hot, pushed, disabled); drawn with
    corner='5,5,5,5' so any width keeps its round ends."""
    c = Canvas(96, 32)
    for i, factor in enumerate((1.0, 1.12, 0.88, None)):
        ox = i * 24
        if factor is None:
            body, edge = (0xE4, 0xE6, 0xEA), (0xD5, 0xD8, 0xDD)
        else:
            body = shade(fill, factor)
            edge = shade(border, factor) if border else None
        if edge:
            c.fill(moved(rrect(0.5, 0.5, 23.5, 31.5, 4.5), ox, 0), edge)
            c.fill(moved(rrect(1.5, 1.5, 22.5, 30.5, 3.5), ox, 0), body)
        else:
            c.fill(moved(rrect(0.5, 0.5, 23.5, 31.5, 4.5), ox, 0), body)
    return c


def edit_frame():
    """Two 16x32 frames: normal and focused border, white inside."""
    c = Canvas(32, 32)
    for i, edge in enumerate(((0xD9, 0xDC, 0xE1), BLUE)):
        c.fill(moved(rrect(0.5, 0.5, 15.5, 31.5, 4), i * 16, 0), edge)
        c.fill(moved(rrect(1.5, 1.5, 14.5, 30.5, 3), i * 16, 0), WHITE)
    return c


def message_icon(kind):
    c = Canvas(32, 32)
    if kind == "info":
        c.fill(circle(16, 16, 14), BLUE)
        c.fill(union(circle(16, 9.5, 2), rrect(14.3, 13, 17.7, 24, 1.2)), WHITE)
    elif kind == "error":
        c.fill(circle(16, 16, 14), (0xF0, 0x5A, 0x4F))
        c.fill(union(line(11, 11, 21, 21, 3), line(21, 11, 11, 21, 3)), WHITE)
    else:
        c.fill(polygon([(16, 2.5), (30, 28), (2, 28)]), (0xF5, 0xA6, 0x23))
        c.fill(union(rrect(14.4, 10, 17.6, 20.5, 1.2), circle(16, 24, 1.8)), WHITE)
    return c


def head_default():
    c = Canvas(48, 48)
    c.fill(circle(24, 24, 23.5), (0xE3, 0xE8, 0xEF))
    person = union(circle(24, 19, 8), ellipse(24, 41, 14, 10))
    c.fill(lambda x, y: person(x, y) and (x - 24) ** 2 + (y - 24) ** 2 <= 23.5 ** 2, (0xA9, 0xB4, 0xC2))
    return c


def vip_badge():
    c = Canvas(28, 16)
    c.fill(rrect(0.5, 0.5, 27.5, 15.5, 4), (0xF2, 0xB6, 0x3C))
    v = union(line(5, 4.5, 7.8, 11.5, 1.7), line(7.8, 11.5, 10.6, 4.5, 1.7))
    i = line(13.5, 4.5, 13.5, 11.5, 1.7)
    p = union(line(17, 4.5, 17, 11.5, 1.7), outline_rrect(16.2, 3.7, 22.8, 8.9, 2.4, 1.6))
    c.fill(union(v, i, p), WHITE)
    return c


def feature(kind):
    c = Canvas(28, 28)
    c.fill(circle(14, 14, 13.5), (0xE8, 0xF1, 0xFD))
    if kind == "templates":
        c.fill(rrect(10, 7, 20, 19, 1.2), shade(BLUE, 1.5))
        c.fill(rrect(8, 9, 18, 21, 1.2), BLUE)
        c.fill(union(line(10.5, 13, 15.5, 13, 1.2), line(10.5, 16, 15.5, 16, 1.2)), WHITE)
    elif kind == "speed":
        c.fill(polygon([(16, 5), (8.5, 15.5), (13.5, 15.5), (11.5, 23), (19.5, 12), (14.5, 12)]), BLUE)
    else:
        c.fill(outline_rrect(7.5, 8.5, 20.5, 21, 1.5, 1.6), BLUE)
        c.fill(union(rect(7.5, 8.5, 20.5, 12), line(11, 6.5, 11, 10, 1.6), line(17, 6.5, 17, 10, 1.6)), BLUE)
        c.fill(union(rect(10, 14, 12, 16), rect(13, 14, 15, 16), rect(16, 14, 18, 16), rect(10, 17, 12, 19)), BLUE)
    return c


def shadow():
    """A soft 18-pixel shadow around a 12x12 window core, drawn with
    corner='18,18,18,18'."""
    c = Canvas(48, 48)

    def alpha(x, y):
        dx = max(18 - x, 0, x - 30)
        dy = max(18 - y, 0, y - 30)
        d = math.hypot(dx, dy)
        if d == 0 or d >= 18:
            return 0.0
        return 0.22 * (1 - d / 18) ** 2
    c.fill_alpha(alpha, (0, 0, 0))
    return c


def progress(color):
    c = Canvas(12, 6)
    c.fill(rrect(0, 0, 12, 6, 3), color)
    return c


IMAGES = {
    "default/sys/btn_min.png": lambda: title_button(glyph_min()),
    "default/sys/btn_max.png": lambda: title_button(glyph_max()),
    "default/sys/btn_restore.png": lambda: title_button(glyph_restore()),
    "default/sys/btn_close.png": lambda: title_button(glyph_close(), (0xE8, 0x48, 0x3F)),
    "default/sys/btn_menu.png": lambda: title_button(glyph_menu()),
    "default/sys/btn_toolbox.png": lambda: title_button(glyph_toolbox()),
    "default/button/pic_login_qq.png": lambda: login_badge((0x12, 0xB7, 0xF5), glyph_qq(), 8, 7.5),
    "default/button/pic_login_wechat.png": lambda: login_badge((0x1A, 0xAD, 0x19), glyph_wechat(), 8, 7.5),
    "default/button/pic_login_tel.png": lambda: login_badge((0xFF, 0x9F, 0x1C), glyph_tel(), 8, 7.5),
    "default/button/btn_signin_qq.png": lambda: login_badge((0x12, 0xB7, 0xF5), glyph_qq()),
    "default/button/btn_signin_wechat.png": lambda: login_badge((0x1A, 0xAD, 0x19), glyph_wechat()),
    "default/button/btn_primary.png": lambda: flat_button(BLUE),
    "default/button/btn_plain.png": lambda: flat_button(WHITE, (0xD5, 0xD8, 0xDD)),
    "default/common/logo.png": logo,
    "default/common/edit.png": edit_frame,
    "default/common/shadow.png": shadow,
    "default/main/tab_icons.png": tab_icons,
    "default/main/loading.png": loading,
    "default/main/disconnect.png": disconnect,
    "default/msg/icon_info.png": lambda: message_icon("info"),
    "default/msg/icon_error.png": lambda: message_icon("error"),
    "default/msg/icon_warn.png": lambda: message_icon("warn"),
    "default/user/head_default.png": head_default,
    "default/user/pic_vip.png": vip_badge,
    "default/user/feat_templates.png": lambda: feature("templates"),
    "default/user/feat_speed.png": lambda: feature("speed"),
    "default/user/feat_daily.png": lambda: feature("daily"),
    "default/download/progress_bg.png": lambda: progress((0xE4, 0xE8, 0xEE)),
    "default/download/progress_fg.png": lambda: progress(BLUE),
    "images/arrow.png": arrow,
}


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    for name in sorted(IMAGES):
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(IMAGES[name]().png())


if __name__ == "__main__":
    main()

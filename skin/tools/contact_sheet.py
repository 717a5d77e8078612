#!/usr/bin/env python3
"""Draws every image of the skin side by side, enlarged, on a light
checkerboard (so transparency shows), with the strips of button states as
they are: a quick way to look at the skin without a display back end.

    python3 skin/tools/contact_sheet.py <output.png> [scale]

Reads the PNG files under the skin folder (8-bit RGBA, as draw_images.py
writes them) and writes the sheet to output.png (keep it out of the skin
folder, whose PNGs all go into the archive).
"""

import os
import struct
import sys
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from draw_images import Canvas  # noqa: E402

SKIN_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
GAP = 8
SHEET_WIDTH = 1200


def read_png(path):
    """(width, height, rows of RGBA bytes), or None for a PNG that is not
    8-bit non-interlaced RGBA."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    pos, idat, header = 8, b"", None
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    if header is None or header[2:5] != (8, 6, 0) or header[6] != 0:
        return None
    width, height = header[0], header[1]
    raw = zlib.decompress(idat)
    stride = width * 4
    rows, prev = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 4] if i >= 4 else 0
            b = prev[i]
            c = prev[i - 4] if i >= 4 else 0
            if kind == 1:
                line[i] = (line[i] + a) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + b) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xFF
        rows.append(bytes(line))
        prev = line
    return width, height, rows


def main():
    if len(sys.argv) < 2:
        sys.stderr.write("usage: contact_sheet.py <output.png> [scale]\n")
        return 2
    output = sys.argv[1]
    scale = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    images = []
    for folder, subfolders, files in os.walk(SKIN_DIR):
        subfolders[:] = sorted(d for d in subfolders if d != "tools")
        for name in sorted(files):
            if name.endswith(".png"):
                decoded = read_png(os.path.join(folder, name))
                if decoded is None:
                    sys.stderr.write("skipped (not 8-bit RGBA): %s\n" % name)
                else:
                    images.append(decoded)
    placed, x, y, row_height = [], GAP, GAP, 0
    for width, height, rows in images:
        w, h = width * scale, height * scale
        if x + w + GAP > SHEET_WIDTH and x > GAP:
            x, y, row_height = GAP, y + row_height + GAP, 0
        placed.append((x, y, width, height, rows))
        x += w + GAP
        row_height = max(row_height, h)
    sheet = Canvas(SHEET_WIDTH, y + row_height + GAP)
    for py in range(sheet.h):
        for px in range(sheet.w):
            v = 0.93 if ((px // 8) + (py // 8)) % 2 else 0.85
            sheet.px[py * sheet.w + px] = [v, v, v, 1.0]
    for x0, y0, width, height, rows in placed:
        for py in range(height * scale):
            row = rows[py // scale]
            for px in range(width * scale):
                r, g, b, a = row[(px // scale) * 4:(px // scale) * 4 + 4]
                alpha = a / 255.0
                q = sheet.px[(y0 + py) * sheet.w + x0 + px]
                q[0] = r / 255.0 * alpha + q[0] * (1 - alpha)
                q[1] = g / 255.0 * alpha + q[1] * (1 - alpha)
                q[2] = b / 255.0 * alpha + q[2] * (1 - alpha)
    with open(output, "wb") as f:
        f.write(sheet.png())
    return 0


if __name__ == "__main__":
    sys.exit(main())

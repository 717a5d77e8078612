#!/usr/bin/env python3
"""Draws the application icon at the given sizes from the skin's own logo
drawing, so that every size is drawn sharp rather than scaled:

    draw_icons.py <output folder> <size>...

writes <output folder>/<size>x<size>/vanto.png for each size.
"""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "skin", "tools"))
import draw_images  # noqa: E402


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    out = sys.argv[1]
    for size in (int(s) for s in sys.argv[2:]):
        folder = os.path.join(out, f"{size}x{size}")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "vanto.png"), "wb") as f:
            f.write(draw_images.logo(size).png())


if __name__ == "__main__":
    main()

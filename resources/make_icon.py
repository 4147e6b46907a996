#!/usr/bin/python3
"""Draws the application icon at every size the windows and the desktop use:
a teal tile with a two-coloured capsule and a small list, the program's
subject (medication records). Run with Debian's /usr/bin/python3
(python3-cairo); writes resources/icons/minatori-<size>.png.
"""

import math
import os
import sys

import cairo

SIZES = [16, 24, 32, 48, 64, 128, 256]


def rounded_rect(ctx, x, y, w, h, r):
    ctx.new_sub_path()
    ctx.arc(x + w - r, y + r, r, -math.pi / 2, 0)
    ctx.arc(x + w - r, y + h - r, r, 0, math.pi / 2)
    ctx.arc(x + r, y + h - r, r, math.pi / 2, math.pi)
    ctx.arc(x + r, y + r, r, math.pi, 3 * math.pi / 2)
    ctx.close_path()


def draw(ctx, s):
    # Everything is laid out on a 256 grid and scaled.
    ctx.scale(s / 256.0, s / 256.0)
    rounded_rect(ctx, 8, 8, 240, 240, 48)
    tile = cairo.LinearGradient(0, 8, 0, 248)
    tile.add_color_stop_rgb(0, 0.13, 0.62, 0.64)
    tile.add_color_stop_rgb(1, 0.05, 0.38, 0.50)
    ctx.set_source(tile)
    ctx.fill()

    # A sheet with three lines: the record.
    rounded_rect(ctx, 44, 40, 120, 156, 14)
    ctx.set_source_rgb(1, 1, 1)
    ctx.fill()
    ctx.set_source_rgb(0.05, 0.38, 0.50)
    for y in (76, 108, 140):
        rounded_rect(ctx, 64, y, 80, 12, 6)
        ctx.fill()

    # The capsule, across the sheet's corner.
    ctx.save()
    ctx.translate(164, 170)
    ctx.rotate(-math.pi / 4)
    w, h = 132, 56
    ctx.set_source_rgb(1, 1, 1)
    rounded_rect(ctx, -w / 2 - 8, -h / 2 - 8, w + 16, h + 16, (h + 16) / 2)
    ctx.fill()
    rounded_rect(ctx, -w / 2, -h / 2, w, h, h / 2)
    ctx.clip()
    ctx.set_source_rgb(0.96, 0.45, 0.33)
    ctx.rectangle(-w / 2, -h / 2, w / 2, h)
    ctx.fill()
    ctx.set_source_rgb(1.0, 0.85, 0.35)
    ctx.rectangle(0, -h / 2, w / 2, h)
    ctx.fill()
    ctx.restore()


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "icons")
    os.makedirs(out, exist_ok=True)
    for s in SIZES:
        surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, s, s)
        draw(cairo.Context(surface), s)
        surface.write_to_png(os.path.join(out, "minatori-%d.png" % s))
    return 0


if __name__ == "__main__":
    sys.exit(main())

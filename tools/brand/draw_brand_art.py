#!/usr/bin/env python3
"""Draws the delivered program's branding pictures into a folder.

The pictures are the team's own, drawn here so that they stay editable:
  background.png   the logo drawn at the top left of the 3D view
  helpabout.png    the picture of the About box
  lmodeind.png, pmodeind.png, smodeind.png
                   the mode indicators (laser lines, laser points, scanning)

    draw_brand_art.py OUTPUT_FOLDER
"""
import os
import sys

from PIL import Image, ImageDraw

# The brand's colours: a deep teal and a warm amber on white.
TEAL = (14, 92, 110, 255)
AMBER = (236, 156, 38, 255)
WHITE = (255, 255, 255, 255)
CLEAR = (0, 0, 0, 0)


def wand_mark(draw, x, y, size):
    """The brand mark: a laser fan from a wand tip over a curved surface."""
    tip = (x + size * 0.15, y + size * 0.2)
    for i in range(7):
        end = (x + size * (0.45 + i * 0.08), y + size * 0.85)
        draw.line([tip, end], fill=AMBER, width=max(1, size // 24))
    draw.arc([x, y + size * 0.55, x + size, y + size * 1.25], 200, 340, fill=TEAL, width=max(2, size // 10))
    draw.ellipse([tip[0] - size * 0.08, tip[1] - size * 0.08, tip[0] + size * 0.08, tip[1] + size * 0.08], fill=TEAL)


def letters(draw, x, y, h, text, colour):
    """Block letters made of strokes, so that no font file is needed."""
    strokes = {
        "T": [(0, 0, 1, 0), (0.5, 0, 0.5, 1)],
        "O": [(0, 0, 1, 0), (1, 0, 1, 1), (1, 1, 0, 1), (0, 1, 0, 0)],
        "L": [(0, 0, 0, 1), (0, 1, 1, 1)],
        "V": [(0, 0, 0.5, 1), (0.5, 1, 1, 0)],
        "A": [(0, 1, 0.5, 0), (0.5, 0, 1, 1), (0.25, 0.55, 0.75, 0.55)],
        "R": [(0, 1, 0, 0), (0, 0, 1, 0), (1, 0, 1, 0.5), (1, 0.5, 0, 0.5), (0.3, 0.5, 1, 1)],
        "N": [(0, 1, 0, 0), (0, 0, 1, 1), (1, 1, 1, 0)],
    }
    w = h * 0.62
    for i, ch in enumerate(text):
        ox = x + i * w * 1.35
        for (a, b, c, d) in strokes.get(ch, []):
            draw.line([(ox + a * w, y + b * h), (ox + c * w, y + d * h)], fill=colour, width=max(2, int(h // 7)))


def logo(width, height):
    image = Image.new("RGBA", (width, height), CLEAR)
    draw = ImageDraw.Draw(image)
    draw.rounded_rectangle([0, 0, width - 1, height - 1], radius=height // 5, fill=(255, 255, 255, 210))
    wand_mark(draw, 6, 4, height - 10)
    letters(draw, height + 4, height * 0.3, height * 0.4, "TOLVARAN", TEAL)
    return image


def about(width, height):
    image = Image.new("RGBA", (width, height), WHITE)
    draw = ImageDraw.Draw(image)
    for row in range(height):
        shade = int(235 - 60 * row / height)
        draw.line([(0, row), (width, row)], fill=(shade, shade + 10, 255, 255))
    wand_mark(draw, 12, 10, height - 24)
    letters(draw, height, height * 0.35, height * 0.3, "TOLVARAN", TEAL)
    return image


def mode_indicator(kind, size=32):
    image = Image.new("RGBA", (size, size), CLEAR)
    draw = ImageDraw.Draw(image)
    draw.ellipse([1, 1, size - 2, size - 2], fill=TEAL)
    c = size / 2
    if kind == "l":  # laser lines
        for k in (-6, 0, 6):
            draw.line([(c - 9, c + k), (c + 9, c + k)], fill=AMBER, width=2)
    elif kind == "p":  # laser points
        for dx, dy in ((-6, -6), (6, -6), (0, 0), (-6, 6), (6, 6)):
            draw.ellipse([c + dx - 2, c + dy - 2, c + dx + 2, c + dy + 2], fill=AMBER)
    else:  # scanning
        draw.polygon([(c - 8, c + 8), (c, c - 9), (c + 8, c + 8)], outline=AMBER)
        draw.line([(c, c - 9), (c, c + 8)], fill=WHITE, width=1)
    return image


def main(argv):
    if len(argv) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    out = argv[0]
    os.makedirs(out, exist_ok=True)
    logo(220, 40).save(os.path.join(out, "background.png"))
    about(360, 90).save(os.path.join(out, "helpabout.png"))
    for kind in "lps":
        mode_indicator(kind).save(os.path.join(out, kind + "modeind.png"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

#!/usr/bin/python3
"""Draws the program's user-interface art into a folder, in one flat style:
the program icon (378), the list rows' icons (391-396), the batch log's
plain-line icon (381, a disc like the program's message icons), the large toolbar's
three strips (290 normal, 291 hot, 292 greyed; 28 pictograms at 48 pixels),
the 16-pixel bitmaps of the small toolbar and the edition panel, and the
stylus marker strips (203: 12 point markers, 221: 4 line styles).

Every picture is a pictogram drawn here from lines and shapes; edit a
pictogram below and rebuild to change it.

    draw_ui_art.py OUTDIR
"""
import os
import sys

from PIL import Image, ImageDraw, ImageEnhance, ImageOps

INK = (43, 45, 66)
TEAL = (31, 122, 140)
ORANGE = (224, 122, 31)
RED = (200, 40, 40)
LIGHT = (232, 236, 240)
KEY = (255, 0, 255)  # the strips' transparent colour (their top-left pixel)
FACE = (192, 192, 192)  # mapped to the button face when a 16-pixel bitmap loads


def box(d, xy, fill=None, outline=INK, width=3):
    d.rectangle(xy, fill=fill, outline=outline, width=width)


def page(d):
    d.polygon([(12, 6), (30, 6), (38, 14), (38, 42), (12, 42)], fill=LIGHT, outline=INK)
    d.line([(30, 6), (30, 14), (38, 14)], fill=INK, width=2)


def arrow(d, x0, y, x1, colour=ORANGE, width=5):
    d.line([(x0, y), (x1, y)], fill=colour, width=width)
    s = 7 if x1 > x0 else -7
    d.polygon([(x1 + s, y), (x1 - s // 2, y - 8), (x1 - s // 2, y + 8)], fill=colour)


def sweep_lines(d, colour=TEAL):
    for k in range(3):
        y = 14 + 10 * k
        d.line([(6, y), (16, y - 5), (26, y + 3), (36, y - 4), (44, y)], fill=colour, width=3)


def mesh(d, filled=None, outline=INK):
    pts = [(8, 40), (24, 8), (40, 40)]
    d.polygon(pts, fill=filled, outline=outline)
    d.line([(16, 24), (32, 24), (24, 40), (16, 24)], fill=outline, width=2)


def circle_letter(d, letter, colour):
    d.ellipse([6, 6, 42, 42], fill=colour, outline=INK, width=2)
    # Block letters from strokes, so that no font is needed.
    if letter == "T":
        d.line([(16, 15), (32, 15)], fill=LIGHT, width=5)
        d.line([(24, 15), (24, 34)], fill=LIGHT, width=5)
    elif letter == "R":
        d.line([(17, 14), (17, 34)], fill=LIGHT, width=5)
        d.arc([12, 12, 32, 26], -90, 90, fill=LIGHT, width=5)
        d.line([(22, 25), (32, 34)], fill=LIGHT, width=5)
    elif letter == "?":
        d.arc([15, 10, 33, 26], 180, 90, fill=LIGHT, width=5)
        d.line([(24, 26), (24, 30)], fill=LIGHT, width=5)
        d.ellipse([21, 33, 27, 39], fill=LIGHT)


def listing(d, marks):
    box(d, [8, 6, 40, 42], fill=LIGHT)
    for k in range(3):
        y = 14 + 10 * k
        if marks == "check":
            d.line([(12, y), (15, y + 3), (20, y - 3)], fill=TEAL, width=2)
        else:
            d.ellipse([12, y - 3, 18, y + 3], fill=ORANGE)
        d.line([(23, y), (36, y)], fill=INK, width=2)


def pictogram(name):
    im = Image.new("RGB", (48, 48), KEY)
    d = ImageDraw.Draw(im)
    if name == "new":
        page(d)
        d.line([(34, 30), (34, 44)], fill=ORANGE, width=4)
        d.line([(27, 37), (41, 37)], fill=ORANGE, width=4)
    elif name == "open":
        d.polygon([(4, 14), (18, 14), (22, 18), (40, 18), (40, 40), (4, 40)], fill=(240, 200, 90), outline=INK)
        d.polygon([(10, 24), (46, 24), (40, 40), (4, 40)], fill=(250, 220, 120), outline=INK)
    elif name == "save":
        box(d, [6, 6, 42, 42], fill=TEAL)
        box(d, [14, 6, 34, 18], fill=LIGHT, width=2)
        box(d, [12, 26, 36, 42], fill=LIGHT, width=2)
    elif name == "export":
        box(d, [4, 12, 26, 40], fill=LIGHT)
        arrow(d, 14, 26, 38)
    elif name == "transfer":
        d.polygon([(28, 12), (42, 18), (42, 34), (28, 40), (14, 34), (14, 18)], fill=TEAL, outline=INK)
        arrow(d, 2, 26, 24, colour=ORANGE, width=4)
    elif name == "camera":
        box(d, [4, 14, 44, 40], fill=INK)
        d.rectangle([16, 9, 30, 14], fill=INK)
        d.ellipse([16, 18, 34, 36], fill=LIGHT, outline=TEAL, width=3)
    elif name == "tx":
        circle_letter(d, "T", TEAL)
    elif name == "rx":
        circle_letter(d, "R", ORANGE)
    elif name == "reset":
        d.arc([8, 8, 40, 40], 40, 340, fill=TEAL, width=5)
        d.polygon([(36, 4), (44, 16), (30, 16)], fill=TEAL)
    elif name == "properties":
        box(d, [8, 6, 40, 42], fill=LIGHT)
        for k in range(3):
            d.line([(14, 14 + 9 * k), (34, 14 + 9 * k)], fill=INK, width=3)
        d.ellipse([26, 30, 44, 46], fill=ORANGE, outline=INK)
    elif name == "laser":
        d.polygon([(4, 36), (18, 24), (22, 28), (8, 40)], fill=INK)
        d.line([(20, 26), (40, 8)], fill=RED, width=3)
        d.ellipse([36, 4, 46, 14], fill=RED)
    elif name == "sweeps":
        sweep_lines(d)
    elif name == "basic":
        mesh(d, filled=(150, 200, 210))
    elif name == "rbf":
        d.ellipse([6, 10, 42, 40], fill=(120, 180, 200), outline=INK, width=2)
        d.arc([12, 14, 30, 30], 180, 270, fill=LIGHT, width=4)
    elif name == "points":
        for x, y in [(10, 12), (24, 10), (38, 14), (14, 26), (30, 24), (40, 34), (10, 38), (24, 38)]:
            d.ellipse([x - 3, y - 3, x + 3, y + 3], fill=INK)
    elif name == "wireframe":
        mesh(d)
    elif name == "solid":
        d.polygon([(8, 40), (24, 8), (40, 40)], fill=TEAL)
    elif name == "outlined":
        mesh(d, filled=TEAL, outline=LIGHT)
        d.polygon([(8, 40), (24, 8), (40, 40)], outline=INK)
    elif name == "bbox":
        box(d, [6, 16, 32, 42], width=2)
        box(d, [16, 6, 42, 32], width=2)
        for a, b in [((6, 16), (16, 6)), ((32, 16), (42, 6)), ((6, 42), (16, 32)), ((32, 42), (42, 32))]:
            d.line([a, b], fill=INK, width=2)
    elif name == "select":
        for x in range(6, 42, 8):
            d.line([(x, 6), (x + 4, 6)], fill=INK, width=2)
            d.line([(x, 42), (x + 4, 42)], fill=INK, width=2)
        for y in range(6, 42, 8):
            d.line([(6, y), (6, y + 4)], fill=INK, width=2)
            d.line([(42, y), (42, y + 4)], fill=INK, width=2)
        d.polygon([(20, 18), (36, 30), (28, 31), (32, 40), (28, 41), (24, 33), (20, 38)], fill=ORANGE, outline=INK)
    elif name == "delete":
        d.line([(10, 10), (38, 38)], fill=RED, width=7)
        d.line([(38, 10), (10, 38)], fill=RED, width=7)
    elif name == "sweeplist":
        listing(d, "check")
    elif name == "styluslist":
        listing(d, "dot")
    elif name == "generate":
        mesh(d, filled=(150, 200, 210))
        d.polygon([(38, 2), (41, 10), (47, 10), (42, 15), (44, 22), (38, 18), (32, 22), (34, 15), (29, 10), (35, 10)],
                  fill=ORANGE)
    elif name == "undo":
        arrow(d, 40, 24, 12, colour=TEAL, width=6)
    elif name == "redo":
        arrow(d, 8, 24, 36, colour=TEAL, width=6)
    elif name == "help":
        circle_letter(d, "?", TEAL)
    elif name == "mouse":
        d.rounded_rectangle([14, 10, 34, 42], radius=10, fill=LIGHT, outline=INK, width=3)
        d.line([(24, 10), (24, 22)], fill=INK, width=2)
        d.ellipse([36, 4, 46, 14], fill=ORANGE)
    elif name == "small":
        d.ellipse([16, 16, 32, 32], fill=TEAL, outline=INK, width=2)
    elif name == "large":
        d.ellipse([4, 4, 44, 44], fill=TEAL, outline=INK, width=3)
    elif name == "cast":
        d.polygon([(12, 6), (36, 6), (40, 42), (8, 42)], fill=(210, 200, 180), outline=INK)
        arrow(d, 30, 24, 14, colour=ORANGE, width=4)
    elif name == "one":
        d.line([(24, 8), (24, 40)], fill=INK, width=7)
        d.line([(16, 14), (24, 8)], fill=INK, width=5)
    elif name == "two":
        d.arc([12, 6, 36, 28], 200, 20, fill=INK, width=6)
        d.line([(34, 22), (12, 42), (38, 42)], fill=INK, width=6)
    elif name == "lines":
        d.line([(6, 38), (20, 14), (32, 30), (44, 8)], fill=RED, width=4)
    else:
        raise ValueError(name)
    return im


# The large toolbar's images, in the order of their indices.
LARGE = ["new", "open", "save", "export", "transfer", "camera", "tx", "rx", "reset", "properties", "laser",
         "sweeps", "basic", "rbf", "points", "wireframe", "solid", "outlined", "bbox", "select", "delete",
         "sweeplist", "styluslist", "generate", "undo", "redo", "help", "mouse"]

# The 16-pixel bitmaps: resource id and pictogram.
SMALL = {135: "export", 266: "transfer", 126: "sweeps", 278: "basic", 279: "rbf", 133: "camera", 129: "points",
         130: "wireframe", 131: "solid", 182: "outlined", 184: "sweeplist", 134: "generate", 138: "tx", 139: "rx",
         251: "reset", 231: "laser", 244: "small", 246: "large", 257: "cast", 253: "one", 254: "two",
         234: "lines", 127: "basic"}

# The list rows' icons.
ROWS = {394: "sweeps", 391: "undo", 395: "basic", 392: "points", 396: "outlined", 393: "lines"}


def keyed_to_alpha(im):
    rgba = im.convert("RGBA")
    rgba.putdata([(r, g, b, 0) if (r, g, b) == KEY else (r, g, b, 255) for r, g, b, _ in rgba.getdata()])
    return rgba


def shrink(im, size, background):
    rgba = keyed_to_alpha(im).resize((size, size), Image.LANCZOS)
    out = Image.new("RGB", (size, size), background)
    out.paste(rgba, (0, 0), rgba)
    return out


def palettized(im):
    """The picture with a colour table of its own exact colours (a 16-pixel
    image has at most 256): the toolbar maps the table's button-face grey to
    the system's button face, which then shows through."""
    colours = sorted(set(im.getdata()))
    index = {c: i for i, c in enumerate(colours)}
    table = [v for c in colours for v in c]
    out = Image.new("P", im.size)
    out.putpalette(table + [0] * (768 - len(table)))
    out.putdata([index[c] for c in im.getdata()])
    return out


def strips(out):
    normal = Image.new("RGB", (48 * len(LARGE), 48), KEY)
    for i, name in enumerate(LARGE):
        normal.paste(pictogram(name), (48 * i, 0))
    mask = [p == KEY for p in normal.getdata()]
    hot = ImageEnhance.Color(normal).enhance(1.5)
    hot = ImageEnhance.Brightness(hot).enhance(1.15)
    grey = ImageOps.grayscale(normal).convert("RGB")
    grey = Image.blend(grey, Image.new("RGB", grey.size, (200, 200, 200)), 0.5)
    for image, rid in ((normal, 290), (hot, 291), (grey, 292)):
        data = [KEY if m else p for m, p in zip(mask, image.getdata())]
        image = Image.new("RGB", normal.size)
        image.putdata(data)
        image.save(os.path.join(out, "strip%d.bmp" % rid))


def marker(kind, index):
    im = Image.new("RGB", (48, 48), KEY)
    d = ImageDraw.Draw(im)
    if kind == "point":
        shapes = ["dot", "ring", "square", "frame", "diamond", "triangle", "cross", "plus", "star", "bar", "hex",
                  "target"]
        s = shapes[index]
        if s == "dot":
            d.ellipse([12, 12, 36, 36], fill=RED)
        elif s == "ring":
            d.ellipse([10, 10, 38, 38], outline=RED, width=5)
        elif s == "square":
            d.rectangle([12, 12, 36, 36], fill=RED)
        elif s == "frame":
            d.rectangle([10, 10, 38, 38], outline=RED, width=5)
        elif s == "diamond":
            d.polygon([(24, 6), (42, 24), (24, 42), (6, 24)], fill=RED)
        elif s == "triangle":
            d.polygon([(24, 6), (42, 40), (6, 40)], fill=RED)
        elif s == "cross":
            d.line([(8, 8), (40, 40)], fill=RED, width=7)
            d.line([(40, 8), (8, 40)], fill=RED, width=7)
        elif s == "plus":
            d.line([(24, 6), (24, 42)], fill=RED, width=7)
            d.line([(6, 24), (42, 24)], fill=RED, width=7)
        elif s == "star":
            d.polygon([(24, 4), (29, 18), (44, 18), (32, 27), (37, 42), (24, 33), (11, 42), (16, 27), (4, 18),
                       (19, 18)], fill=RED)
        elif s == "bar":
            d.rectangle([6, 18, 42, 30], fill=RED)
        elif s == "hex":
            d.polygon([(14, 6), (34, 6), (44, 24), (34, 42), (14, 42), (4, 24)], fill=RED)
        elif s == "target":
            d.ellipse([6, 6, 42, 42], outline=RED, width=4)
            d.ellipse([18, 18, 30, 30], fill=RED)
    else:
        dash = [None, (12, 6), (4, 6), (12, 4, 4, 4)][index]
        x = 2
        k = 0
        while x < 46:
            length = 44 if dash is None else dash[k % len(dash)]
            if k % 2 == 0:
                d.line([(x, 24), (min(x + length, 46), 24)], fill=TEAL, width=6)
            x += length
            k += 1
    return im


def marker_strip(out, kind, count, rid):
    strip = Image.new("RGB", (16 * count, 16), KEY)
    for i in range(count):
        small = keyed_to_alpha(marker(kind, i)).resize((16, 16), Image.LANCZOS)
        strip.paste(small, (16 * i, 0), small)
    strip.save(os.path.join(out, "markers%d.bmp" % rid))


def program_icon():
    im = Image.new("RGBA", (256, 256), (0, 0, 0, 0))
    d = ImageDraw.Draw(im)
    d.rounded_rectangle([8, 8, 248, 248], radius=48, fill=TEAL + (255,))
    d.polygon([(40, 200), (120, 120), (140, 140), (60, 220)], fill=INK + (255,))
    d.line([(130, 130), (216, 44)], fill=RED + (255,), width=14)
    d.line([(60, 150), (110, 110), (150, 160), (216, 120)], fill=LIGHT + (255,), width=12)
    d.ellipse([200, 28, 232, 60], fill=ORANGE + (255,))
    return im


def plain_line_icon():
    """A grey disc with three white text lines: a plain line of the batch log."""
    im = Image.new("RGBA", (64, 64), (0, 0, 0, 0))
    d = ImageDraw.Draw(im)
    d.ellipse([2, 2, 61, 61], fill=(110, 116, 128, 255))
    for k, length in enumerate((30, 24, 30)):
        y = 21 + 11 * k
        d.line([(17, y), (17 + length, y)], fill=(255, 255, 255, 255), width=6)
    return im.resize((16, 16), Image.LANCZOS)


def main(argv):
    if len(argv) != 2:
        print(__doc__)
        return 2
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    program_icon().save(os.path.join(out, "icon378.ico"), sizes=[(16, 16), (32, 32), (48, 48)])
    for rid, name in ROWS.items():
        keyed_to_alpha(pictogram(name)).resize((16, 16), Image.LANCZOS).save(
            os.path.join(out, "row%d.ico" % rid), sizes=[(16, 16)])
    plain_line_icon().save(os.path.join(out, "log381.ico"), sizes=[(16, 16)])
    strips(out)
    for rid, name in SMALL.items():
        palettized(shrink(pictogram(name), 16, FACE)).save(os.path.join(out, "bitmap%d.bmp" % rid))
    marker_strip(out, "point", 12, 203)
    marker_strip(out, "line", 4, 221)
    with open(os.path.join(out, "stamp"), "w") as f:
        f.write("drawn\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

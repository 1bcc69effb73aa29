#!/usr/bin/python3
"""Checks the view's read-backs of a headless run on the simulator (see
tools/run.sh --view-check): the drawn pixels grow while the sweeps come in,
a full redraw shows what the incremental frames built, and after Center the
drawn pixels' box is centred in the view within 2 pixels.

Other forms, for the same run:
  view_check.py --pick VIEW.png          a drawn pixel inside the cloud, near the view's centre
  view_check.py --readout-point LOG      the point of the first readout the probe printed, as X,Y,Z
  view_check.py --readout LOG DISTANCE TOLERANCE
                                         the readout lies within the tolerance plus a pixel of the scene
  view_check.py --snapshot SNAPSHOT.png VIEW.png [blank-ok]
                                         the F11 picture: 8-bit RGBA, the view's width, the view's
                                         height plus the information text, the view's picture
                                         opaque on top (something drawn, unless blank-ok)
  view_check.py --paste SHOT.png VIEW.png X Y W H
                                         the view's picture pasted into the screenshot at its place
  view_check.py --logo VIEW.png LOGO.png yes|no
                                         the logo's opaque pixels at the view's top left corner
                                         (yes), or not there (no)
"""
import re
import subprocess
import sys

from PIL import Image


def drawn(path):
    image = Image.open(path).convert("RGB")
    w, h = image.size
    data = image.load()
    xs, ys = [], []
    for y in range(h):
        for x in range(w):
            if data[x, y] != (0, 0, 0):
                xs.append(x)
                ys.append(y)
    return image, xs, ys


def main(run):
    ok = True
    counts = []
    for i in range(1, 9):
        _, xs, _ = drawn(f"{run}/view-{i}.png")
        counts.append(len(xs))
    print("drawn pixels while scanning:", counts)
    if counts[-1] <= counts[0] or any(b < a for a, b in zip(counts, counts[1:])):
        print("the drawn pixels did not grow")
        ok = False
    last = Image.open(f"{run}/view-8.png").convert("RGB")
    full = Image.open(f"{run}/view-full.png").convert("RGB")
    # The same pixels drawn; shading may differ a little where a point's
    # normal was refined by the profiles after the frame that first drew it.
    pairs = list(zip(last.getdata(), full.getdata()))
    coverage = sum(1 for a, b in pairs if (a == (0, 0, 0)) != (b == (0, 0, 0)))
    close = sum(1 for a, b in pairs if max(abs(p - q) for p, q in zip(a, b)) <= 24)
    share = close / len(pairs)
    print(f"full redraw against the last incremental frame: {coverage} pixels drawn in one only, "
          f"{share:.4%} of the pixels within 24 levels")
    if last.size != full.size or coverage > len(pairs) // 1000 or share < 0.999:
        print("the full redraw differs from the incremental frames")
        ok = False
    image, xs, ys = drawn(f"{run}/view-centred.png")
    w, h = image.size
    if not xs:
        print("nothing drawn after Center")
        return 1
    cx, cy = (min(xs) + max(xs)) / 2, (min(ys) + max(ys)) / 2
    print(f"after Center the drawn box is centred at ({cx}, {cy}), the view's centre ({w // 2}, {h // 2})")
    if abs(cx - w // 2) > 2 or abs(cy - h // 2) > 2:
        print("the drawn box is not centred")
        ok = False
    print("view check " + ("passed" if ok else "failed"))
    return 0 if ok else 1


def pick(path):
    image, xs, ys = drawn(path)
    data = image.load()
    w, h = image.size
    cx, cy = w // 2, h // 2
    best = None
    for x, y in zip(xs, ys):
        if 0 < x < w - 2 and 0 < y < h - 1 and all(
            data[x + dx, y + dy] != (0, 0, 0) for dx in (-1, 0, 1, 2) for dy in (-1, 0, 1)
        ):
            d = (x - cx) ** 2 + (y - cy) ** 2
            if best is None or d < best[0]:
                best = (d, x, y)
    if best is None:
        print("no drawn pixel inside the cloud")
        return 1
    print(best[1], best[2])
    return 0


READOUT = re.compile(r"readout at (-?\d+) (-?\d+): (-?[\d.]+) (-?[\d.]+) (-?[\d.]+) \((-?[\d.]+)\)")


def readouts(log):
    found = []
    with open(log) as f:
        for line in f:
            m = READOUT.search(line)
            if m:
                found.append(tuple(float(v) for v in m.groups()[2:5]))
    return found


def readout_point(log):
    found = readouts(log)
    if not found:
        print("no readout")
        return 1
    print("%g,%g,%g" % found[0])
    return 0


def readout(log, distance, tolerance):
    found = readouts(log)
    if len(found) < 2:
        print("the readouts under a drawn pixel and its neighbour are missing")
        return 1
    (ax, ay, az), (bx, by, bz) = found[0], found[1]
    pixel = ((ax - bx) ** 2 + (ay - by) ** 2 + (az - bz) ** 2) ** 0.5
    # Each coordinate is shown to 0.1 mm.
    bound = tolerance + pixel + 3 ** 0.5 * 0.05
    print(f"readout {found[0]} lies {distance:.3f} mm from the scene; "
          f"a pixel is {pixel:.3f} mm, the bound {bound:.3f} mm")
    if distance > bound:
        print("the readout does not lie on the scene")
        return 1
    return 0


def snapshot(path, view_path, blank_ok=False):
    shot = Image.open(path)
    view = Image.open(view_path).convert("RGB")
    vw, vh = view.size
    info = subprocess.run(["identify", "-format", "%z %[channels] %w %h", path],
                          capture_output=True, text=True).stdout.split()
    print(f"snapshot {shot.size[0]} x {shot.size[1]}, {shot.mode}; ImageMagick: {' '.join(info)}; "
          f"the view {vw} x {vh}")
    ok = True
    if len(info) < 4 or info[0] != "8" or not info[1].startswith("srgba") or int(info[2]) != vw:
        print("the snapshot is not an 8-bit RGBA picture of the view's width")
        ok = False
    if shot.mode != "RGBA" or shot.size[0] != vw or shot.size[1] <= vh:
        print("the snapshot has no information text under the view")
        return 1
    top = shot.crop((0, 0, vw, vh))
    # The picture lies over the view's background: nothing is left for a
    # viewer to show in a colour of its own.
    clear = sum(1 for a in top.getchannel("A").getdata() if a != 255)
    pairs = list(zip(top.convert("RGB").getdata(), view.getdata()))
    cloud = sum(1 for p, _ in pairs if p != (0, 0, 0))
    differ = sum(1 for p, v in pairs if max(abs(a - b) for a, b in zip(p, v)) > 24)
    print(f"snapshot: {cloud} pixels drawn, {clear} not opaque, {differ} differ from the view's last frame")
    if clear:
        print("the snapshot's view is not opaque")
        ok = False
    if (cloud == 0 and not blank_ok) or differ > len(pairs) // 1000:
        print("the snapshot does not hold the view's picture")
        ok = False
    return 0 if ok else 1


def paste(shot_path, view_path, x, y, w, h):
    shot = Image.open(shot_path).convert("RGB")
    view = Image.open(view_path).convert("RGB")
    if view.size != (w, h):
        print(f"the view's picture is {view.size}, its window {w} x {h}")
        return 1
    shot.paste(view, (x, y))
    shot.save(shot_path)
    return 0


def logo(view_path, logo_path, expected):
    view = Image.open(view_path).convert("RGB")
    mark = Image.open(logo_path).convert("RGBA")
    w, h = mark.size
    if view.size[0] < w or view.size[1] < h:
        print(f"the view's picture {view.size} is smaller than the logo {mark.size}")
        return 1
    v, m = view.load(), mark.load()
    opaque = [(x, y) for y in range(h) for x in range(w) if m[x, y][3] == 255]
    same = sum(1 for x, y in opaque if max(abs(p - q) for p, q in zip(v[x, y], m[x, y][:3])) <= 2)
    print(f"logo: {same} of its {len(opaque)} opaque pixels at the view's top left")
    shown = len(opaque) > 0 and same == len(opaque)
    # Where the logo is absent a few of its pixels may match the background by chance.
    absent = same < len(opaque) // 10
    if expected == "yes" and not shown:
        print("the view does not show the logo")
        return 1
    if expected == "no" and not absent:
        print("the view shows a logo")
        return 1
    return 0


if __name__ == "__main__":
    a = sys.argv
    if len(a) == 3 and a[1] == "--pick":
        sys.exit(pick(a[2]))
    if len(a) == 3 and a[1] == "--readout-point":
        sys.exit(readout_point(a[2]))
    if len(a) == 5 and a[1] == "--readout":
        sys.exit(readout(a[2], float(a[3]), float(a[4])))
    if len(a) in (4, 5) and a[1] == "--snapshot" and a[4:] in ([], ["blank-ok"]):
        sys.exit(snapshot(a[2], a[3], len(a) == 5))
    if len(a) == 8 and a[1] == "--paste":
        sys.exit(paste(a[2], a[3], *(int(v) for v in a[4:8])))
    if len(a) == 5 and a[1] == "--logo" and a[4] in ("yes", "no"):
        sys.exit(logo(a[2], a[3], a[4]))
    sys.exit(main(a[1]))

#!/usr/bin/python3
"""Checks the view's read-backs of a headless run on the simulator (see
tools/run.sh --view-check): the drawn pixels grow while the sweeps come in,
a full redraw shows what the incremental frames built, and after Center the
drawn pixels' box is centred in the view within 2 pixels."""
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


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))

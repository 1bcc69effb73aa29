#!/usr/bin/python3
"""Sweep registration beside Open3D's point-to-plane ICP on the same data.

The first two sweeps of the simulator's limb scan, the second moved by a known
offset (0.5 degrees about an axis across the limb, 1 mm across and 1 mm along
it), come from `timing_sweep_registration`, which also registers them with the
program's own registration. Open3D's point-to-plane ICP then aligns the same
moved sweep onto the first, with the same points, the same normals and the same
search radius. Both recoveries are printed side by side: what is left of the
offset, rotation across the limb's axis and about it, shift across and along.

    sweep_registration_vs_open3d.py check PROGRAM [--rounds N]
        fails unless ours undoes the rotation across the axis within 0.05
        degrees and the shift across it within 0.1 mm, and is no worse than
        Open3D by more than 0.02 degrees and 0.05 mm there (along and about
        the axis, which only the limb's taper constrains, are printed only),
        and unless taking the registration back returns every point within
        float precision.

    sweep_registration_vs_open3d.py bench PROGRAM BENCHMARK [--rounds N]
        times Open3D's ICP on the data and prints the ratio to the Google
        Benchmark program's time of ours (build the `bench` preset for it).

Run it with Debian's own /usr/bin/python3 (python3-open3d).
"""
import argparse
import json
import math
import os
import subprocess
import sys
import tempfile
import time

# Ours runs on one thread: so does Open3D here (its OpenMP threads would also
# fight the other work of a busy machine and make its times meaningless).
os.environ.setdefault("OMP_NUM_THREADS", "1")

import numpy as np  # noqa: E402
import open3d as o3d  # noqa: E402

ACROSS_DEGREES = 0.05
ACROSS_MM = 0.1
MARGIN_DEGREES = 0.02
MARGIN_MM = 0.05
# Taken back, every point is where it was within a few float steps of the
# scan's coordinates (below 512 mm: steps of 2^-15 mm).
UNDO_MM = 8 * 2.0 ** -15


def run_ours(program, folder, rounds):
    out = os.path.join(folder, "limb_pair")
    command = [program, out] + ([str(rounds)] if rounds else [])
    done = subprocess.run(command, capture_output=True, text=True)
    sys.stdout.write(done.stdout)
    if done.returncode != 0:
        sys.stderr.write(done.stderr)
        raise SystemExit("%s failed (%d)" % (program, done.returncode))
    with open(out + ".json") as f:
        info = json.load(f)
    raw = np.fromfile(out + ".bin", dtype=np.int32, count=2)
    n0, n1 = int(raw[0]), int(raw[1])
    values = np.fromfile(out + ".bin", dtype=np.float32, offset=8).astype(np.float64)
    sizes = [n0 * 3, n0 * 3, n1 * 3, n1 * 3]
    parts = np.split(values, np.cumsum(sizes)[:-1])
    clouds = []
    for points, normals in ((parts[0], parts[1]), (parts[2], parts[3])):
        cloud = o3d.geometry.PointCloud(o3d.utility.Vector3dVector(points.reshape(-1, 3)))
        cloud.normals = o3d.utility.Vector3dVector(normals.reshape(-1, 3))
        clouds.append(cloud)
    return info, clouds


def row_matrix(values):
    """A row-vector matrix (p·M, translation in the last row) as a 4x4 column-vector one."""
    return np.array(values, dtype=np.float64).reshape(4, 4).T


def leftover(total, axis, centroid):
    """Rotation about/across the axis (degrees) and shift along/across it of the axis point (mm)."""
    r = total[:3, :3]
    angle = math.acos(max(-1.0, min(1.0, (np.trace(r) - 1.0) / 2.0)))
    w = np.zeros(3)
    if math.sin(angle) > 1e-12:
        w = angle / (2.0 * math.sin(angle)) * np.array([r[2, 1] - r[1, 2], r[0, 2] - r[2, 0], r[1, 0] - r[0, 1]])
    about = float(w @ axis)
    across = float(np.linalg.norm(w - about * axis))
    shift = total[:3, :3] @ centroid + total[:3, 3] - centroid
    along = float(shift @ axis)
    side = float(np.linalg.norm(shift - along * axis))
    return {"across_deg": math.degrees(across), "about_deg": math.degrees(about), "across_mm": side,
            "along_mm": along}


def open3d_icp(clouds, radius, default_criteria=False):
    """Run to convergence (at most 100 iterations), or with Open3D's own defaults (30)."""
    criteria = o3d.pipelines.registration.ICPConvergenceCriteria()
    if not default_criteria:
        criteria = o3d.pipelines.registration.ICPConvergenceCriteria(relative_fitness=1e-9, relative_rmse=1e-9,
                                                                     max_iteration=100)
    return o3d.pipelines.registration.registration_icp(
        clouds[1], clouds[0], radius, np.identity(4),
        o3d.pipelines.registration.TransformationEstimationPointToPlane(), criteria)


def compare(info, clouds):
    axis = np.array(info["axis"], dtype=np.float64)
    axis /= np.linalg.norm(axis)
    centroid = np.array(info["axis_point"], dtype=np.float64)
    offset = row_matrix(info["offset"])
    ours = leftover(row_matrix(info["movement"]) @ offset, axis, centroid)
    result = open3d_icp(clouds, info["search_radius"])
    theirs = leftover(np.asarray(result.transformation) @ offset, axis, centroid)
    print("search radius %.3g mm; ours %d rounds of %d samples; Open3D fitness %.3f, inlier rmse %.4f mm" %
          (info["search_radius"], info["rounds"], info["samples"], result.fitness, result.inlier_rmse))
    print("%-34s %12s %12s" % ("left over of the offset", "ours", "Open3D"))
    rows = [("rotation across the axis (deg)", "across_deg"), ("shift across the axis (mm)", "across_mm"),
            ("rotation about the axis (deg)", "about_deg"), ("shift along the axis (mm)", "along_mm")]
    for label, key in rows:
        print("%-34s %12.4f %12.4f" % (label, ours[key], theirs[key]))
    return ours, theirs


def check(args):
    with tempfile.TemporaryDirectory() as folder:
        info, clouds = run_ours(args.program, folder, args.rounds)
    ours, theirs = compare(info, clouds)
    failures = []
    if info["result"] != 0:
        failures.append("the registration gave result %d" % info["result"])
    if not info["undo_error"] < UNDO_MM:
        failures.append("taken back, a point is %.3g mm from where it was" % info["undo_error"])
    if ours["across_deg"] > ACROSS_DEGREES:
        failures.append("rotation across the axis left %.4f deg (bound %.2f)" % (ours["across_deg"], ACROSS_DEGREES))
    if ours["across_mm"] > ACROSS_MM:
        failures.append("shift across the axis left %.4f mm (bound %.2f)" % (ours["across_mm"], ACROSS_MM))
    if ours["across_deg"] > theirs["across_deg"] + MARGIN_DEGREES:
        failures.append("rotation across worse than Open3D's by more than %.2f deg" % MARGIN_DEGREES)
    if ours["across_mm"] > theirs["across_mm"] + MARGIN_MM:
        failures.append("shift across worse than Open3D's by more than %.2f mm" % MARGIN_MM)
    for f in failures:
        print("FAIL: " + f)
    return 1 if failures else 0


def bench(args):
    with tempfile.TemporaryDirectory() as folder:
        info, clouds = run_ours(args.program, folder, args.rounds)
        compare(info, clouds)
        report = os.path.join(folder, "bench.json")
        command = [args.benchmark, "--benchmark_format=json", "--benchmark_out=" + report,
                   "--benchmark_filter=SweepRegistration"]
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
        with open(report) as f:
            runs = json.load(f)["benchmarks"]
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
    ours = {r["name"]: r["real_time"] * scale[r["time_unit"]] for r in runs}
    theirs = {}
    for label, default in (("Open3D point-to-plane ICP, to convergence", False),
                           ("Open3D point-to-plane ICP, its defaults", True)):
        open3d_icp(clouds, info["search_radius"], default)
        repeats = 5
        start = time.perf_counter()
        for _ in range(repeats):
            open3d_icp(clouds, info["search_radius"], default)
        theirs[label] = (time.perf_counter() - start) / repeats
    print("%-46s %12s" % ("time (one thread each)", "ms"))
    for name, seconds in list(ours.items()) + list(theirs.items()):
        print("%-46s %12.2f" % (name, seconds * 1e3))
    for name, seconds in ours.items():
        for label, other in theirs.items():
            print("ratio %s / %s: %.3f" % (name, label, seconds / other))
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="mode", required=True)
    c = sub.add_parser("check")
    c.add_argument("program")
    c.add_argument("--rounds", type=int, default=0)
    b = sub.add_parser("bench")
    b.add_argument("program")
    b.add_argument("benchmark")
    b.add_argument("--rounds", type=int, default=0)
    args = parser.parse_args()
    return check(args) if args.mode == "check" else bench(args)


if __name__ == "__main__":
    sys.exit(main())

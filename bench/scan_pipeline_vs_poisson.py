#!/usr/bin/python3
"""The scan pipeline of Morlith beside Open3D's screened Poisson reconstruction.

    /usr/bin/python3 bench/scan_pipeline_vs_poisson.py [--build DIR] [--points N]

Makes two synthetic scans, a sphere of radius 50 mm and a torus of radii 40
and 15 mm, each of N (200 000) area-uniform points with their true normals and
Gaussian noise of 0.1 mm on every coordinate. On the same points it runs, one
process per row:
  - the pipeline through Morlith's exports under Wine (timing_scan_pipeline
    of the Windows build DIR: build/windows64 by default, for machines that
    run no 32-bit code; build/windows for the shipped 32-bit code), Close 1,
    MemoryToUse 256, its parameters printed;
  - Open3D's screened Poisson at depths 8 and 9, with its default threads and
    with one.
Rows: time, triangles, RMS and 99th percentile of the output vertices'
distance to the true surface, peak memory of the process, and for Poisson
also the growth of the peak during the call. Debian's Open3D imports only
under /usr/bin/python3, which runs this script and its Poisson children.

The same rows follow for the simulator's limb scan (the built-in scenario
through the program's acquisition and profile processing, made by
timing_limb_scan of the native build NATIVE, build/native by default), with
distances from the scenario's own surface: the pipeline with Close 2, and
Poisson's closed mesh first cut to the same distance from the input points
(ExtraTrim + Resolution).
"""
import argparse
import json
import os
import resource
import struct
import subprocess
import sys
import tempfile
import time

import numpy as np

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
NOISE = 0.1


def sphere(n, rng, radius=50.0):
    z = rng.uniform(-1.0, 1.0, n)
    t = rng.uniform(0.0, 2.0 * np.pi, n)
    r = np.sqrt(1.0 - z * z)
    normals = np.stack([r * np.cos(t), r * np.sin(t), z], axis=1)
    return radius * normals, normals


def torus(n, rng, a=40.0, b=15.0):
    kept_s, kept_t = [], []
    while sum(len(k) for k in kept_s) < n:
        s = rng.uniform(0.0, 2.0 * np.pi, n)
        t = rng.uniform(0.0, 2.0 * np.pi, n)
        keep = rng.uniform(0.0, a + b, n) <= a + b * np.cos(t)  # area-uniform
        kept_s.append(s[keep])
        kept_t.append(t[keep])
    s = np.concatenate(kept_s)[:n]
    t = np.concatenate(kept_t)[:n]
    normals = np.stack([np.cos(s) * np.cos(t), np.sin(s) * np.cos(t), np.sin(t)], axis=1)
    points = np.stack([(a + b * np.cos(t)) * np.cos(s), (a + b * np.cos(t)) * np.sin(s), b * np.sin(t)], axis=1)
    return points, normals


def distance(shape, points):
    if shape == 'sphere':
        return np.abs(np.linalg.norm(points, axis=1) - 50.0)
    ring = np.hypot(points[:, 0], points[:, 1]) - 40.0
    return np.abs(np.hypot(ring, points[:, 2]) - 15.0)


def spacing(shape, n):
    area = 4.0 * np.pi * 50.0 ** 2 if shape == 'sphere' else 4.0 * np.pi ** 2 * 40.0 * 15.0
    return float(np.sqrt(area / n))


def write_scan(path, points, normals):
    with open(path, 'wb') as f:
        f.write(struct.pack('<i', len(points)))
        f.write(points.astype('<f4').tobytes())
        f.write(normals.astype('<f4').tobytes())


def read_mesh(path):
    with open(path, 'rb') as f:
        vertices, triangles = struct.unpack('<ii', f.read(8))
        points = np.frombuffer(f.read(24 * vertices), dtype='<f8').reshape(-1, 3)
    return points, triangles


def pipeline_row(build, shape, scan, work, parameters, truth):
    output = os.path.join(work, f'{shape}.mesh')
    program = os.path.join(build, 'bench', 'timing_scan_pipeline.exe')
    command = [os.path.join(build, 'wine-run.sh'), program, scan, output] + [f'{k}={v}' for k, v in parameters]
    run = subprocess.run(command, capture_output=True, text=True)
    values = dict(line.split(' ', 1) for line in run.stdout.splitlines() if ' ' in line)
    if run.returncode != 0:
        sys.exit(f'{shape}: the pipeline failed\n{run.stdout}{run.stderr}')
    points, triangles = read_mesh(output)
    d = truth(points)
    bits = values.get('pointer_bits', '?')
    return {'method': f'Morlith {bits}-bit, Wine', 'seconds': float(values['seconds']), 'triangles': triangles,
            'rms': float(np.sqrt(np.mean(d * d))), 'p99': float(np.percentile(d, 99)),
            'peak_mb': float(values['peak_mb']), 'growth_mb': None,
            'parameters': ' '.join(f'{k}={values[k].strip()}' for k, _ in parameters)}


POISSON_CHILD = r'''
import json, resource, sys, time
import numpy as np
import open3d as o3d
data = np.load(sys.argv[1])
cut = float(sys.argv[5])
pcd = o3d.geometry.PointCloud()
pcd.points = o3d.utility.Vector3dVector(data['points'])
pcd.normals = o3d.utility.Vector3dVector(data['normals'])
before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
start = time.perf_counter()
mesh, _ = o3d.geometry.TriangleMesh.create_from_point_cloud_poisson(pcd, depth=int(sys.argv[2]),
                                                                     n_threads=int(sys.argv[3]))
seconds = time.perf_counter() - start
after = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
if cut > 0:
    # Cut the closed surface as the pipeline trims: keep the vertices that
    # have an input point nearer than the distance.
    near = np.asarray(o3d.geometry.PointCloud(mesh.vertices).compute_point_cloud_distance(pcd))
    mesh.remove_vertices_by_mask(near >= cut)
np.save(sys.argv[4], np.asarray(mesh.vertices))
print(json.dumps({'seconds': seconds, 'triangles': len(mesh.triangles), 'peak_mb': after / 1024.0,
                  'growth_mb': (after - before) / 1024.0}))
'''


def poisson_row(shape, data, work, depth, threads, truth, cut=0.0):
    vertices = os.path.join(work, f'{shape}_poisson.npy')
    run = subprocess.run(['/usr/bin/python3', '-c', POISSON_CHILD, data, str(depth), str(threads), vertices, str(cut)],
                         capture_output=True, text=True)
    if run.returncode != 0:
        sys.exit(f'Poisson failed\n{run.stderr}')
    row = json.loads(run.stdout.strip().splitlines()[-1])
    d = truth(np.load(vertices))
    cut_text = f', cut at {cut:g} mm' if cut > 0 else ''
    row.update({'method': f'Poisson depth {depth}{cut_text}, ' +
                ('default threads' if threads < 0 else f'{threads} thread'),
                'rms': float(np.sqrt(np.mean(d * d))), 'p99': float(np.percentile(d, 99)), 'parameters': ''})
    return row


def limb_truth(native, work):
    """Distances from the limb scene's surface, computed by the simulator's own scene."""
    def truth(points):
        path = os.path.join(work, 'limb_vertices.bin')
        with open(path, 'wb') as f:
            f.write(struct.pack('<i', len(points)))
            f.write(np.ascontiguousarray(points, dtype='<f8').tobytes())
        out = os.path.join(work, 'limb_distances.bin')
        subprocess.run([os.path.join(native, 'bench', 'timing_limb_scan'), 'distance', path, out], check=True)
        return np.fromfile(out, dtype='<f8')
    return truth


def limb_rows(build, native, work, arguments):
    import open3d as o3d
    scan = os.path.join(work, 'limb.scan')
    subprocess.run([os.path.join(native, 'bench', 'timing_limb_scan'), 'scan', scan], check=True,
                   capture_output=True)
    with open(scan, 'rb') as f:
        n = struct.unpack('<i', f.read(4))[0]
        points = np.frombuffer(f.read(12 * n), dtype='<f4').reshape(-1, 3).astype(np.float64)
        normals = np.frombuffer(f.read(12 * n), dtype='<f4').reshape(-1, 3).astype(np.float64)
    cloud = o3d.geometry.PointCloud(o3d.utility.Vector3dVector(points))
    spacing_mm = float(np.mean(cloud.compute_nearest_neighbor_distance()))
    data = os.path.join(work, 'limb.npz')
    np.savez(data, points=points, normals=normals)
    extra_trim = 1.0
    parameters = [('InputResolution', f'{spacing_mm:.4f}'), ('Accuracy', arguments.accuracy),
                  ('Resolution', arguments.resolution), ('MemoryToUse', '256'), ('ExtraTrim', f'{extra_trim:g}'),
                  ('Close', '2')]
    truth = limb_truth(native, work)
    rows = [('limb', pipeline_row(build, 'limb', scan, work, parameters, truth))]
    cut = extra_trim + float(arguments.resolution)
    for depth in (8, 9):
        for threads in (-1, 1):
            rows.append(('limb', poisson_row('limb', data, work, depth, threads, truth, cut)))
    return n, rows


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--build', help='the Windows build folder: build/windows64 (the default) on a machine '
                                        'that runs no 32-bit code, else build/windows')
    parser.add_argument('--native', default=os.path.join(ROOT, 'build', 'native'),
                        help='the native build with bench/timing_limb_scan (default build/native)')
    parser.add_argument('--points', type=int, default=200000)
    parser.add_argument('--accuracy', default='0.3')
    parser.add_argument('--resolution', default='1.0')
    arguments = parser.parse_args()
    build = arguments.build or os.path.join(ROOT, 'build', 'windows64')
    rng = np.random.default_rng(2026)
    rows = []
    with tempfile.TemporaryDirectory() as work:
        for shape, make in (('sphere', sphere), ('torus', torus)):
            points, normals = make(arguments.points, rng)
            points = points + rng.normal(0.0, NOISE, points.shape)
            scan = os.path.join(work, f'{shape}.scan')
            write_scan(scan, points, normals)
            data = os.path.join(work, f'{shape}.npz')
            np.savez(data, points=points, normals=normals)
            parameters = [('InputResolution', f'{spacing(shape, arguments.points):.4f}'),
                          ('Accuracy', arguments.accuracy), ('Resolution', arguments.resolution),
                          ('MemoryToUse', '256'), ('Close', '1')]
            truth = (lambda s: lambda p: distance(s, p))(shape)
            rows.append((shape, pipeline_row(build, shape, scan, work, parameters, truth)))
            for depth in (8, 9):
                for threads in (-1, 1):
                    rows.append((shape, poisson_row(shape, data, work, depth, threads, truth)))
        limb_points, limb = limb_rows(build, arguments.native, work, arguments)
        rows += limb
    print(f'sphere and torus: {arguments.points} points each, noise {NOISE} mm per coordinate, true normals; '
          f'limb: {limb_points} points of the simulated scan with their normals')
    print(f'{"scan":8} {"method":48} {"seconds":>8} {"triangles":>10} {"RMS mm":>8} {"p99 mm":>8} '
          f'{"peak MB":>8} {"growth MB":>9}')
    for shape, row in rows:
        growth = '' if row['growth_mb'] is None else f'{row["growth_mb"]:.1f}'
        print(f'{shape:8} {row["method"]:48} {row["seconds"]:8.2f} {row["triangles"]:10d} {row["rms"]:8.4f} '
              f'{row["p99"]:8.4f} {row["peak_mb"]:8.1f} {growth:>9}')
    for shape, row in rows:
        if row['parameters']:
            print(f'{shape} pipeline parameters: {row["parameters"]}')
    for shape in ('sphere', 'torus', 'limb'):
        ours = next(r for s, r in rows if s == shape and r['parameters'])
        depth8 = next(r for s, r in rows if s == shape and r['method'].startswith('Poisson depth 8') and
                      r['method'].endswith('default threads'))
        met = (ours['rms'] <= 0.030 and ours['triangles'] < depth8['triangles'] and
               ours['seconds'] < depth8['seconds'] and ours['peak_mb'] < 256.0)
        print(f'{shape}: goal (RMS <= 0.030 mm, fewer triangles in less time than Poisson depth 8, '
              f'peak under 256 MB) {"met" if met else "not met"}')


if __name__ == '__main__':
    main()

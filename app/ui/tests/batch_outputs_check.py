#!/usr/bin/python3
"""Reads the files the batch dialog test exported back with meshio, a reader
written by others, and compares their counts with the ones the test wrote in
expected.txt: the sweeps' triangles of the STL file, the basic surface's
vertices and faces of the PLY file, an RBF surface in the OBJ file (vertices
and triangles, every index in range), and no file for the bad scan.

usage: batch_outputs_check.py <folder>
"""
import os
import sys

import meshio


def triangles(mesh):
    return sum(len(block.data) for block in mesh.cells if block.type == "triangle")


def main(folder):
    failures = []
    with open(os.path.join(folder, "expected.txt")) as f:
        rows = [line.split() for line in f if line.strip()]
    for row in rows:
        if row[0] == "missing":
            if os.path.exists(os.path.join(folder, row[1])):
                failures.append("%s was written for a scan that failed" % row[1])
            continue
        path = os.path.join(folder, row[0])
        mesh = meshio.read(path)
        points, faces = len(mesh.points), triangles(mesh)
        print("%s: %d points, %d triangles" % (row[0], points, faces))
        if row[0].endswith(".stl") and faces != int(row[1]):
            failures.append("%s: %d triangles, expected %s" % (row[0], faces, row[1]))
        if row[0].endswith(".ply") and (points, faces) != (int(row[1]), int(row[2])):
            failures.append("%s: %d points %d faces, expected %s %s" % (row[0], points, faces, row[1], row[2]))
        if row[0].endswith(".obj"):
            if points < 3 or faces < 1:
                failures.append("%s: no surface (%d points, %d triangles)" % (row[0], points, faces))
            for block in mesh.cells:
                if len(block.data) and (block.data.min() < 0 or block.data.max() >= points):
                    failures.append("%s: a face index outside the vertices" % row[0])
    for failure in failures:
        print("FAIL " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))

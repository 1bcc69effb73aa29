"""Checks a triangle mesh (PLY) with Open3D and prints one `key value` line
per measure: edge-manifold, orientable, and the counts of non-manifold edges
and vertices and of self-intersecting facet pairs. With a second argument
(the same mesh as STL) admesh's counts of connected parts and of edges whose
facets disagree in orientation are added."""
import subprocess
import sys

import open3d as o3d


def main():
    mesh = o3d.io.read_triangle_mesh(sys.argv[1])
    print("vertices", len(mesh.vertices))
    print("triangles", len(mesh.triangles))
    print("edge_manifold", int(mesh.is_edge_manifold(allow_boundary_edges=True)))
    print("orientable", int(mesh.is_orientable()))
    print("non_manifold_edges", len(mesh.get_non_manifold_edges(allow_boundary_edges=True)))
    print("non_manifold_vertices", len(mesh.get_non_manifold_vertices()))
    print("self_intersections", len(mesh.get_self_intersecting_triangles()))
    if len(sys.argv) > 2:
        out = subprocess.run(["admesh", sys.argv[2]], capture_output=True, text=True).stdout
        names = {"Number of parts": "admesh_parts", "Backwards edges": "admesh_backwards_edges"}
        for line in out.splitlines():
            for label, key in names.items():
                if line.startswith(label):
                    print(key, int(line.split(":")[1].split()[0]))


if __name__ == "__main__":
    main()

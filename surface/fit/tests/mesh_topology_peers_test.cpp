// The open edges and boundary loops of the edge topology beside CGAL's
// border cycles of the same meshes: tori with holes cut. Native only, where
// CGAL's headers are (libcgal-dev).
#if !defined(_WIN32) && __has_include(<CGAL/Surface_mesh.h>)
#include <CGAL/Polygon_mesh_processing/border.h>
#include <CGAL/Simple_cartesian.h>
#include <CGAL/Surface_mesh.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "surface/fit/mesh_topology.h"

namespace {

using Kernel = CGAL::Simple_cartesian<double>;
using SurfaceMesh = CGAL::Surface_mesh<Kernel::Point_3>;
using Ints = std::vector<int32_t>;

// A closed torus of n x m quads, each split into two triangles.
Ints Torus(int32_t n, int32_t m) {
    Ints tris;
    for (int32_t i = 0; i < n; ++i) {
        for (int32_t j = 0; j < m; ++j) {
            const int32_t a = i * m + j, b = ((i + 1) % n) * m + j, c = ((i + 1) % n) * m + (j + 1) % m,
                          d = i * m + (j + 1) % m;
            tris.insert(tris.end(), {a, b, c, a, c, d});
        }
    }
    return tris;
}

struct Border {
    int32_t open = 0;
    Ints loops;  // lengths, sorted
};

Border Ours(int32_t vertices, const Ints& tris) {
    Border b;
    MeshTopology t;
    EXPECT_EQ(
        MeshTopology_Build(vertices, nullptr, static_cast<int32_t>(tris.size() / 3), tris.data(), 0, nullptr, &t, 1),
        0);
    b.open = MeshTopology_OpenCount(&t);
    EXPECT_EQ(MeshTopology_BoundaryLoops(&t), 0);
    for (int32_t i = 0; i < t.LoopCount; ++i) b.loops.push_back(MeshTopology_LoopLength(t.Loops[i]));
    std::sort(b.loops.begin(), b.loops.end());
    MeshTopology_Free(&t);
    return b;
}

int32_t PinchedVertices(int32_t vertices, const Ints& tris) {
    std::set<std::pair<int32_t, int32_t>> edges;
    for (size_t f = 0; f < tris.size(); f += 3) {
        for (int k = 0; k < 3; ++k) edges.insert({tris[f + k], tris[f + (k + 1) % 3]});
    }
    std::vector<int32_t> openOut(vertices, 0);
    for (const auto& e : edges) openOut[e.first] += edges.count({e.second, e.first}) ? 0 : 1;
    return static_cast<int32_t>(std::count_if(openOut.begin(), openOut.end(), [](int32_t c) { return c > 1; }));
}

// CGAL's answer, or false when it cannot hold the mesh (a vertex whose
// faces fall apart into separate fans).
bool Theirs(int32_t vertices, const Ints& tris, Border* b) {
    SurfaceMesh mesh;
    std::vector<SurfaceMesh::Vertex_index> v;
    for (int32_t i = 0; i < vertices; ++i) v.push_back(mesh.add_vertex(Kernel::Point_3(i, 0, 0)));
    for (size_t f = 0; f < tris.size(); f += 3) {
        if (mesh.add_face(v[tris[f]], v[tris[f + 1]], v[tris[f + 2]]) == SurfaceMesh::null_face()) return false;
    }
    for (SurfaceMesh::Halfedge_index h : mesh.halfedges()) b->open += mesh.is_border(h) ? 1 : 0;
    std::vector<SurfaceMesh::Halfedge_index> cycles;
    CGAL::Polygon_mesh_processing::extract_boundary_cycles(mesh, std::back_inserter(cycles));
    for (SurfaceMesh::Halfedge_index h : cycles) {
        int32_t length = 0;
        for (SurfaceMesh::Halfedge_index e : CGAL::halfedges_around_face(h, mesh)) {
            (void)e;
            ++length;
        }
        b->loops.push_back(length);
    }
    std::sort(b->loops.begin(), b->loops.end());
    return true;
}

TEST(MeshTopologyPeers, OpenEdgesAndBoundaryLoopsEqualCGALsBorderCycles) {
    const int32_t n = 16, m = 12;
    const Ints torus = Torus(n, m);
    std::mt19937 random(21);
    int compared = 0;
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        // Holes of a few faces each, round random seeds, and single faces.
        std::set<int32_t> cut;
        const int holes = 1 + round % 5;
        for (int h = 0; h < holes; ++h) {
            const int32_t seed = static_cast<int32_t>(random() % (torus.size() / 3));
            const int32_t size = static_cast<int32_t>(random() % 7);
            for (int32_t k = 0; k <= size; ++k) cut.insert((seed + k) % static_cast<int32_t>(torus.size() / 3));
        }
        Ints tris;
        for (size_t f = 0; f < torus.size() / 3; ++f) {
            if (!cut.count(static_cast<int32_t>(f)))
                tris.insert(tris.end(), torus.begin() + 3 * f, torus.begin() + 3 * f + 3);
        }
        // Holes that touch at a vertex: the walk of the open edges goes on
        // through the faces round that vertex into the other hole, where
        // CGAL may pair the border edges either way. Only meshes whose
        // boundary vertices have one open edge out are compared.
        if (PinchedVertices(n * m, tris) > 0) continue;
        Border theirs;
        if (!Theirs(n * m, tris, &theirs)) continue;
        ++compared;
        const Border ours = Ours(n * m, tris);
        EXPECT_EQ(ours.open, theirs.open);
        EXPECT_EQ(ours.loops, theirs.loops);
    }
    EXPECT_GE(compared, 20);
}

}  // namespace
#endif

// The mesh check beside Open3D's own answers on the same meshes: the number
// of connected parts, edge manifoldness, and closedness (edge manifold with
// no boundary edge); the orientation repair beside admesh's count of
// backwards edges. Native only: Open3D runs in Debian's /usr/bin/python3.
#ifndef _WIN32
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "surface/fit/mesh_check.h"
#include "surface/fit/mesh_parts.h"
#include "surface/fit/mesh_operations.h"
#include "surface/frame/mesh3.h"

namespace {

struct Shape {
    std::vector<double> points;
    std::vector<int32_t> tris;
};

// A torus of n by m quads, each split in two triangles, from point `first`.
void AddTorus(Shape& s, int n, int m, double shift) {
    const int32_t first = static_cast<int32_t>(s.points.size() / 3);
    const double pi = std::acos(-1.0);
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < m; ++j) {
            const double u = 2 * pi * i / n, v = 2 * pi * j / m;
            s.points.insert(s.points.end(), {(1 + 0.4 * std::cos(v)) * std::cos(u) + shift,
                                             (1 + 0.4 * std::cos(v)) * std::sin(u), 0.4 * std::sin(v)});
        }
    }
    auto at = [&](int i, int j) { return first + (i % n) * m + (j % m); };
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < m; ++j) {
            s.tris.insert(s.tris.end(),
                          {at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j), at(i + 1, j + 1), at(i, j + 1)});
        }
    }
}

struct Answers {
    int parts = -1;
    bool manifold = false, closed = false;
};

Answers AskOpen3D(const Shape& s, const std::string& stem) {
    const std::string base = testing::TempDir() + stem + "-" + std::to_string(static_cast<long>(getpid()));
    const std::string ply = base + ".ply", out = base + ".txt";
    if (std::FILE* f = std::fopen(ply.c_str(), "w")) {
        std::fprintf(f,
                     "ply\nformat ascii 1.0\nelement vertex %zu\nproperty double x\nproperty double y\n"
                     "property double z\nelement face %zu\nproperty list uchar int vertex_indices\nend_header\n",
                     s.points.size() / 3, s.tris.size() / 3);
        for (size_t i = 0; i < s.points.size(); i += 3) {
            std::fprintf(f, "%.17g %.17g %.17g\n", s.points[i], s.points[i + 1], s.points[i + 2]);
        }
        for (size_t i = 0; i < s.tris.size(); i += 3)
            std::fprintf(f, "3 %d %d %d\n", s.tris[i], s.tris[i + 1], s.tris[i + 2]);
        std::fclose(f);
    }
    const std::string command =
        "/usr/bin/python3 -c \"import open3d as o3d, numpy as np\n"
        "m = o3d.io.read_triangle_mesh('" +
        ply +
        "')\n"
        "c = np.asarray(m.cluster_connected_triangles()[0])\n"
        "print(len(set(c.tolist())), int(m.is_edge_manifold(True)), int(m.is_edge_manifold(False)))\"" +
        " > " + out + " 2>/dev/null";
    Answers a;
    if (std::system(command.c_str()) == 0) {
        if (std::FILE* f = std::fopen(out.c_str(), "r")) {
            int manifold = 0, closed = 0;
            if (std::fscanf(f, "%d %d %d", &a.parts, &manifold, &closed) == 3) {
                a.manifold = manifold;
                a.closed = closed;
            }
            std::fclose(f);
        }
    }
    std::remove(ply.c_str());
    std::remove(out.c_str());
    return a;
}

TEST(MeshCheckPeers, PartsManifoldAndClosedAsOpen3DSeesThem) {
    Shape torus;
    AddTorus(torus, 24, 12, 0.0);
    Shape two = torus;
    AddTorus(two, 16, 8, 5.0);
    Shape holes = torus;
    holes.tris.erase(holes.tris.begin() + 30, holes.tris.begin() + 60);  // ten faces
    holes.tris.erase(holes.tris.begin() + 300, holes.tris.begin() + 306);
    Shape flipped = torus;
    std::mt19937 random(4);
    for (size_t f = 0; f < flipped.tris.size() / 3; ++f) {
        if (random() % 5 == 0) std::swap(flipped.tris[3 * f], flipped.tris[3 * f + 2]);
    }
    Shape fan = torus;  // a third face on one edge
    fan.points.insert(fan.points.end(), {0, 0, 3});
    fan.tris.insert(fan.tris.end(), {fan.tris[0], fan.tris[1], static_cast<int32_t>(fan.points.size() / 3 - 1)});
    Shape unused = torus;
    unused.points.insert(unused.points.end(), {9, 9, 9});
    const struct {
        const char* name;
        const Shape* shape;
        bool manifoldMesh;  // Open3D's clusters follow edges its own way where an edge has three faces
    } cases[] = {{"torus", &torus, true},           {"two parts", &two, true},
                 {"with holes", &holes, true},      {"faces flipped", &flipped, true},
                 {"non-manifold fan", &fan, false}, {"unused vertex", &unused, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Shape& s = *c.shape;
        Mesh3 mesh;
        ASSERT_EQ(
            Mesh3_Create(&mesh, static_cast<int32_t>(s.points.size() / 3), static_cast<int32_t>(s.tris.size() / 3), 0),
            0);
        std::copy(s.points.begin(), s.points.end(), mesh.Points.Location);
        std::copy(s.tris.begin(), s.tris.end(), mesh.Faces.Tri);
        mesh.Points.Count = static_cast<int32_t>(s.points.size() / 3);
        mesh.Faces.TriCount = static_cast<int32_t>(s.tris.size() / 3);
        MeshCheckInfo info;
        ASSERT_EQ(Selvane_CheckMesh3(&mesh, 0, &info, nullptr), 0);
        const Answers peer = AskOpen3D(s, "mesh_check_peers");
        ASSERT_GE(peer.parts, 1) << "Open3D did not answer";
        if (c.manifoldMesh) {
            EXPECT_EQ(info.PartCount, peer.parts);
        }
        EXPECT_EQ((info.Flags & kMeshManifold) != 0, peer.manifold);
        EXPECT_EQ((info.Flags & kMeshManifold) && (info.Flags & kMeshClosed), peer.closed);
        MeshCheckInfo_Free(&info);
        Mesh3_Free(&mesh);
    }
}

// A UV sphere of radius 1: poles plus rings x segments, outward faces.
Shape UvSphere(int rings, int segments) {
    Shape s;
    const double pi = std::acos(-1.0);
    s.points = {0, 0, 1, 0, 0, -1};
    for (int r = 0; r < rings; ++r) {
        const double theta = pi * (r + 1) / (rings + 1);
        for (int k = 0; k < segments; ++k) {
            const double phi = 2 * pi * k / segments;
            s.points.insert(s.points.end(),
                            {std::sin(theta) * std::cos(phi), std::sin(theta) * std::sin(phi), std::cos(theta)});
        }
    }
    auto at = [&](int r, int k) { return 2 + r * segments + k % segments; };
    for (int k = 0; k < segments; ++k) {
        s.tris.insert(s.tris.end(), {0, at(0, k), at(0, k + 1), 1, at(rings - 1, k + 1), at(rings - 1, k)});
        for (int r = 0; r + 1 < rings; ++r) {
            s.tris.insert(s.tris.end(),
                          {at(r, k), at(r + 1, k), at(r + 1, k + 1), at(r, k), at(r + 1, k + 1), at(r, k + 1)});
        }
    }
    return s;
}

double SignedVolume(const Shape& s) {
    double v = 0.0;
    for (size_t f = 0; f < s.tris.size(); f += 3) {
        const double* a = &s.points[3 * s.tris[f]];
        const double* b = &s.points[3 * s.tris[f + 1]];
        const double* c = &s.points[3 * s.tris[f + 2]];
        v += (a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) +
              a[2] * (b[0] * c[1] - b[1] * c[0])) /
             6.0;
    }
    return v;
}

// admesh's count of backwards edges (its exact check, nothing repaired), or
// -1 when it did not answer.
int BackwardsEdges(const Shape& s) {
    const std::string base = testing::TempDir() + "mesh_check_admesh-" + std::to_string(static_cast<long>(getpid()));
    const std::string stl = base + ".stl", out = base + ".txt";
    if (std::FILE* f = std::fopen(stl.c_str(), "w")) {
        std::fprintf(f, "solid s\n");
        for (size_t t = 0; t < s.tris.size(); t += 3) {
            std::fprintf(f, "facet normal 0 0 0\nouter loop\n");
            for (int k = 0; k < 3; ++k) {
                const double* p = &s.points[3 * s.tris[t + k]];
                std::fprintf(f, "vertex %.17g %.17g %.17g\n", p[0], p[1], p[2]);
            }
            std::fprintf(f, "endloop\nendfacet\n");
        }
        std::fprintf(f, "endsolid s\n");
        std::fclose(f);
    }
    int backwards = -1;
    const std::string command = "admesh -e " + stl + " 2>/dev/null | grep 'Backwards edges' > " + out;
    if (std::system(command.c_str()) == 0) {
        if (std::FILE* f = std::fopen(out.c_str(), "r")) {
            if (std::fscanf(f, " Backwards edges : %d", &backwards) != 1) backwards = -1;
            std::fclose(f);
        }
    }
    std::remove(stl.c_str());
    std::remove(out.c_str());
    return backwards;
}

TEST(MeshCheckPeers, MakeConsistentLeavesAdmeshNoBackwardsEdge) {
    const Shape sphere = UvSphere(14, 24);
    const double volume = SignedVolume(sphere);
    ASSERT_GT(volume, 0.0);
    ASSERT_EQ(BackwardsEdges(sphere), 0) << "admesh did not answer";
    std::mt19937 random(9);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        Shape s = sphere;
        // Under half of the faces turned round, so the larger share keeps
        // its orientation.
        size_t flipped = 0;
        for (size_t f = 0; f < s.tris.size() / 3; ++f) {
            if (random() % 100 < 20u + 10u * round) {
                std::swap(s.tris[3 * f], s.tris[3 * f + 2]);
                ++flipped;
            }
        }
        ASSERT_LT(2 * flipped, s.tris.size() / 3);
        EXPECT_GT(BackwardsEdges(s), 0);
        Mesh3 mesh;
        ASSERT_EQ(
            Mesh3_Create(&mesh, static_cast<int32_t>(s.points.size() / 3), static_cast<int32_t>(s.tris.size() / 3), 0),
            0);
        std::copy(s.points.begin(), s.points.end(), mesh.Points.Location);
        std::copy(s.tris.begin(), s.tris.end(), mesh.Faces.Tri);
        mesh.Points.Count = static_cast<int32_t>(s.points.size() / 3);
        mesh.Faces.TriCount = static_cast<int32_t>(s.tris.size() / 3);
        ASSERT_EQ(Selvane_MakeConsistentMesh3(&mesh, nullptr, nullptr, nullptr, nullptr), 0);
        std::copy(mesh.Faces.Tri, mesh.Faces.Tri + s.tris.size(), s.tris.begin());
        Mesh3_Free(&mesh);
        EXPECT_EQ(BackwardsEdges(s), 0);
        EXPECT_NEAR(SignedVolume(s), volume, 1e-12 * volume);
    }
}

}  // namespace
#endif

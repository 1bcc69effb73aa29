// Test support: topology and geometry of a polygon mesh (closed, edge- and
// vertex-manifold, consistently oriented, Euler characteristic, signed
// volume) and, natively, the same questions put to Open3D and admesh.
#ifndef SURFACE_EVAL_TESTS_MESH_CHECKS_H
#define SURFACE_EVAL_TESTS_MESH_CHECKS_H

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

struct TestMesh {
    std::vector<std::array<double, 3>> points;
    std::vector<std::vector<int32_t>> faces;
    std::vector<int32_t> boundary;

    // Faces as triangles (quads split along their first diagonal).
    std::vector<std::array<int32_t, 3>> Triangles() const {
        std::vector<std::array<int32_t, 3>> t;
        for (const auto& f : faces)
            for (size_t k = 1; k + 1 < f.size(); ++k) t.push_back({f[0], f[k], f[k + 1]});
        return t;
    }
};

struct Topology {
    bool closedAndOriented = true;  // every directed edge once, its reverse once
    bool edgeManifold = true;
    bool vertexManifold = true;
    int64_t boundaryEdges = 0;
    int64_t euler = 0;
    int64_t quads = 0, triangles = 0;
};

inline Topology CheckTopology(const TestMesh& m) {
    Topology t;
    std::map<std::pair<int32_t, int32_t>, int> directed;
    std::set<int32_t> used;
    for (const auto& f : m.faces) {
        (f.size() == 4 ? t.quads : t.triangles)++;
        for (size_t k = 0; k < f.size(); ++k) {
            directed[{f[k], f[(k + 1) % f.size()]}]++;
            used.insert(f[k]);
        }
    }
    std::map<std::pair<int32_t, int32_t>, int> undirected;
    for (const auto& [e, n] : directed) {
        if (n != 1 || directed.count({e.second, e.first}) != 1 || directed.at({e.second, e.first}) != 1)
            t.closedAndOriented = false;
        undirected[{std::min(e.first, e.second), std::max(e.first, e.second)}] += n;
    }
    for (const auto& [e, n] : undirected) {
        if (n > 2) t.edgeManifold = false;
        if (n == 1) ++t.boundaryEdges;
    }
    // Vertex manifold: the faces around a vertex are one fan (connected
    // through the edges at the vertex).
    std::map<int32_t, std::vector<std::pair<int32_t, int32_t>>> fans;
    for (const auto& f : m.faces)
        for (size_t k = 0; k < f.size(); ++k)
            fans[f[k]].push_back({f[(k + f.size() - 1) % f.size()], f[(k + 1) % f.size()]});
    for (const auto& [v, wedges] : fans) {
        std::map<int32_t, int32_t> parent;
        std::function<int32_t(int32_t)> find = [&](int32_t x) {
            if (!parent.count(x)) parent[x] = x;
            return parent[x] == x ? x : parent[x] = find(parent[x]);
        };
        for (const auto& [a, b] : wedges) parent[find(a)] = find(b);
        std::set<int32_t> roots;
        for (const auto& [a, b] : wedges) roots.insert(find(a));
        if (roots.size() != 1) t.vertexManifold = false;
    }
    t.euler = static_cast<int64_t>(used.size()) - static_cast<int64_t>(undirected.size()) +
              static_cast<int64_t>(m.faces.size());
    return t;
}

inline double SignedVolume(const TestMesh& m) {
    double v = 0.0;
    for (const auto& t : m.Triangles()) {
        const auto& a = m.points[t[0]];
        const auto& b = m.points[t[1]];
        const auto& c = m.points[t[2]];
        v += a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) +
             a[2] * (b[0] * c[1] - b[1] * c[0]);
    }
    return v / 6.0;
}

inline double LargestDistance(const TestMesh& m, const std::function<double(const double*)>& distance) {
    std::set<int32_t> used;
    for (const auto& f : m.faces) used.insert(f.begin(), f.end());
    double worst = 0.0;
    for (int32_t v : used) worst = std::max(worst, std::fabs(distance(m.points[v].data())));
    return worst;
}

#ifndef _WIN32
#include <unistd.h>

// What Open3D and admesh say of the mesh (written as PLY and binary STL).
struct PeerVerdict {
    bool ran = false;
    bool watertight = false, edgeManifold = false, vertexManifold = false;
    long backwardsEdges = -1;
    double volume = 0.0;
};

// The files carry the process number: test runs side by side (two work
// trees, a repeat) must not read or remove each other's meshes.
inline PeerVerdict AskPeers(const TestMesh& m, const std::string& stem, bool keep = false) {
    PeerVerdict verdict;
    const std::string base = stem + "-" + std::to_string(static_cast<long>(getpid()));
    const std::string ply = base + ".ply", stl = base + ".stl", out = base + ".txt";
    const auto tris = m.Triangles();
    if (std::FILE* f = std::fopen(ply.c_str(), "w")) {
        std::fprintf(f,
                     "ply\nformat ascii 1.0\nelement vertex %zu\nproperty double x\nproperty double y\n"
                     "property double z\nelement face %zu\nproperty list uchar int vertex_indices\nend_header\n",
                     m.points.size(), tris.size());
        for (const auto& p : m.points) std::fprintf(f, "%.17g %.17g %.17g\n", p[0], p[1], p[2]);
        for (const auto& t : tris) std::fprintf(f, "3 %d %d %d\n", t[0], t[1], t[2]);
        std::fclose(f);
    }
    if (std::FILE* f = std::fopen(stl.c_str(), "wb")) {
        char header[80] = "test mesh";
        std::fwrite(header, 1, 80, f);
        const uint32_t n = static_cast<uint32_t>(tris.size());
        std::fwrite(&n, 4, 1, f);
        for (const auto& t : tris) {
            float record[12] = {0, 0, 0};
            for (int c = 0; c < 3; ++c)
                for (int k = 0; k < 3; ++k) record[3 + 3 * c + k] = static_cast<float>(m.points[t[c]][k]);
            const uint16_t attribute = 0;
            std::fwrite(record, 4, 12, f);
            std::fwrite(&attribute, 2, 1, f);
        }
        std::fclose(f);
    }
    const std::string script =
        "import open3d as o3d\n"
        "m = o3d.io.read_triangle_mesh('" +
        ply +
        "')\n"
        "print(int(m.is_watertight()), int(m.is_edge_manifold()), int(m.is_vertex_manifold()))\n";
    const std::string command = "/usr/bin/python3 -c \"" + script + "\" > " + out + " 2>/dev/null && admesh " + stl +
                                " 2>/dev/null | grep -i 'backwards edges' >> " + out;
    if (std::system(command.c_str()) != 0) return verdict;
    if (std::FILE* f = std::fopen(out.c_str(), "r")) {
        int a = 0, b = 0, c = 0;
        char line[256];
        if (std::fscanf(f, "%d %d %d\n", &a, &b, &c) == 3) {
            verdict.watertight = a;
            verdict.edgeManifold = b;
            verdict.vertexManifold = c;
            if (std::fgets(line, sizeof line, f)) {
                const char* colon = std::strrchr(line, ':');
                if (colon) verdict.backwardsEdges = std::strtol(colon + 1, nullptr, 10);
                verdict.ran = true;
            }
        }
        std::fclose(f);
    }
    if (keep) return verdict;
    std::remove(ply.c_str());
    std::remove(stl.c_str());
    std::remove(out.c_str());
    return verdict;
}
#endif

#endif

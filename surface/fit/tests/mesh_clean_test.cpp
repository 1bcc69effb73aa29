#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "surface/fit/mesh_check.h"
#include "surface/fit/mesh_topology.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"
#include "surface/frame/tracked_records.h"

namespace {

using Ints = std::vector<int32_t>;

int32_t VertexCount(const Ints& a, const Ints& b = {}) {
    int32_t n = 0;
    for (int32_t v : a) n = std::max(n, v + 1);
    for (int32_t v : b) n = std::max(n, v + 1);
    return n;
}

struct Cleaned {
    int status;
    Ints triangleFlags;
    Ints quadFlags;
};

Cleaned Clean(const Ints& tris, const Ints& quads = {}, int32_t vertexCount = -1) {
    Cleaned c;
    c.triangleFlags.assign(tris.size() / 3, 7);
    c.quadFlags.assign(quads.size() / 4, 7);
    c.status = MeshTopology_Clean(
        vertexCount >= 0 ? vertexCount : VertexCount(tris, quads), nullptr, static_cast<int32_t>(tris.size() / 3),
        tris.data(), static_cast<int32_t>(quads.size() / 4), quads.data(), c.triangleFlags.data(), c.quadFlags.data());
    return c;
}

const Ints kTetra = {0, 2, 1, 0, 1, 3, 1, 2, 3, 2, 0, 3};

Ints Join(Ints a, const Ints& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(MeshClean, FlagsConflictingAndNonManifoldFacesAsATable) {
    const struct {
        const char* name;
        Ints tris;
        Ints quads;
        Ints triangleFlags;
        Ints quadFlags;
    } cases[] = {
        {"closed tetrahedron", kTetra, {}, {0, 0, 0, 0}, {}},
        {"two triangles on one edge", {0, 1, 2, 0, 2, 3}, {}, {0, 0}, {}},
        {"a quad and a triangle", {0, 3, 4}, {0, 1, 2, 3}, {0}, {0}},
        // The same directed edge 0 -> 1 twice: both faces, and the face
        // running it backwards, go.
        {"same direction twice", {0, 1, 2, 0, 1, 3}, {}, {1, 1}, {}},
        {"three on one edge", {0, 1, 2, 1, 0, 3, 0, 1, 4}, {}, {1, 1, 1}, {}},
        {"a doubled edge between a quad and a triangle", {0, 1, 4}, {0, 1, 2, 3}, {1}, {1}},
        // The same corners the other way round, glued back to back.
        {"pillow", {0, 1, 2, 1, 0, 2}, {}, {1, 1}, {}},
        {"pillow beside a kept triangle", {0, 1, 2, 1, 0, 2, 2, 1, 5}, {}, {1, 1, 0}, {}},
        // Two triangles meeting at one vertex only: two open fans there.
        {"bow tie", {0, 1, 2, 0, 3, 4}, {}, {1, 1}, {}},
        // A closed fan and an open one at vertex 0: the open one goes.
        {"tetrahedron with a triangle at one corner", Join(kTetra, {0, 5, 6}), {}, {0, 0, 0, 0, 1}, {}},
        {"no faces", {}, {}, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Cleaned r = Clean(c.tris, c.quads);
        EXPECT_EQ(r.status, CoreStatus_Success);
        EXPECT_EQ(r.triangleFlags, c.triangleFlags);
        EXPECT_EQ(r.quadFlags, c.quadFlags);
    }
}

TEST(MeshClean, RefusalsAndLimits) {
    const Ints tri = {0, 1, 2};
    int32_t flag = 7;
    EXPECT_EQ(MeshTopology_Clean(2, nullptr, 1, tri.data(), 0, nullptr, &flag, nullptr), CoreStatus_InvalidInput);
    EXPECT_EQ(MeshTopology_Clean(3, nullptr, 1, tri.data(), 0, nullptr, nullptr, nullptr), CoreStatus_InvalidInput);
    EXPECT_EQ(MeshTopology_CleanOf(nullptr, &flag, nullptr), CoreStatus_NullArgument);

    // A fan of 1000 triangles round vertex 0: a vertex list too long to clean.
    Ints fan;
    for (int32_t i = 1; i <= 1000; ++i) fan.insert(fan.end(), {0, i, i + 1});
    EXPECT_EQ(Clean(fan).status, CoreStatus_IndexOutOfRange);
    fan.resize(3 * 999);
    const Cleaned r = Clean(fan);
    EXPECT_EQ(r.status, CoreStatus_Success);
    EXPECT_EQ(std::count(r.triangleFlags.begin(), r.triangleFlags.end(), 1), 0);

    // The node pool, the vertex lists, the fan table, the vertices' index list.
    for (int n = 0; n <= 3; ++n) {
        Mem_FailAllocationsAfterForTesting(n);
        EXPECT_EQ(Clean(kTetra).status, CoreStatus_NoMemory) << n;
        Mem_FailAllocationsAfterForTesting(-1);
    }

    CoreMesh mesh{};
    ASSERT_EQ(InitBlockVector(3, 1, 0, &mesh), 0);
    std::copy(tri.begin(), tri.end(), mesh.triangles);
    mesh.pointCount = 3;
    mesh.triangleCount = 1;
    EXPECT_EQ(MeshTopology_CleanOf(&mesh, &flag, nullptr), CoreStatus_Success);
    EXPECT_EQ(flag, 0);
    FreeSpatialRecord(&mesh);
}

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

// The number of fans of faces round every vertex of a triangle list, found
// by joining the faces at each vertex that share an edge through it.
int32_t MostFans(const Ints& tris, int32_t vertexCount) {
    int32_t most = 0;
    for (int32_t v = 0; v < vertexCount; ++v) {
        std::vector<std::pair<int32_t, int32_t>> spokes;  // the other two corners of each face at v
        for (size_t f = 0; f < tris.size() / 3; ++f) {
            for (int k = 0; k < 3; ++k) {
                if (tris[3 * f + k] == v) spokes.push_back({tris[3 * f + (k + 1) % 3], tris[3 * f + (k + 2) % 3]});
            }
        }
        std::vector<int32_t> group(spokes.size());
        for (size_t i = 0; i < group.size(); ++i) group[i] = static_cast<int32_t>(i);
        std::function<int32_t(int32_t)> root = [&](int32_t i) { return group[i] == i ? i : group[i] = root(group[i]); };
        for (size_t i = 0; i < spokes.size(); ++i) {
            for (size_t j = 0; j < spokes.size(); ++j) {
                if (spokes[i].first == spokes[j].second) group[root(i)] = root(j);
            }
        }
        std::set<int32_t> roots;
        for (size_t i = 0; i < spokes.size(); ++i) roots.insert(root(i));
        most = std::max(most, static_cast<int32_t>(roots.size()));
    }
    return most;
}

TEST(MeshClean, DamagedToriComeOutManifold) {
    const int32_t n = 12, m = 10, vertices = n * m;
    const Ints torus = Torus(n, m);
    const Cleaned whole = Clean(torus);
    EXPECT_EQ(std::count(whole.triangleFlags.begin(), whole.triangleFlags.end(), 1), 0);
    std::mt19937 random(11);
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        Ints tris = torus;
        // Copies of faces (some turned round) and stray triangles over
        // nearby vertices, and a few faces cut out.
        for (int k = 0; k < 6; ++k) {
            const size_t f = random() % (torus.size() / 3);
            Ints face(torus.begin() + 3 * f, torus.begin() + 3 * f + 3);
            if (random() % 2) std::swap(face[0], face[1]);
            tris.insert(tris.end(), face.begin(), face.end());
            const int32_t a = static_cast<int32_t>(random() % vertices);
            tris.insert(tris.end(), {a, (a + 1) % vertices, (a + m + 1) % vertices});
        }
        for (int k = 0; k < 4; ++k) {
            const size_t f = random() % (tris.size() / 3);
            tris.erase(tris.begin() + 3 * f, tris.begin() + 3 * f + 3);
        }
        const Cleaned r = Clean(tris, {}, vertices);
        ASSERT_EQ(r.status, CoreStatus_Success);
        Ints kept;
        for (size_t f = 0; f < r.triangleFlags.size(); ++f) {
            if (!r.triangleFlags[f]) kept.insert(kept.end(), tris.begin() + 3 * f, tris.begin() + 3 * f + 3);
        }
        const int32_t count = static_cast<int32_t>(kept.size() / 3);
        EXPECT_GT(count, static_cast<int32_t>(torus.size() / 3) / 2);
        MeshTopology t;
        EXPECT_EQ(MeshTopology_Build(vertices, nullptr, count, kept.data(), 0, nullptr, &t, 1), 0);
        int32_t ends[2];
        EXPECT_EQ(Edges_FindTriples(&t, ends, 1), 0);
        MeshTopology_Free(&t);
        int32_t parts = 0, flags = 0, unused = 0;
        ASSERT_EQ(Mesh3_CheckEdges(vertices, count, kept.data(), 0, nullptr, &parts, nullptr, nullptr, nullptr, nullptr,
                                   &flags, &unused, nullptr),
                  0);
        EXPECT_TRUE(flags & 2) << "manifold";
        EXPECT_TRUE(flags & 1) << "consistent";
        EXPECT_LE(MostFans(kept, vertices), 1);
    }
}

}  // namespace

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <set>
#include <vector>

#include "surface/fit/mesh_check.h"
#include "surface/fit/mesh_parts.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"
#include "surface/frame/tracked_records.h"

namespace {

using Ints = std::vector<int32_t>;
using Face = std::vector<int32_t>;

// An n by n grid of points in z = offset, its squares as two triangles
// each (every third square left as a quad), numbered from `first`.
struct Grid {
    std::vector<double> points;
    Ints tris, quads;
};

void AddGrid(Grid& g, int32_t n, double offset) {
    const int32_t first = static_cast<int32_t>(g.points.size() / 3);
    for (int32_t i = 0; i < n * n; ++i) g.points.insert(g.points.end(), {double(i % n), double(i / n), offset});
    for (int32_t y = 0; y + 1 < n; ++y) {
        for (int32_t x = 0; x + 1 < n; ++x) {
            const int32_t a = first + y * n + x, b = a + 1, c = a + n + 1, d = a + n;
            if ((x + y) % 3 == 0) {
                g.quads.insert(g.quads.end(), {a, b, c, d});
            } else {
                g.tris.insert(g.tris.end(), {a, b, c, a, c, d});
            }
        }
    }
}

std::multiset<Face> FacesOf(const Ints& tris, const Ints& quads) {
    std::multiset<Face> faces;
    for (size_t i = 0; i < tris.size(); i += 3) faces.insert({tris.begin() + i, tris.begin() + i + 3});
    for (size_t i = 0; i < quads.size(); i += 4) faces.insert({quads.begin() + i, quads.begin() + i + 4});
    return faces;
}

// The faces of a part in the former numbering, and whether they hang
// together across shared edges.
std::multiset<Face> PartFaces(const CoreMesh& part, bool* connected) {
    std::vector<Face> faces;
    for (int32_t t = 0; t < part.triangleCount; ++t) {
        Face f;
        for (int k = 0; k < 3; ++k) f.push_back(part.sourceIndex[part.triangles[3 * t + k]]);
        faces.push_back(f);
    }
    for (int32_t q = 0; q < part.quadCount; ++q) {
        Face f;
        for (int k = 0; k < 4; ++k) f.push_back(part.sourceIndex[part.quads[4 * q + k]]);
        faces.push_back(f);
    }
    std::vector<int> parent(faces.size());
    for (size_t i = 0; i < parent.size(); ++i) parent[i] = static_cast<int>(i);
    std::function<int(int)> find = [&](int x) { return parent[x] == x ? x : parent[x] = find(parent[x]); };
    std::map<std::pair<int32_t, int32_t>, int> edgeFace;
    for (size_t i = 0; i < faces.size(); ++i) {
        for (size_t k = 0; k < faces[i].size(); ++k) {
            const int32_t a = faces[i][k], b = faces[i][(k + 1) % faces[i].size()];
            const auto key = std::make_pair(std::min(a, b), std::max(a, b));
            auto found = edgeFace.find(key);
            if (found == edgeFace.end()) {
                edgeFace[key] = static_cast<int>(i);
            } else {
                parent[find(static_cast<int>(i))] = find(found->second);
            }
        }
    }
    std::set<int> roots;
    for (size_t i = 0; i < faces.size(); ++i) roots.insert(find(static_cast<int>(i)));
    *connected = roots.size() <= 1;
    return {faces.begin(), faces.end()};
}

void FreeParts(CoreMesh* parts, int32_t count) {
    for (int32_t p = 0; p < count; ++p) FreeSpatialRecord(&parts[p]);
    Mem_Free(parts);
}

TEST(MeshSplit, PartsOfBoundedSizeCoverEveryFaceOnce) {
    Grid g;
    AddGrid(g, 12, 0.0);
    AddGrid(g, 4, 5.0);
    const int32_t vertices = static_cast<int32_t>(g.points.size() / 3);
    const int32_t tris = static_cast<int32_t>(g.tris.size() / 3), quads = static_cast<int32_t>(g.quads.size() / 4);
    const struct {
        const char* name;
        int32_t maxFaces;
        double fraction;
        int32_t parts;  // -1: not fixed
        int32_t largest;
    } cases[] = {
        // Without a maximum every connected part is one part (the queue once
        // had no room for any edge then).
        {"whole parts", 0, 0.2, 2, 1 << 30},
        {"negative maximum", -5, 0.2, 2, 1 << 30},
        {"bounded", 40, 0.25, -1, 40},
        {"bounded, no merging", 25, 0.0, -1, 25},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int32_t count = -1;
        CoreMesh* parts = nullptr;
        ASSERT_EQ(Mesh3_SplitParts(vertices, g.points.data(), nullptr, tris, g.tris.data(), quads, g.quads.data(),
                                   c.maxFaces, c.fraction, &count, &parts, nullptr),
                  0);
        if (c.parts >= 0) {
            EXPECT_EQ(count, c.parts);
        }
        std::multiset<Face> all;
        for (int32_t p = 0; p < count; ++p) {
            bool connected = false;
            const auto faces = PartFaces(parts[p], &connected);
            EXPECT_TRUE(connected) << p;
            EXPECT_LE(static_cast<int32_t>(faces.size()), c.largest) << p;
            all.insert(faces.begin(), faces.end());
            for (int32_t i = 0; i < parts[p].pointCount; ++i) {
                EXPECT_EQ(parts[p].points[3 * i], g.points[3 * parts[p].sourceIndex[i]]);
            }
        }
        EXPECT_EQ(all, FacesOf(g.tris, g.quads));
        if (c.maxFaces > 0) {
            EXPECT_GT(count, 3);
        }
        FreeParts(parts, count);
    }
}

TEST(MeshSplit, ExtractFacesRenumbersInTheOrderMet) {
    const std::vector<double> points = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 2, 0, 0, 2, 1, 0};
    const Ints tris = {0, 1, 2, 1, 4, 5}, quads = {1, 4, 5, 2, 0, 1, 2, 3};
    const Ints triFlags = {0, 1}, quadFlags = {0, 1};
    CoreMesh record;
    ASSERT_EQ(Mesh3_ExtractFaces(6, points.data(), points.data(), 2, tris.data(), 2, quads.data(), triFlags.data(),
                                 quadFlags.data(), &record),
              0);
    EXPECT_EQ(Ints(record.triangles, record.triangles + 3 * record.triangleCount), (Ints{0, 1, 2}));
    EXPECT_EQ(Ints(record.quads, record.quads + 4 * record.quadCount), (Ints{3, 0, 4, 5}));
    EXPECT_EQ(Ints(record.sourceIndex, record.sourceIndex + record.pointCount), (Ints{1, 4, 5, 0, 2, 3}));
    EXPECT_EQ(record.normals[3 * 1], 2.0);
    FreeSpatialRecord(&record);
}

TEST(MeshSplit, SecondCheckFormKeepsConflictingFacesInTheirPart) {
    // Faces 0 and 2 both run 0 -> 1; face 3 lies beyond face 2.
    const Ints tris = {0, 1, 2, 1, 0, 3, 0, 1, 4, 4, 1, 5};
    for (bool second : {false, true}) {
        SCOPED_TRACE(second ? "second form" : "first form");
        int32_t parts = 0, flags = 0, unused = 0;
        Ints labels(4), flips(4);
        const int status =
            (second ? Mesh3_CheckEdgesB : Mesh3_CheckEdges)(6, 4, tris.data(), 0, nullptr, &parts, labels.data(),
                                                            nullptr, flips.data(), nullptr, &flags, &unused, nullptr);
        ASSERT_EQ(status, 0);
        EXPECT_FALSE(flags & kMeshManifold);
        if (second) {
            EXPECT_EQ(labels, (Ints{1, 1, 1, 1}));  // the conflicting face took its part along
            EXPECT_EQ(parts, 1);
        } else {
            EXPECT_EQ(labels[2], -1);
            EXPECT_EQ(labels[3], 2);  // face 3 was left for a part of its own
            EXPECT_EQ(parts, 2);
        }
    }
}

TEST(MeshSplit, MakeConsistentOfACoreRecord) {
    CoreMesh mesh;
    ASSERT_EQ(InitBlockVector(4, 2, 0, &mesh), 0);
    const int32_t tris[] = {0, 1, 2, 0, 3, 2};
    std::copy(tris, tris + 6, mesh.triangles);
    mesh.pointCount = 4;
    mesh.triangleCount = 2;
    int32_t parts = 0, flags = 0;
    ASSERT_EQ(Mesh3_MakeConsistentOf(&mesh, &parts, &flags, nullptr, nullptr), 0);
    EXPECT_EQ(Ints(mesh.triangles, mesh.triangles + 6), (Ints{0, 1, 2, 2, 3, 0}));
    EXPECT_EQ(Mesh3_MakeConsistentOf(nullptr, &parts, &flags, nullptr, nullptr), CoreStatus_NullArgument);
    FreeSpatialRecord(&mesh);
}

}  // namespace

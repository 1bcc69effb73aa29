// The border flags of a mesh, their cache, and the projection that refuses
// the border.
#include <gtest/gtest.h>

#include <vector>

#include "app/scan/mesh_adjacency.h"
#include "app/scan/mesh_normals.h"

namespace {

struct Mesh {
    std::vector<Vec3> points;
    std::vector<int32_t> facets;
    std::vector<Vec3> normals;
    MeshBorderCache cache{};

    Mesh(std::vector<Vec3> p, std::vector<int32_t> f) : points(std::move(p)), facets(std::move(f)) {
        normals.resize(facets.size() / 3);
        Mesh_FacetNormals(Count(), points.data(), Facets(), facets.data(), 0, nullptr, normals.data(), nullptr, nullptr,
                          nullptr);
        Update(1.0);
    }
    ~Mesh() { CountedArray_Free(cache); }
    int32_t Count() const { return static_cast<int32_t>(points.size()); }
    int32_t Facets() const { return static_cast<int32_t>(facets.size() / 3); }
    void Update(double time) { MeshBorderCache_Update(cache, points.data(), facets.data(), Facets(), Count(), time); }
    bool Project(Vec3& p, float maxDistance = 1.0f) const {
        return Mesh_ProjectToSurface(points.data(), normals.data(), cache, p, facets.data(), Facets(), maxDistance);
    }
};

Mesh Cube() {
    std::vector<Vec3> p;
    for (int k = 0; k < 8; ++k) p.push_back(Vec3{float(k & 1), float((k >> 1) & 1), float((k >> 2) & 1)});
    return Mesh(p, {0, 2, 3, 0, 3, 1, 4, 5, 7, 4, 7, 6, 0, 1, 5, 0, 5, 4,
                    2, 6, 7, 2, 7, 3, 0, 4, 6, 0, 6, 2, 1, 3, 7, 1, 7, 5});
}

TEST(MeshAdjacency, ClosedCubeHasNoBorderAndAcceptsEdgesAndCorners) {
    Mesh cube = Cube();
    for (int v = 0; v < 8; ++v) EXPECT_TRUE(MeshBorderCache_IsInterior(cube.cache, v)) << v;
    struct Case {
        Vec3 from, onto;
    };
    const Case cases[] = {
        {{0.3f, 0.4f, 1.2f}, {0.3f, 0.4f, 1.0f}},  // above a face
        {{0.5f, 1.2f, 1.2f}, {0.5f, 1.0f, 1.0f}},  // beyond an edge
        {{1.2f, 1.2f, 1.2f}, {1.0f, 1.0f, 1.0f}},  // beyond a corner
    };
    for (const Case& c : cases) {
        Vec3 p = c.from;
        ASSERT_TRUE(cube.Project(p));
        EXPECT_NEAR(V3_Distance(p, c.onto), 0.0f, 1e-5f);
    }
    Vec3 far{0.5f, 0.5f, 3.0f};
    EXPECT_FALSE(cube.Project(far));
    EXPECT_EQ(far.z, 3.0f);
}

TEST(MeshAdjacency, SingleTriangleAcceptsItsInsideOnly) {
    Mesh t({{0, 0, 0}, {2, 0, 0}, {0, 2, 0}}, {0, 1, 2});
    for (int v = 0; v < 3; ++v) EXPECT_FALSE(MeshBorderCache_IsInterior(t.cache, v));
    struct Case {
        const char* name;
        Vec3 from;
        bool accepted;
    };
    const Case cases[] = {
        {"inside", {0.5f, 0.5f, 0.3f}, true},
        {"onto an edge", {1.0f, -0.3f, 0.2f}, false},
        {"onto the hypotenuse", {1.2f, 1.2f, 0.1f}, false},
        {"onto a corner", {-0.2f, -0.2f, 0.1f}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Vec3 p = c.from;
        EXPECT_EQ(t.Project(p), c.accepted);
        if (c.accepted)
            EXPECT_EQ(p.z, 0.0f);
        else
            EXPECT_EQ(p.z, c.from.z);
    }
}

TEST(MeshAdjacency, SharedEdgeOfTwoFacetsIsRefusedForItsBorderEnds) {
    Mesh two({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {0, 1, 2, 0, 2, 3});
    Vec3 onDiagonal{0.5f, 0.5f, 0.2f};
    EXPECT_FALSE(two.Project(onDiagonal));
    Vec3 inside{0.7f, 0.2f, 0.2f};
    EXPECT_TRUE(two.Project(inside));
    Mesh empty({}, {});
    Vec3 p{0, 0, 0};
    EXPECT_FALSE(empty.Project(p));
}

TEST(MeshAdjacency, FlagsFollowTheMeshNotOnlyItsTime) {
    // A fan of four triangles around vertex 4 (interior), then the same
    // arrays refilled with one triangle under the same time stamp.
    Mesh m({{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}, {1, 1, 0}}, {0, 1, 4, 1, 2, 4, 2, 3, 4, 3, 0, 4});
    EXPECT_TRUE(MeshBorderCache_IsInterior(m.cache, 4));
    EXPECT_FALSE(MeshBorderCache_IsInterior(m.cache, 0));
    // Same time, fewer facets and points: rebuilt, no reading past the flags.
    m.facets.resize(3);
    m.points.resize(3);
    m.points.shrink_to_fit();
    m.Update(1.0);
    EXPECT_EQ(m.cache.VertexCount, 3);
    EXPECT_FALSE(MeshBorderCache_IsInterior(m.cache, 4));
    // An older time on the same mesh keeps the cache; a newer one rebuilds.
    int32_t* flags = m.cache.BorderFlags;
    m.Update(0.5);
    EXPECT_EQ(m.cache.BorderFlags, flags);
    EXPECT_EQ(m.cache.Timestamp, 1.0);
    m.Update(2.0);
    EXPECT_EQ(m.cache.Timestamp, 2.0);
    // A loaded mesh with time 0 still gets flags.
    CountedArray_Free(m.cache);
    m.Update(0.0);
    ASSERT_NE(m.cache.BorderFlags, nullptr);
    EXPECT_FALSE(MeshBorderCache_IsInterior(m.cache, 0));
}

}  // namespace

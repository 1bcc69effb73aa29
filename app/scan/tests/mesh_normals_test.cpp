// Mesh normals and area, and the greyscale transfer between surfaces.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "app/scan/mesh_normals.h"
#include "app/scan/surf_greyscale.h"

namespace {

TEST(MeshNormals, UnitSquareQuadHasNormalAlongItsDiagonalsCrossAndAreaOne) {
    const Vec3 points[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    const int32_t quad[4] = {0, 1, 2, 3};
    Vec3 quadNormal, vertex[4];
    float area = 0.0f;
    Mesh_FacetNormals(4, points, 0, nullptr, 1, quad, nullptr, &quadNormal, &area, vertex);
    EXPECT_FLOAT_EQ(quadNormal.z, 1.0f);
    EXPECT_FLOAT_EQ(area, 1.0f);
    for (const Vec3& n : vertex) EXPECT_FLOAT_EQ(n.z, 1.0f);
}

// A closed cube of twelve outward triangles: the facet normals point out,
// every corner's normal into its own octant, and the vertex normals made from
// the facet normals agree.
TEST(MeshNormals, CubeCornersGetTheNormalisedSumOfTheirFacets) {
    std::vector<Vec3> p;
    for (int k = 0; k < 8; ++k) p.push_back(Vec3{float(k & 1), float((k >> 1) & 1), float((k >> 2) & 1)});
    // Outward triangles, two per face.
    const std::vector<int32_t> f = {0, 2, 3, 0, 3, 1, 4, 5, 7, 4, 7, 6, 0, 1, 5, 0, 5, 4,
                                    2, 6, 7, 2, 7, 3, 0, 4, 6, 0, 6, 2, 1, 3, 7, 1, 7, 5};
    const int32_t facets = static_cast<int32_t>(f.size() / 3);
    std::vector<Vec3> facetNormals(facets), vertex(8), again(8);
    float area = 0.0f;
    Mesh_FacetNormals(8, p.data(), facets, f.data(), 0, nullptr, facetNormals.data(), nullptr, &area, vertex.data());
    EXPECT_FLOAT_EQ(area, 6.0f);
    for (int32_t t = 0; t < facets; ++t) {
        const Vec3& a = p[f[3 * t]];
        const Vec3 outward{a.x - 0.5f, a.y - 0.5f, a.z - 0.5f};
        EXPECT_GT(V3_Dot(facetNormals[t], outward), 0.0f) << t;
        EXPECT_NEAR(V3_Length(facetNormals[t]), 1.0f, 1e-6f);
    }
    for (int k = 0; k < 8; ++k) {
        const Vec3 diagonal{p[k].x - 0.5f, p[k].y - 0.5f, p[k].z - 0.5f};
        // Every corner's normal points out of the cube, into its own octant.
        EXPECT_GT(vertex[k].x * diagonal.x, 0.0f) << k;
        EXPECT_GT(vertex[k].y * diagonal.y, 0.0f) << k;
        EXPECT_GT(vertex[k].z * diagonal.z, 0.0f) << k;
        EXPECT_NEAR(V3_Length(vertex[k]), 1.0f, 1e-6f);
    }
    Mesh_VertexNormals(again.data(), 8, facets, f.data(), facetNormals.data(), 0, nullptr, nullptr);
    for (int k = 0; k < 8; ++k) EXPECT_NEAR(V3_Distance(again[k], vertex[k]), 0.0f, 1e-6f);
}

TEST(MeshNormals, ZeroAreaFacetGetsTheZeroNormalAndSpoilsNoVertex) {
    const Vec3 points[4] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {2, 0, 0}};
    // Facet 1 repeats a corner: its cross product has length 0.
    const int32_t facets[6] = {0, 1, 2, 1, 1, 2};
    Vec3 facetNormals[2], vertex[4];
    float area = -1.0f;
    Mesh_FacetNormals(4, points, 2, facets, 0, nullptr, facetNormals, nullptr, &area, vertex);
    EXPECT_EQ(facetNormals[1].x, 0.0f);
    EXPECT_EQ(facetNormals[1].y, 0.0f);
    EXPECT_EQ(facetNormals[1].z, 0.0f);
    EXPECT_FLOAT_EQ(area, 0.5f);
    for (int k = 0; k < 3; ++k) EXPECT_FLOAT_EQ(vertex[k].z, 1.0f) << k;
    EXPECT_EQ(vertex[3].z, 0.0f);  // a point no facet uses stays zero
}

// ---- Greyscale transfer ---------------------------------------------------

struct Cloud {
    std::vector<Vec3> points, normals;
    std::vector<uint8_t> grey;
    SurfaceRecord Record() {
        SurfaceRecord s{};
        s.NumPoints = static_cast<int32_t>(points.size());
        s.Points = points.data();
        s.PointNormals = normals.data();
        s.Greyscale = grey.data();
        return s;
    }
};

TEST(GreyscaleTransfer, WeightsFollowTheNormalLineAndAgreeingNormals) {
    const float r = 2.0f;
    struct Case {
        const char* name;
        std::vector<Vec3> sources, normals;
        std::vector<uint8_t> grey;
        uint8_t expected;
    };
    const Vec3 up{0, 0, 1}, down{0, 0, -1};
    const float tilt = std::sqrt(0.5f);
    const Case cases[] = {
        {"on the normal line", {{0, 0, 1.5f}}, {up}, {40}, 40},
        {"one at the radius weighs nothing", {{0, 0, 1}, {r, 0, 0}}, {up, up}, {40, 200}, 40},
        {"lateral weight halves", {{0, 0, 0.1f}, {r * tilt, 0, 0}}, {up, up}, {0, 90}, 30},
        {"opposite normal: unset stays", {{0, 0, 0.5f}}, {down}, {40}, 255},
        {"beyond the radius: unset stays", {{0, 0, r * 1.01f}}, {up}, {40}, 255},
        {"tilted normal weighs its squared cosine", {{0, 0, 0}, {0, 0, 0.1f}}, {up, {tilt, 0, tilt}}, {0, 120}, 40},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Cloud target{{{0, 0, 0}}, {up}, {255}};
        Cloud source{c.sources, c.normals, c.grey};
        SurfaceRecord t = target.Record(), s = source.Record();
        EXPECT_EQ(Surf_TransferGreyscale(t, s, r, SurfProgress{}), 0);
        EXPECT_EQ(target.grey[0], c.expected);
    }
}

TEST(GreyscaleTransfer, ManyTargetsMatchBruteForceAndAStopThrows) {
    Cloud target, source;
    for (int i = 0; i < 40; ++i)
        for (int j = 0; j < 40; ++j) {
            target.points.push_back(Vec3{i * 0.5f, j * 0.5f, 0.0f});
            target.normals.push_back(Vec3{0, 0, 1});
            target.grey.push_back(255);
            source.points.push_back(Vec3{i * 0.5f + 0.2f, j * 0.5f + 0.1f, 0.05f});
            source.normals.push_back(Vec3{0, 0, 1});
            source.grey.push_back(static_cast<uint8_t>((i * 7 + j * 3) % 256));
        }
    SurfaceRecord t = target.Record(), s = source.Record();
    ASSERT_EQ(Surf_TransferGreyscale(t, s, 1.0f, SurfProgress{}), 0);
    for (std::size_t k = 0; k < target.points.size(); k += 37) {
        double sum = 0, total = 0;
        for (std::size_t m = 0; m < source.points.size(); ++m) {
            if (V3_DistanceSquared(source.points[m], target.points[k]) > 1.0f) continue;
            const float lateral = Line_DistanceSquared(source.points[m], target.points[k], target.normals[k]);
            const double w = 1.0 - lateral / 1.0;
            sum += w * source.grey[m], total += w;
        }
        EXPECT_EQ(target.grey[k], static_cast<uint8_t>(std::floor(sum / total + 0.5))) << k;
    }
    const SurfProgress stop{[](const char*, float, void*) { return 0; }, nullptr, "Transfering greyscale information"};
    EXPECT_THROW(Surf_TransferGreyscale(t, s, 1.0f, stop), SurfAbortError);
}

}  // namespace

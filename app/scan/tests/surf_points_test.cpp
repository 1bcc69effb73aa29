// The point stages against their definitions: smoothing equals the O(n^2)
// neighbourhood sum point by point (the split loses no neighbour), thinning
// makes clusters around seeds as defined, and the outlier cut.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <tuple>
#include <vector>

#include "app/scan/surf_points.h"

namespace {

struct Cloud {
    std::vector<Vec3> p, n;
    std::vector<float> w, res;
    std::vector<uint8_t> grey;
    void Add(Vec3 position, Vec3 normal, float weight = 1.0f, float resolution = 0.3f, uint8_t g = 100) {
        p.push_back(position), n.push_back(normal), w.push_back(weight), res.push_back(resolution), grey.push_back(g);
    }
    int32_t Count() const { return static_cast<int32_t>(p.size()); }
    SurfPointSet Set() {
        SurfPointSet s{};
        s.Count = Count();
        s.Positions = p.data(), s.Normals = n.data(), s.Weights = w.data(), s.Resolutions = res.data();
        s.Greyscale = grey.data();
        return s;
    }
};

struct OutPoint {
    Vec3 p, n;
    float w, res;
    uint8_t grey;
    bool operator<(const OutPoint& o) const {
        return std::tie(p.x, p.y, p.z, n.x, n.y, n.z) < std::tie(o.p.x, o.p.y, o.p.z, o.n.x, o.n.y, o.n.z);
    }
};

std::vector<OutPoint> Outputs(const SurfaceRecord& s) {
    std::vector<OutPoint> out;
    for (int32_t i = 0; i < s.NumPoints; ++i)
        out.push_back({s.Points[i], s.PointNormals[i], s.Weights[i], s.Resolutions[i], s.Greyscale[i]});
    std::sort(out.begin(), out.end());
    return out;
}

// The smoothing by its definition, every point against every other in index
// order (the order in which the split hands a leaf its neighbours).
std::vector<OutPoint> BruteSmooth(const Cloud& c, float r) {
    std::vector<OutPoint> out;
    const float tol = r * r;
    for (int32_t i = 0; i < c.Count(); ++i) {
        if (V3_LengthSquared(c.n[i]) == 0.0f) continue;
        double sp[3], sn[3], sres, sg, total;
        int32_t count = 1;
        double w = 1.0f / c.w[i];
        sp[0] = w * c.p[i].x, sp[1] = w * c.p[i].y, sp[2] = w * c.p[i].z;
        sn[0] = w * c.n[i].x, sn[1] = w * c.n[i].y, sn[2] = w * c.n[i].z;
        sres = w * c.res[i], sg = w * c.grey[i], total = w;
        for (int32_t j = 0; j < c.Count(); ++j) {
            if (j == i || V3_BeyondTolerance(c.p[j], c.p[i], tol)) continue;
            const float dot = V3_Dot(c.n[j], c.n[i]);
            if (!(dot > 0.0f)) continue;
            const float d = Line_DistanceSquared(c.p[j], c.p[i], c.n[i]);
            const double wj = (1.0f / c.w[j]) * (1.0f - d / tol) * (dot * dot);
            sp[0] += wj * c.p[j].x, sp[1] += wj * c.p[j].y, sp[2] += wj * c.p[j].z;
            sn[0] += wj * c.n[j].x, sn[1] += wj * c.n[j].y, sn[2] += wj * c.n[j].z;
            sres += wj * c.res[j], sg += wj * c.grey[j], total += wj, ++count;
        }
        OutPoint o;
        o.p = Vec3{float(sp[0] / total), float(sp[1] / total), float(sp[2] / total)};
        o.n = Vec3{float(sn[0]), float(sn[1]), float(sn[2])};
        V3_Normalise(o.n, o.n);
        o.w = float(count / total);
        o.res = float(sres / total);
        o.grey = static_cast<uint8_t>(std::floor(sg / total + 0.5));
        out.push_back(o);
    }
    std::sort(out.begin(), out.end());
    return out;
}

struct Surface {
    SurfaceRecord s{};
    ~Surface() { Surface_Free(s); }
};

Cloud RandomCloud(unsigned seed, int n, float extent) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-extent, extent), d(-1.0f, 1.0f);
    Cloud c;
    for (int k = 0; k < n; ++k) {
        Vec3 normal{d(rng), d(rng), d(rng)};
        V3_Normalise(normal, normal);
        if (k % 17 == 0) normal = Vec3{0, 0, 0};
        c.Add(Vec3{u(rng), u(rng), 0.3f * u(rng)}, normal, 0.5f + (k % 5) * 0.25f, 0.1f + (k % 7) * 0.05f,
              static_cast<uint8_t>(k * 37));
    }
    return c;
}

// Degenerate shapes: all at one place, on a line, on a plane, duplicates.
std::vector<Cloud> DegenerateClouds() {
    std::vector<Cloud> clouds(4);
    for (int k = 0; k < 60; ++k) {
        clouds[0].Add(Vec3{1, 2, 3}, Vec3{0, 0, k % 2 ? 1.0f : -1.0f});
        clouds[1].Add(Vec3{0.1f * k, 0, 0}, Vec3{0, 1, 0});
        clouds[2].Add(Vec3{0.3f * (k % 8), 0.3f * (k / 8), 0}, Vec3{0, 0, 1});
        clouds[3].Add(Vec3{0.5f * (k / 3), 0, 0}, Vec3{0, 0.6f, 0.8f});
    }
    return clouds;
}

TEST(SurfPointStages, SmoothingEqualsTheNeighbourhoodSumOfEveryPoint) {
    std::vector<Cloud> clouds = DegenerateClouds();
    for (unsigned seed = 1; seed <= 4; ++seed) clouds.push_back(RandomCloud(seed, 150 * seed, 6.0f));
    for (std::size_t k = 0; k < clouds.size(); ++k) {
        SCOPED_TRACE(k);
        Cloud& c = clouds[k];
        SurfArena arena;
        Surface out;
        const SurfPointSet set = c.Set();
        const int32_t result = Surf_Smooth(arena, set, 1.5f, out.s, SurfProgress{}, 0.0, 0.75);
        const std::vector<OutPoint> want = BruteSmooth(c, 1.5f);
        EXPECT_EQ(result, want.empty() ? 4 : 0);
        const std::vector<OutPoint> got = Outputs(out.s);
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(std::memcmp(&got[i].p, &want[i].p, sizeof(Vec3)), 0) << i;
            EXPECT_EQ(std::memcmp(&got[i].n, &want[i].n, sizeof(Vec3)), 0) << i;
            EXPECT_EQ(got[i].w, want[i].w) << i;
            EXPECT_EQ(got[i].res, want[i].res) << i;
            EXPECT_EQ(got[i].grey, want[i].grey) << i;
        }
    }
}

TEST(SurfPointStages, SmoothingBoundaries) {
    struct Case {
        const char* name;
        Vec3 otherAt, otherNormal;
        float weightTerm;  // of point 0's output: count / total weight
        float x;           // its x
    };
    const Case cases[] = {
        {"a neighbour at the radius counts with weight 0", {2, 0, 0}, {0, 0, 1}, 2.0f, 0.0f},
        {"just beyond it is not taken", {2.001f, 0, 0}, {0, 0, 1}, 1.0f, 0.0f},
        {"on the normal line with full weight", {0, 0, 1}, {0, 0, 1}, 1.0f, 0.0f},
        {"opposite normals at the same place", {0, 0, 0}, {0, 0, -1}, 1.0f, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Cloud cloud;
        cloud.Add(Vec3{0, 0, 0}, Vec3{0, 0, 1}, 1.0f, 0.3f, 101);
        cloud.Add(c.otherAt, c.otherNormal, 1.0f, 0.3f, 201);
        SurfArena arena;
        Surface out;
        ASSERT_EQ(Surf_Smooth(arena, cloud.Set(), 2.0f, out.s, SurfProgress{}, 0.0, 0.75), 0);
        ASSERT_EQ(out.s.NumPoints, 2);
        const int first = out.s.Greyscale[0] <= 151 ? 0 : 1;
        EXPECT_FLOAT_EQ(out.s.Weights[first], c.weightTerm);
        EXPECT_FLOAT_EQ(out.s.Points[first].x, c.x);
    }
    // A point without variance dominates its neighbour instead of turning
    // both outputs into NaN.
    {
        Cloud cloud;
        cloud.Add(Vec3{0, 0, 0}, Vec3{0, 0, 1}, 0.0f, 0.3f, 10);
        cloud.Add(Vec3{1, 0, 0}, Vec3{0, 0, 1}, 1.0f, 0.3f, 200);
        SurfArena arena;
        Surface out;
        ASSERT_EQ(Surf_Smooth(arena, cloud.Set(), 2.0f, out.s, SurfProgress{}, 0.0, 0.75), 0);
        for (int32_t i = 0; i < 2; ++i) {
            EXPECT_NEAR(out.s.Points[i].x, 0.0f, 1e-6f) << i;
            EXPECT_EQ(out.s.Greyscale[i], 10) << i;
            EXPECT_TRUE(std::isfinite(out.s.Weights[i])) << i;
        }
    }
    // A single point comes out as it went in, its weight term its own.
    Cloud one;
    one.Add(Vec3{1, 2, 3}, Vec3{0, 1, 0}, 0.4f, 0.2f, 77);
    SurfArena arena;
    Surface out;
    ASSERT_EQ(Surf_Smooth(arena, one.Set(), 2.0f, out.s, SurfProgress{}, 0.0, 0.75), 0);
    EXPECT_FLOAT_EQ(out.s.Points[0].y, 2.0f);
    EXPECT_FLOAT_EQ(out.s.Weights[0], 0.4f);
    EXPECT_EQ(out.s.Greyscale[0], 77);
}

// Copies a cloud into a surface record, as the smoothing leaves it.
void Fill(Surface& out, const Cloud& c) {
    Surface_ResizePoints(out.s, c.Count());
    out.s.NumPoints = c.Count();
    std::memcpy(out.s.Points, c.p.data(), sizeof(Vec3) * c.Count());
    std::memcpy(out.s.PointNormals, c.n.data(), sizeof(Vec3) * c.Count());
    std::memcpy(out.s.Weights, c.w.data(), sizeof(float) * c.Count());
    std::memcpy(out.s.Resolutions, c.res.data(), sizeof(float) * c.Count());
    std::memcpy(out.s.Greyscale, c.grey.data(), c.Count());
}

TEST(SurfPointStages, ThinningClustersMeetTheirDefinition) {
    std::vector<Cloud> clouds = DegenerateClouds();
    for (unsigned seed = 11; seed <= 14; ++seed) clouds.push_back(RandomCloud(seed, 200 * (seed - 10), 5.0f));
    const float r = 1.2f, t = r * r * 0.5f;
    for (std::size_t k = 0; k < clouds.size(); ++k) {
        SCOPED_TRACE(k);
        const Cloud& c = clouds[k];
        SurfArena arena;
        Surface out;
        Fill(out, c);
        std::vector<int32_t> seedOf(c.Count(), -1);
        Surf_Thin(arena, out.s, r, SurfProgress{}, 0.75, 0.25, seedOf.data());
        std::vector<int32_t> seeds;
        for (int32_t i = 0; i < c.Count(); ++i) {
            ASSERT_GE(seedOf[i], 0) << i;
            const int32_t s = seedOf[i];
            if (s == i) {
                seeds.push_back(i);
                continue;
            }
            EXPECT_EQ(seedOf[s], s) << "a seed is its own";
            EXPECT_LT(V3_DistanceSquared(c.p[i], c.p[s]), t) << i;
            EXPECT_GE(V3_Dot(c.n[i], c.n[s]), 0.0f) << i;
        }
        EXPECT_EQ(out.s.NumPoints, static_cast<int32_t>(seeds.size()));
        for (std::size_t a = 0; a < seeds.size(); ++a)
            for (std::size_t b = a + 1; b < seeds.size(); ++b) {
                const int32_t i = seeds[a], j = seeds[b];
                EXPECT_FALSE(V3_DistanceSquared(c.p[i], c.p[j]) < t && V3_Dot(c.n[i], c.n[j]) >= 0.0f)
                    << i << " and " << j;
            }
        for (int32_t o = 0; o < out.s.NumPoints; ++o) EXPECT_GE(out.s.Resolutions[o], t * 2.25f);
    }
}

TEST(SurfPointStages, ThinningBoundaries) {
    struct Case {
        const char* name;
        Vec3 otherAt, otherNormal;
        int32_t count;
    };
    // r = 2: the cluster radius r / sqrt(2) has square 2.
    const Case cases[] = {
        {"at r / sqrt(2) stays apart", {1, 1, 0}, {0, 0, 1}, 2},
        {"just inside merges", {1, 0.99f, 0}, {0, 0, 1}, 1},
        {"at right angles merges", {1, 0.5f, 0}, {1, 0, 0}, 1},
        {"opposite normals stay apart", {0, 0, 0}, {0, 0, -1}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Cloud cloud;
        cloud.Add(Vec3{0, 0, 0}, Vec3{0, 0, 1}, 1.0f, 0.3f, 10);
        cloud.Add(c.otherAt, c.otherNormal, 1.0f, 0.3f, 21);
        SurfArena arena;
        Surface out;
        Fill(out, cloud);
        Surf_Thin(arena, out.s, 2.0f, SurfProgress{}, 0.75, 0.25);
        ASSERT_EQ(out.s.NumPoints, c.count);
        if (c.count == 1) EXPECT_EQ(out.s.Greyscale[0], 16);  // 15.5 rounds up
    }
}

TEST(SurfPointStages, OutlierCutAt25TimesTheMean) {
    for (float outlier : {30.0f, 40.0f}) {
        Cloud c;
        for (int k = 0; k < 100; ++k) c.Add(Vec3{float(k), 0, 0}, Vec3{0, 0, 1}, 1.0f, 1.0f);
        c.Add(Vec3{0, 5, 0}, Vec3{0, 0, 1}, 1.0f, outlier);
        Surface out;
        Fill(out, c);
        Surf_CutOutliers(out.s);
        // Mean with the outlier: (100 + x) / 101; 25 times it is 31.2 for 30, 34.7 for 40.
        EXPECT_EQ(out.s.NumPoints, outlier < 31.0f ? 101 : 100);
        EXPECT_EQ(out.s.Resolutions[99], 1.0f);
    }
}

}  // namespace

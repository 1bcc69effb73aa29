#include "surface/search/point_sets.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cmath>
#include <set>
#include <tuple>
#include <vector>

#include "surface/frame/tracked_matrix.h"

namespace {

struct Rows {
    std::vector<double> flat;
    std::vector<double*> rows;
    Rows(int n, int d) : flat(n * d, -999.0), rows(n) {
        for (int i = 0; i < n; ++i) rows[i] = &flat[i * d];
    }
};

TEST(GridPoints, NodesRunXFastestFromMinimumToMaximum) {
    const int32_t sizes[3] = {3, 1, 2};
    const double lo[3] = {1, 5, -1}, hi[3] = {2, 9, 1};
    Rows out(6, 3);
    ASSERT_EQ(0, Grid_Points(3, sizes, lo, hi, out.rows.data()));
    const double want[6][3] = {{1, 5, -1}, {1.5, 5, -1}, {2, 5, -1}, {1, 5, 1}, {1.5, 5, 1}, {2, 5, 1}};
    for (int i = 0; i < 6; ++i)
        for (int k = 0; k < 3; ++k) EXPECT_EQ(want[i][k], out.rows[i][k]) << i << " " << k;

    // A size of 0 counts as 1 and gives the minimum; the unit grid runs 0..1.
    const int32_t flat[2] = {0, 3};
    Rows unit(3, 2);
    ASSERT_EQ(0, Grid_UnitPoints(2, flat, unit.rows.data()));
    EXPECT_EQ(0.0, unit.rows[2][0]);
    EXPECT_EQ(1.0, unit.rows[2][1]);
    EXPECT_EQ(0.5, unit.rows[1][1]);

    const double base[1] = {2.0}, step[1] = {0.5};
    const int32_t line[1] = {3};
    Rows spaced(3, 1);
    ASSERT_EQ(0, Grid_PointsFromSpacing(1, base, step, line, spaced.rows.data()));
    EXPECT_EQ(3.0, spaced.rows[2][0]);

    Rows untouched(6, 3);
    for (int32_t bad : {0, 4}) {
        EXPECT_EQ(7, Grid_Points(bad, sizes, lo, hi, untouched.rows.data()));
        EXPECT_EQ(7, Grid_PointsFromSpacing(bad, lo, hi, sizes, untouched.rows.data()));
    }
    EXPECT_EQ(-999.0, untouched.flat[0]);
}

TEST(CubeSurface, PointsAreTheDistinctSurfaceNodes) {
    EXPECT_EQ(8, CubeSurface_PointCount(2));
    EXPECT_EQ(26, CubeSurface_PointCount(3));
    // Counts beyond 32 bits are given whole, never wrapped.
    EXPECT_EQ(int64_t{65536} * 65534 * 6 + 8, CubeSurface_PointCount(65536));
    EXPECT_EQ(INT64_MAX, CubeSurface_PointCount(INT32_MAX));
    for (int32_t a : {2, 3, 5}) {
        const int32_t n = static_cast<int32_t>(CubeSurface_PointCount(a));
        EXPECT_EQ(a * a * a - (a - 2) * (a - 2) * (a - 2), n);
        Rows out(n, 3);
        const double lo[3] = {0, 0, 0}, hi[3] = {a - 1.0, 2.0 * (a - 1), 1.0 * (a - 1)};
        CubeSurface_Points(a, lo, hi, out.rows.data());
        std::set<std::tuple<double, double, double>> seen;
        for (int i = 0; i < n; ++i) {
            const double* p = out.rows[i];
            seen.insert({p[0], p[1], p[2]});
            bool onFace = false;
            for (int k = 0; k < 3; ++k) onFace = onFace || p[k] == lo[k] || p[k] == hi[k];
            EXPECT_TRUE(onFace);
        }
        EXPECT_EQ(static_cast<size_t>(n), seen.size());
    }
}

TEST(BoxEdgePoints, TwelveEdgesShareTheirCorners) {
    for (int32_t a : {2, 3, 6}) {
        const double lo[3] = {-1, 0, 2}, hi[3] = {1, 3, 4};
        int32_t count = -1;
        double** pts = nullptr;
        ASSERT_EQ(0, BoxEdge_Points(3, a, lo, hi, &count, &pts));
        ASSERT_EQ(12 * a - 16, count);
        std::set<std::tuple<double, double, double>> seen;
        for (int i = 0; i < count; ++i) {
            const double* p = pts[i];
            seen.insert({p[0], p[1], p[2]});
            int atEnds = 0;
            for (int k = 0; k < 3; ++k) atEnds += p[k] == lo[k] || p[k] == hi[k];
            EXPECT_GE(atEnds, 2);  // on an edge: two coordinates at an end of their range
        }
        EXPECT_EQ(static_cast<size_t>(count), seen.size());
        Mem_FreeMatrix(pts);
    }
    int32_t count = -1;
    double** pts = nullptr;
    const double lo[3] = {0, 0, 0};
    EXPECT_EQ(7, BoxEdge_Points(2, 3, lo, lo, &count, &pts));
    EXPECT_EQ(nullptr, pts);
}

TEST(SpherePoints, PolesAndEvenRingsLieOnTheSphere) {
    const double centre[3] = {1, 2, 3};
    for (auto [a, b] : {std::pair{2, 4}, std::pair{3, 1}, std::pair{7, 5}}) {
        int32_t count = -1;
        double** pts = nullptr;
        ASSERT_EQ(0, Sphere_Points(a, b, centre, 2.5, &count, &pts));
        ASSERT_EQ(2 * b * (a - 2) + 2, count);
        double zsum = 0;
        std::set<std::tuple<long, long, long>> seen;
        for (int i = 0; i < count; ++i) {
            const double dx = pts[i][0] - 1, dy = pts[i][1] - 2, dz = pts[i][2] - 3;
            EXPECT_NEAR(2.5, std::sqrt(dx * dx + dy * dy + dz * dz), 1e-12);
            zsum += dz;
            seen.insert({std::lround(dx * 1e6), std::lround(dy * 1e6), std::lround(dz * 1e6)});
        }
        EXPECT_NEAR(0.0, zsum, 1e-9);  // rings symmetric about the equator
        EXPECT_EQ(static_cast<size_t>(count), seen.size());
        Mem_FreeMatrix(pts);
    }
}

}  // namespace

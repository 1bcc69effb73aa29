#include "surface/fit/density_methods.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "surface/fit/density.h"
#include "surface/frame/point_list.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"

namespace {

constexpr double kPi = 3.14159265358979;

double Length(const double* p) { return std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]); }

// A lat-long sphere of radius 1: rings x segments points (no poles) and its
// outward triangles; normals are the unit positions.
struct Sphere {
    std::vector<double> xyz, normals;
    std::vector<int32_t> triangles;
    Sphere(int rings, int segments) {
        for (int r = 0; r < rings; ++r) {
            const double theta = kPi * (r + 0.5) / rings;
            for (int s = 0; s < segments; ++s) {
                const double phi = 2 * kPi * s / segments;
                const double p[3] = {std::sin(theta) * std::cos(phi), std::sin(theta) * std::sin(phi), std::cos(theta)};
                xyz.insert(xyz.end(), p, p + 3);
                normals.insert(normals.end(), p, p + 3);
            }
        }
        for (int r = 0; r + 1 < rings; ++r)
            for (int s = 0; s < segments; ++s) {
                const int a = r * segments + s, b = r * segments + (s + 1) % segments;
                const int c = a + segments, d = b + segments;
                triangles.insert(triangles.end(), {a, c, b, b, c, d});
            }
    }
    int32_t Count() const { return static_cast<int32_t>(xyz.size() / 3); }
};

// The caller's arrays as tracked blocks, freed at the end.
struct Arrays {
    DensityArrays a{};
    Arrays(const std::vector<double>& xyz, bool withEntries) {
        a.count = static_cast<int32_t>(xyz.size() / 3);
        a.locations = Mem_AllocDoubles(3 * a.count);
        std::memcpy(a.locations, xyz.data(), sizeof(double) * xyz.size());
        a.values = Mem_AllocDoubles(a.count);
        for (int32_t i = 0; i < a.count; ++i) a.values[i] = 7.0;
        if (withEntries) {
            a.entries = static_cast<int64_t*>(Mem_Alloc(sizeof(int64_t) * a.count));
            for (int32_t i = 0; i < a.count; ++i) a.entries[i] = 1000 + i;
        }
    }
    ~Arrays() {
        Mem_Free(a.locations);
        Mem_Free(a.values);
        Mem_Free(a.entries);
    }
};

DensityMethodArgs Args(int32_t method) {
    DensityMethodArgs args{};
    args.method = method;
    args.dimension = 3;
    args.distance = 0.2;
    args.maxIncrease = 1.0;
    return args;
}

double NearestDistance(const std::vector<double>& inputs, const double* p) {
    double best = INFINITY;
    for (std::size_t i = 0; i < inputs.size(); i += 3) {
        const double d[3] = {p[0] - inputs[i], p[1] - inputs[i + 1], p[2] - inputs[i + 2]};
        best = std::fmin(best, Length(d));
    }
    return best;
}

TEST(DensityMethodsTest, ProjectionAlongGivenNormalsMatchesTheOperation) {
    const Sphere s(12, 20);
    PointList3 list{};
    ASSERT_EQ(0, PointList3_Create(&list, s.Count(), 0, 0, 0, 0, 1));
    list.Count = s.Count();
    std::memcpy(list.Location, s.xyz.data(), sizeof(double) * s.xyz.size());
    std::memcpy(list.Gradient, s.normals.data(), sizeof(double) * s.normals.size());
    DensityAttributes at;
    SetDensityAttrDefaults(&at);
    ASSERT_EQ(0, Selvane_DensityFromNormals3(&list, -1, 0.2, 0.05, &at, nullptr));

    Arrays arrays(s.xyz, false);
    DensityMethodArgs args = Args(6);
    args.normals = s.normals.data();
    args.minimumLength = 0.05;
    ASSERT_EQ(0, Density_AddPointsByMethod(args, &arrays.a));
    ASSERT_EQ(list.Count, arrays.a.count);
    for (int32_t i = 0; i < list.Count; ++i) {
        EXPECT_EQ(list.Value[i], arrays.a.values[i]) << i;
        for (int k = 0; k < 3; ++k) EXPECT_EQ(list.Location[3 * i + k], arrays.a.locations[3 * i + k]) << i;
    }
    PointList3_Free(&list);
}

TEST(DensityMethodsTest, TriangleNormalsPutPositiveValuesOutside) {
    const Sphere s(12, 20);
    std::vector<int32_t> triangles = s.triangles;
    triangles.insert(triangles.end(), {0, 5, s.Count()});  // names no point: skipped
    Arrays arrays(s.xyz, true);
    DensityMethodArgs args = Args(7);
    args.triangleCount = static_cast<int32_t>(triangles.size() / 3);
    args.triangles = triangles.data();
    double progress = 0.25;
    args.progress = &progress;
    args.progressEnd = 0.75;
    ASSERT_EQ(0, Density_AddPointsByMethod(args, &arrays.a));
    EXPECT_GT(arrays.a.count, s.Count() + s.Count() / 2);
    EXPECT_NEAR(0.75, progress, 1e-9);
    for (int32_t i = 0; i < arrays.a.count; ++i) {
        const double r = Length(arrays.a.locations + 3 * i) - 1.0;
        if (i < s.Count()) {
            EXPECT_EQ(0.0, arrays.a.values[i]);
            EXPECT_EQ(1000 + i, arrays.a.entries[i]);
        } else {
            EXPECT_EQ(r > 0, arrays.a.values[i] > 0) << i;
            // A new point keeps the entry of the input it was moved from.
            const int64_t from = arrays.a.entries[i] - 1000;
            ASSERT_TRUE(from >= 0 && from < s.Count()) << i;
            const double* q = s.xyz.data() + 3 * from;
            const double* p = arrays.a.locations + 3 * i;
            const double d[3] = {p[0] - q[0], p[1] - q[1], p[2] - q[2]};
            EXPECT_NEAR(std::fabs(arrays.a.values[i]), Length(d), 1e-12) << i;
        }
    }
}

TEST(DensityMethodsTest, CubeSurfacePointsCarryTheirDistanceToTheData) {
    const Sphere s(6, 8);
    for (const int32_t perEdge : {1, 5}) {
        Arrays arrays(s.xyz, true);
        DensityMethodArgs args = Args(4);
        args.pointsPerEdge = perEdge;
        ASSERT_EQ(0, Density_AddPointsByMethod(args, &arrays.a));
        const int32_t a = perEdge <= 1 ? 4 : perEdge;
        ASSERT_EQ(s.Count() + a * (a - 2) * 6 + 8, arrays.a.count);
        double lo[3], hi[3];
        for (int k = 0; k < 3; ++k) {
            lo[k] = hi[k] = s.xyz[k];
            for (int32_t i = 1; i < s.Count(); ++i) {
                lo[k] = std::fmin(lo[k], s.xyz[3 * i + k]);
                hi[k] = std::fmax(hi[k], s.xyz[3 * i + k]);
            }
        }
        for (int32_t i = s.Count(); i < arrays.a.count; ++i) {
            const double* p = arrays.a.locations + 3 * i;
            EXPECT_NEAR(NearestDistance(s.xyz, p), arrays.a.values[i], 1e-12);
            EXPECT_EQ(0, arrays.a.entries[i]);
            bool onFace = false;
            for (int k = 0; k < 3; ++k) {
                const double widen = 0.01 * (hi[k] - lo[k]);
                onFace =
                    onFace || std::fabs(p[k] - (lo[k] - widen)) < 1e-12 || std::fabs(p[k] - (hi[k] + widen)) < 1e-12;
            }
            EXPECT_TRUE(onFace) << i;
        }
    }
}

TEST(DensityMethodsTest, PlaneGridsLieBelowAndAboveATiltedPatch) {
    // A wavy patch on a tilted plane, off the origin.
    std::vector<double> xyz;
    const double n[3] = {0.0, std::sin(0.4), std::cos(0.4)};
    const double u[3] = {1.0, 0.0, 0.0}, v[3] = {0.0, std::cos(0.4), -std::sin(0.4)};
    for (int i = 0; i < 15; ++i)
        for (int j = 0; j < 11; ++j) {
            const double h = 0.3 * std::sin(0.7 * i) * std::cos(0.5 * j);
            for (int k = 0; k < 3; ++k) xyz.push_back(40.0 + 2.0 * i * u[k] + 3.0 * j * v[k] + h * n[k]);
        }
    Arrays arrays(xyz, false);
    DensityMethodArgs args = Args(5);
    args.pointsPerEdge = 7;
    ASSERT_EQ(0, Density_AddPointsByMethod(args, &arrays.a));
    const int32_t inputs = static_cast<int32_t>(xyz.size() / 3);
    ASSERT_EQ(inputs + 2 * 49, arrays.a.count);
    const double* origin = xyz.data();
    for (int32_t i = inputs; i < arrays.a.count; ++i) {
        const double* p = arrays.a.locations + 3 * i;
        const double value = arrays.a.values[i];
        EXPECT_NEAR(NearestDistance(xyz, p), std::fabs(value), 1e-12);
        // Each grid lies on one side of the data: its sign says which.
        const double side = (p[0] - origin[0]) * n[0] + (p[1] - origin[1]) * n[1] + (p[2] - origin[2]) * n[2];
        const double expected = i < inputs + 49 ? 1.0 : -1.0;
        EXPECT_EQ(expected < 0, value < 0) << i;
        EXPECT_GT(std::fabs(side), 0.3) << i;
    }
    // The two grids are on opposite sides of the patch.
    const double* top = arrays.a.locations + 3 * inputs;
    const double* bottom = arrays.a.locations + 3 * (inputs + 49);
    const double sTop = (top[0] - origin[0]) * n[0] + (top[1] - origin[1]) * n[1] + (top[2] - origin[2]) * n[2];
    const double sBottom =
        (bottom[0] - origin[0]) * n[0] + (bottom[1] - origin[1]) * n[1] + (bottom[2] - origin[2]) * n[2];
    EXPECT_LT(sTop * sBottom, 0.0);
}

TEST(DensityMethodsTest, RefusalsLeaveTheArraysAsTheyWere) {
    const Sphere s(6, 8);
    std::vector<double> line;
    for (int i = 0; i < 10; ++i) line.insert(line.end(), {1.0 * i, 2.0 * i, 3.0});
    const int32_t abort = 1;
    struct Row {
        const char* what;
        DensityMethodArgs args;
        const std::vector<double>* points;
        int status;
    };
    DensityMethodArgs twoD = Args(4), unknown = Args(3), noTriangles = Args(7), noNormals = Args(6), aborted = Args(4),
                      collinear = Args(5), tooFine = Args(4);
    twoD.dimension = 2;
    tooFine.pointsPerEdge = 65536;  // 25.8 billion surface points
    aborted.abort = &abort;
    const Row rows[] = {
        {"dimension 2", twoD, &s.xyz, CoreStatus_InvalidInput},
        {"method 3", unknown, &s.xyz, CoreStatus_InvalidInput},
        {"method 7 without triangles", noTriangles, &s.xyz, CoreStatus_InvalidInput},
        {"method 6 without normals", noNormals, &s.xyz, CoreStatus_InvalidInput},
        {"abort before the start", aborted, &s.xyz, CoreStatus_UserAbort},
        {"points on a line give no plane", collinear, &line, 0},
        {"a cube surface beyond any memory", tooFine, &s.xyz, CoreStatus_NoMemory},
    };
    for (const Row& row : rows) {
        Arrays arrays(*row.points, true);
        const DensityArrays before = arrays.a;
        EXPECT_EQ(row.status, Density_AddPointsByMethod(row.args, &arrays.a)) << row.what;
        EXPECT_EQ(0, std::memcmp(&before, &arrays.a, sizeof before)) << row.what;
        EXPECT_EQ(7.0, arrays.a.values[0]) << row.what;
    }
}

}  // namespace

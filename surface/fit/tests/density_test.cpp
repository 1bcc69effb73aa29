#include "surface/fit/density.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "surface/frame/point_list.h"
#include "surface/frame/tests/capturing_reporter.h"
#include "surface/frame/tracked_memory.h"

namespace {

// n points on the unit sphere with their unit outward normals.
struct SpherePoints {
    PointList3 list{};
    explicit SpherePoints(int n) {
        PointList3_Create(&list, n, 0, 0, 0, 0, 1);
        list.Count = n;
        const double golden = 3.14159265358979 * (3.0 - std::sqrt(5.0));
        for (int i = 0; i < n; ++i) {
            const double z = 1.0 - 2.0 * (i + 0.5) / n, r = std::sqrt(1.0 - z * z);
            const double p[3] = {r * std::cos(golden * i), r * std::sin(golden * i), z};
            for (int k = 0; k < 3; ++k) list.Location[3 * i + k] = list.Gradient[3 * i + k] = p[k];
        }
    }
    ~SpherePoints() { PointList3_Free(&list); }
};

DensityAttributes Fixed() {
    DensityAttributes a;
    SetDensityAttrDefaults(&a);
    a.FixedLength = 1;
    return a;
}

double Radius(const double* p) { return std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]); }

TEST(DensityTest, DisplacedAndGridValuesAreSignedDistances) {
    SpherePoints s(400);
    DensityAttributes a = Fixed();
    a.GridPoints = 100;
    ASSERT_EQ(0, Selvane_DensityFromNormals3(&s.list, -1, 0.1, 0.0, &a, nullptr));
    ASSERT_GT(s.list.Count, 400);
    int displaced = 0, grid = 0;
    for (int i = 0; i < s.list.Count; ++i) {
        const double* p = s.list.Location + 3 * i;
        const double v = s.list.Value[i];
        const double truth = Radius(p) - 1.0;
        if (i < 400) {
            EXPECT_EQ(0.0, v);
        } else if (std::fabs(std::fabs(truth) - 0.1) < 1e-9) {
            ++displaced;
            EXPECT_NEAR(truth, v, 1e-12);
        } else {
            ++grid;
            EXPECT_NEAR(truth, v, 0.2);  // the sample spacing of 400 points on the sphere is about 0.18
            EXPECT_EQ(truth > 0, v > 0);
        }
        // New points carry their source's normal.
        EXPECT_NEAR(1.0, Radius(s.list.Gradient + 3 * i), 1e-12);
    }
    EXPECT_GT(displaced, 300);  // every second point, both sides
    EXPECT_GT(grid, 0);
}

TEST(DensityTest, FlippedNormalGivesNoDisplacedPoints) {
    SpherePoints s(200);
    for (int k = 0; k < 3; ++k) s.list.Gradient[3 * 10 + k] = -s.list.Gradient[3 * 10 + k];
    const double x[3] = {s.list.Location[30], s.list.Location[31], s.list.Location[32]};
    DensityAttributes a = Fixed();
    a.MaxIncrease = 2.0;  // every point gives candidates
    ASSERT_EQ(0, Selvane_DensityFromNormals3(&s.list, -1, 0.1, 0.0, &a, nullptr));
    for (int i = 200; i < s.list.Count; ++i) {
        const double* p = s.list.Location + 3 * i;
        const double d[3] = {p[0] - x[0], p[1] - x[1], p[2] - x[2]};
        EXPECT_GT(std::fabs(Radius(d) - 0.1), 1e-9) << i;
    }
}

TEST(DensityTest, AttributesAreChecked) {
    struct Case {
        const char* name;
        double maxIncrease, cone, gridDist;
        int grid;
        double length;
        int status;
        const char* text;
    } cases[] = {
        {"increase", -1.0, 20, 0.1, 0, 0.1, 7,
         "Maximum increase in number of points is -1.00, positive value expected."},
        {"cone zero", 1.0, 0, 0.1, 0, 0.1, 17, "Cone angle (0.00) must be between 0 and 90 degrees."},
        {"cone right", 1.0, 90, 0.1, 0, 0.1, 0, ""},
        {"grid distance", 1.0, 20, 0.5000001, 0, 0.1, 7, "Maximum distance to grid points (0.50) must be between"},
        {"grid half", 1.0, 20, 0.5, 10, 0.1, 0, ""},
        {"nothing", 0.0, 20, 0.1, 0, 0.1, 17, "Number of normal and grid off-surface points to add is zero."},
        {"length", 1.0, 20, 0.1, 0, 0.0, 7, "Maximum normal length argument must be positive."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SpherePoints s(50);
        DensityAttributes a = Fixed();
        a.MaxIncrease = c.maxIncrease;
        a.ConeAngle = c.cone;
        a.GridMaxDist = c.gridDist;
        a.GridPoints = c.grid;
        CapturingReporter r(6);
        EXPECT_EQ(c.status, Selvane_DensityFromNormals3(&s.list, -1, c.length, 0.0, &a, &r.reporter));
        bool said = false;
        for (const auto& line : r.lines) said = said || line.text.find(c.text) != std::string::npos;
        EXPECT_TRUE(said);
        if (c.status != 0) {
            EXPECT_EQ(50, s.list.Count);
        }
    }
    DensityAttributes d;
    EXPECT_EQ(&d, SetDensityAttrDefaults(&d));
    EXPECT_EQ(0, d.FixedLength);
    EXPECT_EQ(1.0, d.MaxIncrease);
    EXPECT_EQ(20.0, d.ConeAngle);
    EXPECT_EQ(0.1, d.GridMaxDist);
    EXPECT_EQ(nullptr, SetDensityAttrDefaults(nullptr));
}

TEST(DensityTest, GridIsSizedByOneDensityOverTheBox) {
    // f = (100 / volume)^(1/3), n = trunc(f e / 2) per axis: a thin box keeps
    // the density of its volume, so its thin axis gets no step and the others
    // more points; an axis without extent is left out of the volume.
    struct Case {
        double max[3];
        int32_t half[3];
        int32_t points;
    } cases[] = {
        {{1, 1, 1}, {2, 2, 2}, 125},      // f 4.64
        {{100, 100, 1}, {10, 10, 0}, 441},  // f 0.215
        {{1, 1, 0}, {5, 5, 0}, 121},      // f 10 over the area
        {{5, 0, 0}, {50, 0, 0}, 101},     // f 20 along the line
        {{0, 0, 0}, {0, 0, 0}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.max[0] << " " << c.max[1] << " " << c.max[2]);
        const double zero[3] = {0, 0, 0};
        DensityGrid g;
        double e[3];
        EXPECT_EQ(c.points, Density_BoxInit(100, zero, c.max, &g, e));
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(c.half[k], g.Half[k]);
            EXPECT_EQ(c.max[k], e[k]);
            if (c.points > 0) {
                EXPECT_DOUBLE_EQ(c.half[k] > 0 ? c.max[k] / (2 * c.half[k]) : 1.0, g.Step[k]);
            }
        }
    }
}

TEST(DensityTest, FixedLengthNeedsTheMainSetsNormals) {
    // A value set of its own with normals, the main set without: the fixed
    // length displaces along the main set's normals, so the list is refused.
    SpherePoints s(60);
    int32_t set = -1;
    ASSERT_EQ(0, PointList3_AddAltSet(&s.list, "scan", &set, 0, 0, 0, 0, 1));
    std::copy(s.list.Gradient, s.list.Gradient + 180, PointList3_GetGradient(&s.list, set));
    DensityAttributes a = Fixed();
    ASSERT_EQ(0, Selvane_DensityFromNormals3(&s.list, set, 0.1, 0.0, &a, nullptr));
    EXPECT_GT(s.list.Count, 60);
    EXPECT_NE(nullptr, PointList3_GetValue(&s.list, set));
    EXPECT_EQ(nullptr, s.list.Value);

    SpherePoints bare(60);
    ASSERT_EQ(0, PointList3_AddAltSet(&bare.list, "scan", &set, 0, 0, 0, 0, 1));
    std::copy(bare.list.Gradient, bare.list.Gradient + 180, PointList3_GetGradient(&bare.list, set));
    Mem_Free(bare.list.Gradient);
    bare.list.Gradient = nullptr;
    CapturingReporter r(6);
    EXPECT_EQ(4, Selvane_DensityFromNormals3(&bare.list, set, 0.1, 0.0, &a, &r.reporter));
    EXPECT_EQ(60, bare.list.Count);
    // The projection uses the chosen set's normals.
    a.FixedLength = 0;
    EXPECT_EQ(0, Selvane_DensityFromNormals3(&bare.list, set, 0.1, 0.0, &a, nullptr));
    EXPECT_GT(bare.list.Count, 60);
}

// The reporter whose progress the tracked allocator reads at every block it
// hands out: where an operation stands when it moves on to its next stage.
Reporter* g_watched = nullptr;
std::vector<double> g_progressAtAlloc;
void* WatchingAlloc(std::size_t bytes) {
    if (g_watched != nullptr) g_progressAtAlloc.push_back(g_watched->progress);
    return std::malloc(bytes);
}

TEST(DensityTest, ProjectionReportsItsProgressAndTheIncreaseAsAsked) {
    SpherePoints s(300);
    DensityAttributes a;
    SetDensityAttrDefaults(&a);
    a.OneSided = 1;
    a.MaxIncrease = 1.5;
    a.GridPoints = 50;
    CapturingReporter r(6);
    g_watched = &r.reporter;
    const MemBlockAllocator watching{WatchingAlloc, std::realloc, std::free};
    Mem_SetBlockAllocatorForTesting(&watching);
    const int status = Selvane_DensityFromNormals3(&s.list, -1, 0.4, 0.0, &a, &r.reporter);
    Mem_SetBlockAllocatorForTesting(nullptr);
    g_watched = nullptr;
    ASSERT_EQ(0, status);
    // The grid pass's first allocation comes after the projection walked all
    // 300 points with a normal, each a step of 1 / (300 + grid points) from 0.
    DensityGrid g;
    double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
    for (int i = 0; i < 300; ++i)
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], s.list.Location[3 * i + k]);
            hi[k] = std::max(hi[k], s.list.Location[3 * i + k]);
        }
    const int32_t m = Density_BoxInit(50, lo, hi, &g, nullptr);
    const double walked = 300.0 / (300 + m);
    EXPECT_TRUE(std::any_of(g_progressAtAlloc.begin(), g_progressAtAlloc.end(),
                            [&](double p) { return std::fabs(p - walked) < 1e-9; }));
    EXPECT_EQ(1.0, r.reporter.progress);
    // The one-sided cap of 1.0 belongs to the fixed-length method only.
    EXPECT_NE(r.lines.end(), std::find_if(r.lines.begin(), r.lines.end(), [](const CapturedLine& l) {
                  return l.text.find("Maximum point increase") == 0 && l.text.find("150%") != std::string::npos;
              }));
}

TEST(DensityTest, FailureLeavesTheListUnchanged) {
    SpherePoints s(100);
    const std::vector<double> before(s.list.Location, s.list.Location + 300);
    DensityAttributes a = Fixed();
    Mem_FailAllocationsAfterForTesting(0);
    const int status = Selvane_DensityFromNormals3(&s.list, -1, 0.1, 0.0, &a, nullptr);
    Mem_FailAllocationsAfterForTesting(-1);
    EXPECT_EQ(2, status);
    EXPECT_EQ(100, s.list.Count);
    EXPECT_EQ(nullptr, s.list.Value);
    EXPECT_EQ(before, std::vector<double>(s.list.Location, s.list.Location + 300));
}

TEST(DensityTest, ProjectionNeverLeavesAPointNearerAnotherInput) {
    SpherePoints s(300);
    DensityAttributes a;
    SetDensityAttrDefaults(&a);
    a.GridPoints = 50;
    CapturingReporter r(6);
    ASSERT_EQ(0, Selvane_DensityFromNormals3(&s.list, -1, 0.4, 0.02, &a, &r.reporter));
    int displaced = 0;
    for (int i = 300; i < s.list.Count; ++i) {
        const double* p = s.list.Location + 3 * i;
        const double v = s.list.Value[i];
        double nearest = 1e300;
        for (int j = 0; j < 300; ++j) {
            const double* q = s.list.Location + 3 * j;
            const double d[3] = {p[0] - q[0], p[1] - q[1], p[2] - q[2]};
            nearest = std::min(nearest, Radius(d));
        }
        EXPECT_EQ(v > 0, Radius(p) > 1.0);
        if (std::fabs(std::fabs(v) - nearest) < 1e-9) {
            ++displaced;
            EXPECT_GE(std::fabs(v), 0.02);
        }
        EXPECT_GE(nearest, std::fabs(v) * (1 - 1e-9) - 0.2) << i;  // grid points: within their cone's reach
    }
    EXPECT_GT(displaced, 250);
    // Minimum lengths are checked.
    SpherePoints t(20);
    EXPECT_EQ(7, Selvane_DensityFromNormals3(&t.list, -1, 0.4, -0.1, &a, nullptr));
    EXPECT_EQ(7, Selvane_DensityFromNormals3(&t.list, -1, 0.4, 0.4, &a, nullptr));
    EXPECT_EQ(20, t.list.Count);
}

}  // namespace

#include "surface/fit/spatial_division.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "surface/fit/spatial_sampling.h"
#include "surface/fit/tests/point_clouds.h"
#include "surface/frame/tracked_matrix.h"

namespace {

using Builder = int (*)(Cloud&, int32_t, SpatialPanel**, int32_t*, int32_t* const*, double*, const volatile int32_t*);

int Plain(Cloud& c, int32_t leaf, SpatialPanel** panels, int32_t* n, int32_t* const* lists, double* box,
          const volatile int32_t* cancel) {
    return SpatialDivision_Build(c.N(), c.Table(), c.d, leaf, panels, n, lists, box, 0, cancel);
}
int Gap(Cloud& c, int32_t leaf, SpatialPanel** panels, int32_t* n, int32_t* const* lists, double* box,
        const volatile int32_t* cancel) {
    return SpatialDivision_BuildLargestGap(c.N(), c.Table(), c.d, leaf, panels, n, lists, box, 0, cancel);
}

// A division with its lists, freed at the end of the test.
struct Division {
    Cloud& cloud;
    int32_t** lists;
    SpatialPanel* panels = nullptr;
    int32_t count = 0;
    double box[6] = {};
    int status;

    Division(Cloud& c, int32_t leaf, Builder build = Plain, const volatile int32_t* cancel = nullptr)
        : cloud(c), lists(Mem_AllocIntMatrix(c.d, c.N())) {
        status = build(c, leaf, &panels, &count, lists, box, cancel);
    }
    ~Division() {
        SpatialDivision_Free(panels, count);
        Mem_FreeIntMatrix(lists);
    }
    std::vector<int32_t> Sizes() const {
        std::vector<int32_t> s;
        for (int32_t i = 0; i < count; ++i) s.push_back(panels[i].end - panels[i].start);
        return s;
    }
    double X(int32_t p, int32_t k) const { return cloud.rows[p][k]; }

    // Every invariant of a finished division.
    void ExpectSound(int32_t leaf) const {
        const int32_t d = cloud.d, N = cloud.N();
        ASSERT_EQ(status, 0);
        ASSERT_GE(count, 1);
        int32_t next = 0;
        for (int32_t i = 0; i < count; ++i) {
            const SpatialPanel& p = panels[i];
            EXPECT_EQ(p.start, next);
            EXPECT_GT(p.end, p.start);
            EXPECT_LE(p.end - p.start, std::max(leaf, 2));
            next = p.end;
            std::vector<int32_t> first(lists[0] + p.start, lists[0] + p.end);
            std::sort(first.begin(), first.end());
            for (int32_t k = 0; k < d; ++k) {
                std::vector<int32_t> same(lists[k] + p.start, lists[k] + p.end);
                std::sort(same.begin(), same.end());
                EXPECT_EQ(same, first) << "axis " << k << " panel " << i;
                for (int32_t j = p.start; j < p.end; ++j) {
                    const double x = X(lists[k][j], k);
                    EXPECT_LE(p.box[k], x);
                    EXPECT_GE(p.box[d + k], x);
                    if (j > p.start) {
                        EXPECT_LE(X(lists[k][j - 1], k), x);
                    }
                }
            }
        }
        EXPECT_EQ(next, N);
        std::vector<int32_t> all(lists[0], lists[0] + N);
        std::sort(all.begin(), all.end());
        for (int32_t i = 0; i < N; ++i) ASSERT_EQ(all[i], i);
    }
};

struct InvariantCase {
    std::string what;
    Cloud cloud;
    int32_t leaf;
};

TEST(SpatialDivision, PanelsPartitionSortedListsAndBoxesContainPoints) {
    const std::vector<InvariantCase> cases = {
        {"2D uniform, leaf 70", UniformCloud(2, 5000, 1), 70},
        {"3D uniform, leaf 30", UniformCloud(3, 5000, 2), 30},
        {"3D shell, leaf 50", ShellCloud(3, 4000, 3), 50},
        {"2D annulus, leaf 4", ShellCloud(2, 100, 4), 4},
        {"3D, leaf 2", UniformCloud(3, 257, 5), 2},
        {"leaf below 2 counts as 2", UniformCloud(2, 33, 6), 1},
        {"2D, fewer points than half a leaf", UniformCloud(2, 20, 7), 70},
        {"3D, one point", UniformCloud(3, 1, 8), 30},
        {"all points on a plane", UniformCloud(3, 600, 9), 20},
    };
    for (InvariantCase c : cases) {
        SCOPED_TRACE(c.what);
        if (c.what == "all points on a plane")
            for (double* p : c.cloud.rows) p[2] = 0.5;
        TrackedScope memory;
        {
            Division division(c.cloud, c.leaf);
            division.ExpectSound(c.leaf);
            Division gap(c.cloud, c.leaf, Gap);
            gap.ExpectSound(c.leaf);
        }
        EXPECT_EQ(memory.Held(), 0u);
    }
}

TEST(SpatialDivision, OnePanelWhenEverythingFits) {
    Cloud c = UniformCloud(3, 30, 11, -2.0, 5.0);
    Division division(c, 30);
    ASSERT_EQ(division.status, 0);
    ASSERT_EQ(division.count, 1);
    for (int32_t k = 0; k < 3; ++k) {
        double lo = 1e9, hi = -1e9;
        for (double* p : c.rows) lo = std::min(lo, p[k]), hi = std::max(hi, p[k]);
        EXPECT_EQ(division.box[k], lo);
        EXPECT_EQ(division.box[3 + k], hi);
        EXPECT_EQ(division.panels[0].box[k], lo);
        EXPECT_EQ(division.panels[0].box[3 + k], hi);
    }
}

// Points along x with a spread in y small enough that every cut is along x.
Cloud Line(int32_t N) {
    Cloud c;
    c.d = 2;
    for (int32_t i = 0; i < N; ++i) c.Add({static_cast<double>(i), 0.001 * (i % 3)});
    return c;
}

TEST(SpatialDivision, CutRuleAvoidsAwkwardRemainders) {
    const struct {
        int32_t N;
        std::vector<int32_t> sizes;
    } cases[] = {
        {70, {23, 23, 24}},           // 2 to 3 leaves: a third in, then halves
        {100, {25, 25, 25, 25}},      // 3.33 leaves: halves
        {130, {21, 22, 29, 29, 29}},  // 4.33 leaves: a third (43) in, then 87 a third in
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.N);
        Cloud cloud = Line(c.N);
        Division division(cloud, 30);
        division.ExpectSound(30);
        EXPECT_EQ(division.Sizes(), c.sizes);
    }
}

TEST(SpatialDivision, EqualExtentsSplitAlongX) {
    Cloud grid;
    grid.d = 2;
    for (int i = 0; i < 10; ++i)
        for (int j = 0; j < 10; ++j) grid.Add({static_cast<double>(i), static_cast<double>(j)});
    Division division(grid, 50);
    ASSERT_EQ(division.count, 2);
    EXPECT_EQ(division.panels[0].box[2], division.panels[1].box[0]);  // shared x face
    EXPECT_EQ(division.panels[0].box[3], 9.0);                        // y untouched
    EXPECT_EQ(division.panels[1].box[1], 0.0);
}

TEST(SpatialDivision, WeightedChoosesTheScaledWidestAxis) {
    Cloud c = UniformCloud(2, 200, 12);
    for (double* p : c.rows) p[1] *= 0.5;
    const double scale[2] = {1.0, 10.0};
    int32_t** lists = Mem_AllocIntMatrix(2, c.N());
    SpatialPanel* panels = nullptr;
    int32_t count = 0;
    double box[4];
    ASSERT_EQ(SpatialDivision_BuildWeighted(c.N(), c.Table(), 2, 150, scale, &panels, &count, lists, box, 0, nullptr),
              0);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(panels[0].box[3], panels[1].box[1]);  // cut across y
    EXPECT_EQ(panels[0].box[0], box[0]);
    EXPECT_EQ(panels[0].box[2], box[2]);
    SpatialDivision_Free(panels, count);
    Mem_FreeIntMatrix(lists);
}

TEST(SpatialDivision, LargestGapCutsBetweenClustersWithAMidwayFace) {
    Cloud c;
    c.d = 2;
    for (int i = 0; i < 40; ++i) c.Add({0.01 * i, 0.0});
    for (int i = 0; i < 60; ++i) c.Add({5.0 + 0.01 * i, 0.01});
    Division division(c, 10, Gap);
    division.ExpectSound(10);
    double face = -1.0;
    for (int32_t i = 0; i + 1 < division.count; ++i)
        if (division.panels[i].end == 40) face = division.panels[i].box[2];
    EXPECT_DOUBLE_EQ(face, 0.5 * (0.39 + 5.0));
}

TEST(SpatialDivision, GivenRootBoxAndFlatForm) {
    Cloud c = UniformCloud(3, 300, 13);
    double given[6] = {-1, -1, -1, 2, 2, 2};
    int32_t** lists = Mem_AllocIntMatrix(3, c.N());
    std::vector<int32_t> first(c.N());
    SpatialPanel *a = nullptr, *b = nullptr;
    int32_t na = 0, nb = 0;
    ASSERT_EQ(SpatialDivision_Build(c.N(), c.Table(), 3, 40, &a, &na, lists, given, 1, nullptr), 0);
    EXPECT_EQ(given[0], -1.0);
    EXPECT_EQ(given[5], 2.0);
    double box[6];
    ASSERT_EQ(SpatialDivision_BuildFlat(c.N(), c.Table(), 3, 40, &b, &nb, first.data(), box, 0, nullptr), 0);
    ASSERT_EQ(na, nb);
    EXPECT_EQ(std::vector<int32_t>(lists[0], lists[0] + c.N()), first);
    SpatialDivision_Free(a, na);
    SpatialDivision_Free(b, nb);
    Mem_FreeIntMatrix(lists);
}

TEST(SpatialDivision, CancelAndOutOfMemoryFreeEverything) {
    Cloud c = UniformCloud(3, 400, 14);
    {
        TrackedScope memory;
        volatile int32_t cancel = 1;
        {
            Division division(c, 10, Plain, &cancel);
            EXPECT_EQ(division.status, 10);
            EXPECT_EQ(division.panels, nullptr);
        }
        EXPECT_EQ(memory.Held(), 0u);
    }
    int failures = 0;
    bool succeeded = false;
    for (int32_t allowed = 0; !succeeded && allowed < 100000; ++allowed) {
        TrackedScope memory;
        int32_t** lists = Mem_AllocIntMatrix(3, c.N());
        SpatialPanel* panels = nullptr;
        int32_t count = 0;
        double box[6];
        Mem_FailAllocationsAfterForTesting(allowed);
        const int status = SpatialDivision_Build(c.N(), c.Table(), 3, 10, &panels, &count, lists, box, 0, nullptr);
        Mem_FailAllocationsAfterForTesting(-1);
        SpatialDivision_Free(panels, count);
        Mem_FreeIntMatrix(lists);
        EXPECT_EQ(memory.Held(), 0u) << allowed;
        succeeded = status == 0;
        if (succeeded) break;
        EXPECT_EQ(status, 2);
        EXPECT_EQ(panels, nullptr);
        ++failures;
    }
    EXPECT_TRUE(succeeded);
    EXPECT_GT(failures, 3);
}

TEST(SpatialDivision, RefusesBadArguments) {
    Cloud c = UniformCloud(2, 10, 15);
    int32_t** lists = Mem_AllocIntMatrix(2, 10);
    SpatialPanel* panels = nullptr;
    int32_t count = 0;
    double box[4];
    EXPECT_EQ(SpatialDivision_Build(0, c.Table(), 2, 5, &panels, &count, lists, box, 0, nullptr), 5);
    EXPECT_EQ(SpatialDivision_Build(10, nullptr, 2, 5, &panels, &count, lists, box, 0, nullptr), 23);
    EXPECT_EQ(SpatialDivision_Build(10, c.Table(), 2, 5, &panels, &count, nullptr, box, 0, nullptr), 23);
    Mem_FreeIntMatrix(lists);
    SpatialDivision_Free(nullptr, 3);
}

// ---- Sampling ----

// The leaf of every point in a division with leaf size `leaf`.
std::vector<int32_t> LeafOf(Cloud& c, int32_t leaf) {
    Division division(c, leaf);
    std::vector<int32_t> label(c.N());
    for (int32_t i = 0; i < division.count; ++i)
        for (int32_t j = division.panels[i].start; j < division.panels[i].end; ++j) label[division.lists[0][j]] = i;
    return label;
}

TEST(SpatialSampling, LeavesAndPickTakeSpreadPositions) {
    Cloud c = UniformCloud(2, 103, 21);
    std::vector<int32_t> out(103, -1);
    ASSERT_EQ(SpatialDivision_Leaves(c.N(), c.Table(), 2, 10, out.data()), 0);
    Division division(c, 10);
    for (int32_t k = 0; k < 10; ++k) EXPECT_EQ(out[k], division.lists[0][k * 10]);
    EXPECT_EQ(out[10], -1);
    EXPECT_EQ(SpatialDivision_Leaves(c.N(), c.Table(), 2, 1, out.data()), 5);

    ASSERT_EQ(SpatialDivision_Pick(c.N(), c.Table(), 2, 7, out.data()), 0);
    Division pairs(c, 2);
    for (int32_t i = 0; i < 7; ++i) EXPECT_EQ(out[i], pairs.lists[0][i * 103 / 7]);
    EXPECT_EQ(SpatialDivision_Pick(c.N(), c.Table(), 2, 104, out.data()), 5);
    EXPECT_EQ(SpatialDivision_Pick(c.N(), c.Table(), 2, -1, out.data()), 5);
    EXPECT_EQ(SpatialDivision_Pick(c.N(), nullptr, 2, 3, out.data()), 23);
}

TEST(SpatialSampling, SampleTakesTheLargestValueOfEachCell) {
    Cloud c = UniformCloud(3, 500, 22);
    std::vector<double> values(500);
    for (int32_t i = 0; i < 500; ++i) values[i] = (i % 2 ? -1.0 : 1.0) * i;  // |value| = index
    std::vector<int32_t> out(500);
    int32_t taken = 0;
    ASSERT_EQ(SpatialDivision_Sample(c.N(), c.Table(), values.data(), 3, 20, out.data(), &taken), 0);
    ASSERT_EQ(taken, 25);
    EXPECT_EQ(out[0], 499);
    const std::vector<int32_t> leaf = LeafOf(c, 20);
    std::vector<int32_t> seen;
    for (int32_t i = 0; i < taken; ++i) {
        EXPECT_EQ(std::count(seen.begin(), seen.end(), leaf[out[i]]), 0);
        seen.push_back(leaf[out[i]]);
        for (int32_t p = out[i] + 1; p < 500; ++p)  // the largest of its cell
            EXPECT_NE(leaf[p], leaf[out[i]]);
    }
    EXPECT_EQ(SpatialDivision_Sample(c.N(), c.Table(), values.data(), 3, 1, out.data(), &taken), 5);
}

TEST(SpatialSampling, SpreadSamplingAndCandidateSubsets) {
    Cloud c = UniformCloud(2, 400, 23);
    std::vector<double> values(400);
    for (int32_t i = 0; i < 400; ++i) values[i] = i;
    std::vector<int32_t> out(400, -1);
    ASSERT_EQ(SpatialDivision_Sample23(c.N(), 2, c.Table(), values.data(), 40, out.data()), 0);
    std::vector<int32_t> taken(out.begin(), out.begin() + 40);
    std::sort(taken.begin(), taken.end());
    EXPECT_EQ(std::unique(taken.begin(), taken.end()), taken.end());
    EXPECT_EQ(SpatialDivision_Sample23(c.N(), 4, c.Table(), values.data(), 40, out.data()), 5);
    EXPECT_EQ(SpatialDivision_Sample23(30, 2, c.Table(), values.data(), 40, out.data()), 5);

    std::vector<int32_t> candidates;
    for (int32_t i = 0; i < 400; i += 2) candidates.push_back(i);
    ASSERT_EQ(SpatialDivision_Subsets(c.N(), 2, c.Table(), 200, candidates.data(), 20, out.data()), 0);
    EXPECT_EQ(out[0], 398);  // walked from the end
    for (int32_t i = 0; i < 20; ++i) EXPECT_EQ(out[i] % 2, 0);
    EXPECT_EQ(SpatialDivision_Subsets(c.N(), 2, c.Table(), 10, candidates.data(), 20, out.data()), 5);
    EXPECT_EQ(SpatialDivision_Subsets(c.N(), 2, nullptr, 200, candidates.data(), 20, out.data()), 23);
    EXPECT_EQ(SpatialDivision_Subsets(c.N(), 2, c.Table(), 200, nullptr, 20, out.data()), 23);
}

}  // namespace

namespace {

TEST(SpatialDivision, DumpListsPanelsWithBoxesAndPoints) {
    Cloud c;
    c.d = 2;
    c.Add({0.0, 0.0});
    c.Add({1.0, 2.0});
    c.Add({3.0, 1.0});
    Division division(c, 2);
    ASSERT_EQ(division.count, 2);
    testing::internal::CaptureStdout();
    SpatialDivision_Dump(division.panels, division.count, division.lists, c.Table(), 2);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("\nThis is node 1\nThe bounding box is:\nmin  = \t0.000   0.000   "
                        "\nmax  =\t1.000   2.000   \nThis panel contains 1 points...\n 0\t0.000   0.000   \n",
                        0),
              0u)
        << out;
    EXPECT_NE(out.find("\nThis is node 2"), std::string::npos);
}

}  // namespace

#include "surface/io/grid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "surface/frame/point_list.h"
#include "surface/frame/record_memory.h"
#include "surface/frame/tests/capturing_reporter.h"

// The grids here ask for more memory than exists: let the sanitizer's
// allocator say no instead of stopping the program.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1:max_allocation_size_mb=1024"; }

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(GridTest, ResolveSpecWorksOutTheMissingVectorPerAxis) {
    struct Case {
        const char* what;
        bool spacing, size, minimum, maximum;
        double sp[2];
        int32_t sz[2];
        double mn[2], mx[2];
        double wantSpacing[2];
        int32_t wantSize[2];
        double wantMin[2], wantMax[2];
    } cases[] = {
        {"spacing from size", false, true, true, true, {}, {1, 5}, {0, 0}, {1, 2}, {1.0, 0.5}, {1, 5}, {0, 0}, {1, 2}},
        {"size from spacing, max recomputed",
         true,
         false,
         true,
         true,
         {0.3, 1},
         {},
         {0, 0},
         {1, 2},
         {0.3, 1},
         {4, 3},
         {0, 0},
         {0.3 * 3, 2}},
        {"min from max", true, true, false, true, {0.5, 2}, {3, 2}, {}, {1, 1}, {0.5, 2}, {3, 2}, {0, -1}, {1, 1}},
        {"max from min", true, true, true, false, {0.5, 2}, {3, 2}, {1, 1}, {}, {0.5, 2}, {3, 2}, {1, 1}, {2, 3}},
        {"a size beyond the int range is capped",
         true,
         false,
         true,
         true,
         {1e-300, 1},
         {},
         {0, 0},
         {1, 1},
         {1e-300, 1},
         {2147483647, 2},
         {0, 0},
         {2147483646e-300, 1}},
    };
    for (const Case& c : cases) {
        Grid2 grid{};
        ASSERT_EQ(0, Grid2_ResolveSpec(c.spacing ? c.sp : nullptr, c.size ? c.sz : nullptr, c.minimum ? c.mn : nullptr,
                                       c.maximum ? c.mx : nullptr, &grid, nullptr))
            << c.what;
        for (int k = 0; k < 2; ++k) {
            EXPECT_DOUBLE_EQ(c.wantSpacing[k], grid.Spacing[k]) << c.what;
            EXPECT_EQ(c.wantSize[k], grid.Size[k]) << c.what;
            EXPECT_DOUBLE_EQ(c.wantMin[k], grid.Min[k]) << c.what;
            EXPECT_DOUBLE_EQ(c.wantMax[k], grid.Max[k]) << c.what;
        }
    }
}

TEST(GridTest, ResolveSpecRefusals) {
    const double sp[3] = {1, 1, 1}, zeroSpacing[3] = {1, 0, 1}, mn[3] = {0, 0, 0}, mx[3] = {1, 1, 1};
    const double backwards[3] = {1, 1, 1}, low[3] = {0, 0, 0}, infinite[3] = {0, kInf, 0};
    const int32_t sz[3] = {2, 2, 2}, zero[3] = {2, 0, 2};
    struct Case {
        const double* spacing;
        const int32_t* size;
        const double *minimum, *maximum;
        int status;
        const char* message;
    } cases[] = {
        {sp, sz, mn, mx, 9, "Grid over-specified. Specify only 3 of Spacing, Size, Min and Max."},
        {nullptr, sz, nullptr, mx, 9, "More than one of the grid's arguments missing."},
        {nullptr, zero, mn, mx, 8, "Invalid grid size (value less than 1)."},
        {sp, nullptr, backwards, low, 8, "Negative grid size calculated. Check Min, Max and Spacing Values.\n"},
        {zeroSpacing, nullptr, mn, mx, 8, "Negative grid size calculated. Check Min, Max and Spacing Values.\n"},
        {zeroSpacing, nullptr, mn, mn, 8, "Negative grid size calculated. Check Min, Max and Spacing Values.\n"},
        {sp, nullptr, mn, infinite, 8, "Negative grid size calculated. Check Min, Max and Spacing Values.\n"},
    };
    for (const Case& c : cases) {
        Grid3 grid{};
        CapturingReporter r(6);
        EXPECT_EQ(c.status, Grid3_ResolveSpec(c.spacing, c.size, c.minimum, c.maximum, &grid, &r.reporter))
            << c.message;
        EXPECT_EQ(std::vector<CapturedLine>{(CapturedLine{1, c.message})}, r.lines);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(0, grid.Size[k]) << "a refused grid is left as it was";
    }
    EXPECT_EQ(5, Grid3_ResolveSpec(sp, sz, mn, nullptr, nullptr, nullptr));
}

TEST(GridTest, CheckSizeCountsNodesBeyondTheIntRangeAndNeverGivesAShortBlock) {
    Grid3 grid{};
    const int32_t bad[3] = {2, 0, 2}, small[3] = {2, 3, 4};
    EXPECT_EQ(5, Grid3_CheckSize(nullptr, small, 0));
    EXPECT_EQ(8, Grid3_CheckSize(&grid, nullptr, 0));
    EXPECT_EQ(8, Grid3_CheckSize(&grid, bad, 0));
    ASSERT_EQ(0, Grid3_CheckSize(&grid, small, 1));
    grid.Value[23] = 1.0;
    grid.Gradient[71] = 1.0;
    Grid3_Free(&grid);

    // 2048 cubed is 2^33 nodes: 0 in a 32-bit product. Wherever the memory
    // exists the block must hold them all.
    const int32_t huge[3] = {2048, 2048, 2048}, largest[3] = {INT32_MAX, INT32_MAX, INT32_MAX};
    const int status = Grid3_CheckSize(&grid, huge, 0);
    EXPECT_TRUE(status == 2 || (status == 0 && grid.Value != nullptr)) << status;
    Grid3_Free(&grid);
    EXPECT_EQ(2, Grid3_CheckSize(&grid, largest, 1));
    EXPECT_EQ(nullptr, grid.Value);
    EXPECT_EQ(nullptr, grid.Gradient);
    const int32_t wide[2] = {65536, 65536};  // 2^32 nodes
    Grid2 flat{};
    const int flatStatus = Grid2_CheckSize(&flat, wide, 1);
    EXPECT_TRUE(flatStatus == 2 || (flatStatus == 0 && flat.Gradient != nullptr)) << flatStatus;
    Grid2_Free(&flat);

    Record_FailAllocationsAfterForTesting(1);  // values made, gradients not
    EXPECT_EQ(2, Grid3_CheckSize(&grid, small, 1));
    Record_FailAllocationsAfterForTesting(-1);
    EXPECT_EQ(nullptr, grid.Value);
}

TEST(GridTest, ValidateNamesTheGridInItsMessages) {
    Grid2 grid{};
    const int32_t size[2] = {2, 2};
    ASSERT_EQ(0, Grid2_CheckSize(&grid, size, 1));
    struct Case {
        int32_t size0;
        bool value;
        int32_t allowEmpty, gradientUse;
        int result;
        CapturedLine line;
    } cases[] = {
        {2, true, 0, 0, 1, {0, ""}},
        {2, false, 0, 0, 0, {1, "Input grid is invalid"}},
        {-1, true, 1, 0, 0, {1, "Input grid size is invalid"}},
        {0, true, 0, 0, 0, {1, "Input grid must not be empty"}},
        {0, true, 1, 0, 1, {0, ""}},
        {2, true, 0, -1, 1, {2, "Input grid field 'Gradient' is not used by this fucntion"}},
    };
    for (const Case& c : cases) {
        Grid2 probe = grid;
        probe.Size[0] = c.size0;
        if (!c.value) probe.Value = nullptr;
        CapturingReporter r(6);
        EXPECT_EQ(c.result, Grid2_Validate(&probe, "Input", c.allowEmpty, c.gradientUse, &r.reporter));
        if (c.line.level == 0) {
            EXPECT_TRUE(r.lines.empty());
        } else {
            EXPECT_EQ(std::vector<CapturedLine>{c.line}, r.lines);
        }
    }
    double* gradient = grid.Gradient;
    grid.Gradient = nullptr;
    CapturingReporter r(6);
    EXPECT_EQ(0, Grid2_Validate(&grid, "Input", 0, 1, &r.reporter));
    EXPECT_EQ("Input grid field 'Gradient' is required by this function", r.lines.at(0).text);
    grid.Gradient = gradient;
    Grid2_Free(&grid);
}

TEST(GridTest, ToPointListPlacesEveryNodeAndTakesTheArrays) {
    Grid3 grid{};
    const int32_t size[3] = {2, 3, 2};
    ASSERT_EQ(0, Grid3_CheckSize(&grid, size, 1));
    const double spacing[3] = {0.5, 1, 2}, minimum[3] = {1, -1, 0};
    for (int k = 0; k < 3; ++k) {
        grid.Spacing[k] = spacing[k];
        grid.Min[k] = minimum[k];
    }
    for (int n = 0; n < 12; ++n) grid.Value[n] = n;
    double* values = grid.Value;
    PointList3 list{};
    ASSERT_EQ(0, Grid3_ToPointList(&grid, &list));
    EXPECT_EQ(12, list.Count);
    EXPECT_EQ(values, list.Value);
    EXPECT_NE(nullptr, list.Gradient);
    EXPECT_EQ(nullptr, grid.Value);
    // node (1, 2, 1) is point 1 + 2 * (2 + 3 * 1) = 11
    EXPECT_EQ(1.5, list.Location[33]);
    EXPECT_EQ(1.0, list.Location[34]);
    EXPECT_EQ(2.0, list.Location[35]);
    EXPECT_EQ(11.0, list.Value[11]);
    PointList3_Free(&list);

    Grid2 empty{};
    PointList2 flat{};
    EXPECT_EQ(17, Grid2_ToPointList(&empty, &flat));
    EXPECT_EQ(nullptr, flat.Location);
    EXPECT_EQ(5, Grid2_ToPointList(nullptr, &flat));
    EXPECT_EQ(4, Grid2_ToPointList(&empty, nullptr));
    Grid3 huge{};
    huge.Size[0] = huge.Size[1] = huge.Size[2] = 2048;
    EXPECT_EQ(2, Grid3_ToPointList(&huge, &list));
}

}  // namespace

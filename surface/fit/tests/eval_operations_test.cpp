// The public evaluation operations: results against the front, workspace
// reuse with its three warnings, refusals, grids against points.
#include "surface/fit/eval_operations.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "surface/frame/point_list.h"
#include "surface/frame/solution.h"
#include "surface/frame/tests/capturing_reporter.h"
#include "surface/io/grid.h"

namespace {

bool Said(const CapturingReporter& r, const std::string& part) {
    for (const auto& line : r.lines)
        if (line.text.find(part) != std::string::npos) return true;
    return false;
}

// A biharmonic solution over random centres (linear polynomial).
template <class Solution, int D>
struct Fixture {
    Solution s;
    explicit Fixture(int n, unsigned seed = 3) {
        if constexpr (D == 3)
            Solution3_Create(&s, n, 0);
        else
            Solution2_Create(&s, n, 0);
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> u(-1.0, 1.0);
        for (int i = 0; i < D * n; ++i) s.Centres[i] = u(rng);
        s.PolyDegree = 1;
        s.CoeffCount = n + D + 1;
        for (int i = 0; i < s.CoeffCount; ++i) s.Coeffs[i] = u(rng);
        s.Basic = BasicFunction{0, 0.0, 0};
        s.DefaultEvalAccuracy = 1e-3;
    }
    ~Fixture() {
        if constexpr (D == 3)
            Solution3_Free(&s);
        else
            Solution2_Free(&s);
    }
};

struct List3 {
    PointList3 list{};
    explicit List3(const std::vector<double>& xyz) {
        const int n = static_cast<int>(xyz.size() / 3);
        PointList3_Create(&list, n, 0, 0, 0, 0, 0);
        list.Count = n;
        for (size_t i = 0; i < xyz.size(); ++i) list.Location[i] = xyz[i];
    }
    ~List3() { PointList3_Free(&list); }
};

double Reference(const Solution3& s, const double* p) {
    double v = 0.0;
    const double* row = p;
    EXPECT_EQ(0, RbfEval_SolutionPoints(&s, nullptr, nullptr, 1, &row, &v, nullptr, 1.0));
    return v;
}

TEST(EvalOperationsTest, PointEvaluationWritesValuesAndGradientsIntoTheChosenSet) {
    Fixture<Solution3, 3> f(40);
    List3 points({0.1, 0.2, 0.3, -0.5, 0.4, 0.9, 1.5, -1.0, 0.0});
    int32_t set = -1;
    ASSERT_EQ(0, PointList3_AddAltSet(&points.list, "eval", &set, 0, 0, 0, 0, 0));
    ASSERT_EQ(0, Selvane_PointEval3(&f.s, nullptr, nullptr, &points.list, set, 1, nullptr));
    const double* values = PointList3_GetValue(&points.list, set);
    const double* gradients = PointList3_GetGradient(&points.list, set);
    ASSERT_NE(nullptr, values);
    ASSERT_NE(nullptr, gradients);
    EXPECT_EQ(nullptr, points.list.Value);
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(Reference(f.s, points.list.Location + 3 * i), values[i], 1e-12);
        const double h = 1e-6;
        double p[3] = {points.list.Location[3 * i] + h, points.list.Location[3 * i + 1],
                       points.list.Location[3 * i + 2]};
        double m[3] = {p[0] - 2 * h, p[1], p[2]};
        EXPECT_NEAR((Reference(f.s, p) - Reference(f.s, m)) / (2 * h), gradients[3 * i], 1e-6);
    }
}

TEST(EvalOperationsTest, OnePointListIsItsOwnRowView) {
    List3 one({0.25, 0.5, -0.25});
    double** rows = nullptr;
    double** gradients = nullptr;
    PointList3_SetFields(&one.list, -1, 0, 0, 0, 0, 1);
    ASSERT_EQ(0, PointList3_RowViews(-1, &one.list, nullptr, &rows, &gradients));
    EXPECT_EQ(&one.list.Location, rows);
    EXPECT_EQ(&one.list.Gradient, gradients);
    PointList3_FreeRowViews(&one.list, rows, gradients);
    Fixture<Solution3, 3> f(10);
    ASSERT_EQ(0, Selvane_PointEval3(&f.s, nullptr, nullptr, &one.list, -1, 0, nullptr));
    EXPECT_NEAR(Reference(f.s, one.list.Location), one.list.Value[0], 1e-12);
}

TEST(EvalOperationsTest, HandedBackWorkspaceIsReusedOrDiscardedWithItsWarning) {
    Fixture<Solution3, 3> f(30);
    List3 points({0.1, 0.2, 0.3, 0.4, 0.5, 0.6});
    EvalWorkspace* w = nullptr;
    EvalAttributes a;
    SetGridAttrDefaults(&a);
    a.EvalAccuracy = 1e-3;
    ASSERT_EQ(0, Selvane_PointEval3(&f.s, &a, &w, &points.list, -1, 0, nullptr));
    ASSERT_NE(nullptr, w);
    struct Step {
        double accuracy;
        bool refit;
        const char* warning;  // or null: no warning at all
    } steps[] = {
        {1e-3, false, nullptr},
        {1e-2, false, nullptr},
        {1e-5, false, "Workspace does not provide sufficient accuracy. Discarding."},
        {1e-5, true, "Workspace does not match RBF. Discarding."},
    };
    for (const Step& step : steps) {
        if (step.refit) {
            // A new centre block, as a refit leaves it.
            double* fresh = static_cast<double*>(std::malloc(sizeof(double) * 3 * 30));
            for (int i = 0; i < 90; ++i) fresh[i] = f.s.Centres[i];
            std::free(f.s.Centres);
            f.s.Centres = fresh;
        }
        CapturingReporter r(6);
        a.EvalAccuracy = step.accuracy;
        ASSERT_EQ(0, Selvane_PointEval3(&f.s, &a, &w, &points.list, -1, 0, &r.reporter));
        EXPECT_TRUE(Said(r, "Using Passed Workspace:  Yes")) << step.accuracy;
        int warnings = 0;
        for (const auto& line : r.lines) warnings += line.level == 2;
        EXPECT_EQ(step.warning ? 1 : 0, warnings) << step.accuracy;
        if (step.warning) EXPECT_TRUE(Said(r, step.warning));
        EXPECT_NEAR(Reference(f.s, points.list.Location), points.list.Value[0], 1e-12);
    }
    EvalWorkspace_Free(&w);
    EXPECT_EQ(nullptr, w);
    EvalWorkspace_Free(&w);
}

TEST(EvalOperationsTest, RefusalsGiveTheirStatuses) {
    Fixture<Solution3, 3> f(10);
    List3 points({0.0, 0.0, 0.0});
    f.s.DefaultEvalAccuracy = 0.0;
    CapturingReporter r(6);
    EXPECT_EQ(7, Selvane_PointEval3(&f.s, nullptr, nullptr, &points.list, -1, 0, &r.reporter));
    EXPECT_TRUE(Said(r, "Invalid default accuracy. Positive accuracy argument must be given"));
    f.s.DefaultEvalAccuracy = 1e-3;
    List3 empty({});
    EXPECT_EQ(4, Selvane_PointEval3(&f.s, nullptr, nullptr, &empty.list, -1, 0, nullptr));
    f.s.CoeffCount = 3;
    EXPECT_EQ(6, Selvane_PointEval3(&f.s, nullptr, nullptr, &points.list, -1, 0, nullptr));
}

TEST(EvalOperationsTest, GridEqualsPointsAtItsNodes) {
    Fixture<Solution3, 3> f(25);
    const double minimum[3] = {-1.0, -0.5, 0.0}, maximum[3] = {1.0, 0.5, 0.6};
    const int32_t size[3] = {5, 3, 4};
    for (int gradient = 0; gradient < 2; ++gradient) {
        Grid3 grid{};
        ASSERT_EQ(0,
                  Selvane_GridEval3(&f.s, nullptr, nullptr, &grid, nullptr, size, minimum, maximum, gradient, nullptr));
        EXPECT_DOUBLE_EQ(0.5, grid.Spacing[0]);
        EXPECT_DOUBLE_EQ(0.2, grid.Spacing[2]);
        std::vector<double> xyz;
        for (int k = 0; k < 4; ++k)
            for (int j = 0; j < 3; ++j)
                for (int i = 0; i < 5; ++i) {
                    xyz.push_back(minimum[0] + i * grid.Spacing[0]);
                    xyz.push_back(minimum[1] + j * grid.Spacing[1]);
                    xyz.push_back(minimum[2] + k * grid.Spacing[2]);
                }
        List3 nodes(xyz);
        ASSERT_EQ(0, Selvane_PointEval3(&f.s, nullptr, nullptr, &nodes.list, -1, gradient, nullptr));
        for (int n = 0; n < 60; ++n) {
            EXPECT_NEAR(nodes.list.Value[n], grid.Value[n], 1e-12);
            if (gradient)
                for (int a = 0; a < 3; ++a)
                    EXPECT_NEAR(nodes.list.Gradient[3 * n + a], grid.Gradient[3 * n + a], 1e-12);
        }
        Grid3_Free(&grid);
    }
}

TEST(EvalOperationsTest, GridRefusalsGiveTheirStatuses) {
    Fixture<Solution3, 3> f(10);
    const double spacing[3] = {0.1, 0.1, 0.1}, minimum[3] = {0, 0, 0}, maximum[3] = {1, 1, 1};
    const int32_t size[3] = {3, 3, 3}, zero[3] = {3, 0, 3};
    Grid3 grid{};
    struct Case {
        const double* spacing;
        const int32_t* size;
        const double* minimum;
        const double* maximum;
        Grid3* grid;
        int status;
        const char* text;
    } cases[] = {
        {spacing, size, minimum, maximum, &grid, 9, "Grid over-specified"},
        {nullptr, size, nullptr, maximum, &grid, 9,
         "More than one of the grid's arguments missing."},
        {nullptr, zero, minimum, maximum, &grid, 8, "Invalid grid size (value less than 1)."},
        {spacing, nullptr, maximum, minimum, &grid, 8, "Negative grid size calculated."},
        {spacing, size, minimum, nullptr, nullptr, 5, "Grid argument was NULL."},
    };
    for (const Case& c : cases) {
        CapturingReporter r(6);
        EXPECT_EQ(c.status, Selvane_GridEval3(&f.s, nullptr, nullptr, c.grid, c.spacing, c.size, c.minimum, c.maximum,
                                              0, &r.reporter));
        EXPECT_TRUE(Said(r, c.text)) << c.text;
    }
}

TEST(EvalOperationsTest, TwoDimensionalOperationsAndTheGradientWarning) {
    Fixture<Solution2, 2> f(20);
    PointList2 points{};
    PointList2_Create(&points, 2, 0, 0, 0, 0, 0);
    points.Count = 2;
    points.Location[0] = 0.1;
    points.Location[1] = 0.2;
    points.Location[2] = -0.3;
    points.Location[3] = 0.2;
    CapturingReporter values(6), gradients(6);
    ASSERT_EQ(0, Selvane_PointEval2(&f.s, nullptr, nullptr, &points, -1, 0, &values.reporter));
    EXPECT_FALSE(Said(values, "No fast"));
    ASSERT_EQ(0, Selvane_PointEval2(&f.s, nullptr, nullptr, &points, -1, 1, &gradients.reporter));
    EXPECT_TRUE(Said(gradients, "No fast gradient methods for specified basic function.  Order N^2 work required"));
    Grid2 grid{};
    const int32_t size[2] = {2, 1};
    const double minimum[2] = {0.1, 0.2}, spacing[2] = {-0.4, 1.0};
    ASSERT_EQ(0, Selvane_GridEval2(&f.s, nullptr, nullptr, &grid, spacing, size, minimum, nullptr, 0, nullptr));
    EXPECT_NEAR(points.Value[0], grid.Value[0], 1e-12);
    EXPECT_NEAR(points.Value[1], grid.Value[1], 1e-12);
    Grid2_Free(&grid);
    PointList2_Free(&points);
}

TEST(EvalOperationsTest, SliceCopiesOnePlane) {
    Grid3 grid{};
    const int32_t size[3] = {2, 3, 4};
    ASSERT_EQ(0, Grid3_CheckSize(&grid, size, 1));
    for (int n = 0; n < 24; ++n) {
        grid.Value[n] = n;
        for (int a = 0; a < 3; ++a) grid.Gradient[3 * n + a] = 10 * n + a;
    }
    Grid2 slice{};
    ASSERT_EQ(0, Grid3_Slice(&grid, &slice, 1, 2));  // the x-z plane at y = 2
    EXPECT_EQ(2, slice.Size[0]);
    EXPECT_EQ(4, slice.Size[1]);
    EXPECT_EQ(1 * 1 + 2 * 2 + 3 * 6, slice.Value[2 * 3 + 1]);  // x 1, z 3
    EXPECT_EQ(10 * (1 + 4 + 18) + 2, slice.Gradient[2 * 7 + 1]);
    Grid2_Free(&slice);
    EXPECT_EQ(17, Grid3_Slice(&grid, &slice, 3, 0));
    EXPECT_EQ(17, Grid3_Slice(&grid, &slice, 2, 4));
    EXPECT_EQ(5, Grid3_Slice(nullptr, &slice, 0, 0));
    Grid3_Free(&grid);
}

}  // namespace

#include "surface/fit/error_bar.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <random>
#include <vector>

#include "surface/fit/dd_fit.h"
#include "surface/fit/fit_attributes.h"
#include "surface/fit/fit_operations.h"
#include "surface/fit/reducer.h"
#include "surface/fit/tests/fit_fixtures.h"
#include "surface/fit/tests/fit_data.h"
#include "surface/frame/status_codes.h"

namespace {

double Rms(const std::vector<double>& v) {
    double s = 0.0;
    for (double x : v) s += x * x;
    return std::sqrt(s / v.size());
}

// Noise below the accuracy on a smooth field: the error-bar fit stays in
// the band with far fewer centres and lies nearer the smooth field between
// the points than the noise does, where a fit through every point keeps the
// noise.
TEST(ErrorBarFit, SmoothsNoiseWithinTheBand) {
    TrackedScope scope;
    Cloud cloud = ShellCloud(3, 3000, 31);
    const std::vector<double> clean = FieldValues(cloud);
    const double accuracy = 0.05;
    std::mt19937 rng(32);
    std::uniform_real_distribution<double> noise(-0.8 * accuracy, 0.8 * accuracy);
    std::vector<double> noisy = clean, added;
    for (double& v : noisy) {
        added.push_back(noise(rng));
        v += added.back();
    }
    const BasicFunctionKernel kernel = Biharmonic(3);
    CoreRbf out{};
    ASSERT_EQ(0, ErrorBar_Fit(cloud.N(), cloud.Table(), noisy.data(), &kernel, 64e6, accuracy, nullptr, nullptr,
                              nullptr, nullptr, &out, nullptr, 1.0));
    EXPECT_LT(out.Count, cloud.N() / 4);
    EXPECT_LE(LargestMiss(kernel, out.Count, out.Centres, out.Coeffs, out.PolyCentre, cloud, noisy), accuracy);

    std::vector<double> all(static_cast<size_t>(cloud.N()) + 4, 0.0);
    double* c = all.data();
    double shift[3];
    DDFitOptions o;
    DDFit_DefaultOptions(&o);
    ASSERT_EQ(0, DDFit_Run(cloud.N(), cloud.Table(), noisy.data(), &kernel, 1e-3 * accuracy, 64e6, &o, nullptr, &c,
                           shift, nullptr, 1.0));

    Cloud between = ShellCloud(3, 400, 33);
    std::vector<double> smoothMiss, interpolantMiss;
    for (const double* x : between.rows) {
        const double truth = SmoothField(x, 3);
        smoothMiss.push_back(DirectValue(kernel, out.Count, out.Centres, out.Coeffs, out.PolyCentre, x) - truth);
        interpolantMiss.push_back(DirectValue(kernel, cloud.N(), cloud.rows.data(), all.data(), shift, x) - truth);
    }
    EXPECT_LT(Rms(smoothMiss), Rms(added));
    EXPECT_LT(Rms(smoothMiss), Rms(interpolantMiss));
    CoreSolution_Free(&out);
    EXPECT_EQ(0u, scope.Held());
}

TEST(ErrorBarFit, ValuesInsideTheirBandsGiveTheZeroFunction) {
    Cloud cloud = ShellCloud(3, 200, 34);
    std::vector<double> values(200, 0.0);
    for (int32_t i = 0; i < 200; ++i) values[i] = 0.01 * std::sin(static_cast<double>(i));
    const BasicFunctionKernel kernel = Biharmonic(3);
    CoreRbf out{};
    EXPECT_EQ(CoreStatus_TrivialSolution, ErrorBar_Fit(200, cloud.Table(), values.data(), &kernel, 0, 0.1, nullptr,
                                                       nullptr, nullptr, nullptr, &out, nullptr, 1.0));
    ASSERT_EQ(1, out.Count);
    EXPECT_EQ(0, out.Indices[0]);
    for (int k = 0; k < 5; ++k) EXPECT_EQ(0.0, out.Coeffs[k]);
    double largest = 0.0;
    for (double v : values) largest = std::fmax(largest, std::fabs(v));
    EXPECT_EQ(largest, out.AchievedAccuracy);
    CoreSolution_Free(&out);
}

TEST(ErrorBarFit, RefusesBadBounds) {
    Cloud cloud = ShellCloud(3, 10, 35);
    std::vector<double> values(10, 1.0), upper(10, 0.1), lower(10, 0.1);
    std::vector<int32_t> types(10, kBoundBoth);
    const BasicFunctionKernel kernel = Biharmonic(3);
    CoreRbf out{};
    struct Case {
        const char* name;
        int32_t index;
        double upperValue, lowerValue;
        int32_t type;
        int expected;
    } cases[] = {
        {"type out of range", 3, 0.1, 0.1, 4, CoreStatus_InvalidInput},
        {"bounds cross", 4, -0.2, 0.1, kBoundBoth, CoreStatus_NegativeAccuracy},
    };
    for (const Case& c : cases) {
        std::vector<double> u = upper, l = lower;
        std::vector<int32_t> t = types;
        u[c.index] = c.upperValue;
        l[c.index] = c.lowerValue;
        t[c.index] = c.type;
        EXPECT_EQ(c.expected, ErrorBar_Fit(10, cloud.Table(), values.data(), &kernel, 0, 0.1, u.data(), l.data(),
                                           t.data(), nullptr, &out, nullptr, 1.0))
            << c.name;
    }
    EXPECT_EQ(CoreStatus_NegativeAccuracy, ErrorBar_Fit(10, cloud.Table(), values.data(), &kernel, 0, 0.0, nullptr,
                                                        nullptr, nullptr, nullptr, &out, nullptr, 1.0));
    EXPECT_EQ(CoreStatus_NullArgument, ErrorBar_Fit(10, cloud.Table(), values.data(), &kernel, 0, 0.1, nullptr, nullptr,
                                                    nullptr, nullptr, nullptr, nullptr, 1.0));
}

struct BandFit {
    Cloud cloud;
    std::vector<double> values;
    BasicFunctionKernel kernel = Biharmonic(3);
    ErrorBarOptions options{};
    CoreRbf out{};
    KeptLines lines{6, kCategoryErrorBarFit};

    BandFit(int32_t N, uint32_t seed) : cloud(ShellCloud(3, N, seed)), values(FieldValues(cloud)) {
        ErrorBar_DefaultOptions(&options);
    }
    ~BandFit() { Reducer_FreeResult(&out); }
    int Run(double accuracy, const double* upper = nullptr, const double* lower = nullptr) {
        return ErrorBar_Fit(cloud.N(), cloud.Table(), values.data(), &kernel, 64e6, accuracy, upper, lower, nullptr,
                            &options, &out, &lines.core, 1.0);
    }
    bool Said(int32_t level, const std::string& line) const {
        for (const auto& l : lines.lines)
            if (l.first == level && l.second == line) return true;
        return false;
    }
};

// Bands wider than the data's extent: the band accuracy is the largest
// absolute centre coordinate, and the settings name the bounds used.
TEST(ErrorBarFit, BandAccuracyStartsFromTheLargestCoordinate) {
    BandFit f(400, 36);
    const std::vector<double> upper(400, 10.0), lower(400, 0.02);
    double largest = 0.0;
    for (const double* p : f.cloud.rows)
        for (int k = 0; k < 3; ++k) largest = std::fmax(largest, std::fabs(p[k]));
    ASSERT_EQ(0, f.Run(0.0, upper.data(), lower.data()));
    char line[128];
    std::snprintf(line, sizeof line, "Fit acc fraction (value):     0.1 (%.4g)", 0.1 * largest);
    EXPECT_TRUE(f.Said(5, line)) << line;
    EXPECT_TRUE(f.Said(5, "Accuracy used:                Upper and Lower Upper"));
}

// Every setting is listed, and a fit reports its parts: the initial set,
// each fit with its iterations, each evaluation, the exceeded bounds and
// the totals.
TEST(ErrorBarFit, ListsItsSettingsAndItsSteps) {
    BandFit f(3000, 37);
    ASSERT_EQ(0, f.Run(0.01));
    for (const char* label :
         {"Max add frac (num)", "Remove frequency", "Max num removes", "Min remove frac", "Subsample add rate",
          "Num subsample itns", "Max subsample rate", "Start fraction (value)", "Fitter message level",
          "Reducer message level"})
        EXPECT_EQ(1, f.lines.Count(5, label)) << label;
    EXPECT_EQ(1, f.lines.Count(3, "Choosing initial set of centres took"));
    EXPECT_GT(f.lines.Count(3, " iterations and"), 0);
    EXPECT_GT(f.lines.Count(3, "Evaluation took"), 0);
    for (const char* text : {"Sum Of Squares Of Exceeded Upper is", "Error bounds exceeded by", "Energy in RBF is"})
        EXPECT_GT(f.lines.Count(6, text), 0) << text;
    EXPECT_EQ(1, f.lines.Count(5, "Number of RBF fits"));
    EXPECT_EQ(1, f.lines.Count(5, "Average RBF fit size"));
}

// The start set: every point up to 50, a cell sample of leaf size 51 / 20
// at 51, and an initial RBF's indices, checked first.
TEST(ErrorBarFit, InitialSetsAndTheirChecks) {
    for (int32_t N : {50, 51}) {
        BandFit f(N, 38);
        ASSERT_EQ(0, f.Run(1e-3)) << N;
        EXPECT_TRUE(f.Said(5, std::to_string(N == 50 ? 50 : 51 / 2) + " initial points selected")) << N;
    }
    BandFit f(200, 39);
    std::vector<int32_t> indices = {0, 5, 9, 40, 77, 200};
    std::vector<double> coeffs(10, 0.0);
    CoreRbf initial{};
    initial.Count = 6;
    initial.Indices = indices.data();
    initial.Coeffs = coeffs.data();
    f.options.InitialRbf = &initial;
    EXPECT_EQ(CoreStatus_InvalidInput, f.Run(1e-3));
    EXPECT_EQ(1, f.lines.Count(1, "Initial indices values out of range."));
    indices[5] = 199;
    f.lines.lines.clear();
    EXPECT_EQ(0, f.Run(1e-3));
    EXPECT_TRUE(f.Said(5, "Size of initial RBF:          6"));
    EXPECT_EQ(1, f.lines.Count(5, "6 initial points selected"));
    initial.Count = 201;
    EXPECT_EQ(CoreStatus_InvalidInput, f.Run(1e-3));
    EXPECT_EQ(1, f.lines.Count(1, "Invalid number of initial points."));
    initial.Indices = nullptr;
    EXPECT_EQ(CoreStatus_InvalidInput, f.Run(1e-3));
    EXPECT_EQ(1, f.lines.Count(1, "Initial RBF must have Indices field present."));
}

// A large add count subsamples the first passes; redundant constraints
// are removed; one iteration is not enough and gives status 11 with the
// fit of that pass.
TEST(ErrorBarFit, SubsamplesRemovesAndStopsAtItsIterations) {
    BandFit f(4000, 40);
    f.options.AddRate = 0.3;
    ASSERT_EQ(0, f.Run(2e-3));
    EXPECT_GT(f.lines.Count(5, "Subsample rate set to "), 0);
    EXPECT_GT(f.lines.Count(5, "redundant constraints"), 0);

    BandFit once(4000, 40);
    once.options.MaxIterations = 1;
    once.options.NumSubsampleItns = 0;
    EXPECT_EQ(CoreStatus_ReachedMaxIteration, once.Run(2e-3));
    EXPECT_GT(once.out.Count, 0);
    EXPECT_GT(once.out.AchievedAccuracy, 2e-3);
}

// Bounded fits keep every point on the sides its bound type names, with
// bounds of different widths above and below.
TEST(FitBounded3, KeepsEachPointOnItsSides) {
    OwnedList data;
    DensityData(&data.list, Shape::Sphere, 1200, 36);
    const int32_t N = data.list.Count;
    ASSERT_EQ(0, PointList3_SetFields(&data.list, -1, 0, 0, 1, 1, 0));
    std::vector<int32_t> types(static_cast<size_t>(N));
    for (int32_t i = 0; i < N; ++i) {
        data.list.Lower[i] = 0.2;
        data.list.Upper[i] = 0.6;
        types[i] = 1 + i % 3;
    }
    OwnedSolution sol;
    FitAttributes a;
    SetFitAttrDefaults(&a);
    ASSERT_EQ(0, FitBounded3(&sol.s, &data.list, -1, 0.2, types.data(), 64u << 20, &a, nullptr));
    EXPECT_EQ(FitType_ErrorBar, sol.s.FitType);
    EXPECT_DOUBLE_EQ(0.01 * sol.s.AchievedAccuracy, sol.s.DefaultEvalAccuracy);
    const BasicFunctionKernel k = Biharmonic(3);
    for (int32_t i = 0; i < N; ++i) {
        const double s = SolutionValue(sol.s, k, &data.list.Location[3 * i]), f = data.list.Value[i];
        if (types[i] != kBoundUpperOnly) ASSERT_GE(s, f - 0.2) << i;
        if (types[i] != kBoundLowerOnly) ASSERT_LE(s, f + 0.6) << i;
    }
}

// Zero lies in the band [f - L, f + U] only when -U <= f <= L: with L 0.1,
// U 1 and f 0.5 it does not, and the fit must move off zero.
TEST(FitBounded3, AsymmetricBandsAroundZeroAreNotTrivial) {
    OwnedList data;
    Cloud cloud = ShellCloud(3, 300, 37);
    PointList3_Create(&data.list, 300, 1, 0, 1, 1, 0);
    std::copy(cloud.flat.begin(), cloud.flat.end(), data.list.Location);
    for (int32_t i = 0; i < 300; ++i) {
        data.list.Value[i] = 0.5;
        data.list.Lower[i] = 0.1;
        data.list.Upper[i] = 1.0;
    }
    data.list.Count = 300;
    OwnedSolution sol;
    ASSERT_EQ(0, FitBounded3(&sol.s, &data.list, -1, 0.1, nullptr, 0, nullptr, nullptr));
    const BasicFunctionKernel k = Biharmonic(3);
    for (int32_t i = 0; i < 300; i += 5) {
        const double s = SolutionValue(sol.s, k, &data.list.Location[3 * i]);
        EXPECT_GE(s, 0.4) << i;
        EXPECT_LE(s, 1.5) << i;
    }
}

// Two centres a distance 2 apart with coefficients 1 and -1 (a constant
// term of 0): s(x₀) = -φ(2), s(x₁) = φ(2), so the sum of cⱼ s(xⱼ) is
// -2φ(2) = -4 for the biharmonic φ(r) = r, times -1/(8π).
TEST(ErrorBarEnergy, IsTheKernelsFactorTimesTheSumAtTheCentres) {
    TrackedScope scope;
    const BasicFunctionKernel kernel = Biharmonic(3, 0);
    double a[3] = {0, 0, 0}, b[3] = {2, 0, 0};
    double* rows[2] = {a, b};
    double coeffs[3] = {1.0, -1.0, 0.0};
    CoreRbf rbf{};
    rbf.Count = 2;
    rbf.Centres = rows;
    rbf.Coeffs = coeffs;
    rbf.Kernel = kernel;
    const double expected = -1.0 / (8.0 * 3.141592653589793) * -2.0 * kernel.Phi(&kernel, 4.0);
    EXPECT_NEAR(expected, ErrorBar_Energy(&rbf, 1e-12, nullptr), 1e-12);
    EXPECT_EQ(0.0, ErrorBar_Energy(nullptr, 1e-12, nullptr));
    EXPECT_EQ(0u, scope.Held());
}

// The greedy refinement ends at the target accuracy, five passes down from
// the largest value.
TEST(ErrorBarGreedyFit, EndsAtTheTargetAccuracy) {
    TrackedScope scope;
    Cloud cloud = ShellCloud(3, 1500, 38);
    const std::vector<double> values = FieldValues(cloud);
    const BasicFunctionKernel kernel = Biharmonic(3);
    KeptLines lines(5);
    CoreRbf out{};
    ASSERT_EQ(0, ErrorBar_GreedyFit(cloud.N(), cloud.Table(), values.data(), &kernel, 0.01, 64e6, &out, &lines.core));
    EXPECT_EQ(5, lines.Count(5, "total points"));
    EXPECT_LT(out.Count, cloud.N() / 2);
    EXPECT_LE(LargestMiss(kernel, out.Count, out.Centres, out.Coeffs, out.PolyCentre, cloud, values), 0.01);
    CoreSolution_Free(&out);
    EXPECT_EQ(0u, scope.Held());
}

// Ten points on a line, values -2 below x = 5 and 0 from there: only the
// two neighbours across the change lie within 1.5 of the other class.
TEST(ErrorBarMarkNearOtherClass, MarksOnlyTheNeighboursAcrossTheChange) {
    TrackedScope scope;
    Cloud line;
    std::vector<double> values;
    for (int32_t i = 0; i < 10; ++i) {
        line.Add({static_cast<double>(i), 0.0, 0.0});
        values.push_back(i < 5 ? -2.0 : 0.0);
    }
    std::vector<int32_t> marks(10, 7);
    ASSERT_EQ(0, ErrorBar_MarkNearOtherClass(10, 3, line.Table(), values.data(), 1.5, marks.data(), nullptr));
    EXPECT_EQ((std::vector<int32_t>{0, 0, 0, 0, 1, 1, 0, 0, 0, 0}), marks);
    EXPECT_EQ(0u, scope.Held());
}

}  // namespace

#include "surface/fit/reducer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "surface/fit/tests/fit_fixtures.h"
#include "surface/frame/status_codes.h"

namespace {

struct Reduction {
    Cloud cloud;
    std::vector<double> values;
    BasicFunctionKernel kernel = Biharmonic(3);
    ReducerOptions options{};
    CoreRbf result{};
    double achieved = -2.0;

    Reduction(int32_t N, uint32_t seed) : cloud(ShellCloud(3, N, seed)), values(FieldValues(cloud)) {
        Reducer_DefaultOptions(&options);
    }
    ~Reduction() { Reducer_FreeResult(&result); }
    int Run(double accuracy, const double* perPoint = nullptr, const CoreReporter* r = nullptr) {
        return Reducer_Fit(cloud.N(), cloud.Table(), values.data(), &kernel, accuracy, perPoint, 64e6, &options,
                           &result, &achieved, r, 1.0);
    }
    double Range() const {
        const auto mm = std::minmax_element(values.begin(), values.end());
        return *mm.second - *mm.first;
    }
    double Miss() const {
        return LargestMiss(kernel, result.Count, result.Centres, result.Coeffs, result.PolyCentre, cloud, values);
    }
};

// Tighter accuracies need more centres, all far fewer than the points, and
// every point meets the accuracy.
TEST(ReducerFit, CentresRiseAsTheAccuracyTightens) {
    TrackedScope scope;
    int32_t previous = 0;
    for (double share : {1e-1, 1e-2, 1e-3}) {
        Reduction r(3000, 1);
        const double accuracy = share * r.Range();
        ASSERT_EQ(0, r.Run(accuracy)) << share;
        EXPECT_LT(r.result.Count, r.cloud.N() / 2) << share;
        EXPECT_GT(r.result.Count, previous) << share;
        previous = r.result.Count;
        EXPECT_LE(r.Miss(), accuracy) << share;
        EXPECT_GE(r.achieved, 0.0);
        ASSERT_NE(nullptr, r.result.Indices);
        for (int32_t j = 0; j < r.result.Count; ++j)
            for (int k = 0; k < 3; ++k) ASSERT_EQ(r.cloud.rows[r.result.Indices[j]][k], r.result.Centres[j][k]);
    }
    EXPECT_EQ(0u, scope.Held());
}

// At most half the points as centres: the fit stops there and reports what
// the centres missed by when they were added.
TEST(ReducerFit, MaxNumCentresStopsAtItsShare) {
    Reduction r(2000, 2);
    r.options.MaxNumCentres = 0.5;
    r.options.ReductionThresh = 1.0;
    ASSERT_EQ(0, r.Run(1e-7 * r.Range()));
    EXPECT_EQ(1000, r.result.Count);
    EXPECT_GT(r.achieved, 1e-7 * r.Range());
}

TEST(ReducerFit, TrivialAndRefusedAccuracies) {
    Reduction r(500, 3);
    double largest = 0.0;
    for (double v : r.values) largest = std::max(largest, std::fabs(v));
    EXPECT_EQ(CoreStatus_TrivialSolution, r.Run(2.0 * largest));
    EXPECT_EQ(largest, r.achieved);
    EXPECT_EQ(0, r.result.Count);

    std::vector<double> perPoint(r.values.size(), 0.01);
    perPoint[7] = 0.0;
    EXPECT_EQ(CoreStatus_NegativeAccuracy, r.Run(0.01, perPoint.data()));
    EXPECT_EQ(CoreStatus_NegativeAccuracy, r.Run(0.0));
}

// A reduction that does not pay gives way to a fit through every point.
TEST(ReducerFit, TinyThresholdFallsBackToAllPoints) {
    Reduction r(1500, 4);
    r.options.ReductionThresh = 1e-6;
    KeptLines lines(2);
    ASSERT_EQ(0, r.Run(1e-3 * r.Range(), nullptr, &lines.core));
    EXPECT_EQ(1, lines.Count(2, "Significant centre reduction unlikely. Using all points as centres."));
    EXPECT_EQ(r.cloud.N(), r.result.Count);
    EXPECT_LE(r.Miss(), 1e-3 * r.Range());
}

// A sample rate above the start size passes the option check; the divided
// start size and MaxAdd stay at least 1 instead of dividing by zero.
TEST(ReducerFit, SampleRateAboveTheStartSize) {
    Reduction r(1000, 5);
    r.options.SampleRate = 500;
    ASSERT_EQ(0, Reducer_CheckOptions(&r.options, nullptr));
    ASSERT_EQ(0, r.Run(1e-2 * r.Range()));
    EXPECT_LE(r.Miss(), 1e-2 * r.Range());
}

// Start centres whose targets all lie within the accuracy: the first fit
// aims at (0.95 - 0.05) x 0.05 of their largest target instead of giving
// the trivial all-zero fit.
TEST(ReducerFit, SmallTargetsAreFittedToAShareOfTheLargest) {
    Reduction r(400, 7);
    std::vector<int32_t> start;
    double largest = 0.0;
    for (int32_t i = 0; i < 40; ++i) {
        start.push_back(i * 10);
        r.values[i * 10] *= 1e-3;
        largest = std::max(largest, std::fabs(r.values[i * 10]));
    }
    r.options.InitialCount = static_cast<int32_t>(start.size());
    r.options.InitialIndices = start.data();
    KeptLines lines(5, 0x10);
    const double accuracy = 0.05 * r.Range();
    ASSERT_GT(accuracy, largest);
    ASSERT_EQ(0, r.Run(accuracy, nullptr, &lines.core));
    double first = -1.0;
    for (const auto& l : lines.lines)
        if (first < 0.0 && std::sscanf(l.second.c_str(), "Fitter achieved %lf", &first) != 1) first = -1.0;
    ASSERT_GE(first, 0.0);
    EXPECT_LE(first, 0.9 * 0.05 * largest * 1.01);
    EXPECT_LE(r.Miss(), accuracy);
}

// Residuals divided by a slope below 1 miss their accuracy sooner: a flat
// field takes more centres with the rescaling than without, and meets the
// accuracy either way.
TEST(ReducerFit, RescaledResidualsTakeMoreCentresOnAFlatField) {
    int32_t counts[2] = {0, 0};
    for (int32_t rescale : {0, 1}) {
        Reduction r(1500, 8);
        for (double& v : r.values) v *= 0.02;
        r.options.RescaleResiduals = rescale;
        const double accuracy = 0.02 * r.Range();
        ASSERT_EQ(0, r.Run(accuracy)) << rescale;
        EXPECT_LE(r.Miss(), accuracy) << rescale;
        counts[rescale] = r.result.Count;
    }
    EXPECT_GT(counts[1], counts[0] + counts[0] / 4);
}

// The sampling phase ends when the sample already meets the accuracy, and
// says so.
TEST(ReducerFit, EndOfSamplingIsAnnounced) {
    Reduction r(3000, 9);
    KeptLines lines(5, 0x10);
    ASSERT_EQ(0, r.Run(0.05 * r.Range(), nullptr, &lines.core));
    ASSERT_EQ(1, lines.Count(5, "SampleRate is 4"));
    EXPECT_EQ(1, lines.Count(5, "SampleRate is 1"));
}

// A fit of the centres that gives up (a stalling wide multiquadric, fitted
// iteratively from 100 centres on) ends the reduction with its status 9 and
// no result: no further pass follows, and no fit of all the points.
TEST(ReducerFit, FitWithoutConvergenceEndsTheReduction) {
    Reduction r(2000, 3);
    BasicFunction_Init(kBasicMultiquadric, 3, 1, 0.5, 1, &r.kernel, nullptr);
    r.options.Fitter.MaxConvergeErrors = 1;
    r.options.Fitter.RateUndoThresh = 1e9;
    r.options.Fitter.Direct.MaxCholeskySize = 100;
    r.options.ReductionThresh = 1.0;
    KeptLines lines(3, 0x10);
    EXPECT_EQ(CoreStatus_NoConvergence, r.Run(1e-5 * r.Range(), nullptr, &lines.core));
    EXPECT_EQ(1, lines.Count(1, "iterations have not converged. Giving up."));
    ASSERT_FALSE(lines.lines.empty());
    EXPECT_EQ(1, lines.lines.back().first) << lines.lines.back().second;
    EXPECT_EQ(0, r.result.Count);
    EXPECT_EQ(-1.0, r.achieved);
}

// Two blocks of 50 points (a 5 x 5 x 2 grid of spacing 0.25 at the origin
// and the same grid 10 along x), all values 0 but a tiny 1e-5 at point 0
// and five bumps; eight start centres span the linear polynomial in each
// block. MinPanelSize 50 makes the blocks the two panels.
struct TwoBlocks {
    Cloud cloud;
    std::vector<double> values;
    std::vector<int32_t> start{0, 4, 20, 25, 50, 54, 70, 75};
    BasicFunctionKernel kernel = Biharmonic(3);
    ReducerOptions options{};
    CoreRbf result{};
    KeptLines lines{5, 0x10 | kCategoryMultilevelFit};

    TwoBlocks() {
        for (int32_t i = 0; i < 100; ++i)
            cloud.Add({(i % 5) * 0.25 + (i >= 50 ? 10.0 : 0.0), ((i / 5) % 5) * 0.25, ((i / 25) % 2) * 0.25});
        values.assign(100, 0.0);
        values[0] = 1e-5;
        values[12] = 1.0;
        values[37] = 0.5;
        values[41] = 0.05;
        values[62] = 0.06;
        values[88] = 0.015;
        Reducer_DefaultOptions(&options);
        options.InitialCount = static_cast<int32_t>(start.size());
        options.InitialIndices = start.data();
        options.MinPanelSize = 50;
        options.BulkAddShare = 3.0;
        options.SubtractThreshFrac = 50;
        // A fresh workspace for every fit, so that each says its accuracy.
        options.Fitter.AllowUpdating = 0;
    }
    ~TwoBlocks() { Reducer_FreeResult(&result); }
    int Run() {
        return Reducer_Fit(cloud.N(), cloud.Table(), values.data(), &kernel, 0.1, nullptr, 64e6, &options, &result,
                           nullptr, &lines.core, 1.0);
    }
    std::vector<int32_t> Centres() const {
        std::vector<int32_t> c(result.Indices, result.Indices + result.Count);
        std::sort(c.begin(), c.end());
        return c;
    }
};

// One pass worked by hand from the rules (accuracy 0.1, so every residual is
// measured against 0.1 - 0.05 x 0.1 = 0.095):
//   Panels: MaxAdd starts at max(100 / 30, 10) = 10 panels, lowered to
//     100 / 50 = 2; the working MaxAdd is 2 panels / sample rate 1 = 2.
//   Pass 1 fits the 8 start centres. Their largest target 1e-5 is below the
//     smallest accuracy, so the fit accuracy is
//     (min(1.0, 0.95) - 0.05) x 0.05 x 1e-5 = 4.5e-7. Removal: MaxAdd 2 does
//     not exceed the removal count 100 / 50 = 2, so no centre goes.
//   The fit is about 1e-5 everywhere, so the relative residuals are the
//     bumps / 0.095: 12: 10.5, 37: 5.26, 41: 0.53 (block A); 62: 0.63,
//     88: 0.16 (block B).
//   Bulk add: 12, 37, 41 and 62 exceed f / 4 = 0.25, and 4 < MaxAdd x 3.0 =
//     6, so all four are added. In addition each panel's worst point when
//     at least f = 1: 12 in A (merged away as chosen twice); B has none, so
//     its flag drops from 1 to 0. Five are chosen, four of them new.
//   Bad points (residual at least 0.095): 12 and 37, so 2 of 100 - 8; with
//     Confidence 1 the fit is not done. NumCentres / NumGood = 8 / 98.
//   Pass 2 fits 8 + 4 = 12 centres (12, chosen twice, is merged away); the largest target 1.0 exceeds the
//     accuracy, so the fit accuracy is (0.95 - 0.05) x 0.1 = 0.09, and again
//     nothing is removed. Only block A is evaluated: 50 points in 1/2 panels.
// 88 never joins, and 41 and 62 join only through the bulk add.
TEST(ReducerFit, OnePassWorkedByHand) {
    TwoBlocks b;
    b.lines.abortOn = " 2: +";  // ends the fit at the start of pass 3
    ASSERT_EQ(CoreStatus_UserAbort, b.Run());
    EXPECT_EQ((std::vector<int32_t>{0, 4, 12, 20, 25, 37, 41, 50, 54, 62, 70, 75}), b.Centres());
    EXPECT_EQ(1, b.lines.Count(5, "NumCent = 8 3D, Residual 1.00e-05, Acc 4.50e-07"));
    EXPECT_EQ(1, b.lines.Count(5, "NumCent = 12 3D, Residual 1.00e+00, Acc 9.00e-02"));
    EXPECT_EQ(1, b.lines.Count(3, " 1: +8 = 8 pts, "));
    EXPECT_EQ(1, b.lines.Count(3, "acc 1.00e+00 on 100 pts in 2/2 panels"));
    EXPECT_EQ(1, b.lines.Count(5, "NumCentres / NumGood = 0.08"));
    EXPECT_EQ(1, b.lines.Count(3, " 2: +5 = 12 pts, "));
    EXPECT_EQ(1, b.lines.Count(3, "on 50 pts in 1/2 panels"));
    EXPECT_EQ(0, b.lines.Count(5, "Removing"));
}

// The removal count by hand, from 16 start centres: with SubtractThreshFrac
// 100 the removal count is 1, below MaxAdd 2; a huge accuracy scale puts
// every coefficient under the threshold, but the count looks at no more than
// MaxAdd = 2 of them; 2 exceeds 1 and is within the 16 - 1 centres added in
// pass 1, so two start centres go before the first selection.
TEST(ReducerFit, RemovalCountWorkedByHand) {
    TwoBlocks b;
    b.start = {0, 1, 2, 3, 4, 5, 20, 25, 50, 51, 52, 53, 54, 55, 70, 75};
    b.options.InitialCount = static_cast<int32_t>(b.start.size());
    b.options.InitialIndices = b.start.data();
    b.options.SubtractThreshFrac = 100;
    b.options.AccuracyScale = 1e12;
    b.lines.abortOn = " 1: +";
    ASSERT_EQ(CoreStatus_UserAbort, b.Run());
    EXPECT_EQ(1, b.lines.Count(5, "Removing 2 unnecessary centres"));
    EXPECT_EQ(14, b.result.Count);
}

TEST(ReducerFit, FewerThanOneHundredPointsAreAllCentres) {
    Reduction r(99, 6);
    ASSERT_EQ(0, r.Run(1e-3));
    EXPECT_EQ(99, r.result.Count);
    EXPECT_LT(r.Miss(), 1e-8);
}

}  // namespace

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

TEST(ReducerFit, FewerThanOneHundredPointsAreAllCentres) {
    Reduction r(99, 6);
    ASSERT_EQ(0, r.Run(1e-3));
    EXPECT_EQ(99, r.result.Count);
    EXPECT_LT(r.Miss(), 1e-8);
}

}  // namespace

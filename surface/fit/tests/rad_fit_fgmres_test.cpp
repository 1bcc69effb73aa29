#include "surface/fit/rad_fit_fgmres.h"

#include <gtest/gtest.h>

#include <vector>

#include "surface/fit/tests/fit_fixtures.h"
#include "surface/frame/status_codes.h"

namespace {

struct Solve {
    Cloud cloud;
    std::vector<double> values;
    BasicFunctionKernel kernel = Biharmonic(3);
    std::vector<double> coeffs;
    double shift[3] = {0, 0, 0};
    double achieved = -2.0;
    RadFitFGMResOptions options{};

    Solve(int32_t N, uint32_t seed) : cloud(ShellCloud(3, N, seed)), values(FieldValues(cloud)) {
        coeffs.assign(static_cast<size_t>(N) + 4, 0.0);
        RadFitFGMRes_DefaultOptions(&options);
        options.AchievedAccuracyOut = &achieved;
    }
    int Run(double accuracy, const CoreReporter* r = nullptr) {
        double* c = coeffs.data();
        return RadFitFGMRes(cloud.N(), cloud.Table(), values.data(), &kernel, accuracy, 64e6, &options, &c, shift, r,
                            1.0);
    }
    double Miss() const {
        return LargestMiss(kernel, cloud.N(), cloud.rows.data(), coeffs.data(), shift, cloud, values, 2);
    }
};

// Up to MaxCholeskySize centres the direct fit decides; beyond, the
// preconditioned solve reaches the accuracy.
TEST(RadFitFGMRes, DirectUpToTheBottomSizeIteratedBeyond) {
    TrackedScope scope;
    for (int32_t N : {1000, 3000}) {
        Solve s(N, 41);
        KeptLines lines(5, kCategoryFgmresFit);
        ASSERT_EQ(0, s.Run(1e-3, &lines.core)) << N;
        EXPECT_EQ(N > 1000 ? 1 : 0, lines.Count(5, "Initializing Preconditioner...")) << N;
        EXPECT_LT(s.Miss(), 1e-3) << N;
        EXPECT_GE(s.achieved, 0.0);
        EXPECT_LE(s.achieved, 1e-3);
    }
    EXPECT_EQ(0u, scope.Held());
}

TEST(RadFitFGMRes, TrivialAndRefusedInputs) {
    Solve s(200, 42);
    double largest = 0.0;
    for (double v : s.values) largest = std::fmax(largest, std::fabs(v));
    s.coeffs.assign(s.coeffs.size(), 3.0);
    EXPECT_EQ(CoreStatus_TrivialSolution, s.Run(2.0 * largest));
    for (double c : s.coeffs) EXPECT_EQ(0.0, c);
    EXPECT_EQ(largest, s.achieved);
    EXPECT_EQ(CoreStatus_NegativeAccuracy, s.Run(0.0));
    double* c = s.coeffs.data();
    EXPECT_EQ(CoreStatus_InvalidBasicFunction,
              RadFitFGMRes(200, s.cloud.Table(), s.values.data(), nullptr, 0.1, 0, nullptr, &c, s.shift, nullptr, 1.0));
    EXPECT_EQ(CoreStatus_InvalidInput,
              RadFitFGMRes(0, s.cloud.Table(), s.values.data(), &s.kernel, 0.1, 0, nullptr, &c, s.shift, nullptr, 1.0));
}

// Small levels over 2000 centres: a bottom of at most 30 points under
// levels 1 and 2 of 204 and 24 points. With every preconditioner call
// counted as slow, level 1 grows until it reaches its largest share, which
// discards it and starts it again from a new spread-out sample, and the
// bottom grows past its size and becomes a level of its own. The debug
// lines give the norms inside the preconditioner.
TEST(RadFitFGMRes, LevelsAreDiscardedAndCreatedAsTheyGrow) {
    TrackedScope scope;
    Solve s(2000, 43);
    s.options.Bottom.MaxCholeskySize = 30;
    s.options.MinimumRate = 1e-3;
    s.options.CoarseAddPeriod = 1;
    KeptLines lines(6, kCategoryFgmresFit);
    ASSERT_EQ(0, s.Run(1e-10, &lines.core));
    EXPECT_LT(s.Miss(), 1e-10);
    EXPECT_EQ(1, lines.Count(5, "Discarding level 1. Starting again."));
    EXPECT_EQ(1, lines.Count(5, "  Adding 9 points to level 2. Now 33 points."));
    EXPECT_EQ(1, lines.Count(5, "    New level created with 33 points."));
    EXPECT_EQ(1, lines.Count(5, "RadFitFGMRes compiled on "));
    EXPECT_EQ(1, lines.Count(5, "Max inner subdomain size"));
    for (const char* text : {"Preconditioner inf-norm of values is", "Residual inf-norm after chols is",
                             "Residual inf-norm after level 1 is"})
        EXPECT_GT(lines.Count(6, text), 0) << text;
    EXPECT_EQ(0u, scope.Held());
}

// Points added to a coarse level spread over space instead of following
// the largest residuals: another fit, as accurate.
TEST(RadFitFGMRes, WellSpacedPointsChangeTheCoarseLevels) {
    TrackedScope scope;
    std::vector<double> coeffs[2];
    for (int32_t spaced : {0, 1}) {
        Solve s(2000, 44);
        s.options.Bottom.MaxCholeskySize = 100;
        s.options.MinimumRate = 1e-3;
        s.options.AddWellSpaced = spaced;
        KeptLines lines(5, kCategoryFgmresFit);
        ASSERT_EQ(0, s.Run(1e-6, &lines.core)) << spaced;
        EXPECT_LT(s.Miss(), 1e-6) << spaced;
        EXPECT_EQ(1, lines.Count(5, spaced ? "Add well spaced points:       Yes" : "Add well spaced points:       No"));
        EXPECT_GT(lines.Count(5, "points added to level 1."), 0) << spaced;
        coeffs[spaced] = s.coeffs;
    }
    EXPECT_NE(coeffs[0], coeffs[1]);
    EXPECT_EQ(0u, scope.Held());
}

}  // namespace

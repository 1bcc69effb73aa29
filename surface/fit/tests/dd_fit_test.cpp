#include "surface/fit/dd_fit.h"

#include "surface/fit/dd_fit_internal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "surface/fit/tests/fit_fixtures.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"

namespace {

struct Fit {
    Cloud cloud;
    std::vector<double> values;
    BasicFunctionKernel kernel = Biharmonic(3);
    std::vector<double> coeffs;
    double shift[3] = {0, 0, 0};
    double achieved = -2.0;
    DDFitOptions options{};

    Fit(int32_t N, uint32_t seed) : cloud(ShellCloud(3, N, seed)), values(FieldValues(cloud)) {
        coeffs.assign(static_cast<size_t>(N) + 4, 0.0);
        DDFit_DefaultOptions(&options);
        options.AchievedError = &achieved;
    }
    int Run(double accuracy, DDFitWorkspace* ws = nullptr, const CoreReporter* r = nullptr, double memory = 64e6) {
        double* c = coeffs.data();
        return DDFit_Run(cloud.N(), cloud.Table(), values.data(), &kernel, accuracy, memory, &options, ws, &c, shift, r,
                         1.0);
    }
    double Miss() const {
        return LargestMiss(kernel, cloud.N(), cloud.rows.data(), coeffs.data(), shift, cloud, values);
    }
};

TEST(DDFitRun, RefusesBadArguments) {
    TrackedScope scope;
    Fit f(20, 1);
    double* c = f.coeffs.data();
    const struct {
        int32_t N;
        double accuracy;
        bool nullValues;
        int expected;
    } cases[] = {
        {20, 0.1, true, CoreStatus_NullArgument},
        {0, 0.1, false, CoreStatus_InvalidInput},
        {20, 0.0, false, CoreStatus_NegativeDistance},
        {4, 0.1, false, CoreStatus_NotEnoughPoints},  // four terms need five centres
    };
    for (const auto& t : cases) {
        EXPECT_EQ(t.expected, DDFit_Run(t.N, f.cloud.Table(), t.nullValues ? nullptr : f.values.data(), &f.kernel,
                                        t.accuracy, 0, nullptr, nullptr, &c, f.shift, nullptr, 1.0))
            << t.N << " " << t.accuracy;
    }
    EXPECT_EQ(CoreStatus_InvalidBasicFunction, DDFit_Run(20, f.cloud.Table(), f.values.data(), nullptr, 0.1, 0, nullptr,
                                                         nullptr, &c, f.shift, nullptr, 1.0));
    EXPECT_EQ(0u, scope.Held());
}

TEST(DDFitRun, ValuesWithinTheAccuracyGiveZeroCoefficients) {
    TrackedScope scope;
    Fit f(200, 2);
    for (double& v : f.values) v *= 1e-3;
    f.coeffs.assign(f.coeffs.size(), 7.0);
    EXPECT_EQ(CoreStatus_TrivialSolution, f.Run(1.0));
    for (double c : f.coeffs) EXPECT_EQ(0.0, c);
    double largest = 0.0;
    for (double v : f.values) largest = std::fmax(largest, std::fabs(v));
    EXPECT_EQ(largest, f.achieved);
}

TEST(DDFitRun, FewCentresAreFittedDirectlyWithoutIterating) {
    TrackedScope scope;
    Fit f(600, 3);
    DDFitWorkspace ws{};
    KeptLines lines(6, kCategoryMultilevelFit);
    ASSERT_EQ(0, f.Run(1e-4, &ws, &lines.core));
    EXPECT_EQ(1, ws.NumLevels);
    EXPECT_EQ(0, lines.Count(5, "Itn    Time"));
    EXPECT_LT(f.Miss(), 1e-8);
    EXPECT_EQ(0.0, f.achieved);
    DDFit_FreeWorkspace(&ws);
    EXPECT_EQ(0u, scope.Held());
}

// Enough centres for a coarse level: every centre within the accuracy,
// reached by iterating; a memory limit of 0 keeps no factor and warns not.
TEST(DDFitRun, IteratesToTheAccuracyWithAndWithoutStoredFactors) {
    TrackedScope scope;
    for (double memory : {64e6, 0.0}) {
        Fit f(3000, 4);
        DDFitWorkspace ws{};
        KeptLines lines(6, kCategoryMultilevelFit);
        const double accuracy = 1e-3;
        ASSERT_EQ(0, f.Run(accuracy, &ws, &lines.core, memory)) << memory;
        EXPECT_GE(ws.NumLevels, 2);
        EXPECT_GT(ws.Levels[0].Iterations, 0);
        EXPECT_LT(f.Miss(), accuracy) << memory;
        EXPECT_GE(f.achieved, 0.0);
        EXPECT_LT(f.achieved, accuracy);
        int32_t held = 0;
        for (int32_t i = 0; i < ws.Levels[0].Decomp.count; ++i)
            held += ws.Levels[0].Decomp.subdomains[i].factor ? 1 : 0;
        if (memory == 0.0) {
            EXPECT_EQ(0, held);
            EXPECT_EQ(0, lines.CountLevel(2));
        } else {
            EXPECT_GT(held, 0);
        }
        DDFit_FreeWorkspace(&ws);
    }
    EXPECT_EQ(0u, scope.Held());
}

// The subdomain factors may use the memory limit less what the largest
// level needs for its evaluation and local solves.
TEST(DDFitRun, FactorBudgetIsTheLimitLessTheLargestLevelNeed) {
    TrackedScope scope;
    Fit f(3000, 10);
    DDFitWorkspace ws{};
    ASSERT_EQ(0, f.Run(1e-3, &ws, nullptr, 20e6));
    EXPECT_DOUBLE_EQ(20e6 - DDFit_LargestLevelNeed(&ws), ws.FactorBudget);
    DDFit_FreeWorkspace(&ws);
    EXPECT_EQ(0u, scope.Held());
}

// A tracked peak above the limit, however it came about, frees the stored
// factors at the next coarse correction and starts the peak again from
// the current count.
TEST(DDFitRun, PeakAboveTheLimitFreesFactorsAndIsReset) {
    TrackedScope scope;
    Fit f(3000, 11);
    f.options.Direct.MaxCholeskySize = 200;
    DDFitWorkspace ws{};
    KeptLines lines(5, kCategoryMultilevelFit);
    Mem_SetPeakBytes(1u << 31);
    ASSERT_EQ(0, f.Run(1e-3, &ws, &lines.core, 64e6));
    EXPECT_LT(f.Miss(), 1e-3);
    EXPECT_LT(Mem_PeakBytes(), 1u << 31);
    EXPECT_GT(lines.Count(5, "Oops, I was using too much RAM."), 0);
    DDFit_FreeWorkspace(&ws);
    EXPECT_EQ(0u, scope.Held());
}

// With timing asked for the first two of three levels the reporter gets
// each iteration's time and error, the times of the parts of a step, the
// second level's fit and initialisation, and the error history.
TEST(DDFitRun, TimingLinesOfTheTimedLevels) {
    TrackedScope scope;
    Fit f(3000, 12);
    f.options.Direct.MaxCholeskySize = 200;
    f.options.LevsToTime = 2;
    KeptLines lines(6, kCategoryMultilevelFit);
    ASSERT_EQ(0, f.Run(1e-4, nullptr, &lines.core));
    for (const char* text : {"Itn 1 achieved error of ", "Cholesky Backsubs took ", "Fast Multiply took ",
                             "Level 2 fit took ", "  Initialization took ", "Iteration      Error", "\nError History:",
                             "Solving to accuracy 1.0000e-04 took ", "Total Time taken was "})
        EXPECT_GT(lines.Count(6, text), 0) << text;
    EXPECT_EQ(0u, scope.Held());
}

// UseLambda 2 goes on from the coefficients and the residual passed in,
// without another product; it needs the residual.
TEST(DDFitRun, PassedResidualContinuesAFit) {
    TrackedScope scope;
    Fit f(3000, 13);
    std::vector<double> residual(3000, 0.0);
    f.options.Residual = residual.data();
    ASSERT_EQ(0, f.Run(1e-2));
    double largest = 0.0;
    for (double r : residual) largest = std::fmax(largest, std::fabs(r));
    EXPECT_LT(largest, 1e-2);
    f.options.UseLambda = 2;
    KeptLines lines(5, kCategoryMultilevelFit);
    ASSERT_EQ(0, f.Run(1e-4, nullptr, &lines.core));
    char line[96];
    std::snprintf(line, sizeof line, "Using Passed Residual. InfNorm is %.2e", largest);
    EXPECT_EQ(1, lines.Count(5, line)) << line;
    EXPECT_LT(f.Miss(), 1e-4);
    f.options.Residual = nullptr;
    EXPECT_EQ(CoreStatus_InvalidInput, f.Run(1e-4));
    EXPECT_EQ(0u, scope.Held());
}

// The abort flag set during the first iteration ends the fit with 10.
TEST(DDFitRun, AbortDuringTheIterations) {
    TrackedScope scope;
    Fit f(3000, 14);
    KeptLines lines(5, kCategoryMultilevelFit);
    lines.abortOn = "Itn    Time";
    EXPECT_EQ(CoreStatus_UserAbort, f.Run(1e-4, nullptr, &lines.core));
    EXPECT_EQ(0u, scope.Held());
}

// A multiquadric of wide shape on a shell stalls: steps of all but zero
// length whose error no longer falls. With one tolerated non-converging
// iteration and no undoing, the fit gives up with 9 after the last
// iteration of its table, and the caller keeps the coefficients and the
// error reached (the last line of the table).
TEST(DDFitRun, StalledIterationsGiveUpWithNoConvergence) {
    TrackedScope scope;
    Fit f(2000, 3);
    BasicFunction_Init(kBasicMultiquadric, 3, 1, 0.5, 1, &f.kernel, nullptr);
    f.options.MaxConvergeErrors = 1;
    f.options.RateUndoThresh = 1e9;
    KeptLines lines(5, kCategoryMultilevelFit);
    ASSERT_EQ(CoreStatus_NoConvergence, f.Run(1e-5, nullptr, &lines.core));
    int32_t last = 0;
    double error = -1.0;
    for (const auto& l : lines.lines) {
        int32_t itn = 0;
        double seconds = 0, alpha = 0, e = 0;
        if (l.first == 5 && std::sscanf(l.second.c_str(), "%d %lfs %lf %lf", &itn, &seconds, &alpha, &e) == 4) {
            last = itn;
            error = e;
        }
    }
    ASSERT_GT(last, 1);
    char text[96];
    std::snprintf(text, sizeof text, "1 of %d iterations have not converged. Giving up.", last);
    EXPECT_EQ(1, lines.Count(1, text)) << text;
    char printed[16];
    std::snprintf(printed, sizeof printed, "%.2e", f.achieved);
    EXPECT_EQ(error, std::atof(printed));
    EXPECT_GT(f.achieved, 1e-5);
    double sum = 0.0;
    for (double c : f.coeffs) sum += std::fabs(c);
    EXPECT_GT(sum, 0.0);
    EXPECT_EQ(0u, scope.Held());
}

// Progress over the iterations of level 1. Values scaled to a largest
// absolute value of 1 and accuracy 1e-4 give a working accuracy of
// 1e-4 x (1 - 0.1) = 9e-5; the error must be multiplied by 0.65
// ceil(ln(9e-5) / ln(0.65)) = ceil(21.63) = 22 times to get there, so the
// first iteration ends at P0 + (1 - P0) / 22. After iteration i the next
// share is (1 - P) / (1 + the multiplications by e_i / e_(i-1), kept within
// 0.1 to 0.9, that take e_i down to 9e-5).
TEST(DDFitRun, ProgressSharesFollowTheErrorRate) {
    TrackedScope scope;
    Fit f(3000, 13);
    double largest = 0.0;
    for (double v : f.values) largest = std::fmax(largest, std::fabs(v));
    for (double& v : f.values) v /= largest;
    KeptLines lines(5, kCategoryMultilevelFit);
    DDFitWorkspace ws{};
    ASSERT_EQ(0, f.Run(1e-4, &ws, &lines.core));
    EXPECT_EQ(1.0, lines.progress);
    ASSERT_EQ(0, lines.Count(5, "points added to level"));
    const double a = 9e-5;
    std::vector<double> at;  // progress at the header, then at each iteration's line
    for (size_t q = 0; q < lines.lines.size(); ++q) {
        int32_t itn = 0;
        double seconds = 0.0;
        const std::string& text = lines.lines[q].second;
        if (text.find("Itn    Time") != std::string::npos || std::sscanf(text.c_str(), "%d %lfs", &itn, &seconds) == 2)
            at.push_back(lines.progressAt[q]);
    }
    const int32_t iterations = ws.Levels[0].Iterations;
    ASSERT_EQ(static_cast<size_t>(iterations) + 1, at.size());
    ASSERT_GE(iterations, 3);
    EXPECT_NEAR(at[0] + (1.0 - at[0]) / 22.0, at[1], 1e-12);
    std::vector<double> e(ws.Levels[0].History, ws.Levels[0].History + iterations + 1);
    e[0] = 1.0;
    for (int32_t i = 2; i <= iterations; ++i) {
        const double ratio = std::fmin(std::fmax(e[i - 1] / e[i - 2], 0.1), 0.9);
        const double k = 1.0 + std::ceil(std::log(a / e[i - 1]) / std::log(ratio));
        EXPECT_NEAR(at[i - 1] + (1.0 - at[i - 1]) / k, at[i], 1e-12) << i;
    }
    DDFit_FreeWorkspace(&ws);
    EXPECT_EQ(0u, scope.Held());
}

// Through three levels and more, with coarse levels iterating inside every
// step, the progress never falls back, never passes the end before the fit
// is done (the products do not carry it on) and ends at 1.
TEST(DDFitRun, ProgressRisesToOneThroughTheLevels) {
    TrackedScope scope;
    Fit f(3000, 9);
    f.options.Direct.MaxCholeskySize = 200;
    KeptLines lines(6, kCategoryMultilevelFit);
    ASSERT_EQ(0, f.Run(1e-3, nullptr, &lines.core));
    ASSERT_GT(lines.Count(5, "  NumCent = "), 0);  // a coarse level iterated
    for (size_t q = 1; q < lines.progressAt.size(); ++q)
        ASSERT_LE(lines.progressAt[q - 1], lines.progressAt[q]) << q << " " << lines.lines[q].second;
    EXPECT_LT(lines.progressAt.front(), 0.2);
    EXPECT_LT(lines.progressAt.back(), 1.0);
    EXPECT_EQ(1.0, lines.progress);
    EXPECT_EQ(0u, scope.Held());
}

// A small coarsest level gives three levels and more: every coarse
// correction starts from zero away from the coarse points.
TEST(DDFitRun, ThreeLevelsConvergeInFewIterations) {
    TrackedScope scope;
    Fit f(3000, 9);
    f.options.Direct.MaxCholeskySize = 200;
    DDFitWorkspace ws{};
    ASSERT_EQ(0, f.Run(1e-3, &ws));
    EXPECT_GE(ws.NumLevels, 3);
    EXPECT_LT(ws.Levels[0].Iterations, 10);
    EXPECT_LT(f.Miss(), 1e-3);
    DDFit_FreeWorkspace(&ws);
    EXPECT_EQ(0u, scope.Held());
}

// Reaching MaxIteration is reported even when the last iteration converged:
// the coefficients and the error are those of the converged fit.
TEST(DDFitRun, MaxIterationIsReportedAlsoWhenTheLastIterationConverged) {
    TrackedScope scope;
    Fit free(3000, 5);
    DDFitWorkspace ws{};
    ASSERT_EQ(0, free.Run(1e-3, &ws));
    const int32_t used = ws.Levels[0].Iterations;
    DDFit_FreeWorkspace(&ws);
    ASSERT_GT(used, 1);

    Fit exact(3000, 5);
    exact.options.MaxIteration = used;
    EXPECT_EQ(CoreStatus_ReachedMaxIteration, exact.Run(1e-3));
    EXPECT_LT(exact.Miss(), 1e-3);
    EXPECT_GE(exact.achieved, 0.0);
    EXPECT_LT(exact.achieved, 1e-3);

    Fit never(3000, 5);
    never.options.MaxIteration = 1;
    EXPECT_EQ(CoreStatus_ReachedMaxIteration, never.Run(1e-7));
    EXPECT_GT(never.achieved, 1e-7);
    EXPECT_EQ(0u, scope.Held());
}

TEST(DDFitRun, WorkspaceReusedForNewValuesAndRefactoredForNewRho) {
    TrackedScope scope;
    Fit f(3000, 6);
    DDFitWorkspace ws{};
    ASSERT_EQ(0, f.Run(1e-3, &ws));
    const Subdomain* subdomains = ws.Levels[0].Decomp.subdomains;
    const int32_t levels = ws.NumLevels;

    KeptLines lines(6, kCategoryMultilevelFit);
    for (double& v : f.values) v = 2.0 * v + 0.1;
    ASSERT_EQ(0, f.Run(1e-3, &ws, &lines.core));
    EXPECT_EQ(subdomains, ws.Levels[0].Decomp.subdomains);  // not set up again
    EXPECT_EQ(levels, ws.NumLevels);
    EXPECT_EQ(0, lines.Count(5, "Discarding"));
    EXPECT_LT(f.Miss(), 1e-3);

    f.options.Smoothing = 1;
    f.options.Direct.Rho = 1e-6;
    ASSERT_EQ(0, f.Run(1e-3, &ws, &lines.core));
    EXPECT_EQ(1, lines.Count(5, "Rho does not match fit workspace."));
    EXPECT_EQ(subdomains, ws.Levels[0].Decomp.subdomains);  // factors only
    DDFit_FreeWorkspace(&ws);
    EXPECT_EQ(0u, scope.Held());
}

// Centres appended to a workspace fit as well as a fresh run; beyond half
// as many again the workspace is emptied.
TEST(DDFitUpdate, AppendedCentresFitLikeAFreshRun) {
    TrackedScope scope;
    Fit all(3300, 7);
    Fit part = all;
    part.cloud.flat.resize(3000 * 3);
    part.cloud.Reindex();
    part.values.resize(3000);
    part.coeffs.assign(3004, 0.0);
    DDFitWorkspace ws{};
    ASSERT_EQ(0, part.Run(1e-3, &ws));
    ASSERT_EQ(0, DDFit_Update(all.cloud.N(), all.cloud.Table(), &ws));
    EXPECT_EQ(1, ws.Initialised);
    EXPECT_EQ(3300, ws.NumCent);
    ASSERT_EQ(0, all.Run(1e-3, &ws));
    EXPECT_LT(all.Miss(), 1e-3);
    DDFit_FreeWorkspace(&ws);

    Fit big(4600, 8);
    Fit small = big;
    small.cloud.flat.resize(3000 * 3);
    small.cloud.Reindex();
    small.values.resize(3000);
    small.coeffs.assign(3004, 0.0);
    ASSERT_EQ(0, small.Run(1e-3, &ws));
    ASSERT_EQ(0, DDFit_Update(big.cloud.N(), big.cloud.Table(), &ws));
    EXPECT_EQ(0, ws.Initialised);
    EXPECT_EQ(nullptr, ws.Levels);
    EXPECT_EQ(0u, scope.Held());
}

}  // namespace

#include "surface/frame/solution.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "surface/frame/basic_function.h"
#include "surface/frame/core_rbf.h"
#include "surface/frame/record_memory.h"
#include "surface/frame/tests/capturing_reporter.h"
#include "surface/frame/tracked_memory.h"

namespace {

int Create(Solution3* s, int32_t n) { return Solution3_Create(s, n, 1); }
int Create(Solution2* s, int32_t n) { return Solution2_Create(s, n, 1); }

// A valid solution of n random centres with random coefficients.
template <class Solution, int D>
Solution Random(int32_t n, int32_t type, int32_t degree, unsigned seed) {
    Solution s;
    EXPECT_EQ(0, Create(&s, n));
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-2.0, 2.0);
    for (int i = 0; i < D * n; ++i) s.Centres[i] = u(rng);
    s.PolyDegree = degree;
    s.CoeffCount = n + Poly_CoeffCount(degree, D);
    for (int i = 0; i < s.CoeffCount; ++i) s.Coeffs[i] = u(rng);
    for (int i = 0; i < n; ++i) s.Indices[i] = 3 * i;
    for (int k = 0; k < D; ++k) s.PolyBase[k] = u(rng);
    s.Basic = BasicFunction{type, 1.5, type == 3 ? -9 : 1};
    return s;
}

// The value at x written out independently: the kernel sum plus the
// polynomial in the documented coefficient order.
template <class Solution, int D>
double Evaluate(const Solution& s, const double* x) {
    BasicFunctionKernel kernel;
    EXPECT_EQ(0, BasicFunction_ToCore(&s.Basic, 0.0, D, s.PolyDegree, &kernel, nullptr));
    double sum = 0.0;
    for (int j = 0; j < s.CentreCount; ++j) {
        double r2 = 0.0;
        for (int k = 0; k < D; ++k) r2 += (x[k] - s.Centres[D * j + k]) * (x[k] - s.Centres[D * j + k]);
        sum += s.Coeffs[j] * kernel.Phi(&kernel, r2);
    }
    const double* c = s.Coeffs + s.CentreCount;
    double y[3] = {0, 0, 0};
    for (int k = 0; k < D; ++k) y[k] = x[k] - s.PolyBase[k];
    if (s.PolyDegree >= 0) sum += c[0];
    if (s.PolyDegree == 1)
        for (int k = 0; k < D; ++k) sum += c[1 + k] * y[k];
    if (s.PolyDegree == 2) {
        sum += c[1] * y[0] + c[2] * y[0] * y[0] + c[3] * y[1] + c[4] * y[0] * y[1] + c[5] * y[1] * y[1];
        if (D == 3) sum += c[6] * y[2] + c[7] * y[0] * y[2] + c[8] * y[1] * y[2] + c[9] * y[2] * y[2];
    }
    return sum;
}

// A random proper rotation (orthonormal rows) and translation, three rows
// of four doubles.
std::vector<double> RandomRigidMotion(unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> g;
    double q[4] = {g(rng), g(rng), g(rng), g(rng)};
    const double n = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    for (double& v : q) v /= n;
    const double w = q[0], x = q[1], y = q[2], z = q[3];
    return {1 - 2 * (y * y + z * z), 2 * (x * y - w * z),     2 * (x * z + w * y),     g(rng),
            2 * (x * y + w * z),     1 - 2 * (x * x + z * z), 2 * (y * z - w * x),     g(rng),
            2 * (x * z - w * y),     2 * (y * z + w * x),     1 - 2 * (x * x + y * y), g(rng)};
}

TEST(SolutionRecords, CreateCopyAndFree) {
    Solution3 s;
    ASSERT_EQ(0, Solution3_Create(&s, 5, 0));
    EXPECT_EQ(5, s.CentreCount);
    EXPECT_EQ(20, s.CoeffCount);
    EXPECT_EQ(-2, s.PolyDegree);
    EXPECT_EQ(nullptr, s.Indices);
    Solution3_Free(&s);
    EXPECT_EQ(6, Solution3_Create(nullptr, 5, 0));
    int status = 2;
    for (int allowed = 0; status != 0 && allowed < 1000; ++allowed) {
        Record_FailAllocationsAfterForTesting(allowed);
        status = Solution3_Create(&s, 5, 1);
        Record_FailAllocationsAfterForTesting(-1);
        if (status == 0) break;
        EXPECT_EQ(2, status);
        EXPECT_EQ(nullptr, s.Coeffs);
        EXPECT_EQ(0, s.CentreCount);
    }
    ASSERT_EQ(0, status);
    EXPECT_NE(nullptr, s.Indices);
    Solution3_Free(&s);

    Solution3 source = Random<Solution3, 3>(6, 0, 1, 2);
    std::snprintf(source.Creator, sizeof source.Creator, "%-31s", "Selvane V 1.4.2");
    source.Rho = 0.25;
    Solution3 copy;
    ASSERT_EQ(0, Solution3_Copy(&copy, &source));
    EXPECT_NE(source.Centres, copy.Centres);
    EXPECT_EQ(source.Centres[17], copy.Centres[17]);
    EXPECT_EQ(source.Coeffs[9], copy.Coeffs[9]);
    EXPECT_EQ(15, copy.Indices[5]);
    EXPECT_EQ(0.25, copy.Rho);
    EXPECT_STREQ(source.Creator, copy.Creator);
    EXPECT_EQ(1, Solution3_Check(&copy, nullptr));
    Solution3_Free(&copy);
    EXPECT_EQ(6, Solution3_Copy(&copy, nullptr));
    source.CoeffCount = 6 + 16;  // more than the arrays hold
    EXPECT_EQ(6, Solution3_Copy(&copy, &source));
    Solution3_Free(&source);
}

TEST(SolutionRecords, CheckReportsTheFirstFault) {
    struct Case {
        const char* what;
        void (*spoil)(Solution3*);
        const char* message;
    };
    const Case cases[] = {
        {"valid", [](Solution3*) {}, nullptr},
        {"no centres", [](Solution3* s) { s->CentreCount = 0; },
         "Solution contains an invalid number of centres and/or coefficients"},
        {"coefficients of degree 1 in 2D", [](Solution3* s) { s->CoeffCount = s->CentreCount + 3; },
         "Solution number of coeffs inconsistent with polynomial degree"},
        {"unset degree", [](Solution3* s) { s->PolyDegree = -2; },
         "Solution number of coeffs inconsistent with polynomial degree"},
        {"negative accuracy", [](Solution3* s) { s->DefaultEvalAccuracy = -1e-3; },
         "Default evaluation accuracy for solution is negative"},
        {"no coefficients", [](Solution3* s) { s->Coeffs = nullptr; }, "Solution structure is invalid"},
        {"negative rho", [](Solution3* s) { s->Rho = -1; }, "Rho smoothing value must be positive."},
        {"unknown type", [](Solution3* s) { s->Basic.Type = 5; }, "Invalid basic function type."},
        {"degree too low",
         [](Solution3* s) {
             s->PolyDegree = -1;
             s->CoeffCount = s->CentreCount;
         },
         "Polynomial degree too low (-1). Degree 0 required"},
    };
    for (const Case& c : cases) {
        Solution3 s = Random<Solution3, 3>(4, 0, 1, 5);
        double* coeffs = s.Coeffs;
        c.spoil(&s);
        CapturingReporter rep(6);
        EXPECT_EQ(c.message ? 0 : 1, Solution3_Check(&s, &rep.reporter)) << c.what;
        if (c.message) {
            ASSERT_EQ(1u, rep.lines.size()) << c.what;
            EXPECT_EQ((CapturedLine{1, c.message}), rep.lines[0]) << c.what;
        } else {
            EXPECT_TRUE(rep.lines.empty());
        }
        s.Coeffs = coeffs;
        Solution3_Free(&s);
    }
    CapturingReporter rep(6);
    EXPECT_EQ(0, Solution3_Check(nullptr, &rep.reporter));
    EXPECT_EQ("Solution structure pointer is invalid", rep.lines.at(0).text);
}

TEST(SolutionCore, BasicFunctionsSelectTheirKernels) {
    struct Case {
        int32_t type;
        double c;
        int32_t k;
        double s;
        int32_t dimension, degree;
        int32_t kernelType, kernelDim;
        double param;
        int32_t exponent;
    };
    const Case cases[] = {
        {0, 9, 9, 0.0, 3, 1, 0, 3, 0.0, 0},      // biharmonic
        {0, 9, 9, 0.5, 3, 1, 2, 3, 0.5, 1},      // shifted: multiquadric in 3D
        {0, 9, 9, 0.5, 2, 1, 4, 2, 0.5, 0},      // shifted biharmonic in 2D
        {1, 9, 9, 0.0, 2, 2, 1, 2, 0.0, 0},      // triharmonic
        {1, 9, 9, -0.5, 3, 1, 2, 3, -0.5, 3},    // any non-zero s shifts it
        {2, 2.0, 3, 0.5, 3, 1, 2, 3, 2.5, 3},    // multiquadric: C + s
        {2, 2.0, 1, -0.5, 3, 0, 2, 3, 2.0, 1},   // a negative s adds nothing
        {3, 1.0, -9, 0.0, 2, 0, 7, 2, 1.0, -9},  // approximate spherical
        {4, 0.8, 5, 0.0, 3, 1, 8, 3, 0.8, 1},    // spherical (the row keeps its exponent)
    };
    for (const Case& c : cases) {
        const BasicFunction basic{c.type, c.c, c.k};
        BasicFunctionKernel kernel;
        ASSERT_EQ(0, BasicFunction_ToCore(&basic, c.s, c.dimension, c.degree, &kernel, nullptr)) << c.type;
        EXPECT_EQ(c.kernelType, kernel.Type);
        EXPECT_EQ(c.kernelDim, kernel.Dim);
        EXPECT_EQ(c.param, kernel.Param);
        EXPECT_EQ(c.exponent, kernel.Exponent);
        EXPECT_EQ(c.degree, kernel.PolyDegree);
        EXPECT_EQ(1, BasicFunction_Check(&basic, c.dimension, c.degree, nullptr));
    }
    // Refusals give 10 and the table's own complaint at error level.
    CapturingReporter rep(6);
    BasicFunctionKernel kernel;
    const BasicFunction spherical{4, 1.0, 0};
    EXPECT_EQ(10, BasicFunction_ToCore(&spherical, 0.0, 2, 1, &kernel, &rep.reporter));
    EXPECT_EQ((CapturedLine{1, "Spherical not implemented in specified dimension (2)"}), rep.lines.at(0));
    const BasicFunction biharmonic{0, 0.0, 0};
    EXPECT_EQ(10, BasicFunction_ToCore(&biharmonic, 0.0, 3, 7, &kernel, &rep.reporter));
    EXPECT_EQ("Degree of polynomial too large (10). Must be 2 or less", rep.lines.at(1).text);
    const BasicFunction unknown{-1, 0.0, 0};
    EXPECT_EQ(0, BasicFunction_Check(&unknown, 3, 1, &rep.reporter));
    EXPECT_EQ((CapturedLine{1, "Invalid basic function type."}), rep.lines.at(2));
}

TEST(SolutionCore, PolynomialCountsAndDegrees) {
    const int32_t counts3[] = {0, 1, 4, 10};
    const int32_t counts2[] = {0, 1, 3, 6};
    for (int32_t degree = -1; degree <= 2; ++degree) {
        EXPECT_EQ(counts3[degree + 1], Poly_CoeffCount(degree, 3));
        EXPECT_EQ(counts2[degree + 1], Poly_CoeffCount(degree, 2));
        EXPECT_EQ(degree, Poly_DegreeFromCount(counts3[degree + 1], 3));
        EXPECT_EQ(degree, Poly_DegreeFromCount(counts2[degree + 1], 2));
    }
    EXPECT_EQ(-1, Poly_CoeffCount(3, 3));
    EXPECT_EQ(-1, Poly_CoeffCount(-2, 3));
    EXPECT_EQ(-2, Poly_DegreeFromCount(5, 3));
}

TEST(SolutionCore, TheCoreRecordReadsTheSolutionsOwnArrays) {
    Solution3 s = Random<Solution3, 3>(5, 1, 2, 8);
    s.AchievedAccuracy = 1e-4;
    CoreRbf core;
    ASSERT_EQ(0, Solution3_ToCore(&s, &core, nullptr));
    EXPECT_EQ(5, core.Count);
    EXPECT_EQ(s.Centres + 12, core.Centres[4]);
    EXPECT_EQ(s.Coeffs, core.Coeffs);
    EXPECT_EQ(s.Indices, core.Indices);
    EXPECT_EQ(1e-4, core.AchievedAccuracy);
    EXPECT_EQ(s.PolyBase[2], core.PolyCentre[2]);
    EXPECT_EQ(1, core.Kernel.Type);
    EXPECT_EQ(10, core.Kernel.PolyTerms);
    CoreSolution_Free(&core);  // frees its row table only
    EXPECT_EQ(nullptr, core.Centres);
    EXPECT_EQ(1, Solution3_Check(&s, nullptr));
    Solution3_Free(&s);

    Solution2 s2 = Random<Solution2, 2>(3, 0, 1, 9);
    ASSERT_EQ(0, Solution2_ToCore(&s2, &core, nullptr));
    EXPECT_EQ(s2.Centres + 4, core.Centres[2]);
    EXPECT_EQ(2, core.Kernel.Dim);
    CoreSolution_Free(&core);
    Mem_FailAllocationsAfterForTesting(0);
    CapturingReporter rep(6);
    EXPECT_EQ(2, Solution2_ToCore(&s2, &core, &rep.reporter));
    Mem_FailAllocationsAfterForTesting(-1);
    EXPECT_EQ("Memory allocation failed while converting RBF centres.", rep.lines.at(0).text);
    Solution2_Free(&s2);
}

TEST(SolutionTransform, ARigidMotionLeavesTheValuesInvariant) {
    for (int32_t type : {0, 1, 2}) {
        for (int32_t degree : {0, 1, 2}) {
            if (type == 1 && degree < 1) continue;  // the triharmonic needs a linear part
            Solution3 s = Random<Solution3, 3>(12, type, degree, 17 + degree + 3 * type);
            Solution3 moved;
            ASSERT_EQ(0, Solution3_Copy(&moved, &s));
            const std::vector<double> m = RandomRigidMotion(degree + 10 * type);
            ASSERT_EQ(0, Solution3_Transform(&moved, m.data()));
            std::mt19937 rng(degree);
            std::uniform_real_distribution<double> u(-3.0, 3.0);
            for (int trial = 0; trial < 20; ++trial) {
                const double x[3] = {u(rng), u(rng), u(rng)};
                double y[3];
                for (int i = 0; i < 3; ++i)
                    y[i] = m[4 * i] * x[0] + m[4 * i + 1] * x[1] + m[4 * i + 2] * x[2] + m[4 * i + 3];
                const double before = Evaluate<Solution3, 3>(s, x);
                EXPECT_NEAR(before, (Evaluate<Solution3, 3>(moved, y)), 1e-10 * (1 + std::fabs(before)));
            }
            // The data box is that of the moved centres.
            for (int k = 0; k < 3; ++k) {
                double lo = 1e300, hi = -1e300;
                for (int j = 0; j < 12; ++j)
                    lo = std::min(lo, moved.Centres[3 * j + k]), hi = std::max(hi, moved.Centres[3 * j + k]);
                EXPECT_EQ(lo, moved.DataMin[k]);
                EXPECT_EQ(hi, moved.DataMax[k]);
            }
            Solution3_Free(&moved);
            Solution3_Free(&s);
        }
    }
}

TEST(SolutionTransform, TwoDimensionalRotationsLeaveTheValuesInvariant) {
    for (int32_t degree : {1, 2}) {
        Solution2 s = Random<Solution2, 2>(9, 0, degree, 4 + degree);
        Solution2 moved;
        ASSERT_EQ(0, Solution2_Copy(&moved, &s));
        const double a = std::cos(0.7), b = std::sin(0.7);
        const double m[6] = {a, -b, 1.5, b, a, -0.25};
        ASSERT_EQ(0, Solution2_Transform(&moved, m));
        for (int trial = 0; trial < 10; ++trial) {
            const double x[2] = {0.3 * trial - 1.0, 0.7 - 0.2 * trial};
            const double y[2] = {a * x[0] - b * x[1] + 1.5, b * x[0] + a * x[1] - 0.25};
            const double before = Evaluate<Solution2, 2>(s, x);
            EXPECT_NEAR(before, (Evaluate<Solution2, 2>(moved, y)), 1e-10 * (1 + std::fabs(before)));
        }
        Solution2_Free(&moved);
        Solution2_Free(&s);
    }
}

TEST(SolutionTransform, OnlyRotationsAreAccepted) {
    Solution3 s = Random<Solution3, 3>(4, 0, 2, 3);
    const std::vector<double> saved(s.Centres, s.Centres + 12);
    std::vector<double> twice = RandomRigidMotion(5);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) twice[4 * i + j] *= 2.0;
    const std::vector<double> zero(12, 0.0);
    std::vector<double> sheared = RandomRigidMotion(6);
    sheared[1] += 1e-6;
    for (const double* m : std::initializer_list<const double*>{twice.data(), zero.data(), sheared.data()})
        EXPECT_EQ(17, Solution3_Transform(&s, m));
    EXPECT_EQ(17, Solution3_Transform(&s, nullptr));
    EXPECT_EQ(saved, std::vector<double>(s.Centres, s.Centres + 12));
    // Scratch is had before anything moves.
    Mem_FailAllocationsAfterForTesting(0);
    EXPECT_EQ(2, Solution3_Transform(&s, RandomRigidMotion(7).data()));
    Mem_FailAllocationsAfterForTesting(-1);
    EXPECT_EQ(saved, std::vector<double>(s.Centres, s.Centres + 12));
    s.Rho = -1.0;
    EXPECT_EQ(6, Solution3_Transform(&s, RandomRigidMotion(7).data()));
    Solution3_Free(&s);

    Solution2 s2 = Random<Solution2, 2>(4, 0, 1, 3);
    const double scaled[6] = {2, 0, 0, 0, 2, 0};  // a rotation scaled by 2
    const double nothing[6] = {0, 0, 0, 0, 0, 0};
    const double mirror[6] = {1, 0, 0, 0, -1, 0};
    for (const double* m : {scaled, nothing, mirror}) EXPECT_EQ(17, Solution2_Transform(&s2, m));
    EXPECT_EQ(17, Solution2_Transform(&s2, nullptr));
    const double quarter[6] = {0, -1, 0, 1, 0, 0};
    EXPECT_EQ(0, Solution2_Transform(&s2, quarter));
    Solution2_Free(&s2);
}

}  // namespace

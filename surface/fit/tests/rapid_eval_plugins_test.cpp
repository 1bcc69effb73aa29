#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "surface/fit/rapid_eval.h"
#include "surface/fit/rapid_evaluator.h"
#include "surface/fit/tests/far_field_sets.h"
#include "surface/frame/tests/tracked_memory_fixture.h"

namespace {

class RapidEvalPluginsTest : public TrackedMemoryTest {};

struct KernelCase {
    const char* name;
    int type, dim;
    double c;
    int beta;
    const char* evaluator;
};

const KernelCase kCases[] = {
    {"3D biharmonic", kBasicBiharmonic, 3, 0.0, 1, "RapidBiphi3"},
    {"triharmonic", kBasicTriharmonic, 3, 0.0, 3, "RapidMQ3"},
    {"multiquadric", kBasicMultiquadric, 3, 0.1, 1, "RapidMQ3"},
    {"inverse multiquadric", kBasicMultiquadric, 3, 0.1, -1, "RapidMQ3"},
    {"normalised multiquadric", kBasicNormalizedMultiquadric, 3, 0.2, -1, "ScaledMQ3"},
    {"approximate spherical", kBasicApproxSpherical, 3, 0.2, -9, "RapidASphere3"},
    {"spherical", kBasicSpherical, 3, 0.15, 1, "RapidSpherical3"},
    {"2D thin-plate", kBasicBiharmonic, 2, 0.0, 1, "RapidBiharm2"},
};

// Every request through the front, fast against direct, for each kernel
// with a far-field evaluator; the workspace is reused and released.
TEST_F(RapidEvalPluginsTest, FrontRequestsAgreeWithDirectSums) {
    ASSERT_EQ(Mem_TrackBegin(), 0);
    const int32_t N = 1500;
    for (const KernelCase& kc : kCases) {
        SCOPED_TRACE(kc.name);
        BasicFunctionKernel k{};
        ASSERT_EQ(BasicFunction_Init(kc.type, kc.dim, -2, kc.c, kc.beta, &k, nullptr), 0);
        const RapidEvaluator* e = RapidEval_BuiltInEvaluator(kc.type, kc.dim);
        ASSERT_NE(e, nullptr);
        EXPECT_STREQ(e->Name, kc.evaluator);
        Cloud centres = UniformCloud(kc.dim, N, 7);
        std::vector<double> coef = MakeCoefficients(Signs::Mixed, N + std::max(k.PolyTerms, 0), 8);
        Cloud pts = MakePoints(centres, 100, 9);
        const int32_t M = pts.N();
        const double shift[3] = {0, 0, 0};
        RapidEvalOptions fast, direct;
        RapidEval_DefaultOptions(&fast);
        RapidEval_DefaultOptions(&direct);
        fast.Method = 0;
        direct.Method = 1;
        double box[4] = {-0.2, -0.2, 1.2, 1.2};
        if (kc.dim == 2) fast.BoundingBox = box;
        std::vector<double> v(M), d(M), g(3 * M), dg(3 * M);
        std::vector<double*> gr(M), dgr(M);
        for (int32_t i = 0; i < M; ++i) gr[i] = &g[3 * i], dgr[i] = &dg[3 * i];
        ASSERT_EQ(RbfEval_Points(N, &k, centres.Table(), coef.data(), shift, &direct, nullptr, 1.0, M, pts.Table(),
                                 d.data(), nullptr, 1),
                  0);
        double largest = 0;
        for (double x : d) largest = std::max(largest, std::fabs(x));
        const double eps = 1e-6 * largest;
        RapidEvalWorkspace ws{};
        ASSERT_EQ(RbfEval_Points(N, &k, centres.Table(), coef.data(), shift, &fast, &ws, eps, M, pts.Table(), v.data(),
                                 nullptr, 1),
                  0);
        EXPECT_EQ(ws.State, kRapidExpansions);
        EXPECT_EQ(ws.Evaluator, e);
        EXPECT_GT(RapidEval_WorkspaceBytes(N, &k, &ws), 0);
        for (int32_t i = 0; i < M; ++i) EXPECT_NEAR(v[i], d[i], eps * (1 + 1e-9) + 1e-9 * largest) << i;
        // Again on the same arrays: nothing is formed again.
        const size_t bytes = Mem_CurrentBytes();
        ASSERT_EQ(RbfEval_Points(N, &k, centres.Table(), coef.data(), shift, &fast, &ws, eps, M, pts.Table(), v.data(),
                                 nullptr, 1),
                  0);
        EXPECT_EQ(Mem_CurrentBytes(), bytes);
        // Gradients where the evaluator has them (the 2D kernel's are direct).
        ASSERT_EQ(RbfEval_PointGradients(N, &k, centres.Table(), coef.data(), shift, &direct, nullptr, 1.0, M,
                                         pts.Table(), d.data(), dgr.data(), nullptr, 1),
                  0);
        ASSERT_EQ(RbfEval_PointGradients(N, &k, centres.Table(), coef.data(), shift, &fast, &ws, eps, M, pts.Table(),
                                         v.data(), gr.data(), nullptr, 1),
                  0);
        for (int32_t i = 0; i < M; ++i) {
            EXPECT_NEAR(v[i], d[i], eps * (1 + 1e-9) + 1e-9 * largest) << i;
            for (int a = 0; a < kc.dim; ++a) EXPECT_NEAR(g[3 * i + a], dg[3 * i + a], 1e3 * eps + 1e-9 * largest);
        }
        // The product at the centres.
        std::vector<double> p(N), dp(N);
        ASSERT_EQ(RapidEval_Evaluate(N, &k, centres.Table(), coef.data(), shift, &direct, nullptr, 1.0, dp.data(),
                                     nullptr, 1),
                  0);
        RapidEvalWorkspace product{};
        ASSERT_EQ(
            RapidEval_Evaluate(N, &k, centres.Table(), coef.data(), shift, &fast, &product, eps, p.data(), nullptr, 1),
            0);
        double worst = 0, big = 0;
        for (int32_t i = 0; i < N; ++i)
            worst = std::max(worst, std::fabs(p[i] - dp[i])), big = std::max(big, std::fabs(dp[i]));
        EXPECT_LE(worst, eps + 1e-9 * big);
        RapidEval_ClearWorkspace(&product);
        RapidEval_ClearWorkspace(&ws);
        EXPECT_EQ(Mem_CurrentBytes(), 0u);
    }
    Mem_TrackEnd();
}

}  // namespace

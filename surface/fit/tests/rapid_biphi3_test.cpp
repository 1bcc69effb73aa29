#include "surface/fit/rapid_biphi3.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <limits>

#include "surface/frame/core_reporter.h"
#include "surface/fit/tests/far_field_sets.h"
#include "surface/frame/tests/tracked_memory_fixture.h"

namespace {

const RadialKernel kBiharmonic{[](long double r) { return r; }, [](long double) { return 1.0L; },
                               [](long double) { return 0.0L; }};

class RapidBiphi3Test : public TrackedMemoryTest {};

constexpr double kGradientWidening = 30, kHessianWidening = 300;

struct Case {
    Layout layout;
    Signs signs;
    double relative;
};

struct Worst {
    double value = 0, gradient = 0, hessian = 0;  // largest error / allowed
};

// Every operation of one case against the naive sums; returns the largest
// ratios of error to the allowed error.
Worst RunCase(const Case& c, int64_t* orderUses) {
    // A real direct fit is factored densely: fewer centres for it.
    const int32_t N = c.signs == Signs::Fitted ? 1200 : 3000;
    Cloud centres = MakeCentres(c.layout, 3, N, 21);
    std::vector<double> coef =
        c.signs == Signs::Fitted ? FittedCoefficients(kBasicBiharmonic, centres) : MakeCoefficients(c.signs, N, 22);
    EXPECT_EQ(static_cast<int32_t>(coef.size()), N);
    if (static_cast<int32_t>(coef.size()) != N) return Worst{};
    Cloud pts = MakePoints(centres, 300, 23);
    const int32_t M = pts.N();
    std::vector<Reference> refs(M);
    double largest = 0;
    for (int32_t i = 0; i < M; ++i) {
        refs[i] = NaiveSum(kBiharmonic, centres, coef, pts.rows[i], true);
        largest = std::max(largest, static_cast<double>(std::fabs(refs[i].value)));
    }
    const double eps = c.relative * largest;
    // Derivatives: the same relative accuracy of the largest derivative,
    // widened by the factors printed with the results (differentiating the
    // truncated far fields of small panels near their use distance loses
    // about a digit per derivative).
    double largestG = 0, largestH = 0;
    for (const Reference& r : refs) {
        for (long double v : r.g) largestG = std::max(largestG, static_cast<double>(std::fabs(v)));
        for (long double v : r.h) largestH = std::max(largestH, static_cast<double>(std::fabs(v)));
    }
    const double gradTol = kGradientWidening * c.relative * largestG,
                 hessTol = kHessianWidening * c.relative * largestH;
    Worst w;
    RapidBiphi3Workspace ws{};
    std::vector<double> values(M), grads(3 * M), hess(9 * M);
    std::vector<double*> g(M), hrows(3 * M);
    std::vector<double* const*> h(M);
    for (int32_t i = 0; i < M; ++i) {
        g[i] = &grads[3 * i];
        for (int r = 0; r < 3; ++r) hrows[3 * i + r] = &hess[9 * i + 3 * r];
        h[i] = &hrows[3 * i];
    }
    const double* const* ctab = centres.Table();
    EXPECT_EQ(RapidBiphi3_PointHessian(N, 3, ctab, coef.data(), M, pts.Table(), 100, eps, &ws, values.data(), g.data(),
                                       h.data(), nullptr, 1.0),
              0);
    for (int k = 0; k < kBiphi3Orders; ++k) orderUses[k] += ws.OrderUses[k];
    const int pairs[6][2] = {{0, 0}, {1, 0}, {1, 1}, {2, 0}, {2, 1}, {2, 2}};
    for (int32_t i = 0; i < M; ++i) {
        const double allowed = eps + RoundingAllowance(refs[i].magnitude);
        w.value = std::max(w.value, std::fabs(values[i] - static_cast<double>(refs[i].value)) / allowed);
        for (int k = 0; k < 3; ++k)
            w.gradient =
                std::max(w.gradient, std::fabs(grads[3 * i + k] - static_cast<double>(refs[i].g[k])) / gradTol);
        for (int k = 0; k < 6; ++k)
            w.hessian = std::max(
                w.hessian, std::fabs(h[i][pairs[k][0]][pairs[k][1]] - static_cast<double>(refs[i].h[k])) / hessTol);
    }
    // Values and gradients at the points, on a grid, and the product, over
    // the same workspace and without one.
    std::fill(values.begin(), values.end(), 0.0);
    EXPECT_EQ(RapidBiphi3_PointEval(N, 3, ctab, coef.data(), M, pts.Table(), 100, eps, 1, nullptr, values.data(),
                                    g.data(), nullptr, 1.0),
              0);
    for (int32_t i = 0; i < M; ++i) {
        w.value = std::max(w.value, std::fabs(values[i] - static_cast<double>(refs[i].value)) /
                                        (eps + RoundingAllowance(refs[i].magnitude)));
        for (int k = 0; k < 3; ++k)
            w.gradient =
                std::max(w.gradient, std::fabs(grads[3 * i + k] - static_cast<double>(refs[i].g[k])) / gradTol);
    }
    const double base[3] = {-0.2, -0.1, 0.0}, spacing[3] = {0.2, 0.15, 0.25};
    const int32_t size[3] = {7, 6, 5};
    const int32_t G = 7 * 6 * 5;
    std::vector<double> gv(G), gg(3 * G);
    std::vector<double*> ggr(G);
    for (int32_t i = 0; i < G; ++i) ggr[i] = &gg[3 * i];
    EXPECT_EQ(RapidBiphi3_GridEval(N, 3, ctab, coef.data(), base, spacing, size, 100, eps, 1, &ws, gv.data(),
                                   ggr.data(), nullptr, 1.0),
              0);
    for (int32_t i = 0; i < G; ++i) {
        const double x[3] = {base[0] + (i % 7) * spacing[0], base[1] + (i / 7 % 6) * spacing[1],
                             base[2] + (i / 42) * spacing[2]};
        const Reference ref = NaiveSum(kBiharmonic, centres, coef, x, true);
        w.value = std::max(
            w.value, std::fabs(gv[i] - static_cast<double>(ref.value)) / (eps + RoundingAllowance(ref.magnitude)));
        for (int k = 0; k < 3; ++k)
            w.gradient = std::max(w.gradient, std::fabs(gg[3 * i + k] - static_cast<double>(ref.g[k])) / gradTol);
    }
    std::vector<double> product(N);
    EXPECT_EQ(RapidBiphi3_Multiply(N, 3, ctab, coef.data(), 100, eps, &ws, product.data(), nullptr), 0);
    for (int32_t i = 0; i < N; i += 7) {
        const Reference ref = NaiveSum(kBiharmonic, centres, coef, ctab[i], false);
        w.value = std::max(
            w.value, std::fabs(product[i] - static_cast<double>(ref.value)) / (eps + RoundingAllowance(ref.magnitude)));
    }
    RapidBiphi3_Free(&ws);
    return w;
}

TEST_F(RapidBiphi3Test, AccuracyOverLayoutsSignsAndAccuracies) {
    int64_t uses[kBiphi3Orders] = {};
    for (Layout layout : {Layout::Uniform, Layout::Clustered, Layout::Shell})
        for (Signs signs : {Signs::Mixed, Signs::OneSign, Signs::Fitted})
            for (double relative : {1e-3, 1e-6, 1e-9}) {
                const Case c{layout, signs, relative};
                const Worst w = RunCase(c, uses);
                std::printf("%-9s %-11s %.0e: error/allowed value %.3f, gradient %.3f, Hessian %.3f\n", Name(layout),
                            Name(signs), relative, w.value, w.gradient, w.hessian);
                SCOPED_TRACE(testing::Message() << Name(layout) << ", " << Name(signs) << ", " << relative);
                EXPECT_LE(w.value, 1.0);
                EXPECT_LE(w.gradient, 1.0);
                EXPECT_LE(w.hessian, 1.0);
            }
    std::printf("gradients within %g and Hessians within %g times the accuracy relative to their largest entry\n",
                kGradientWidening, kHessianWidening);
    for (int k = 0; k < kBiphi3Orders; ++k) {
        std::printf("order index %d used %lld times\n", k, static_cast<long long>(uses[k]));
        EXPECT_GT(uses[k], 0) << "order index " << k;
    }
}

}  // namespace

namespace {

struct Messages {
    std::vector<std::string> lines;
    CoreReporter reporter{};
    int32_t abort = 0;
    double progress = 0;
    explicit Messages(int32_t level = 6) {
        CoreReporter_Init(&reporter, &abort, &progress, level, kCategoryBiharmonic3, &Capture, this);
    }
    static int Capture(void* user, int32_t, const char* format, va_list args) {
        char text[512];
        std::vsnprintf(text, sizeof(text), format, args);
        static_cast<Messages*>(user)->lines.push_back(text);
        return 0;
    }
    bool Said(const std::string& start) const {
        for (const auto& l : lines)
            if (l.rfind(start, 0) == 0) return true;
        return false;
    }
};

double NaiveValue(const Cloud& c, const std::vector<double>& coef, const double* x) {
    return static_cast<double>(NaiveSum(kBiharmonic, c, coef, x, false).value);
}

TEST_F(RapidBiphi3Test, EdgeCases) {
    Cloud centres = UniformCloud(3, 1000, 31);
    std::vector<double> coef = MakeCoefficients(Signs::Mixed, 1000, 32);
    const double* const* ctab = centres.Table();

    // N = 1000 with 500 a panel: the product is summed directly.
    {
        Messages m;
        std::vector<double> product(1000);
        ASSERT_EQ(RapidBiphi3_Multiply(1000, 3, ctab, coef.data(), 500, 1e-6, nullptr, product.data(), &m.reporter), 0);
        EXPECT_TRUE(m.Said("RapidBiphi3_Multiply: Doing direct multiply"));
        for (int i = 0; i < 1000; i += 97) EXPECT_NEAR(product[i], NaiveValue(centres, coef, ctab[i]), 1e-11);
        EXPECT_NEAR(m.progress, 1.0, 0.02);
    }
    // Panels under 18 centres sum directly; zero coefficients add nothing.
    {
        RapidBiphi3Workspace ws{};
        ASSERT_EQ(RapidBiphi3_BuildTree(1000, 3, ctab, 10, &ws), 0);
        ASSERT_EQ(RapidBiphi3_Setup(&ws, coef.data(), 0, 1e-6), 0);
        int small = 0;
        for (int l = 1; l < kBiphi3Levels; ++l)
            for (const Biphi3Panel* p = ws.Levels[l]; p; p = p->Next)
                if (p->Count < 18) {
                    ++small;
                    EXPECT_EQ(p->K0, -1);
                } else {
                    EXPECT_GE(p->K0, 0);
                }
        EXPECT_GT(small, 0);
        std::vector<double> zero(1000, 0.0);
        ASSERT_EQ(RapidBiphi3_Setup(&ws, zero.data(), 0, 1e-6), 0);
        for (int l = 1; l < kBiphi3Levels; ++l)
            for (const Biphi3Panel* p = ws.Levels[l]; p; p = p->Next) EXPECT_EQ(p->K0, -2);
        double value = 1, grad[3] = {1, 1, 1};
        double* g[1] = {grad};
        const double* pt[1] = {ctab[3]};
        ASSERT_EQ(RapidBiphi3_PointEval(1000, 3, ctab, zero.data(), 1, pt, 10, 1e-6, 1, &ws, &value, g, nullptr, 1), 0);
        EXPECT_EQ(value, 0.0);
        EXPECT_EQ(grad[0], 0.0);
        RapidBiphi3_Free(&ws);
    }
    // A point on a centre: that centre adds 0 to the value, nothing to the
    // gradient.
    {
        double value, grad[3];
        double* g[1] = {grad};
        const double* pt[1] = {ctab[5]};
        ASSERT_EQ(
            RapidBiphi3_PointEval(1000, 3, ctab, coef.data(), 1, pt, 1000, 1e-9, 1, nullptr, &value, g, nullptr, 1), 0);
        const Reference ref = NaiveSum(kBiharmonic, centres, coef, ctab[5], true);
        EXPECT_NEAR(value, static_cast<double>(ref.value), 1e-11);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(grad[k], static_cast<double>(ref.g[k]), 1e-11);
        EXPECT_TRUE(std::isfinite(grad[0]));
    }
    // A 2 × 3 × 4 grid: 24 values, x fastest; the root a leaf (N <= panel
    // size) sums directly.
    {
        const double base[3] = {0.1, 0.2, 0.3}, spacing[3] = {0.5, 0.25, 0.125};
        const int32_t size[3] = {2, 3, 4};
        std::vector<double> v(25, -7.0);
        ASSERT_EQ(RapidBiphi3_GridEval(1000, 3, ctab, coef.data(), base, spacing, size, 1000, 1e-6, 0, nullptr,
                                       v.data(), nullptr, nullptr, 1),
                  0);
        EXPECT_EQ(v[24], -7.0);
        for (int i = 0; i < 24; ++i) {
            const double x[3] = {0.1 + (i % 2) * 0.5, 0.2 + (i / 2 % 3) * 0.25, 0.3 + (i / 6) * 0.125};
            EXPECT_NEAR(v[i], NaiveValue(centres, coef, x), 1e-11) << i;
        }
    }
}

TEST_F(RapidBiphi3Test, ArgumentChecks) {
    Cloud c = UniformCloud(3, 50, 3);
    std::vector<double> coef(50, 1.0), out(50);
    const double* const* t = c.Table();
    double* g[50];
    struct Row {
        int status;
        int got;
    } rows[] = {
        {7, RapidBiphi3_Multiply(50, 2, t, coef.data(), 10, 1e-6, nullptr, out.data(), nullptr)},
        {5, RapidBiphi3_Multiply(50, 3, t, coef.data(), 0, 1e-6, nullptr, out.data(), nullptr)},
        {23, RapidBiphi3_Multiply(50, 3, t, nullptr, 10, 1e-6, nullptr, out.data(), nullptr)},
        {17, RapidBiphi3_Multiply(50, 3, t, coef.data(), 10, 0.0, nullptr, out.data(), nullptr)},
        {5, RapidBiphi3_PointEval(50, 3, t, coef.data(), 0, t, 10, 1e-6, 0, nullptr, out.data(), g, nullptr, 1)},
        {5, RapidBiphi3_PointEval(50, 3, t, coef.data(), 5, t, -1, 1e-6, 0, nullptr, out.data(), g, nullptr, 1)},
        {23, RapidBiphi3_PointEval(50, 3, t, coef.data(), 5, nullptr, 10, 1e-6, 0, nullptr, out.data(), g, nullptr, 1)},
        {17, RapidBiphi3_PointEval(50, 3, t, coef.data(), 5, t, 10, -1.0, 0, nullptr, out.data(), g, nullptr, 1)},
        {23,
         RapidBiphi3_PointHessian(50, 3, t, coef.data(), 5, t, 10, 1e-6, nullptr, out.data(), g, nullptr, nullptr, 1)},
    };
    for (const Row& r : rows) EXPECT_EQ(r.got, r.status);
    const double base[3] = {0, 0, 0}, spacing[3] = {1, 1, 1};
    const int32_t bad[3] = {2, 0, 2};
    EXPECT_EQ(RapidBiphi3_GridEval(50, 3, t, coef.data(), base, spacing, bad, 10, 1e-6, 0, nullptr, out.data(), nullptr,
                                   nullptr, 1),
              5);
}

TEST_F(RapidBiphi3Test, WorkspaceReuseRebuildAbortAndRelease) {
    ASSERT_EQ(Mem_TrackBegin(), 0);
    const size_t start = Mem_CurrentBytes();
    Cloud centres = UniformCloud(3, 2000, 41);
    std::vector<double> coef = MakeCoefficients(Signs::Mixed, 2000, 42), other = coef;
    other[0] += 1.0;
    Cloud pts = MakePoints(centres, 50, 43);
    const int32_t M = pts.N();
    std::vector<double> v(M), product(2000);
    const double* const* ctab = centres.Table();
    RapidBiphi3Workspace ws{};
    auto eval = [&](const std::vector<double>& c, double acc, const CoreReporter* r) {
        return RapidBiphi3_PointEval(2000, 3, ctab, c.data(), M, pts.Table(), 100, acc, 0, &ws, v.data(), nullptr, r,
                                     1);
    };
    ASSERT_EQ(eval(coef, 1e-6, nullptr), 0);
    const MemPair* far = ws.Levels[1]->Far;
    const size_t formed = Mem_CurrentBytes();
    ASSERT_EQ(eval(coef, 1e-6, nullptr), 0);  // the same arrays form nothing again
    EXPECT_EQ(ws.Levels[1]->Far, far);
    EXPECT_EQ(Mem_CurrentBytes(), formed);
    ASSERT_EQ(eval(coef, 1e-8, nullptr), 0);  // a finer accuracy forms again
    EXPECT_EQ(ws.Accuracy, 1e-8);
    ASSERT_EQ(eval(other, 1e-8, nullptr), 0);  // so do new coefficients
    EXPECT_EQ(ws.FormedFrom, other.data());
    EXPECT_NEAR(v[0], NaiveValue(centres, other, pts.rows[0]), 1e-7);
    // A product drops the expansions and keeps the tree.
    ASSERT_EQ(RapidBiphi3_Multiply(2000, 3, ctab, coef.data(), 100, 1e-6, &ws, product.data(), nullptr), 0);
    EXPECT_EQ(ws.FarFormed, 0);
    EXPECT_EQ(ws.TreeBuilt, 1);

    // Aborts while forming and while evaluating: status 10, a usable
    // workspace, and the next call without the abort completes.
    Messages m;
    m.abort = 1;
    EXPECT_EQ(eval(coef, 1e-6, &m.reporter), 10);
    EXPECT_EQ(ws.FarFormed, 0);
    m.abort = 0;
    ASSERT_EQ(eval(coef, 1e-6, &m.reporter), 0);
    m.abort = 1;
    EXPECT_EQ(eval(coef, 1e-6, &m.reporter), 10);
    EXPECT_EQ(RapidBiphi3_Multiply(2000, 3, ctab, coef.data(), 100, 1e-6, &ws, product.data(), &m.reporter), 10);
    EXPECT_EQ(RapidBiphi3_Multiply(2000, 3, ctab, coef.data(), 1000, 1e-6, &ws, product.data(), &m.reporter), 10);
    m.abort = 0;
    ASSERT_EQ(eval(coef, 1e-6, &m.reporter), 0);
    EXPECT_NEAR(v[1], NaiveValue(centres, coef, pts.rows[1]), 1e-5);
    EXPECT_TRUE(m.Said("RapidBiphi3_PointEval: Evaluation took"));
    RapidBiphi3_Free(&ws);
    EXPECT_EQ(Mem_CurrentBytes(), start);

    // A NaN or infinite coefficient ends the evaluation.
    for (double bad : {std::numeric_limits<double>::quiet_NaN(), HUGE_VAL}) {
        std::vector<double> c = coef;
        c[17] = bad;
        ASSERT_EQ(eval(c, 1e-6, nullptr), 0);
        EXPECT_FALSE(std::isfinite(v[0]));
        RapidBiphi3_Free(&ws);
    }
    // Running out of memory anywhere: status 2 and every byte given back,
    // until the evaluation has all it needs.
    bool succeeded = false;
    for (int allowed = 0; !succeeded && allowed < 1000000; allowed += 7) {
        Mem_FailAllocationsAfterForTesting(allowed);
        const int status = eval(coef, 1e-6, nullptr);
        Mem_FailAllocationsAfterForTesting(-1);
        EXPECT_TRUE(status == 0 || status == 2) << status;
        succeeded = status == 0;
        RapidBiphi3_Free(&ws);
        EXPECT_EQ(Mem_CurrentBytes(), start);
    }
    EXPECT_TRUE(succeeded);
    Mem_TrackEnd();
}

TEST_F(RapidBiphi3Test, UseDistancesAndEstimates) {
    // The truncation bound equals the accuracy at the distance found, for
    // small and large panels alike.
    for (double R : {1e-3, 1.0, 100.0, 1e4})
        for (int p : {3, 8, 13})
            for (double ratio : {1e-2, 1e-6, 1e-12}) {
                const double A = R * 50.0, eps = A * ratio;
                const double D = std::sqrt(RapidBiphi3_UseDistance2(p, R, A, eps));
                const double bound = 2 * A / (2 * p + 5) * std::pow(R / D, p + 2) / (1 - R / D);
                EXPECT_NEAR(bound / eps, 1.0, 1e-9) << R << " " << p << " " << ratio;
            }
    EXPECT_EQ(RapidBiphi3_UseDistance2(5, 1.0, HUGE_VAL, 1e-6), DBL_MAX);
    EXPECT_EQ(RapidBiphi3_UseDistance2(5, 1.0, std::nan(""), 1e-6), DBL_MAX);
    EXPECT_EQ(RapidBiphi3_UseDistance2(5, 1.0, 1.0, 0.0), DBL_MAX);
    EXPECT_EQ(RapidBiphi3_ExpansionBytes(1000, 100, 0, nullptr), 4032 * 30);
    EXPECT_EQ(RapidBiphi3_ExpansionBytes(1000, 100, 2, nullptr), 75600 * 30);
    EXPECT_EQ(RapidBiphi3_TreeBytes(1000, 100, nullptr), 240 * 30);
    EXPECT_EQ(RapidBiphi3_Bytes(1000, 100, nullptr), 48 * 1000 + 30132 + 240 * 30);
}

}  // namespace

namespace {

TEST_F(RapidBiphi3Test, Diagnostics) {
    Cloud centres = UniformCloud(3, 1500, 51);
    std::vector<double> coef = MakeCoefficients(Signs::Mixed, 1500, 52);
    RapidBiphi3Workspace ws{};
    ASSERT_EQ(RapidBiphi3_BuildTree(1500, 3, centres.Table(), 100, &ws), 0);
    ASSERT_EQ(RapidBiphi3_Setup(&ws, coef.data(), 0, 1e-6), 0);
    const Biphi3Panel* panel = ws.Levels[1];
    testing::internal::CaptureStdout();
    // Three radii out, order 13 holds the accuracy; order 2 does not.
    EXPECT_EQ(RapidBiphi3_SphereTest(&ws, panel, 13, 3.0), 0);
    EXPECT_EQ(RapidBiphi3_SphereTest(&ws, panel, 2, 1.2), 1);
    RapidBiphi3_SphereErrors(&ws, panel, 3.0);
    RapidBiphi3_DumpSubtree(ws.Levels[ws.DeepestLevel]);
    RapidBiphi3_DumpLevel(&ws, ws.DeepestLevel);
    const std::string out = testing::internal::GetCapturedStdout();
    for (const char* text :
         {" p = 13 Maximum error = ", "Approximate maximum error on a sphere", "New panel     level  ",
          "Panel radius: ", "Use at distance vector: ", "   childless ", "Bounding box            level  ", "Final # "})
        EXPECT_NE(out.find(text), std::string::npos) << text;
    RapidBiphi3_Free(&ws);
}

}  // namespace

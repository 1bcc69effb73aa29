#include "surface/fit/rapid_mq3.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "surface/fit/rapid_spherical3.h"
#include "surface/fit/tests/far_field_sets.h"
#include "surface/frame/core_reporter.h"
#include "surface/frame/tests/tracked_memory_fixture.h"

namespace {

class RapidMQ3Test : public TrackedMemoryTest {};

struct Messages {
    std::vector<std::string> lines;
    CoreReporter reporter{};
    int32_t abort = 0;
    double progress = 0;
    explicit Messages(int32_t level = 6) {
        CoreReporter_Init(&reporter, &abort, &progress, level, kCategoryMultiquadric, &Capture, this);
    }
    static int Capture(void* user, int32_t, const char* format, va_list args) {
        char text[512];
        std::vsnprintf(text, sizeof(text), format, args);
        static_cast<Messages*>(user)->lines.push_back(text);
        return 0;
    }
    bool Said(const std::string& text) const { return std::find(lines.begin(), lines.end(), text) != lines.end(); }
};

// The kernels of the family with their evaluator.
enum class Evaluator { MQ, Scaled, ASphere, Spherical };

struct KernelCase {
    const char* name;
    Evaluator evaluator;
    int k;
    double c;
};

RadialKernel Family(int k, double c, double scale) {
    const long double c2 = static_cast<long double>(c) * c;
    return {[=](long double r) { return scale * std::pow(r * r + c2, k / 2.0L); },
            [=](long double r) { return scale * k * r * std::pow(r * r + c2, k / 2.0L - 1); },
            [=](long double r) {
                const long double u = r * r + c2;
                return scale * k * (std::pow(u, k / 2.0L - 1) + (k - 2) * r * r * std::pow(u, k / 2.0L - 2));
            }};
}

RadialKernel ApproxSpherical(int k, double c) {
    const long double r0 = c / std::sqrt(1.0L - k), a = k / (2.0L * c * std::sqrt(1.0L - k));
    const long double v = std::sqrt((2.0L - k) / (1.0L - k)), F = std::pow(static_cast<long double>(c), -k) /
                                                                  (2 * std::pow(v, static_cast<long double>(k - 2)));
    const RadialKernel tail = Family(k, c, 1.0);
    return {[=](long double r) { return r <= r0 ? 1 + a * r : F * tail.phi(r); },
            [=](long double r) { return r <= r0 ? a : F * tail.d1(r); },
            [=](long double r) { return r <= r0 ? 0.0L : F * tail.d2(r); }};
}

RadialKernel Spherical(double c) {
    const long double cc = c;
    return {[=](long double r) { return r < cc ? 1 - 1.5L * r / cc + 0.5L * std::pow(r / cc, 3) : 0.0L; },
            [=](long double r) { return r < cc ? -1.5L / cc + 1.5L * r * r / (cc * cc * cc) : 0.0L; },
            [=](long double r) { return r < cc ? 3.0L * r / (cc * cc * cc) : 0.0L; }};
}

RadialKernel ReferenceOf(const KernelCase& kc) {
    switch (kc.evaluator) {
        case Evaluator::MQ:
            return Family(kc.k, kc.c, 1.0);
        case Evaluator::Scaled:
            return Family(kc.k, kc.c, std::pow(kc.c, -kc.k));
        case Evaluator::ASphere:
            return ApproxSpherical(kc.k, kc.c);
        case Evaluator::Spherical:
            return Spherical(kc.c);
    }
    return {};
}

// One evaluator set up over centres and coefficients, evaluating values or
// gradients at points or on a grid.
struct Fast {
    KernelCase kc;
    RapidMQ3Workspace mq{};
    RapidASphere3Workspace sphere{};
    RapidSpherical3Workspace spherical{};
    BasicFunctionKernel row{};
    const double* coef = nullptr;

    int Init(const Cloud& centres, const std::vector<double>& c, double eps) {
        coef = c.data();
        const int32_t N = static_cast<int32_t>(c.size());
        switch (kc.evaluator) {
            case Evaluator::MQ:
                return RapidMQ3_Init(N, 3, 100, centres.rows.data(), 10, kc.k, kc.c, eps, coef, 0, &mq, nullptr, 1);
            case Evaluator::Scaled:
                return ScaledMQ3_Init(N, 3, 100, centres.rows.data(), 10, kc.k, kc.c, eps, coef, 0, &mq, nullptr, 1);
            case Evaluator::ASphere:
                return RapidASphere3_Init(N, 3, 100, centres.rows.data(), 10, kc.k, kc.c, eps, coef, 0, &sphere,
                                          nullptr, 1);
            case Evaluator::Spherical:
                EXPECT_EQ(BasicFunction_Init(kBasicSpherical, 3, -2, kc.c, 1, &row, nullptr), 0);
                return RapidSpherical3_Init(N, centres.rows.data(), &row, &spherical, nullptr);
        }
        return -1;
    }
    int Points(int32_t M, const double* const* pts, double* v, double* const* g) {
        switch (kc.evaluator) {
            case Evaluator::MQ:
                return g ? RapidMQ3_PointGradient(&mq, M, pts, v, g, nullptr, 1)
                         : RapidMQ3_PointEval(&mq, M, pts, v, nullptr, 1);
            case Evaluator::Scaled:
                return g ? ScaledMQ3_PointGradient(&mq, M, pts, v, g, nullptr, 1)
                         : ScaledMQ3_PointEval(&mq, M, pts, v, nullptr, 1);
            case Evaluator::ASphere:
                return g ? RapidASphere3_PointGradient(&sphere, M, pts, v, g, nullptr, 1)
                         : RapidASphere3_PointEval(&sphere, M, pts, v, nullptr, 1);
            case Evaluator::Spherical:
                return g ? RapidSpherical3_PointGradient(&spherical, coef, M, pts, v, g, nullptr, 1)
                         : RapidSpherical3_PointEval(&spherical, coef, M, pts, v, nullptr, 1);
        }
        return -1;
    }
    int Grid(const double* base, const double* spacing, const int32_t* size, double* v, double* const* g) {
        switch (kc.evaluator) {
            case Evaluator::MQ:
                return g ? RapidMQ3_GridGradient(&mq, base, spacing, size, v, g, nullptr, 1)
                         : RapidMQ3_GridEval(&mq, base, spacing, size, v, nullptr, 1);
            case Evaluator::Scaled:
                return g ? ScaledMQ3_GridGradient(&mq, base, spacing, size, v, g, nullptr, 1)
                         : ScaledMQ3_GridEval(&mq, base, spacing, size, v, nullptr, 1);
            case Evaluator::ASphere:
                return g ? RapidASphere3_GridGradient(&sphere, base, spacing, size, v, g, nullptr, 1)
                         : RapidASphere3_GridEval(&sphere, base, spacing, size, v, nullptr, 1);
            case Evaluator::Spherical:
                return g ? RapidSpherical3_GridGradient(&spherical, coef, base, spacing, size, v, g, nullptr, 1)
                         : RapidSpherical3_GridEval(&spherical, coef, base, spacing, size, v, nullptr, 1);
        }
        return -1;
    }
    const MQExpansion* Expansion() const {
        return kc.evaluator == Evaluator::ASphere     ? &sphere.MQ.Expansion
               : kc.evaluator == Evaluator::Spherical ? nullptr
                                                      : &mq.Expansion;
    }
    void Free() {
        RapidMQ3_Free(&mq);
        RapidASphere3_Free(&sphere);
        RapidSpherical3_Free(&spherical);
    }
};

const KernelCase kKernels[] = {
    {"triharmonic", Evaluator::MQ, 3, 0.0},
    {"multiquadric", Evaluator::MQ, 1, 0.1},
    {"inverse multiquadric", Evaluator::MQ, -1, 0.1},
    {"normalised multiquadric", Evaluator::Scaled, -3, 0.2},
    {"approximate spherical", Evaluator::ASphere, -9, 0.2},
    {"spherical", Evaluator::Spherical, 1, 0.15},
};

TEST_F(RapidMQ3Test, AccuracyOverKernelsLayoutsSignsAndAccuracies) {
    const int32_t N = 1600;
    for (const KernelCase& kc : kKernels) {
        double orderUses[kMQOrders] = {};
        const RadialKernel ref = ReferenceOf(kc);
        for (Layout layout : {Layout::Uniform, Layout::Clustered, Layout::Shell})
            for (Signs signs : {Signs::Mixed, Signs::OneSign}) {
                Cloud centres = MakeCentres(layout, 3, N, 51);
                const std::vector<double> coef = MakeCoefficients(signs, N, 52);
                Cloud pts = MakePoints(centres, 100, 53);
                // The product: the centres themselves are among the points.
                for (int32_t i = 0; i < N; i += 25)
                    pts.flat.insert(pts.flat.end(), centres.rows[i], centres.rows[i] + 3);
                pts.Reindex();
                const int32_t M = pts.N();
                std::vector<Reference> refs(M);
                const double base[3] = {-0.1, 0.0, 0.05}, spacing[3] = {0.3, 0.2, 0.25};
                const int32_t size[3] = {5, 4, 3};
                std::vector<Reference> gridRefs(60);
                for (int i = 0; i < 60; ++i) {
                    const double x[3] = {base[0] + (i % 5) * spacing[0], base[1] + (i / 5 % 4) * spacing[1],
                                         base[2] + (i / 20) * spacing[2]};
                    gridRefs[i] = NaiveSum(ref, centres, coef, x, true);
                }
                double largest = 0;
                for (int32_t i = 0; i < M; ++i) {
                    refs[i] = NaiveSum(ref, centres, coef, pts.rows[i], true);
                    largest = std::max(largest, static_cast<double>(std::fabs(refs[i].value)));
                }
                for (double relative : {1e-3, 1e-6, 1e-9}) {
                    SCOPED_TRACE(testing::Message()
                                 << kc.name << ", " << Name(layout) << ", " << Name(signs) << ", " << relative);
                    const double eps = relative * largest, gradTol = eps / 0.05;
                    Fast fast{kc};
                    ASSERT_EQ(fast.Init(centres, coef, eps), 0);
                    std::vector<double> v(M), grads(3 * M), gv(M);
                    std::vector<double*> g(M);
                    for (int32_t i = 0; i < M; ++i) g[i] = &grads[3 * i];
                    ASSERT_EQ(fast.Points(M, pts.Table(), v.data(), nullptr), 0);
                    ASSERT_EQ(fast.Points(M, pts.Table(), gv.data(), g.data()), 0);
                    double worst = 0, worstGrad = 0;
                    for (int32_t i = 0; i < M; ++i) {
                        const double allowed = eps + RoundingAllowance(refs[i].magnitude);
                        worst = std::max(worst, std::fabs(v[i] - static_cast<double>(refs[i].value)) / allowed);
                        worst = std::max(worst, std::fabs(gv[i] - static_cast<double>(refs[i].value)) / allowed);
                        for (int k = 0; k < 3; ++k)
                            worstGrad =
                                std::max(worstGrad, std::fabs(grads[3 * i + k] - static_cast<double>(refs[i].g[k])) /
                                                        (gradTol + RoundingAllowance(refs[i].magnitude) * 1e3));
                    }
                    std::vector<double> grid(60), gridV(60), gridG(180);
                    std::vector<double*> gg(60);
                    for (int i = 0; i < 60; ++i) gg[i] = &gridG[3 * i];
                    ASSERT_EQ(fast.Grid(base, spacing, size, grid.data(), nullptr), 0);
                    ASSERT_EQ(fast.Grid(base, spacing, size, gridV.data(), gg.data()), 0);
                    for (int i = 0; i < 60; ++i) {
                        const Reference& r = gridRefs[i];
                        worst = std::max(worst, std::fabs(gridV[i] - static_cast<double>(r.value)) /
                                                    (eps + RoundingAllowance(r.magnitude)));
                        worst = std::max(worst, std::fabs(grid[i] - static_cast<double>(r.value)) /
                                                    (eps + RoundingAllowance(r.magnitude)));
                        for (int k = 0; k < 3; ++k)
                            worstGrad = std::max(worstGrad, std::fabs(gg[i][k] - static_cast<double>(r.g[k])) /
                                                                (gradTol + RoundingAllowance(r.magnitude) * 1e3));
                    }
                    std::printf("%-24s %-9s %-11s %.0e: error/allowed value %.3f, gradient %.3f\n", kc.name,
                                Name(layout), Name(signs), relative, worst, worstGrad);
                    EXPECT_LE(worst, 1.0);
                    EXPECT_LE(worstGrad, 1.0);
                    if (const MQExpansion* e = fast.Expansion()) {
                        MQExpansion* me = const_cast<MQExpansion*>(e);
                        MQExpansion_ResetStats(me);
                        for (int32_t i = 0; i < M; ++i) MQExpansion_TreeValue(me->Tree.Root, pts.rows[i], me);
                        for (int o = 0; o < kMQOrders; ++o) orderUses[o] += me->OrderUses[o];
                    }
                    fast.Free();
                }
            }
        // The approximate spherical series always runs at the full order.
        if (kc.evaluator == Evaluator::Spherical || kc.evaluator == Evaluator::ASphere) continue;
        std::printf("%s: series uses per order %.0f %.0f %.0f %.0f\n", kc.name, orderUses[0], orderUses[1],
                    orderUses[2], orderUses[3]);
        for (int o = 0; o < kMQOrders; ++o) EXPECT_GT(orderUses[o], 0) << kc.name << " order index " << o;
    }
}

}  // namespace

namespace {

TEST_F(RapidMQ3Test, EdgeCases) {
    Cloud centres = UniformCloud(3, 400, 61);
    std::vector<double> coef = MakeCoefficients(Signs::Mixed, 400, 62);
    const double* const* t = centres.Table();

    // k = 2 is refused with its message; p = 10 gives the orders 10, 8, 6, 4.
    {
        Messages m;
        RapidMQ3Workspace ws{};
        EXPECT_EQ(RapidMQ3_Init(400, 3, 20, t, 10, 2, 0.5, 1e-6, coef.data(), 0, &ws, &m.reporter, 1), 5);
        EXPECT_TRUE(m.Said("Multiquadric parameter k = 2 must be odd or negative"));
        EXPECT_EQ(ws.Expansion.TreeBuilt, 0);
        EXPECT_EQ(RapidMQ3_Init(400, 3, 20, t, 0, 1, 0.5, 1e-6, coef.data(), 0, &ws, &m.reporter, 1), 5);
        EXPECT_TRUE(m.Said("Multiquadric order of expansion p must be positive"));
        ASSERT_EQ(RapidMQ3_Init(400, 3, 20, t, 10, 1, 0.5, 1e-6, coef.data(), 0, &ws, nullptr, 1), 0);
        EXPECT_EQ(std::vector<int>(ws.Expansion.Orders, ws.Expansion.Orders + 4), (std::vector<int>{10, 8, 6, 4}));
        EXPECT_NEAR(ws.Expansion.Costs[0], 153.652, 1e-9);
        // A larger order keeps the tree and forms the far field again.
        Messages grow;
        const EvalPanel* root = ws.Expansion.Tree.Root;
        EXPECT_EQ(RapidMQ3_InitAccuracy(400, 12, 1, 0.5, 1e-6, coef.data(), 0, &ws, &grow.reporter, 1), 0);
        EXPECT_TRUE(grow.Said("Fast multiquadric evaluator discarding workspace far field"));
        EXPECT_EQ(ws.Expansion.Tree.Root, root);
        EXPECT_EQ(ws.Expansion.P, 12);
        RapidMQ3_Free(&ws);
        // Not initialised.
        double v;
        Messages none;
        EXPECT_EQ(RapidMQ3_PointEval(&ws, 1, t, &v, &none.reporter, 1), 5);
        EXPECT_TRUE(none.Said("Fast multiquadric workspace not initialized"));
    }
    // A far panel of ten centres is summed directly; zero coefficients always
    // use their zero series.
    {
        Cloud two;
        two.d = 3;
        for (int i = 0; i < 10; ++i) two.Add({1e-3 * i, 0, 0});
        for (int i = 0; i < 10; ++i) two.Add({50 + 1e-3 * i, 0, 0});
        std::vector<double> c(20, 1.0);
        RapidMQ3Workspace ws{};
        ASSERT_EQ(RapidMQ3_Init(20, 3, 11, two.Table(), 10, 1, 0.01, 1e-8, c.data(), 0, &ws, nullptr, 1), 0);
        // A point that only order 10 reaches for the panel of the first ten.
        const EvalPanel* near = ws.Expansion.Tree.Levels[1];
        if (near->Centre[0] > 25) near = near->Next;
        const auto* series = static_cast<const MQPanelSeries*>(near->Payload);
        ASSERT_NE(series, nullptr);
        ASSERT_LT(series->D2[0], series->D2[1]);
        const double x[3] = {near->Centre[0] - std::sqrt(0.5 * (series->D2[0] + series->D2[1])), near->Centre[1],
                             near->Centre[2]};
        MQExpansion_ResetStats(&ws.Expansion);
        const double value = RapidMQ3_ValueAt(&ws, x);
        EXPECT_EQ(ws.Expansion.TooCostly, 1.0);
        EXPECT_EQ(ws.Expansion.OrderUses[0], 0.0);
        EXPECT_NEAR(value, static_cast<double>(NaiveSum(Family(1, 0.01, 1), two, c, x, false).value), 1e-9);
        RapidMQ3_Free(&ws);
        std::vector<double> zero(20, 0.0);
        ASSERT_EQ(RapidMQ3_Init(20, 3, 11, two.Table(), 10, 1, 0.01, 1e-8, zero.data(), 0, &ws, nullptr, 1), 0);
        MQExpansion_ResetStats(&ws.Expansion);
        const double far[3] = {-60, 0, 0};
        EXPECT_EQ(RapidMQ3_ValueAt(&ws, far), 0.0);
        EXPECT_GE(ws.Expansion.FarEvals, 1.0);
        EXPECT_EQ(ws.Expansion.DirectEvals, 0.0);
        RapidMQ3_Free(&ws);
    }
    // k = -1, c = 1, accuracy 10 over coefficients summing to 4: accuracy 2.
    {
        std::vector<double> c(400, 0.0);
        c[0] = 2, c[1] = -1, c[2] = 1;
        Messages m;
        RapidMQ3Workspace ws{};
        ASSERT_EQ(RapidMQ3_Init(400, 3, 20, t, 10, -1, 1.0, 10.0, c.data(), 0, &ws, &m.reporter, 1), 0);
        EXPECT_EQ(ws.Accuracy, 2.0);
        EXPECT_TRUE(m.Said("Accuracy value (10) greater than maximum function value. Set to 2"));
        EXPECT_EQ(RapidMQ3_InitAccuracy(400, 10, -1, 1.0, -1.0, c.data(), 0, &ws, &m.reporter, 1), 17);
        EXPECT_TRUE(m.Said("Accuracy value must be positive"));
        RapidMQ3_Free(&ws);
    }
    // Approximate spherical with k = -1: r0² = c²/2, the cone inside it.
    {
        RapidASphere3Workspace ws{};
        ASSERT_EQ(RapidASphere3_Init(400, 3, 20, t, 10, -1, 0.4, 1e-6, coef.data(), 0, &ws, nullptr, 1), 0);
        EXPECT_DOUBLE_EQ(ws.R02, 0.08);
        const double x[3] = {t[7][0] + 0.1, t[7][1], t[7][2]};
        const double* pts[1] = {x};
        double v;
        ASSERT_EQ(RapidASphere3_PointEval(&ws, 1, pts, &v, nullptr, 1), 0);
        EXPECT_NEAR(v, static_cast<double>(NaiveSum(ApproxSpherical(-1, 0.4), centres, coef, x, false).value), 1e-6);
        RapidASphere3_Free(&ws);
    }
    // Spherical: beyond the support of every centre the value is 0.
    {
        BasicFunctionKernel row{};
        ASSERT_EQ(BasicFunction_Init(kBasicSpherical, 3, -2, 0.2, 1, &row, nullptr), 0);
        RapidSpherical3Workspace ws{};
        ASSERT_EQ(RapidSpherical3_Init(400, t, &row, &ws, nullptr), 0);
        const double far[3] = {1.5, 0.5, 0.5};
        const double* pts[1] = {far};
        double v = 1, g[3] = {1, 1, 1};
        double* gr[1] = {g};
        ASSERT_EQ(RapidSpherical3_PointGradient(&ws, coef.data(), 1, pts, &v, gr, nullptr, 1), 0);
        EXPECT_EQ(v, 0.0);
        EXPECT_EQ(g[0], 0.0);
        Messages m;
        Cloud other = UniformCloud(3, 400, 63);
        EXPECT_EQ(RapidSpherical3_Init(400, other.Table(), &row, &ws, &m.reporter), 0);
        EXPECT_TRUE(m.Said("Fast spherical evaluator discarding entire workspace"));
        RapidSpherical3_Free(&ws);
        EXPECT_EQ(RapidSpherical3_PointEval(&ws, coef.data(), 1, pts, &v, &m.reporter, 1), 5);
        EXPECT_TRUE(m.Said("RapidSpherical3 workspace not initialized"));
        EXPECT_EQ(RapidSpherical3_Init(0, t, &row, &ws, &m.reporter), 5);
        EXPECT_TRUE(m.Said("Number of centres must be positive"));
    }
}

TEST_F(RapidMQ3Test, WorkspaceReuseAbortNonFiniteAndRelease) {
    ASSERT_EQ(Mem_TrackBegin(), 0);
    const size_t start = Mem_CurrentBytes();
    Cloud centres = UniformCloud(3, 1500, 71);
    std::vector<double> coef = MakeCoefficients(Signs::Mixed, 1500, 72);
    Cloud pts = MakePoints(centres, 40, 73);
    const int32_t M = pts.N();
    std::vector<double> v(M);
    RapidMQ3Workspace ws{};
    ASSERT_EQ(RapidMQ3_Init(1500, 3, 100, centres.Table(), 10, 1, 0.1, 1e-6, coef.data(), 0, &ws, nullptr, 1), 0);
    const size_t formed = Mem_CurrentBytes();
    // Evaluating again forms nothing; asking for the same set-up again neither.
    ASSERT_EQ(RapidMQ3_PointEval(&ws, M, pts.Table(), v.data(), nullptr, 1), 0);
    ASSERT_EQ(RapidMQ3_InitAccuracy(1500, 10, 1, 0.1, 1e-6, coef.data(), 0, &ws, nullptr, 1), 0);
    EXPECT_EQ(Mem_CurrentBytes(), formed);
    // Dropping the series keeps the tree; new coefficients then form again.
    RapidMQ3_FreeTree(&ws);
    EXPECT_EQ(ws.Expansion.Formed, 0);
    EXPECT_EQ(ws.Expansion.TreeBuilt, 1);
    std::vector<double> other = coef;
    other[3] = 5.0;
    ASSERT_EQ(RapidMQ3_InitAccuracy(1500, 10, 1, 0.1, 1e-6, other.data(), 0, &ws, nullptr, 1), 0);
    ASSERT_EQ(RapidMQ3_PointEval(&ws, M, pts.Table(), v.data(), nullptr, 1), 0);
    EXPECT_NEAR(v[0], static_cast<double>(NaiveSum(Family(1, 0.1, 1), centres, other, pts.rows[0], false).value), 1e-5);
    // Aborts: while forming the series and while evaluating.
    Messages m;
    m.abort = 1;
    std::vector<double*> g(M);
    std::vector<double> grads(3 * M);
    for (int32_t i = 0; i < M; ++i) g[i] = &grads[3 * i];
    EXPECT_EQ(RapidMQ3_PointGradient(&ws, M, pts.Table(), v.data(), g.data(), &m.reporter, 1), 10);
    RapidMQ3_FreeTree(&ws);
    EXPECT_EQ(RapidMQ3_InitAccuracy(1500, 10, 1, 0.1, 1e-6, coef.data(), 0, &ws, &m.reporter, 1), 10);
    EXPECT_EQ(ws.Expansion.Formed, 0);
    m.abort = 0;
    ASSERT_EQ(RapidMQ3_InitAccuracy(1500, 10, 1, 0.1, 1e-6, coef.data(), 0, &ws, &m.reporter, 1), 0);
    EXPECT_TRUE(m.Said("MQExpansion: p = 10, k = 1, c = 0.1, NumInPanel = 100"));
    RapidMQ3_Free(&ws);
    EXPECT_EQ(Mem_CurrentBytes(), start);
    // A NaN or infinite coefficient ends every evaluator.
    for (double bad : {std::numeric_limits<double>::quiet_NaN(), HUGE_VAL}) {
        std::vector<double> c = coef;
        c[9] = bad;
        ASSERT_EQ(RapidMQ3_Init(1500, 3, 100, centres.Table(), 10, -1, 0.1, 1e-6, c.data(), 1, &ws, nullptr, 1), 0);
        ASSERT_EQ(RapidMQ3_PointGradient(&ws, M, pts.Table(), v.data(), g.data(), nullptr, 1), 0);
        RapidMQ3_Free(&ws);
        RapidASphere3Workspace sphere{};
        ASSERT_EQ(
            RapidASphere3_Init(1500, 3, 100, centres.Table(), 10, -9, 0.2, 1e-6, c.data(), 0, &sphere, nullptr, 1), 0);
        ASSERT_EQ(RapidASphere3_PointEval(&sphere, M, pts.Table(), v.data(), nullptr, 1), 0);
        RapidASphere3_Free(&sphere);
    }
    // Running out of memory: status 2 and every byte given back, until the
    // set-up has all it needs.
    bool succeeded = false;
    for (int allowed = 0; !succeeded && allowed < 1000000; allowed += 9) {
        Mem_FailAllocationsAfterForTesting(allowed);
        const int status =
            RapidMQ3_Init(1500, 3, 100, centres.Table(), 10, 1, 0.1, 1e-6, coef.data(), 1, &ws, nullptr, 1);
        Mem_FailAllocationsAfterForTesting(-1);
        EXPECT_TRUE(status == 0 || status == 2) << status;
        succeeded = status == 0;
        RapidMQ3_Free(&ws);
        EXPECT_EQ(Mem_CurrentBytes(), start);
    }
    EXPECT_TRUE(succeeded);
    EXPECT_EQ(MQExpansion_Bytes3(nullptr, 10, 0), 16 * 14 + 4 * (14 + 14 * 15 / 2 + 2 * (15 * 16 * 14 / 6)));
    Mem_TrackEnd();
}

}  // namespace

namespace {

TEST_F(RapidMQ3Test, StatisticsAndUseTable) {
    Cloud centres = UniformCloud(3, 1500, 111);
    std::vector<double> coef = MakeCoefficients(Signs::Mixed, 1500, 112);
    Cloud pts = MakePoints(centres, 30, 113);
    std::vector<double> v(pts.N());
    Messages m;
    RapidMQ3Workspace ws{};
    ASSERT_EQ(RapidMQ3_Init(1500, 3, 100, centres.Table(), 10, 1, 0.1, 1e-6, coef.data(), 0, &ws, &m.reporter, 1), 0);
    testing::internal::CaptureStdout();
    ASSERT_EQ(RapidMQ3_PointEval(&ws, pts.N(), pts.Table(), v.data(), &m.reporter, 1), 0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("RMS use at distances for different p's"), std::string::npos);
    EXPECT_NE(out.find("Magnitude of points diagonal is "), std::string::npos);
    bool direct = false, far = false, level = false;
    for (const std::string& l : m.lines) {
        direct |= l.rfind("NumDirectPanelEvals = ", 0) == 0;
        far |= l.rfind("NumFarPanelEvals    = ", 0) == 0;
        level |= l.rfind("Level ", 0) == 0 && l.find("of level panels)") != std::string::npos;
    }
    EXPECT_TRUE(direct && far && level);
    EXPECT_TRUE(m.Said("\nP's used per eval:"));
    RapidMQ3_Free(&ws);
}

}  // namespace

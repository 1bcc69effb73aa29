// The evaluation front against a sum written out here, its method and panel
// choices, and its workspace rules with a test evaluator plugged in.
#include "surface/fit/rapid_eval.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "surface/frame/basic_function.h"
#include "surface/frame/core_reporter.h"
#include "surface/fit/rapid_evaluator.h"
#include "surface/frame/solution.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"

namespace {

struct Lines {
    std::vector<std::string> text;
    CoreReporter core{};
    Lines() { CoreReporter_Init(&core, nullptr, nullptr, 6, 0, &Lines::Capture, this); }
    static int Capture(void* user, int32_t, const char* format, va_list args) {
        char buffer[512];
        std::vsnprintf(buffer, sizeof buffer, format, args);
        static_cast<Lines*>(user)->text.push_back(buffer);
        return 0;
    }
    bool Has(const std::string& s) const {
        for (const auto& t : text)
            if (t == s) return true;
        return false;
    }
};

struct Rows {
    std::vector<double> flat;
    std::vector<double*> rows;
    Rows(int n, int d) : flat(static_cast<size_t>(n) * d), rows(n) {
        for (int i = 0; i < n; ++i) rows[i] = flat.data() + static_cast<size_t>(i) * d;
    }
    const double* const* table() const { return rows.data(); }
    double* const* out() { return rows.data(); }
};

Rows Random(int n, int d, std::mt19937& rng, double spread) {
    Rows r(n, d);
    std::uniform_real_distribution<double> u(-spread, spread);
    for (double& v : r.flat) v = u(rng);
    return r;
}

// The fitted function written out: Σ cⱼ φ(|x − xⱼ|) plus the polynomial in
// the documented monomial order about the shift.
struct Function {
    BasicFunctionKernel k;
    int d;
    Rows centres;
    std::vector<double> coeffs;
    double shift[3] = {0.25, -0.5, 0.125};

    Function(int type, int dim, double c, int beta, int n, unsigned seed) : d(dim), centres(0, dim) {
        EXPECT_EQ(0, BasicFunction_Init(type, dim, -2, c, beta, &k, nullptr));
        std::mt19937 rng(seed);
        centres = Random(n, dim, rng, 1.0);
        std::uniform_real_distribution<double> u(-1.0, 1.0);
        coeffs.resize(n + 10);
        for (double& v : coeffs) v = u(rng);
    }
    int n() const { return static_cast<int>(centres.rows.size()); }
    double Poly(const double* x) const {
        const double* c = coeffs.data() + n();
        double y[3] = {0, 0, 0};
        for (int a = 0; a < d; ++a) y[a] = x[a] - shift[a];
        const int degree = k.PolyDegree;
        double s = 0.0;
        if (degree >= 0) s += c[0];
        if (degree == 1)
            for (int a = 0; a < d; ++a) s += c[1 + a] * y[a];
        if (degree == 2) {
            s += c[1] * y[0] + c[2] * y[0] * y[0] + c[3] * y[1] + c[4] * y[0] * y[1] + c[5] * y[1] * y[1];
            if (d == 3) s += c[6] * y[2] + c[7] * y[0] * y[2] + c[8] * y[1] * y[2] + c[9] * y[2] * y[2];
        }
        return s;
    }
    double At(const double* x) const {
        double s = Poly(x);
        for (int j = 0; j < n(); ++j) {
            double r2 = 0.0;
            for (int a = 0; a < d; ++a) r2 += (x[a] - centres.rows[j][a]) * (x[a] - centres.rows[j][a]);
            s += coeffs[j] * k.Phi(&k, r2);
        }
        return s;
    }
};

struct KernelCase {
    int type, dim;
    double c;
    int beta;
};

const KernelCase kKernels[] = {
    {0, 3, 0.0, 0},  {1, 3, 0.0, 0}, {2, 3, 0.7, 1}, {2, 3, 0.7, -1}, {3, 3, 1.0, 0}, {6, 3, 0.8, 1},
    {7, 3, 1.0, -9}, {8, 3, 1.5, 1}, {0, 2, 0.0, 0}, {1, 2, 0.0, 0},  {4, 2, 0.6, 0}, {5, 2, 0.6, 0},
};

TEST(RbfEvalTest, EveryRequestMatchesTheWrittenOutSum) {
    for (const KernelCase& kc : kKernels) {
        SCOPED_TRACE(testing::Message() << "type " << kc.type << " dim " << kc.dim);
        Function f(kc.type, kc.dim, kc.c, kc.beta, 30, 7u + kc.type);
        const int d = kc.dim;
        std::mt19937 rng(11);
        Rows points = Random(9, d, rng, 1.3);
        std::vector<double> values(9), direct(9);
        Rows gradients(9, d);
        ASSERT_EQ(0, RbfEval_Points(f.n(), &f.k, f.centres.table(), f.coeffs.data(), f.shift, nullptr, nullptr, 1e-6, 9,
                                    points.table(), values.data(), nullptr, 1.0));
        ASSERT_EQ(0, RbfEval_PointGradients(f.n(), &f.k, f.centres.table(), f.coeffs.data(), f.shift, nullptr, nullptr,
                                            1e-6, 9, points.table(), direct.data(), gradients.out(), nullptr, 1.0));
        for (int i = 0; i < 9; ++i) {
            const double expected = f.At(points.rows[i]);
            EXPECT_NEAR(expected, values[i], 1e-10 * (1 + std::fabs(expected)));
            EXPECT_NEAR(expected, direct[i], 1e-10 * (1 + std::fabs(expected)));
            for (int a = 0; a < d; ++a) {
                const double h = 1e-5;
                double p[3], m[3];
                for (int b = 0; b < d; ++b) p[b] = m[b] = points.rows[i][b];
                p[a] += h;
                m[a] -= h;
                const double central = (f.At(p) - f.At(m)) / (2 * h);
                EXPECT_NEAR(central, gradients.rows[i][a], 1e-5 * (1 + std::fabs(central)));
            }
        }
        // Grid nodes are points: a 4 x 3 (x 2) grid against point evaluation.
        const double base[3] = {-0.9, -0.4, 0.2}, spacing[3] = {0.45, 0.3, 0.5};
        const int32_t size[3] = {4, 3, 2};
        const int nodes = d == 3 ? 24 : 12;
        std::vector<double> grid(nodes), gridWithGradient(nodes);
        Rows gridGradients(nodes, d);
        ASSERT_EQ(0, RbfEval_Grid(f.n(), &f.k, f.centres.table(), f.coeffs.data(), f.shift, nullptr, nullptr, 1e-6,
                                  base, spacing, size, grid.data(), nullptr, 1.0));
        ASSERT_EQ(
            0, RbfEval_GridGradients(f.n(), &f.k, f.centres.table(), f.coeffs.data(), f.shift, nullptr, nullptr, 1e-6,
                                     base, spacing, size, gridWithGradient.data(), gridGradients.out(), nullptr, 1.0));
        Rows nodePoints(nodes, d);
        for (int at = 0; at < nodes; ++at) {
            const int idx[3] = {at % 4, (at / 4) % 3, at / 12};
            for (int a = 0; a < d; ++a) nodePoints.rows[at][a] = base[a] + idx[a] * spacing[a];
        }
        std::vector<double> nodeValues(nodes);
        Rows nodeGradients(nodes, d);
        ASSERT_EQ(
            0, RbfEval_PointGradients(f.n(), &f.k, f.centres.table(), f.coeffs.data(), f.shift, nullptr, nullptr, 1e-6,
                                      nodes, nodePoints.table(), nodeValues.data(), nodeGradients.out(), nullptr, 1.0));
        for (int at = 0; at < nodes; ++at) {
            EXPECT_NEAR(nodeValues[at], grid[at], 1e-10 * (1 + std::fabs(grid[at])));
            EXPECT_NEAR(nodeValues[at], gridWithGradient[at], 1e-10 * (1 + std::fabs(grid[at])));
            for (int a = 0; a < d; ++a)
                EXPECT_NEAR(nodeGradients.rows[at][a], gridGradients.rows[at][a], 1e-9 * (1 + std::fabs(grid[at])));
        }
        // The product at the centres equals point evaluation there.
        std::vector<double> product(f.n()), atCentres(f.n());
        ASSERT_EQ(0, RapidEval_Evaluate(f.n(), &f.k, f.centres.table(), f.coeffs.data(), f.shift, nullptr, nullptr,
                                        1e-6, product.data(), nullptr, 1.0));
        for (int j = 0; j < f.n(); ++j)
            EXPECT_NEAR(f.At(f.centres.rows[j]), product[j], 1e-10 * (1 + std::fabs(product[j])));
    }
}

TEST(RbfEvalTest, ArgumentChecksRefuseWithTheirTexts) {
    Function f(0, 3, 0.0, 0, 4, 3u);
    double value = 0.0;
    const double* point = f.centres.rows[0];
    struct Case {
        int32_t n;
        bool kernel, centres, coeffs;
        double accuracy;
        int32_t m;
        bool points, values;
        int status;
        const char* text;
    } cases[] = {
        {0, true, true, true, 1e-3, 1, true, true, 5, "NumCentres was not positive (0)"},
        {4, false, true, true, 1e-3, 1, true, true, 12, "Basic function was NULL"},
        {4, true, false, true, 1e-3, 1, true, true, 5, "Centres array was NULL"},
        {4, true, true, false, 1e-3, 1, true, true, 5, "Coeffs array was NULL"},
        {4, true, true, true, 0.0, 1, true, true, 17, "Accuracy was not positive (0)"},
        {4, true, true, true, 1e-3, 0, true, true, 5, "Invalid evaluation points"},
        {4, true, true, true, 1e-3, 1, false, true, 5, "Invalid evaluation points"},
        {4, true, true, true, 1e-3, 1, true, false, 5, "Values argument is NULL"},
    };
    for (const Case& c : cases) {
        Lines lines;
        EXPECT_EQ(c.status,
                  RbfEval_Points(c.n, c.kernel ? &f.k : nullptr, c.centres ? f.centres.table() : nullptr,
                                 c.coeffs ? f.coeffs.data() : nullptr, nullptr, nullptr, nullptr, c.accuracy, c.m,
                                 c.points ? &point : nullptr, c.values ? &value : nullptr, &lines.core, 1.0));
        EXPECT_TRUE(lines.Has(c.text)) << c.text;
    }
    Lines lines;
    EXPECT_EQ(5, RbfEval_PointGradients(4, &f.k, f.centres.table(), f.coeffs.data(), nullptr, nullptr, nullptr, 1e-3, 1,
                                        &point, &value, nullptr, &lines.core, 1.0));
    EXPECT_TRUE(lines.Has("Values or Gradient argument is NULL"));
    const int32_t size[3] = {1, 1, 1};
    EXPECT_EQ(5, RbfEval_Grid(4, &f.k, f.centres.table(), f.coeffs.data(), nullptr, nullptr, nullptr, 1e-3, nullptr,
                              point, size, &value, &lines.core, 1.0));
    EXPECT_TRUE(lines.Has("One of Base, Spacing or Size is NULL"));
    EXPECT_EQ(5, RbfEval_GridGradients(4, &f.k, f.centres.table(), f.coeffs.data(), nullptr, nullptr, nullptr, 1e-3,
                                       point, point, size, &value, nullptr, &lines.core, 1.0));
    EXPECT_TRUE(lines.Has("Values or Gradients argument is NULL"));
}

// ---- A test evaluator: sums directly but counts what the front asks of it ----

struct Counts {
    int setups = 0, builds = 0, evaluations = 0, drops = 0, releases = 0;
    int failWith = 0;  // non-zero: the next evaluation fails with it
    void* tree = nullptr;        // what the set-up holds (1000 tracked bytes)
    void* expansions = nullptr;  // what the expansions hold (500)
    const double* const* centres = nullptr;  // the rows the set-up was given
} g_counts;

int TestSetup(RapidEvalWorkspace* w, int32_t, const double* const* centres, const BasicFunctionKernel*,
              const RapidEvalOptions*, const CoreReporter*) {
    ++g_counts.setups;
    w->MethodState = &g_counts;
    Mem_Free(g_counts.tree);
    g_counts.tree = Mem_Alloc(1000);
    g_counts.centres = centres;
    return 0;
}
int TestBuild(RapidEvalWorkspace*, const RapidEvalRequest*, const CoreReporter*, double) {
    ++g_counts.builds;
    Mem_Free(g_counts.expansions);
    g_counts.expansions = Mem_Alloc(500);
    return 0;
}
int TestEvaluate(RapidEvalWorkspace*, const RapidEvalRequest* r, const CoreReporter* reporter, double end) {
    ++g_counts.evaluations;
    if (g_counts.failWith != 0) {
        const int status = g_counts.failWith;
        g_counts.failWith = 0;
        return status;
    }
    const BasicFunctionKernel* k = r->Kernel;
    switch (r->Kind) {
        case kRapidPoints:
            return k->PointEval(k, r->N, r->Centres, r->Coeffs, r->M, r->Points, r->Values, reporter, end);
        case kRapidPointGradients:
            return k->PointGradient(k, r->N, r->Centres, r->Coeffs, r->M, r->Points, r->Values, r->Gradients, reporter,
                                    end);
        case kRapidProduct:
            return k->Multiply(k, r->N, r->Centres, r->Coeffs, r->Values, reporter, end);
        default:
            return k->GridEval(k, r->N, r->Centres, r->Coeffs, r->Base, r->Spacing, r->Size, r->Values, reporter, end);
    }
}
void TestDrop(RapidEvalWorkspace*) {
    ++g_counts.drops;
    Mem_Free(g_counts.expansions);
    g_counts.expansions = nullptr;
}
void TestRelease(RapidEvalWorkspace* w) {
    ++g_counts.releases;
    TestDrop(w);
    --g_counts.drops;
    Mem_Free(g_counts.tree);
    g_counts.tree = nullptr;
    w->MethodState = nullptr;
}
int64_t TestBytes(int32_t n, const BasicFunctionKernel*, const RapidEvalWorkspace*) { return 100 * n; }

const RapidEvaluator kTestEvaluator = {"test",        0x1F,      &TestSetup,   &TestBuild,
                                       &TestEvaluate, &TestDrop, &TestRelease, &TestBytes};

class PluggedTest : public testing::Test {
  protected:
    void SetUp() override {
        g_counts = Counts();
        RapidEval_SetEvaluatorForTesting(0, 3, &kTestEvaluator);
        RapidEval_SetEvaluatorForTesting(0, 2, &kTestEvaluator);
        RapidEval_SetEvaluatorForTesting(2, 3, &kTestEvaluator);
        RapidEval_SetEvaluatorForTesting(8, 3, &kTestEvaluator);
    }
    void TearDown() override {
        Mem_Free(g_counts.tree);
        Mem_Free(g_counts.expansions);
        RapidEval_SetEvaluatorForTesting(0, 3, nullptr);
        RapidEval_SetEvaluatorForTesting(0, 2, nullptr);
        RapidEval_SetEvaluatorForTesting(2, 3, nullptr);
        RapidEval_SetEvaluatorForTesting(8, 3, nullptr);
    }
};

BasicFunctionKernel Kernel(int type, int dim, double c = 0.0, int beta = 0) {
    BasicFunctionKernel k;
    EXPECT_EQ(0, BasicFunction_Init(type, dim, -2, c, beta, &k, nullptr));
    return k;
}

TEST_F(PluggedTest, MethodAndPanelSizeFollowTheTables) {
    const BasicFunctionKernel bih3 = Kernel(0, 3), bih2 = Kernel(0, 2), mq3 = Kernel(2, 3, 0.5, 1),
                              gauss = Kernel(3, 3, 1.0), sph = Kernel(8, 3, 1.0, 1);
    struct Case {
        const BasicFunctionKernel* k;
        int32_t n, m;
        double given;  // NumInPanel given, or -1
        int32_t method;
        double panel;
    } cases[] = {
        {&bih3, 60000, 60000, -1, 0, 100}, {&bih3, 60001, 60001, -1, 0, 200}, {&bih3, 200000, 100, -1, 0, 200},
        {&bih3, 200001, 100, -1, 0, 400},  {&bih3, 1000, 5000, 600, 0, 100},  {&bih3, 99, 1000000, -1, 1, 100},
        {&bih3, 1000, 3000, -1, 1, 100},   {&bih3, 1000, 4001, -1, 0, 100},   {&mq3, 1000, 251, -1, 0, 100},
        {&mq3, 100000, 101, -1, 0, 200},   {&mq3, 1000, 250, -1, 1, 100},     {&gauss, 100000, 100000, -1, 1, -1},
        {&sph, 1000, 1001, -1, 0, 1},      {&bih2, 1000, 33, -1, 0, 43},      {&bih2, 1000, 32, -1, 1, 43},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.k->Name << " " << c.n << " " << c.m);
        RapidEvalOptions given;
        RapidEval_DefaultOptions(&given);
        if (c.given > 0) {
            given.NumInPanel = c.given;
            given.Method = 0;
        }
        const RapidEvalOptions o = RapidEval_InitOptions(c.n, c.m, c.k, &given);
        EXPECT_EQ(c.method, o.Method);
        EXPECT_EQ(c.panel, o.NumInPanel);
    }
    // Without an evaluator, a kernel prefers direct summation whatever the size.
    EXPECT_EQ(nullptr, RapidEval_FindEvaluator(3, 3));
    EXPECT_EQ(1, RapidEval_PreferDirect(&gauss, 200000, 200000));
    // Series length: 10 for the multiquadric family in 3D, else 0.
    EXPECT_EQ(10, RapidEval_InitOptions(10, 10, &mq3, nullptr).SeriesLength);
    EXPECT_EQ(0, RapidEval_InitOptions(10, 10, &bih3, nullptr).SeriesLength);
}

struct Problem {
    Function f{0, 3, 0.0, 0, 250, 5u};
    Rows points = [] {
        std::mt19937 rng(9);
        return Random(50, 3, rng, 1.0);
    }();
    std::vector<double> values = std::vector<double>(50);
    RapidEvalOptions fast;
    Problem() {
        RapidEval_DefaultOptions(&fast);
        fast.Method = 0;
    }
    int Eval(RapidEvalWorkspace* w, double accuracy, const double* coeffs = nullptr, const CoreReporter* r = nullptr,
             const RapidEvalOptions* o = nullptr) {
        return RbfEval_Points(f.n(), &f.k, f.centres.table(), coeffs ? coeffs : f.coeffs.data(), f.shift, o ? o : &fast,
                              w, accuracy, 50, points.table(), values.data(), r, 1.0);
    }
};

TEST_F(PluggedTest, WorkspaceIsReusedAndRebuiltByItsRules) {
    Problem p;
    RapidEvalWorkspace w;
    RapidEval_ZeroWorkspace(&w);
    Lines lines;
    lines.core.categoryMask = kCategoryFastEvaluation;
    ASSERT_EQ(0, p.Eval(&w, 1e-4, nullptr, &lines.core));
    EXPECT_EQ(kRapidExpansions, w.State);
    EXPECT_EQ(25000, RapidEval_WorkspaceBytes(p.f.n(), &p.f.k, &w));
    for (int i = 0; i < 50; ++i) EXPECT_NEAR(p.f.At(p.points.rows[i]), p.values[i], 1e-9);
    // Same arrays, coarser accuracy, even with direct asked for: reused.
    RapidEvalOptions direct = p.fast;
    direct.Method = 1;
    ASSERT_EQ(0, p.Eval(&w, 1e-3, nullptr, &lines.core, &direct));
    EXPECT_EQ(1, g_counts.setups);
    EXPECT_EQ(1, g_counts.builds);
    EXPECT_EQ(2, g_counts.evaluations);
    // Finer accuracy: expansions rebuilt.
    ASSERT_EQ(0, p.Eval(&w, 1e-6, nullptr, &lines.core));
    EXPECT_TRUE(lines.Has("Workspace does not provide sufficent accuracy. Expansions discarded"));
    EXPECT_EQ(1, g_counts.setups);
    EXPECT_EQ(2, g_counts.builds);
    EXPECT_EQ(1, g_counts.drops);
    // Another series length: expansions rebuilt.
    RapidEvalOptions series = p.fast;
    series.SeriesLength = 12;
    ASSERT_EQ(0, p.Eval(&w, 1e-6, nullptr, &lines.core, &series));
    EXPECT_TRUE(lines.Has("Series length option does not match. Expansions discarded"));
    EXPECT_EQ(3, g_counts.builds);
    // New coefficient array: everything rebuilt.
    std::vector<double> other = p.f.coeffs;
    ASSERT_EQ(0, p.Eval(&w, 1e-6, other.data(), &lines.core, &series));
    EXPECT_TRUE(lines.Has("RBF coefficients do not match. Workspace discarded"));
    EXPECT_EQ(2, g_counts.setups);
    EXPECT_EQ(1, g_counts.releases);
    // Another panel size: discarded whole.
    RapidEvalOptions panel = series;
    panel.NumInPanel = 20;
    ASSERT_EQ(0, p.Eval(&w, 1e-6, other.data(), &lines.core, &panel));
    EXPECT_TRUE(lines.Has("NumInPanel option does not match. Workspace discarded"));
    EXPECT_EQ(3, g_counts.setups);
    RapidEval_ClearWorkspace(&w);
    EXPECT_EQ(0, w.State);
    EXPECT_EQ(0, RapidEval_WorkspaceBytes(p.f.n(), &p.f.k, &w));
}

TEST_F(PluggedTest, FailedEvaluationLeavesTheWorkspaceConsistent) {
    Problem p;
    RapidEvalWorkspace w;
    RapidEval_ZeroWorkspace(&w);
    // Failure in state 1: partial expansions dropped, the tree kept.
    g_counts.failWith = 2;
    EXPECT_EQ(2, p.Eval(&w, 1e-4));
    EXPECT_EQ(kRapidMethodSet, w.State);
    EXPECT_EQ(1, g_counts.drops);
    EXPECT_EQ(0, g_counts.releases);
    ASSERT_EQ(0, p.Eval(&w, 1e-4));
    EXPECT_EQ(1, g_counts.setups);
    EXPECT_EQ(kRapidExpansions, w.State);
    // Failure in state 2: discarded whole.
    g_counts.failWith = 10;
    EXPECT_EQ(10, p.Eval(&w, 1e-4));
    EXPECT_EQ(kRapidEmpty, w.State);
    EXPECT_EQ(1, g_counts.releases);
    // A request without a workspace builds and releases a local one.
    g_counts = Counts();
    ASSERT_EQ(0, p.Eval(nullptr, 1e-4));
    EXPECT_EQ(1, g_counts.setups);
    EXPECT_EQ(1, g_counts.releases);
}

TEST_F(PluggedTest, MultiplyOnlyWorkspaceServesProductsNotPoints) {
    Function f(0, 2, 0.0, 0, 200, 4u);
    RapidEvalOptions fast;
    RapidEval_DefaultOptions(&fast);
    fast.Method = 0;
    RapidEvalWorkspace w;
    RapidEval_ZeroWorkspace(&w);
    std::vector<double> product(f.n());
    ASSERT_EQ(0, RapidEval_Evaluate(f.n(), &f.k, f.centres.table(), f.coeffs.data(), f.shift, &fast, &w, 1e-4,
                                    product.data(), nullptr, 1.0));
    EXPECT_EQ(1, w.MultiplyOnly);
    for (int j = 0; j < f.n(); ++j) EXPECT_NEAR(f.At(f.centres.rows[j]), product[j], 1e-9);
    Lines lines;
    lines.core.categoryMask = kCategoryFastEvaluation;
    std::vector<double> values(f.n());
    ASSERT_EQ(0, RbfEval_Points(f.n(), &f.k, f.centres.table(), f.coeffs.data(), f.shift, &fast, &w, 1e-4, f.n(),
                                f.centres.table(), values.data(), &lines.core, 1.0));
    EXPECT_TRUE(lines.Has("Workspace is for matrix multiply only. Workspace discarded"));
    EXPECT_EQ(2, g_counts.setups);
    // A product on a workspace made for points keeps it.
    ASSERT_EQ(0, RapidEval_Evaluate(f.n(), &f.k, f.centres.table(), f.coeffs.data(), f.shift, &fast, &w, 1e-4,
                                    product.data(), nullptr, 1.0));
    EXPECT_EQ(2, g_counts.setups);
    RapidEval_ClearWorkspace(&w);
}

TEST_F(PluggedTest, KernelWithoutFastMethodSaysSoWhenAskedAndSumsDirectly) {
    Function f(3, 3, 1.0, 0, 150, 2u);
    RapidEvalOptions fast;
    RapidEval_DefaultOptions(&fast);
    fast.Method = 0;
    std::vector<double> values(3);
    Lines lines;
    ASSERT_EQ(0, RbfEval_Points(f.n(), &f.k, f.centres.table(), f.coeffs.data(), f.shift, &fast, nullptr, 1e-4, 3,
                                f.centres.table(), values.data(), &lines.core, 1.0));
    EXPECT_TRUE(lines.Has("No fast method available for specified basic function"));
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(f.At(f.centres.rows[j]), values[j], 1e-10);
    // Unasked, nothing is said.
    Lines quiet;
    quiet.core.maximumLevel = 2;
    ASSERT_EQ(0, RbfEval_Points(f.n(), &f.k, f.centres.table(), f.coeffs.data(), f.shift, nullptr, nullptr, 1e-4, 3,
                                f.centres.table(), values.data(), &quiet.core, 1.0));
    EXPECT_TRUE(quiet.text.empty());
    // Workspace creation needs a workspace.
    EXPECT_EQ(23, RapidEval_CreateWorkspace(f.n(), 10, f.centres.table(), &f.k, &fast, 0, nullptr, &lines.core));
    EXPECT_TRUE(lines.Has("Workspace was NULL"));
}

TEST_F(PluggedTest, CreatedWorkspaceIsUsedByTheFirstRequest) {
    Problem p;
    RapidEvalWorkspace w;
    RapidEval_ZeroWorkspace(&w);
    ASSERT_EQ(0, RapidEval_CreateWorkspace(p.f.n(), 50, p.f.centres.table(), &p.f.k, &p.fast, 0, &w, nullptr));
    EXPECT_EQ(kRapidMethodSet, w.State);
    ASSERT_EQ(0, RapidEval_CreateWorkspace(p.f.n(), 50, p.f.centres.table(), &p.f.k, &p.fast, 0, &w, nullptr));
    ASSERT_EQ(0, p.Eval(&w, 1e-4));
    EXPECT_EQ(1, g_counts.setups);
    RapidEval_ClearWorkspace(&w);
}

TEST_F(PluggedTest, ExpansionBytesLeaveOutTheSetUp) {
    Problem p;
    RapidEvalWorkspace w;
    RapidEval_ZeroWorkspace(&w);
    ASSERT_EQ(0, Mem_TrackBegin());
    ASSERT_EQ(0, p.Eval(&w, 1e-4));
    EXPECT_EQ(1000, w.TreeBytes);
    EXPECT_EQ(500, w.ExpansionBytes);
    RapidEval_ClearWorkspace(&w);
    Mem_TrackEnd();
}

TEST_F(PluggedTest, RepeatedBoxKeepsThe2DWorkspace) {
    Function f(0, 2, 0.0, 0, 200, 4u);
    RapidEvalOptions fast;
    RapidEval_DefaultOptions(&fast);
    fast.Method = 0;
    double box[4] = {-1.0, -1.0, 1.0, 1.0};
    fast.BoundingBox = box;
    RapidEvalWorkspace w;
    RapidEval_ZeroWorkspace(&w);
    Lines lines;
    lines.core.categoryMask = kCategoryFastEvaluation;
    std::vector<double> values(f.n());
    for (int round = 0; round < 2; ++round)
        ASSERT_EQ(0, RbfEval_Points(f.n(), &f.k, f.centres.table(), f.coeffs.data(), f.shift, &fast, &w, 1e-4, f.n(),
                                    f.centres.table(), values.data(), &lines.core, 1.0));
    EXPECT_EQ(1, g_counts.setups);
    EXPECT_FALSE(lines.Has("Workspace does not cover desired area. Workspace discarded"));
    // A box reaching beyond it is not covered.
    box[2] = 1.5;
    ASSERT_EQ(0, RbfEval_Points(f.n(), &f.k, f.centres.table(), f.coeffs.data(), f.shift, &fast, &w, 1e-4, f.n(),
                                f.centres.table(), values.data(), &lines.core, 1.0));
    EXPECT_TRUE(lines.Has("Workspace does not cover desired area. Workspace discarded"));
    EXPECT_EQ(2, g_counts.setups);
    RapidEval_ClearWorkspace(&w);
}

// The Problem's function as a solution record (biharmonic, degree-2
// polynomial about the shift).
struct ProblemSolution {
    Problem p;
    Solution3 s{};
    ProblemSolution() {
        s.CentreCount = p.f.n();
        s.CoeffCount = p.f.n() + 10;
        s.DefaultEvalAccuracy = 1e-4;
        s.Centres = p.f.centres.flat.data();
        s.Coeffs = p.f.coeffs.data();
        for (int k = 0; k < 3; ++k) s.PolyBase[k] = p.f.shift[k];
        s.Basic = {0, 0.0, 0};
        s.PolyDegree = 2;
    }
    int Gradients(RapidEvalWorkspace* w, Rows* g, const CoreReporter* r = nullptr) {
        return RbfEval_SolutionPointGradients(&s, &p.fast, w, 50, p.points.table(), p.values.data(), g->out(), r, 1.0);
    }
};

TEST_F(PluggedTest, SolutionFormsReuseTheirWorkspace) {
    ProblemSolution a;
    RapidEvalWorkspace w;
    RapidEval_ZeroWorkspace(&w);
    Lines lines;
    lines.core.categoryMask = kCategoryFastEvaluation;
    for (int round = 0; round < 3; ++round)
        ASSERT_EQ(0, RbfEval_SolutionPoints(&a.s, &a.p.fast, &w, 50, a.p.points.table(), a.p.values.data(),
                                            &lines.core, 1.0));
    EXPECT_FALSE(lines.Has("RBF centres do not match. Workspace discarded"));
    EXPECT_EQ(1, g_counts.setups);
    EXPECT_EQ(1, g_counts.builds);
    EXPECT_EQ(3, g_counts.evaluations);
    // The method state was built over rows that live as long as it does.
    EXPECT_EQ(g_counts.centres, w.Centres);
    EXPECT_EQ(a.s.Centres, g_counts.centres[0]);
    // Another solution: its own rows and a new set-up over them.
    ProblemSolution b;
    ASSERT_EQ(0, RbfEval_SolutionPoints(&b.s, &b.p.fast, &w, 50, b.p.points.table(), b.p.values.data(), nullptr, 1.0));
    EXPECT_EQ(2, g_counts.setups);
    EXPECT_EQ(b.s.Centres, g_counts.centres[0]);
    EXPECT_EQ(g_counts.centres, w.Centres);
    RapidEval_ClearWorkspace(&w);
    EXPECT_EQ(nullptr, w.SolutionRows);
}

TEST_F(PluggedTest, GradientRequestsKeepTheirPolynomialTables) {
    ProblemSolution a;
    RapidEvalWorkspace w;
    RapidEval_ZeroWorkspace(&w);
    Rows first(50, 3), again(50, 3);
    ASSERT_EQ(0, a.Gradients(&w, &first));
    ASSERT_NE(nullptr, w.Scratch);
    double** tables = w.Scratch;
    ASSERT_EQ(0, a.Gradients(&w, &again));
    EXPECT_EQ(tables, w.Scratch);
    EXPECT_EQ(first.flat, again.flat);
    RapidEval_ClearWorkspace(&w);
    EXPECT_EQ(nullptr, w.Scratch);
}

// Refuses the polynomial tables' block of three pointers, nothing else.
void* NoTables(std::size_t bytes) { return bytes == 3 * sizeof(double*) ? nullptr : std::malloc(bytes); }

TEST_F(PluggedTest, TablesThatCannotBeMadeAreNoFailure) {
    ProblemSolution a;
    Rows expected(50, 3), got(50, 3);
    ASSERT_EQ(0, a.Gradients(nullptr, &expected));
    const std::vector<double> values = a.p.values;
    Lines lines;
    const MemBlockAllocator refusing{NoTables, std::realloc, std::free};
    Mem_SetBlockAllocatorForTesting(&refusing);
    const int status = a.Gradients(nullptr, &got, &lines.core);
    Mem_SetBlockAllocatorForTesting(nullptr);
    ASSERT_EQ(0, status);
    EXPECT_TRUE(lines.Has("Non-fatal malloc failure"));
    EXPECT_EQ(values, a.p.values);
    for (size_t i = 0; i < got.flat.size(); ++i) EXPECT_NEAR(expected.flat[i], got.flat[i], 1e-12);
}

TEST(RbfEvalTest, BuiltInBiharmonicEvaluatorAgreesWithDirectSums) {
    Function f(0, 3, 0.0, 0, 3000, 21u);
    std::mt19937 rng(5);
    Rows points = Random(400, 3, rng, 1.2);
    RapidEvalOptions fast, direct;
    RapidEval_DefaultOptions(&fast);
    RapidEval_DefaultOptions(&direct);
    fast.Method = 0;
    direct.Method = 1;
    RapidEvalWorkspace w;
    RapidEval_ZeroWorkspace(&w);
    std::vector<double> a(400), b(400);
    Rows ga(400, 3), gb(400, 3);
    double scale = 0.0;
    for (int j = 0; j < f.n(); ++j) scale += std::fabs(f.coeffs[j]);
    const double accuracy = 1e-7;
    ASSERT_EQ(0, RbfEval_PointGradients(f.n(), &f.k, f.centres.table(), f.coeffs.data(), f.shift, &fast, &w, accuracy,
                                        400, points.table(), a.data(), ga.out(), nullptr, 1.0));
    EXPECT_EQ(kRapidExpansions, w.State);
    EXPECT_GT(RapidEval_WorkspaceBytes(f.n(), &f.k, &w), 0);
    ASSERT_EQ(0, RbfEval_PointGradients(f.n(), &f.k, f.centres.table(), f.coeffs.data(), f.shift, &direct, nullptr,
                                        accuracy, 400, points.table(), b.data(), gb.out(), nullptr, 1.0));
    for (int i = 0; i < 400; ++i) {
        EXPECT_NEAR(b[i], a[i], 10 * accuracy * scale);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(gb.rows[i][k], ga.rows[i][k], 100 * accuracy * scale);
    }
    std::vector<double> pa(f.n()), pb(f.n());
    ASSERT_EQ(0, RapidEval_Evaluate(f.n(), &f.k, f.centres.table(), f.coeffs.data(), f.shift, &fast, &w, accuracy,
                                    pa.data(), nullptr, 1.0));
    ASSERT_EQ(0, RapidEval_Evaluate(f.n(), &f.k, f.centres.table(), f.coeffs.data(), f.shift, &direct, nullptr,
                                    accuracy, pb.data(), nullptr, 1.0));
    for (int j = 0; j < f.n(); ++j) EXPECT_NEAR(pb[j], pa[j], 10 * accuracy * scale);
    RapidEval_ClearWorkspace(&w);
}

}  // namespace

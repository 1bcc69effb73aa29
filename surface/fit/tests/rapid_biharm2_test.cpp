#include "surface/fit/rapid_biharm2.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "surface/fit/rapid_biharm2_internal.h"
#include "surface/fit/tests/far_field_sets.h"
#include "surface/frame/core_reporter.h"
#include "surface/frame/reporter.h"
#include "surface/frame/tests/tracked_memory_fixture.h"

namespace {

class RapidBiharm2Test : public TrackedMemoryTest {};

const RadialKernel kThinPlate{[](long double r) { return r > 0 ? r * r * std::log(r) : 0.0L; },
                              [](long double r) { return r > 0 ? r * (2 * std::log(r) + 1) : 0.0L; },
                              [](long double r) { return r > 0 ? 2 * std::log(r) + 3 : 0.0L; }};

struct Messages {
    std::vector<std::string> lines;
    CoreReporter reporter{};
    int32_t abort = 0;
    double progress = 0;
    explicit Messages(int32_t level = 6) {
        CoreReporter_Init(&reporter, &abort, &progress, level, kCategoryBiharmonic2, &Capture, this);
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

TEST_F(RapidBiharm2Test, AccuracyOverLayoutsSignsAndAccuracies) {
    for (Layout layout : {Layout::Uniform, Layout::Clustered, Layout::Shell})
        for (Signs signs : {Signs::Mixed, Signs::OneSign, Signs::Fitted}) {
            // A real direct fit is factored densely: fewer centres for it.
            const int32_t N = signs == Signs::Fitted ? 1200 : 3000;
            Cloud centres = MakeCentres(layout, 2, N, 81);
            const std::vector<double> coef =
                signs == Signs::Fitted ? FittedCoefficients(kBasicBiharmonic, centres) : MakeCoefficients(signs, N, 82);
            ASSERT_EQ(static_cast<int32_t>(coef.size()), N);
            Cloud pts = MakePoints(centres, 300, 83);
            const int32_t M = pts.N();
            std::vector<Reference> refs(M), product(N);
            double largest = 0;
            for (int32_t i = 0; i < M; ++i) {
                refs[i] = NaiveSum(kThinPlate, centres, coef, pts.rows[i], false);
                largest = std::max(largest, static_cast<double>(std::fabs(refs[i].value)));
            }
            for (int32_t i = 0; i < N; i += 11)
                product[i] = NaiveSum(kThinPlate, centres, coef, centres.rows[i], false);
            const double lo[2] = {pts.rows[0][0], pts.rows[0][1]};
            double box[4] = {lo[0], lo[1], lo[0], lo[1]};
            for (const double* p : pts.rows)
                box[0] = std::min(box[0], p[0]), box[1] = std::min(box[1], p[1]), box[2] = std::max(box[2], p[0]),
                box[3] = std::max(box[3], p[1]);
            const double base[2] = {box[0], box[1]}, spacing[2] = {(box[2] - box[0]) / 9, (box[3] - box[1]) / 7};
            const int32_t sizes[2] = {10, 8};
            std::vector<Reference> gridRefs(80);
            for (int i = 0; i < 80; ++i) {
                const double x[2] = {base[0] + (i % 10) * spacing[0], base[1] + (i / 10) * spacing[1]};
                gridRefs[i] = NaiveSum(kThinPlate, centres, coef, x, false);
            }
            for (double relative : {1e-3, 1e-6, 1e-9}) {
                SCOPED_TRACE(testing::Message() << Name(layout) << ", " << Name(signs) << ", " << relative);
                const double eps = relative * largest;
                auto allowed = [&](const Reference& r) { return eps + RoundingAllowance(r.magnitude); };
                double worst = 0;
                RapidBiharm2Workspace ws{};
                std::vector<double> v(M), out(N), grid(80);
                ASSERT_EQ(RapidBiharm2_PointEval(N, 2, centres.Table(), coef.data(), &ws, 40, eps, nullptr, M,
                                                 pts.Table(), v.data(), nullptr, 1),
                          0);
                for (int32_t i = 0; i < M; ++i)
                    worst = std::max(worst, std::fabs(v[i] - static_cast<double>(refs[i].value)) / allowed(refs[i]));
                ASSERT_EQ(RapidBiharm2_GridEval(N, 2, centres.Table(), coef.data(), &ws, 40, eps, box, base, spacing,
                                                sizes, grid.data(), nullptr, 1),
                          0);
                for (int i = 0; i < 80; ++i)
                    worst = std::max(
                        worst, std::fabs(grid[i] - static_cast<double>(gridRefs[i].value)) / allowed(gridRefs[i]));
                RapidBiharm2_Free(&ws);
                for (int32_t store : {0, 1}) {
                    ASSERT_EQ(RapidBiharm2_Multiply(N, 2, centres.Table(), coef.data(), &ws, 40, eps, store, 0,
                                                    out.data(), nullptr, 1),
                              0);
                    for (int32_t i = 0; i < N; i += 11)
                        worst = std::max(
                            worst, std::fabs(out[i] - static_cast<double>(product[i].value)) / allowed(product[i]));
                    RapidBiharm2_Free(&ws);
                }
                std::printf("%-9s %-11s %.0e: error/allowed %.2e\n", Name(layout), Name(signs), relative, worst);
                EXPECT_LE(worst, 1.0);
            }
        }
}

}  // namespace

namespace {

double Naive(const Cloud& c, const std::vector<double>& coef, const double* x) {
    return static_cast<double>(NaiveSum(kThinPlate, c, coef, x, false).value);
}

TEST_F(RapidBiharm2Test, EdgeCases) {
    Cloud centres = UniformCloud(2, 1000, 91);
    std::vector<double> coef = MakeCoefficients(Signs::Mixed, 1000, 92);
    std::vector<double> out(1000);
    // N = 1000: a panel size above N / 16 becomes N / 17 (58).
    struct Panels {
        double given, kept;
    } panels[] = {{100, 58}, {63, 58}, {62, 62}};
    for (const Panels& p : panels) {
        RapidBiharm2Workspace ws{};
        ASSERT_EQ(RapidBiharm2_InitTree(&ws, 1000, centres.Table(), p.given, nullptr, nullptr), 0);
        EXPECT_EQ(ws.NumInPanel, p.kept);
        EXPECT_GE(ws.DeepestLevel, 2);
        RapidBiharm2_Free(&ws);
    }
    // Few centres: the panel size stays at least 1.
    {
        Cloud few = UniformCloud(2, 10, 93);
        std::vector<double> c = MakeCoefficients(Signs::Mixed, 10, 94), v(10);
        RapidBiharm2Workspace ws{};
        ASSERT_EQ(RapidBiharm2_PointEval(10, 2, few.Table(), c.data(), &ws, 5, 1e-9, nullptr, 10, few.Table(), v.data(),
                                         nullptr, 1),
                  0);
        EXPECT_EQ(ws.NumInPanel, 1.0);
        for (int i = 0; i < 10; ++i) EXPECT_NEAR(v[i], Naive(few, c, few.rows[i]), 1e-12);
        RapidBiharm2_Free(&ws);
    }
    // A first product with stored values never tunes the panel size.
    {
        Messages m;
        RapidBiharm2Workspace ws{};
        ASSERT_EQ(RapidBiharm2_Multiply(1000, 2, centres.Table(), coef.data(), &ws, 40, 1e-6, 1, 10, out.data(),
                                        &m.reporter, 1),
                  0);
        EXPECT_TRUE(m.Said("RapidBiharm2_Multiply: Storing TPS values"));
        EXPECT_FALSE(m.Said("RapidBiharm2_Multiply: NumInPanel optimised"));
        EXPECT_EQ(ws.ProductsDone, 1);
        // The second product reads the stored values.
        std::vector<double> again(1000);
        ASSERT_EQ(RapidBiharm2_Multiply(1000, 2, centres.Table(), coef.data(), &ws, 40, 1e-6, 1, 10, again.data(),
                                        nullptr, 1),
                  0);
        for (int i = 0; i < 1000; i += 50) EXPECT_NEAR(again[i], out[i], 1e-9);
        EXPECT_NEAR(out[7], Naive(centres, coef, centres.rows[7]), 1e-5);
        RapidBiharm2_Free(&ws);
    }
    // Two clumps: a point between them, in no panel of a tree made for the
    // product, gives status 1; with a box every point of the box finds a
    // panel.
    {
        Cloud clumps;
        clumps.d = 2;
        for (int i = 0; i < 200; ++i) clumps.Add({0.01 * (i % 10), 0.01 * (i / 10)});
        for (int i = 0; i < 200; ++i) clumps.Add({9 + 0.01 * (i % 10), 9 + 0.01 * (i / 10)});
        std::vector<double> c = MakeCoefficients(Signs::Mixed, 400, 95), v(400);
        RapidBiharm2Workspace ws{};
        ASSERT_EQ(RapidBiharm2_Multiply(400, 2, clumps.Table(), c.data(), &ws, 10, 1e-6, 0, 0, v.data(), nullptr, 1),
                  0);
        const double middle[2] = {3.0, 6.5};
        const double* pts[1] = {middle};
        double value;
        EXPECT_EQ(RapidBiharm2_PointEval(400, 2, clumps.Table(), c.data(), &ws, 10, 1e-6, nullptr, 1, pts, &value,
                                         nullptr, 1),
                  1);
        RapidBiharm2_Free(&ws);
        const double box[4] = {-1, -1, 10, 10};
        ASSERT_EQ(
            RapidBiharm2_PointEval(400, 2, clumps.Table(), c.data(), &ws, 10, 1e-6, box, 1, pts, &value, nullptr, 1),
            0);
        EXPECT_NEAR(value, Naive(clumps, c, middle), 1e-6);
        RapidBiharm2_Free(&ws);
    }
    // All centres at one point: a square of size 0 evaluates nothing (5).
    {
        Cloud one;
        one.d = 2;
        for (int i = 0; i < 40; ++i) one.Add({2, 3});
        std::vector<double> c(40, 1.0);
        double value;
        const double* pts[1] = {one.rows[0]};
        RapidBiharm2Workspace ws{};
        EXPECT_EQ(
            RapidBiharm2_PointEval(40, 2, one.Table(), c.data(), &ws, 2, 1e-6, nullptr, 1, pts, &value, nullptr, 1), 5);
        RapidBiharm2_Free(&ws);
    }
    // A coefficient that is not finite ends with 5.
    for (double bad : {std::numeric_limits<double>::quiet_NaN(), HUGE_VAL}) {
        std::vector<double> c = coef;
        c[3] = bad;
        RapidBiharm2Workspace ws{};
        EXPECT_EQ(
            RapidBiharm2_Multiply(1000, 2, centres.Table(), c.data(), &ws, 40, 1e-6, 0, 0, out.data(), nullptr, 1), 5);
        EXPECT_EQ(ws.TreeBuilt, 0);
        RapidBiharm2_Free(&ws);
    }
}

TEST_F(RapidBiharm2Test, WorkspaceArgumentsAbortAndRelease) {
    ASSERT_EQ(Mem_TrackBegin(), 0);
    const size_t start = Mem_CurrentBytes();
    Cloud centres = UniformCloud(2, 2000, 101);
    std::vector<double> coef = MakeCoefficients(Signs::Mixed, 2000, 102), other = coef;
    other[5] += 2.0;
    Cloud pts = MakePoints(centres, 50, 103);
    const int32_t M = pts.N();
    std::vector<double> v(M), out(2000);
    const double* const* t = centres.Table();
    RapidBiharm2Workspace ws{};
    auto eval = [&](const std::vector<double>& c, const CoreReporter* r) {
        return RapidBiharm2_PointEval(2000, 2, t, c.data(), &ws, 40, 1e-6, nullptr, M, pts.Table(), v.data(), r, 1);
    };
    ASSERT_EQ(eval(coef, nullptr), 0);
    const size_t formed = Mem_CurrentBytes();
    const Biharm2Panel* root = ws.Root;
    ASSERT_EQ(eval(coef, nullptr), 0);  // nothing formed again
    EXPECT_EQ(Mem_CurrentBytes(), formed);
    EXPECT_EQ(ws.Root, root);
    ASSERT_EQ(eval(other, nullptr), 0);  // new coefficients form again
    EXPECT_NEAR(v[0], Naive(centres, other, pts.rows[0]), 1e-5);
    EXPECT_GT(RapidBiharm2_Bytes(&ws), 3704);
    // Arguments.
    double g[2] = {0, 0};
    const int32_t sizes[2] = {2, 0};
    EXPECT_EQ(RapidBiharm2_Multiply(2000, 3, t, coef.data(), &ws, 40, 1e-6, 0, 0, out.data(), nullptr, 1), 5);
    EXPECT_EQ(RapidBiharm2_Multiply(2000, 2, t, coef.data(), nullptr, 40, 1e-6, 0, 0, out.data(), nullptr, 1), 23);
    EXPECT_EQ(
        RapidBiharm2_PointEval(2000, 2, t, coef.data(), &ws, 40, 0.0, nullptr, M, pts.Table(), v.data(), nullptr, 1),
        17);
    EXPECT_EQ(RapidBiharm2_GridEval(2000, 2, t, coef.data(), &ws, 40, 1e-6, nullptr, g, g, sizes, v.data(), nullptr, 1),
              5);
    // Aborts: while forming and while evaluating; the workspace stays usable.
    Messages m;
    m.abort = 1;
    EXPECT_EQ(eval(coef, &m.reporter), 10);
    EXPECT_EQ(ws.ExpansionsFormed, 0);
    EXPECT_EQ(RapidBiharm2_Multiply(2000, 2, t, coef.data(), &ws, 40, 1e-6, 0, 0, out.data(), &m.reporter, 1), 10);
    EXPECT_EQ(ws.TreeBuilt, 0);
    m.abort = 0;
    ASSERT_EQ(eval(coef, &m.reporter), 0);
    EXPECT_TRUE(m.Said("RapidBiharm2_PointEval: Evaluation took"));
    EXPECT_NEAR(m.progress, 1.0, 1e-9);
    // A product drops the expansions and keeps the tree.
    ASSERT_EQ(RapidBiharm2_Multiply(2000, 2, t, coef.data(), &ws, 40, 1e-6, 0, 0, out.data(), nullptr, 1), 0);
    EXPECT_EQ(ws.ExpansionsFormed, 0);
    EXPECT_EQ(ws.TreeBuilt, 1);
    RapidBiharm2_Free(&ws);
    EXPECT_EQ(Mem_CurrentBytes(), start);
    for (int allowed = 0; allowed < 600; allowed += 13) {
        Mem_FailAllocationsAfterForTesting(allowed);
        const int status = eval(coef, nullptr);
        Mem_FailAllocationsAfterForTesting(-1);
        EXPECT_TRUE(status == 0 || status == 2) << status;
        RapidBiharm2_Free(&ws);
        EXPECT_EQ(Mem_CurrentBytes(), start);
    }
    Mem_TrackEnd();
}

// A clock that moves one tick a call, or the next of the given steps.
std::vector<uint32_t> g_steps;
uint32_t g_now = 0;
uint32_t SteppingClock() {
    uint32_t step = 1;
    if (!g_steps.empty()) {
        step = g_steps.front();
        g_steps.erase(g_steps.begin());
    }
    return g_now += step;
}

TEST_F(RapidBiharm2Test, StoredValuesTuneThePanelSizeFromTheSecondProduct) {
    Cloud centres = UniformCloud(2, 1000, 111);
    std::vector<double> coef = MakeCoefficients(Signs::Mixed, 1000, 112), out(1000);
    RapidBiharm2Workspace ws{};
    Reporter_SetClockForTesting(&SteppingClock);
    ASSERT_EQ(
        RapidBiharm2_Multiply(1000, 2, centres.Table(), coef.data(), &ws, 40, 1e-6, 1, 10, out.data(), nullptr, 1), 0);
    EXPECT_EQ(40.0, ws.NumInPanel);
    // The second product, whose reporter also reads the clock for its
    // timing lines: the Taylor step takes one tick (from the third reading
    // to the fourth) and the evaluation 100 (the sixth to the seventh), a
    // ratio of 100 beyond the stored values' band of 0.3 to 5:
    // 40 / (1.25 x 100^(1/3)).
    g_steps = {1, 1, 1, 1, 1, 1, 100};
    Messages m;
    const int status =
        RapidBiharm2_Multiply(1000, 2, centres.Table(), coef.data(), &ws, 40, 1e-6, 1, 10, out.data(), &m.reporter, 1);
    Reporter_SetClockForTesting(nullptr);
    g_steps.clear();
    ASSERT_EQ(0, status);
    EXPECT_TRUE(m.Said("RapidBiharm2_Multiply: NumInPanel optimised to 6.9"));
    EXPECT_NEAR(40.0 / (1.25 * std::cbrt(100.0)), ws.NumInPanel, 1e-9);
    EXPECT_EQ(2, ws.ProductsDone);
    EXPECT_EQ(1, ws.TreeBuilt);
    for (int i = 0; i < 1000; i += 97) EXPECT_NEAR(Naive(centres, coef, centres.rows[i]), out[i], 1e-5);
    RapidBiharm2_Free(&ws);
}

TEST_F(RapidBiharm2Test, GridNeedsATreeForItsCentresAndDumpNamesParents) {
    Cloud centres = UniformCloud(2, 600, 121);
    std::vector<double> coef = MakeCoefficients(Signs::Mixed, 600, 122);
    const double base[2] = {-0.5, -0.5}, spacing[2] = {0.25, 0.25};
    const int32_t sizes[2] = {5, 5};
    std::vector<double> v(25);
    RapidBiharm2Workspace ws{};
    auto grid = [&](int32_t n) {
        return RapidBiharm2_GridEval(n, 2, centres.Table(), coef.data(), &ws, 20, 1e-6, nullptr, base, spacing, sizes,
                                     v.data(), nullptr, 1);
    };
    EXPECT_EQ(5, grid(600));
    const double box[4] = {-0.5, -0.5, 0.5, 0.5};
    ASSERT_EQ(0, RapidBiharm2_InitTree(&ws, 600, centres.Table(), 20, box, nullptr));
    EXPECT_EQ(5, grid(599));
    ASSERT_EQ(0, grid(600));
    for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 5; ++i) {
            const double x[2] = {base[0] + i * spacing[0], base[1] + j * spacing[1]};
            EXPECT_NEAR(Naive(centres, coef, x), v[5 * j + i], 1e-5);
        }
    // Every panel line names a parent printed before it; the root's is -1.
    testing::internal::CaptureStdout();
    RapidBiharm2_DumpPanels(&ws);
    const std::string dump = testing::internal::GetCapturedStdout();
    int panel = -1, level = 0, count = 0, parent = 0, lines = 0;
    for (size_t at = dump.find("Panel "); at != std::string::npos; at = dump.find("\nPanel ", at + 1)) {
        ASSERT_EQ(4, std::sscanf(dump.c_str() + at + (dump[at] == '\n'), "Panel %d, Level %d, centcount %d, parent %d",
                                 &panel, &level, &count, &parent));
        EXPECT_EQ(lines, panel);
        if (level == 0) {
            EXPECT_EQ(-1, parent);
        } else {
            EXPECT_GE(parent, 0);
            EXPECT_LT(parent, panel);
        }
        ++lines;
    }
    int32_t panels = 0;
    for (int32_t l = 0; l <= ws.DeepestLevel; ++l) panels += ws.LevelCounts[l];
    EXPECT_EQ(panels, lines);
    // Each panel's own lengths, once its expansions are formed.
    ASSERT_EQ(0, RapidBiharm2_InitExpansions(&ws, 1e-6, coef.data(), nullptr));
    testing::internal::CaptureStdout();
    RapidBiharm2_DumpPanels(&ws);
    const std::string lengths = testing::internal::GetCapturedStdout();
    size_t at = 0;
    for (int32_t l = 0; l <= ws.DeepestLevel; ++l)
        for (const Biharm2Panel* p = ws.Levels[l]; p; p = p->Next) {
            at = lengths.find("LaurentLength = ", at);
            ASSERT_NE(std::string::npos, at);
            int laurent = -1, nearUse = -1, farUse = -1;
            ASSERT_EQ(3, std::sscanf(lengths.c_str() + at, "LaurentLength = %d\t LaurentLengthToUse = %d, %d", &laurent,
                                     &nearUse, &farUse));
            EXPECT_EQ(p->Laurent ? ws.LaurentLength : 0, laurent);
            EXPECT_EQ(p->LengthToUse[0], nearUse);
            EXPECT_EQ(p->LengthToUse[1], farUse);
            ++at;
        }
    RapidBiharm2_Free(&ws);
}

TEST_F(RapidBiharm2Test, ExpansionLengthsFollowTheAccuracy) {
    Cloud centres = UniformCloud(2, 3000, 131);
    std::vector<double> coef = MakeCoefficients(Signs::Mixed, 3000, 132);
    double M = 0.0;
    for (double c : coef) M = std::max(M, std::fabs(c));
    const double f = 1.5 * std::sqrt(2.0);
    int32_t previous = 0;
    for (double eps : {1e-2, 1e-5, 1e-8}) {
        SCOPED_TRACE(eps);
        RapidBiharm2Workspace ws{};
        ASSERT_EQ(0, RapidBiharm2_InitTree(&ws, 3000, centres.Table(), 40, nullptr, nullptr));
        ASSERT_EQ(0, RapidBiharm2_InitExpansions(&ws, eps, coef.data(), nullptr));
        ASSERT_GE(ws.DeepestLevel, 3);
        // Laurent: 0.3525 s0² M divided by 1.5 √2 until within the accuracy,
        // at least 2, raised to the first length to use of the near table.
        const double s0 = ws.HalfSize[0];
        double d = 0.3525 * s0 * s0 * M;
        int32_t n = 0;
        while (d > eps) d /= f, ++n;
        const int32_t laurent = std::max(std::max(n, 2), ws.UseLength[0][0]);
        EXPECT_EQ(laurent, ws.LaurentLength);
        EXPECT_GE(ws.LaurentLength, previous);  // a finer accuracy, no shorter
        previous = ws.LaurentLength;
        // Taylor: level 2 the Laurent length; a level down the bound is
        // quartered and every term it then allows is dropped, down to 2.
        int32_t t = ws.LaurentLength;
        EXPECT_EQ(t, ws.LevelTaylorLength[2]);
        for (int32_t level = 3; level <= ws.DeepestLevel; ++level) {
            d /= 4.0;
            while (eps > f * d && t > 2) d *= f, --t;
            EXPECT_EQ(t, ws.LevelTaylorLength[level]) << level;
        }
        EXPECT_EQ(t, ws.TaylorLength);
        // The near-field threshold: eps / M, quartered while the pairs within
        // it could add more than the accuracy.
        double threshold = eps / M;
        while (eps < threshold * std::fabs(std::log(threshold)) * M * 3000) threshold /= 4.0;
        EXPECT_DOUBLE_EQ(threshold, ws.NearThreshold);
        // Lengths to use: never above the Laurent length, shorter for the far
        // class, and falling with the panel's weight.
        bool shorter = false;
        for (int32_t level = 2; level <= ws.DeepestLevel; ++level)
            for (const Biharm2Panel* p = ws.Levels[level]; p; p = p->Next) {
                if (p->End == p->First) continue;
                EXPECT_LE(p->LengthToUse[0], ws.LaurentLength);
                EXPECT_LE(p->LengthToUse[1], p->LengthToUse[0]);
                EXPECT_GE(p->LengthToUse[1], 1);
                shorter = shorter || p->LengthToUse[0] < ws.LaurentLength;
            }
        EXPECT_TRUE(shorter);
        for (int table = 0; table < 2; ++table)
            for (int32_t e = 1; e < ws.UseCount[table]; ++e)
                EXPECT_LE(ws.UseLength[table][e], ws.UseLength[table][e - 1]);
        RapidBiharm2_Free(&ws);
    }
}

TEST_F(RapidBiharm2Test, LengthTablesHoldTheirBoundsByWeightAndDistanceClass) {
    // 64 centres on a unit grid over [0, 7]², 4 to a panel: 16 panels' worth,
    // two levels, h = 7 and s0 = 7/2 √(4² / 16) = 3.5. One coefficient of 1,
    // the rest 0: M = 1, and the largest panel magnitude is 1. At ε = 1e-6
    // each entry is the shortest l with (1/f)^(l-1) h a / ((l+1) l) <= ε for
    // a = 1, 1/4, 1/16, ..., h = (s0²/8)(f+1)/(f-1): 4.2624 for f = 1.5 √2,
    // 3.0625 for f = 3; the Laurent length is the 21 divisions of
    // 0.3525 s0² = 4.318 by 1.5 √2 that bring it under 1e-6.
    Cloud centres;
    centres.d = 2;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) centres.Add({static_cast<double>(x), static_cast<double>(y)});
    std::vector<double> coef(64, 0.0);
    coef[0] = 1.0;
    RapidBiharm2Workspace ws{};
    ASSERT_EQ(0, RapidBiharm2_InitTree(&ws, 64, centres.Table(), 4, nullptr, nullptr));
    ASSERT_EQ(0, RapidBiharm2_InitExpansions(&ws, 1e-6, coef.data(), nullptr));
    EXPECT_DOUBLE_EQ(3.5, ws.HalfSize[0]);
    EXPECT_DOUBLE_EQ(1.0, ws.UseTop);
    const std::vector<int32_t> nearTable = {15, 13, 12, 10, 9, 7, 6, 5, 4, 3, 2, 1};
    const std::vector<int32_t> farTable = {11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 2, 1};
    EXPECT_EQ(nearTable, std::vector<int32_t>(ws.UseLength[0], ws.UseLength[0] + ws.UseCount[0]));
    EXPECT_EQ(farTable, std::vector<int32_t>(ws.UseLength[1], ws.UseLength[1] + ws.UseCount[1]));
    EXPECT_EQ(21, ws.LaurentLength);
    // The panel of the one coefficient has the top magnitude, which no
    // panel exceeds: it takes the first entries; the empty-weighted panels
    // lie below every entry and take 1.
    int weighted = 0;
    for (int32_t level = 2; level <= ws.DeepestLevel; ++level)
        for (const Biharm2Panel* p = ws.Levels[level]; p; p = p->Next) {
            if (p->End == p->First) continue;
            const bool holds = p->Magnitude > 0.0;
            weighted += holds && level == 2;
            EXPECT_EQ(holds ? (level == 2 ? 15 : 12) : 1, p->LengthToUse[0]) << level;
            EXPECT_EQ(holds ? (level == 2 ? 11 : 9) : 1, p->LengthToUse[1]) << level;
        }
    EXPECT_EQ(1, weighted);
    RapidBiharm2_Free(&ws);
}

TEST_F(RapidBiharm2Test, ABoxGivesACellTableThatFindsEachPointsPanel) {
    // The centres fill [0, 1]² less its top right quarter, the box covers
    // the square and more: the table's cells hold the deepest panels, empty
    // quadrants within the box among them, and a point finds through its
    // cell the panel the descent from the root finds, on the cells' edges
    // and the square's far edges too; no panel, outside the root square.
    Cloud centres = UniformCloud(2, 1200, 141);
    Cloud kept;
    kept.d = 2;
    for (size_t i = 0; i + 1 < centres.flat.size(); i += 2)
        if (centres.flat[i] < 0.5 || centres.flat[i + 1] < 0.5) kept.Add({centres.flat[i], centres.flat[i + 1]});
    const int32_t n = static_cast<int32_t>(kept.rows.size());
    const double box[4] = {-0.25, -0.25, 1.5, 1.25};
    RapidBiharm2Workspace plain{};
    ASSERT_EQ(0, RapidBiharm2_InitTree(&plain, n, kept.Table(), 20, nullptr, nullptr));
    EXPECT_EQ(nullptr, plain.Cells);
    RapidBiharm2_Free(&plain);
    RapidBiharm2Workspace ws{};
    ASSERT_EQ(0, RapidBiharm2_InitTree(&ws, n, kept.Table(), 20, box, nullptr));
    ASSERT_NE(nullptr, ws.Cells);
    ASSERT_GE(ws.DeepestLevel, 3);
    ASSERT_EQ(1 << ws.DeepestLevel, ws.CellSide);
    int32_t filled = 0;
    for (int64_t c = 0; c < int64_t{ws.CellSide} * ws.CellSide; ++c) filled += ws.Cells[c] != nullptr;
    EXPECT_EQ(ws.LevelCounts[ws.DeepestLevel], filled);
    for (const Biharm2Panel* p = ws.Levels[ws.DeepestLevel]; p; p = p->Next)
        EXPECT_EQ(p, ws.Cells[int64_t{p->Row} * ws.CellSide + p->Col]);
    const double size = 2.0 * ws.HalfSize[0], cell = 2.0 * ws.HalfSize[ws.DeepestLevel];
    Biharm2Panel** cells = ws.Cells;
    for (int32_t a = -2; a <= 2 * ws.CellSide + 2; ++a)
        for (int32_t b = -2; b <= 2 * ws.CellSide + 2; ++b) {
            // Half-cell steps: cell edges, cell middles, the far edges and
            // points beyond them.
            const double x[2] = {ws.Min[0] + a * cell / 2, ws.Min[1] + b * cell / 2};
            const Biharm2Panel* found = Biharm2_Find(&ws, x);
            ws.Cells = nullptr;
            const Biharm2Panel* descended = Biharm2_Find(&ws, x);
            ws.Cells = cells;
            EXPECT_EQ(descended, found) << a << " " << b;
            const bool inside =
                x[0] >= ws.Min[0] && x[0] <= ws.Min[0] + size && x[1] >= ws.Min[1] && x[1] <= ws.Min[1] + size;
            if (!inside) EXPECT_EQ(nullptr, found) << a << " " << b;
        }
    RapidBiharm2_Free(&ws);
}

}  // namespace

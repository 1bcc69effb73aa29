#include "surface/fit/subdomain_update.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "surface/frame/core_reporter.h"
#include "surface/fit/subdomain_factor.h"
#include "surface/fit/tests/point_clouds.h"
#include "surface/frame/tracked_memory.h"

namespace {

BasicFunctionKernel Kernel(int32_t d) {
    BasicFunctionKernel k;
    EXPECT_EQ(BasicFunction_Init(0, d, -2, 0.0, 0, &k, nullptr), 0);
    return k;
}

struct Messages {
    std::vector<std::string> lines;
    CoreReporter reporter;
    Messages() { CoreReporter_Init(&reporter, nullptr, nullptr, 5, kCategorySubdomainUpdate, &Take, this); }
    static int Take(void* user, int32_t, const char* format, va_list args) {
        char text[256];
        std::vsnprintf(text, sizeof text, format, args);
        static_cast<Messages*>(user)->lines.push_back(text);
        return 0;
    }
    bool Has(const std::string& s) const { return std::find(lines.begin(), lines.end(), s) != lines.end(); }
};

// A factored decomposition of a cloud that new points can be appended to.
struct Fixture {
    Cloud cloud;
    BasicFunctionKernel kernel;
    DDFitContext context;
    SDData sd{};
    int32_t b;

    Fixture(Cloud c, int32_t method, int32_t maxPoints = -1, bool factor = true)
        : cloud(std::move(c)), kernel(Kernel(cloud.d)), b(cloud.N()) {
        DDFitContext_Init(&context, &kernel, 0.0);
        DomDecompOptions o;
        DomDecomp_DefaultOptions(&o);
        o.OuterMethod = method;
        o.MaxPoints = maxPoints;
        o.MinNumOuter = kernel.PolyTerms;
        EXPECT_EQ(DomDecomp_Setup(cloud.N(), cloud.d, cloud.Table(), &o, &sd, nullptr), 0);
        double bytes = 0.0;
        if (factor) {
            EXPECT_EQ(
                DomDecomp_SetupPreconditioner(cloud.Table(), &sd, &kernel, 0.0, 1e15, &bytes, nullptr, 0.0, nullptr),
                0);
        }
    }
    ~Fixture() { DomDecomp_Free(&sd); }

    // n new points uniform strictly inside the decomposition's box.
    void Append(int32_t n, uint32_t seed) {
        std::mt19937 rng(seed);
        const int32_t d = cloud.d;
        for (int32_t i = 0; i < n; ++i) {
            std::vector<double> p(d);
            for (int32_t k = 0; k < d; ++k) {
                const double lo = sd.box[k], hi = sd.box[d + k], margin = 1e-6 * (hi - lo);
                p[k] = std::uniform_real_distribution<double>(lo + margin, hi - margin)(rng);
            }
            cloud.Add(p);
        }
    }
    int Update(const CoreReporter* r = nullptr) {
        return Subdomain_UpdateAll(&sd, cloud.Table(), cloud.d, b, cloud.N(), 0.0, &context, r);
    }
};

// The inner coefficients of a subdomain's local solve through its stored
// factor, and through a fresh factor of a copy with the same sets.
void ExpectSameLocalSolution(Fixture& f, const Subdomain& s, const std::vector<double>& r) {
    const int32_t N = f.cloud.N();
    std::vector<double> updated(N, 0.0), fresh(N, 0.0), values(s.count);
    DomDecomp_SolveSubdomain(&s, s.unisolventCount, s.factor, s.polyMatrix, r.data(), updated.data(), values.data());
    Subdomain copy = s;
    copy.list = Mem_AllocInts(s.listCapacity);
    std::copy(s.list, s.list + s.count, copy.list);
    copy.factor = copy.polyMatrix = nullptr;
    copy.innerBox = copy.outerBox = nullptr;
    ASSERT_EQ(DomDecomp_FactorOne(f.cloud.Table(), &copy, &f.kernel, 0.0), 0);
    DomDecomp_SolveSubdomain(&copy, copy.unisolventCount, copy.factor, copy.polyMatrix, r.data(), fresh.data(),
                             values.data());
    double scale = 0.0;
    for (int32_t i = s.numOuter; i < s.count; ++i) scale = std::max(scale, std::fabs(fresh[s.list[i]]));
    for (int32_t i = s.numOuter; i < s.count; ++i)
        ASSERT_NEAR(updated[s.list[i]], fresh[s.list[i]], 1e-9 * scale) << "point " << s.list[i];
    Subdomain_Free(&copy);
}

void ExpectInnerPartition(const SDData& sd, int32_t N) {
    std::vector<int32_t> innerOf(N, 0);
    for (int32_t i = 0; i < sd.count; ++i) {
        const Subdomain& s = sd.subdomains[i];
        std::set<int32_t> outer(s.list, s.list + s.numOuter);
        EXPECT_EQ(static_cast<int32_t>(outer.size()), s.numOuter);
        for (int32_t j = s.numOuter; j < s.count; ++j) {
            ++innerOf[s.list[j]];
            EXPECT_EQ(outer.count(s.list[j]), 0u);
        }
    }
    for (int32_t p = 0; p < N; ++p) ASSERT_EQ(innerOf[p], 1) << "point " << p;
}

std::vector<double> Residual(int32_t N, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<double> r(N);
    for (double& v : r) v = u(rng);
    return r;
}

TEST(SubdomainUpdate, UpdatedFactorsSolveLikeFreshOnes) {
    for (int32_t method : {1, 0})
        for (int32_t d : {2, 3}) {
            SCOPED_TRACE(std::string(method == 1 ? "first mode " : "second mode ") + std::to_string(d) + "D");
            Fixture f(UniformCloud(d, d == 2 ? 3000 : 2500, 70 + d), method);
            const int32_t n = f.sd.count;
            std::vector<int32_t> countBefore(n), outerBefore(n);
            for (int32_t i = 0; i < n; ++i) {
                countBefore[i] = f.sd.subdomains[i].count;
                outerBefore[i] = f.sd.subdomains[i].numOuter;
            }
            f.Append(f.b / 10, 80 + d);
            ASSERT_EQ(f.Update(), 0);
            EXPECT_EQ(f.sd.badSubdomain, -1);
            ExpectInnerPartition(f.sd, f.cloud.N());
            const std::vector<double> r = Residual(f.cloud.N(), 90);
            int32_t updated = 0, dropped = 0, held = 0;
            for (int32_t i = 0; i < f.sd.count; ++i) {
                const Subdomain& s = f.sd.subdomains[i];
                held += s.factor != nullptr;
                if (i >= n || s.count == countBefore[i]) continue;
                const int32_t newOuter = s.numOuter - outerBefore[i];
                // A factor is dropped exactly when the new outer points are too many
                // for the subdomain's size.
                EXPECT_EQ(s.factor == nullptr, countBefore[i] < 7 * newOuter) << "subdomain " << i;
                if (!s.factor) {
                    ++dropped;
                    continue;
                }
                ++updated;
                ExpectSameLocalSolution(f, s, r);
            }
            EXPECT_GT(updated, n / 2);
            EXPECT_EQ(f.sd.numFactors, held);
            EXPECT_GE(f.sd.maxSize, *std::max_element(countBefore.begin(), countBefore.end()));
        }
}

TEST(SubdomainUpdate, TooManyNewPoints) {
    for (int32_t extra : {400, 401}) {
        Fixture f(UniformCloud(3, 1000, 71), 1, 40, false);
        f.Append(extra, 72);
        Messages m;
        const int status = f.Update(&m.reporter);
        if (extra == 400) {
            EXPECT_EQ(status, 0);
            ExpectInnerPartition(f.sd, f.cloud.N());
        } else {
            EXPECT_EQ(status, 18);
            EXPECT_EQ(m.lines, std::vector<std::string>{"Too many new points."});
        }
    }
}

TEST(SubdomainUpdate, NewPointOnTheUpperFaceIsRefused) {
    Fixture f(UniformCloud(2, 1000, 73), 1, -1, false);
    std::vector<int32_t> counts;
    for (int32_t i = 0; i < f.sd.count; ++i) counts.push_back(f.sd.subdomains[i].count);
    f.cloud.Add({0.5 * (f.sd.box[0] + f.sd.box[2]), f.sd.box[3]});
    Messages m;
    EXPECT_EQ(f.Update(&m.reporter), 18);
    EXPECT_TRUE(m.Has("New points not inside existing bounding box."));
    for (int32_t i = 0; i < f.sd.count; ++i) EXPECT_EQ(f.sd.subdomains[i].count, counts[i]);
}

// 960 points in 3D with leaves of 30: every inner set is full.
Cloud Full3D() { return UniformCloud(3, 960, 74); }

TEST(SubdomainUpdate, PoorQualityIsPredicted) {
    Fixture f(Full3D(), 1, 30, false);
    f.Append(300, 75);
    Messages m;
    EXPECT_EQ(f.Update(&m.reporter), 18);
    EXPECT_EQ(m.lines, std::vector<std::string>{"Predict poor quality update."});
}

// New points strictly inside one subdomain's inner box.
void AppendInside(Fixture& f, const Subdomain& s, int32_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    const int32_t d = f.cloud.d;
    for (int32_t i = 0; i < n; ++i) {
        std::vector<double> p(d);
        for (int32_t k = 0; k < d; ++k) {
            const double lo = s.innerBox[k], hi = s.innerBox[d + k];
            p[k] = std::uniform_real_distribution<double>(lo + 0.1 * (hi - lo), hi - 0.1 * (hi - lo))(rng);
        }
        f.cloud.Add(p);
    }
}

TEST(SubdomainUpdate, SplitBeyondTheInnerLimit) {
    for (int32_t added : {6, 7}) {
        SCOPED_TRACE(added);
        Fixture f(Full3D(), 1, 30);
        const int32_t n = f.sd.count, target = 5;
        ASSERT_EQ(f.sd.subdomains[target].count - f.sd.subdomains[target].numOuter, 30);
        AppendInside(f, f.sd.subdomains[target], added, 76);
        ASSERT_EQ(f.Update(), 0);
        ExpectInnerPartition(f.sd, f.cloud.N());
        if (added == 6) {
            EXPECT_EQ(f.sd.count, n);
            const Subdomain& s = f.sd.subdomains[target];
            EXPECT_EQ(s.count - s.numOuter, 36);
            ASSERT_NE(s.factor, nullptr);
            ExpectSameLocalSolution(f, s, Residual(f.cloud.N(), 77));
        } else {
            EXPECT_EQ(f.sd.count, n + 1);
            for (int32_t i : {target, n}) {
                const Subdomain& s = f.sd.subdomains[i];
                EXPECT_LE(s.count - s.numOuter, 30);
                EXPECT_EQ(s.factor, nullptr);
            }
        }
    }
}

// A factored subdomain cut down to 60 points.
struct Sixty {
    Fixture f{UniformCloud(3, 3000, 78), 1};
    Subdomain* s;
    Sixty() {
        s = &f.sd.subdomains[10];
        const int32_t inner = s->count - s->numOuter, outer = 60 - inner;
        std::copy(s->list + s->numOuter, s->list + s->count, s->list + outer);
        s->numOuter = outer;
        s->count = 60;
        EXPECT_EQ(DomDecomp_FactorOne(f.cloud.Table(), s, &f.kernel, 0.0), 0);
    }
};

TEST(SubdomainUpdate, TooManyNewOuterPointsDropTheFactor) {
    for (int32_t newOuter : {8, 9}) {
        SCOPED_TRACE(newOuter);
        Sixty x;
        SubdomainDiff diff;
        ASSERT_EQ(SubdomainDiff_Alloc(100, &diff), 0);
        // Points outside the subdomain that are neither inner nor outer to it.
        std::set<int32_t> in(x.s->list, x.s->list + x.s->count);
        for (int32_t p = 0; diff.numNewOuter < newOuter; ++p)
            if (!in.count(p)) diff.newOuter[diff.numNewOuter++] = p;
        SubdomainUpdateWork work;
        ASSERT_EQ(SubdomainUpdateWork_Init(&work, 80, &x.f.kernel, 0.0), 0);
        const int status = Subdomain_UpdateFactor(x.s, &diff, x.f.cloud.Table(), &x.f.context, &work, 0.0);
        EXPECT_EQ(x.s->count, 60 + newOuter);
        EXPECT_EQ(x.s->count - x.s->numOuter, 60 - (x.s->numOuter - newOuter));
        if (newOuter == 9) {
            EXPECT_EQ(status, 18);
            EXPECT_EQ(x.s->factor, nullptr);
        } else {
            EXPECT_EQ(status, 0);
            ASSERT_NE(x.s->factor, nullptr);
            ExpectSameLocalSolution(x.f, *x.s, Residual(x.f.cloud.N(), 79));
        }
        SubdomainUpdateWork_Free(&work);
        SubdomainDiff_Free(&diff);
    }
}

// Replacements and removals of both kinds, against a fresh factor.
TEST(SubdomainUpdate, RowReplacementsAndRemovals) {
    Fixture f(UniformCloud(2, 3000, 81), 1);
    Subdomain* s = &f.sd.subdomains[7];
    const int32_t p = s->unisolventCount;
    std::vector<int32_t> outer(s->list, s->list + s->numOuter), inner(s->list + s->numOuter, s->list + s->count);
    std::set<int32_t> in(s->list, s->list + s->count);
    std::vector<int32_t> others;
    for (int32_t q = 0; others.size() < 6; ++q)
        if (!in.count(q)) others.push_back(q);
    // Outer: drop three beyond the spanning points, add two. Inner: drop two, add three.
    std::vector<int32_t> newOuter(outer.begin(), outer.end());
    newOuter.erase(newOuter.begin() + p + 2);
    newOuter.erase(newOuter.begin() + p + 5);
    newOuter.erase(newOuter.end() - 1);
    newOuter.push_back(others[0]);
    newOuter.push_back(others[1]);
    std::vector<int32_t> newInner(inner.begin() + 1, inner.end() - 1);
    newInner.insert(newInner.end(), others.begin() + 2, others.begin() + 5);
    SubdomainDiff diff;
    ASSERT_EQ(SubdomainDiff_Alloc(s->count + 10, &diff), 0);
    ASSERT_EQ(SubdomainDiff_Compute(newOuter.data(), static_cast<int32_t>(newOuter.size()), newInner.data(),
                                    static_cast<int32_t>(newInner.size()), s, &diff),
              0);
    EXPECT_EQ(diff.numOldOuter, 3);
    EXPECT_EQ(diff.numNewOuter, 2);
    EXPECT_EQ(diff.numOldInner, 2);
    EXPECT_EQ(diff.numNewInner, 3);
    SubdomainUpdateWork work;
    ASSERT_EQ(SubdomainUpdateWork_Init(&work, s->count + 10, &f.kernel, 0.0), 0);
    ASSERT_EQ(Subdomain_UpdateFactor(s, &diff, f.cloud.Table(), &f.context, &work, 0.0), 0);
    std::vector<int32_t> gotOuter(s->list, s->list + s->numOuter), gotInner(s->list + s->numOuter, s->list + s->count);
    std::sort(gotOuter.begin(), gotOuter.end());
    std::sort(gotInner.begin(), gotInner.end());
    std::sort(newOuter.begin(), newOuter.end());
    std::sort(newInner.begin(), newInner.end());
    EXPECT_EQ(gotOuter, newOuter);
    EXPECT_EQ(gotInner, newInner);
    ExpectSameLocalSolution(f, *s, Residual(f.cloud.N(), 82));
    SubdomainUpdateWork_Free(&work);
    SubdomainDiff_Free(&diff);
}

TEST(SubdomainUpdate, ApplyDiffToTheListOnly) {
    int32_t list[16] = {10, 11, 12, 13, 20, 21, 22};
    Subdomain s{};
    s.list = list;
    s.numOuter = 4;
    s.count = 7;
    s.listCapacity = 16;
    SubdomainDiff diff;
    ASSERT_EQ(SubdomainDiff_Alloc(8, &diff), 0);
    // Outer: 11 and 13 out, 14 in; inner: 20 out, 23 and 24 in.
    diff.oldOuter[0] = 11, diff.oldOuterPos[0] = 1;
    diff.oldOuter[1] = 13, diff.oldOuterPos[1] = 3;
    diff.numOldOuter = 2;
    diff.newOuter[0] = 14, diff.numNewOuter = 1;
    diff.oldInner[0] = 20, diff.oldInnerPos[0] = 4, diff.numOldInner = 1;
    diff.newInner[0] = 23, diff.newInner[1] = 24, diff.numNewInner = 2;
    Subdomain_ApplyDiff(&s, &diff);
    ASSERT_EQ(s.numOuter, 3);
    ASSERT_EQ(s.count, 7);
    EXPECT_EQ(std::set<int32_t>(list, list + 3), (std::set<int32_t>{10, 12, 14}));
    EXPECT_EQ(std::set<int32_t>(list + 3, list + 7), (std::set<int32_t>{21, 22, 23, 24}));
    SubdomainDiff_Free(&diff);
}

TEST(SubdomainUpdate, OutOfMemoryLeavesNothingBehind) {
    Cloud base = UniformCloud(2, 1500, 83);
    int failures = 0;
    bool succeeded = false;
    for (int32_t allowed = 0; !succeeded && allowed < 10000000; allowed += 1 + allowed / 4) {
        TrackedScope memory;
        int status = 0;
        {
            Fixture f(base, 0);
            f.Append(100, 84);
            Mem_FailAllocationsAfterForTesting(allowed);
            status = f.Update();
            Mem_FailAllocationsAfterForTesting(-1);
        }
        EXPECT_EQ(memory.Held(), 0u) << allowed;
        succeeded = status == 0;
        if (succeeded) break;
        EXPECT_EQ(status, 2) << allowed;
        ++failures;
    }
    EXPECT_TRUE(succeeded);
    EXPECT_GT(failures, 3);
}

}  // namespace

namespace {

TEST(SubdomainDiffDebug, PrintedDifferences) {
    SubdomainDiff diff;
    ASSERT_EQ(SubdomainDiff_Alloc(4, &diff), 0);
    diff.newInner[0] = 7, diff.numNewInner = 1;
    diff.oldOuter[0] = 12, diff.oldOuterPos[0] = 3, diff.numOldOuter = 1;
    Messages m;
    m.reporter.maximumLevel = 6;
    SubdomainDiff_Print(&diff, &m.reporter);
    SubdomainDiff_PrintCounts(&diff, &m.reporter);
    EXPECT_EQ(m.lines,
              (std::vector<std::string>{"\nDifferences:\n  New Inner Points:    7\n  Old Inner Points: "
                                        "\n  Old Inner Positn: \n  New Outer Points: \n  Old Outer Points:   12"
                                        "\n  Old Outer Positn:    3",
                                        "Inner Points: + 1 - 0\n", "Outer Points: + 0 - 1\n"}));
    m.lines.clear();
    m.reporter.maximumLevel = 5;
    SubdomainDiff_Print(&diff, &m.reporter);
    EXPECT_TRUE(m.lines.empty());
    SubdomainDiff_Free(&diff);
}

}  // namespace

namespace {

TEST(SubdomainUpdate, RebuildFromAListOfNewPoints) {
    Fixture f(UniformCloud(2, 2000, 85), 1);
    f.Append(150, 86);
    std::vector<int32_t> added;
    for (int32_t i = f.b; i < f.cloud.N(); ++i) added.push_back(i);
    ASSERT_EQ(
        Subdomain_Rebuild(&f.sd, f.cloud.Table(), 2, added.data(), static_cast<int32_t>(added.size()), 0.0, &f.context),
        0);
    ExpectInnerPartition(f.sd, f.cloud.N());
    const std::vector<double> r = Residual(f.cloud.N(), 87);
    for (int32_t i = 0; i < f.sd.count; i += 5)
        if (f.sd.subdomains[i].factor) ExpectSameLocalSolution(f, f.sd.subdomains[i], r);
    // A listed point outside every box becomes no subdomain's inner point.
    Fixture g(UniformCloud(2, 2000, 85), 1);
    g.cloud.Add({5.0, 5.0});
    const int32_t far = g.cloud.N() - 1;
    EXPECT_EQ(Subdomain_Rebuild(&g.sd, g.cloud.Table(), 2, &far, 1, 0.0, &g.context), 1);
}

}  // namespace

#include "surface/fit/subdomain_factor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdarg>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "surface/frame/basic_function.h"
#include "surface/frame/core_reporter.h"
#include "surface/fit/poly_terms.h"
#include "surface/fit/tests/point_clouds.h"

namespace {

BasicFunctionKernel Kernel(int32_t type, int32_t d, int32_t degree = -2, double c = 0.0) {
    BasicFunctionKernel k;
    EXPECT_EQ(BasicFunction_Init(type, d, degree, c, 0, &k, nullptr), 0);
    return k;
}

struct Decomposition {
    SDData sd{};
    Decomposition(Cloud& c, int32_t maxPoints = -1) {
        DomDecompOptions o;
        DomDecomp_DefaultOptions(&o);
        o.MaxPoints = maxPoints;
        o.MinNumOuter = 4;
        EXPECT_EQ(DomDecomp_Setup(c.N(), c.d, c.Table(), &o, &sd, nullptr), 0);
    }
    ~Decomposition() { DomDecomp_Free(&sd); }
};

std::vector<double> Residual(int32_t N, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<double> r(N);
    for (double& v : r) v = u(rng);
    return r;
}

// The inner coefficients of one subdomain's local interpolation problem,
// solved as the full saddle-point system by Gaussian elimination.
std::vector<double> DenseLocalSolve(const Subdomain& s, Cloud& c, const BasicFunctionKernel& k, double shift,
                                    const std::vector<double>& r) {
    const int32_t n = s.count, m = std::max(k.PolyTerms, 0), size = n + m, d = c.d;
    std::vector<std::vector<double>> A(size, std::vector<double>(size + 1, 0.0));
    std::vector<double> centre(3, 0.0);
    int32_t exponents[3];
    std::vector<double> mono(std::max(m, 1));
    for (int32_t i = 0; i < n; ++i) {
        const double* p = c.rows[s.list[i]];
        for (int32_t j = 0; j < n; ++j) {
            const double* q = c.rows[s.list[j]];
            double dist2 = 0.0;
            for (int32_t t = 0; t < d; ++t) dist2 += (p[t] - q[t]) * (p[t] - q[t]);
            A[i][j] = k.Phi(&k, dist2) + (i == j ? shift : 0.0);
        }
        if (m > 0) Poly_MonomialRows(d, k.PolyDegree, centre.data(), p, mono.data(), exponents);
        for (int32_t t = 0; t < m; ++t) A[i][n + t] = A[n + t][i] = mono[t];
        A[i][size] = r[s.list[i]];
    }
    for (int32_t col = 0; col < size; ++col) {
        int32_t pivot = col;
        for (int32_t i = col + 1; i < size; ++i)
            if (std::fabs(A[i][col]) > std::fabs(A[pivot][col])) pivot = i;
        std::swap(A[col], A[pivot]);
        for (int32_t i = col + 1; i < size; ++i) {
            const double f = A[i][col] / A[col][col];
            for (int32_t j = col; j <= size; ++j) A[i][j] -= f * A[col][j];
        }
    }
    std::vector<double> x(size);
    for (int32_t i = size - 1; i >= 0; --i) {
        double v = A[i][size];
        for (int32_t j = i + 1; j < size; ++j) v -= A[i][j] * x[j];
        x[i] = v / A[i][i];
    }
    return std::vector<double>(x.begin() + s.numOuter, x.begin() + n);
}

double MaxAbs(const std::vector<double>& v) {
    double m = 0.0;
    for (double x : v) m = std::max(m, std::fabs(x));
    return m;
}

TEST(SubdomainFactor, LocalSolvesMatchTheFullLocalSystem) {
    struct Case {
        std::string what;
        Cloud cloud;
        BasicFunctionKernel kernel;
        double rho;
    };
    std::vector<Case> cases = {
        {"3D biharmonic", UniformCloud(3, 1500, 51), Kernel(0, 3), 0.0},
        {"2D biharmonic, smoothing", UniformCloud(2, 1200, 52), Kernel(0, 2), 1e-3},
        {"3D triharmonic, quadratic", ShellCloud(3, 1500, 53), Kernel(1, 3), 0.0},
        {"2D gaussian, no polynomial", UniformCloud(2, 600, 54, 0.0, 12.0), Kernel(3, 2, -1, 1.0), 0.0},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        Decomposition dd(c.cloud);
        const std::vector<double> r = Residual(c.cloud.N(), 55);
        std::vector<double> x(c.cloud.N(), 0.0);
        double stored = 0.0;
        ASSERT_EQ(DomDecomp_SetupPreconditioner(c.cloud.Table(), &dd.sd, &c.kernel, c.rho, 1e12, &stored, nullptr, 0.0,
                                                nullptr),
                  0);
        EXPECT_EQ(dd.sd.numFactors, dd.sd.count);
        ASSERT_EQ(DomDecomp_ApplyPreconditioner(c.cloud.Table(), &dd.sd, x.data(), r.data(), &c.kernel, c.rho, nullptr,
                                                0.0, nullptr),
                  0);
        const double shift = std::fabs(c.rho) * c.kernel.Sign;
        for (int32_t i : {0, dd.sd.count / 2, dd.sd.count - 1}) {
            const Subdomain& s = dd.sd.subdomains[i];
            if (c.kernel.PolyTerms <= 0) {
                EXPECT_EQ(s.unisolventCount, 0);
                EXPECT_EQ(s.polyMatrix, nullptr);
            } else {
                EXPECT_EQ(s.unisolventCount, c.kernel.PolyTerms);
            }
            const std::vector<double> expected = DenseLocalSolve(s, c.cloud, c.kernel, shift, r);
            const double scale = MaxAbs(expected);
            for (int32_t j = s.numOuter; j < s.count; ++j)
                EXPECT_NEAR(x[s.list[j]], expected[j - s.numOuter], 1e-8 * scale) << "subdomain " << i;
        }
    }
}

TEST(SubdomainFactor, BudgetZeroAndUnlimitedGiveTheSameDirection) {
    for (int32_t d : {2, 3}) {
        SCOPED_TRACE(d);
        Cloud c = UniformCloud(d, 2500, 60 + d);
        BasicFunctionKernel k = Kernel(0, d);
        Decomposition stored(c), none(c);
        const std::vector<double> r = Residual(c.N(), 62);
        std::vector<double> a(c.N(), 0.0), b(c.N(), 0.0);
        double bytes = -1.0;
        ASSERT_EQ(DomDecomp_SetupPreconditioner(c.Table(), &none.sd, &k, 0.0, 0.0, &bytes, nullptr, 0.0, nullptr), 0);
        EXPECT_EQ(bytes, 0.0);
        EXPECT_EQ(none.sd.numFactors, 0);
        ASSERT_EQ(DomDecomp_SetupPreconditioner(c.Table(), &stored.sd, &k, 0.0, 1e12, &bytes, nullptr, 0.0, nullptr),
                  0);
        int64_t atCapacity = 0;  // the running total counts each list's capacity
        for (int32_t i = 0; i < stored.sd.count; ++i) {
            const Subdomain& s = stored.sd.subdomains[i];
            atCapacity += Subdomain_FactorBytes(s.listCapacity, s.unisolventCount, k.PolyTerms);
        }
        EXPECT_EQ(static_cast<int64_t>(bytes), atCapacity);
        EXPECT_EQ(DomDecomp_MissingFactorBytes(&stored.sd, k.PolyTerms), 0);
        double progress = 0.0;
        ASSERT_EQ(
            DomDecomp_ApplyPreconditioner(c.Table(), &none.sd, a.data(), r.data(), &k, 0.0, &progress, 0.5, nullptr),
            0);
        EXPECT_NEAR(progress, 0.5, 1e-9);
        ASSERT_EQ(
            DomDecomp_ApplyPreconditioner(c.Table(), &stored.sd, b.data(), r.data(), &k, 0.0, nullptr, 0.0, nullptr),
            0);
        const double scale = MaxAbs(b);
        for (int32_t i = 0; i < c.N(); ++i) ASSERT_NEAR(a[i], b[i], 1e-10 * scale) << i;
    }
}

TEST(SubdomainFactor, BudgetStopsStoringInOrder) {
    Cloud c = UniformCloud(3, 3000, 63);
    BasicFunctionKernel k = Kernel(0, 3);
    Decomposition dd(c);
    auto bytesOf = [&](int32_t i) {
        return static_cast<double>(Subdomain_FactorBytes(dd.sd.subdomains[i].listCapacity, k.PolyTerms, k.PolyTerms));
    };
    const double budget = bytesOf(0) + bytesOf(1) + 1.0;  // the third one crosses it
    double bytes = 0.0, progress = 0.0;
    ASSERT_EQ(DomDecomp_SetupPreconditioner(c.Table(), &dd.sd, &k, 0.0, budget, &bytes, &progress, 1.0, nullptr), 0);
    EXPECT_EQ(dd.sd.numFactors, 3);
    for (int32_t i = 0; i < dd.sd.count; ++i) EXPECT_EQ(dd.sd.subdomains[i].factor != nullptr, i < 3);
    EXPECT_EQ(bytes, bytesOf(0) + bytesOf(1) + bytesOf(2));
    EXPECT_NEAR(progress, 3.0 / dd.sd.count, 1e-12);
    const int64_t all = DomDecomp_HeldFactorBytes(&dd.sd, 4) + DomDecomp_MissingFactorBytes(&dd.sd, 4);
    DomDecomp_FreeFactors(&dd.sd);
    EXPECT_EQ(DomDecomp_HeldFactorBytes(&dd.sd, 4), 0);
    EXPECT_EQ(DomDecomp_MissingFactorBytes(&dd.sd, 4), all);

    const int64_t a = dd.sd.maxSize;
    EXPECT_EQ(DomDecomp_TotalBytes(&dd.sd, 4, 3), (32 * 4 + 8) * 4 + (8 + a * (3 + 8 + a + 3)) * 8 + 20 * a);
    EXPECT_EQ(DomDecomp_WorkBytes(&dd.sd, 4, 3), 12 * a + (4 * (a + 19) + a * (a + 1) / 2 + 3 * a) * 8);
    SDData empty{};
    EXPECT_EQ(DomDecomp_TotalBytes(&empty, 4, 3), 0);
    EXPECT_EQ(Subdomain_FactorBytes(10, 4, 4), (21 + 50) * 8 - 16);
}

TEST(SubdomainFactor, TooFewOuterPointsForThePolynomial) {
    Cloud c = UniformCloud(3, 800, 64);
    BasicFunctionKernel k = Kernel(0, 3);
    Decomposition dd(c);
    Subdomain& s = dd.sd.subdomains[1];
    const int32_t inner = s.count - s.numOuter;
    std::copy(s.list + s.numOuter, s.list + s.count, s.list + 3);
    s.numOuter = 3;
    s.count = 3 + inner;
    EXPECT_EQ(DomDecomp_FactorOne(c.Table(), &s, &k, 0.0), 6);
    std::vector<double> r(c.N(), 1.0), x(c.N(), 0.0);
    EXPECT_EQ(DomDecomp_ApplyPreconditioner(c.Table(), &dd.sd, x.data(), r.data(), &k, 0.0, nullptr, 0.0, nullptr), 6);
    double bytes = 0.0;
    EXPECT_EQ(DomDecomp_SetupPreconditioner(c.Table(), &dd.sd, &k, 0.0, 1e12, &bytes, nullptr, 0.0, nullptr), 6);
    EXPECT_EQ(dd.sd.badSubdomain, 1);
    EXPECT_NE(dd.sd.subdomains[0].factor, nullptr);  // stored before the failure stay
}

TEST(SubdomainFactor, CancelStopsTheSetup) {
    Cloud c = UniformCloud(2, 2000, 65);
    BasicFunctionKernel k = Kernel(0, 2);
    Decomposition dd(c);
    volatile int32_t cancel = 1;
    double bytes = 0.0;
    EXPECT_EQ(DomDecomp_SetupPreconditioner(c.Table(), &dd.sd, &k, 0.0, 1e12, &bytes, nullptr, 0.0, &cancel), 10);
    EXPECT_EQ(dd.sd.numFactors, 0);
    std::vector<double> r(c.N(), 1.0), x(c.N(), 0.0);
    EXPECT_EQ(DomDecomp_ApplyPreconditioner(c.Table(), &dd.sd, x.data(), r.data(), &k, 0.0, nullptr, 0.0, &cancel), 10);
}

struct Lines {
    std::vector<std::string> lines;
    CoreReporter reporter;
    Lines() { CoreReporter_Init(&reporter, nullptr, nullptr, 5, 0, &Lines::Take, this); }
    static int Take(void* user, int32_t, const char* format, va_list args) {
        char text[256];
        std::vsnprintf(text, sizeof text, format, args);
        static_cast<Lines*>(user)->lines.push_back(text);
        return 0;
    }
};

TEST(SubdomainFactor, EllipseStatisticsOnAPlane) {
    Cloud c = UniformCloud(3, 1000, 66);
    for (double* p : c.rows) p[2] = 0.5;
    BasicFunctionKernel k = Kernel(0, 3);
    Decomposition dd(c);
    Lines out;
    ASSERT_EQ(DomDecomp_PrintEllipseStats(c.Table(), &k, &dd.sd, 2, &out.reporter), 0);
    char line[64];
    std::snprintf(line, sizeof line, "  3\t%d\t100.0%%", dd.sd.count);
    EXPECT_EQ(out.lines, (std::vector<std::string>{"  Ell\tNum\tPercent", line}));
    // The planar subdomains still factor and solve with three spanning points.
    std::vector<double> r = Residual(c.N(), 67), x(c.N(), 0.0);
    ASSERT_EQ(DomDecomp_ApplyPreconditioner(c.Table(), &dd.sd, x.data(), r.data(), &k, 0.0, nullptr, 0.0, nullptr), 0);
    for (double v : x) EXPECT_TRUE(std::isfinite(v));

    Cloud full = UniformCloud(3, 1000, 68);
    Decomposition spread(full);
    Lines quiet;
    ASSERT_EQ(DomDecomp_PrintEllipseStats(full.Table(), &k, &spread.sd, 0, &quiet.reporter), 0);
    EXPECT_TRUE(quiet.lines.empty());
}

// A subdomain so large that twice its count passes int32, or that its
// scratch passes 2^32 bytes (a 32-bit size product wraps to a small block):
// the preconditioner refuses with the out-of-memory status before it solves
// anything.
TEST(SubdomainFactor, ScratchOfAHugeSubdomainIsRefused) {
    BasicFunctionKernel k = Kernel(0, 3);
    double* noRow = nullptr;
    double x = 0.0;
    const double r = 1.0;
    for (const int32_t count : {0x40000001, 0x30000000, INT32_MAX}) {
        TrackedScope memory;
        Subdomain huge{};
        huge.count = count;
        huge.listCapacity = count;
        huge.factor = &noRow;  // stored, so no local system is built for it
        SDData sd{};
        sd.subdomains = &huge;
        sd.count = 1;
        sd.maxSize = count;
        EXPECT_EQ(DomDecomp_ApplyPreconditioner(nullptr, &sd, &x, &r, &k, 0.0, nullptr, 0.0, nullptr), 2) << count;
        EXPECT_EQ(x, 0.0);
        EXPECT_EQ(memory.Held(), 0u);
    }
}

TEST(SubdomainFactor, OutOfMemoryIsReportedAndLeavesNoLeak) {
    Cloud c = UniformCloud(2, 800, 69);
    BasicFunctionKernel k = Kernel(0, 2);
    int failures = 0;
    bool succeeded = false;
    for (int32_t allowed = 0; !succeeded && allowed < 1000000; allowed += 3) {
        TrackedScope memory;
        SDData sd{};
        ASSERT_EQ(DomDecomp_Setup(c.N(), 2, c.Table(), nullptr, &sd, nullptr), 0);
        double bytes = 0.0;
        Mem_FailAllocationsAfterForTesting(allowed);
        const int status = DomDecomp_SetupPreconditioner(c.Table(), &sd, &k, 0.0, 1e12, &bytes, nullptr, 0.0, nullptr);
        Mem_FailAllocationsAfterForTesting(-1);
        DomDecomp_Free(&sd);
        EXPECT_EQ(memory.Held(), 0u);
        succeeded = status == 0;
        if (succeeded) break;
        EXPECT_EQ(status, 2);
        ++failures;
    }
    EXPECT_TRUE(succeeded);
    EXPECT_GT(failures, 3);
}

}  // namespace

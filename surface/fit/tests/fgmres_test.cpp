#include "surface/fit/fgmres.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "surface/fit/small_solvers.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_matrix.h"

namespace {

// A dense system with counting callbacks; the preconditioner is the identity,
// Jacobi, nothing at all (zero), or one that asks to abort.
enum class Pre { Identity, Jacobi, Zero };

struct Dense {
    int n;
    std::vector<double> a;  // row-major
    Pre pre = Pre::Identity;
    int multiplies = 0, preconditions = 0;
    int failMultiplyAt = -1;  // the product call that returns status 9
    int32_t* abortAt = nullptr;
    int abortAfter = -1;
    const double* watch = nullptr;  // the reporter's progress value, seen at every call
    std::vector<double> seen;
    void Watch() {
        if (watch) seen.push_back(*watch);
    }

    Dense(int n_, std::vector<double> a_) : n(n_), a(std::move(a_)) {}
    double At(int i, int j) const { return a[static_cast<size_t>(i) * n + j]; }

    static int Multiply(int32_t n, const double* x, double, void* user, double* Ax, const CoreReporter*, double) {
        auto* d = static_cast<Dense*>(user);
        d->Watch();
        if (d->multiplies++ == d->failMultiplyAt) return CoreStatus_NoConvergence;
        for (int i = 0; i < n; ++i) {
            double s = 0;
            for (int j = 0; j < n; ++j) s += d->At(i, j) * x[j];
            Ax[i] = s;
        }
        return CoreStatus_Success;
    }
    static int Precondition(int32_t rows, const double* v, void* user, double* z, double, const CoreReporter*, double) {
        auto* d = static_cast<Dense*>(user);
        d->Watch();
        if (++d->preconditions == d->abortAfter) *d->abortAt = 1;
        for (int i = 0; i < rows; ++i) {
            switch (d->pre) {
                case Pre::Identity:
                    z[i] = v[i];
                    break;
                case Pre::Jacobi:
                    z[i] = v[i] / d->At(i, i);
                    break;
                case Pre::Zero:
                    z[i] = 0;
                    break;
            }
        }
        return CoreStatus_Success;
    }
};

Dense MakeSystem(int n, bool symmetric, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1, 1);
    Dense d{n, std::vector<double>(static_cast<size_t>(n) * n)};
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) d.a[static_cast<size_t>(i) * n + j] = u(rng);
    if (symmetric)  // Bᵀ B plus a diagonal shift: SPD
    {
        std::vector<double> s(d.a.size());
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) {
                double t = 0;
                for (int k = 0; k < n; ++k) t += d.At(k, i) * d.At(k, j);
                s[static_cast<size_t>(i) * n + j] = t + (i == j ? 1.0 + i : 0.0);
            }
        d.a = s;
    } else {  // a diagonal that varies widely makes Jacobi worth having
        for (int i = 0; i < n; ++i) d.a[static_cast<size_t>(i) * n + i] += 2.0 * n * (1 + i % 7);
    }
    return d;
}

std::vector<double> LuSolve(const Dense& d, const std::vector<double>& b) {
    double** m = Mem_AllocMatrix(d.n, d.n);
    for (int i = 0; i < d.n; ++i)
        for (int j = 0; j < d.n; ++j) m[i][j] = d.At(i, j);
    std::vector<int32_t> index(d.n);
    std::vector<double> scale(d.n), x(d.n);
    EXPECT_EQ(LU_IndexDecompose(d.n, m, index.data(), scale.data()), 0);
    LU_IndexSolve(d.n, m, index.data(), x.data(), b.data());
    Mem_FreeMatrix(m);
    return x;
}

FGMResOptions Options(int maxIteration, int maxSaved, bool useCoeffs = false) {
    FGMResOptions o;
    FGMRes_DefaultOptions(&o);
    o.MaxIteration = maxIteration;
    o.MaxSaved = maxSaved;
    o.UseCoeffs = useCoeffs;
    return o;
}

TEST(FGMResSolve, EqualsAnLuSolve) {
    struct Case {
        const char* name;
        bool symmetric;
        Pre pre;
        int maxSaved;
    };
    for (const Case& c : {Case{"spd identity", true, Pre::Identity, 60}, Case{"spd jacobi", true, Pre::Jacobi, 8},
                          Case{"nonsymmetric identity", false, Pre::Identity, 60},
                          Case{"nonsymmetric jacobi", false, Pre::Jacobi, 5}}) {
        SCOPED_TRACE(c.name);
        const int n = 40;
        Dense d = MakeSystem(n, c.symmetric, 7);
        d.pre = c.pre;
        std::vector<double> b(n);
        for (int i = 0; i < n; ++i) b[i] = std::sin(1.0 + i);
        std::vector<double> expected = LuSolve(d, b), x(n, 123.0);  // x is not read without UseCoeffs
        FGMResOptions o = Options(400, c.maxSaved);
        ASSERT_EQ(
            FGMRes_Solve(n, n, b.data(), 1e-12, &o, &Dense::Precondition, &Dense::Multiply, &d, x.data(), nullptr, 1.0),
            CoreStatus_Success);
        EXPECT_LE(o.AchievedResidual, 1e-12);
        for (int i = 0; i < n; ++i) EXPECT_NEAR(x[i], expected[i], 1e-9 * (1 + std::fabs(expected[i])));
    }
}

// The bordered system [A 1; 1ᵀ 0] [c; a] = [f; 0]: the Krylov vectors hold
// the n residual entries, the solution one extra entry (the constant). The
// preconditioner keeps Σc = 0 by taking the mean out into the constant.
struct Bordered {
    Dense d;
    static int Multiply(int32_t n, const double* x, double accuracy, void* user, double* Ax, const CoreReporter* r,
                        double p) {
        auto* b = static_cast<Bordered*>(user);
        int status = Dense::Multiply(n, x, accuracy, &b->d, Ax, r, p);
        for (int i = 0; i < n; ++i) Ax[i] += x[n];
        return status;
    }
    static int Precondition(int32_t rows, const double* v, void*, double* z, double, const CoreReporter*, double) {
        double mean = 0;
        for (int i = 0; i < rows; ++i) mean += v[i] / rows;
        for (int i = 0; i < rows; ++i) z[i] = v[i] - mean;
        z[rows] = mean;
        return CoreStatus_Success;
    }
};

TEST(FGMResSolve, ExtraEntriesFollowThePreconditionedVectors) {
    const int n = 30;
    Bordered s{MakeSystem(n, true, 4)};
    Dense full{n + 1, std::vector<double>(static_cast<size_t>(n + 1) * (n + 1), 0.0)};
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) full.a[static_cast<size_t>(i) * (n + 1) + j] = s.d.At(i, j);
        full.a[static_cast<size_t>(i) * (n + 1) + n] = full.a[static_cast<size_t>(n) * (n + 1) + i] = 1.0;
    }
    std::vector<double> f(n + 1, 0.0), x(n + 1, 0.0);
    for (int i = 0; i < n; ++i) f[i] = 3.0 + std::cos(0.3 * i);
    std::vector<double> expected = LuSolve(full, f);
    FGMResOptions o = Options(200, 20);
    o.NumExtra = 1;
    ASSERT_EQ(FGMRes_Solve(n, n, f.data(), 1e-12, &o, &Bordered::Precondition, &Bordered::Multiply, &s, x.data(),
                           nullptr, 1.0),
              CoreStatus_Success);
    for (int i = 0; i <= n; ++i) EXPECT_NEAR(x[i], expected[i], 1e-9 * (1 + std::fabs(expected[i])));
}

TEST(FGMResSolve, RestartsInCyclesOfMaxSavedUntilTheIterationsRunOut) {
    // 50 iterations with 4 kept vectors: 12 cycles of 4 and one of 2. Each
    // cycle makes one residual product besides its steps' products.
    const int n = 120;
    Dense d = MakeSystem(n, false, 3);
    for (int i = 0; i < n; ++i) d.a[static_cast<size_t>(i) * n + i] = 0.01 * (i % 3 - 1);  // hard, indefinite
    std::vector<double> b(n, 1.0), x(n, 0.0);
    FGMResOptions o = Options(50, 4, true);
    EXPECT_EQ(
        FGMRes_Solve(n, n, b.data(), 1e-14, &o, &Dense::Precondition, &Dense::Multiply, &d, x.data(), nullptr, 1.0),
        CoreStatus_ReachedMaxIteration);
    EXPECT_EQ(d.preconditions, 50);
    EXPECT_EQ(d.multiplies - d.preconditions, 13);
    EXPECT_GT(o.AchievedResidual, 1e-14);
    // GMRES never lets the 2-norm of the residual grow.
    double before = 0, after = 0;
    for (int i = 0; i < n; ++i) {
        double ax = 0;
        for (int j = 0; j < n; ++j) ax += d.At(i, j) * x[j];
        before += b[i] * b[i];
        after += (b[i] - ax) * (b[i] - ax);
    }
    EXPECT_LT(after, before);
}

TEST(FGMResSolve, BreakdownIsJudgedByTheTrueResidual) {
    // A = 2 I and b = e₁: the second Krylov vector is exactly zero.
    {
        Dense d{3, {2, 0, 0, 0, 2, 0, 0, 0, 2}};
        std::vector<double> b{1, 0, 0}, x(3, 0.0);
        FGMResOptions o = Options(10, 4, true);
        EXPECT_EQ(
            FGMRes_Solve(3, 3, b.data(), 0.0, &o, &Dense::Precondition, &Dense::Multiply, &d, x.data(), nullptr, 1.0),
            CoreStatus_Success);
        EXPECT_EQ(x, (std::vector<double>{0.5, 0, 0}));
        EXPECT_EQ(o.AchievedResidual, 0.0);
    }
    // A preconditioner that gives nothing: every step breaks down on a zero
    // diagonal; x stays as it was and the iterations run out, no NaN.
    {
        Dense d = MakeSystem(5, true, 1);
        d.pre = Pre::Zero;
        std::vector<double> b(5, 1.0), x(5, 0.25);
        FGMResOptions o = Options(6, 4, true);
        EXPECT_EQ(
            FGMRes_Solve(5, 5, b.data(), 1e-8, &o, &Dense::Precondition, &Dense::Multiply, &d, x.data(), nullptr, 1.0),
            CoreStatus_ReachedMaxIteration);
        EXPECT_EQ(x, std::vector<double>(5, 0.25));
        EXPECT_TRUE(std::isfinite(o.AchievedResidual));
    }
}

int Capture(void* user, int32_t, const char* format, va_list args) {
    char text[512];
    vsnprintf(text, sizeof text, format, args);
    static_cast<std::vector<std::string>*>(user)->push_back(text);
    return 0;
}

TEST(FGMResSolve, RefusesMissingArgumentsAndBadOptions) {
    Dense d = MakeSystem(4, true, 2);
    std::vector<double> b(4, 1.0), x(4, 0.0);
    auto optionsWith = [](void (*change)(FGMResOptions&)) {
        FGMResOptions o = Options(50, 4);
        change(o);
        return o;
    };
    struct Case {
        const char* name;
        FGMResOptions options;
        const char* message;
    } cases[] = {
        {"iterations", optionsWith([](FGMResOptions& o) { o.MaxIteration = 0; }), "MaxIteration must be positive (0)"},
        {"saved", optionsWith([](FGMResOptions& o) { o.MaxSaved = 0; }), "MaxSaved must be positive"},
        {"accuracy factor", optionsWith([](FGMResOptions& o) { o.EvalAccFactor = 1.0; }),
         "EvalAccFactor must be between 0 and 1"},
        {"extra", optionsWith([](FGMResOptions& o) { o.NumExtra = -1; }), "NumExtra must be non-negative"},
        {"indent", optionsWith([](FGMResOptions& o) { o.MsgIndent = -2; }), "MsgIndent must be non-negative"},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> lines;
        CoreReporter reporter;
        CoreReporter_Init(&reporter, nullptr, nullptr, 6, 0, &Capture, &lines);
        EXPECT_EQ(FGMRes_Solve(4, 4, b.data(), 1e-6, &c.options, &Dense::Precondition, &Dense::Multiply, &d, x.data(),
                               &reporter, 1.0),
                  CoreStatus_InvalidInput);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0], c.message);
    }
    EXPECT_EQ(
        FGMRes_Solve(4, 4, nullptr, 1e-6, nullptr, &Dense::Precondition, &Dense::Multiply, &d, x.data(), nullptr, 1.0),
        CoreStatus_InvalidInput);
    EXPECT_EQ(FGMRes_Solve(4, 4, b.data(), 1e-6, nullptr, &Dense::Precondition, nullptr, &d, x.data(), nullptr, 1.0),
              CoreStatus_InvalidInput);
}

TEST(FGMResSolve, CallbackFailuresAndAbortEndTheSolve) {
    const int n = 30;
    std::vector<double> b(n, 1.0), x(n, 0.0);
    {
        Dense d = MakeSystem(n, false, 5);
        d.failMultiplyAt = 3;
        EXPECT_EQ(FGMRes_Solve(n, n, b.data(), 1e-12, nullptr, &Dense::Precondition, &Dense::Multiply, &d, x.data(),
                               nullptr, 1.0),
                  CoreStatus_NoConvergence);
    }
    {
        Dense d = MakeSystem(n, false, 5);
        int32_t abort = 0;
        double progress = 0;
        CoreReporter reporter;
        CoreReporter_Init(&reporter, &abort, &progress, 0, 0, nullptr, nullptr);
        d.abortAt = &abort;
        d.abortAfter = 3;
        EXPECT_EQ(FGMRes_Solve(n, n, b.data(), 1e-12, nullptr, &Dense::Precondition, &Dense::Multiply, &d, x.data(),
                               &reporter, 1.0),
                  CoreStatus_UserAbort);
        EXPECT_EQ(d.preconditions, 3);
    }
}

TEST(FGMResSolve, ProgressMovesForwardToTheEnd) {
    const int n = 40;
    Dense d = MakeSystem(n, true, 9);
    std::vector<double> b(n, 1.0), x(n, 0.0);
    double progress = 0.2;
    CoreReporter reporter;
    CoreReporter_Init(&reporter, nullptr, &progress, 0, 0, nullptr, nullptr);
    FGMResOptions o = Options(200, 6);
    ASSERT_EQ(
        FGMRes_Solve(n, n, b.data(), 1e-10, &o, &Dense::Precondition, &Dense::Multiply, &d, x.data(), &reporter, 0.7),
        CoreStatus_Success);
    EXPECT_EQ(progress, 0.7);
}

}  // namespace

#include "surface/fit/cholesky.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "surface/frame/tracked_matrix.h"

namespace {

using Dense = std::vector<std::vector<double>>;

enum class Kind { kPositive, kNegative, kIndefinite };

const char* KindName(Kind k) {
    return k == Kind::kPositive ? "SPD" : k == Kind::kNegative ? "negative definite" : "indefinite";
}

// A = M·E·Mᵀ with M unit lower (small multipliers) and pivots E of magnitude
// 1 to 2: every leading minor is well conditioned, whatever the signs. E is
// the D of A's L·D·Lᵀ factorisation; `pivots` receives it when given.
Dense RandomSymmetric(int n, Kind kind, std::mt19937& rng, std::vector<double>* pivots = nullptr) {
    std::uniform_real_distribution<double> mult(-0.6, 0.6), mag(1.0, 2.0), coin(0.0, 1.0);
    Dense M(n, std::vector<double>(n, 0.0));
    std::vector<double> e(n);
    for (int i = 0; i < n; ++i) {
        M[i][i] = 1.0;
        for (int j = 0; j < i; ++j) M[i][j] = mult(rng) / std::sqrt(double(n));
        double sign = kind == Kind::kPositive ? 1.0 : kind == Kind::kNegative ? -1.0 : (coin(rng) < 0.5 ? -1.0 : 1.0);
        e[i] = sign * mag(rng);
    }
    Dense A(n, std::vector<double>(n, 0.0));
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            double s = 0;
            for (int k = 0; k <= std::min(i, j); ++k) s += M[i][k] * e[k] * M[j][k];
            A[i][j] = s;
        }
    if (pivots) *pivots = e;
    return A;
}

// The sign of a factorisation with these pivots: +1 all positive, -1 all
// negative, 0 mixed.
int PivotSign(const std::vector<double>& pivots) {
    const bool positive = std::all_of(pivots.begin(), pivots.end(), [](double p) { return p > 0.0; });
    const bool negative = std::all_of(pivots.begin(), pivots.end(), [](double p) { return p < 0.0; });
    return positive ? 1 : negative ? -1 : 0;
}

// A packed triangle with room for `rows` rows holding the lower part of A.
struct Triangle {
    double** t = nullptr;
    explicit Triangle(const Dense& A, int rows = -1) {
        const int n = static_cast<int>(A.size());
        t = Mem_AllocLowerTriangle(rows < 0 ? n : rows);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j <= i; ++j) t[i][j] = A[i][j];
    }
    ~Triangle() { Mem_FreeMatrix(t); }
    Triangle(const Triangle&) = delete;
    Triangle& operator=(const Triangle&) = delete;
};

Dense Reconstruct(double* const* f, int n) {
    Dense A(n, std::vector<double>(n, 0.0));
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            double s = 0;
            for (int k = 0; k <= std::min(i, j); ++k) {
                const double li = k == i ? 1.0 : f[i][k];
                const double lj = k == j ? 1.0 : f[j][k];
                s += li * f[k][k] * lj;
            }
            A[i][j] = s;
        }
    return A;
}

double MaxAbs(const Dense& A) {
    double m = 0;
    for (auto& r : A)
        for (double v : r) m = std::max(m, std::fabs(v));
    return m;
}

// Largest difference between two factors, relative to the larger entry.
double FactorDistance(double* const* a, double* const* b, int n) {
    double diff = 0, scale = 1e-300;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j <= i; ++j) {
            diff = std::max(diff, std::fabs(a[i][j] - b[i][j]));
            scale = std::max(scale, std::fabs(b[i][j]));
        }
    return diff / scale;
}

TEST(LdlFactor, ReconstructsRandomMatricesOfEveryKind) {
    std::mt19937 rng(1);
    for (Kind kind : {Kind::kPositive, Kind::kNegative, Kind::kIndefinite}) {
        // Sizes on both sides of the blocks of rows the factorisation takes.
        for (int n : {1, 2, 3, 5, 10, 13, 25, 50, 100}) {
            std::vector<double> pivots;
            Dense A = RandomSymmetric(n, kind, rng, &pivots);
            Triangle f(A);
            std::vector<double> scratch(n);
            int32_t sign = 7;
            ASSERT_EQ(0, Cholesky_LDLFactor(n, f.t, scratch.data(), &sign));
            Dense B = Reconstruct(f.t, n);
            double err = 0;
            for (int i = 0; i < n; ++i)
                for (int j = 0; j < n; ++j) err = std::max(err, std::fabs(A[i][j] - B[i][j]));
            EXPECT_LE(err / MaxAbs(A), 1e-12) << KindName(kind) << " n=" << n;
            // From the generated pivots: a small indefinite matrix may happen
            // to draw pivots of one sign.
            const int expected = PivotSign(pivots);
            if (kind != Kind::kIndefinite) {
                EXPECT_EQ(kind == Kind::kPositive ? 1 : -1, expected);
            }
            EXPECT_EQ(expected, sign) << KindName(kind) << " n=" << n;
            EXPECT_EQ(expected, Cholesky_DiagonalSign(f.t, n));
        }
    }
}

TEST(LdlFactor, SingularAndSignCases) {
    struct Case {
        const char* name;
        Dense A;
        int status;
        int sign;
    } cases[] = {
        // The largest signed entry of this negative matrix is -0.5; the
        // tolerance must come from the largest magnitude.
        {"negative singular", {{-2, -1}, {-1, -0.5}}, 16, 0}, {"zero", {{0, 0}, {0, 0}}, 16, 0},
        {"positive singular", {{1, 2}, {2, 4}}, 16, 0},       {"indefinite", {{1, 2}, {2, 1}}, 0, 0},
        {"negative definite", {{-4, 1}, {1, -3}}, 0, -1},     {"positive definite", {{4, 1}, {1, 3}}, 0, 1},
    };
    for (const Case& c : cases) {
        Triangle f(c.A);
        double scratch[2];
        int32_t sign = 7;
        EXPECT_EQ(c.status, Cholesky_LDLFactor(2, f.t, scratch, &sign)) << c.name;
        EXPECT_EQ(c.sign, sign) << c.name;
    }
}

// A row equal to the one before it gives a zero pivot at its own place,
// wherever that falls among the blocks of rows.
TEST(LdlFactor, RepeatedRowIsRefusedAtItsPivot) {
    std::mt19937 rng(3);
    for (Kind kind : {Kind::kPositive, Kind::kNegative}) {
        for (int p : {1, 4, 7, 8, 9, 12, 19}) {
            Dense A = RandomSymmetric(20, kind, rng);
            for (int j = 0; j < 20; ++j) A[p][j] = A[j][p] = A[p - 1][j];
            A[p][p] = A[p - 1][p - 1];
            A[p][p - 1] = A[p - 1][p] = A[p - 1][p - 1];
            Triangle f(A);
            std::vector<double> scratch(20);
            int32_t sign = 7;
            const std::string where = std::string(KindName(kind)) + " p=" + std::to_string(p);
            EXPECT_EQ(16, Cholesky_LDLFactor(20, f.t, scratch.data(), &sign)) << where;
            EXPECT_EQ(0, sign) << where;
            // The rows before the repeated one are finished: their pivots are
            // those of the generator, of magnitude 1 to 2.
            const double s = kind == Kind::kPositive ? 1.0 : -1.0;
            for (int i = 0; i < p; ++i) EXPECT_GT(f.t[i][i] * s, 0.5) << where << " i=" << i;
        }
    }
}

TEST(LdlFactor, DiagonalSignTable) {
    struct Case {
        std::vector<double> d;
        int sign;
    } cases[] = {{{1, 2, 3}, 1}, {{-1, -2, -3}, -1}, {{0, 1, 1}, 0}, {{1, -1, 1}, 0}, {{-1, -2, 0}, 0}};
    for (const Case& c : cases) {
        Dense A(3, std::vector<double>(3, 0.0));
        for (int i = 0; i < 3; ++i) A[i][i] = c.d[i];
        Triangle f(A);
        EXPECT_EQ(c.sign, Cholesky_DiagonalSign(f.t, 3));
    }
}

// Every update of a factor equals refactoring the changed matrix.
enum class Op { kAppend, kRemove, kInsert, kReplace, kUpdateUp, kUpdateDown, kModifyUp, kModifyDown };

const char* OpName(Op op) {
    switch (op) {
        case Op::kAppend:
            return "append";
        case Op::kRemove:
            return "remove";
        case Op::kInsert:
            return "insert";
        case Op::kReplace:
            return "replace";
        case Op::kUpdateUp:
            return "update +";
        case Op::kUpdateDown:
            return "update -";
        case Op::kModifyUp:
            return "modify +";
        default:
            return "modify -";
    }
}

Dense WithoutRowColumn(const Dense& A, int r) {
    Dense B;
    for (int i = 0; i < static_cast<int>(A.size()); ++i) {
        if (i == r) continue;
        std::vector<double> row;
        for (int j = 0; j < static_cast<int>(A.size()); ++j)
            if (j != r) row.push_back(A[i][j]);
        B.push_back(row);
    }
    return B;
}

TEST(LdlUpdates, EqualRefactoringOverSizesPositionsAndKinds) {
    std::mt19937 rng(2);
    std::uniform_real_distribution<double> small(-0.8, 0.8);
    int checked = 0;
    for (Kind kind : {Kind::kPositive, Kind::kNegative, Kind::kIndefinite}) {
        for (int n : {1, 2, 3, 4, 8, 17, 50}) {
            for (Op op : {Op::kAppend, Op::kRemove, Op::kInsert, Op::kReplace, Op::kUpdateUp, Op::kUpdateDown,
                          Op::kModifyUp, Op::kModifyDown}) {
                for (int where : {0, 1, 2}) {  // first, middle, last position
                    // The full matrix of order n + 1; the factor starts from the part
                    // the operation changes.
                    Dense big = RandomSymmetric(n + 1, kind, rng);
                    const int last = (op == Op::kAppend || op == Op::kInsert) ? n : n - 1;
                    const int r = where == 0 ? 0 : where == 1 ? last / 2 : last;
                    if (op == Op::kAppend && r != n) continue;
                    Dense before, after;
                    std::vector<double> vec(n + 1);
                    for (double& v : vec) v = small(rng) / std::sqrt(double(n));
                    double coef = 0;
                    switch (op) {
                        case Op::kAppend:
                        case Op::kInsert:
                            before = WithoutRowColumn(big, r);
                            after = big;
                            break;
                        case Op::kRemove:
                            before = WithoutRowColumn(big, n);
                            after = WithoutRowColumn(before, r);
                            break;
                        case Op::kReplace: {
                            before = WithoutRowColumn(big, n);
                            after = before;
                            for (int k = 0; k < n; ++k) {
                                if (k == r) continue;
                                after[k][r] += vec[k];
                                after[r][k] += vec[k];
                            }
                            after[r][r] += vec[r];
                            break;
                        }
                        default: {
                            before = WithoutRowColumn(big, n);
                            after = before;
                            coef = (op == Op::kUpdateUp || op == Op::kModifyUp) ? 1.0 : -1.0;
                            for (int i = 0; i < n; ++i)
                                for (int j = 0; j < n; ++j) after[i][j] += coef * vec[i] * vec[j];
                        }
                    }
                    const int nb = static_cast<int>(before.size());
                    const int na = static_cast<int>(after.size());
                    Triangle f(before, n + 1), g(after);
                    std::vector<double> scratch(n + 2), work(n + 2);
                    ASSERT_EQ(0, Cholesky_LDLFactor(nb, f.t, scratch.data(), nullptr));
                    ASSERT_EQ(0, Cholesky_LDLFactor(na, g.t, scratch.data(), nullptr));
                    int status = 0;
                    switch (op) {
                        case Op::kAppend:
                            status = Cholesky_AppendRow(f.t, after[n].data(), n);
                            break;
                        case Op::kInsert:
                            status = Cholesky_LDLInsertRow(f.t, n, after[r].data(), r, scratch.data(), work.data());
                            break;
                        case Op::kRemove:
                            status = Cholesky_RemoveRow(f.t, n, r, scratch.data());
                            break;
                        case Op::kReplace:
                            status = Cholesky_LDLReplaceRow(f.t, n, vec.data(), r, scratch.data());
                            break;
                        case Op::kUpdateUp:
                        case Op::kUpdateDown:
                            Cholesky_LDLUpdate(f.t, n, coef, vec.data(), scratch.data());
                            break;
                        default:
                            status = Cholesky_LDLModify(f.t, n, coef, vec.data(), scratch.data());
                    }
                    ASSERT_EQ(0, status) << KindName(kind) << " " << OpName(op) << " n=" << n << " r=" << r;
                    EXPECT_LE(FactorDistance(f.t, g.t, na), 1e-12)
                        << KindName(kind) << " " << OpName(op) << " n=" << n << " r=" << r;
                    ++checked;
                }
            }
        }
    }
    EXPECT_GT(checked, 400);
}

TEST(LdlUpdates, RefusalsLeaveTheFactorAlone) {
    Dense A = {{4, 1, 0}, {1, 3, 1}, {0, 1, 2}};
    Triangle f(A, 4);
    double scratch[4], work[4];
    ASSERT_EQ(0, Cholesky_LDLFactor(3, f.t, scratch, nullptr));
    Triangle copy(Reconstruct(f.t, 3));
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j <= i; ++j) copy.t[i][j] = f.t[i][j];
    EXPECT_EQ(5, Cholesky_RemoveRow(f.t, 3, 3, scratch));
    EXPECT_EQ(5, Cholesky_LDLInsertRow(f.t, 3, A[0].data(), 4, scratch, work));
    // A copy of row 1 inserted behind it makes the matrix singular.
    const double duplicate[4] = {1, 3, 3, 1};
    EXPECT_EQ(16, Cholesky_LDLInsertRow(f.t, 3, duplicate, 2, scratch, work));
    // Taking away more than the matrix holds would make it indefinite.
    const double w[3] = {0, 0, 3};
    EXPECT_EQ(3, Cholesky_LDLModify(f.t, 3, -1.0, w, scratch));
    EXPECT_EQ(0.0, FactorDistance(f.t, copy.t, 3));
    // The last row only shrinks the order.
    EXPECT_EQ(0, Cholesky_RemoveRow(f.t, 3, 2, scratch));
    EXPECT_EQ(0.0, FactorDistance(f.t, copy.t, 2));
}

// The pivot of an inserted row is measured against the largest magnitude of
// the whole old factor: here a multiplier in the row behind the insertion
// point (-1000 or 1000), while the pivots above it are of size 1.
TEST(LdlUpdates, InsertedPivotScaleIsTheWholeOldFactor) {
    struct Case {
        const char* name;
        Dense A;        // the old matrix, order 2
        double row[3];  // the new row in the new order, inserted at 1
        int status;
    } cases[] = {
        {"positive, pivot 1e-12", {{1, -1000}, {-1000, 1e6 + 1}}, {1, 1 + 1e-12, 0}, 16},
        {"positive, pivot 1e-9", {{1, -1000}, {-1000, 1e6 + 1}}, {1, 1 + 1e-9, 0}, 0},
        {"positive, zero pivot", {{1, -1000}, {-1000, 1e6 + 1}}, {1, 1, 0}, 16},
        // Every entry of this factor is negative: its largest signed entry is -1.
        {"negative, pivot -1e-12", {{-1, 1000}, {1000, -(1e6 + 1)}}, {-1, -1 - 1e-12, 0}, 16},
        {"negative, pivot -1e-9", {{-1, 1000}, {1000, -(1e6 + 1)}}, {-1, -1 - 1e-9, 0}, 0},
    };
    for (const Case& c : cases) {
        Triangle f(c.A, 3), copy(c.A);
        double scratch[3], work[3];
        ASSERT_EQ(0, Cholesky_LDLFactor(2, f.t, scratch, nullptr)) << c.name;
        ASSERT_EQ(0, Cholesky_LDLFactor(2, copy.t, scratch, nullptr)) << c.name;
        EXPECT_EQ(c.status, Cholesky_LDLInsertRow(f.t, 2, c.row, 1, scratch, work)) << c.name;
        if (c.status != 0) {
            EXPECT_EQ(0.0, FactorDistance(f.t, copy.t, 2)) << c.name;
        }
    }
}

// Naive Gaussian elimination with partial pivoting.
std::vector<double> NaiveSolve(Dense A, std::vector<double> b) {
    const int n = static_cast<int>(b.size());
    for (int c = 0; c < n; ++c) {
        int p = c;
        for (int i = c + 1; i < n; ++i)
            if (std::fabs(A[i][c]) > std::fabs(A[p][c])) p = i;
        std::swap(A[c], A[p]);
        std::swap(b[c], b[p]);
        for (int i = c + 1; i < n; ++i) {
            const double f = A[i][c] / A[c][c];
            for (int j = c; j < n; ++j) A[i][j] -= f * A[c][j];
            b[i] -= f * b[c];
        }
    }
    for (int i = n - 1; i >= 0; --i) {
        for (int j = i + 1; j < n; ++j) b[i] -= A[i][j] * b[j];
        b[i] /= A[i][i];
    }
    return b;
}

TEST(CholeskySolves, MatchNaiveEliminationWithAndWithoutTail) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(-1, 1);
    for (Kind kind : {Kind::kPositive, Kind::kNegative, Kind::kIndefinite}) {
        for (int n : {1, 4, 30}) {
            Dense A = RandomSymmetric(n, kind, rng);
            std::vector<double> b(n);
            for (double& v : b) v = u(rng);
            const std::vector<double> x = NaiveSolve(A, b);
            std::vector<double> scratch(n);
            const int tail = (n + 1) / 2;
            {
                Triangle f(A);
                ASSERT_EQ(0, Cholesky_LDLFactor(n, f.t, scratch.data(), nullptr));
                std::vector<double> y = b, z = b;
                Cholesky_LDLSolve(n, f.t, y.data());
                Cholesky_LDLSolveTail(n, tail, f.t, z.data());
                for (int i = 0; i < n; ++i) EXPECT_NEAR(x[i], y[i], 1e-12 * (1 + std::fabs(x[i])));
                for (int i = n - tail; i < n; ++i) EXPECT_NEAR(x[i], z[i], 1e-12 * (1 + std::fabs(x[i])));
            }
            if (kind == Kind::kIndefinite) continue;
            // The signed L·Lᵀ factor solves s·A; the solution of A is s times it.
            Triangle f(A);
            ASSERT_EQ(0, Cholesky_FactorSigned(n, f.t));
            const double s = kind == Kind::kPositive ? 1.0 : -1.0;
            std::vector<double> y = b, z = b;
            Cholesky_SolveInPlace(n, f.t, y.data());
            Cholesky_SolveTail(n, tail, f.t, z.data());
            for (int i = 0; i < n; ++i) EXPECT_NEAR(x[i], s * y[i], 1e-12 * (1 + std::fabs(x[i])));
            for (int i = n - tail; i < n; ++i) EXPECT_NEAR(x[i], s * z[i], 1e-12 * (1 + std::fabs(x[i])));
        }
    }
}

TEST(CholeskyLLT, SignedFactorAppendAndRefusals) {
    std::mt19937 rng(4);
    Dense A = RandomSymmetric(12, Kind::kPositive, rng);
    // Grow the factor one row at a time from order 1 and compare with a
    // one-shot factor.
    Dense first = {{A[0][0]}};
    Triangle grown(first);
    ASSERT_EQ(0, Cholesky_FactorSigned(1, grown.t));
    for (int n = 1; n < 12; ++n) ASSERT_EQ(0, Cholesky_AppendRowLLT(&grown.t, A[n].data(), n));
    Triangle once(A);
    ASSERT_EQ(0, Cholesky_FactorSigned(12, once.t));
    EXPECT_LE(FactorDistance(grown.t, once.t, 12), 1e-13);

    Dense indefinite = {{1, 2}, {2, 1}};
    Triangle bad(indefinite);
    EXPECT_EQ(3, Cholesky_FactorSigned(2, bad.t));
    // A negative definite matrix gives the factor of its negation.
    Dense neg = {{-4, -2}, {-2, -5}};
    Triangle nf(neg);
    ASSERT_EQ(0, Cholesky_FactorSigned(2, nf.t));
    EXPECT_DOUBLE_EQ(2.0, nf.t[0][0]);
    EXPECT_DOUBLE_EQ(1.0, nf.t[1][0]);
    EXPECT_DOUBLE_EQ(2.0, nf.t[1][1]);
    const double dependent[3] = {4, 2, 1};  // pivot 1 - (1/4 + 1/... ) below zero
    Dense pd = {{4, 2}, {2, 5}};
    Triangle pf(pd);
    ASSERT_EQ(0, Cholesky_FactorSigned(2, pf.t));
    EXPECT_EQ(3, Cholesky_AppendRowLLT(&pf.t, dependent, 2));
}

TEST(TriangularSolves, UpperRowsAndTransposedLower) {
    double r0[] = {2, 1, 4}, r1[] = {0, 3, -1}, r2[] = {0, 0, 5};
    double* R[] = {r0, r1, r2};
    double b[] = {2 * 1 + 1 * 2 + 4 * 3, 3 * 2 - 3, 15};
    Triangle_SolveUpperRows(3, R, b);
    EXPECT_DOUBLE_EQ(1, b[0]);
    EXPECT_DOUBLE_EQ(2, b[1]);
    EXPECT_DOUBLE_EQ(3, b[2]);
    // Lᵀ·x = c with L = [[2],[1,3],[4,-1,5]] is the R above.
    Dense L = {{2, 0, 0}, {1, 3, 0}, {4, -1, 5}};
    Triangle t(L);
    double c[] = {2 * 1 + 1 * 2 + 4 * 3, 3 * 2 - 3, 15};
    Triangle_SolveTransposed(3, t.t, c);
    EXPECT_DOUBLE_EQ(1, c[0]);
    EXPECT_DOUBLE_EQ(2, c[1]);
    EXPECT_DOUBLE_EQ(3, c[2]);
}

}  // namespace

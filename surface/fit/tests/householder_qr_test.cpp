#include "surface/fit/householder_qr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "surface/frame/tracked_matrix.h"

namespace {

using Dense = std::vector<std::vector<double>>;

struct Matrix {
    double** m;
    Matrix(int rows, int cols) : m(Mem_AllocMatrix(rows, cols)) {}
    Matrix(const Dense& A) : m(Mem_AllocMatrix(int(A.size()), int(A[0].size()))) {
        for (size_t i = 0; i < A.size(); ++i)
            for (size_t j = 0; j < A[0].size(); ++j) m[i][j] = A[i][j];
    }
    ~Matrix() { Mem_FreeMatrix(m); }
    Matrix(const Matrix&) = delete;
    Matrix& operator=(const Matrix&) = delete;
};

Dense Random(int rows, int cols, std::mt19937& rng) {
    std::uniform_real_distribution<double> u(-1, 1);
    Dense A(rows, std::vector<double>(cols));
    for (auto& r : A)
        for (double& v : r) v = u(rng);
    return A;
}

TEST(PivotedQr, RanksDuplicateAndZeroColumns) {
    std::mt19937 rng(5);
    struct Case {
        int rows, cols;
        std::vector<std::pair<int, int>> copies;  // column `second` := column `first`
        std::vector<int> zeros;
        int rank;
    } cases[] = {
        {6, 4, {}, {}, 4},        {6, 4, {{0, 3}}, {}, 3},  {6, 4, {}, {1}, 3},
        {6, 4, {{2, 0}}, {3}, 2}, {3, 5, {}, {}, 3},        {3, 5, {{0, 1}, {0, 2}, {0, 3}}, {4}, 1},
        {5, 5, {{4, 1}}, {}, 4},  {4, 3, {}, {0, 1, 2}, 0},
    };
    for (const Case& c : cases) {
        Dense A = Random(c.rows, c.cols, rng);
        for (auto [from, to] : c.copies)
            for (auto& r : A) r[to] = r[from];
        for (int z : c.zeros)
            for (auto& r : A) r[z] = 0.0;
        QRFactor f;
        Matrix M(A);
        const int status = QR_FactorCopy(c.rows, c.cols, M.m, &f);
        EXPECT_EQ(c.rank, f.rank) << c.rows << "x" << c.cols << " expecting rank " << c.rank;
        EXPECT_EQ(c.rank < std::min(c.rows, c.cols) ? 4 : 0, status);
        QR_Free(&f);
    }
}

TEST(PivotedQr, EqualNormsTakeTheEarlierColumnFirst) {
    Dense A = {{1, 0, 3}, {0, 3, 0}, {0, 0, 0}};  // columns 1 and 2 tie at norm² 9
    Matrix M(A);
    QRFactor f;
    ASSERT_EQ(4, QR_FactorCopy(3, 3, M.m, &f));
    EXPECT_EQ(1, f.pivots[0]);
    QR_Free(&f);
}

// Solution of the normal equations AᵀA·x = Aᵀb by naive elimination.
std::vector<double> NormalEquations(const Dense& A, const std::vector<double>& b) {
    const int r = int(A.size()), c = int(A[0].size());
    Dense N(c, std::vector<double>(c + 1, 0.0));
    for (int i = 0; i < c; ++i) {
        for (int j = 0; j < c; ++j)
            for (int k = 0; k < r; ++k) N[i][j] += A[k][i] * A[k][j];
        for (int k = 0; k < r; ++k) N[i][c] += A[k][i] * b[k];
    }
    for (int p = 0; p < c; ++p)
        for (int i = p + 1; i < c; ++i) {
            const double f = N[i][p] / N[p][p];
            for (int j = p; j <= c; ++j) N[i][j] -= f * N[p][j];
        }
    std::vector<double> x(c);
    for (int i = c - 1; i >= 0; --i) {
        double s = N[i][c];
        for (int j = i + 1; j < c; ++j) s -= N[i][j] * x[j];
        x[i] = s / N[i][i];
    }
    return x;
}

TEST(LeastSquares, MatchesNormalEquationsOnWellConditionedSystems) {
    std::mt19937 rng(6);
    for (auto [rows, cols] : {std::pair{1, 1}, {4, 4}, {10, 3}, {30, 10}}) {
        Dense A = Random(rows, cols, rng);
        for (int i = 0; i < cols; ++i) A[i][i] += 3.0;  // keep it well conditioned
        std::vector<double> b(rows);
        for (double& v : b) v = std::uniform_real_distribution<double>(-2, 2)(rng);
        const std::vector<double> expected = NormalEquations(A, b);
        Matrix M(A);
        std::vector<double> in = b, out(std::max(rows, cols), 123.0);
        ASSERT_EQ(0, QR_LeastSquares(0, rows, cols, M.m, in.data(), out.data()));
        for (int j = 0; j < cols; ++j) EXPECT_NEAR(expected[j], out[j], 1e-12) << rows << "x" << cols;
        // Without a separate output b itself is solved in place.
        std::vector<double> inPlace(std::max(rows, cols), 0.0);
        std::copy(b.begin(), b.end(), inPlace.begin());
        ASSERT_EQ(0, QR_LeastSquares(0, rows, cols, M.m, inPlace.data(), nullptr));
        for (int j = 0; j < cols; ++j) EXPECT_NEAR(expected[j], inPlace[j], 1e-12);
    }
}

TEST(LeastSquares, RankDeficientOnlyWhenAccepted) {
    Dense A = {{1, 2, 1}, {0, 0, 0}, {3, 6, 3}, {1, 2, 1}};  // rank 1
    Matrix M(A);
    double b[4] = {1, 0, 3, 1};
    double out[4] = {9, 9, 9, 9};
    EXPECT_EQ(4, QR_LeastSquares(0, 4, 3, M.m, b, out));
    EXPECT_EQ(9, out[0]);  // not solved
    ASSERT_EQ(0, QR_LeastSquares(1, 4, 3, M.m, b, out));
    // The basic solution: one non-zero entry (the pivot column), which fits b.
    int nonZero = 0;
    for (int j = 0; j < 3; ++j) nonZero += out[j] != 0.0;
    EXPECT_EQ(1, nonZero);
    for (int i = 0; i < 4; ++i) {
        double ax = 0;
        for (int j = 0; j < 3; ++j) ax += A[i][j] * out[j];
        EXPECT_NEAR(b[i], ax, 1e-14);
    }
}

TEST(PlainQr, SolvesSquareSystemsAndFlagsSmallColumns) {
    std::mt19937 rng(7);
    Dense A = Random(5, 5, rng);
    for (int i = 0; i < 5; ++i) A[i][i] += 3.0;
    std::vector<double> x = {1, -2, 0.5, 3, -1}, b(5, 0.0);
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j) b[i] += A[i][j] * x[j];
    Matrix M(A), V(6, 5);
    ASSERT_EQ(0, QR_Factor(5, 5, M.m, V.m, V.m[5]));
    QR_SolvePlain(5, 5, M.m, V.m, V.m[5], b.data());
    for (int j = 0; j < 5; ++j) EXPECT_NEAR(x[j], b[j], 1e-13);

    Dense S = {{1, 2}, {1, 2}, {1, 2}};  // the second column vanishes after the first step
    Matrix MS(S), VS(4, 3);
    EXPECT_EQ(4, QR_Factor(3, 2, MS.m, VS.m, VS.m[3]));
}

TEST(Householder, ReflectionsMapOntoTheFirstAxisAndApplyConsistently) {
    const double x[5] = {9, 3, -4, 0, 12};  // segment 1..4 has norm 13
    double v[5], beta, scale;
    Householder_Vector(1, 4, x, &beta, v, &scale);
    EXPECT_EQ(12.0, scale);
    double y[5] = {9, 3, -4, 0, 12};
    Householder_ApplyVector(y, 1, 4, beta, v);
    EXPECT_NEAR(-13.0, y[1], 1e-14);  // the sign opposite to x(1)
    for (int k = 2; k < 5; ++k) EXPECT_NEAR(0.0, y[k], 1e-14);
    EXPECT_EQ(9.0, y[0]);

    // Zero segment: identity reflection.
    const double z[3] = {0, 0, 0};
    Householder_Vector(0, 2, z, &beta, v, &scale);
    EXPECT_EQ(1.0, beta);
    EXPECT_EQ(0.0, scale);

    // The column form and the left and right applications agree with the
    // vector form: (H·A)ᵀ = Aᵀ·H.
    std::mt19937 rng(8);
    Dense A = Random(4, 3, rng);
    Matrix M(A), T(3, 4);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 3; ++j) T.m[j][i] = A[i][j];
    double w[4];
    Householder_ColumnVector(1, 3, 0, M.m, &beta, w, &scale);
    Householder_ApplyLeft(3, M.m, 1, 3, beta, w);
    Householder_ApplyRight(3, T.m, 1, 3, beta, w);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_NEAR(M.m[i][j], T.m[j][i], 1e-15);
    EXPECT_NEAR(0.0, M.m[2][0], 1e-15);
    EXPECT_NEAR(0.0, M.m[3][0], 1e-15);
}

TEST(LagrangeCoefficients, RowsAreTheCardinalPolynomials) {
    // Rows of A are monomial rows (1, x, y) of three points; G's row j holds
    // the coefficients that are 1 at point j and 0 at the others.
    const double pts[3][2] = {{0.5, 0.1}, {2, 1}, {-1, 3}};
    QRFactor f;
    ASSERT_EQ(0, QR_Alloc(3, 3, &f));
    for (int i = 0; i < 3; ++i) {
        f.matrix[i][0] = 1;
        f.matrix[i][1] = pts[i][0];
        f.matrix[i][2] = pts[i][1];
    }
    Matrix G(3, 3);
    ASSERT_EQ(0, QR_LagrangeCoefficients(3, 3, &f, G.m));
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) {
            const double value = G.m[j][0] + G.m[j][1] * pts[i][0] + G.m[j][2] * pts[i][1];
            EXPECT_NEAR(i == j ? 1.0 : 0.0, value, 1e-14);
        }
    QR_Free(&f);
    // Collinear points: the factor's status comes back.
    ASSERT_EQ(0, QR_Alloc(3, 3, &f));
    for (int i = 0; i < 3; ++i) {
        f.matrix[i][0] = 1;
        f.matrix[i][1] = i;
        f.matrix[i][2] = 2 * i;
    }
    EXPECT_EQ(4, QR_LagrangeCoefficients(3, 3, &f, G.m));
    QR_Free(&f);
}

TEST(Congruence, MatchesNaiveTripleProduct) {
    std::mt19937 rng(9);
    const int e = 3, m = 4;
    Dense K = Random(e, e + 2, rng), G = Random(e, m, rng);
    Matrix MK(K), MG(G), W(m, m);
    Matrix_Congruence(W.m, MK.m, MG.m, e, m);
    for (int a = 0; a < m; ++a)
        for (int b = 0; b < m; ++b) {
            double s = 0;
            for (int i = 0; i < e; ++i)
                for (int j = 0; j < e; ++j) s += G[i][a] * K[i][j] * G[j][b];
            EXPECT_NEAR(s, W.m[a][b], 1e-14);
        }
}

TEST(QrRecord, EmptyShapesAllocateNothing) {
    QRFactor f;
    EXPECT_EQ(0, QR_Alloc(0, 4, &f));
    EXPECT_EQ(nullptr, f.matrix);
    EXPECT_EQ(0, f.rows);
    QR_Free(&f);
}

}  // namespace

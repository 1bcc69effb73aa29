#include "surface/fit/poly_terms.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "surface/fit/tests/poly_naive.h"
#include "surface/frame/tracked_matrix.h"

namespace {

TEST(PolyCounts, BinomialAndItsTable) {
    struct Case {
        int d, n, value;
    } cases[] = {{3, 2, 10}, {2, 2, 6},    {3, 5, 56},  {0, 2, 0}, {1, -1, 0}, {1, 0, 1},
                 {2, 7, 36}, {3, 10, 286}, {6, 6, 924}, {1, 3, 4}, {3, 3, 20}};
    for (const Case& c : cases) EXPECT_EQ(c.value, Poly_Binomial(c.d, c.n)) << c.d << " " << c.n;
    int32_t** T = Mem_AllocIntMatrix(4, 6);
    EXPECT_EQ(56, Poly_BinomialTable(3, 5, T));
    for (int j = 0; j <= 5; ++j) EXPECT_EQ(0, T[0][j]);
    for (int i = 1; i <= 3; ++i)
        for (int j = 0; j <= 5; ++j) EXPECT_EQ(Poly_Binomial(i, j), T[i][j]) << i << " " << j;
    Mem_FreeIntMatrix(T);
}

TEST(PolyOrder, RankAndUnrankFollowTheMonomialOrder) {
    for (int d = 1; d <= 3; ++d) {
        for (int n = 0; n <= 4; ++n) {
            const auto order = poly_naive::Order(d, n);
            ASSERT_EQ(static_cast<int>(order.size()), Poly_Binomial(d, n));
            std::vector<int32_t> e(d, 0), walked(d);
            for (int r = 0; r < static_cast<int>(order.size()); ++r) {
                int32_t got[3];
                ASSERT_EQ(0, Poly_MultiIndexUnrank(d, n, r, got));
                int32_t rank = -1;
                ASSERT_EQ(0, Poly_MultiIndexRank(d, n, got, &rank));
                EXPECT_EQ(r, rank);
                for (int k = 0; k < d; ++k) EXPECT_EQ(order[r][k], got[k]) << "d=" << d << " n=" << n << " r=" << r;
                // The successor rule walks the same order.
                for (int k = 0; k < d; ++k) EXPECT_EQ(order[r][k], e[k]);
                EXPECT_EQ(r + 1 < static_cast<int>(order.size()), Poly_NextExponents(d, n, e.data()));
            }
        }
    }
    // Named positions in 3D degree 2.
    struct Named {
        int32_t e[3];
        int rank;
    } named[] = {{{0, 0, 0}, 0}, {{1, 0, 0}, 1}, {{0, 1, 0}, 3}, {{0, 0, 1}, 6}, {{0, 1, 1}, 8}, {{0, 0, 2}, 9}};
    for (const Named& m : named) {
        int32_t rank;
        ASSERT_EQ(0, Poly_MultiIndexRank(3, 2, m.e, &rank));
        EXPECT_EQ(m.rank, rank);
    }
    int32_t e[3];
    ASSERT_EQ(0, Poly_MultiIndexUnrank(3, 2, 8, e));
    EXPECT_EQ(0, e[0]);
    EXPECT_EQ(1, e[1]);
    EXPECT_EQ(1, e[2]);
    const int32_t tooHigh[3] = {1, 1, 1};
    int32_t rank = -1;
    EXPECT_EQ(5, Poly_MultiIndexRank(3, 2, tooHigh, &rank));
    EXPECT_EQ(5, Poly_MultiIndexUnrank(3, 2, 10, e));
    EXPECT_EQ(5, Poly_MultiIndexUnrank(2, 1, -1, e));
}

TEST(PolyMonomials, RowsAndColumnsMatchTheOrder) {
    std::mt19937 rng(31);
    std::uniform_real_distribution<double> u(-2, 2);
    for (int d = 1; d <= 3; ++d) {
        for (int n = 0; n <= 3; ++n) {
            const auto order = poly_naive::Order(d, n);
            const int m = static_cast<int>(order.size()), N = 4;
            std::vector<double> flat(N * d);
            for (double& v : flat) v = u(rng);
            std::vector<const double*> pts(N);
            for (int i = 0; i < N; ++i) pts[i] = &flat[i * d];
            const double centre[3] = {0.3, -0.2, 0.9};
            double** rows = Mem_AllocMatrix(N, m);
            double** plain = Mem_AllocMatrix(N, m);
            double** cols = Mem_AllocMatrix(m, N);
            double** colsPlain = Mem_AllocMatrix(m, N);
            std::vector<double> one(m), onePlain(m);
            int32_t scratch[3];
            Poly_MonomialMatrix(d, n, centre, N, pts.data(), rows, scratch);
            Poly_MonomialMatrixPlain(d, n, N, pts.data(), plain, scratch);
            Poly_MonomialColumnsCentred(d, n, centre, N, pts.data(), cols, scratch);
            Poly_MonomialColumns(d, n, N, pts.data(), colsPlain, scratch);
            Poly_MonomialRows(d, n, centre, pts[2], one.data(), scratch);
            Poly_MonomialsAt(d, n, pts[2], onePlain.data(), scratch);
            for (int i = 0; i < N; ++i)
                for (int r = 0; r < m; ++r) {
                    const double c = poly_naive::Monomial(order[r], pts[i], centre);
                    const double p = poly_naive::Monomial(order[r], pts[i], nullptr);
                    EXPECT_NEAR(c, rows[i][r], 1e-13);
                    EXPECT_NEAR(p, plain[i][r], 1e-13);
                    EXPECT_NEAR(c, cols[r][i], 1e-13);
                    EXPECT_NEAR(p, colsPlain[r][i], 1e-13);
                    if (i == 2) {
                        EXPECT_NEAR(c, one[r], 1e-13);
                        EXPECT_NEAR(p, onePlain[r], 1e-13);
                    }
                }
            Mem_FreeMatrix(rows);
            Mem_FreeMatrix(plain);
            Mem_FreeMatrix(cols);
            Mem_FreeMatrix(colsPlain);
        }
    }
    double untouched[2] = {7, 7};
    const double p[2] = {1, 2};
    int32_t scratch[2];
    Poly_MonomialsAt(2, -1, p, untouched, scratch);
    EXPECT_EQ(7, untouched[0]);
}

}  // namespace

#include "surface/fit/gram_schmidt.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "surface/frame/tracked_matrix.h"

namespace {

struct Rows {
    double** m;
    int k, n;
    Rows(int k_, int n_) : m(Mem_AllocMatrix(k_, n_)), k(k_), n(n_) {}
    ~Rows() { Mem_FreeMatrix(m); }
    void Fill(std::mt19937& rng) {
        std::uniform_real_distribution<double> u(-1, 1);
        for (int i = 0; i < k; ++i)
            for (int j = 0; j < n; ++j) m[i][j] = u(rng);
    }
    double Dot(int a, int b) const {
        double s = 0;
        for (int j = 0; j < n; ++j) s += m[a][j] * m[b][j];
        return s;
    }
};

void ExpectOrthonormal(const Rows& q, int count) {
    for (int a = 0; a < count; ++a)
        for (int b = 0; b < count; ++b) EXPECT_NEAR(a == b ? 1.0 : 0.0, q.Dot(a, b), 1e-14);
}

TEST(GramSchmidt, OrthonormalisesAndKeepsTheSpan) {
    std::mt19937 rng(10);
    for (auto [k, n] : {std::pair{1, 1}, {3, 3}, {4, 10}, {10, 50}}) {
        Rows v(k, n), q(k, n);
        v.Fill(rng);
        for (int i = 0; i < k; ++i)
            for (int j = 0; j < n; ++j) q.m[i][j] = v.m[i][j];
        ASSERT_EQ(0, GramSchmidt_Orthonormalise(k, n, q.m));
        ExpectOrthonormal(q, k);
        // Each original vector lies in the span: projecting it out leaves nothing.
        for (int i = 0; i < k; ++i) {
            std::vector<double> x(v.m[i], v.m[i] + n);
            ASSERT_EQ(0, GramSchmidt_ProjectOut(k, n, q.m, x.data()));
            for (double r : x) EXPECT_NEAR(0.0, r, 1e-13);
        }
    }
}

TEST(GramSchmidt, PivotedTakesTheLargestFirstAndCountsTheRank) {
    std::mt19937 rng(11);
    Rows v(4, 6);
    v.Fill(rng);
    for (int j = 0; j < 6; ++j) {
        v.m[3][j] = 2.0 * v.m[0][j] - v.m[1][j];  // dependent
        v.m[2][j] *= 10.0;                        // the largest: taken first
    }
    std::vector<double> largest(v.m[2], v.m[2] + 6);
    int32_t count = -1;
    EXPECT_EQ(4, GramSchmidt_Pivoted(4, 6, v.m, &count));
    EXPECT_EQ(3, count);
    ExpectOrthonormal(v, 3);
    const double norm = std::sqrt(largest[0] * largest[0] + largest[1] * largest[1] + largest[2] * largest[2] +
                                  largest[3] * largest[3] + largest[4] * largest[4] + largest[5] * largest[5]);
    for (int j = 0; j < 6; ++j) EXPECT_NEAR(largest[j] / norm, v.m[0][j], 1e-15);

    Rows full(3, 5);
    full.Fill(rng);
    ASSERT_EQ(0, GramSchmidt_Pivoted(3, 5, full.m, &count));
    EXPECT_EQ(3, count);
    ExpectOrthonormal(full, 3);
}

TEST(GramSchmidt, Refusals) {
    Rows tooMany(3, 2);
    std::mt19937 rng(12);
    tooMany.Fill(rng);
    int32_t count = -1;
    EXPECT_EQ(5, GramSchmidt_Orthonormalise(3, 2, tooMany.m));
    EXPECT_EQ(5, GramSchmidt_Pivoted(3, 2, tooMany.m, &count));

    Rows dependent(2, 3);
    const double a[3] = {1, 2, 3};
    for (int j = 0; j < 3; ++j) dependent.m[0][j] = a[j], dependent.m[1][j] = -4 * a[j];
    EXPECT_EQ(4, GramSchmidt_Orthonormalise(2, 3, dependent.m));

    Rows zero(2, 3);
    for (int j = 0; j < 3; ++j) zero.m[0][j] = zero.m[1][j] = 0.0;
    EXPECT_EQ(4, GramSchmidt_Orthonormalise(2, 3, zero.m));
    EXPECT_EQ(4, GramSchmidt_Pivoted(2, 3, zero.m, &count));
    EXPECT_EQ(-1, count);  // untouched when every vector is zero

    double x[2] = {1, 2};
    EXPECT_EQ(0, GramSchmidt_ProjectOut(0, 2, zero.m, x));
    EXPECT_EQ(1.0, x[0]);
}

}  // namespace

#include "surface/fit/poly_subset.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "surface/fit/tests/poly_naive.h"

namespace {

struct PointSet {
    int d;
    std::vector<double> flat;
    std::vector<const double*> rows;
    PointSet(int d_, std::vector<double> coords) : d(d_), flat(std::move(coords)) {
        for (size_t i = 0; i < flat.size() / d; ++i) rows.push_back(&flat[i * d]);
    }
    int N() const { return static_cast<int>(rows.size()); }
};

// Rank of the monomial matrix of the chosen points, by naive elimination.
int MonomialRank(const PointSet& s, int n, const int32_t* idx, int count) {
    const auto order = poly_naive::Order(s.d, n);
    std::vector<std::vector<double>> M;
    for (int i = 0; i < count; ++i) {
        std::vector<double> row;
        for (const auto& e : order) row.push_back(poly_naive::Monomial(e, s.rows[idx[i]], nullptr));
        M.push_back(row);
    }
    int rank = 0;
    for (size_t c = 0; c < order.size() && rank < count; ++c) {
        int p = rank;
        for (int i = rank + 1; i < count; ++i)
            if (std::fabs(M[i][c]) > std::fabs(M[p][c])) p = i;
        if (std::fabs(M[p][c]) < 1e-9) continue;
        std::swap(M[p], M[rank]);
        for (int i = rank + 1; i < count; ++i) {
            const double f = M[i][c] / M[rank][c];
            for (size_t j = c; j < order.size(); ++j) M[i][j] -= f * M[rank][j];
        }
        ++rank;
    }
    return rank;
}

PointSet Random(int d, int N, std::mt19937& rng, double offset = 0.0) {
    std::uniform_real_distribution<double> u(-1, 1);
    std::vector<double> c(d * N);
    for (double& v : c) v = u(rng) + offset;
    return PointSet(d, c);
}

struct Case {
    std::string what;
    PointSet points;
    int n;
    int status, count;
};

TEST(SpanningSubset, ChoicesAcrossGeometries) {
    std::mt19937 rng(51);
    std::vector<Case> cases;
    cases.push_back({"3D linear, general", Random(3, 12, rng, 5.0), 1, 0, 4});
    cases.push_back({"2D linear, general", Random(2, 9, rng), 1, 0, 3});
    cases.push_back({"3D quadratic, general", Random(3, 15, rng), 2, 0, 10});
    cases.push_back({"2D quadratic, general", Random(2, 8, rng, 3.0), 2, 0, 6});
    cases.push_back({"1D linear", PointSet(1, {0.5, 0.5, 2.0}), 1, 0, 2});
    {
        std::vector<double> c;  // on a line through (1, 2, 3)
        for (double t : {0.0, 1.0, -2.0, 0.5, 3.0}) c.insert(c.end(), {1 + t, 2 - 2 * t, 3 + 0.5 * t});
        cases.push_back({"3D linear, collinear", PointSet(3, c), 1, 4, 2});
    }
    {
        // On the plane z = x + 2y + 1, integer coordinates with a dyadic mean so
        // that the elimination works exactly.
        const double xy[14][2] = {{0, 0}, {1, 0},  {0, 1},  {2, 3}, {-1, 2},  {3, -2}, {-2, -1},
                                  {1, 1}, {2, -1}, {-3, 1}, {4, 2}, {-1, -3}, {2, 2},  {-2, 4}};
        std::vector<double> c;
        for (int i = 0; i < 6; ++i) c.insert(c.end(), {xy[i][0], xy[i][1], xy[i][0] + 2 * xy[i][1] + 1});
        cases.push_back({"3D linear, coplanar", PointSet(3, c), 1, 4, 3});
        cases.push_back({"3D quadratic, coplanar, too few", PointSet(3, c), 2, 6, 0});
        for (int i = 6; i < 8; ++i) c.insert(c.end(), {xy[i][0], xy[i][1], xy[i][0] + 2 * xy[i][1] + 1});
        // 8 points: 3 of the 10 quadratic monomials depend on the others.
        std::vector<double> more = c;
        for (int i = 8; i < 16; ++i) {
            const double* p = xy[i % 14];
            more.insert(more.end(), {p[0] + 8, p[1] - 4, p[0] + 8 + 2 * (p[1] - 4) + 1});
        }
        cases.push_back({"3D quadratic, coplanar", PointSet(3, more), 2, 4, 6});
    }
    {
        std::vector<double> c;  // on the line y = 2x + 1: only 1, x, x² are independent
        for (int x = -3; x <= 4; ++x) c.insert(c.end(), {double(x), 2.0 * x + 1});
        cases.push_back({"2D quadratic, collinear", PointSet(2, c), 2, 4, 3});
    }
    cases.push_back({"2D linear, collinear", PointSet(2, {0, 0, 1, 1, 2, 2, -3, -3}), 1, 4, 2});
    cases.push_back({"3D linear, coincident", PointSet(3, {4, 5, 6, 4, 5, 6, 4, 5, 6, 4, 5, 6}), 1, 5, -1});
    // All at the origin: the scale is zero, yet nothing coincident is chosen.
    cases.push_back({"2D linear, coincident at the origin", PointSet(2, {0, 0, 0, 0, 0, 0}), 1, 5, 0});
    cases.push_back({"3D linear, coincident at the origin", PointSet(3, std::vector<double>(12, 0.0)), 1, 5, -1});
    cases.push_back({"2D quadratic, coincident at the origin", PointSet(2, std::vector<double>(12, 0.0)), 2, 4, 1});
    cases.push_back({"1D linear, coincident", PointSet(1, {2, 2, 2}), 1, 4, 1});
    cases.push_back({"too few points", Random(3, 3, rng), 1, 6, 0});
    cases.push_back({"no polynomial", Random(3, 3, rng), -1, 0, 0});
    cases.push_back({"constant", Random(2, 3, rng), 0, 0, 1});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int d = c.points.d;
        const int m = c.n < 0 ? 0 : static_cast<int>(poly_naive::Order(d, c.n).size());
        std::vector<int32_t> idx(std::max(m, 1), -1);
        int32_t count = -9;
        EXPECT_EQ(c.status,
                  Poly_SelectSpanningSubset(d, c.n, m, c.points.N(), c.points.rows.data(), idx.data(), &count));
        if (c.count >= 0) {
            EXPECT_EQ(c.count, count);
        }
        if (c.status == 0 || c.status == 4) {
            EXPECT_TRUE(std::is_sorted(idx.begin(), idx.begin() + count));
            EXPECT_EQ(count, MonomialRank(c.points, c.n, idx.data(), count)) << "chosen points dependent";
            if (count > 0) {
                EXPECT_EQ(0, idx[0]);  // the first point is always chosen
            }
        }
    }
}

TEST(SpanningSubset, IndicesComeBackAscendingWhateverTheOrderFound) {
    // Found as 0, then 4 (farthest), then 2 (off the line), then 1 (off the
    // plane); returned ascending.
    PointSet s(3, {0, 0, 0, 0, 0, 0.5, 0, 1, 0, 0.1, 0, 0, 5, 0, 0});
    int32_t idx[4];
    int32_t count;
    ASSERT_EQ(0, Poly_SelectSpanningSubset(3, 1, 4, 5, s.rows.data(), idx, &count));
    ASSERT_EQ(4, count);
    const int32_t expected[4] = {0, 1, 2, 4};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(expected[i], idx[i]);
}

TEST(SpanningSubset, GeometricChoiceDirectly) {
    PointSet two(3, {1, 2, 3, 1, 2, 3});
    int32_t idx[4], count;
    EXPECT_EQ(5, Poly_ChooseUnisolventLinear(2, 3, two.rows.data(), 3.0, idx, &count));
    PointSet plane(2, {0, 0, 1, 0, 0, 1});
    EXPECT_EQ(7, Poly_ChooseUnisolventLinear(3, 4, plane.rows.data(), 1.0, idx, &count));
    ASSERT_EQ(0, Poly_ChooseUnisolventLinear(3, 2, plane.rows.data(), 1.0, idx, &count));
    EXPECT_EQ(3, count);
}

}  // namespace

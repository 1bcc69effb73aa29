#include "surface/fit/point_duplicates.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "surface/frame/status_codes.h"

namespace {

struct Cloud {
    int dim;
    std::vector<std::vector<double>> p;
    std::vector<double*> rows;
    double* const* Rows() {
        rows.clear();
        for (auto& q : p) rows.push_back(q.data());
        return rows.data();
    }
    int N() const { return static_cast<int>(p.size()); }
};

// Random points in the unit cube with some repeated, some moved by less than
// the tolerance.
Cloud Clustered(int dim, int n, unsigned seed, double t) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0, 1), small(-0.4 * t, 0.4 * t);
    Cloud c{dim, {}, {}};
    for (int i = 0; i < n; ++i) {
        std::vector<double> q(dim);
        if (i > 3 && i % 4 == 0) {
            q = c.p[rng() % c.p.size()];
            if (i % 8 == 0)
                for (double& x : q) x += small(rng);
        } else {
            for (double& x : q) x = u(rng);
        }
        c.p.push_back(q);
    }
    return c;
}

bool InBox(const std::vector<double>& p, const std::vector<double>& q, double t) {
    for (size_t k = 0; k < p.size(); ++k) {
        double upper = p[k] + t > p[k] ? p[k] + t : std::nextafter(p[k], HUGE_VAL);
        if (!(q[k] >= p[k] - t && q[k] < upper)) return false;
    }
    return true;
}

TEST(PointDuplicates, CheckFindsPointsWithinTheToleranceOnly) {
    struct Case {
        const char* name;
        std::vector<std::vector<double>> points;
        double tolerance;
        int relative;
        int status;
    } cases[] = {
        {"distinct", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, 1e-10, 1, CoreStatus_Success},
        {"1e-10 of the extent apart",
         {{0, 0, 0}, {1, 1, 1}, {0.5, 0.5, 0.5}, {0.5 + 1e-10, 0.5, 0.5}},
         1e-10,
         1,
         CoreStatus_DuplicatePoints},
        {"2e-10 apart", {{0, 0, 0}, {1, 1, 1}, {0.5, 0.5, 0.5}, {0.5 + 2e-10, 0.5, 0.5}}, 1e-10, 1, CoreStatus_Success},
        {"all coincident: relative tolerance 0",
         {{2, 3, 4}, {2, 3, 4}, {2, 3, 4}},
         1e-10,
         1,
         CoreStatus_DuplicatePoints},
        {"absolute 0 over distinct points", {{0, 0, 0}, {1e-300, 0, 0}}, 0.0, 0, CoreStatus_Success},
        {"absolute 0 over coincident points", {{5, 0, 0}, {1, 0, 0}, {5, 0, 0}}, 0.0, 0, CoreStatus_DuplicatePoints},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        Cloud cloud{3, c.points, {}};
        EXPECT_EQ(Points_CheckDuplicates(3, cloud.N(), cloud.Rows(), c.tolerance, c.relative, nullptr), c.status);
    }
    Cloud distinct{3, cases[0].points, {}};
    int32_t abort = 1;
    EXPECT_EQ(Points_CheckDuplicates(3, distinct.N(), distinct.Rows(), 1e-10, 1, &abort), CoreStatus_UserAbort);
}

TEST(PointDuplicates, FindMarksEachDuplicateWithItsRepresentative) {
    // Three coincident points among others: kept, then two duplicates of 0.
    Cloud c{2, {{1, 1}, {0, 0}, {1, 1}, {3, 0}, {1, 1}}, {}};
    std::vector<int32_t> marks(5, 7), rep(5, -1);
    int32_t kept = -1;
    ASSERT_EQ(Points_FindDuplicates(c.Rows(), 2, 5, 1e-10, 1, marks.data(), nullptr, rep.data(), &kept, nullptr),
              CoreStatus_Success);
    EXPECT_EQ(marks, (std::vector<int32_t>{0, 0, 1, 0, 1}));
    EXPECT_EQ(rep, (std::vector<int32_t>{0, 1, 0, 3, 0}));
    EXPECT_EQ(kept, 3);

    // Against the definition, over random clusters in 2D and 3D.
    for (int dim : {2, 3}) {
        SCOPED_TRACE(dim);
        const double t = 1e-6;
        Cloud r = Clustered(dim, 400, 11 + dim, t);
        std::vector<int32_t> m(r.N()), repr(r.N());
        ASSERT_EQ(Points_FindDuplicates(r.Rows(), dim, r.N(), t, 0, m.data(), nullptr, repr.data(), &kept, nullptr),
                  CoreStatus_Success);
        std::vector<int32_t> expected(r.N(), 0), expectedRep(r.N());
        for (int j = 0; j < r.N(); ++j) expectedRep[j] = j;
        for (int j = 0; j < r.N(); ++j) {
            if (expected[j]) continue;
            for (int q = j + 1; q < r.N(); ++q)
                if (InBox(r.p[j], r.p[q], t)) expected[q] = 1, expectedRep[q] = j;
        }
        EXPECT_EQ(m, expected);
        EXPECT_EQ(repr, expectedRep);
        EXPECT_LT(kept, r.N());
    }
}

TEST(PointDuplicates, RemoveMovesKeptPointsAndValuesToTheFront) {
    const double t = 1e-6;
    Cloud c = Clustered(3, 300, 5, t);
    const Cloud before = c;
    std::vector<double> values(c.N());
    for (int i = 0; i < c.N(); ++i) values[i] = 10.0 * i;
    std::vector<int32_t> marks(c.N()), order(c.N()), rep(c.N());
    int32_t expectedKept = 0;
    ASSERT_EQ(Points_FindDuplicates(c.Rows(), 3, c.N(), t, 0, marks.data(), nullptr, nullptr, &expectedKept, nullptr),
              CoreStatus_Success);
    int32_t count = c.N();
    ASSERT_EQ(Points_RemoveDuplicates(c.Rows(), 3, &count, values.data(), t, 0, order.data(), rep.data(), nullptr),
              CoreStatus_Success);
    EXPECT_EQ(count, expectedKept);
    for (int k = 0; k < c.N(); ++k) {
        int old = order[k];
        EXPECT_EQ(c.p[k], before.p[old]);
        EXPECT_EQ(values[k], 10.0 * old);
        EXPECT_EQ(marks[old] == 0, k < count) << k;
        // The representative's new place holds a kept point whose box held it.
        ASSERT_GE(rep[k], 0);
        ASSERT_LT(rep[k], count);
        if (k < count)
            EXPECT_EQ(rep[k], k);
        else
            EXPECT_TRUE(InBox(c.p[rep[k]], c.p[k], t));
    }
    // A removed point's place is taken by the last kept point.
    Cloud small{3, {{0, 0, 0}, {0, 0, 0}, {1, 0, 0}, {2, 0, 0}}, {}};
    count = 4;
    ASSERT_EQ(Points_RemoveDuplicates(small.Rows(), 3, &count, nullptr, 0.0, 1, nullptr, nullptr, nullptr),
              CoreStatus_Success);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(small.p[1], (std::vector<double>{2, 0, 0}));
}

}  // namespace

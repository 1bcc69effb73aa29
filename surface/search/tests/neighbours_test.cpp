#include "surface/search/neighbours.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

std::vector<double> LatticeCloud(int n, int dim, unsigned seed, int lattice, bool flat = false) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> pick(0, lattice);
    std::vector<double> pts(n * dim);
    for (int i = 0; i < n * dim; ++i) pts[i] = pick(rng) * 0.25;
    if (flat)
        for (int i = 0; i < n; ++i) pts[i * dim + dim - 1] = 2.0;
    return pts;
}

double Dist2(const double* a, const double* b) {
    return (a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]);
}

std::vector<double> SortedDistances(const std::vector<double>& pts, const double* q) {
    std::vector<double> d;
    for (size_t i = 0; i < pts.size() / 3; ++i) d.push_back(Dist2(&pts[3 * i], q));
    std::sort(d.begin(), d.end());
    return d;
}

TEST(KdTreePacked, BoxQueryEqualsBruteForceAndStopsAtTheLimit) {
    for (int dim : {2, 3}) {
        const int n = 600;
        std::vector<double> pts = LatticeCloud(n, dim, 5 + dim, 9);
        KdTree2 t2;
        KdTree3 t3;
        double bounds[6];
        ASSERT_NE(0, dim == 2 ? KdTree2_Build(n, pts.data(), &t2, bounds) : KdTree3_Build(n, pts.data(), &t3, bounds));
        for (int k = 0; k < dim; ++k) {
            double lo = 1e300, hi = -1e300;
            for (int i = 0; i < n; ++i) lo = std::min(lo, pts[i * dim + k]), hi = std::max(hi, pts[i * dim + k]);
            EXPECT_EQ(lo, bounds[k]);
            EXPECT_EQ(hi, bounds[dim + k]);
        }
        std::mt19937 rng(dim);
        std::uniform_int_distribution<int> edge(-1, 10);
        std::vector<int32_t> idx(n + 1);
        for (int trial = 0; trial < 300; ++trial) {
            double box[6];
            for (int k = 0; k < dim; ++k) {
                const double a = edge(rng) * 0.25, b = edge(rng) * 0.25;  // on lattice coordinates
                box[k] = std::min(a, b);
                box[dim + k] = std::max(a, b);
            }
            std::vector<int32_t> want;
            for (int i = 0; i < n; ++i) {
                bool in = true;
                for (int k = 0; k < dim; ++k) in = in && box[k] <= pts[i * dim + k] && pts[i * dim + k] < box[dim + k];
                if (in) want.push_back(i);
            }
            auto query = [&](int32_t limit, int32_t* count) {
                return dim == 2 ? KdTree2_BoxQuery(&t2, pts.data(), box, limit, idx.data(), count)
                                : KdTree3_BoxQuery(&t3, pts.data(), box, limit, idx.data(), count);
            };
            int32_t count = -1;
            ASSERT_EQ(1, query(n + 1, &count));
            std::vector<int32_t> got(idx.begin(), idx.begin() + count);
            std::sort(got.begin(), got.end());
            ASSERT_EQ(want, got);
            if (!want.empty()) {
                const int32_t limit = static_cast<int32_t>(want.size());
                ASSERT_EQ(0, query(limit, &count));  // reaching the limit stops the search
                ASSERT_EQ(limit, count);
                if (limit > 1) {
                    ASSERT_EQ(0, query(limit - 1, &count));
                    ASSERT_EQ(limit - 1, count);
                }
            }
        }
        KdTree2_Free(dim == 2 ? &t2 : nullptr);
        KdTree3_Free(dim == 3 ? &t3 : nullptr);
    }
    KdTree3_Free(nullptr);
}

TEST(KdTreePacked, FailedBuildLeavesAnEmptyRecord) {
    std::vector<double> pts = LatticeCloud(300, 3, 1, 50);
    ASSERT_EQ(0, Mem_TrackBegin());
    const size_t before = Mem_CurrentBytes();
    int failures = 0;
    bool succeeded = false;
    for (int allowed = 0; !succeeded && allowed < 100000; ++allowed) {
        KdTree3 t;
        Mem_FailAllocationsAfterForTesting(allowed);
        succeeded = KdTree3_Build(300, pts.data(), &t, nullptr) != 0;
        Mem_FailAllocationsAfterForTesting(-1);
        if (!succeeded) {
            ++failures;
            EXPECT_EQ(nullptr, t.Nodes);
            EXPECT_EQ(0, t.Count);
        }
        KdTree3_Free(&t);
        ASSERT_EQ(before, Mem_CurrentBytes());
    }
    EXPECT_TRUE(succeeded);
    EXPECT_GT(failures, 0);
    Mem_TrackEnd();
}

struct NeighboursCase {
    const char* name;
    int n;
    int lattice;
    bool flat;
};

void PrintTo(const NeighboursCase& c, std::ostream* os) { *os << c.name; }

class NeighboursSearch : public ::testing::TestWithParam<NeighboursCase> {};

TEST_P(NeighboursSearch, KNearestAndWithinRadiusEqualBruteForce) {
    const NeighboursCase& c = GetParam();
    std::vector<double> pts = LatticeCloud(c.n, 3, 21, c.lattice, c.flat);
    Neighbours nb;
    ASSERT_EQ(1, Neighbours_Init(c.n, pts.data(), &nb));
    std::mt19937 rng(4);
    std::uniform_real_distribution<double> where(-1.0, c.lattice * 0.25 + 1.0);
    std::vector<int32_t> idx(c.n + 1);
    for (int trial = 0; trial < 150; ++trial) {
        double q[3];
        const bool own = trial % 3 == 0;
        if (own) {
            for (int k = 0; k < 3; ++k) q[k] = pts[3 * (trial % c.n) + k];
        } else {
            for (double& v : q) v = where(rng);
            if (trial % 5 == 0) {
                q[0] += 40.0;  // far away from every point
            }
        }
        std::vector<double> all = SortedDistances(pts, q);
        for (int32_t k : {1, 4, 15, c.n + 5}) {
            int32_t count = -1;
            ASSERT_EQ(1, Neighbours_KNearest(q, k, &count, idx.data(), &nb));
            ASSERT_EQ(std::min(k, c.n), count);
            for (int i = 0; i < count; ++i) ASSERT_EQ(all[i], Dist2(&pts[3 * idx[i]], q)) << trial << " " << k;
            if (own) {
                ASSERT_EQ(0.0, Dist2(&pts[3 * idx[0]], q));  // the point itself comes first
            }
        }
        for (double r : {0.0, 0.25, 0.5, 1.3}) {
            for (int32_t maxCount : {3, c.n}) {
                int32_t count = -1;
                ASSERT_EQ(1, Neighbours_WithinRadius(q, r, maxCount, &count, idx.data(), &nb));
                const int32_t within =
                    static_cast<int32_t>(std::upper_bound(all.begin(), all.end(), r * r) - all.begin());
                ASSERT_EQ(std::min(within, maxCount), count);
                for (int i = 0; i < count; ++i) ASSERT_EQ(all[i], Dist2(&pts[3 * idx[i]], q));
            }
            int32_t any = -1;
            ASSERT_EQ(1, Neighbours_AnyWithin(q, r, &any, &nb));
            ASSERT_EQ(!all.empty() && all[0] < r * r ? 1 : 0, any);
        }
    }
    Neighbours_Free(&nb);
    EXPECT_EQ(nullptr, nb.Candidates);
}

INSTANTIATE_TEST_SUITE_P(Shapes, NeighboursSearch,
                         ::testing::Values(NeighboursCase{"Spread", 400, 12, false},
                                           NeighboursCase{"FlatPatch", 300, 12, true},
                                           NeighboursCase{"AllInOnePlace", 40, 0, false},
                                           NeighboursCase{"Single", 1, 5, false}),
                         [](const ::testing::TestParamInfo<NeighboursCase>& info) { return info.param.name; });

TEST(Neighbours, KNearestEndsWhenSomePointsHaveNoFiniteCoordinates) {
    // Ten finite points on a line, two that no box can hold.
    std::vector<double> pts;
    for (int i = 0; i < 10; ++i) pts.insert(pts.end(), {i * 1.0, 0.0, 0.0});
    pts.insert(pts.end(), {std::nan(""), 0.0, 0.0});
    pts.insert(pts.end(), {0.0, HUGE_VAL, 0.0});
    Neighbours nb;
    ASSERT_EQ(1, Neighbours_Init(12, pts.data(), &nb));
    std::vector<int32_t> idx(12, -1);
    const double q[3] = {2.2, 0.0, 0.0};
    int32_t count = -1;
    ASSERT_EQ(1, Neighbours_KNearest(q, 12, &count, idx.data(), &nb));
    ASSERT_EQ(10, count);  // the finite points, nearest first
    EXPECT_EQ((std::vector<int32_t>{2, 3, 1, 4, 0, 5, 6, 7, 8, 9}),
              std::vector<int32_t>(idx.begin(), idx.begin() + 10));
    EXPECT_TRUE(std::isfinite(nb.Radius));
    // A query point without finite coordinates has no nearest points.
    const double lost[3] = {std::nan(""), 0.0, 0.0};
    ASSERT_EQ(1, Neighbours_KNearest(lost, 3, &count, idx.data(), &nb));
    EXPECT_EQ(0, count);
    // Later queries are served as before.
    ASSERT_EQ(1, Neighbours_KNearest(q, 2, &count, idx.data(), &nb));
    ASSERT_EQ(2, count);
    EXPECT_EQ(2, idx[0]);
    EXPECT_EQ(3, idx[1]);
    Neighbours_Free(&nb);
}

TEST(Neighbours, RadiusLearnedOnAFlatPatchServesTheNextQueryInOneSearch) {
    // A regular patch in the plane z = 0.
    std::vector<double> pts;
    for (int i = 0; i < 40; ++i)
        for (int j = 0; j < 40; ++j) pts.insert(pts.end(), {i * 0.1, j * 0.1, 0.0});
    const int n = static_cast<int>(pts.size() / 3);
    Neighbours nb;
    ASSERT_EQ(1, Neighbours_Init(n, pts.data(), &nb));
    EXPECT_EQ(0.0, nb.Bounds[2]);
    EXPECT_NEAR(3.9, nb.Bounds[3], 1e-12);
    const int32_t k = 12;
    std::vector<int32_t> idx(k);
    int32_t count = 0;
    const double q[3] = {2.0, 2.0, 0.0};
    ASSERT_EQ(1, Neighbours_KNearest(q, k, &count, idx.data(), &nb));
    // The stored radius is one whose box around a nearby point already holds
    // k points with the k-th inside the ball, so the next query's first box
    // search is its last.
    const double r = nb.Radius;
    ASSERT_GT(r, 0.0);
    const double next[3] = {2.05, 1.95, 0.0};
    int inBox = 0;
    std::vector<double> d;
    for (int i = 0; i < n; ++i) {
        const double* p = &pts[3 * i];
        bool in = true;
        for (int a = 0; a < 3; ++a) in = in && next[a] - r <= p[a] && p[a] < next[a] + r;
        inBox += in;
        if (in) d.push_back(Dist2(p, next));
    }
    std::sort(d.begin(), d.end());
    ASSERT_GE(inBox, k);
    EXPECT_LE(d[k - 1], r * r);
    Neighbours_Free(&nb);
}

}  // namespace

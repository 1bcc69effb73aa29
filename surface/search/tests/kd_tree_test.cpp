#include "surface/search/kd_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

// Points on a coarse lattice, so that coordinates repeat on every axis and
// many distances tie.
struct Cloud {
    int dim;
    std::vector<double> flat;
    std::vector<double*> rows;
    Cloud(int n, int d, unsigned seed, int lattice = 7) : dim(d), flat(n * d), rows(n) {
        std::mt19937 rng(seed);
        std::uniform_int_distribution<int> pick(0, lattice);
        for (int i = 0; i < n; ++i) {
            for (int k = 0; k < d; ++k) flat[i * d + k] = pick(rng) * 0.5;
            rows[i] = &flat[i * d];
        }
    }
    int size() const { return static_cast<int>(rows.size()); }
    double Dist2(int p, const double* q) const {
        double s = 0;
        for (int k = 0; k < dim; ++k) s += (rows[p][k] - q[k]) * (rows[p][k] - q[k]);
        return s;
    }
};

bool Visible(const std::vector<int32_t>* mask, int p) { return !mask || (*mask)[p] != 0; }

std::vector<int32_t> BruteBox(const Cloud& c, const double* box, const std::vector<int32_t>* mask) {
    std::vector<int32_t> out;
    for (int p = 0; p < c.size(); ++p) {
        bool in = Visible(mask, p);
        for (int k = 0; k < c.dim && in; ++k) in = box[k] <= c.rows[p][k] && c.rows[p][k] < box[c.dim + k];
        if (in) out.push_back(p);
    }
    return out;
}

std::vector<double> BruteDistances(const Cloud& c, const double* q, const std::vector<int32_t>* mask) {
    std::vector<double> d;
    for (int p = 0; p < c.size(); ++p)
        if (Visible(mask, p)) d.push_back(c.Dist2(p, q));
    std::sort(d.begin(), d.end());
    return d;
}

// Every point of a left subtree lies strictly below its node on the node's
// split dimension, every point of a right subtree at or above it; every
// point appears once.
void CheckShape(const KdTreeN& t) {
    std::vector<int> seen(t.Count, 0);
    struct Item {
        int node, level;
    };
    std::vector<Item> todo{{0, 0}};
    int maxLevel = 0;
    while (!todo.empty()) {
        Item it = todo.back();
        todo.pop_back();
        const KdNode& n = t.Nodes[it.node];
        ++seen[n.Point];
        maxLevel = std::max(maxLevel, it.level);
        const int split = it.level % t.Dim;
        const double key = t.Points[n.Point][split];
        for (int side = 0; side < 2; ++side) {
            int child = side == 0 ? n.Left : n.Right;
            if (child < 0) continue;
            std::vector<int> sub{child};
            while (!sub.empty()) {
                const KdNode& s = t.Nodes[sub.back()];
                sub.pop_back();
                const double v = t.Points[s.Point][split];
                if (side == 0) {
                    ASSERT_LT(v, key);
                } else {
                    ASSERT_GE(v, key);
                }
                if (s.Left >= 0) sub.push_back(s.Left);
                if (s.Right >= 0) sub.push_back(s.Right);
            }
            todo.push_back({child, it.level + 1});
        }
    }
    for (int p = 0; p < t.Count; ++p) ASSERT_EQ(1, seen[p]) << p;
    EXPECT_EQ(maxLevel + 1, t.Depth);
}

TEST(KdTreeN, BuildsBalancedShapeWithEqualKeysToTheRight) {
    for (int dim : {1, 2, 3, 4}) {
        for (int n : {1, 2, 3, 4, 5, 17, 500}) {
            for (int lattice : {0, 1, 7, 1000}) {  // all equal, two values, ties, few ties
                Cloud c(n, dim, 11 * n + dim, lattice);
                KdTreeN t;
                double bounds[8];
                ASSERT_EQ(0, KdTreeN_Build(n, dim, c.rows.data(), &t, bounds, nullptr));
                CheckShape(t);
                for (int k = 0; k < dim; ++k) {
                    double lo = 1e300, hi = -1e300;
                    for (int p = 0; p < n; ++p) lo = std::min(lo, c.rows[p][k]), hi = std::max(hi, c.rows[p][k]);
                    EXPECT_EQ(lo, bounds[k]);
                    EXPECT_EQ(hi, bounds[dim + k]);
                }
                if (lattice == 1000 && n == 500) {
                    EXPECT_LE(t.Depth, 11);  // balanced: about log2(n) levels
                }
                KdTreeN_Free(&t);
            }
        }
    }
}

// The points a box walk over the node array finds, node by node: a node,
// then its left subtree, then its right one.
std::vector<int32_t> WalkNodes(const KdTreeN& t, const double* box) {
    std::vector<int32_t> found;
    std::vector<std::pair<int, int>> stack{{0, 0}};  // node, split dimension
    while (t.Count > 0 && !stack.empty()) {
        const auto [at, split] = stack.back();
        stack.pop_back();
        const KdNode& n = t.Nodes[at];
        const double* x = t.Points[n.Point];
        bool in = true;
        for (int k = 0; k < t.Dim; ++k) in = in && box[k] <= x[k] && x[k] < box[t.Dim + k];
        if (in) found.push_back(n.Point);
        const int next = (split + 1) % t.Dim;
        if (n.Right >= 0 && x[split] < box[t.Dim + split]) stack.push_back({n.Right, next});
        if (n.Left >= 0 && box[split] < x[split]) stack.push_back({n.Left, next});
    }
    return found;
}

TEST(KdTreeN, BoxSearchesListPointsInWalkOrder) {
    for (int dim : {2, 3}) {
        Cloud c(3000, dim, 17 + dim, 1000);
        KdTreeN t;
        ASSERT_EQ(0, KdTreeN_Build(c.size(), dim, c.rows.data(), &t, nullptr, nullptr));
        std::mt19937 rng(dim);
        std::uniform_real_distribution<double> where(0.0, 500.0), size(0.0, 120.0);
        for (int trial = 0; trial < 100; ++trial) {
            std::vector<double> box(2 * dim);
            for (int k = 0; k < dim; ++k) box[k] = where(rng), box[dim + k] = box[k] + size(rng);
            const std::vector<int32_t> want = WalkNodes(t, box.data());
            const int32_t n = KdTreeN_BoxQuery(&t, box.data());
            ASSERT_EQ(want, std::vector<int32_t>(t.Result, t.Result + n));
            // A limited search lists the first points of the same order.
            std::vector<int32_t> some(want.size() + 1);
            const int32_t limit = static_cast<int32_t>(want.size() / 3);
            ASSERT_EQ(limit, KdTreeN_CollectInBox(&t, box.data(), limit, some.data()));
            ASSERT_TRUE(std::equal(some.begin(), some.begin() + limit, want.begin()));
        }
        KdTreeN_Free(&t);
    }
}

TEST(KdTreeN, HalfOpenBoxIncludesTheMinimumAndExcludesTheMaximum) {
    double pts[3][2] = {{1, 1}, {2, 1}, {3, 1}};
    double* rows[3] = {pts[0], pts[1], pts[2]};
    KdTreeN t;
    ASSERT_EQ(0, KdTreeN_Build(3, 2, rows, &t, nullptr, nullptr));
    const double box[4] = {1, 1, 3, 2};  // x in [1, 3), y in [1, 2)
    ASSERT_EQ(2, KdTreeN_BoxQuery(&t, box));
    std::vector<int32_t> got(t.Result, t.Result + 2);
    std::sort(got.begin(), got.end());
    EXPECT_EQ((std::vector<int32_t>{0, 1}), got);
    KdTreeN_Free(&t);
}

TEST(KdTreeN, BoxSearchesEqualBruteForceWithAndWithoutMask) {
    for (int dim : {1, 2, 3, 4}) {
        Cloud c(400, dim, 3 + dim);
        std::mt19937 rng(dim);
        std::vector<int32_t> mask(c.size());
        for (auto& m : mask) m = rng() % 3 != 0;
        KdTreeN t;
        ASSERT_EQ(0, KdTreeN_Build(c.size(), dim, c.rows.data(), &t, nullptr, nullptr));
        std::uniform_int_distribution<int> pick(-1, 8);
        for (int useMask = 0; useMask < 2; ++useMask) {
            KdTreeN_SetMask(&t, useMask ? mask.data() : nullptr);
            const std::vector<int32_t>* m = useMask ? &mask : nullptr;
            const auto visible = useMask ? std::count(mask.begin(), mask.end(), 1) : c.size();
            EXPECT_EQ(static_cast<int32_t>(visible), KdTreeN_ActiveCount(&t));
            for (int trial = 0; trial < 200; ++trial) {
                std::vector<double> box(2 * dim);
                for (int k = 0; k < dim; ++k) {
                    double a = pick(rng) * 0.5, b = pick(rng) * 0.5;  // often equal to coordinates
                    box[k] = std::min(a, b);
                    box[dim + k] = std::max(a, b) + (trial % 2 ? 0.0 : 0.25);
                }
                std::vector<int32_t> want = BruteBox(c, box.data(), m);
                const int32_t n = KdTreeN_BoxQuery(&t, box.data());
                std::vector<int32_t> got(t.Result, t.Result + n);
                std::sort(got.begin(), got.end());
                ASSERT_EQ(want, got);
                // Collecting stops at the limit with a subset of the same points.
                const int32_t limit = static_cast<int32_t>(want.size() / 2);
                std::vector<int32_t> some(want.size() + 1, -1);
                const int32_t k = KdTreeN_CollectInBox(&t, box.data(), limit, some.data());
                ASSERT_EQ(limit, k);
                for (int i = 0; i < k; ++i) ASSERT_TRUE(std::binary_search(want.begin(), want.end(), some[i]));
            }
        }
        KdTreeN_Free(&t);
    }
}

// The result is right when its distances are the smallest ones, in order:
// ties at the last distance may be any of the tied points.
void ExpectNearest(const Cloud& c, const double* q, const std::vector<int32_t>* mask, const int32_t* got, int32_t count,
                   int32_t minCount, int32_t maxCount) {
    std::vector<double> all = BruteDistances(c, q, mask);
    ASSERT_GE(count, std::min<int32_t>(minCount, all.size()));
    ASSERT_LE(count, maxCount);
    std::vector<int32_t> unique(got, got + count);
    std::sort(unique.begin(), unique.end());
    ASSERT_TRUE(std::adjacent_find(unique.begin(), unique.end()) == unique.end());
    for (int i = 0; i < count; ++i) {
        ASSERT_TRUE(Visible(mask, got[i]));
        ASSERT_EQ(all[i], c.Dist2(got[i], q)) << i;
    }
}

// The radius a nearest search leaves for the next one, from plain box counts:
// the start radius grows by 2^(1/d) while its box holds fewer than the
// minimum, by sqrt(d) while the kept points do not all lie within it; a box
// holding more than twice the maximum leaves 0.7^(1/d) of its radius.
double RadiusAfterSearch(const Cloud& c, const double* q, const std::vector<int32_t>* mask, int32_t minCount,
                         int32_t maxCount, double radius) {
    double r = radius == 0.0 ? 1.0 : std::fabs(radius);
    std::vector<double> box(2 * c.dim);
    const auto inBox = [&]() {
        for (int k = 0; k < c.dim; ++k) box[k] = q[k] - r, box[c.dim + k] = q[k] + r;
        std::vector<double> d;
        for (int32_t p : BruteBox(c, box.data(), mask)) d.push_back(c.Dist2(p, q));
        std::sort(d.begin(), d.end());
        return d;
    };
    for (;;) {
        std::vector<double> d = inBox();
        while (static_cast<int32_t>(d.size()) < minCount) {
            r *= std::pow(2.0, 1.0 / c.dim);
            radius = r;
            d = inBox();
        }
        const int32_t found = static_cast<int32_t>(d.size());
        if (found > 2 * maxCount) radius = std::pow(0.7, 1.0 / c.dim) * r;
        const int32_t kept = std::min(found, maxCount);
        if ((kept > 0 && d[kept - 1] <= r * r) || minCount == 0 || d[minCount - 1] <= r * r) return radius;
        r *= std::sqrt(static_cast<double>(c.dim));
        radius = r;
    }
}

TEST(KdTreeN, NearestQueriesEqualBruteForceWithMasksAndTies) {
    for (int dim : {2, 3}) {
        Cloud c(300, dim, 40 + dim);
        std::vector<int32_t> mask(c.size());
        std::mt19937 rng(dim);
        for (auto& m : mask) m = rng() % 4 != 0;
        KdTreeN t;
        ASSERT_EQ(0, KdTreeN_Build(c.size(), dim, c.rows.data(), &t, nullptr, nullptr));
        std::uniform_real_distribution<double> where(-1.0, 4.5);
        std::vector<int32_t> idx(c.size());
        for (int useMask = 0; useMask < 2; ++useMask) {
            const std::vector<int32_t>* m = useMask ? &mask : nullptr;
            KdTreeN_SetMask(&t, useMask ? mask.data() : nullptr);
            for (double start : {0.0, -0.3, 0.3, 50.0}) {  // 0 starts at 1.0, negative as its size
                double radius = start;
                for (int trial = 0; trial < 60; ++trial) {
                    std::vector<double> q(dim);
                    for (auto& v : q) v = trial % 3 ? where(rng) : std::round(where(rng) * 2) / 2;
                    for (int32_t k : {1, 5, 20}) {
                        int32_t count = -1;
                        const double next = RadiusAfterSearch(c, q.data(), m, k, k, radius);
                        ASSERT_EQ(0, KdTreeN_NearestK(&t, q.data(), k, &radius, idx.data(), &count));
                        ASSERT_EQ(next, radius);
                        ASSERT_EQ(k, count);
                        ExpectNearest(c, q.data(), m, idx.data(), count, k, k);
                        for (int i = 0; i < count; ++i) ASSERT_EQ(idx[i], t.Result[i]);
                    }
                    int32_t count = -1;
                    const double next = RadiusAfterSearch(c, q.data(), m, 3, 12, radius);
                    ASSERT_EQ(0, KdTreeN_NearestRange(&t, q.data(), 3, 12, &radius, idx.data(), &count));
                    ASSERT_EQ(next, radius);
                    ExpectNearest(c, q.data(), m, idx.data(), count, 3, 12);
                }
            }
        }
        KdTreeN_Free(&t);
    }
}

TEST(KdTreeN, NearestRefusesMoreNeighboursThanVisiblePoints) {
    Cloud c(50, 3, 5);
    std::vector<int32_t> mask(c.size(), 0);
    mask[3] = mask[10] = mask[44] = 1;
    KdTreeN t;
    ASSERT_EQ(0, KdTreeN_Build(c.size(), 3, c.rows.data(), &t, nullptr, nullptr));
    KdTreeN_SetMask(&t, mask.data());
    const double q[3] = {1, 1, 1};
    double radius = 0.1;
    int32_t idx[8], count = -1;
    EXPECT_EQ(5, KdTreeN_NearestK(&t, q, 4, &radius, idx, &count));
    ASSERT_EQ(0, KdTreeN_NearestK(&t, q, 3, &radius, idx, &count));
    std::vector<int32_t> got(idx, idx + 3);
    std::sort(got.begin(), got.end());
    EXPECT_EQ((std::vector<int32_t>{3, 10, 44}), got);
    // A wider range is cut to the visible points.
    ASSERT_EQ(0, KdTreeN_NearestRange(&t, q, 1, 8, &radius, idx, &count));
    EXPECT_EQ(3, count);
    KdTreeN_Free(&t);
}

TEST(KdTreeN, WithinRadiusNearestToBoxAndNearestInBoxEqualBruteForce) {
    const int dim = 3;
    Cloud c(350, dim, 77);
    KdTreeN t;
    ASSERT_EQ(0, KdTreeN_Build(c.size(), dim, c.rows.data(), &t, nullptr, nullptr));
    std::vector<int32_t> scratch(c.size());
    std::vector<double> squared(c.size());
    std::mt19937 rng(9);
    std::uniform_int_distribution<int> lattice(0, 7);
    for (int trial = 0; trial < 80; ++trial) {
        // Lattice query points and radii put many points exactly on the sphere.
        double q[3] = {lattice(rng) * 0.5, lattice(rng) * 0.5, lattice(rng) * 0.5};
        const double r = (trial % 4) * 0.5;
        int32_t count = -1;
        ASSERT_EQ(0, KdTreeN_WithinRadius(&t, q, r, scratch.data(), squared.data(), &count));
        std::vector<double> all = BruteDistances(c, q, nullptr);
        const int32_t want = static_cast<int32_t>(std::upper_bound(all.begin(), all.end(), r * r) - all.begin());
        ASSERT_EQ(want, count);
        for (int i = 0; i < count; ++i) {
            ASSERT_EQ(all[i], squared[i]);
            ASSERT_EQ(all[i], c.Dist2(t.Result[i], q));
        }

        int32_t best = -2;
        KdTreeN_NearestInBox(&t, q, 0.6, 0, &best);
        double box[6];
        KdTreeN_Box(dim, q, 0.6, box);
        std::vector<int32_t> in = BruteBox(c, box, nullptr);
        if (in.empty()) {
            ASSERT_EQ(-1, best);
        } else {
            double m = 1e300;
            for (int p : in) m = std::min(m, c.Dist2(p, q));
            ASSERT_EQ(m, c.Dist2(best, q));
        }

        const double lo[3] = {q[0], q[1], q[2]};
        double given[6] = {lo[0], lo[1], lo[2], lo[0] + 1.0, lo[1] + 0.5, lo[2] + (trial % 2) * 0.5};
        int32_t inside = -1, total = -1;
        ASSERT_EQ(0, KdTreeN_NearestToBox(&t, given, 4, 9, &inside, &total));
        std::vector<int32_t> inBox = BruteBox(c, given, nullptr);
        ASSERT_EQ(static_cast<int32_t>(inBox.size()), inside);
        ASSERT_GE(total, std::min<int32_t>(inside + 4, c.size()));
        ASSERT_LE(total, inside + 9);
        std::vector<int32_t> front(t.Result, t.Result + inside);
        std::sort(front.begin(), front.end());
        ASSERT_EQ(inBox, front);
        // The extras are the nearest outside points by their excess over the box.
        auto excess = [&](int p) {
            double e = 0;
            for (int k = 0; k < dim; ++k) e = std::max({e, given[k] - c.rows[p][k], c.rows[p][k] - given[dim + k]});
            return e;
        };
        std::vector<double> outside;
        for (int p = 0; p < c.size(); ++p)
            if (!std::binary_search(inBox.begin(), inBox.end(), p)) outside.push_back(excess(p));
        std::sort(outside.begin(), outside.end());
        for (int i = inside; i < total; ++i) ASSERT_EQ(outside[i - inside], excess(t.Result[i]));
    }
    KdTreeN_Free(&t);
}

TEST(KdTreeN, CancelAndMemoryFailureLeaveNothingBehind) {
    Cloud c(2000, 3, 1);
    // Frees are subtracted from the count only while a tracking level is open.
    ASSERT_EQ(0, Mem_TrackBegin());
    const size_t before = Mem_CurrentBytes();
    int32_t cancel = 1;
    KdTreeN t;
    EXPECT_EQ(10, KdTreeN_Build(c.size(), 3, c.rows.data(), &t, nullptr, &cancel));
    EXPECT_EQ(nullptr, t.Nodes);
    EXPECT_EQ(0, t.Count);
    EXPECT_EQ(before, Mem_CurrentBytes());
    int failures = 0;
    bool succeeded = false;
    for (int allowed = 0; !succeeded && allowed < 100000; ++allowed) {
        Mem_FailAllocationsAfterForTesting(allowed);
        const int status = KdTreeN_Build(c.size(), 3, c.rows.data(), &t, nullptr, nullptr);
        Mem_FailAllocationsAfterForTesting(-1);
        ASSERT_TRUE(status == 0 || status == 2) << status;
        succeeded = status == 0;
        if (status == 2) {
            ++failures;
            EXPECT_EQ(nullptr, t.Nodes);
        }
        KdTreeN_Free(&t);
        ASSERT_EQ(before, Mem_CurrentBytes()) << allowed;
    }
    EXPECT_TRUE(succeeded);
    EXPECT_GT(failures, 0);
    Mem_TrackEnd();
}

}  // namespace

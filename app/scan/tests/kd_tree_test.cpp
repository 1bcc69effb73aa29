#include "app/scan/kd_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

namespace {

std::vector<int32_t> Sorted(const int32_t* values, int32_t n) {
    std::vector<int32_t> v(values, values + n);
    std::sort(v.begin(), v.end());
    return v;
}

bool InBox(const Vec3& p, const Vec3& lo, const Vec3& hi) {
    return lo.x <= p.x && p.x <= hi.x && lo.y <= p.y && p.y <= hi.y && lo.z <= p.z && p.z <= hi.z;
}

float DistSq(const Vec3& a, const Vec3& b) {
    const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return dx * dx + dy * dy + dz * dz;
}

// Checks every query of the tree against a plain walk over the points.
void ExpectBruteForce(const std::vector<Vec3>& points, std::mt19937& rng, int queries) {
    KdTree* tree = nullptr;
    ASSERT_EQ(KdTree_Build(points.data(), static_cast<int32_t>(points.size()), &tree), 1);
    std::uniform_int_distribution<int> pick(0, std::max<int>(0, static_cast<int>(points.size()) - 1));
    std::uniform_real_distribution<float> jitter(-3.0f, 3.0f);
    std::uniform_int_distribution<int> size(0, 4);
    for (int q = 0; q < queries; ++q) {
        // Boxes and centres at existing points, so that faces and radii meet
        // points exactly.
        const Vec3 c = points.empty() ? Vec3{0, 0, 0} : points[pick(rng)];
        const Vec3 d = points.empty() ? Vec3{1, 1, 1} : points[pick(rng)];
        const Vec3 lo{std::min(c.x, d.x), std::min(c.y, d.y), std::min(c.z, d.z) - size(rng)};
        const Vec3 hi{std::max(c.x, d.x), std::max(c.y, d.y), std::max(c.z, d.z)};
        std::vector<int32_t> expected;
        for (int32_t i = 0; i < static_cast<int32_t>(points.size()); ++i)
            if (InBox(points[i], lo, hi)) expected.push_back(i);
        const int32_t n = KdTree_BoxQuery(tree, lo, hi);
        ASSERT_EQ(Sorted(tree->Results, n), expected) << "box query " << q;

        const Vec3 centre = (q % 2) ? c : Vec3{c.x + jitter(rng), c.y + jitter(rng), c.z};
        const float radius = static_cast<float>(size(rng)) + (q % 3 == 0 ? 0.5f : 0.0f);
        std::vector<int32_t> near;
        for (int32_t i = 0; i < static_cast<int32_t>(points.size()); ++i)
            if (DistSq(points[i], centre) < radius * radius) near.push_back(i);
        const int32_t m = KdTree_RadiusQuery(tree, centre, radius);
        ASSERT_EQ(Sorted(tree->Results, m), near) << "radius query " << q;
        for (int32_t k = 0; k < m; ++k) EXPECT_EQ(tree->Distances[k], DistSq(points[tree->Results[k]], centre));

        const int32_t s = KdTree_NearestSorted(tree, centre, radius);
        ASSERT_EQ(Sorted(tree->Results, s), near) << "sorted query " << q;
        for (int32_t k = 1; k < s; ++k)
            EXPECT_LE(tree->Distances[tree->Results[k - 1]], tree->Distances[tree->Results[k]]);
    }
    KdTree_Free(&tree);
    EXPECT_EQ(tree, nullptr);
}

TEST(KdTree, EqualsBruteForce) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(-50.0f, 50.0f);
    std::uniform_int_distribution<int> grid(0, 6);
    struct Set {
        const char* name;
        std::vector<Vec3> points;
    };
    std::vector<Set> sets;
    sets.push_back({"empty", {}});
    sets.push_back({"one point", {{1, 2, 3}}});
    sets.push_back({"two points with equal x", {{1, 5, 0}, {1, 2, 0}}});
    sets.push_back({"all equal", std::vector<Vec3>(300, Vec3{4, 4, 4})});
    {
        std::vector<Vec3> line;
        for (int i = 0; i < 500; ++i) line.push_back(Vec3{static_cast<float>(i % 37), 2.0f * (i % 37), -1.0f});
        sets.push_back({"collinear with repeats", line});
    }
    {
        // A small integer grid: many points share each coordinate, so box
        // faces fall on split coordinates.
        std::vector<Vec3> g;
        for (int i = 0; i < 2000; ++i)
            g.push_back(Vec3{static_cast<float>(grid(rng)), static_cast<float>(grid(rng)), static_cast<float>(grid(rng))});
        sets.push_back({"integer grid", g});
    }
    {
        std::vector<Vec3> r;
        for (int i = 0; i < 5000; ++i) r.push_back(Vec3{u(rng), u(rng), u(rng)});
        sets.push_back({"random", r});
    }
    for (const Set& set : sets) {
        SCOPED_TRACE(set.name);
        ExpectBruteForce(set.points, rng, 200);
    }
}

// The tree as a plain node-by-node build and walk, for points whose
// coordinates are all distinct (so that the shape is fully determined): a
// range sorted on the level's axis splits at its middle position n / 2; one
// or two points make a chain whose second point is the upper child. The
// walk visits a node, then its upper subtree, then its lower one.
class ReferenceTree {
public:
    explicit ReferenceTree(const std::vector<Vec3>& points) : points_(points) {
        std::vector<int32_t> all(points.size());
        for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int32_t>(i);
        if (!all.empty()) Build(all, 0);
    }

    std::vector<int32_t> Box(const Vec3& lo, const Vec3& hi) const {
        std::vector<int32_t> found;
        std::vector<std::pair<int, int>> stack;  // node, axis
        if (!nodes_.empty()) stack.push_back({0, 0});
        while (!stack.empty()) {
            const auto [at, axis] = stack.back();
            stack.pop_back();
            const Node& n = nodes_[at];
            if (InBox(points_[n.point], lo, hi)) found.push_back(n.point);
            const float split = Coord(points_[n.point], axis);
            if (n.lower >= 0 && Coord(lo, axis) < split) stack.push_back({n.lower, (axis + 1) % 3});
            if (n.upper >= 0 && Coord(hi, axis) >= split) stack.push_back({n.upper, (axis + 1) % 3});
        }
        return found;
    }

private:
    struct Node {
        int32_t point;
        int lower = -1, upper = -1;
    };

    static float Coord(const Vec3& p, int axis) { return axis == 0 ? p.x : axis == 1 ? p.y : p.z; }

    int Build(std::vector<int32_t> range, int level) {
        const int axis = level % 3;
        std::sort(range.begin(), range.end(),
                  [&](int32_t a, int32_t b) { return Coord(points_[a], axis) < Coord(points_[b], axis); });
        const size_t m = range.size() <= 2 ? 0 : range.size() / 2;
        const int at = static_cast<int>(nodes_.size());
        nodes_.push_back(Node{range[m]});
        const std::vector<int32_t> lower(range.begin(), range.begin() + m);
        const std::vector<int32_t> upper(range.begin() + m + 1, range.end());
        if (!lower.empty()) {
            const int child = Build(lower, level + 1);
            nodes_[at].lower = child;
        }
        if (!upper.empty()) {
            const int child = Build(upper, level + 1);
            nodes_[at].upper = child;
        }
        return at;
    }

    const std::vector<Vec3>& points_;
    std::vector<Node> nodes_;
};

TEST(KdTree, ListsPointsInTraversalOrder) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> u(-20.0f, 20.0f);
    for (int n : {1, 2, 3, 9, 17, 100, 3000}) {
        SCOPED_TRACE(n);
        std::vector<Vec3> points;
        for (int i = 0; i < n; ++i) points.push_back(Vec3{u(rng), u(rng), u(rng)});
        const ReferenceTree reference(points);
        KdTree* tree = nullptr;
        ASSERT_EQ(KdTree_Build(points.data(), n, &tree), 1);
        for (int q = 0; q < 100; ++q) {
            const Vec3 c{u(rng), u(rng), u(rng)};
            const float r = 1.0f + (q % 10) * 1.5f;
            const Vec3 lo{c.x - r, c.y - r, c.z - r}, hi{c.x + r, c.y + r, c.z + r};
            const std::vector<int32_t> expected = reference.Box(lo, hi);
            const int32_t found = KdTree_BoxQuery(tree, lo, hi);
            ASSERT_EQ(std::vector<int32_t>(tree->Results, tree->Results + found), expected) << "box " << q;
            // The radius query keeps the cube's points in the same order.
            std::vector<int32_t> near;
            for (int32_t p : expected)
                if (DistSq(points[p], c) < r * r) near.push_back(p);
            const int32_t kept = KdTree_RadiusQuery(tree, c, r);
            ASSERT_EQ(std::vector<int32_t>(tree->Results, tree->Results + kept), near) << "radius " << q;
        }
        KdTree_Free(&tree);
    }
}

TEST(KdTree, BoundingBoxAndEmptyTrees) {
    const Vec3 pts[] = {{1, -2, 3}, {-4, 5, 0}, {2, 2, -7}};
    KdTree* tree = nullptr;
    ASSERT_EQ(KdTree_Build(pts, 3, &tree), 1);
    EXPECT_EQ(tree->BoxMin.x, -4.0f);
    EXPECT_EQ(tree->BoxMin.z, -7.0f);
    EXPECT_EQ(tree->BoxMax.y, 5.0f);
    KdTree_Free(&tree);
    KdTree_Free(&tree);  // null is ignored

    ASSERT_EQ(KdTree_Build(pts, 0, &tree), 1);
    EXPECT_EQ(KdTree_BoxQuery(tree, Vec3{-100, -100, -100}, Vec3{100, 100, 100}), 0);
    EXPECT_EQ(KdTree_RadiusQuery(tree, Vec3{0, 0, 0}, 100.0f), 0);
    EXPECT_EQ(KdTree_NearestSorted(tree, Vec3{0, 0, 0}, 100.0f), 0);
    KdTree_Free(&tree);
    EXPECT_EQ(KdTree_BoxQuery(nullptr, Vec3{0, 0, 0}, Vec3{1, 1, 1}), 0);
}

TEST(KdTree, PointAtExactlyTheRadiusIsNotFound) {
    const Vec3 pts[] = {{3, 0, 0}, {0, 2.9f, 0}};
    KdTree* tree = nullptr;
    ASSERT_EQ(KdTree_Build(pts, 2, &tree), 1);
    ASSERT_EQ(KdTree_RadiusQuery(tree, Vec3{0, 0, 0}, 3.0f), 1);
    EXPECT_EQ(tree->Results[0], 1);
    ASSERT_EQ(KdTree_NearestSorted(tree, Vec3{0, 0, 0}, 3.0f), 1);
    EXPECT_EQ(tree->Results[0], 1);
    // A box reaching exactly to a point includes it.
    EXPECT_EQ(KdTree_BoxQuery(tree, Vec3{0, 0, 0}, Vec3{3, 0, 0}), 1);
    KdTree_Free(&tree);
}

struct Visits {
    std::vector<std::vector<int32_t>> orders;
    int32_t n;
};

void Record(const int32_t* values, void* context) {
    Visits* v = static_cast<Visits*>(context);
    v->orders.emplace_back(values, values + v->n);
}

TEST(Permutations, HeapsOrder) {
    int32_t three[] = {0, 1, 2};
    Visits v{{}, 3};
    Permutations_Visit(three, 3, Record, &v);
    const std::vector<std::vector<int32_t>> expected = {{0, 1, 2}, {1, 0, 2}, {2, 0, 1},
                                                        {0, 2, 1}, {1, 2, 0}, {2, 1, 0}};
    EXPECT_EQ(v.orders, expected);
    EXPECT_EQ(std::vector<int32_t>(three, three + 3), (std::vector<int32_t>{2, 1, 0}));

    int32_t four[] = {0, 1, 2, 3};
    Visits w{{}, 4};
    Permutations_Visit(four, 4, Record, &w);
    EXPECT_EQ(w.orders.size(), 24u);
    EXPECT_EQ(std::set<std::vector<int32_t>>(w.orders.begin(), w.orders.end()).size(), 24u);

    int32_t two[] = {0, 1};
    Visits none{{}, 2};
    Permutations_Visit(two, 2, Record, &none);
    EXPECT_TRUE(none.orders.empty());
}

}  // namespace

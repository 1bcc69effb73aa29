#include "surface/fit/index_lists.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Ints = std::vector<int32_t>;

TEST(IndexLists, MergeSortedRemovesCommonValuesAndKeepsPositions) {
    const struct {
        Ints a, b, kept, positions;
    } cases[] = {
        {{1, 3, 5}, {0, 2, 4, 6}, {1, 3, 5}, {0, 1, 2}},  // nothing in common
        {{1, 2, 3, 4, 5}, {2, 4}, {1, 3, 5}, {0, 2, 4}},
        {{1, 2, 3}, {1, 2, 3}, {}, {}},
        {{4, 7, 9}, {}, {4, 7, 9}, {0, 1, 2}},
        {{}, {1}, {}, {}},
        {{2, 9}, {9, 10, 11}, {2}, {0}},
    };
    for (const auto& c : cases) {
        Ints a = c.a, positions(a.size(), -1);
        int32_t n = static_cast<int32_t>(a.size());
        Index_MergeSorted(&n, a.data(), static_cast<int32_t>(c.b.size()), c.b.data(), positions.data());
        EXPECT_EQ(Ints(a.begin(), a.begin() + n), c.kept);
        EXPECT_EQ(Ints(positions.begin(), positions.begin() + n), c.positions);
    }
}

TEST(IndexLists, SortThenMerge) {
    Ints a = {9, 1, 7, 3, 5}, b = {7, 2, 9};
    int32_t n = 5;
    ASSERT_EQ(Index_SortAndMerge(&n, a.data(), 3, b.data()), 0);
    EXPECT_EQ(Ints(a.begin(), a.begin() + n), (Ints{1, 3, 5}));
    EXPECT_EQ(b, (Ints{2, 7, 9}));

    a = {4, 8, 6}, b = {8};
    Ints work(3);
    n = 3;
    ASSERT_EQ(Index_SortPairAndMerge(&n, a.data(), 1, b.data(), work.data()), 0);
    EXPECT_EQ(Ints(a.begin(), a.begin() + n), (Ints{4, 6}));

    Ints list = {5, -1, 3, 3, 0};
    ASSERT_EQ(Index_ApplySortPermutation(list.data(), 5), 0);
    EXPECT_EQ(list, (Ints{-1, 0, 3, 3, 5}));
}

TEST(IndexLists, SortUnion) {
    Ints out(10);
    int32_t n = 0;
    const Ints a = {5, 1, 3};
    ASSERT_EQ(Index_SortUnion(3, a.data(), 0, nullptr, out.data(), &n), 0);
    EXPECT_EQ(Ints(out.begin(), out.begin() + n), (Ints{1, 3, 5}));
    const Ints b = {6, 3, 0, 6, 2};
    ASSERT_EQ(Index_SortUnion(3, a.data(), 5, b.data(), out.data(), &n), 0);
    EXPECT_EQ(Ints(out.begin(), out.begin() + n), (Ints{0, 1, 2, 3, 5, 6}));
}

TEST(IndexLists, BinarySearches) {
    const Ints s = {2, 4, 6};
    EXPECT_EQ(Index_FindExact(3, s.data(), 4), 1);
    EXPECT_EQ(Index_FindExact(3, s.data(), 5), -1);
    EXPECT_EQ(Index_FindExact(3, s.data(), 7), -1);
    EXPECT_EQ(Index_FindExact(3, s.data(), 1), -1);
    EXPECT_EQ(Index_FindExact(0, s.data(), 2), -1);
    EXPECT_EQ(Index_FindInsert(3, s.data(), 5), 2);
    EXPECT_EQ(Index_FindInsert(3, s.data(), 7), 3);
    EXPECT_EQ(Index_FindInsert(3, s.data(), 1), 0);
    EXPECT_EQ(Index_FindInsert(3, s.data(), 6), 2);
}

TEST(IndexLists, OrderByDistanceOutsideABox) {
    // Box [0,1] x [0,1]; distances 2, 0 (inside), 0.5, 3 and 1.
    std::vector<std::vector<double>> p = {{3.0, 0.5}, {0.5, 0.5}, {-0.5, 0.5}, {0.5, 4.0}, {2.0, -0.2}};
    std::vector<const double*> rows;
    for (auto& q : p) rows.push_back(q.data());
    const double box[4] = {0, 0, 1, 1};
    EXPECT_EQ(Box_OutsideDistance(2, box, rows[4]), 1.0);
    EXPECT_EQ(Box_OutsideDistance(2, box, rows[1]), 0.0);
    Ints permutation(5);
    ASSERT_EQ(Index_OrderByBoxDistance(5, 2, rows.data(), box, permutation.data()), 0);
    EXPECT_EQ(permutation, (Ints{1, 2, 4, 0, 3}));
    Ints list = {3, 2, 1};
    ASSERT_EQ(Index_SortByBoxDistance(3, 2, rows.data(), box, list.data()), 0);
    EXPECT_EQ(list, (Ints{1, 2, 3}));
    std::vector<double> values = {3, -1, 2.5};
    Index_SortDoubles(values.data(), 3);
    EXPECT_EQ(values, (std::vector<double>{-1, 2.5, 3}));
}

}  // namespace

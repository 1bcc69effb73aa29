#include "surface/search/index_sort.h"

#include "surface/frame/tracked_memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <vector>

namespace {

// A permutation of 0..n-1 whose keys ascend.
template <class Key>
void ExpectSortedPermutation(const std::vector<Key>& keys, const std::vector<int32_t>& idx) {
    std::vector<int32_t> seen(idx);
    std::sort(seen.begin(), seen.end());
    for (size_t i = 0; i < seen.size(); ++i) ASSERT_EQ(seen[i], static_cast<int32_t>(i));
    for (size_t i = 1; i < idx.size(); ++i) ASSERT_LE(keys[idx[i - 1]], keys[idx[i]]) << i;
}

TEST(IndexHeapSort, OrdersIntDoubleAndColumnKeysOverManyShapes) {
    std::mt19937 rng(7);
    for (int n : {0, 1, 2, 3, 4, 5, 16, 17, 100, 1001}) {
        for (int range : {1, 3, 1000000}) {  // all equal, many ties, few ties
            std::uniform_int_distribution<int32_t> pick(-range / 2, range / 2);
            std::vector<int32_t> ikeys(n);
            std::vector<double> dkeys(n);
            std::vector<double> flat(3 * n);
            std::vector<const double*> rows(n);
            for (int i = 0; i < n; ++i) {
                ikeys[i] = pick(rng);
                dkeys[i] = pick(rng) * 0.25;
                for (int k = 0; k < 3; ++k) flat[3 * i + k] = pick(rng) * 1.5;
                rows[i] = &flat[3 * i];
            }
            std::vector<int32_t> idx(n, -7);
            ASSERT_EQ(0, Index_HeapSortInt(ikeys.data(), idx.data(), n, nullptr));
            ExpectSortedPermutation(ikeys, idx);
            ASSERT_EQ(0, Index_HeapSortDouble(dkeys.data(), idx.data(), n, nullptr));
            ExpectSortedPermutation(dkeys, idx);
            std::vector<double> column2(n);
            for (int i = 0; i < n; ++i) column2[i] = rows[i][2];
            ASSERT_EQ(0, Index_HeapSortByColumn(rows.data(), idx.data(), n, 2, nullptr));
            ExpectSortedPermutation(column2, idx);
        }
    }
}

TEST(IndexHeapSort, SortedAndReversedInputs) {
    for (int n : {2, 9, 64}) {
        std::vector<int32_t> up(n), down(n), idx(n);
        for (int i = 0; i < n; ++i) {
            up[i] = i;
            down[i] = n - i;
        }
        ASSERT_EQ(0, Index_HeapSortInt(up.data(), idx.data(), n, nullptr));
        ExpectSortedPermutation(up, idx);
        ASSERT_EQ(0, Index_HeapSortInt(down.data(), idx.data(), n, nullptr));
        ExpectSortedPermutation(down, idx);
    }
}

// Large sorts copy each key beside its index; without memory for that they
// compare the keys where they lie. The fitters' centres follow the order of
// equal keys too, so both ways must give the same permutation, ties and all.
TEST(IndexHeapSort, LargeSortsGiveTheSameOrderOfEqualKeysWithAndWithoutMemory) {
    std::mt19937 rng(13);
    for (int n : {255, 256, 257, 5000}) {
        std::uniform_int_distribution<int32_t> pick(0, 9);  // many ties
        std::vector<int32_t> ikeys(n);
        std::vector<double> flat(3 * n);
        std::vector<const double*> rows(n);
        for (int i = 0; i < n; ++i) {
            ikeys[i] = pick(rng);
            for (int k = 0; k < 3; ++k) flat[3 * i + k] = pick(rng) * 0.5;
            rows[i] = &flat[3 * i];
        }
        std::vector<int32_t> withInt(n), withoutInt(n), withColumn(n), withoutColumn(n);
        ASSERT_EQ(0, Index_HeapSortInt(ikeys.data(), withInt.data(), n, nullptr));
        ASSERT_EQ(0, Index_HeapSortByColumn(rows.data(), withColumn.data(), n, 1, nullptr));
        Mem_FailAllocationsAfterForTesting(0);
        const int intStatus = Index_HeapSortInt(ikeys.data(), withoutInt.data(), n, nullptr);
        const int columnStatus = Index_HeapSortByColumn(rows.data(), withoutColumn.data(), n, 1, nullptr);
        Mem_FailAllocationsAfterForTesting(-1);
        ASSERT_EQ(0, intStatus);
        ASSERT_EQ(0, columnStatus);
        ExpectSortedPermutation(ikeys, withInt);
        EXPECT_EQ(withInt, withoutInt) << n;
        EXPECT_EQ(withColumn, withoutColumn) << n;
    }
}

TEST(IndexHeapSort, CancelFlagStopsEarly) {
    std::vector<int32_t> keys{5, 4, 3, 2, 1, 0};
    std::vector<int32_t> idx(keys.size());
    int32_t cancel = 1;
    EXPECT_EQ(10, Index_HeapSortInt(keys.data(), idx.data(), 6, &cancel));
    int32_t unique_count = 6;
    std::vector<int32_t> work(6);
    EXPECT_EQ(10, Index_SortUnique(&unique_count, keys.data(), work.data(), &cancel));
    int32_t groups = -1;
    std::vector<int32_t> gk(6), gc(6);
    EXPECT_NE(0, Index_GroupEqual(6, keys.data(), &groups, gk.data(), gc.data(), &cancel));
    cancel = 0;
    EXPECT_EQ(0, Index_HeapSortInt(keys.data(), idx.data(), 6, &cancel));
}

TEST(IndexSortUnique, InPlaceCopyAndGroupAgreeWithAMultiset) {
    std::mt19937 rng(11);
    for (int n : {1, 2, 7, 300}) {
        std::uniform_int_distribution<int32_t> pick(-20, 20);
        std::vector<int32_t> values(n);
        for (auto& v : values) v = pick(rng);
        std::map<int32_t, int32_t> expected;
        for (int32_t v : values) ++expected[v];

        std::vector<int32_t> copy(n, 99);
        int32_t copy_count = n;
        ASSERT_EQ(0, Index_SortUniqueCopy(&copy_count, values.data(), copy.data(), nullptr));

        std::vector<int32_t> keys(n, 99), counts(n, 99);
        int32_t groups = -1;
        ASSERT_EQ(0, Index_GroupEqual(n, values.data(), &groups, keys.data(), counts.data(), nullptr));

        std::vector<int32_t> in_place(values), work(n);
        int32_t in_place_count = n;
        ASSERT_EQ(0, Index_SortUnique(&in_place_count, in_place.data(), work.data(), nullptr));

        ASSERT_EQ(static_cast<int32_t>(expected.size()), copy_count);
        ASSERT_EQ(copy_count, groups);
        ASSERT_EQ(copy_count, in_place_count);
        int i = 0;
        for (const auto& kv : expected) {
            EXPECT_EQ(kv.first, copy[i]);
            EXPECT_EQ(kv.first, in_place[i]);
            EXPECT_EQ(kv.first, keys[i]);
            EXPECT_EQ(kv.second, counts[i]);
            ++i;
        }
    }
}

TEST(KeyList, MembershipInAnyOrderAndAscending) {
    const std::vector<int32_t> any = {7, -3, 12, 7, 0, 40};
    std::vector<int32_t> ascending = any;
    std::sort(ascending.begin(), ascending.end());
    for (int32_t key = -5; key <= 42; ++key) {
        const int32_t held = std::count(any.begin(), any.end(), key) > 0 ? 1 : 0;
        EXPECT_EQ(held, KeyList_Contains(any.data(), static_cast<int32_t>(any.size()), key)) << key;
        EXPECT_EQ(held, KeyList_ContainsSorted(ascending.data(), static_cast<int32_t>(ascending.size()), key)) << key;
    }
    // Every length up to nine, each key held and its neighbours not.
    for (int32_t n = 0; n < 10; ++n) {
        std::vector<int32_t> odd(static_cast<size_t>(n));
        for (int32_t i = 0; i < n; ++i) odd[static_cast<size_t>(i)] = 2 * i + 1;
        for (int32_t key = 0; key <= 2 * n; ++key)
            EXPECT_EQ(key % 2, KeyList_ContainsSorted(odd.data(), n, key)) << n << " " << key;
    }
    EXPECT_EQ(0, KeyList_Contains(nullptr, 3, 1));
    EXPECT_EQ(0, KeyList_ContainsSorted(nullptr, 3, 1));
    EXPECT_EQ(0, KeyList_Contains(any.data(), 0, 7));
}

}  // namespace

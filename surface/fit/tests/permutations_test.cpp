#include "surface/fit/permutations.h"
#include "surface/frame/row_pointers.h"
#include "surface/frame/tracked_memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

namespace {

std::vector<int32_t> RandomPermutation(int n, std::mt19937& random) {
    std::vector<int32_t> perm(n);
    std::iota(perm.begin(), perm.end(), 0);
    std::shuffle(perm.begin(), perm.end(), random);
    return perm;
}

template <typename T>
std::vector<T> NaiveGather(const std::vector<T>& items, const std::vector<int32_t>& perm, std::size_t width) {
    std::vector<T> out(items.size());
    for (std::size_t i = 0; i < perm.size(); ++i)
        for (std::size_t w = 0; w < width; ++w) out[i * width + w] = items[perm[i] * width + w];
    return out;
}

template <typename T>
std::vector<T> NaiveScatter(const std::vector<T>& items, const std::vector<int32_t>& perm, std::size_t width) {
    std::vector<T> out(items.size());
    for (std::size_t i = 0; i < perm.size(); ++i)
        for (std::size_t w = 0; w < width; ++w) out[perm[i] * width + w] = items[i * width + w];
    return out;
}

TEST(Permutations, GatherAndScatterAgreeWithNaiveCopies) {
    std::mt19937 random(5);
    for (int n : {1, 2, 7, 100, 1001}) {
        const std::vector<int32_t> perm = RandomPermutation(n, random);
        std::vector<double> values(n * 4);
        for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<double>(i) + 0.5;
        std::vector<int32_t> ints(n * 4);
        std::iota(ints.begin(), ints.end(), 100);

        auto check = [&](auto items, std::size_t width, auto gather, bool scatter) {
            auto expected = scatter ? NaiveScatter(items, perm, width) : NaiveGather(items, perm, width);
            ASSERT_EQ(gather(items.data()), 0);
            items.resize(n * width);
            expected.resize(n * width);
            EXPECT_EQ(items, expected) << "n=" << n << " width=" << width << (scatter ? " scatter" : " gather");
        };
        auto trim = [&](auto v, std::size_t width) {
            v.resize(n * width);
            return v;
        };
        check(
            trim(ints, 1), 1, [&](int32_t* p) { return Permute_Ints(p, perm.data(), n); }, false);
        check(
            trim(values, 1), 1, [&](double* p) { return Permute_Doubles(p, perm.data(), n); }, false);
        check(
            trim(values, 2), 2, [&](double* p) { return Permute_Quads(p, perm.data(), n); }, false);
        check(
            trim(ints, 4), 4, [&](int32_t* p) { return Permute_Quads(p, perm.data(), n); }, false);
        check(
            trim(values, 3), 3, [&](double* p) { return Permute_Triples(p, perm.data(), n); }, false);
        check(
            trim(values, 1), 1, [&](double* p) { return Scatter_Doubles(p, perm.data(), n); }, true);
        check(
            trim(ints, 1), 1, [&](int32_t* p) { return Scatter_Ints(p, perm.data(), n); }, true);
        check(
            trim(values, 3), 3, [&](double* p) { return Scatter_Triples(p, perm.data(), n); }, true);
        check(
            trim(ints, 4), 4, [&](int32_t* p) { return Scatter_Quads(p, perm.data(), n); }, true);

        // Rows of 3 doubles through a row-pointer table.
        std::vector<double> flat = trim(values, 3);
        double** rows = nullptr;
        ASSERT_EQ(RowPointers_Make3(&rows, flat.data(), n), 0);
        const std::vector<double> original = flat;
        ASSERT_EQ(Permute_Rows(rows, 3, perm.data(), n), 0);
        EXPECT_EQ(flat, NaiveGather(original, perm, 3));
        ASSERT_EQ(Scatter_Rows(rows, 3, perm.data(), n), 0);
        EXPECT_EQ(flat, original) << "scatter undoes gather";
        Mem_Free(rows);
    }
}

TEST(Permutations, ScatterWithTargetsBeyondTheCount) {
    std::vector<double> abc = {1.0, 2.0, 3.0};
    const int32_t rotate[] = {1, 2, 0};
    ASSERT_EQ(Scatter_Doubles(abc.data(), rotate, 3), 0);
    EXPECT_EQ(abc, (std::vector<double>{3.0, 1.0, 2.0}));

    // Item 1 leaves for place 3, beyond the two items: place 0 is targeted by
    // nobody and stays zero.
    std::vector<double> longer = {1.0, 2.0, 9.0, 9.0};
    const int32_t outward[] = {1, 3};
    ASSERT_EQ(Scatter_Doubles(longer.data(), outward, 2), 0);
    EXPECT_EQ(longer, (std::vector<double>{0.0, 1.0, 9.0, 2.0}));
}

TEST(Permutations, GatherRefusesWhatIsNotAPermutation) {
    std::vector<int32_t> items = {10, 20, 30};
    const int32_t repeated[] = {0, 0, 1};
    const int32_t outside[] = {0, 3, 1};
    const int32_t negative[] = {0, -1, 1};
    EXPECT_EQ(Permute_Ints(items.data(), repeated, 3), 5);
    EXPECT_EQ(Permute_Ints(items.data(), outside, 3), 5);
    EXPECT_EQ(Permute_Ints(items.data(), negative, 3), 5);
    EXPECT_EQ(Scatter_Ints(items.data(), negative, 3), 5);
    EXPECT_EQ(items, (std::vector<int32_t>{10, 20, 30}));
    Mem_FailAllocationsAfterForTesting(0);
    const int32_t identity[] = {0, 1, 2};
    EXPECT_EQ(Permute_Ints(items.data(), identity, 3), 2);
    Mem_FailAllocationsAfterForTesting(-1);
}

}  // namespace

#include "surface/fit/generic_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// Records of `size` bytes: an int32 key first, then payload bytes that tell
// the records apart.
struct RecordSet {
    std::size_t size;
    std::vector<unsigned char> bytes;

    int32_t Key(std::size_t i) const {
        int32_t key;
        std::memcpy(&key, &bytes[i * size], sizeof(key));
        return key;
    }
    std::vector<std::vector<unsigned char>> Records() const {
        std::vector<std::vector<unsigned char>> out;
        for (std::size_t i = 0; i < bytes.size() / size; ++i)
            out.emplace_back(bytes.begin() + i * size, bytes.begin() + (i + 1) * size);
        return out;
    }
};

int ByKey(const void* a, const void* b, void* user) {
    ++*static_cast<int*>(user);
    int32_t x, y;
    std::memcpy(&x, a, sizeof(x));
    std::memcpy(&y, b, sizeof(y));
    return x < y ? -1 : (x > y ? 1 : 0);
}

RecordSet Make(const std::vector<int32_t>& keys, std::size_t size) {
    RecordSet set{size, std::vector<unsigned char>(keys.size() * size)};
    for (std::size_t i = 0; i < keys.size(); ++i) {
        std::memcpy(&set.bytes[i * size], &keys[i], sizeof(int32_t));
        for (std::size_t b = sizeof(int32_t); b < size; ++b)
            set.bytes[i * size + b] = static_cast<unsigned char>((i * 31 + b) & 0xFF);
    }
    return set;
}

std::vector<int32_t> Keys(const std::string& kind, int n, std::mt19937& random) {
    std::vector<int32_t> keys(n);
    for (int i = 0; i < n; ++i) {
        if (kind == "random") keys[i] = static_cast<int32_t>(random() % 1000) - 500;
        if (kind == "few") keys[i] = static_cast<int32_t>(random() % 3);
        if (kind == "equal") keys[i] = 7;
        if (kind == "sorted") keys[i] = i / 2;
        if (kind == "reversed") keys[i] = n - i;
        if (kind == "organ") keys[i] = i < n / 2 ? i : n - i;
    }
    return keys;
}

TEST(SortGeneric, AgreesWithStdSortOnEveryKindOfInput) {
    std::mt19937 random(99);
    for (std::size_t size : {4u, 12u, 24u}) {
        for (const std::string kind : {"random", "few", "equal", "sorted", "reversed", "organ"}) {
            for (int n : {0, 1, 2, 3, 4, 5, 6, 7, 10, 33, 1000, 4096}) {
                const std::vector<int32_t> keys = Keys(kind, n, random);
                RecordSet set = Make(keys, size);
                const RecordSet before = set;
                int comparisons = 0;
                Sort_Generic(set.bytes.data(), n, size, ByKey, &comparisons);

                std::vector<int32_t> expected = keys;
                std::sort(expected.begin(), expected.end());
                for (int i = 0; i < n; ++i)
                    ASSERT_EQ(set.Key(i), expected[i]) << kind << " n=" << n << " size=" << size;
                auto sortedRecords = set.Records();
                auto originalRecords = before.Records();
                std::sort(sortedRecords.begin(), sortedRecords.end());
                std::sort(originalRecords.begin(), originalRecords.end());
                EXPECT_EQ(sortedRecords, originalRecords) << kind << " n=" << n;
                if (kind == "equal") {
                    EXPECT_EQ(set.bytes, before.bytes) << "equal records stay put, n=" << n;
                }
                // Far from quadratic on every kind of input.
                if (n == 4096) {
                    EXPECT_LT(comparisons, 6 * n * 12) << kind;  // 6 n log2 n
                }
            }
        }
    }
}

}  // namespace

// Radix presort of the k-d tree builds.
#include "surface/search/kd_presort.h"

#include <cstring>

namespace {

const int kDigitBits = 11;
const int kDigits = 6;  // 66 bits cover the 64 of a double
const int32_t kBuckets = 1 << kDigitBits;

// An unsigned key that orders like the double: negative values have all
// bits flipped, positive ones only the sign bit.
uint64_t OrderedBits(double value) {
    const double v = value + 0.0;  // minus zero becomes zero
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return (bits & 0x8000000000000000ull) ? ~bits : (bits | 0x8000000000000000ull);
}

inline uint32_t Digit(uint64_t key, int pass) {
    return static_cast<uint32_t>(key >> (pass * kDigitBits)) & (kBuckets - 1);
}

}  // namespace

bool KdPresort_Order(const double* keys, int32_t* order, int32_t n, uint64_t* keyScratch, int32_t* indexScratch,
                     const volatile int32_t* cancel) {
    uint64_t* fromKey = keyScratch;
    uint64_t* toKey = keyScratch + n;
    for (int32_t i = 0; i < n; ++i) {
        fromKey[i] = OrderedBits(keys[i]);
        order[i] = i;
    }
    int32_t* fromIndex = order;
    int32_t* toIndex = indexScratch;
    // One digit's counts at a time keeps the stack small.
    int32_t count[kBuckets];
    for (int pass = 0; pass < kDigits; ++pass) {
        if (cancel && *cancel != 0) return false;
        std::memset(count, 0, sizeof count);
        for (int32_t i = 0; i < n; ++i) ++count[Digit(fromKey[i], pass)];
        // A digit that every key shares moves nothing.
        if (n == 0 || count[Digit(fromKey[0], pass)] == n) continue;
        int32_t start = 0;
        for (int32_t b = 0; b < kBuckets; ++b) {
            const int32_t c = count[b];
            count[b] = start;
            start += c;
        }
        for (int32_t i = 0; i < n; ++i) {
            const uint64_t key = fromKey[i];
            const int32_t at = count[Digit(key, pass)]++;
            toKey[at] = key;
            toIndex[at] = fromIndex[i];
        }
        uint64_t* swapKey = fromKey;
        fromKey = toKey;
        toKey = swapKey;
        int32_t* swapIndex = fromIndex;
        fromIndex = toIndex;
        toIndex = swapIndex;
    }
    if (fromIndex != order) std::memcpy(order, fromIndex, sizeof(int32_t) * static_cast<size_t>(n));
    return !(cancel && *cancel != 0);
}

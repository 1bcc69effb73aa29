#include "surface/fit/generic_sort.h"

#include <cstring>

namespace {

// Runs shorter than this are left to the final insertion pass.
constexpr int32_t kSmallRun = 4;

struct Records {
    unsigned char* base;
    std::size_t size;
    SortCompare compare;
    void* user;

    unsigned char* At(int32_t i) const { return base + static_cast<std::size_t>(i) * size; }
    int Compare(int32_t a, int32_t b) const { return compare(At(a), At(b), user); }

    void Swap(int32_t a, int32_t b) const {
        if (a == b) return;
        unsigned char* x = At(a);
        unsigned char* y = At(b);
        unsigned char chunk[64];
        for (std::size_t done = 0; done < size; done += sizeof(chunk)) {
            const std::size_t n = size - done < sizeof(chunk) ? size - done : sizeof(chunk);
            std::memcpy(chunk, x + done, n);
            std::memcpy(x + done, y + done, n);
            std::memcpy(y + done, chunk, n);
        }
    }

    // Moves record `from` down to `to` (to < from), shifting the records in
    // between up by one, a byte column at a time.
    void Rotate(int32_t to, int32_t from) const {
        for (std::size_t byte = 0; byte < size; ++byte) {
            const unsigned char moving = At(from)[byte];
            for (int32_t i = from; i > to; --i) At(i)[byte] = At(i - 1)[byte];
            At(to)[byte] = moving;
        }
    }
};

// Median of the first, middle and last record, swapped into the middle.
void MedianToMiddle(const Records& r, int32_t first, int32_t middle, int32_t last) {
    int32_t larger = r.Compare(first, middle) > 0 ? first : middle;
    int32_t other = larger == first ? middle : first;
    int32_t median = larger;
    if (r.Compare(larger, last) > 0) {
        median = r.Compare(other, last) < 0 ? last : other;
    }
    r.Swap(median, middle);
}

// Splits [lo, hi] into three parts around the middle record (or the median
// of three): records below it, records equal to it, records above it. `pv`
// follows the pivot record itself through the swaps, so no copy of it is
// needed. Records equal to the pivot are only moved to make room, never for
// their own sake: records that all compare equal stay as they are. Keeping
// the equal ones out of both sides is what keeps inputs with few distinct
// keys from costing quadratic time.
void Partition(const Records& r, int32_t lo, int32_t hi, int32_t* belowEnd, int32_t* aboveStart) {
    int32_t pv = lo + (hi - lo + 1) / 2;
    if (hi - lo + 1 >= 6) MedianToMiddle(r, lo, pv, hi);
    int32_t lt = lo;
    int32_t i = lo;
    int32_t gt = hi;
    while (i <= gt) {
        const int c = r.Compare(i, pv);
        if (c < 0) {
            r.Swap(lt, i);
            if (pv == lt) {
                pv = i;
            } else if (pv == i) {
                pv = lt;
            }
            ++lt;
            ++i;
        } else if (c > 0) {
            r.Swap(i, gt);
            if (pv == i) {
                pv = gt;
            } else if (pv == gt) {
                pv = i;
            }
            --gt;
        } else {
            ++i;
        }
    }
    *belowEnd = lt;        // [lo, lt) sort before the pivot
    *aboveStart = gt + 1;  // (gt, hi] sort after it
}

// Partitions until every unsorted run is shorter than kSmallRun, recursing
// into the smaller side only.
void QuickPass(const Records& r, int32_t lo, int32_t hi) {
    while (hi - lo + 1 >= kSmallRun) {
        int32_t belowEnd = 0;
        int32_t aboveStart = 0;
        Partition(r, lo, hi, &belowEnd, &aboveStart);
        const int32_t below = belowEnd - lo;
        const int32_t above = hi - aboveStart + 1;
        if (below < above) {
            if (below >= kSmallRun) QuickPass(r, lo, belowEnd - 1);
            lo = aboveStart;
        } else {
            if (above >= kSmallRun) QuickPass(r, aboveStart, hi);
            hi = belowEnd - 1;
        }
    }
}

}  // namespace

void Sort_Generic(void* base, int32_t count, std::size_t size, SortCompare compare, void* user) {
    if (count < 2 || size == 0) return;
    const Records r{static_cast<unsigned char*>(base), size, compare, user};
    if (count >= kSmallRun) QuickPass(r, 0, count - 1);

    // After the quick pass the smallest record lies among the first few: it
    // becomes the sentinel that ends every insertion scan.
    const int32_t head = count < kSmallRun ? count : kSmallRun;
    int32_t smallest = 0;
    for (int32_t i = 1; i < head; ++i) {
        if (r.Compare(i, smallest) < 0) smallest = i;
    }
    r.Swap(0, smallest);

    for (int32_t i = 1; i < count; ++i) {
        int32_t to = i;
        while (r.Compare(to - 1, i) > 0) --to;
        if (to != i) r.Rotate(to, i);
    }
}

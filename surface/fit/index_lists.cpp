// Sorted index-list operations.
#include "surface/fit/index_lists.h"

#include <algorithm>
#include <cmath>

#include "surface/search/index_sort.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"

int Index_ApplySortPermutation(int32_t* list, int32_t n) {
    if (n > 1) std::sort(list, list + n);
    return 0;
}

void Index_MergeSorted(int32_t* nA, int32_t* A, int32_t nB, const int32_t* B, int32_t* positions) {
    int32_t kept = 0, j = 0;
    for (int32_t i = 0; i < *nA; ++i) {
        const int32_t value = A[i];
        while (j < nB && B[j] < value) ++j;
        if (j < nB && B[j] == value) continue;
        if (positions) positions[kept] = i;
        A[kept++] = value;
    }
    *nA = kept;
}

int Index_SortAndMerge(int32_t* nA, int32_t* A, int32_t nB, int32_t* B) {
    int status = Index_ApplySortPermutation(A, *nA);
    if (status == 0) status = Index_ApplySortPermutation(B, nB);
    if (status == 0) Index_MergeSorted(nA, A, nB, B, nullptr);
    return status;
}

int Index_SortPairAndMerge(int32_t* nA, int32_t* A, int32_t nB, int32_t* B, int32_t* work) {
    // Sorting in place needs no work list; the argument stays for callers
    // that size one.
    (void)work;
    return Index_SortAndMerge(nA, A, nB, B);
}

int Index_SortUnion(int32_t nA, const int32_t* A, int32_t nB, const int32_t* B, int32_t* out, int32_t* nOut) {
    std::copy(A, A + nA, out);
    std::sort(out, out + nA);
    if (nB <= 0) {
        *nOut = nA;
        return 0;
    }
    int32_t* extra = Mem_AllocInts(nB);
    if (!extra) return CoreStatus_NoMemory;
    std::copy(B, B + nB, extra);
    std::sort(extra, extra + nB);
    int32_t nExtra = static_cast<int32_t>(std::unique(extra, extra + nB) - extra);
    Index_MergeSorted(&nExtra, extra, nA, out, nullptr);
    // Merge from the back so that out can hold both.
    int32_t i = nA - 1, j = nExtra - 1, k = nA + nExtra - 1;
    while (j >= 0) out[k--] = (i >= 0 && out[i] > extra[j]) ? out[i--] : extra[j--];
    *nOut = nA + nExtra;
    Mem_Free(extra);
    return 0;
}

void Index_SortDoubles(double* values, int32_t n) {
    if (n > 1) std::sort(values, values + n);
}

double Box_OutsideDistance(int32_t d, const double* box, const double* point) {
    double distance = 0.0;
    for (int32_t k = 0; k < d; ++k) {
        const double below = box[k] - point[k];
        const double above = point[k] - box[d + k];
        distance = std::fmax(distance, std::fmax(below, above));
    }
    return distance;
}

int Index_SortByBoxDistance(int32_t n, int32_t d, const double* const* points, const double* box, int32_t* list) {
    if (n < 2) return 0;
    double* distance = Mem_AllocDoubles(n);
    int32_t* order = Mem_AllocInts(2 * n);
    int status = distance && order ? 0 : CoreStatus_NoMemory;
    if (status == 0) {
        for (int32_t i = 0; i < n; ++i) distance[i] = Box_OutsideDistance(d, box, points[list[i]]);
        Index_HeapSortDouble(distance, order, n, nullptr);
        int32_t* copy = order + n;
        for (int32_t i = 0; i < n; ++i) copy[i] = list[order[i]];
        std::copy(copy, copy + n, list);
    }
    Mem_Free(distance);
    Mem_Free(order);
    return status;
}

int Index_OrderByBoxDistance(int32_t n, int32_t d, const double* const* points, const double* box,
                             int32_t* permutation) {
    if (n < 1) return 0;
    double* distance = Mem_AllocDoubles(n);
    if (!distance) return CoreStatus_NoMemory;
    for (int32_t i = 0; i < n; ++i) distance[i] = Box_OutsideDistance(d, box, points[i]);
    Index_HeapSortDouble(distance, permutation, n, nullptr);
    Mem_Free(distance);
    return 0;
}

int32_t Index_FindExact(int32_t n, const int32_t* sorted, int32_t value) {
    const int32_t at = Index_FindInsert(n, sorted, value);
    return at < n && sorted[at] == value ? at : -1;
}

int32_t Index_FindInsert(int32_t n, const int32_t* sorted, int32_t value) {
    return static_cast<int32_t>(std::lower_bound(sorted, sorted + n, value) - sorted);
}

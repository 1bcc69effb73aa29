// Swap-sequence permutations.
#include "surface/fit/swap_sequence.h"

#include <utility>

namespace {

void SwapRowContents(int32_t n, double* a, double* b) {
    if (a == b) return;
    for (int32_t j = 0; j < n; ++j) std::swap(a[j], b[j]);
}

}  // namespace

void Permute_Gather(int32_t k, int32_t n, double* const* rows, const int32_t* s) {
    for (int32_t i = 0; i < k; ++i) SwapRowContents(n, rows[i], rows[s[i]]);
}

void Permute_GatherUndo(int32_t k, int32_t n, double* const* rows, const int32_t* s) {
    for (int32_t i = k - 1; i >= 0; --i) SwapRowContents(n, rows[i], rows[s[i]]);
}

void Permute_SwapDoubles(int32_t k, double* x, const int32_t* s) {
    for (int32_t i = 0; i < k; ++i) std::swap(x[i], x[s[i]]);
}

void Permute_SwapDoublesUndo(int32_t k, double* x, const int32_t* s) {
    for (int32_t i = k - 1; i >= 0; --i) std::swap(x[i], x[s[i]]);
}

void Permute_SwapSequence(int32_t k, int32_t* x, const int32_t* s) {
    for (int32_t i = 0; i < k; ++i) std::swap(x[i], x[s[i]]);
}

void Permute_SwapSequenceUndo(int32_t k, int32_t* x, const int32_t* s) {
    for (int32_t i = k - 1; i >= 0; --i) std::swap(x[i], x[s[i]]);
}

int32_t Permute_BuildSwaps(int32_t k, SwapBuild* record, const int32_t* targets) {
    int32_t* places = record->swaps;
    int32_t* items = record->items;
    for (int32_t i = 0; i < k; ++i) places[i] = items[i] = i;
    int32_t total = k;
    for (int32_t i = 0; i < k; ++i) {
        if (targets[i] < k) continue;
        places[total] = items[total] = targets[i];
        ++total;
    }
    // Places 0..k-1 are themselves; extension place e stands for index
    // places[e]. Each step swaps place i with the place that now holds the
    // target.
    for (int32_t i = 0; i < k; ++i) {
        int32_t at = i;
        while (at < total && items[at] != targets[i]) ++at;
        if (at == total) {  // a repeated target: nothing left to bring
            places[i] = i;
            continue;
        }
        std::swap(items[i], items[at]);
        places[i] = at < k ? at : places[at];
    }
    return total;
}

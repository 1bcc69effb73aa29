// The presort that balances the k-d trees: the order of n points by one
// coordinate, as a least-significant-digit radix sort over the bits of the
// doubles. Stable, so points with equal coordinates keep their index order.
#ifndef SURFACE_SEARCH_KD_PRESORT_H
#define SURFACE_SEARCH_KD_PRESORT_H

#include <cstdint>

// Fills order with 0..n-1 ordered by ascending keys (minus zero counts as
// zero; NaNs go to the ends). keyScratch holds 2 n entries, indexScratch n.
// Returns false, with order unfinished, when the cancel flag (or null) is
// seen between passes.
bool KdPresort_Order(const double* keys, int32_t* order, int32_t n, uint64_t* keyScratch, int32_t* indexScratch,
                     const volatile int32_t* cancel);

#endif

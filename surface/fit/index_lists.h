// Small operations on int index lists shared by the decomposition and the
// fitters: sorting, sorted set difference and union, binary searches, and
// ordering points by their distance from a box.
//
// The distance of a point from a box (2d doubles, minima then maxima) is the
// largest over the axes of how far the point lies outside the box on that
// axis, 0 inside.
//
// Statuses: 0, 2 out of memory.
#ifndef SURFACE_FIT_INDEX_LISTS_H
#define SURFACE_FIT_INDEX_LISTS_H

#include <cstdint>

// Sorts an int list ascending in place.
int Index_ApplySortPermutation(int32_t* list, int32_t n);
// Removes from the ascending list A every value that occurs in the ascending
// list B (set difference), in place; positions (when given) receives, for
// every kept entry, its former position in A. *nA receives the new count.
void Index_MergeSorted(int32_t* nA, int32_t* A, int32_t nB, const int32_t* B, int32_t* positions);
// Sorts both lists, then Index_MergeSorted.
int Index_SortAndMerge(int32_t* nA, int32_t* A, int32_t nB, int32_t* B);
// The same with a caller's work list of at least max(nA, nB) ints.
int Index_SortPairAndMerge(int32_t* nA, int32_t* A, int32_t nB, int32_t* B, int32_t* work);
// out = the ascending union of the first list (sorted here, repeats kept)
// and the distinct values of the second that do not occur in the first;
// *nOut receives the count. out holds nA + nB ints.
int Index_SortUnion(int32_t nA, const int32_t* A, int32_t nB, const int32_t* B, int32_t* out, int32_t* nOut);
// Sorts doubles ascending in place.
void Index_SortDoubles(double* values, int32_t n);

// How far a point lies outside a box (0 inside).
double Box_OutsideDistance(int32_t d, const double* box, const double* point);
// Orders a list of point indices by their distance from the box, ascending.
int Index_SortByBoxDistance(int32_t n, int32_t d, const double* const* points, const double* box, int32_t* list);
// permutation receives 0..n-1 ordered by the distance of those points from
// the box, ascending.
int Index_OrderByBoxDistance(int32_t n, int32_t d, const double* const* points, const double* box,
                             int32_t* permutation);

// Position of value in an ascending list, or -1 when absent.
int32_t Index_FindExact(int32_t n, const int32_t* sorted, int32_t value);
// Position of value when present, else where it would be inserted (0 below
// the first entry, n above the last).
int32_t Index_FindInsert(int32_t n, const int32_t* sorted, int32_t value);

#endif

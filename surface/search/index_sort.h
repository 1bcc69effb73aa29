// Index sorts: heap sorts that order an index array by the keys it selects,
// and the sort-unique and grouping helpers built on them.
//
// Every routine takes a cancel flag (or null), polls it once per sift of the
// heap, and returns early with its output unfinished when the flag is set.
// The routines that return an int give 0 when done and 10 (the core "User
// Abort" status) when they stopped on the cancel flag.
#ifndef SURFACE_SEARCH_INDEX_SORT_H
#define SURFACE_SEARCH_INDEX_SORT_H

#include <cstdint>

// Fills indices with 0..count-1 ordered so that keys[indices[i]] ascends.
// Equal keys end up in no particular order.
int Index_HeapSortInt(const int32_t* keys, int32_t* indices, int32_t count, const volatile int32_t* cancel);
int Index_HeapSortDouble(const double* keys, int32_t* indices, int32_t count, const volatile int32_t* cancel);
// The key of item i is rows[i][column].
int Index_HeapSortByColumn(const double* const* rows, int32_t* indices, int32_t count, int32_t column,
                           const volatile int32_t* cancel);

// Sorts values[0..*count-1] ascending in place and removes repeats; *count
// receives the number of distinct values. work holds at least *count entries.
int Index_SortUnique(int32_t* count, int32_t* values, int32_t* work, const volatile int32_t* cancel);
// Writes the distinct values of values[0..*count-1] ascending to result; the
// input is left as it was. *count (at least 1) receives their number.
int Index_SortUniqueCopy(int32_t* count, const int32_t* values, int32_t* result, const volatile int32_t* cancel);
// Writes every distinct key once, ascending, to distinctKeys (room for count
// entries) with the number of its occurrences in counts, and their number to
// *distinctCount. Returns 0, or non-zero when cancelled.
int Index_GroupEqual(int32_t count, const int32_t* keys, int32_t* distinctCount, int32_t* distinctKeys, int32_t* counts,
                     const volatile int32_t* cancel);

// Membership of an int key in a key list of `count` entries: 1 when the list
// holds it, else 0 (also for an empty or absent list). The first takes the
// keys in any order; the second needs them ascending and halves the range.
int32_t KeyList_Contains(const int32_t* keys, int32_t count, int32_t key);
int32_t KeyList_ContainsSorted(const int32_t* keys, int32_t count, int32_t key);

#endif

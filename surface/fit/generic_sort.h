// In-place sort of fixed-size records with a comparison callback: one
// routine for every record type of the library. It allocates nothing and its
// recursion depth is logarithmic.
#ifndef SURFACE_FIT_GENERIC_SORT_H
#define SURFACE_FIT_GENERIC_SORT_H

#include <cstddef>
#include <cstdint>

// Positive when a sorts after b, zero when they are equal.
using SortCompare = int (*)(const void* a, const void* b, void* user);

// Sorts `count` records of `size` bytes into ascending order. Not stable;
// records that compare equal to a partition's pivot stay where they are.
void Sort_Generic(void* base, int32_t count, std::size_t size, SortCompare compare, void* user);

#endif

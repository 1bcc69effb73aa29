// Row-pointer matrices carved from a memory pool (MemPool_Init) without
// freeing: the pool is released as a whole.
#ifndef SURFACE_FIT_MATRIX_ARENA_H
#define SURFACE_FIT_MATRIX_ARENA_H

#include <cstdint>

#include "surface/frame/tracked_records.h"

// A rows by columns matrix (0 counts as 1): the data first, then the row
// table, its size rounded up to a multiple of 8 bytes. Null when the pool
// has too few bytes left (the pool is then unchanged).
double** Arena_AllocMatrix(int32_t rows, int32_t columns, MemPool* arena);
// A packed lower triangle of n rows (0 counts as 1), laid out the same way.
double** Arena_AllocTriangle(int32_t n, MemPool* arena);

#endif

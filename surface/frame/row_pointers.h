// Row-pointer tables over flat arrays of doubles: the point tables of the
// core (one pointer per point into a flat array). The tables are tracked
// blocks that the caller frees with Mem_Free (Mem_FreeMatrix for the
// two-level table). Each returns 0, or 2 when the table cannot be allocated.
#ifndef SURFACE_FRAME_ROW_POINTERS_H
#define SURFACE_FRAME_ROW_POINTERS_H

#include <cstdint>

// Pointers to successive rows of 3 (2) doubles.
int RowPointers_Make3(double*** table, double* array, int32_t count);
int RowPointers_Make2(double*** table, double* array, int32_t count);
// A pointer every `step` doubles.
int RowPointers_MakeStrided(double*** table, double* array, int32_t count, int32_t step);
// `count` tables of n row pointers each, the pointers stepping through the
// array `step` doubles at a time: (*table)[k][j] = base + (k n + j) step.
int RowPointers_Make2Level(double**** table, double* base, int32_t count, int32_t n, int32_t step);

#endif

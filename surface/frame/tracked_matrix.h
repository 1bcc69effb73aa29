// Row-pointer matrices on the tracked allocator.
//
// A matrix is two tracked blocks however many rows it has: a table of row
// pointers and one data block holding every element row after row. Row 0
// always points at the start of the data block, so a matrix is freed by
// freeing the block row 0 points at and then the table. Three-level arrays
// (stacks of matrices, tetrahedral arrays) add a top table over the row
// table; the first row pointer again starts the data block.
//
// Every allocator returns null on failure (a negative size fails too), with
// whatever it had obtained already freed.
#ifndef SURFACE_FRAME_TRACKED_MATRIX_H
#define SURFACE_FRAME_TRACKED_MATRIX_H

#include "surface/frame/tracked_memory.h"

#include <cstdint>

// rows x columns doubles; 0 rows are taken as 1.
double** Mem_AllocMatrix(int32_t rows, int32_t columns);
double** Mem_AllocMatrixB(int32_t rows, int32_t columns);
// rows x columns int32 values; 0 rows are taken as 1.
int32_t** Mem_AllocIntMatrix(int32_t rows, int32_t columns);
// rows x columns 16-byte items; 0 rows are taken as 1.
MemPair** AllocPairMatrix(int32_t rows, int32_t columns);
// Packed lower triangle of n rows (0 taken as 1): row i holds columns 0 to i.
double** Mem_AllocLowerTriangle(int32_t n);
MemPair** Mem_AllocLowerTrianglePairs(int32_t n);
// `count` lower triangles of n rows (both 0 taken as 1), one after the other:
// stack[k][j] is row j of triangle k, with j + 1 elements.
double*** Mem_AllocTriangleStack(int32_t count, int32_t n);
// `count` matrices of n rows of `step` doubles (count and n 0 taken as 1).
double*** AllocStack3(int32_t count, int32_t n, int32_t step);
// The three sizes of AllocStack3 as a record.
struct Stack3Shape {
    int32_t step;
    int32_t n;
    int32_t count;
};
double*** AllocStack3(const Stack3Shape* shape);
// Tetrahedral array (n 0 taken as 1): tetra[i] has n - i rows, row j of it
// n - i - j elements.
double*** Mem_AllocTetra(int32_t n);

// Frees a two-level matrix of any element type (null allowed).
void Mem_FreeMatrix(void* matrix);
void Mem_FreeMatrixB(void* matrix);
void Mem_FreeMatrixC(void* matrix);
void Mem_FreeMatrixD(void* matrix);
void Mem_FreeMatrixE(void* matrix);
void Mem_FreeIntMatrix(void* matrix);
// Frees a three-level array: data block, row table, top table (null allowed).
void Mem_FreeMatrixRows(void* array);

// Resizes (null input allocates afresh; on failure the whole old matrix is
// freed and null returned).
// New shape with 0 taken as 1; the flat data keeps its contents, so elements
// keep their (row, column) only when the column count is unchanged.
double** Mem_ReallocMatrix(double** matrix, int32_t rows, int32_t columns);
double** Mem_ReallocMatrixB(double** matrix, int32_t rows, int32_t columns);
// Changes the column count and keeps every element at its (row, column);
// new columns are not initialised.
double** Mem_ReallocMatrixRows(double** matrix, int32_t rows, int32_t oldColumns, int32_t newColumns);
// Resizes a packed lower triangle to n rows (0 taken as 1); the common rows
// keep their contents.
double** Mem_ReallocTriangle(double** matrix, int32_t n);

#endif

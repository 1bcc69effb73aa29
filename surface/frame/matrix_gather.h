// Products and gathers of row-pointer matrices, and symmetric matrices held
// as lower triangles.
#ifndef SURFACE_FRAME_MATRIX_GATHER_H
#define SURFACE_FRAME_MATRIX_GATHER_H

#include <cstdint>

// out (k by k2) := A (k by n) · B (n by k2); out is cleared first.
void Matrix_Product(double* const* out, double* const* A, double* const* B, int32_t k, int32_t n, int32_t k2);
// out(i, j) = A(idx(i), idx(j)) for i, j < k.
void Matrix_GatherSquare(double* const* out, const int32_t* idx, int32_t k, double* const* A);
// Copies row idx(i) (n doubles) of rows to out row i, for i < k.
void Rows_GatherByIndex(double* const* out, int32_t n, const int32_t* idx, int32_t k, double* const* rows);
// Whole rows idx(i) (n values) of the symmetric n by n matrix held as a lower
// triangle: entries up to the diagonal from the row, the rest from the column.
void Triangle_ExtractRows(double* const* out, int32_t n, const int32_t* idx, int32_t k, double* const* triangle);
// Fills both halves of the n by n square from the lower triangle.
void Triangle_ToSquare(double* const* triangle, int32_t n, double* const* square);
// Both halves of the symmetric k by k matrix A(idx(i), idx(j)), reading only
// entries A[idx(i)][idx(j)] with j <= i (so A may be a lower triangle when
// idx ascends).
void Triangle_GatherSymmetric(double* const* out, const int32_t* idx, int32_t k, double* const* A);

#endif

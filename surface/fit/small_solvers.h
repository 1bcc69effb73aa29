// Small dense solvers: the 3 x 3 inverse by cofactors, Gauss-Jordan
// inversion and an LU decomposition that records its row order in an index
// array instead of moving rows. Status 0, 4 for a singular matrix, 2 when
// scratch memory cannot be had.
#ifndef SURFACE_FIT_SMALL_SOLVERS_H
#define SURFACE_FIT_SMALL_SOLVERS_H

#include <cstdint>

// Inverse of a row-major 3 x 3 matrix (inverse may be M). Singular when
// |det| is not above 2^-52 times the largest absolute entry: then status 4
// and inverse[0] = 0.
int Mat3_Invert(const double* M, double* inverse);

// Inverse of the n x n row-pointer matrix A (left unchanged) into `inverse`
// (n x n, not A). Rows are scaled by 1 / their largest absolute entry and
// pivots chosen by scaled magnitude (the earlier row on ties); a zero row,
// or a pivot negligible against its row, is status 4.
int Matrix_InvertGaussJordan(int32_t n, const double* const* A, double* const* inverse);

// LU decomposition of A in place with the same scaling and pivot choice;
// index[k] is the row of A that holds the k-th pivot row, scale[i] (n
// doubles) receives 1 / the largest absolute entry of row i. Status 4 for a
// singular matrix.
int LU_IndexDecompose(int32_t n, double* const* A, int32_t* index, double* scale);
// Solves LU x = b through the row order of `index` (x and b distinct).
void LU_IndexSolve(int32_t n, const double* const* LU, const int32_t* index, double* x, const double* b);

#endif

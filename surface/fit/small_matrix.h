// Small square matrices (row-major n by n doubles) and 3-vectors.
#ifndef SURFACE_FIT_SMALL_MATRIX_H
#define SURFACE_FIT_SMALL_MATRIX_H

#include <cstdint>

void Matrix_SetIdentity(double* M, int32_t n);
// LU decomposition in place with row scaling (each row by the inverse of its
// largest magnitude) and partial pivoting on the scaled magnitude, the later
// row winning ties; a zero pivot is replaced by 1e-20. index receives the row
// interchanges and *parity ±1 their parity. Returns 1 on success, 0 when a
// row is all zero, -1 when the scratch cannot be allocated.
int LU_Decompose(double* a, int32_t n, int32_t* index, double* parity);
// Solves with an LU_Decompose result in place; the leading zeros of b are
// skipped.
void LU_BackSubstitute(const double* a, int32_t n, const int32_t* index, double* b);
// inverse := A⁻¹. Returns 1 on success; 0, with the inverse left as it was,
// when A has an all-zero row or scratch cannot be allocated.
int Matrix_Invert(const double* A, double* inverse, int32_t n);

// Copies three doubles (nothing when the two are the same).
void Vec3_Copy(double* to, const double* from);
// Copies and returns the length; the copy is normalised when the length is
// positive.
double Vec3_CopyLength(const double* from, double* to);

#endif

// Cholesky factorisations on row-pointer lower triangles.
//
// A lower triangle of order n has row i holding columns 0..i (i + 1 doubles),
// the rows packed one after another in one block (Mem_AllocLowerTriangle).
// Two factor forms live in such a triangle:
//   L·Lᵀ    row i holds L(i, 0..i), the square-root pivot on the diagonal;
//   L·D·Lᵀ  row i holds the unit-lower multipliers L(i, 0..i-1) and the
//           pivot D(i) on the diagonal (the unit diagonal of L is implied).
// The L·D·Lᵀ form follows a changing set of centres: rows are appended,
// removed, inserted and replaced in O(n²) each instead of refactoring.
//
// Core statuses: 0 success, 2 no memory, 3 negative Cholesky pivot (or a
// change that would make the matrix indefinite), 5 invalid input, 16 divide
// by zero (a pivot too small to divide by).
#ifndef SURFACE_FIT_CHOLESKY_H
#define SURFACE_FIT_CHOLESKY_H

#include <cstdint>

// ---- L·Lᵀ ----

// A = s·L·Lᵀ in place, s = +1 when A(0,0) > 0 else -1 (the caller reads
// A(0,0) beforehand when it needs s). 3 when a pivot of s·A is not positive.
int Cholesky_FactorSigned(int32_t n, double** triangle);
// Solves L·Lᵀ·x = b in place.
void Cholesky_SolveInPlace(int32_t n, double* const* factor, double* b);
// As Cholesky_SolveInPlace, but the back substitution computes only the last
// min(n, k) unknowns; the others hold the forward-substitution values.
void Cholesky_SolveTail(int32_t n, int32_t k, double* const* factor, double* b);
// Grows an L·Lᵀ factor of order n by one row (the triangle is reallocated;
// on failure it has been freed and *triangle is null, status 2): row holds
// the new matrix row, n + 1 values, the last the diagonal. 3 when the new
// pivot is not positive.
int Cholesky_AppendRowLLT(double*** triangle, const double* row, int32_t n);

// ---- L·D·Lᵀ ----

// L·D·Lᵀ in place. 16 when a pivot is below 100 double epsilons times the
// largest absolute entry of A. With sign given: +1 when every pivot is
// positive, -1 when every pivot is negative, 0 when they are mixed or the
// factorisation failed. scratch holds n doubles.
int Cholesky_LDLFactor(int32_t n, double** triangle, double* scratch, int32_t* sign);
// Solves L·D·Lᵀ·x = b in place.
void Cholesky_LDLSolve(int32_t n, double* const* factor, double* b);
// As Cholesky_LDLSolve; the back substitution only for the last min(n, k)
// unknowns.
void Cholesky_LDLSolveTail(int32_t n, int32_t k, double* const* factor, double* b);
// Appends row n (n + 1 values, the last the diagonal) to an order-n factor
// whose row n already exists in the storage. row may be factor[n] itself.
int Cholesky_AppendRow(double** factor, const double* row, int32_t n);
// Removes row and column r from an order-n factor (5 when r is not below n).
// scratch holds n doubles.
int Cholesky_RemoveRow(double** factor, int32_t n, int32_t r, double* scratch);
// L·D·Lᵀ := L·D·Lᵀ + alpha·w·wᵀ (w is left as it was; scratch holds n doubles).
void Cholesky_LDLUpdate(double** factor, int32_t n, double alpha, const double* w, double* scratch);
// L·D·Lᵀ := L·D·Lᵀ + sigma·w·wᵀ for either sign of sigma. 3, with the factor
// unchanged, when the change would alter the signs of the pivots
// (sigma·wᵀ·A⁻¹·w < -1). scratch holds n doubles.
int Cholesky_LDLModify(double** factor, int32_t n, double sigma, const double* w, double* scratch);
// Changes row and column r by u: entries (k, r) and (r, k) grow by u(k) for
// k != r, entry (r, r) by u(r). Done as two rank-one changes; u is used as
// their vectors and is left changed. scratch holds n doubles.
int Cholesky_LDLReplaceRow(double** factor, int32_t n, double* u, int32_t r, double* scratch);
// Inserts a new row and column at position r of an order-n factor whose
// storage already holds n + 1 rows. row holds the new matrix row in the new
// order (n + 1 values, row[r] the diagonal). 5 when r is above n, 16 when the
// new pivot is too small (the factor is then unchanged). scratch and work
// hold n + 1 doubles each.
int Cholesky_LDLInsertRow(double** factor, int32_t n, const double* row, int32_t r, double* scratch, double* work);
// +1 when every pivot is positive, -1 when every pivot is negative, 0 when
// the first is zero or the signs differ (+1 for n = 0).
int Cholesky_DiagonalSign(double* const* factor, int32_t n);

// ---- Triangular solves ----

// R·x = b for the first k unknowns, R stored by rows above the diagonal
// (the R of a QR factorisation, one full row per row).
void Triangle_SolveUpperRows(int32_t k, double* const* R, double* b);
// Lᵀ·x = b for a row-stored lower triangle.
void Triangle_SolveTransposed(int32_t n, double* const* L, double* b);

#endif

// Householder reflections and QR factorisations on row-pointer matrices.
//
// Index ranges written from..to include both ends. A reflection is
// I - β·v·vᵀ with v stored in entries from..to of its vector.
#ifndef SURFACE_FIT_HOUSEHOLDER_QR_H
#define SURFACE_FIT_HOUSEHOLDER_QR_H

#include <cstdint>

// One pivoted QR factorisation.
struct QRFactor {
    int32_t rows;
    int32_t columns;
    int32_t rank;      // set by the factorisation
    double** matrix;   // rows by columns; R above and on the diagonal after factoring
    double** vectors;  // rows + 1 rows of rows doubles; row i: the vector of step i
    double* beta;      // the extra last row of `vectors`: the scalar of each step
    int32_t* pivots;   // rows entries; entry i is the column moved into place i
};

// Reflection that maps x(from..to) onto a multiple of its first unit vector.
// *scale receives the largest magnitude of the segment; a zero segment gives
// β = 1 and a zero vector.
void Householder_Vector(int32_t from, int32_t to, const double* x, double* beta, double* v, double* scale);
// The same for the segment rows from..to of one column of A.
void Householder_ColumnVector(int32_t from, int32_t to, int32_t column, double* const* A, double* beta, double* v,
                              double* scale);
// A := (I - β·v·vᵀ)·A on rows from..to, columns 0..columns-1.
void Householder_ApplyLeft(int32_t columns, double* const* A, int32_t from, int32_t to, double beta, const double* v);
// x := (I - β·v·vᵀ)·x on from..to.
void Householder_ApplyVector(double* x, int32_t from, int32_t to, double beta, const double* v);
// A := A·(I - β·v·vᵀ) on rows 0..rows-1, columns from..to.
void Householder_ApplyRight(int32_t rows, double* const* A, int32_t from, int32_t to, double beta, const double* v);

// Allocates a record (0, or 2 with the record zero). 0 rows or columns leave
// the record zero and succeed.
int QR_Alloc(int32_t rows, int32_t columns, QRFactor* record);
void QR_Free(QRFactor* record);

// Householder QR with column pivoting. Stops when the largest remaining
// (downdated) squared column norm is not above 10 epsilons times the largest
// initial one. Status 0, 2, or 4 when the rank is below min(rows, columns).
int QR_FactorPivoted(int32_t rows, int32_t columns, double* const* A, int32_t* pivots, double* const* vectors,
                     double* beta, int32_t* rank);
// Least squares through a pivoted factor. b holds max(rows, columns) values
// (the caller clears those beyond the rows) and receives the solution, whose
// entries from the rank on are 0.
void QR_Solve(int32_t rows, int32_t rank, double* const* R, double* const* vectors, const double* beta,
              const int32_t* pivots, double* b);
// Allocates the record, copies A in and factors it. On status 4 the record is
// kept; on any other failure it is freed.
int QR_FactorCopy(int32_t rows, int32_t columns, double* const* A, QRFactor* record);
// QR_Solve with the record's fields. With out given, out is cleared to the
// column count, receives b's rows and is solved in place; else b is solved in
// place (it then holds max(rows, columns) values).
void QR_SolveRecord(const QRFactor* record, double* b, double* out);
// One-shot least squares A·x = b: factors a copy, solves when the factor
// succeeded (or was rank-deficient and acceptDeficient is set) and returns 0;
// otherwise returns the factor's status.
int QR_LeastSquares(int32_t acceptDeficient, int32_t rows, int32_t columns, double* const* A, double* b, double* out);
// Householder QR without pivoting, over min(rows, columns) steps. Returns 4
// (but completes) when some column's largest entry falls below 2⁻⁵² times the
// largest entry of A.
int QR_Factor(int32_t rows, int32_t columns, double* const* A, double* const* vectors, double* beta);
// Solves with a QR_Factor result: the reflections of the first `columns`
// steps over rows step..rows-1, then R·x = b for the given columns.
void QR_SolvePlain(int32_t rows, int32_t columns, double* const* R, double* const* vectors, const double* beta,
                   double* b);
// Pivoted QR of the record's matrix, then G := the least-squares solutions of
// A·g = eᵢ, one row of G (columns values) per row of A. Returns the factor's
// status when it is not 0 (G is then not written), or 2.
int QR_LagrangeCoefficients(int32_t rows, int32_t columns, QRFactor* record, double* const* G);
// W := Gᵀ·K·G with K the e by e block in the first e columns of K's rows and
// G e by m; W is m by m.
void Matrix_Congruence(double* const* W, double* const* K, double* const* G, int32_t e, int32_t m);

#endif

// The polynomial part of a fitted function: monomial counts, the monomial
// order, rank and unrank of exponent vectors, and monomial values.
//
// A polynomial of degree n in d variables has m = (d + n choose n)
// coefficients, one per monomial of total degree at most n. The monomials are
// the exponent vectors (e1, ..., ed) in ascending lexicographic order of the
// reversed vector (ed, ..., e1): the exponent of the last coordinate is the
// most significant. So in 2D degree 2: 1, x, x², y, xy, y²; in 3D degree 2:
// 1, x, x², y, xy, y², z, xz, yz, z². This order is the layout of every
// polynomial coefficient array of the library, in memory and in stored
// solutions: for each power k of the last coordinate the monomials with
// ed = k form one contiguous block.
//
// Monomials are taken in coordinates relative to a polynomial centre unless
// an operation says otherwise. Statuses: 0, 2 no memory, 5 invalid input.
#ifndef SURFACE_FIT_POLY_TERMS_H
#define SURFACE_FIT_POLY_TERMS_H

#include <cstdint>

// (d + n choose n); 0 when n is negative or d below 1.
int32_t Poly_Binomial(int32_t d, int32_t n);
// Fills T ((d + 1) rows by (n + 1) columns) with T(0, j) = 0, T(i, 0) = 1 and
// T(i, j) = (i + j choose j); returns T(d, n).
int32_t Poly_BinomialTable(int32_t d, int32_t n, int32_t* const* T);

// Position of an exponent vector in the monomial order of degree n (0 for
// the constant); 5 when the exponents sum to more than n.
int Poly_MultiIndexRank(int32_t d, int32_t n, const int32_t* exponents, int32_t* rank);
// The exponent vector at a position; 5 when the rank is not below m.
int Poly_MultiIndexUnrank(int32_t d, int32_t n, int32_t rank, int32_t* exponents);
// The same on a count table made by Poly_BinomialTable for at least d and n.
int32_t Poly_RankSum(int32_t d, int32_t n, const int32_t* exponents, const int32_t* const* T);
void Poly_UnrankWalk(int32_t d, int32_t n, int32_t rank, int32_t* exponents, const int32_t* const* T);

// Steps e to the next exponent vector of the monomial order of degree n
// (from all zeros: when the sum is below n, e1 grows; otherwise the first
// non-zero exponent goes to 0 and the next one grows). False after the last.
bool Poly_NextExponents(int32_t d, int32_t n, int32_t* e);

// Monomial values: one row of m values per point (the constant first). A
// negative degree leaves the output untouched. `exponents` is scratch of d
// ints.
void Poly_MonomialsAt(int32_t d, int32_t n, const double* point, double* row, int32_t* exponents);
void Poly_MonomialRows(int32_t d, int32_t n, const double* centre, const double* point, double* row,
                       int32_t* exponents);
void Poly_MonomialMatrixPlain(int32_t d, int32_t n, int32_t N, const double* const* points, double* const* rows,
                              int32_t* exponents);
void Poly_MonomialMatrix(int32_t d, int32_t n, const double* centre, int32_t N, const double* const* points,
                         double* const* rows, int32_t* exponents);
// Transposed: one row of N values per monomial.
void Poly_MonomialColumns(int32_t d, int32_t n, int32_t N, const double* const* points, double* const* columns,
                          int32_t* exponents);
void Poly_MonomialColumnsCentred(int32_t d, int32_t n, const double* centre, int32_t N, const double* const* points,
                                 double* const* columns, int32_t* exponents);

#endif

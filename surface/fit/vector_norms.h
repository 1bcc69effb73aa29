// Norms, sums and distances of double vectors, row-pointer matrices and
// packed triangles of pairs. Sums are accumulated with a compensation term
// (about twice double precision), so long sums of mixed magnitudes keep
// their small terms, with the same bits in both builds.
#ifndef SURFACE_FIT_VECTOR_NORMS_H
#define SURFACE_FIT_VECTOR_NORMS_H

#include "surface/frame/tracked_memory.h"

#include <cstdint>

double Vec_SumAbs(const double* x, int32_t n);
double Vec_SumAbsInts(const int32_t* x, int32_t n);
double Vec_SumAbsDiff(const double* x, const double* y, int32_t n);
double Vec_Norm2(const double* x, int32_t n);
double Vec_NormSquared(const double* x, int32_t n);
// out[i] = |A[i] - B[i]| for k pairs of rows of n doubles.
void Vec_RowDistances(const double* const* A, const double* const* B, double* out, int32_t k, int32_t n);
double Vec_Distance(const double* x, const double* y, int32_t n);
double Vec_DistanceSquared(const double* x, const double* y, int32_t n);

// Largest magnitudes (n at least 1; 0 for an empty vector).
double Vec_NormInf(const double* x, int32_t n);
// Also gives the first index where the largest magnitude occurs (index may
// be null).
double Vec_NormInfIndex(const double* x, int32_t n, int32_t* index);
double Vec_NormInfDiff(const double* x, const double* y, int32_t n);
double Vec_NormInfSum(const double* x, const double* y, int32_t n);
// Over the flat data block of row-pointer matrices of rows x columns.
double Matrix_NormInf(const double* const* M, int32_t rows, int32_t columns);
double Matrix_NormInfDiff(const double* const* A, const double* const* B, int32_t rows, int32_t columns);

// Over packed lower triangles of n rows of pairs: the largest absolute
// component, the largest absolute component difference, and the largest
// squared distance between corresponding pairs.
double PairTriangle_NormInf(const MemPair* const* T, int32_t n);
double PairTriangle_NormInfDiff(const MemPair* const* A, const MemPair* const* B, int32_t n);
double PairTriangle_MaxDistSquared(const MemPair* const* A, const MemPair* const* B, int32_t n);

// Squared distance of two 3-vectors, stopping early: 1 with the full value
// in *out while it stays below `bound`, else 0 with *out = bound as soon as a
// partial sum reaches it.
int Vec3_DistanceSquaredBelow(const double* p, const double* q, double bound, double* out);

#endif

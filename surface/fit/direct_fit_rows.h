// The pieces of the reduced interpolation matrix shared by factoring and by
// appending centres to a factored system.
//
// For centres i, k outside the unisolvent subset the reduced entry is
//   Φ(i,k) - Λ(i)·b(k) - Λ(k)·b(i) + Λ(i)·Φ11·Λ(k)ᵀ,
// with b(k) the column of B at centre k (the subset's kernel values at k) and
// Φ11 the shifted kernel among the subset (B's first e columns). With
// h(k) = b(k) - ½·Φ11·Λ(k)ᵀ this is Φ(i,k) - Λ(i)·h(k) - Λ(k)·h(i), since
// Φ11 is symmetric: two dot products of length e per entry.
#ifndef SURFACE_FIT_DIRECT_FIT_ROWS_H
#define SURFACE_FIT_DIRECT_FIT_ROWS_H

#include <cstdint>

#include "surface/fit/direct_fit.h"

// Λ(i, j) = P(i)·G(j) for the subset's e Lagrange polynomials.
inline void DirectFit_Lagrange(const InterpolationData* d, int32_t m, const double* monomials, double* lambda) {
    for (int32_t j = 0; j < d->SubsetCount; ++j) {
        long double sum = 0;
        for (int32_t t = 0; t < m; ++t) sum += static_cast<long double>(monomials[t]) * d->G[j][t];
        lambda[j] = static_cast<double>(sum);
    }
}

// h(k) for the centre at factor position k with Lagrange values lambda.
inline void DirectFit_HalfCorrection(const InterpolationData* d, int32_t k, const double* lambda, double* h) {
    const int32_t e = d->SubsetCount;
    for (int32_t j = 0; j < e; ++j) {
        long double sum = 0;
        for (int32_t q = 0; q < e; ++q) sum += static_cast<long double>(d->B[j][q]) * lambda[q];
        h[j] = static_cast<double>(d->B[j][k] - 0.5L * sum);
    }
}

// The reduced entry from the kernel value and both centres' Λ and h.
inline double DirectFit_Reduced(double phi, int32_t e, const double* lambdaI, const double* hI, const double* lambdaK,
                                const double* hK) {
    long double sum = phi;
    for (int32_t j = 0; j < e; ++j)
        sum -= static_cast<long double>(lambdaI[j]) * hK[j] + static_cast<long double>(lambdaK[j]) * hI[j];
    return static_cast<double>(sum);
}

#endif

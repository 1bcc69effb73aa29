// The local interpolation system of one subdomain, in the null-space form of
// the direct fit: the polynomial side conditions are eliminated on s
// spanning points at the front of the subdomain's list, leaving a symmetric
// definite system over the other points.
//
// For spanning point j, G(j) are the monomial coefficients of its Lagrange
// polynomial (1 at j, 0 at the other spanning points); Λ(i, j) = P(i)·G(j)
// is its value at point i. With b(i) the spanning points' shifted kernel
// values at i and Φ11 the shifted kernel among the spanning points,
// h(i) = b(i) - ½·Φ11·Λ(i)ᵀ, and the reduced entry of points i and k is
//   Φ(i,k) + shift·[i = k] - Λ(i)·h(k) - Λ(k)·h(i).
// Factoring, the local solves and the factor updates all form their rows
// through this one set of routines, so an updated factor matches a fresh one.
//
// Positions count points in list order; rows of the reduced system are
// positions from s on. Statuses: 0, 2 no memory, 3 the reduced matrix is not
// definite, 4 the spanning points do not span, 5 coincident points.
#ifndef SURFACE_FIT_SUBDOMAIN_SYSTEM_H
#define SURFACE_FIT_SUBDOMAIN_SYSTEM_H

#include <cstdint>

#include "surface/fit/householder_qr.h"

struct BasicFunctionKernel;

// Work buffers for subdomains of up to `size` points.
struct SubdomainSystem {
    const BasicFunctionKernel* kernel;
    int32_t d;
    int32_t degree;  // polynomial degree (-1 none)
    int32_t m;       // polynomial terms
    int32_t size;
    double shift;       // added to the kernel where a point meets itself
    double** centres;   // size x d: the subdomain's points in list order
    double** G;         // m x m: Lagrange coefficients of the spanning points
    double** phi11;     // m x m: shifted kernel among the spanning points
    double** B;         // m x size: spanning points' shifted kernel at every position
    double** H;         // size x m: h(i) per position
    QRFactor qr;        // m x m
    double** triangle;  // size rows: the reduced matrix or its factor
    double** lambda;    // size x m: Λ of the rows of the reduced system
    double* row;        // size + 1
    double* scratch;    // size + 1
    double* work;       // size + 1
    double* monomials;  // m
    int32_t* subset;    // m
};

int SubdomainSystem_Alloc(SubdomainSystem* sys, int32_t size, const BasicFunctionKernel* kernel, double shift);
// Regrows the buffers for `size` points (contents are not kept).
int SubdomainSystem_Reserve(SubdomainSystem* sys, int32_t size);
void SubdomainSystem_Free(SubdomainSystem* sys);

// Copies the points of a list into sys->centres.
void SubdomainSystem_LoadCentres(SubdomainSystem* sys, double* const* points, const int32_t* list, int32_t n);
// Chooses the spanning points among the first numOuter centres and moves
// them (in list and centres alike) to the front; *s receives their number.
// Status 4 (fewer than m) is not a failure.
int SubdomainSystem_ChooseSpanning(SubdomainSystem* sys, int32_t* list, int32_t numOuter, int32_t* s);
// G, Φ11, B and H for the first s of n centres about `centre`.
int SubdomainSystem_SubsetData(SubdomainSystem* sys, int32_t n, int32_t s, const double* centre);
// Λ of a point (its values of the s Lagrange polynomials) about `centre`.
void SubdomainSystem_Lagrange(SubdomainSystem* sys, int32_t s, const double* centre, const double* point,
                              double* lambda);
// h of a point from its spanning-point kernel values b and its Λ.
void SubdomainSystem_Half(const SubdomainSystem* sys, int32_t s, const double* b, const double* lambda, double* h);
// Forms the reduced matrix of n centres with s spanning points into
// sys->triangle (n - s rows) and their Λ into sys->lambda, then factors it
// as L·D·Lᵀ; when the factor fails, spanning points are dropped from the
// end one at a time (*s falls) while more than one is left.
int SubdomainSystem_FormAndFactor(SubdomainSystem* sys, int32_t n, int32_t* s, const double* centre);
// The reduced row of the point at position k against positions s..n-1,
// into row (row[i - s]); lambdaOf(i) gives Λ of position i.
void SubdomainSystem_ReducedRow(SubdomainSystem* sys, int32_t n, int32_t s, int32_t k, const double* lambdaK,
                                const double* hK, double* const* lambdaRows, double* row);

#endif

// Direct interpolation of one set of centres: the RBF interpolation system
// (kernel block plus polynomial side conditions) is formed and factored
// once, then solved for any number of value vectors; the factored system
// grows by appended centres and shrinks by removed ones without refactoring.
//
// The polynomial side conditions are eliminated on a unisolvent subset of
// the centres (e of them, at most the m monomials): each other centre i
// enters through the column that is 1 at i and minus the values Λ(i, j) of
// the subset's Lagrange polynomials at i on the subset. What remains is a
// symmetric definite system over the N - e other centres, factored as
// L·D·Lᵀ; the polynomial coefficients come from a pivoted least-squares
// solve on the subset.
//
// Inside the record the centres are held in factor order, the subset first;
// `Order` maps each factor position to the centre's place in the caller's
// order, in which values go in and coefficients come out.
//
// Core statuses: 0, 2 no memory, 3 the reduced matrix is not definite, 4 the
// centres do not span the polynomial space, 5 invalid input, 6 fewer centres
// than monomials, 10 user abort, 23 a required argument missing.
#ifndef SURFACE_FIT_DIRECT_FIT_H
#define SURFACE_FIT_DIRECT_FIT_H

#include <cstdint>

#include "surface/fit/householder_qr.h"

struct BasicFunctionKernel;
struct CoreReporter;

struct DirectFitOptions {
    double Rho;                // smoothing: |Rho| x the kernel's Sign is added to the diagonal
    double MallocRatio;        // room for more centres: capacity = trunc(N x MallocRatio)
    int32_t MaxCholeskySize;   // the most centres that may be factored (10 to 5000)
    int32_t AllowCentredPoly;  // polynomial centre: 0 origin, 1 mean of the centres, 2 PolyCentre
    double PolyCentre[3];
};

constexpr int32_t kDirectFitMaxSubset = 16;

struct InterpolationData {
    int32_t Initialised;
    int32_t N;
    const BasicFunctionKernel* Kernel;  // the caller's record
    DirectFitOptions Options;
    int32_t Capacity;  // centres the per-centre arrays have room for
    double PolyCentre[3];
    QRFactor QR;                          // pivoted QR of the subset's monomial block
    double** W;                           // m x m: Gᵀ·Φ11·G
    double** G;                           // m x m: row j, the Lagrange polynomial of subset centre j
    double** Lambda;                      // capacity x m: row i - e, Λ(i, ·) of other centre i
    double** B;                           // m x capacity: shifted kernel of subset centre j and centre k
    int32_t FactorCapacity;               // min(capacity, MaxCholeskySize)
    double** Factor;                      // L·D·Lᵀ of the reduced matrix, N - e rows
    int32_t SubsetCount;                  // e
    int32_t Subset[kDirectFitMaxSubset];  // the subset's centres at factoring, ascending
    double* Work;                         // capacity doubles
    int32_t* Order;                       // capacity: factor position -> caller's index
};

// Fills the defaults: Rho 0, MallocRatio 1.5, MaxCholeskySize 3000,
// AllowCentredPoly 1, PolyCentre 0. Nothing for null.
void Rbf_DirectDefaultOptions(DirectFitOptions* options);
// 1 when valid, else 0 after one error message.
int Rbf_DirectCheckOptions(const DirectFitOptions* options, const CoreReporter* reporter);
// 1 when usable, else 0 after one error message.
int Rbf_CheckInterpolationArgs(int32_t N, double* const* centres, const BasicFunctionKernel* kernel,
                               const InterpolationData* data, const CoreReporter* reporter);

// Forms and factors the system of N centres (rows of the kernel's dimension).
// Null options mean the defaults. On failure the record is freed and zero.
int Rbf_FactorInterpolation(int32_t N, double* const* centres, const BasicFunctionKernel* kernel,
                            const DirectFitOptions* options, InterpolationData* data, const CoreReporter* reporter);
// Solves for one value vector (N values in the caller's order). *coefficients
// receives N centre coefficients (caller's order) and the m polynomial
// coefficients about the polynomial centre; when it holds null a tracked
// array is allocated for the caller. centre (d doubles) receives the
// polynomial centre; it may be null only when AllowCentredPoly is 0.
int Rbf_SolveInterpolation(int32_t N, const double* values, InterpolationData* data, double** coefficients,
                           double* centre, const CoreReporter* reporter);
// Factor, solve, free.
int Rbf_FitDirect(int32_t N, double* const* centres, const double* values, const BasicFunctionKernel* kernel,
                  const DirectFitOptions* options, double** coefficients, double* centre, const CoreReporter* reporter);
// Extends the factor by the centres from the current N to newN - 1; the
// array holds all centres in the caller's order, the existing ones first and
// unchanged. On failure the caller frees the record.
int Rbf_AddCentres(int32_t newN, double* const* centres, InterpolationData* data, const CoreReporter* reporter);
// Removes `count` centres given by their factor positions (at or above the
// subset count e, below N, no repeats). When `centres` (the caller's array,
// in the caller's order) is given, its rows close up over the removed
// centres; the caller's order of the remaining centres is kept.
int Rbf_RemoveCentres(int32_t count, const int32_t* indices, InterpolationData* data, double* const* centres,
                      const CoreReporter* reporter);
// Frees every array and zero-fills the record; 0, also for null.
int Rbf_FreeInterpolation(InterpolationData* data);

#endif

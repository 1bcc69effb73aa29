// Forming and factoring the reduced local system of a subdomain.
#include "surface/fit/subdomain_system.h"

#include <cstdint>
#include <cstring>

#include "surface/frame/basic_function.h"
#include "surface/fit/cholesky.h"
#include "surface/fit/poly_subset.h"
#include "surface/fit/poly_terms.h"
#include "surface/fit/swap_sequence.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_matrix.h"
#include "surface/frame/tracked_memory.h"

namespace {

long double Dot(const double* a, const double* b, int32_t n) {
    long double sum = 0;
    for (int32_t j = 0; j < n; ++j) sum += static_cast<long double>(a[j]) * b[j];
    return sum;
}

void FreeBuffers(SubdomainSystem* sys) {
    Mem_FreeMatrix(sys->centres);
    Mem_FreeMatrix(sys->G);
    Mem_FreeMatrix(sys->phi11);
    Mem_FreeMatrix(sys->B);
    Mem_FreeMatrix(sys->H);
    QR_Free(&sys->qr);
    Mem_FreeMatrix(sys->triangle);
    Mem_FreeMatrix(sys->lambda);
    Mem_Free(sys->row);
    Mem_Free(sys->scratch);
    Mem_Free(sys->work);
    Mem_Free(sys->monomials);
    Mem_Free(sys->subset);
}

}  // namespace

int SubdomainSystem_Reserve(SubdomainSystem* sys, int32_t size) {
    FreeBuffers(sys);
    const int32_t m = sys->m, mm = m > 0 ? m : 1, n = size > 0 ? size : 1;
    sys->size = n;
    sys->centres = Mem_AllocMatrix(n, sys->d);
    sys->G = Mem_AllocMatrix(mm, mm);
    sys->phi11 = Mem_AllocMatrix(mm, mm);
    sys->B = Mem_AllocMatrix(mm, n);
    sys->H = Mem_AllocMatrix(n, mm);
    const int qr = m > 0 ? QR_Alloc(m, m, &sys->qr) : 0;
    sys->triangle = Mem_AllocLowerTriangle(n);
    sys->lambda = Mem_AllocMatrix(n, mm);
    // n + 1 would pass int32 for the largest n: a negative length is refused.
    const int32_t n1 = n < INT32_MAX ? n + 1 : -1;
    sys->row = Mem_AllocDoubles(n1);
    sys->scratch = Mem_AllocDoubles(n1);
    sys->work = Mem_AllocDoubles(n1);
    sys->monomials = Mem_AllocDoubles(mm);
    sys->subset = Mem_AllocInts(mm + 3);
    const bool ok = sys->centres && sys->G && sys->phi11 && sys->B && sys->H && qr == 0 && sys->triangle &&
                    sys->lambda && sys->row && sys->scratch && sys->work && sys->monomials && sys->subset;
    if (ok) return 0;
    FreeBuffers(sys);
    const SubdomainSystem kept = *sys;
    std::memset(sys, 0, sizeof(*sys));
    sys->kernel = kept.kernel;
    sys->d = kept.d;
    sys->degree = kept.degree;
    sys->m = kept.m;
    sys->shift = kept.shift;
    return CoreStatus_NoMemory;
}

int SubdomainSystem_Alloc(SubdomainSystem* sys, int32_t size, const BasicFunctionKernel* kernel, double shift) {
    std::memset(sys, 0, sizeof(*sys));
    sys->kernel = kernel;
    sys->d = kernel->Dim;
    sys->degree = kernel->PolyDegree;
    sys->m = kernel->PolyTerms > 0 ? kernel->PolyTerms : 0;
    sys->shift = shift;
    return SubdomainSystem_Reserve(sys, size);
}

void SubdomainSystem_Free(SubdomainSystem* sys) {
    FreeBuffers(sys);
    std::memset(sys, 0, sizeof(*sys));
}

void SubdomainSystem_LoadCentres(SubdomainSystem* sys, double* const* points, const int32_t* list, int32_t n) {
    for (int32_t i = 0; i < n; ++i) std::memcpy(sys->centres[i], points[list[i]], sizeof(double) * sys->d);
}

int SubdomainSystem_ChooseSpanning(SubdomainSystem* sys, int32_t* list, int32_t numOuter, int32_t* s) {
    *s = 0;
    if (sys->m == 0) return 0;
    if (numOuter < sys->m) return CoreStatus_NotEnoughPoints;
    int32_t count = 0;
    const int status =
        Poly_SelectSpanningSubset(sys->d, sys->degree, sys->m, numOuter, sys->centres, sys->subset, &count);
    if (status != 0 && status != CoreStatus_LinearDependency) return status;
    // Ascending distinct indices: swapping each into place leaves the later
    // ones where they were.
    Permute_SwapSequence(count, list, sys->subset);
    Permute_Gather(count, sys->d, sys->centres, sys->subset);
    *s = count;
    return 0;
}

int SubdomainSystem_SubsetData(SubdomainSystem* sys, int32_t n, int32_t s, const double* centre) {
    const int32_t m = sys->m, d = sys->d;
    if (m == 0 || s == 0) return 0;
    int32_t exponents[3];
    for (int32_t j = 0; j < s; ++j)
        Poly_MonomialRows(d, sys->degree, centre, sys->centres[j], sys->qr.matrix[j], exponents);
    int status = QR_LagrangeCoefficients(s, m, &sys->qr, sys->G);
    if (status != 0) return status;
    for (int32_t j = 0; j < s; ++j) sys->subset[j] = j;
    sys->kernel->FillRows(sys->kernel, n, sys->centres, s, sys->subset, sys->B);
    for (int32_t j = 0; j < s; ++j) {
        sys->B[j][j] += sys->shift;
        for (int32_t q = 0; q < s; ++q) sys->phi11[j][q] = sys->B[j][q];
    }
    for (int32_t i = s; i < n; ++i) {
        double* lambda = sys->lambda[i - s];
        SubdomainSystem_Lagrange(sys, s, centre, sys->centres[i], lambda);
        for (int32_t j = 0; j < s; ++j) sys->scratch[j] = sys->B[j][i];
        SubdomainSystem_Half(sys, s, sys->scratch, lambda, sys->H[i]);
    }
    return 0;
}

void SubdomainSystem_Lagrange(SubdomainSystem* sys, int32_t s, const double* centre, const double* point,
                              double* lambda) {
    int32_t exponents[3];
    Poly_MonomialRows(sys->d, sys->degree, centre, point, sys->monomials, exponents);
    for (int32_t j = 0; j < s; ++j) lambda[j] = static_cast<double>(Dot(sys->monomials, sys->G[j], sys->m));
}

void SubdomainSystem_Half(const SubdomainSystem* sys, int32_t s, const double* b, const double* lambda, double* h) {
    for (int32_t j = 0; j < s; ++j) h[j] = static_cast<double>(b[j] - 0.5L * Dot(sys->phi11[j], lambda, s));
}

void SubdomainSystem_ReducedRow(SubdomainSystem* sys, int32_t n, int32_t s, int32_t k, const double* lambdaK,
                                const double* hK, double* const* lambdaRows, double* row) {
    double* phi = sys->work;
    sys->kernel->FillRows(sys->kernel, n, sys->centres, 1, &k, &phi);
    for (int32_t i = s; i < n; ++i) {
        long double v = phi[i];
        if (i == k) v += sys->shift;
        if (s > 0) v -= Dot(lambdaK, sys->H[i], s) + Dot(lambdaRows[i - s], hK, s);
        row[i - s] = static_cast<double>(v);
    }
}

int SubdomainSystem_FormAndFactor(SubdomainSystem* sys, int32_t n, int32_t* s, const double* centre) {
    int status = 0;
    for (;;) {
        const int32_t e = *s, r = n - e;
        status = SubdomainSystem_SubsetData(sys, n, e, centre);
        if (status == 0) {
            sys->kernel->FillMatrix(sys->kernel, r, sys->centres + e, sys->triangle);
            for (int32_t i = 0; i < r; ++i) {
                double* t = sys->triangle[i];
                t[i] += sys->shift;
                if (e == 0) continue;
                const double* li = sys->lambda[i];
                const double* hi = sys->H[e + i];
                for (int32_t k = 0; k <= i; ++k)
                    t[k] = static_cast<double>(t[k] - Dot(li, sys->H[e + k], e) - Dot(sys->lambda[k], hi, e));
            }
            int32_t sign = 0;
            status = Cholesky_LDLFactor(r, sys->triangle, sys->scratch, &sign);
            if (status != 0 || sign == 0) status = CoreStatus_NegativeCholeskyPivot;
        }
        if (status == 0) return 0;
        if (status != CoreStatus_NegativeCholeskyPivot && status != CoreStatus_LinearDependency) return status;
        if (*s <= 1) return status;
        --*s;
    }
}

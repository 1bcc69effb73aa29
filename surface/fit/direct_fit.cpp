// Direct interpolation: options, argument checks, forming and factoring.
#include "surface/fit/direct_fit.h"
#include "surface/frame/status_codes.h"

#include <cmath>
#include <cstring>

#include "surface/frame/basic_function.h"
#include "surface/fit/cholesky.h"
#include "surface/frame/core_reporter.h"
#include "surface/fit/direct_fit_rows.h"
#include "surface/fit/poly_subset.h"
#include "surface/fit/poly_terms.h"
#include "surface/fit/swap_sequence.h"
#include "surface/frame/reporter.h"
#include "surface/frame/tracked_matrix.h"

namespace {

const int32_t kLargestFactor = 5000;

void Error(const CoreReporter* reporter, const char* text) {
    if (CoreReporter_Speaks(reporter, 1)) CoreReporter_Error(reporter, "%s", text);
}

// Arrays of one factoring attempt, freed after it.
struct Forming {
    double** centres = nullptr;  // the centres in factor order
    double** monomials = nullptr;
    double** halves = nullptr;  // h(k) of every other centre
    int32_t exponents[3];
    ~Forming() {
        Mem_FreeMatrix(centres);
        Mem_FreeMatrix(monomials);
        Mem_FreeMatrix(halves);
    }
};

int AllocateRecord(InterpolationData* d, int32_t m) {
    d->Work = Mem_AllocDoubles(d->Capacity);
    d->Order = Mem_AllocInts(d->Capacity);
    d->Factor = Mem_AllocLowerTriangle(d->FactorCapacity);
    if (!d->Work || !d->Order || !d->Factor) return CoreStatus_NoMemory;
    if (m == 0) return 0;
    d->Lambda = Mem_AllocMatrix(d->Capacity, m);
    d->B = Mem_AllocMatrix(m, d->Capacity);
    d->G = Mem_AllocMatrix(m, m);
    d->W = Mem_AllocMatrix(m, m);
    return d->Lambda && d->B && d->G && d->W ? 0 : CoreStatus_NoMemory;
}

// The polynomial part of the subset: B, the QR of the subset's monomial
// block with the Lagrange coefficients G, Λ of every other centre, W, and
// h of every other centre. 4 when the subset's block is rank-deficient.
int FormPolynomialPart(InterpolationData* d, int32_t N, double shift, Forming* f) {
    const BasicFunctionKernel* k = d->Kernel;
    const int32_t e = d->SubsetCount, m = k->PolyTerms;
    int32_t subset[kDirectFitMaxSubset];
    for (int32_t j = 0; j < e; ++j) subset[j] = j;
    k->FillRows(k, N, f->centres, e, subset, d->B);
    for (int32_t j = 0; j < e; ++j) d->B[j][j] += shift;
    Poly_MonomialMatrix(k->Dim, k->PolyDegree, d->PolyCentre, N, f->centres, f->monomials, f->exponents);
    QR_Free(&d->QR);
    if (QR_Alloc(e, m, &d->QR) != 0) return CoreStatus_NoMemory;
    for (int32_t j = 0; j < e; ++j) std::memcpy(d->QR.matrix[j], f->monomials[j], sizeof(double) * m);
    const int status = QR_LagrangeCoefficients(e, m, &d->QR, d->G);
    if (status != 0) return status;
    Matrix_Congruence(d->W, d->B, d->G, e, m);
    for (int32_t i = e; i < N; ++i) {
        DirectFit_Lagrange(d, m, f->monomials[i], d->Lambda[i - e]);
        DirectFit_HalfCorrection(d, i, d->Lambda[i - e], f->halves[i - e]);
    }
    return 0;
}

// Forms the reduced matrix of the current subset in the factor and factors
// it. 3 when it is not definite, 4 when the subset's block is deficient.
int FormAndFactor(InterpolationData* d, int32_t N, double* const* centres, double shift, Forming* f) {
    const BasicFunctionKernel* k = d->Kernel;
    const int32_t e = d->SubsetCount, dim = k->Dim, rows = N - e;
    // The subset to the front: the swap sequence of its indices.
    for (int32_t p = 0; p < N; ++p) d->Order[p] = p;
    Permute_SwapSequence(e, d->Order, d->Subset);
    for (int32_t p = 0; p < N; ++p) std::memcpy(f->centres[p], centres[d->Order[p]], sizeof(double) * dim);

    k->FillMatrix(k, rows, f->centres + e, d->Factor);
    for (int32_t a = 0; a < rows; ++a) d->Factor[a][a] += shift;
    if (k->PolyTerms > 0) {
        const int status = FormPolynomialPart(d, N, shift, f);
        if (status != 0) return status;
        for (int32_t a = 0; a < rows; ++a)
            for (int32_t b = 0; b <= a; ++b)
                d->Factor[a][b] =
                    DirectFit_Reduced(d->Factor[a][b], e, d->Lambda[a], f->halves[a], d->Lambda[b], f->halves[b]);
    }
    int32_t sign = 0;
    const int status = Cholesky_LDLFactor(rows, d->Factor, d->Work, &sign);
    return status == 0 && sign != 0 ? 0 : CoreStatus_NegativeCholeskyPivot;
}

// The centre of the polynomial part and the subset; then factoring, with
// the subset shrunk while the factor fails.
int Factor(InterpolationData* d, int32_t N, double* const* centres) {
    const BasicFunctionKernel* k = d->Kernel;
    const int32_t dim = k->Dim, m = k->PolyTerms;
    if (N < m) return CoreStatus_NotEnoughPoints;
    if (d->Options.AllowCentredPoly == 1) {
        for (int32_t c = 0; c < dim; ++c) {
            long double sum = 0;
            for (int32_t i = 0; i < N; ++i) sum += centres[i][c];
            d->PolyCentre[c] = static_cast<double>(sum * (1.0L / N));
        }
    }
    int32_t e = 0;
    if (m > 0) {
        const int status = Poly_SelectSpanningSubset(dim, k->PolyDegree, m, N, centres, d->Subset, &e);
        if (status != 0 && status != CoreStatus_LinearDependency) return status;
    }
    d->SubsetCount = e;
    Forming f;
    f.centres = Mem_AllocMatrix(N, dim);
    f.monomials = m > 0 ? Mem_AllocMatrix(N, m) : nullptr;
    f.halves = m > 0 ? Mem_AllocMatrix(N, m) : nullptr;
    if (!f.centres || (m > 0 && (!f.monomials || !f.halves))) return CoreStatus_NoMemory;
    const double shift = std::fabs(d->Options.Rho) * k->Sign;
    for (;;) {
        const int status = FormAndFactor(d, N, centres, shift, &f);
        if (status == 0) return 0;
        if (status != CoreStatus_NegativeCholeskyPivot && status != CoreStatus_LinearDependency) return status;
        if (d->SubsetCount <= 1) return status;
        --d->SubsetCount;
    }
}

}  // namespace

void Rbf_DirectDefaultOptions(DirectFitOptions* options) {
    if (options == nullptr) return;
    options->Rho = 0.0;
    options->MallocRatio = 1.5;
    options->MaxCholeskySize = 3000;
    options->AllowCentredPoly = 1;
    options->PolyCentre[0] = options->PolyCentre[1] = options->PolyCentre[2] = 0.0;
}

int Rbf_DirectCheckOptions(const DirectFitOptions* options, const CoreReporter* reporter) {
    if (options == nullptr) return 0;
    if (!(options->MallocRatio >= 1.0)) {
        Error(reporter, "MallocRatio must be greater than 1");
        return 0;
    }
    if (options->MaxCholeskySize < 10) {
        Error(reporter, "MaxCholeskySize must be greater than 10");
        return 0;
    }
    if (options->MaxCholeskySize > kLargestFactor) {
        if (CoreReporter_Speaks(reporter, 1))
            CoreReporter_Error(reporter, "MaxCholeskySize must be less than %d", kLargestFactor);
        return 0;
    }
    if (options->AllowCentredPoly < 0 || options->AllowCentredPoly > 2) {
        Error(reporter, "AllowCentredPoly must be 0, 1 or 2");
        return 0;
    }
    return 1;
}

int Rbf_CheckInterpolationArgs(int32_t N, double* const* centres, const BasicFunctionKernel* kernel,
                               const InterpolationData* data, const CoreReporter* reporter) {
    const char* fault = N < 1                ? "Number of centres is less than 1"
                        : centres == nullptr ? "Centres is NULL"
                        : kernel == nullptr  ? "Basic function is NULL"
                        : data == nullptr    ? "RBF Interpolation data pointer is NULL"
                                             : nullptr;
    if (fault) Error(reporter, fault);
    return fault ? 0 : 1;
}

int Rbf_FactorInterpolation(int32_t N, double* const* centres, const BasicFunctionKernel* kernel,
                            const DirectFitOptions* options, InterpolationData* data, const CoreReporter* reporter) {
    const uint32_t start = Reporter_Clock();
    if (!Rbf_CheckInterpolationArgs(N, centres, kernel, data, reporter)) return CoreStatus_InvalidInput;
    std::memset(data, 0, sizeof *data);
    DirectFitOptions defaults;
    Rbf_DirectDefaultOptions(&defaults);
    if (options == nullptr) options = &defaults;
    if (!Rbf_DirectCheckOptions(options, reporter)) return CoreStatus_InvalidInput;
    if (N > options->MaxCholeskySize) {
        Error(reporter, "Too many centres for cholesky fit");
        return CoreStatus_InvalidInput;
    }
    data->N = N;
    data->Kernel = kernel;
    data->Options = *options;
    if (options->AllowCentredPoly == 2)
        for (int c = 0; c < 3; ++c) data->PolyCentre[c] = options->PolyCentre[c];
    data->Capacity = static_cast<int32_t>(N * options->MallocRatio);
    if (data->Capacity < N) data->Capacity = N;
    data->FactorCapacity = data->Capacity < options->MaxCholeskySize ? data->Capacity : options->MaxCholeskySize;
    int status = AllocateRecord(data, kernel->PolyTerms);
    if (status == 0) status = Factor(data, N, centres);
    if (status != 0) {
        Rbf_FreeInterpolation(data);
        return status;
    }
    data->Initialised = 1;
    if (CoreReporter_SpeaksIn(reporter, 3, kCategoryDirectFit))
        CoreReporter_Elapsed(reporter, "Solving RBF iterpolation equations took",
                             static_cast<int32_t>(Reporter_Clock() - start));
    return 0;
}

int Rbf_FreeInterpolation(InterpolationData* data) {
    if (data == nullptr) return 0;
    QR_Free(&data->QR);
    Mem_FreeMatrix(data->W);
    Mem_FreeMatrix(data->G);
    Mem_FreeMatrix(data->Lambda);
    Mem_FreeMatrix(data->B);
    Mem_FreeMatrix(data->Factor);
    Mem_Free(data->Work);
    Mem_Free(data->Order);
    std::memset(data, 0, sizeof *data);
    return 0;
}

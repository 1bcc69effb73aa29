// Direct interpolation: solving a factored system for one value vector.
#include <cstring>

#include "surface/fit/cholesky.h"
#include "surface/fit/direct_fit.h"
#include "surface/frame/basic_function.h"
#include "surface/frame/core_reporter.h"
#include "surface/frame/reporter.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"

namespace {

void Error(const CoreReporter* reporter, const char* text) {
    if (CoreReporter_Speaks(reporter, 1)) CoreReporter_Error(reporter, "%s", text);
}

// The polynomial coefficients: the least-squares solution of P1·c = t on the
// subset, with t the values there less the kernel part of the fit.
void SolvePolynomial(const InterpolationData* d, const double* out, double* poly) {
    const int32_t e = d->SubsetCount, m = d->Kernel->PolyTerms, N = d->N;
    for (int32_t t = 0; t < m; ++t) poly[t] = 0.0;
    for (int32_t j = 0; j < e; ++j) {
        long double sum = d->Work[j];
        for (int32_t k = 0; k < N; ++k) sum -= static_cast<long double>(d->B[j][k]) * out[d->Order[k]];
        poly[j] = static_cast<double>(sum);
    }
    QR_Solve(e, d->QR.rank, d->QR.matrix, d->QR.vectors, d->QR.beta, d->QR.pivots, poly);
}

}  // namespace

int Rbf_SolveInterpolation(int32_t N, const double* values, InterpolationData* data, double** coefficients,
                           double* centre, const CoreReporter* reporter) {
    const uint32_t start = Reporter_Clock();
    if (values == nullptr || data == nullptr || coefficients == nullptr ||
        (centre == nullptr && data->Options.AllowCentredPoly != 0)) {
        Error(reporter, "Required argument was NULL");
        return CoreStatus_NullArgument;
    }
    if (N != data->N) {
        Error(reporter, "Number of values does not match RBF interpolation data");
        return CoreStatus_InvalidInput;
    }
    if (!data->Initialised) {
        Error(reporter, "RBF interpolation data is not initialized");
        return CoreStatus_InvalidInput;
    }
    const int32_t e = data->SubsetCount, m = data->Kernel->PolyTerms, dim = data->Kernel->Dim;
    if (*coefficients == nullptr) {
        *coefficients = Mem_AllocDoubles(N + m);
        if (*coefficients == nullptr) {
            Error(reporter, "Memory allocation failed");
            return CoreStatus_NoMemory;
        }
    }
    double* out = *coefficients;
    if (centre)
        for (int32_t c = 0; c < dim; ++c) centre[c] = data->PolyCentre[c];

    // The values in factor order, the subset first.
    double* f = data->Work;
    for (int32_t p = 0; p < N; ++p) f[p] = values[data->Order[p]];
    // g(i) = f(i) - Σj Λ(i, j)·f(j) for the others; then L·D·Lᵀ·μ = g.
    for (int32_t i = e; i < N; ++i) {
        long double sum = f[i];
        for (int32_t j = 0; j < e; ++j) sum -= static_cast<long double>(data->Lambda[i - e][j]) * f[j];
        f[i] = static_cast<double>(sum);
    }
    Cholesky_LDLSolve(N - e, data->Factor, f + e);
    for (int32_t i = e; i < N; ++i) out[data->Order[i]] = f[i];
    // The subset's coefficients keep the side conditions: -Σi Λ(i, j)·μ(i).
    for (int32_t j = 0; j < e; ++j) {
        long double sum = 0;
        for (int32_t i = e; i < N; ++i) sum -= static_cast<long double>(data->Lambda[i - e][j]) * f[i];
        out[data->Order[j]] = static_cast<double>(sum);
    }
    if (m > 0) SolvePolynomial(data, out, out + N);
    if (CoreReporter_SpeaksIn(reporter, 3, kCategoryDirectFit))
        CoreReporter_SuccessElapsed(reporter, "Fitting %d points took", static_cast<int32_t>(Reporter_Clock() - start),
                                    N);
    return 0;
}

int Rbf_FitDirect(int32_t N, double* const* centres, const double* values, const BasicFunctionKernel* kernel,
                  const DirectFitOptions* options, double** coefficients, double* centre,
                  const CoreReporter* reporter) {
    InterpolationData data;
    std::memset(&data, 0, sizeof data);
    int status = Rbf_FactorInterpolation(N, centres, kernel, options, &data, reporter);
    if (status == 0) status = Rbf_SolveInterpolation(N, values, &data, coefficients, centre, reporter);
    Rbf_FreeInterpolation(&data);
    return status;
}

// Factoring subdomains and holding their factors within a byte budget.
#include "surface/fit/subdomain_factor.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "surface/frame/basic_function.h"
#include "surface/fit/cholesky.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_matrix.h"

namespace {

// The largest subdomain, counted afresh.
int32_t LargestCount(const SDData* sd) {
    int32_t largest = 1;
    for (int32_t i = 0; i < sd->count; ++i)
        if (sd->subdomains[i].count > largest) largest = sd->subdomains[i].count;
    return largest;
}

void MeanCentre(const SubdomainSystem& sys, int32_t n, double* centre) {
    for (int32_t k = 0; k < 3; ++k) centre[k] = 0.0;
    for (int32_t i = 0; i < n; ++i)
        for (int32_t k = 0; k < sys.d; ++k) centre[k] += sys.centres[i][k];
    for (int32_t k = 0; k < sys.d; ++k) centre[k] *= 1.0 / n;
}

// Copies the factor and the weights out of the work buffers into storage of
// listCapacity - s rows.
int StoreFactor(Subdomain* s, const SubdomainSystem& sys, int32_t spanning) {
    const int32_t rows = s->listCapacity - spanning, used = s->count - spanning;
    double** factor = Mem_AllocLowerTriangle(rows);
    double** weights = sys.m > 0 ? Mem_AllocMatrix(rows, sys.m) : nullptr;
    if (!factor || (sys.m > 0 && !weights)) {
        Mem_FreeMatrix(factor);
        Mem_FreeMatrix(weights);
        return CoreStatus_NoMemory;
    }
    for (int32_t i = 0; i < used; ++i) {
        std::memcpy(factor[i], sys.triangle[i], sizeof(double) * static_cast<std::size_t>(i + 1));
        if (weights) std::memcpy(weights[i], sys.lambda[i], sizeof(double) * sys.m);
    }
    Subdomain_DropFactor(s);
    s->factor = factor;
    s->polyMatrix = weights;
    return 0;
}

}  // namespace

int64_t Subdomain_FactorBytes(int32_t c, int32_t s, int32_t m) {
    const int64_t r = c - s;
    return (r * (r + 1) / 2 + static_cast<int64_t>(c) * (m + 1)) * 8 - 4 * static_cast<int64_t>(s);
}

// Spanning set, reordering, forming and factoring into the work buffers.
// *spanning receives s.
static int FactorIntoWork(double* const* centres, Subdomain* s, SubdomainSystem* work, int32_t* spanning,
                          bool chooseSpanning) {
    if (s->numOuter < work->m) return CoreStatus_NotEnoughPoints;
    if (s->count > work->size) {
        const int status = SubdomainSystem_Reserve(work, s->count);
        if (status != 0) return status;
    }
    SubdomainSystem_LoadCentres(work, centres, s->list, s->count);
    int32_t e = s->unisolventCount;
    if (chooseSpanning || (e == 0 && work->m > 0)) {
        const int status = SubdomainSystem_ChooseSpanning(work, s->list, s->numOuter, &e);
        if (status != 0) return status;
        s->unisolventCount = e;
    }
    MeanCentre(*work, s->count, s->centre);
    const int status = SubdomainSystem_FormAndFactor(work, s->count, &e, s->centre);
    s->unisolventCount = e;
    *spanning = e;
    return status;
}

int DomDecomp_FactorSubdomain(double* const* centres, Subdomain* s, const BasicFunctionKernel* kernel, double shift,
                              SubdomainSystem* work, double* total) {
    work->shift = shift;
    int32_t spanning = 0;
    int status = FactorIntoWork(centres, s, work, &spanning, true);
    if (status == 0) status = StoreFactor(s, *work, spanning);
    if (status == 0 && total) *total += static_cast<double>(Subdomain_FactorBytes(s->listCapacity, spanning, work->m));
    return status;
}

int DomDecomp_FactorOne(double* const* centres, Subdomain* s, const BasicFunctionKernel* kernel, double shift) {
    SubdomainSystem work;
    int status = SubdomainSystem_Alloc(&work, s->count, kernel, shift);
    if (status == 0) status = DomDecomp_FactorSubdomain(centres, s, kernel, shift, &work, nullptr);
    SubdomainSystem_Free(&work);
    return status;
}

int DomDecomp_SetupPreconditioner(double* const* centres, SDData* sd, const BasicFunctionKernel* kernel, double rho,
                                  double budget, double* bytesStored, double* progress, double progressEnd,
                                  const volatile int32_t* cancel) {
    sd->badSubdomain = -1;
    if (bytesStored) *bytesStored = 0.0;
    const double shift = std::fabs(rho) * kernel->Sign;
    SubdomainSystem work;
    int status = SubdomainSystem_Alloc(&work, LargestCount(sd), kernel, shift);
    if (status != 0) return status;
    double step = 0.0;
    if (progress && sd->count > 0) step = std::fmax((progressEnd - *progress) / sd->count, 0.0);
    double stored = 0.0;
    int32_t i = 0;
    for (; i < sd->count; ++i) {
        if (stored >= budget) break;
        if (progress) *progress += step;
        Subdomain* s = &sd->subdomains[i];
        if (!s->factor) {
            status = DomDecomp_FactorSubdomain(centres, s, kernel, shift, &work, &stored);
            if (status != 0 && status != CoreStatus_UserAbort) {
                sd->badSubdomain = i;
                break;
            }
        }
        if (cancel && *cancel) {
            status = CoreStatus_UserAbort;
            break;
        }
    }
    sd->numFactors = i;
    SubdomainSystem_Free(&work);
    if (bytesStored) *bytesStored = stored;
    return status;
}

int64_t DomDecomp_MissingFactorBytes(const SDData* sd, int32_t m) {
    int64_t total = 0;
    for (int32_t i = 0; i < sd->count; ++i) {
        const Subdomain& s = sd->subdomains[i];
        if (!s.factor) total += Subdomain_FactorBytes(s.count, s.unisolventCount, m);
    }
    return total;
}

int64_t DomDecomp_HeldFactorBytes(const SDData* sd, int32_t m) {
    int64_t total = 0;
    for (int32_t i = 0; i < sd->count; ++i) {
        const Subdomain& s = sd->subdomains[i];
        if (s.factor) total += Subdomain_FactorBytes(s.count, s.unisolventCount, m);
    }
    return total;
}

int64_t DomDecomp_TotalBytes(const SDData* sd, int32_t m, int32_t d) {
    if (!sd || sd->count == 0) return 0;
    const int64_t a = sd->maxSize;
    return (32 * m + 8) * static_cast<int64_t>(m) + (2 * m + a * (d + 2 * m + a + 3)) * 8 + 20 * a;
}

int64_t DomDecomp_WorkBytes(const SDData* sd, int32_t m, int32_t d) {
    const int64_t a = sd->maxSize;
    return 12 * a + (m * (a + 4 * m + 3) + a * (a + 1) / 2 + a * d) * 8;
}

// ---- Local solves ----

void DomDecomp_SolveSubdomain(const Subdomain* s, int32_t spanning, double* const* factor, double* const* weights,
                              const double* r, double* x, double* values) {
    const int32_t n = s->count;
    for (int32_t i = 0; i < n; ++i) values[i] = r[s->list[i]];
    for (int32_t i = spanning; i < n; ++i) {
        long double g = values[i];
        for (int32_t j = 0; j < spanning; ++j) g -= static_cast<long double>(values[j]) * weights[i - spanning][j];
        values[i] = static_cast<double>(g);
    }
    Cholesky_LDLSolveTail(n - spanning, n - s->numOuter, factor, values + spanning);
    for (int32_t i = s->numOuter; i < n; ++i) x[s->list[i]] = values[i];
}

int DomDecomp_ApplySubdomains(double* const* centres, SDData* sd, double* x, const double* r,
                              const BasicFunctionKernel* kernel, double rho, double* progress, double step,
                              const volatile int32_t* cancel) {
    SubdomainSystem work;
    int status = SubdomainSystem_Alloc(&work, LargestCount(sd), kernel, std::fabs(rho) * kernel->Sign);
    for (int32_t i = 0; status == 0 && i < sd->count; ++i) {
        Subdomain* s = &sd->subdomains[i];
        if (s->factor) continue;
        int32_t spanning = 0;
        status = FactorIntoWork(centres, s, &work, &spanning, false);
        if (status != 0) break;
        DomDecomp_SolveSubdomain(s, spanning, work.triangle, work.lambda, r, x, work.row);
        if (progress) *progress += step;
        if (cancel && *cancel) status = CoreStatus_UserAbort;
    }
    SubdomainSystem_Free(&work);
    return status;
}

int DomDecomp_ApplyPreconditioner(double* const* centres, SDData* sd, double* x, const double* r,
                                  const BasicFunctionKernel* kernel, double rho, double* progress, double progressEnd,
                                  const volatile int32_t* cancel) {
    double step = 0.0;
    if (progress && sd->count > 0) step = std::fmax((progressEnd - *progress) / sd->count, 0.0);
    // Scratch of the stored factors' solves: two values per point of the
    // largest subdomain, counted in 64 bits (twice a count can pass int32).
    const int64_t length = 2 * static_cast<int64_t>(LargestCount(sd));
    if (length > INT32_MAX) return CoreStatus_NoMemory;
    double* values = Mem_AllocDoubles(static_cast<int32_t>(length));
    if (!values) return CoreStatus_NoMemory;
    int status = DomDecomp_ApplySubdomains(centres, sd, x, r, kernel, rho, progress, step, cancel);
    if (status != 0) {
        Mem_Free(values);
        return status;
    }
    for (int32_t i = 0; i < sd->count; ++i) {
        const Subdomain* s = &sd->subdomains[i];
        if (!s->factor) continue;
        DomDecomp_SolveSubdomain(s, s->unisolventCount, s->factor, s->polyMatrix, r, x, values);
        if (progress) *progress += step;
        if (cancel && *cancel) {
            status = CoreStatus_UserAbort;
            break;
        }
    }
    Mem_Free(values);
    return status;
}

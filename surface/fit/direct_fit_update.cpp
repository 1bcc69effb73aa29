// Direct interpolation: growing a factored system by appended centres and
// shrinking it by removed ones, without refactoring.
#include <cmath>
#include <cstring>

#include "surface/fit/cholesky.h"
#include "surface/fit/direct_fit.h"
#include "surface/fit/direct_fit_rows.h"
#include "surface/fit/poly_terms.h"
#include "surface/frame/basic_function.h"
#include "surface/frame/core_reporter.h"
#include "surface/frame/reporter.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_matrix.h"
#include "surface/search/index_sort.h"

namespace {

void Error(const CoreReporter* reporter, const char* text) {
    if (CoreReporter_Speaks(reporter, 1)) CoreReporter_Error(reporter, "%s", text);
}

void Updated(const CoreReporter* reporter) {
    if (CoreReporter_SpeaksIn(reporter, 5, kCategoryDirectFit))
        CoreReporter_Info(reporter, "Interpolation data updated");
}

// Room for newN centres in the per-centre arrays and newN - e factor rows.
int Grow(InterpolationData* d, int32_t newN) {
    const int32_t m = d->Kernel->PolyTerms;
    if (d->Capacity < newN) {
        int32_t capacity = static_cast<int32_t>(newN * d->Options.MallocRatio);
        if (capacity < newN) capacity = newN;
        d->Work = static_cast<double*>(Mem_Realloc(d->Work, sizeof(double) * capacity));
        d->Order = static_cast<int32_t*>(Mem_Realloc(d->Order, sizeof(int32_t) * capacity));
        if (m > 0) {
            d->Lambda = Mem_ReallocMatrix(d->Lambda, capacity, m);
            d->B = Mem_ReallocMatrixRows(d->B, m, d->Capacity, capacity);
        }
        if (!d->Work || !d->Order || (m > 0 && (!d->Lambda || !d->B))) return CoreStatus_NoMemory;
        d->Capacity = capacity;
    }
    if (d->FactorCapacity < newN) {
        const int32_t rows = d->Options.MaxCholeskySize < d->Capacity ? d->Options.MaxCholeskySize : d->Capacity;
        d->Factor = Mem_ReallocTriangle(d->Factor, rows - d->SubsetCount);
        if (!d->Factor) return CoreStatus_NoMemory;
        d->FactorCapacity = rows;
    }
    return 0;
}

// The working arrays of one call of Rbf_AddCentres.
struct Appending {
    double** centres = nullptr;  // all centres in factor order
    double** halves = nullptr;   // h(k) of every centre outside the subset
    double* kernelRow = nullptr;
    double* monomials = nullptr;
    double* scaled = nullptr;  // Φ11·Λ(w)ᵀ
    ~Appending() {
        Mem_FreeMatrix(centres);
        Mem_FreeMatrix(halves);
        Mem_Free(kernelRow);
        Mem_Free(monomials);
        Mem_Free(scaled);
    }
};

// Appends the reduced row of the centre at factor position w.
int AppendCentre(InterpolationData* d, int32_t w, double shift, Appending* a) {
    const BasicFunctionKernel* k = d->Kernel;
    const int32_t e = d->SubsetCount, m = k->PolyTerms;
    double* row = d->Factor[w - e];
    k->FillRows(k, w + 1, a->centres, 1, &w, &a->kernelRow);
    a->kernelRow[w] += shift;
    if (m > 0) {
        int32_t exponents[3];
        Poly_MonomialRows(k->Dim, k->PolyDegree, d->PolyCentre, a->centres[w], a->monomials, exponents);
        for (int32_t j = 0; j < e; ++j) d->B[j][w] = a->kernelRow[j];
        DirectFit_Lagrange(d, m, a->monomials, d->Lambda[w - e]);
        DirectFit_HalfCorrection(d, w, d->Lambda[w - e], a->halves[w - e]);
    }
    for (int32_t c = e; c <= w; ++c)
        row[c - e] = m > 0 ? DirectFit_Reduced(a->kernelRow[c], e, d->Lambda[w - e], a->halves[w - e], d->Lambda[c - e],
                                               a->halves[c - e])
                           : a->kernelRow[c];
    return Cholesky_AppendRow(d->Factor, row, w - e);
}

int PrepareAppending(InterpolationData* d, int32_t newN, double* const* centres, Appending* a) {
    const BasicFunctionKernel* k = d->Kernel;
    const int32_t m = k->PolyTerms, e = d->SubsetCount;
    a->centres = Mem_AllocMatrix(newN, k->Dim);
    a->kernelRow = Mem_AllocDoubles(newN);
    if (m > 0) {
        a->halves = Mem_AllocMatrix(newN - e, e > 0 ? e : 1);
        a->monomials = Mem_AllocDoubles(m);
    }
    if (!a->centres || !a->kernelRow || (m > 0 && (!a->halves || !a->monomials))) return CoreStatus_NoMemory;
    for (int32_t p = 0; p < newN; ++p) std::memcpy(a->centres[p], centres[d->Order[p]], sizeof(double) * k->Dim);
    if (m > 0)
        for (int32_t i = e; i < d->N; ++i) DirectFit_HalfCorrection(d, i, d->Lambda[i - e], a->halves[i - e]);
    return 0;
}

bool Aborted(const CoreReporter* reporter) { return reporter && CoreReporter_AbortRequested(reporter); }

}  // namespace

int Rbf_AddCentres(int32_t newN, double* const* centres, InterpolationData* data, const CoreReporter* reporter) {
    const char* fault = newN <= 0                              ? "NumCentres is not positive"
                        : centres == nullptr                   ? "Centres array is NULL"
                        : data == nullptr                      ? "Data array is NULL"
                        : !data->Initialised                   ? "Cholesky data is not initialized"
                        : newN < data->N                       ? "Number of new centres is negative"
                        : newN > data->Options.MaxCholeskySize ? "Too many centres for choleksy fit"
                                                               : nullptr;
    if (fault) {
        Error(reporter, fault);
        return CoreStatus_InvalidInput;
    }
    if (newN == data->N) return 0;
    const int32_t oldN = data->N;
    data->N = newN;
    int status = Grow(data, newN);
    if (status != 0) return status;
    // The new centres keep their places: they follow the existing ones.
    for (int32_t p = oldN; p < newN; ++p) data->Order[p] = p;
    Appending a;
    status = PrepareAppending(data, newN, centres, &a);
    if (status != 0) return status;
    const double shift = std::fabs(data->Options.Rho) * data->Kernel->Sign;
    for (int32_t w = oldN; w < newN; ++w) {
        if (Aborted(reporter)) return CoreStatus_UserAbort;
        status = AppendCentre(data, w, shift, &a);
        if (status != 0) return status;
    }
    Updated(reporter);
    return 0;
}

int Rbf_RemoveCentres(int32_t count, const int32_t* indices, InterpolationData* data, double* const* centres,
                      const CoreReporter* reporter) {
    const char* fault = count <= 0           ? "Number of centres to remove is not positive"
                        : indices == nullptr ? "Centres to remove array is NULL"
                        : data == nullptr    ? "Data array is NULL"
                        : !data->Initialised ? "Interpolation data is not initialized"
                                             : nullptr;
    if (fault) {
        Error(reporter, fault);
        return CoreStatus_InvalidInput;
    }
    const int32_t e = data->SubsetCount, N = data->N, m = data->Kernel->PolyTerms;
    for (int32_t i = 0; i < count; ++i) {
        if (indices[i] < e || indices[i] >= N) {
            Error(reporter, "Centres to remove indices outside of range");
            return CoreStatus_InvalidInput;
        }
    }
    int32_t* order = Mem_AllocInts(count);
    int32_t* newPlace = Mem_AllocInts(N);
    if (!order || !newPlace) {
        Mem_Free(order);
        Mem_Free(newPlace);
        return CoreStatus_NoMemory;
    }
    // A cancelled sort leaves its output unfinished: nothing is changed then.
    int status = Index_HeapSortInt(indices, order, count, reporter ? reporter->abort : nullptr);
    for (int32_t i = 1; status == 0 && i < count; ++i) {
        if (indices[order[i]] == indices[order[i - 1]]) {
            Error(reporter, "Centres to remove contain a repeated index");
            status = CoreStatus_InvalidInput;
        }
    }
    if (status != 0) {
        Mem_Free(order);
        Mem_Free(newPlace);
        return status;
    }
    // newPlace: per place of the caller's order, -1 once removed.
    for (int32_t i = 0; i < N; ++i) newPlace[i] = 0;
    int32_t size = N;
    for (int32_t i = count - 1; i >= 0 && status == 0; --i) {
        const int32_t p = indices[order[i]];
        status = Cholesky_RemoveRow(data->Factor, size - e, p - e, data->Work);
        if (status != 0) break;
        newPlace[data->Order[p]] = -1;
        for (int32_t q = p + 1; q < size; ++q) {
            data->Order[q - 1] = data->Order[q];
            if (m > 0) std::memcpy(data->Lambda[q - 1 - e], data->Lambda[q - e], sizeof(double) * m);
            for (int32_t j = 0; j < e; ++j) data->B[j][q - 1] = data->B[j][q];
        }
        --size;
    }
    if (status == 0) {
        // The caller's order closes up over the removed centres.
        int32_t kept = 0;
        for (int32_t place = 0; place < N; ++place) {
            if (newPlace[place] < 0) continue;
            if (centres && kept != place)
                std::memcpy(centres[kept], centres[place], sizeof(double) * data->Kernel->Dim);
            newPlace[place] = kept++;
        }
        for (int32_t p = 0; p < size; ++p) data->Order[p] = newPlace[data->Order[p]];
        data->N = size;
        Updated(reporter);
    }
    Mem_Free(order);
    Mem_Free(newPlace);
    return status;
}

// Updating a subdomain's factor in place: rows of removed points come out,
// rows of changed points are replaced, rows of new points go in, each in
// O(n²) instead of a new factorisation.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "surface/fit/cholesky.h"
#include "surface/fit/subdomain_update.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_matrix.h"
#include "surface/frame/tracked_memory.h"

void DDFitContext_Init(DDFitContext* context, const BasicFunctionKernel* kernel, double rho) {
    context->Kernel = *kernel;
    context->Dim = kernel->Dim;
    context->PolyTerms = kernel->PolyTerms > 0 ? kernel->PolyTerms : 0;
    context->Sign = kernel->Sign;
    context->DiagonalShift = std::fabs(rho) * kernel->Sign;
}

int SubdomainUpdateWork_Init(SubdomainUpdateWork* work, int32_t size, const BasicFunctionKernel* kernel, double shift) {
    std::memset(work, 0, sizeof(*work));
    int status = SubdomainSystem_Alloc(&work->sys, size, kernel, shift);
    if (status != 0) return status;
    work->capacity = size + 1;
    work->rows = Mem_AllocDoubles(4 * work->capacity);
    if (work->rows) return 0;
    SubdomainSystem_Free(&work->sys);
    return CoreStatus_NoMemory;
}

void SubdomainUpdateWork_Free(SubdomainUpdateWork* work) {
    SubdomainSystem_Free(&work->sys);
    Mem_Free(work->rows);
    std::memset(work, 0, sizeof(*work));
}

namespace {

int Reserve(SubdomainUpdateWork* work, int32_t size) {
    if (size + 1 <= work->capacity && size <= work->sys.size) return 0;
    int status = SubdomainSystem_Reserve(&work->sys, size);
    Mem_Free(work->rows);
    work->capacity = size + 1;
    work->rows = Mem_AllocDoubles(4 * work->capacity);
    if (status == 0 && !work->rows) status = CoreStatus_NoMemory;
    return status;
}

// The subdomain and its factor while rows change: positions count list
// entries; rows of the factor and of the weights are positions from p on.
struct Rows {
    Subdomain* s;
    SubdomainSystem* sys;
    double* const* points;
    int32_t p;
    int32_t n;  // current count
    double* rowA;
    double* rowB;
    double* scratch;
    double* work;

    int32_t m() const { return sys->m; }
    double* Weights(int32_t pos) const { return s->polyMatrix ? s->polyMatrix[pos - p] : nullptr; }

    void CopyPosition(int32_t to, int32_t from) {
        s->list[to] = s->list[from];
        std::memcpy(sys->centres[to], sys->centres[from], sizeof(double) * sys->d);
        if (p > 0) {
            std::memcpy(sys->H[to], sys->H[from], sizeof(double) * p);
            std::memcpy(Weights(to), Weights(from), sizeof(double) * m());
        }
    }
    // Entries from pos on move down one place.
    void CloseAt(int32_t pos) {
        for (int32_t i = pos; i + 1 < n; ++i) CopyPosition(i, i + 1);
        --n;
    }
    // Entries from pos on move up one place.
    void OpenAt(int32_t pos) {
        for (int32_t i = n; i > pos; --i) CopyPosition(i, i - 1);
        ++n;
    }
    // Stores a point at pos with its Lagrange values and h.
    void SetPoint(int32_t pos, int32_t index) {
        s->list[pos] = index;
        std::memcpy(sys->centres[pos], points[index], sizeof(double) * sys->d);
        if (p == 0) return;
        double* lambda = Weights(pos);
        SubdomainSystem_Lagrange(sys, p, s->centre, sys->centres[pos], lambda);
        double* b = scratch;
        sys->kernel->FillRows(sys->kernel, p, sys->centres, 1, &pos, &b);
        SubdomainSystem_Half(sys, p, b, lambda, sys->H[pos]);
    }
    void Row(int32_t pos, double* out) {
        SubdomainSystem_ReducedRow(sys, n, p, pos, Weights(pos), p > 0 ? sys->H[pos] : nullptr, s->polyMatrix, out);
    }
};

// Lowers every listed position above r by one.
void Lower(int32_t* positions, int32_t count, int32_t r) {
    for (int32_t j = 0; j < count; ++j)
        if (positions[j] > r) --positions[j];
}

int RemoveRow(Rows* rows, int32_t pos) {
    const int status = Cholesky_RemoveRow(rows->s->factor, rows->n - rows->p, pos - rows->p, rows->scratch);
    if (status != 0) return status;
    rows->CloseAt(pos);
    return 0;
}

int ReplaceRow(Rows* rows, int32_t pos, int32_t index) {
    rows->Row(pos, rows->rowA);
    rows->SetPoint(pos, index);
    rows->Row(pos, rows->rowB);
    const int32_t order = rows->n - rows->p;
    for (int32_t i = 0; i < order; ++i) rows->rowB[i] -= rows->rowA[i];
    return Cholesky_LDLReplaceRow(rows->s->factor, order, rows->rowB, pos - rows->p, rows->scratch);
}

int InsertRow(Rows* rows, int32_t pos, int32_t index) {
    const int32_t order = rows->n - rows->p;
    rows->OpenAt(pos);
    rows->SetPoint(pos, index);
    rows->Row(pos, rows->rowA);
    return Cholesky_LDLInsertRow(rows->s->factor, order, rows->rowA, pos - rows->p, rows->scratch, rows->work);
}

int AppendRow(Rows* rows, int32_t index) {
    const int32_t order = rows->n - rows->p;
    ++rows->n;
    rows->SetPoint(rows->n - 1, index);
    rows->Row(rows->n - 1, rows->rowA);
    return Cholesky_AppendRow(rows->s->factor, rows->rowA, order);
}

// The row operations of one difference, in order: removals beyond the
// replaced entries, replacements, insertions after the outer block, appends.
int ApplyRows(Rows* rows, const SubdomainDiff* diff, int32_t* outerPos, int32_t* innerPos) {
    Subdomain* s = rows->s;
    const int32_t shareOuter = std::min(diff->numNewOuter, diff->numOldOuter);
    const int32_t shareInner = std::min(diff->numNewInner, diff->numOldInner);
    // After each removal every remembered position above it moves down, so
    // that the replacements below still find their rows.
    for (int32_t j = shareOuter; j < diff->numOldOuter; ++j) {
        const int32_t r = outerPos[j];
        int status = RemoveRow(rows, r);
        if (status != 0) return status;
        --s->numOuter;
        Lower(outerPos, diff->numOldOuter, r);
        Lower(innerPos, diff->numOldInner, r);
    }
    for (int32_t j = shareInner; j < diff->numOldInner; ++j) {
        const int32_t r = innerPos[j];
        int status = RemoveRow(rows, r);
        if (status != 0) return status;
        Lower(outerPos, diff->numOldOuter, r);
        Lower(innerPos, diff->numOldInner, r);
    }
    for (int32_t j = 0; j < shareOuter; ++j) {
        int status = ReplaceRow(rows, outerPos[j], diff->newOuter[j]);
        if (status != 0) return status;
    }
    for (int32_t j = 0; j < shareInner; ++j) {
        int status = ReplaceRow(rows, innerPos[j], diff->newInner[j]);
        if (status != 0) return status;
    }
    for (int32_t j = shareOuter; j < diff->numNewOuter; ++j) {
        int status = InsertRow(rows, s->numOuter, diff->newOuter[j]);
        if (status != 0) return status;
        ++s->numOuter;
    }
    for (int32_t j = shareInner; j < diff->numNewInner; ++j) {
        int status = AppendRow(rows, diff->newInner[j]);
        if (status != 0) return status;
    }
    return 0;
}

// Room for newCount entries in the list, the factor and the weights.
int Grow(Subdomain* s, int32_t newCount, int32_t p, int32_t m) {
    if (newCount <= s->listCapacity) return 0;
    void* list = Mem_Realloc(s->list, sizeof(int32_t) * static_cast<std::size_t>(newCount));
    if (!list) {
        s->list = nullptr;
        s->count = s->numOuter = s->listCapacity = 0;
        Subdomain_DropFactor(s);
        return CoreStatus_NoMemory;
    }
    s->list = static_cast<int32_t*>(list);
    s->listCapacity = newCount;
    if (s->factor) {
        s->factor = Mem_ReallocTriangle(s->factor, newCount - p);
        if (s->polyMatrix) s->polyMatrix = Mem_ReallocMatrix(s->polyMatrix, newCount - p, m);
        if (!s->factor || (m > 0 && !s->polyMatrix)) {
            Subdomain_DropFactor(s);
            return CoreStatus_NoMemory;
        }
    }
    return 0;
}

void WidenOuterBox(Subdomain* s, double* const* points, int32_t d, const SubdomainDiff* diff) {
    for (int32_t j = 0; j < diff->numNewOuter; ++j)
        for (int32_t k = 0; k < d; ++k) {
            const double x = points[diff->newOuter[j]][k];
            s->outerBox[k] = std::fmin(s->outerBox[k], x);
            s->outerBox[d + k] = std::fmax(s->outerBox[d + k], x);
        }
}

}  // namespace

int Subdomain_UpdateFactor(Subdomain* s, const SubdomainDiff* diff, double* const* points, const DDFitContext* context,
                           SubdomainUpdateWork* work, double shift) {
    const int32_t p = s->unisolventCount, m = context->PolyTerms;
    const int32_t grown = s->count + diff->numNewInner + diff->numNewOuter - diff->numOldInner - diff->numOldOuter;
    const int32_t newCount = std::max(grown, s->count);
    int status = Grow(s, newCount, p, m);
    if (status != 0) return status;
    if (s->outerBox) WidenOuterBox(s, points, context->Dim, diff);
    bool spanningRemoved = false;
    for (int32_t j = 0; j < diff->numOldOuter; ++j) spanningRemoved |= diff->oldOuterPos[j] < p;
    if (s->count < 7 * diff->numNewOuter) {
        Subdomain_DropFactor(s);
        Subdomain_ApplyDiff(s, diff);
        // Closing up the outer block may move another point into the place of
        // a removed spanning point: the spanning set is then no longer known.
        if (spanningRemoved) s->unisolventCount = 0;
        return CoreStatus_SubdomainNotUpdated;
    }
    if (!s->factor) {
        Subdomain_ApplyDiff(s, diff);
        s->unisolventCount = 0;
        return 0;
    }
    if (spanningRemoved) {
        Subdomain_ApplyDiff(s, diff);
        Subdomain_DropFactor(s);
        s->unisolventCount = 0;
        return CoreStatus_SubdomainNotUpdated;
    }
    status = Reserve(work, newCount + 1);
    if (status != 0) return status;
    SubdomainSystem* sys = &work->sys;
    sys->shift = shift;
    SubdomainSystem_LoadCentres(sys, points, s->list, s->count);
    if (diff->numNewInner + diff->numNewOuter > 0 && p > 0) {
        status = SubdomainSystem_SubsetData(sys, s->count, p, s->centre);
        if (status != 0) return status;
    }
    double* base = work->rows;
    Rows rows{
        s, sys, points, p, s->count, base, base + work->capacity, base + 2 * work->capacity, base + 3 * work->capacity};
    // Positions are lowered as rows go; work on copies.
    int32_t* outerPos = diff->work[0];
    int32_t* innerPos = diff->work[1];
    std::copy(diff->oldOuterPos, diff->oldOuterPos + diff->numOldOuter, outerPos);
    std::copy(diff->oldInnerPos, diff->oldInnerPos + diff->numOldInner, innerPos);
    status = ApplyRows(&rows, diff, outerPos, innerPos);
    s->count = rows.n;
    return status;
}

// Splitting a subdomain whose inner set outgrew its limit, and the older
// update over a caller's list of new points.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "surface/fit/spatial_division.h"
#include "surface/fit/subdomain_update.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_matrix.h"
#include "surface/frame/tracked_memory.h"

namespace {

// The split's local point set: inner candidates (new inner, then old
// inner), then old outer, then new outer, as global indices and as a
// table of point references.
struct LocalSet {
    int32_t* global = nullptr;
    double** table = nullptr;
    int32_t count = 0;
    int32_t numInner = 0;
    ~LocalSet() {
        Mem_Free(global);
        Mem_Free(table);
    }
    bool Build(const Subdomain& s, const SubdomainDiff& diff, double* const* points) {
        const int32_t oldInner = s.count - s.numOuter;
        numInner = diff.numNewInner + oldInner;
        count = numInner + s.numOuter + diff.numNewOuter;
        global = Mem_AllocInts(count);
        table = static_cast<double**>(Mem_Alloc(sizeof(double*) * static_cast<std::size_t>(count)));
        if (!global || !table) return false;
        int32_t* at = std::copy(diff.newInner, diff.newInner + diff.numNewInner, global);
        at = std::copy(s.list + s.numOuter, s.list + s.count, at);
        at = std::copy(s.list, s.list + s.numOuter, at);
        std::copy(diff.newOuter, diff.newOuter + diff.numNewOuter, at);
        for (int32_t i = 0; i < count; ++i) table[i] = points[global[i]];
        return true;
    }
};

// One new subdomain per panel at the end of the array; *made counts them.
int SetupPanels(SDData* sd, int32_t d, const LocalSet& local, const SpatialPanel* panels, int32_t numPanels,
                const int32_t* firstList, const volatile int32_t* cancel, int32_t* made) {
    KdTreeN tree{};
    SubdomainBuilder builder{};
    int status = KdTreeN_Build(local.count, d, local.table, &tree, nullptr, cancel);
    if (status == 0)
        status = DomDecomp_SubdomainSolveInit(&builder, sd, d, local.count, local.table, &tree, sd->box, cancel);
    for (int32_t j = 0; status == 0 && j < numPanels; ++j) {
        Subdomain* s = &sd->subdomains[sd->count + j];
        std::memset(s, 0, sizeof(*s));
        ++*made;
        const SpatialPanel& p = panels[j];
        status = Subdomain_Setup(&builder, s, firstList + p.start, p.end - p.start, p.box);
        if (status != 0) break;
        for (int32_t i = 0; i < s->count; ++i) s->list[i] = local.global[s->list[i]];
        sd->maxSize = std::max(sd->maxSize, s->count);
    }
    DomDecomp_SubdomainSolveFree(&builder);
    KdTreeN_Free(&tree);
    return status;
}

}  // namespace

int Subdomain_UpdateOne(int32_t d, SDData* sd, int32_t index, const SubdomainDiff* diff, double* const* points,
                        const volatile int32_t* cancel) {
    Subdomain* split = &sd->subdomains[index];
    LocalSet local;
    if (!local.Build(*split, *diff, points)) return CoreStatus_NoMemory;
    int32_t** lists = Mem_AllocIntMatrix(d, local.numInner);
    if (!lists) return CoreStatus_NoMemory;
    SpatialPanel* panels = nullptr;
    int32_t numPanels = 0;
    double box[6];
    std::memcpy(box, split->innerBox, sizeof(double) * 2 * static_cast<std::size_t>(d));
    int status = SpatialDivision_Build(local.numInner, local.table, d, sd->options.MaxPoints, &panels, &numPanels,
                                       lists, box, 1, cancel);
    if (status == 0 && numPanels == 1) status = CoreStatus_Failure;
    if (status == 0 && sd->capacity < sd->count + numPanels) status = CoreStatus_SubdomainNotUpdated;
    if (status == 0) {
        int32_t made = 0;
        status = SetupPanels(sd, d, local, panels, numPanels, lists[0], cancel, &made);
        sd->count += made;
        if (status == 0) {
            Subdomain_Free(split);
            *split = sd->subdomains[sd->count - 1];
            std::memset(&sd->subdomains[sd->count - 1], 0, sizeof(Subdomain));
            --sd->count;
        }
    }
    SpatialDivision_Free(panels, numPanels);
    Mem_FreeIntMatrix(lists);
    return status;
}

int Subdomain_Rebuild(SDData* sd, double* const* points, int32_t d, const int32_t* newPoints, int32_t numNew, double x,
                      const DDFitContext* context) {
    if (!sd || !points || !newPoints || !context) return CoreStatus_NullArgument;
    if (numNew <= 0) return 0;
    double** table = static_cast<double**>(Mem_Alloc(sizeof(double*) * static_cast<std::size_t>(numNew)));
    if (!table) return CoreStatus_NoMemory;
    for (int32_t i = 0; i < numNew; ++i) table[i] = points[newPoints[i]];
    KdTreeN tree{};
    SubdomainDiff diff{};
    SubdomainUpdateWork work{};
    int32_t* found = Mem_AllocInts(numNew);
    int status = found ? KdTreeN_Build(numNew, d, table, &tree, nullptr, nullptr) : CoreStatus_NoMemory;
    if (status == 0) status = SubdomainDiff_Alloc(sd->maxSize + numNew, &diff);
    const double shift = std::fabs(x) * context->Sign;
    if (status == 0) status = SubdomainUpdateWork_Init(&work, sd->maxSize + 1, &context->Kernel, shift);
    int32_t inner = 0;
    for (int32_t i = 0; status == 0 && i < sd->count; ++i) {
        Subdomain* s = &sd->subdomains[i];
        const int32_t count = KdTreeN_CollectInBox(&tree, s->outerBox, numNew, found);
        if (count == 0) continue;
        diff.numNewInner = diff.numNewOuter = diff.numOldInner = diff.numOldOuter = 0;
        for (int32_t j = 0; j < count; ++j) {
            const double* p = table[found[j]];
            bool in = true;
            for (int32_t k = 0; k < d; ++k) in = in && p[k] >= s->innerBox[k] && p[k] < s->innerBox[d + k];
            if (in)
                diff.newInner[diff.numNewInner++] = newPoints[found[j]];
            else
                diff.newOuter[diff.numNewOuter++] = newPoints[found[j]];
        }
        inner += diff.numNewInner;
        status = Subdomain_UpdateFactor(s, &diff, points, context, &work, shift);
        if (status == CoreStatus_SubdomainNotUpdated) status = 0;
    }
    SubdomainUpdateWork_Free(&work);
    SubdomainDiff_Free(&diff);
    KdTreeN_Free(&tree);
    Mem_Free(found);
    Mem_Free(table);
    if (status != 0) return status;
    return inner != numNew ? CoreStatus_Failure : 0;
}

// Updating every subdomain of a decomposition for appended points: the
// refusals, then per subdomain its new points, a factor update or a split.
#include <algorithm>
#include <cmath>

#include "surface/frame/core_reporter.h"
#include "surface/fit/subdomain_update.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"

namespace {

bool SaysInfo(const CoreReporter* r) { return CoreReporter_SpeaksIn(r, 5, kCategorySubdomainUpdate); }

int Refuse(const CoreReporter* r, const char* text) {
    if (SaysInfo(r)) CoreReporter_Info(r, "%s", text);
    return CoreStatus_SubdomainNotUpdated;
}

bool InBox(const double* box, const double* p, int32_t d) {
    for (int32_t k = 0; k < d; ++k)
        if (p[k] < box[k] || p[k] >= box[d + k]) return false;
    return true;
}

// Everything one update pass holds; freed on every path.
struct Pass {
    SDData* sd;
    double* const* points;
    int32_t d, b, c, numNew, limit;
    double shift;
    const DDFitContext* context;
    const CoreReporter* reporter;
    KdTreeN newTree{};  // over the new points
    KdTreeN allTree{};  // over all points (second mode)
    SubdomainBuilder builder{};
    SubdomainDiff diff{};
    SubdomainUpdateWork work{};
    int32_t* found = nullptr;
    int32_t* enlarged = nullptr;
    int32_t updated = 0, splits = 0, changes = 0, largest = 0, newInner = 0;

    ~Pass() {
        KdTreeN_Free(&newTree);
        KdTreeN_Free(&allTree);
        DomDecomp_SubdomainSolveFree(&builder);
        SubdomainDiff_Free(&diff);
        SubdomainUpdateWork_Free(&work);
        Mem_Free(found);
        Mem_Free(enlarged);
    }
    const volatile int32_t* Cancel() const { return reporter ? reporter->abort : nullptr; }
};

// Checks 2 and 3 (check 1 needs nothing built).
int Refusals(Pass* pass) {
    SDData* sd = pass->sd;
    const int32_t n = sd->count, d = pass->d;
    const int32_t perSubdomain = std::max(pass->numNew / std::max(n, 1), 1);
    int32_t full = 0;
    for (int32_t i = 0; i < n; ++i) {
        const Subdomain& s = sd->subdomains[i];
        if (s.count - s.numOuter >= pass->limit - perSubdomain) ++full;
    }
    if (full > 0.3 * n || sd->capacity < n + full) return Refuse(pass->reporter, "Predict poor quality update.");
    double bounds[6];
    int status = KdTreeN_Build(pass->numNew, d, pass->points + pass->b, &pass->newTree, bounds, pass->Cancel());
    if (status != 0) return status;
    for (int32_t k = 0; k < d; ++k) {
        const double lo = sd->box[k], hi = sd->box[d + k];
        const double nlo = bounds[k], nhi = bounds[d + k];
        if (nlo < lo || nlo >= hi || nhi < lo || nhi >= hi)
            return Refuse(pass->reporter, "New points not inside existing bounding box.");
    }
    return 0;
}

// The first mode's change of one subdomain: the new points in its outer
// box, inner when inside its inner box.
int32_t OuterBoxChange(Pass* pass, const Subdomain& s) {
    SubdomainDiff& diff = pass->diff;
    diff.numNewInner = diff.numNewOuter = diff.numOldInner = diff.numOldOuter = 0;
    const int32_t count = KdTreeN_CollectInBox(&pass->newTree, s.outerBox, pass->numNew, pass->found);
    for (int32_t j = 0; j < count; ++j) {
        const int32_t index = pass->b + pass->found[j];
        if (InBox(s.innerBox, pass->points[index], pass->d))
            diff.newInner[diff.numNewInner++] = index;
        else
            diff.newOuter[diff.numNewOuter++] = index;
    }
    return count;
}

// The second mode's change: the new points near the inner box that fall in
// it become inner; the outer search of the enlarged inner set over all
// points gives the new outer points.
int WidenedChange(Pass* pass, const Subdomain& s, int32_t* found) {
    SubdomainDiff& diff = pass->diff;
    const int32_t d = pass->d;
    diff.numNewInner = diff.numNewOuter = diff.numOldInner = diff.numOldOuter = 0;
    double box[6];
    for (int32_t k = 0; k < d; ++k) {
        const double half = 0.5 * (s.innerBox[d + k] - s.innerBox[k]);
        box[k] = s.innerBox[k] - half;
        box[d + k] = s.innerBox[d + k] + half;
    }
    const int32_t count = KdTreeN_CollectInBox(&pass->newTree, box, pass->numNew, pass->found);
    for (int32_t j = 0; j < count; ++j) {
        const int32_t index = pass->b + pass->found[j];
        if (InBox(s.innerBox, pass->points[index], d)) diff.newInner[diff.numNewInner++] = index;
    }
    *found = count;
    if (count == 0) return 0;
    const int32_t numInner = s.count - s.numOuter;
    std::copy(diff.newInner, diff.newInner + diff.numNewInner, pass->enlarged);
    std::copy(s.list + s.numOuter, s.list + s.count, pass->enlarged + diff.numNewInner);
    int32_t* outer = nullptr;
    int32_t numOuter = 0;
    const int status =
        Subdomain_FindOuter(&pass->builder, pass->enlarged, diff.numNewInner + numInner, &outer, &numOuter);
    if (status != 0) return status;
    for (int32_t j = 0; j < numOuter; ++j)
        if (outer[j] >= pass->b) diff.newOuter[diff.numNewOuter++] = outer[j];
    return 0;
}

void ReportBad(Pass* pass, int32_t i, int status) {
    const CoreReporter* r = pass->reporter;
    if (status == CoreStatus_UserAbort || !CoreReporter_SpeaksIn(r, 6, kCategorySubdomainUpdate)) return;
    DomDecomp_DumpBadSubdomain(pass->points, pass->d, &pass->sd->subdomains[i], i, pass->shift, pass->numNew,
                               std::fabs(pass->shift));
    SubdomainDiff_WriteMatlab(pass->c, pass->d, pass->points, &pass->diff);
    CoreReporter_Debug(r, "Bad subdomain written to files bad_subdomainX.txt\n");
}

// One subdomain: its change, then a split or a factor update.
int UpdateSubdomain(Pass* pass, int32_t i, bool widened) {
    SDData* sd = pass->sd;
    Subdomain& s = sd->subdomains[i];
    int32_t found = 0;
    if (widened) {
        const int status = WidenedChange(pass, s, &found);
        if (status != 0) return status;
    } else {
        found = OuterBoxChange(pass, s);
    }
    if (found == 0) {
        ++pass->updated;
        return 0;
    }
    const SubdomainDiff& diff = pass->diff;
    const int32_t change = widened ? diff.numNewInner + diff.numNewOuter : found;
    pass->changes += change;
    pass->largest = std::max(pass->largest, change);
    pass->newInner += diff.numNewInner;
    if (s.count - s.numOuter + diff.numNewInner > pass->limit) {
        const int status = Subdomain_UpdateOne(pass->d, sd, i, &diff, pass->points, pass->Cancel());
        if (status == CoreStatus_SubdomainNotUpdated) Refuse(pass->reporter, "Too many new subdomains.");
        if (status == 0) ++pass->splits;
        return status;
    }
    const int status = Subdomain_UpdateFactor(&s, &diff, pass->points, pass->context, &pass->work, pass->shift);
    if (status == 0) ++pass->updated;
    if (status == 0 || status == CoreStatus_SubdomainNotUpdated) return 0;
    sd->badSubdomain = i;
    ReportBad(pass, i, status);
    return status;
}

int RunPass(Pass* pass, bool widened) {
    SDData* sd = pass->sd;
    const int32_t n = sd->count;
    int status = SubdomainDiff_Alloc(sd->maxSize + pass->numNew, &pass->diff);
    if (status == 0)
        status = SubdomainUpdateWork_Init(&pass->work, sd->maxSize + 1, &pass->context->Kernel, pass->shift);
    pass->found = Mem_AllocInts(pass->numNew);
    if (status == 0 && !pass->found) status = CoreStatus_NoMemory;
    if (status == 0 && widened) {
        pass->enlarged = Mem_AllocInts(pass->c);
        if (!pass->enlarged) status = CoreStatus_NoMemory;
        if (status == 0)
            status = KdTreeN_Build(pass->c, pass->d, pass->points, &pass->allTree, nullptr, pass->Cancel());
        if (status == 0)
            status = DomDecomp_SubdomainSolveInit(&pass->builder, sd, pass->d, pass->c, pass->points, &pass->allTree,
                                                  sd->box, pass->Cancel());
    }
    for (int32_t i = 0; status == 0 && i < n; ++i) {
        if (pass->Cancel() && *pass->Cancel()) return CoreStatus_UserAbort;
        status = UpdateSubdomain(pass, i, widened);
    }
    if (status != 0) return status;
    int32_t max = 0;
    for (int32_t i = 0; i < sd->count; ++i) max = std::max(max, sd->subdomains[i].count);
    sd->maxSize = std::max(sd->maxSize, max);
    if (SaysInfo(pass->reporter))
        CoreReporter_Info(pass->reporter, "%d Subdomains: %d updated (%d max, %d avg changes), %d split", n,
                          pass->updated, pass->largest, pass->changes / std::max(n, 1), pass->splits);
    if (!widened && pass->newInner != pass->numNew) return CoreStatus_Failure;
    return 0;
}

}  // namespace

int Subdomain_UpdateAll(SDData* sd, double* const* points, int32_t d, int32_t b, int32_t c, double x,
                        const DDFitContext* context, const CoreReporter* reporter) {
    if (!sd || !points || !context) return CoreStatus_NullArgument;
    sd->badSubdomain = -1;
    if (c <= b) return 0;
    if (1.4 * b < c) return Refuse(reporter, "Too many new points.");
    Pass pass;
    pass.sd = sd;
    pass.points = points;
    pass.d = d;
    pass.b = b;
    pass.c = c;
    pass.numNew = c - b;
    pass.limit = static_cast<int32_t>(1.2 * sd->options.MaxPoints);
    pass.shift = std::fabs(x) * context->Sign;
    pass.context = context;
    pass.reporter = reporter;
    int status = Refusals(&pass);
    if (status == 0) status = RunPass(&pass, sd->options.OuterMethod != 1);
    int32_t max = 0, factors = 0;
    DomDecomp_PrintStats(sd, nullptr, &max, nullptr, &factors, reporter);
    sd->maxSize = std::max(sd->maxSize, max);
    sd->numFactors = factors;
    return status;
}

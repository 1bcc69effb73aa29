// Construction of a domain decomposition: options, sizes, the division into
// inner sets, and one subdomain per leaf panel.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "surface/frame/core_reporter.h"
#include "surface/fit/dom_decomp.h"
#include "surface/fit/spatial_division.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_matrix.h"
#include "surface/frame/tracked_memory.h"

namespace {

bool SaysInfo(const CoreReporter* r) { return CoreReporter_SpeaksIn(r, 5, kCategoryDecomposition); }

void Error(const CoreReporter* r, const char* text) {
    if (CoreReporter_Speaks(r, 1)) CoreReporter_Error(r, "%s", text);
}

const volatile int32_t* CancelFlag(const CoreReporter* r) { return r ? r->abort : nullptr; }

void BoundingBox(int32_t N, int32_t d, double* const* points, double* box) {
    for (int32_t k = 0; k < d; ++k) box[k] = box[d + k] = points[0][k];
    for (int32_t i = 1; i < N; ++i)
        for (int32_t k = 0; k < d; ++k) {
            box[k] = std::fmin(box[k], points[i][k]);
            box[d + k] = std::fmax(box[d + k], points[i][k]);
        }
}

// Sets up one subdomain per panel, in the order of the division.
int SetupPanels(SubdomainBuilder* b, SDData* sd, const SpatialPanel* panels, int32_t numPanels,
                const int32_t* firstList) {
    for (int32_t i = 0; i < numPanels; ++i) {
        if (b->cancel && *b->cancel) return CoreStatus_UserAbort;
        const SpatialPanel& p = panels[i];
        const int status = Subdomain_Setup(b, &sd->subdomains[i], firstList + p.start, p.end - p.start, p.box);
        if (status != 0) return status;
    }
    return 0;
}

// Steps 5 to 8 of the construction over the chosen options.
int BuildSubdomains(int32_t N, int32_t d, double* const* points, SDData* sd, const volatile int32_t* cancel) {
    int32_t** lists = Mem_AllocIntMatrix(d, N);
    if (!lists) return CoreStatus_NoMemory;
    SpatialPanel* panels = nullptr;
    int32_t numPanels = 0;
    const DomDecompOptions& o = sd->options;
    int status = o.Scaling != 0
                     ? SpatialDivision_BuildWeighted(N, points, d, o.MaxPoints, o.Scale, &panels, &numPanels, lists,
                                                     sd->box, 0, cancel)
                     : SpatialDivision_Build(N, points, d, o.MaxPoints, &panels, &numPanels, lists, sd->box, 0, cancel);
    KdTreeN tree = {};
    SubdomainBuilder builder = {};
    if (status == 0) status = KdTreeN_Build(N, d, points, &tree, nullptr, cancel);
    if (status == 0) status = DomDecomp_SubdomainSolveInit(&builder, sd, d, N, points, &tree, sd->box, cancel);
    if (status == 0) {
        sd->count = sd->initialCount = numPanels;
        sd->capacity = static_cast<int32_t>(numPanels * o.MallocRatio) + 1;
        sd->subdomains = static_cast<Subdomain*>(Mem_Calloc(static_cast<std::size_t>(sd->capacity), sizeof(Subdomain)));
        if (!sd->subdomains) status = CoreStatus_NoMemory;
    }
    if (status == 0) status = SetupPanels(&builder, sd, panels, numPanels, lists[0]);
    DomDecomp_SubdomainSolveFree(&builder);
    KdTreeN_Free(&tree);
    SpatialDivision_Free(panels, numPanels);
    Mem_FreeIntMatrix(lists);
    return status;
}

}  // namespace

void DomDecomp_DefaultOptions(DomDecompOptions* o) {
    if (!o) return;
    o->MaxPoints = -1;
    o->MaxTotalPts = 1000;
    o->NumLayers = -1.0;
    o->MallocRatio = 1.4;
    o->MinNumOuter = 0;
    o->Scaling = 0;
    o->Scale[0] = o->Scale[1] = o->Scale[2] = 1.0;
    o->TooBigFact = 1.1;
    o->TooSmallFact = 0.9;
    o->OuterMethod = 0;
}

int DomDecomp_CheckOptions(const DomDecompOptions* o, const CoreReporter* r) {
    const char* fault = nullptr;
    if (!(o->MallocRatio >= 1.0))
        fault = "MallocRatio must be greater than 1";
    else if (o->Scaling < 0 || o->Scaling > 2)
        fault = "Scaling value out of range";
    else if (!(o->TooBigFact >= 1.0))
        fault = "TooBigFactor value must be greater than 1";
    else if (!(o->TooSmallFact >= 0.5 && o->TooSmallFact <= 1.0))
        fault = "TooSmallFactor value must be between 0.5 and 1";
    if (!fault) return 1;
    Error(r, fault);
    return 0;
}

int DomDecomp_CheckInput(int32_t N, int32_t d, double* const* points, const SDData* sd, const CoreReporter* r) {
    if (N < 1 || !points) {
        Error(r, "Invalid points array or number of points");
        return CoreStatus_InvalidInput;
    }
    if (d != 2 && d != 3) {
        Error(r, "Dimension argument out of range");
        return CoreStatus_InvalidDimension;
    }
    if (!sd) {
        Error(r, "SDData argument is NULL");
        return CoreStatus_NullArgument;
    }
    return 0;
}

void DomDecomp_ChooseSizes(DomDecompOptions* o, int32_t N, int32_t d, const CoreReporter* r) {
    if (o->MaxPoints < 1) o->MaxPoints = d == 2 ? 70 : (N <= 100000 ? 30 : 50);
    if (o->NumLayers < 0.0) {
        if (d == 2)
            o->NumLayers = N <= 10000 ? 2.8 : 1.8;
        else
            o->NumLayers = N <= 10000 ? 1.6 : 1.8;
    }
    if (!SaysInfo(r)) return;
    CoreReporter_Info(r, "MallocRatio = %.1f", o->MallocRatio);
    CoreReporter_Info(r, "MaxPoints   = %d", o->MaxPoints);
    CoreReporter_Info(r, "NumLayers   = %.1f", o->NumLayers);
    CoreReporter_Info(r, "MaxTotalPts = %d", o->MaxTotalPts);
    CoreReporter_Info(r, "MinNumOuter = %d", o->MinNumOuter);
    CoreReporter_Info(r, "TooBigFact  = %.2f", o->TooBigFact);
    CoreReporter_Info(r, "TooSmallFact= %.2f", o->TooSmallFact);
    CoreReporter_Info(r, "Scaling     = %d", o->Scaling);
}

int DomDecomp_ScaleFactors(DomDecompOptions* o, int32_t d, const double* box) {
    if (o->Scaling == 0) {
        o->Scale[0] = o->Scale[1] = o->Scale[2] = 1.0;
    } else if (o->Scaling == 2) {
        for (int32_t k = 0; k < d; ++k)
            if (o->Scale[k] == 0.0) return CoreStatus_NegativeDistance;
    } else {
        // Automatic: every axis scaled up to the largest extent, so that the
        // division and the layers treat the data as if it were a cube.
        double largest = 0.0;
        for (int32_t k = 0; k < d; ++k) largest = std::fmax(largest, box[d + k] - box[k]);
        for (int32_t k = 0; k < 3; ++k) {
            const double extent = k < d ? box[d + k] - box[k] : 0.0;
            o->Scale[k] = extent > 0.0 ? largest / extent : 1.0;
        }
    }
    return 0;
}

int DomDecomp_Setup(int32_t N, int32_t d, double* const* points, const DomDecompOptions* options, SDData* sd,
                    const CoreReporter* r) {
    int status = DomDecomp_CheckInput(N, d, points, sd, r);
    if (status != 0) return status;
    std::memset(sd, 0, sizeof(*sd));
    sd->badSubdomain = -1;
    if (options) {
        if (!DomDecomp_CheckOptions(options, r)) return CoreStatus_InvalidInput;
        sd->options = *options;
    } else {
        DomDecomp_DefaultOptions(&sd->options);
    }
    DomDecomp_ChooseSizes(&sd->options, N, d, r);
    double box[6];
    BoundingBox(N, d, points, box);
    status = DomDecomp_ScaleFactors(&sd->options, d, box);
    if (status == 0) status = BuildSubdomains(N, d, points, sd, CancelFlag(r));
    if (sd->subdomains) {
        int32_t max = 0;
        DomDecomp_PrintStats(sd, nullptr, &max, nullptr, nullptr, r);
        sd->maxSize = max;
    }
    if (status != 0) DomDecomp_Free(sd);
    return status;
}

void Subdomain_DropFactor(Subdomain* s) {
    Mem_FreeMatrix(s->factor);
    Mem_FreeMatrix(s->polyMatrix);
    s->factor = nullptr;
    s->polyMatrix = nullptr;
}

void Subdomain_Free(Subdomain* s) {
    Subdomain_DropFactor(s);
    Mem_Free(s->list);
    Mem_Free(s->innerBox);
    std::memset(s, 0, sizeof(*s));
}

void DomDecomp_Free(SDData* sd) {
    if (!sd) return;
    if (sd->subdomains)
        for (int32_t i = 0; i < sd->count; ++i) Subdomain_Free(&sd->subdomains[i]);
    Mem_Free(sd->subdomains);
    std::memset(sd, 0, sizeof(*sd));
}

void DomDecomp_FreeFactors(SDData* sd) {
    if (!sd || !sd->subdomains) return;
    for (int32_t i = 0; i < sd->count; ++i) Subdomain_DropFactor(&sd->subdomains[i]);
}

void DomDecomp_PrintStats(const SDData* sd, int32_t* min, int32_t* max, int32_t* avg, int32_t* numFactors,
                          const CoreReporter* r) {
    int32_t lo = sd->options.MaxTotalPts, hi = 0, factors = 0;
    int64_t total = 0;
    for (int32_t i = 0; i < sd->count; ++i) {
        const Subdomain& s = sd->subdomains[i];
        lo = std::min(lo, s.count);
        hi = std::max(hi, s.count);
        total += s.count;
        factors += s.factor != nullptr;
    }
    const int32_t mean = sd->count > 0 ? static_cast<int32_t>(total / sd->count) : 0;
    if (min) *min = lo;
    if (max) *max = hi;
    if (avg) *avg = mean;
    if (numFactors) *numFactors = factors;
    if (!SaysInfo(r)) return;
    CoreReporter_Info(r, "NumSubdomains = %d, NumCholeskys = %d", sd->count, factors);
    CoreReporter_Info(r, "Subdomain sizes: Min = %d, Max = %d, Avg = %d", lo, hi, mean);
}

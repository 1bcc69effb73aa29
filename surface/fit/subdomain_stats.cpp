// How many subdomains span the polynomial space, as a table.
#include <algorithm>

#include "surface/frame/basic_function.h"
#include "surface/frame/core_reporter.h"
#include "surface/fit/subdomain_factor.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"

int DomDecomp_PrintEllipseStats(double* const* centres, const BasicFunctionKernel* kernel, SDData* sd, int32_t indent,
                                const CoreReporter* reporter) {
    char blanks[128];
    indent = std::clamp(indent, 0, 127);
    std::fill(blanks, blanks + indent, ' ');
    blanks[indent] = '\0';
    const int32_t m = kernel->PolyTerms > 0 ? kernel->PolyTerms : 0;
    int32_t largest = 1;
    for (int32_t i = 0; i < sd->count; ++i) largest = std::max(largest, sd->subdomains[i].count);
    SubdomainSystem work;
    int status = SubdomainSystem_Alloc(&work, largest, kernel, 0.0);
    int32_t* bySize = Mem_AllocInts(m + 1);
    if (!bySize) status = CoreStatus_NoMemory;
    for (int32_t j = 0; status == 0 && j <= m; ++j) bySize[j] = 0;
    for (int32_t i = 0; status == 0 && i < sd->count; ++i) {
        Subdomain* s = &sd->subdomains[i];
        if (s->unisolventCount == 0 && m > 0) {
            SubdomainSystem_LoadCentres(&work, centres, s->list, s->count);
            status = SubdomainSystem_ChooseSpanning(&work, s->list, s->numOuter, &s->unisolventCount);
        }
        if (status == 0) ++bySize[std::min(s->unisolventCount, m)];
    }
    if (status == 0 && bySize[m] < sd->count && CoreReporter_Speaks(reporter, 5)) {
        CoreReporter_Info(reporter, "%sEll\tNum\tPercent", blanks);
        for (int32_t j = 1; j <= m; ++j)
            if (bySize[j] > 0)
                CoreReporter_Info(reporter, "%s%d\t%d\t%.1f%%", blanks, j, bySize[j], 100.0 * bySize[j] / sd->count);
    }
    Mem_Free(bySize);
    SubdomainSystem_Free(&work);
    return status;
}

// The difference record of one subdomain's change, its application to the
// index list, and its debug output.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "surface/frame/core_reporter.h"
#include "surface/fit/subdomain_update.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"
#include "surface/search/index_sort.h"

int SubdomainDiff_Alloc(int32_t length, SubdomainDiff* diff) {
    std::memset(diff, 0, sizeof(*diff));
    const int32_t L = length > 0 ? length : 1;
    int32_t* block = Mem_AllocInts(9 * L);
    if (!block) return CoreStatus_NoMemory;
    diff->newInner = block;
    diff->oldInner = block + L;
    diff->oldInnerPos = block + 2 * L;
    diff->newOuter = block + 3 * L;
    diff->oldOuter = block + 4 * L;
    diff->oldOuterPos = block + 5 * L;
    for (int32_t i = 0; i < 3; ++i) diff->work[i] = block + (6 + i) * L;
    diff->length = L;
    return 0;
}

void SubdomainDiff_Free(SubdomainDiff* diff) {
    if (!diff) return;
    Mem_Free(diff->newInner);
    std::memset(diff, 0, sizeof(*diff));
}

namespace {

// The values of `from` (with their positions from `base`) that are not in
// `other`; writes them to values and positions, returns their number.
int32_t Missing(const int32_t* from, int32_t n, int32_t base, const int32_t* other, int32_t numOther, int32_t* values,
                int32_t* positions) {
    int32_t count = 0;
    for (int32_t i = 0; i < n; ++i) {
        if (KeyList_Contains(other, numOther, from[i])) continue;
        values[count] = from[i];
        if (positions) positions[count] = base + i;
        ++count;
    }
    return count;
}

// Fills the holes (-1) of list[start, start + n) from the block's end.
int32_t CloseUp(int32_t* list, int32_t start, int32_t n) {
    int32_t end = start + n;
    for (int32_t i = start; i < end;) {
        if (list[i] != -1) {
            ++i;
            continue;
        }
        list[i] = list[--end];
    }
    return end - start;
}

}  // namespace

int SubdomainDiff_Compute(const int32_t* newOuter, int32_t numNewOuter, const int32_t* newInner, int32_t numNewInner,
                          const Subdomain* old, SubdomainDiff* diff) {
    const int32_t oldInner = old->count - old->numOuter;
    const int32_t* outerList = old->list;
    const int32_t* innerList = old->list + old->numOuter;
    diff->numNewOuter = Missing(newOuter, numNewOuter, 0, outerList, old->numOuter, diff->newOuter, nullptr);
    diff->numNewInner = Missing(newInner, numNewInner, 0, innerList, oldInner, diff->newInner, nullptr);
    diff->numOldOuter = Missing(outerList, old->numOuter, 0, newOuter, numNewOuter, diff->oldOuter, diff->oldOuterPos);
    diff->numOldInner =
        Missing(innerList, oldInner, old->numOuter, newInner, numNewInner, diff->oldInner, diff->oldInnerPos);
    return 0;
}

void Subdomain_ApplyDiff(Subdomain* s, const SubdomainDiff* diff) {
    int32_t* list = s->list;
    const int32_t shareInner = std::min(diff->numNewInner, diff->numOldInner);
    const int32_t shareOuter = std::min(diff->numNewOuter, diff->numOldOuter);
    for (int32_t j = 0; j < shareInner; ++j) list[diff->oldInnerPos[j]] = diff->newInner[j];
    for (int32_t j = 0; j < shareOuter; ++j) list[diff->oldOuterPos[j]] = diff->newOuter[j];
    int32_t numOuter = s->numOuter, numInner = s->count - s->numOuter;
    if (diff->numOldInner > shareInner) {
        for (int32_t j = shareInner; j < diff->numOldInner; ++j) list[diff->oldInnerPos[j]] = -1;
        numInner = CloseUp(list, numOuter, numInner);
    }
    if (diff->numOldOuter > shareOuter) {
        for (int32_t j = shareOuter; j < diff->numOldOuter; ++j) list[diff->oldOuterPos[j]] = -1;
        const int32_t kept = CloseUp(list, 0, numOuter);
        std::memmove(list + kept, list + numOuter, sizeof(int32_t) * static_cast<std::size_t>(numInner));
        numOuter = kept;
    }
    if (diff->numNewOuter > shareOuter) {
        const int32_t extra = diff->numNewOuter - shareOuter;
        std::memmove(list + numOuter + extra, list + numOuter, sizeof(int32_t) * static_cast<std::size_t>(numInner));
        std::memcpy(list + numOuter, diff->newOuter + shareOuter, sizeof(int32_t) * static_cast<std::size_t>(extra));
        numOuter += extra;
    }
    if (diff->numNewInner > shareInner) {
        const int32_t extra = diff->numNewInner - shareInner;
        std::memcpy(list + numOuter + numInner, diff->newInner + shareInner,
                    sizeof(int32_t) * static_cast<std::size_t>(extra));
        numInner += extra;
    }
    s->numOuter = numOuter;
    s->count = numOuter + numInner;
}

// ---- Debug output ----

void SubdomainDiff_WriteMatlab(int32_t c, int32_t d, double* const* points, const SubdomainDiff* diff) {
    std::FILE* f = std::fopen("bad_subdomain_diffs.m", "wt");
    if (!f) return;
    std::fprintf(f, "Points = [");
    for (int32_t i = 0; i < c; ++i) {
        for (int32_t k = 0; k < d; ++k) std::fprintf(f, "%.16g ", points[i][k]);
        std::fprintf(f, "\n");
    }
    std::fprintf(f, "];\n");
    const struct {
        const char* name;
        const int32_t* values;
        int32_t count;
    } lists[] = {
        {"NewOuter", diff->newOuter, diff->numNewOuter},       {"NewInner", diff->newInner, diff->numNewInner},
        {"OldOuter", diff->oldOuter, diff->numOldOuter},       {"OldInner", diff->oldInner, diff->numOldInner},
        {"OldOuterPos", diff->oldOuterPos, diff->numOldOuter}, {"OldInnerPos", diff->oldInnerPos, diff->numOldInner},
    };
    for (const auto& l : lists) {
        std::fprintf(f, "%s = [", l.name);
        for (int32_t i = 0; i < l.count; ++i) std::fprintf(f, "%d\n", l.values[i] + 1);
        std::fprintf(f, "];\n");
    }
    std::fclose(f);
}

namespace {

void AppendList(std::string* text, const char* label, const int32_t* values, int32_t count) {
    *text += label;
    char item[16];
    for (int32_t i = 0; i < count; ++i) {
        std::snprintf(item, sizeof item, " %3d", values[i]);
        *text += item;
    }
}

}  // namespace

void SubdomainDiff_Print(const SubdomainDiff* diff, const CoreReporter* reporter) {
    if (!CoreReporter_Speaks(reporter, 6)) return;
    std::string text = "\nDifferences:";
    AppendList(&text, "\n  New Inner Points: ", diff->newInner, diff->numNewInner);
    AppendList(&text, "\n  Old Inner Points: ", diff->oldInner, diff->numOldInner);
    AppendList(&text, "\n  Old Inner Positn: ", diff->oldInnerPos, diff->numOldInner);
    AppendList(&text, "\n  New Outer Points: ", diff->newOuter, diff->numNewOuter);
    AppendList(&text, "\n  Old Outer Points: ", diff->oldOuter, diff->numOldOuter);
    AppendList(&text, "\n  Old Outer Positn: ", diff->oldOuterPos, diff->numOldOuter);
    CoreReporter_Debug(reporter, "%s", text.c_str());
}

void SubdomainDiff_PrintCounts(const SubdomainDiff* diff, const CoreReporter* reporter) {
    if (!CoreReporter_Speaks(reporter, 6)) return;
    CoreReporter_Debug(reporter, "Inner Points: + %d - %d\n", diff->numNewInner, diff->numOldInner);
    CoreReporter_Debug(reporter, "Outer Points: + %d - %d\n", diff->numNewOuter, diff->numOldOuter);
}

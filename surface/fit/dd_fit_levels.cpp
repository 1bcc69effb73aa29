// The levels of the multilevel fitter: their set-up, the choice and growth
// of coarse levels, stored subdomain factors within the memory limit, and
// the updating of levels when centres are appended.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstring>

#include "surface/fit/dd_fit_internal.h"
#include "surface/fit/gram_schmidt.h"
#include "surface/fit/index_lists.h"
#include "surface/fit/poly_subset.h"
#include "surface/fit/poly_terms.h"
#include "surface/fit/spatial_sampling.h"
#include "surface/fit/subdomain_factor.h"
#include "surface/fit/subdomain_update.h"
#include "surface/frame/core_reporter.h"
#include "surface/frame/reporter.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_matrix.h"

void DDFit_Say(const DDFitWorkspace* ws, int32_t level, const char* format, ...) {
    const CoreReporter* r = ws->Reporter;
    if (!CoreReporter_SpeaksIn(r, level, kCategoryMultilevelFit)) return;
    va_list args;
    va_start(args, format);
    r->callback(r->user, level, format, args);
    va_end(args);
}

bool DDFit_Aborted(const DDFitWorkspace* ws) { return CoreReporter_AbortRequested(ws->Reporter); }

bool DDFit_Timing(const DDFitWorkspace* ws, int32_t L) {
    return ws->Options.LevsToTime >= L && CoreReporter_SpeaksIn(ws->Reporter, 6, kCategoryMultilevelFit);
}

double DDFit_Seconds(uint32_t since) { return (Reporter_Clock() - since) / 1000.0; }

double DDFit_Progress(const DDFitWorkspace* ws) {
    return ws->Reporter && ws->Reporter->progress ? *ws->Reporter->progress : 0.0;
}

void DDFit_RaiseProgress(const DDFitWorkspace* ws, double value) {
    if (ws->Reporter && ws->Reporter->progress && value > *ws->Reporter->progress)
        CoreReporter_SetProgress(ws->Reporter, value);
}

namespace {

int32_t Terms(const DDFitWorkspace* ws) { return ws->Kernel.PolyTerms > 0 ? ws->Kernel.PolyTerms : 0; }

// Grows a double array to `count`, keeping its contents; false without memory
// (the old array is then gone and the pointer null).
bool GrowDoubles(double** array, int32_t count) {
    *array = static_cast<double*>(Mem_Realloc(*array, sizeof(double) * static_cast<std::size_t>(count)));
    return *array != nullptr;
}

bool GrowInts(int32_t** array, int32_t count) {
    *array = static_cast<int32_t*>(Mem_Realloc(*array, sizeof(int32_t) * static_cast<std::size_t>(count)));
    return *array != nullptr;
}

// The working arrays of a level for its capacity (contents kept on growth).
int AllocLevelArrays(DDFitWorkspace* ws, DDFitLevel* lv, int32_t capacity) {
    const int32_t m = Terms(ws);
    const bool ok = GrowDoubles(&lv->Residual, capacity) && GrowDoubles(&lv->Product, capacity) &&
                    GrowDoubles(&lv->Restricted, capacity) && GrowDoubles(&lv->Values, capacity) &&
                    GrowDoubles(&lv->CascadeProduct, capacity) && GrowDoubles(&lv->Direction, capacity + m) &&
                    GrowDoubles(&lv->Correction, capacity + m) && GrowDoubles(&lv->Coeffs, capacity + m) &&
                    GrowDoubles(&lv->Cascade, capacity + m);
    if (!ok) return CoreStatus_NoMemory;
    if (!lv->History) {
        lv->History = Mem_AllocDoubles(ws->Options.MaxIteration + 1);
        if (!lv->History) return CoreStatus_NoMemory;
    }
    lv->Capacity = capacity;
    return 0;
}

// The orthonormal basis of the polynomial space at the level's points.
int BuildPolyBasis(DDFitWorkspace* ws, DDFitLevel* lv) {
    const int32_t m = Terms(ws);
    lv->PolyCount = 0;
    Mem_FreeMatrix(lv->PolyBasis);
    lv->PolyBasis = nullptr;
    if (m == 0) return 0;
    lv->PolyBasis = Mem_AllocMatrix(m, lv->Capacity);
    if (!lv->PolyBasis) return CoreStatus_NoMemory;
    int32_t exponents[3];
    Poly_MonomialColumnsCentred(ws->Kernel.Dim, ws->Kernel.PolyDegree, ws->Shift, lv->N, lv->Centres, lv->PolyBasis,
                                exponents);
    int32_t count = 0;
    const int status = GramSchmidt_Pivoted(m, lv->N, lv->PolyBasis, &count);
    if (status != 0) {
        if (CoreReporter_Speaks(ws->Reporter, 1))
            CoreReporter_Error(ws->Reporter, "Error points do not span required polynomial space.");
        return status;
    }
    lv->PolyCount = m;
    return 0;
}

void ResetEvaluation(DDFitWorkspace* ws, DDFitLevel* lv) {
    RapidEval_ClearWorkspace(&lv->Eval);
    RapidEval_ClearWorkspace(&lv->CoarseEval);
    lv->EvalOptions = ws->Options.LevelEval;
}

int DomainSetup(DDFitWorkspace* ws, DDFitLevel* lv) {
    DomDecomp_Free(&lv->Decomp);
    return DomDecomp_Setup(lv->N, ws->Kernel.Dim, lv->Centres, &ws->Options.DomDecomp, &lv->Decomp, ws->Reporter);
}

// The spanning subset and, when the level may grow, the extreme points of
// every coordinate, appended to list[*count].
int AddSpanningAndExtremes(DDFitWorkspace* ws, const DDFitLevel* lv, int32_t* list, int32_t* count) {
    const int32_t d = ws->Kernel.Dim, m = Terms(ws), N = lv->N;
    if (ws->Options.AllowUpdating) {
        for (int32_t k = 0; k < d; ++k) {
            int32_t lo = 0, hi = 0;
            for (int32_t i = 1; i < N; ++i) {
                if (lv->Centres[i][k] < lv->Centres[lo][k]) lo = i;
                if (lv->Centres[i][k] > lv->Centres[hi][k]) hi = i;
            }
            list[(*count)++] = lo;
            list[(*count)++] = hi;
        }
    }
    if (m > 0) {
        int32_t chosen = 0;
        const int status =
            Poly_SelectSpanningSubset(d, ws->Kernel.PolyDegree, m, N, lv->Centres, list + *count, &chosen);
        // Points that do not span are the level's own failure, found when
        // its basis is built; here they only mean fewer additions.
        if (status != 0 && status != CoreStatus_LinearDependency) return status;
        *count += chosen;
    }
    return 0;
}

// Sorts and makes unique list[0..*count).
void SortUnique(int32_t* list, int32_t* count) {
    std::sort(list, list + *count);
    *count = static_cast<int32_t>(std::unique(list, list + *count) - list);
}

// Makes level L + 1 from the `count` points of level L named in `list`
// (room for `capacity` + terms entries; the list passes to level L).
int OpenCoarseLevel(DDFitWorkspace* ws, int32_t L, int32_t* list, int32_t count, int32_t capacity) {
    const int32_t d = ws->Kernel.Dim, m = Terms(ws);
    int status = DDFit_EnsureLevel(ws, L + 1);
    if (status != 0) {
        Mem_Free(list);
        return status;
    }
    DDFitLevel* lv = DDFit_Level(ws, L);
    for (int32_t k = 0; k < m; ++k) list[count + k] = lv->N + k;
    Mem_Free(lv->CoarseIndex);
    lv->CoarseIndex = list;
    lv->CoarseCount = count;
    lv->CoarseIndexCapacity = capacity;
    DDFitLevel* coarse = DDFit_Level(ws, L + 1);
    DDFit_FreeLevel(coarse);
    coarse->CentreCapacity = std::max(capacity, static_cast<int32_t>(count * ws->Options.LevelMallocRatio));
    coarse->OwnCentres = Mem_AllocMatrix(coarse->CentreCapacity, d);
    if (!coarse->OwnCentres) return CoreStatus_NoMemory;
    for (int32_t i = 0; i < count; ++i)
        std::memcpy(coarse->OwnCentres[i], lv->Centres[list[i]], sizeof(double) * static_cast<std::size_t>(d));
    coarse->Centres = coarse->OwnCentres;
    coarse->N = count;
    if (ws->NumLevels < L + 1) ws->NumLevels = L + 1;
    return DDFit_Init(ws, L + 1);
}

int SelectCoarse(DDFitWorkspace* ws, int32_t L) {
    const DDFitLevel* lv = DDFit_Level(ws, L);
    const int32_t d = ws->Kernel.Dim, m = Terms(ws), N = lv->N, rate = ws->Options.CoarseSampleRate;
    const int32_t target = N / rate + 2 * d + m;
    const int32_t capacity = std::min(static_cast<int32_t>(target * ws->Options.LevelMallocRatio), N);
    int32_t* list = Mem_AllocInts(std::max(capacity, target) + m);
    if (!list) return CoreStatus_NoMemory;
    int status = SpatialDivision_Leaves(N, lv->Centres, d, rate, list);
    int32_t count = N / rate;
    if (status == 0) status = AddSpanningAndExtremes(ws, lv, list, &count);
    if (status != 0) {
        Mem_Free(list);
        return status;
    }
    SortUnique(list, &count);
    return OpenCoarseLevel(ws, L, list, count, std::max(capacity, count));
}

void FreeLevelsFrom(DDFitWorkspace* ws, int32_t first) {
    for (int32_t k = first; k <= ws->LevelsAllocated; ++k) DDFit_FreeLevel(DDFit_Level(ws, k));
}

}  // namespace

int DDFit_EnsureLevel(DDFitWorkspace* ws, int32_t number) {
    if (number <= ws->LevelsAllocated) return 0;
    const int32_t count = ws->LevelsAllocated + 5;
    auto* grown = static_cast<DDFitLevel*>(Mem_Calloc(static_cast<std::size_t>(count), sizeof(DDFitLevel)));
    if (!grown) return CoreStatus_NoMemory;
    if (ws->Levels) std::memcpy(grown, ws->Levels, sizeof(DDFitLevel) * static_cast<std::size_t>(ws->LevelsAllocated));
    for (int32_t k = ws->LevelsAllocated; k < count; ++k) grown[k].Number = k + 1;
    Mem_Free(ws->Levels);
    ws->Levels = grown;
    ws->LevelsAllocated = count;
    return 0;
}

void DDFit_FreeLevel(DDFitLevel* lv) {
    const int32_t number = lv->Number;
    Mem_Free(lv->History);
    Mem_Free(lv->CoarseIndex);
    Mem_Free(lv->Residual);
    Mem_Free(lv->Product);
    Mem_Free(lv->Restricted);
    Mem_Free(lv->Values);
    Mem_Free(lv->CascadeProduct);
    Mem_Free(lv->Direction);
    Mem_Free(lv->Correction);
    Mem_Free(lv->Coeffs);
    Mem_Free(lv->Cascade);
    Mem_FreeMatrix(lv->PolyBasis);
    Mem_FreeMatrix(lv->OwnCentres);
    DomDecomp_Free(&lv->Decomp);
    RapidEval_ClearWorkspace(&lv->Eval);
    RapidEval_ClearWorkspace(&lv->CoarseEval);
    Rbf_FreeInterpolation(&lv->Direct);
    std::memset(lv, 0, sizeof(*lv));
    lv->Number = number;
}

void DDFit_FreeWorkspace(DDFitWorkspace* ws) {
    if (!ws) return;
    if (ws->Levels) FreeLevelsFrom(ws, 1);
    Mem_Free(ws->Levels);
    std::memset(ws, 0, sizeof(*ws));
}

double DDFit_LargestLevelNeed(DDFitWorkspace* ws) {
    double need = 0.0;
    for (int32_t k = 1; k <= ws->NumLevels; ++k) {
        DDFitLevel* lv = DDFit_Level(ws, k);
        const double eval = static_cast<double>(RapidEval_WorkspaceBytes(lv->N, &ws->Kernel, &lv->Eval));
        const double local = static_cast<double>(DomDecomp_TotalBytes(&lv->Decomp, Terms(ws), ws->Kernel.Dim));
        need = std::max(need, std::max(eval, local));
    }
    return need;
}

double DDFit_FreeCholeskys(DDFitWorkspace* ws, double bytes, int32_t cap) {
    const double start = static_cast<double>(Mem_CurrentBytes());
    int32_t freed = 0;
    const int32_t last = std::min(cap, ws->NumLevels) - 1;
    for (int32_t k = 1; k <= last; ++k) {
        SDData* sd = &DDFit_Level(ws, k)->Decomp;
        freed = 0;
        for (int32_t i = 0; i < sd->count; ++i) {
            if (start - static_cast<double>(Mem_CurrentBytes()) > bytes) break;
            if (!sd->subdomains[i].factor) continue;
            Subdomain_DropFactor(&sd->subdomains[i]);
            ++freed;
        }
    }
    const double done = start - static_cast<double>(Mem_CurrentBytes());
    ws->TrackedAfterFactoring = std::max(0.0, ws->TrackedAfterFactoring - done);
    if (done > 0.0) DDFit_Say(ws, 5, "%d Choleskys Freed (%.1fMb).", freed, done / 1048576.0);
    return done;
}

int DDFit_FactorSubdomains(DDFitWorkspace* ws, int32_t L) {
    const int32_t m = Terms(ws);
    DDFitLevel* lv = DDFit_Level(ws, L);
    const double need = DDFit_LargestLevelNeed(ws);
    // What the largest level needs for its evaluation and local solves is
    // kept out of the factors' share.
    double budget = std::max(0.0, ws->MemoryLimit - need);
    ws->FactorBudget = budget;
    const double tracked = static_cast<double>(Mem_CurrentBytes());
    const double missing = static_cast<double>(DomDecomp_MissingFactorBytes(&lv->Decomp, m));
    if (budget < tracked + missing && L > 1) DDFit_FreeCholeskys(ws, tracked + missing - budget, L);
    const double room = budget - static_cast<double>(Mem_CurrentBytes());
    double stored = 0.0;
    double* progress = ws->Reporter ? ws->Reporter->progress : nullptr;
    const int32_t* abort = ws->Reporter ? ws->Reporter->abort : nullptr;
    const double end = std::max(DDFit_Progress(ws), lv->ProgressEnd);
    int status = DomDecomp_SetupPreconditioner(lv->Centres, &lv->Decomp, &ws->Kernel, ws->Options.Direct.Rho,
                                               std::max(room, 0.0), &stored, progress, end, abort);
    if (status == CoreStatus_NoMemory) {
        if (CoreReporter_Speaks(ws->Reporter, 2))
            CoreReporter_Warning(ws->Reporter, "Non fatal memory allocation failure");
        DDFit_FreeCholeskys(ws, need, ws->NumLevels);
        ws->FactorBudget = 0.0;
        return 0;
    }
    if (status != 0 && status != CoreStatus_UserAbort) {
        if (CoreReporter_Speaks(ws->Reporter, 1)) {
            CoreReporter_Error(ws->Reporter, "Subdomain cholesky decompositions failed.");
            if (lv->Decomp.badSubdomain < 0) {
                CoreReporter_Error(ws->Reporter, "Bad subdomain not determined\n");
            } else if (CoreReporter_Speaks(ws->Reporter, 6)) {
                const int32_t bad = lv->Decomp.badSubdomain;
                DomDecomp_DumpBadSubdomain(lv->Centres, ws->Kernel.Dim, &lv->Decomp.subdomains[bad], bad,
                                           ws->Options.Direct.Rho, L, ws->Accuracy);
                CoreReporter_Error(ws->Reporter, "Bad subdomain written to files rbf_baddataX.txt\n");
            }
        }
        return status;
    }
    // A report only: a subdomain it cannot count does not fail the fit.
    if (CoreReporter_SpeaksIn(ws->Reporter, 5, kCategoryMultilevelFit))
        DomDecomp_PrintEllipseStats(lv->Centres, &ws->Kernel, &lv->Decomp, 2 * L - 2, ws->Reporter);
    const double now = static_cast<double>(Mem_CurrentBytes());
    ws->TrackedAfterFactoring = now;
    if (L == 1 && ws->MemoryLimit > 0.0 && budget < now && !ws->MemoryWarningGiven) {
        ws->MemoryWarningGiven = 1;
        if (CoreReporter_Speaks(ws->Reporter, 2))
            CoreReporter_Warning(ws->Reporter, "Memory limit (%dMb) is too small for optimal speed.",
                                 static_cast<int32_t>(ws->MemoryLimit / 1048576.0));
    }
    int32_t held = 0;
    for (int32_t i = 0; i < lv->Decomp.count; ++i) held += lv->Decomp.subdomains[i].factor ? 1 : 0;
    DDFit_Say(ws, 5, "%*s%d of %d Choleskys Stored", 2 * L - 2, "", held, lv->Decomp.count);
    if (now > budget && L > 1) DDFit_FreeCholeskys(ws, now - budget, L);
    return status;
}

int DDFit_Init(DDFitWorkspace* ws, int32_t L) {
    DDFitLevel* lv = DDFit_Level(ws, L);
    if (lv->Initialised) return 0;
    const uint32_t clock = Reporter_Clock();
    const int32_t maxChol = ws->Options.Direct.MaxCholeskySize, m = Terms(ws);
    const double start = DDFit_Progress(ws), span = std::max(lv->ProgressEnd - start, 0.0);
    if (lv->N <= maxChol) {
        if (L < ws->LevelsAllocated) FreeLevelsFrom(ws, L + 1);
        ws->NumLevels = L;
        lv->Coarsest = 1;
    } else if (L >= ws->NumLevels) {
        const int status = DDFit_EnsureLevel(ws, L + 1);
        if (status != 0) return status;
        lv = DDFit_Level(ws, L);
        DDFit_FreeLevel(DDFit_Level(ws, L + 1));
        ws->NumLevels = L + 1;
        lv->Coarsest = 0;
    }
    const int32_t capacity =
        std::max(lv->N, lv->Capacity > 0 ? lv->Capacity : static_cast<int32_t>(lv->N * ws->Options.LevelMallocRatio));
    int status = AllocLevelArrays(ws, lv, capacity);
    if (status != 0) return status;
    ResetEvaluation(ws, lv);
    if (lv->Coarsest) {
        Rbf_FreeInterpolation(&lv->Direct);
        status =
            Rbf_FactorInterpolation(lv->N, lv->Centres, &ws->Kernel, &ws->Options.Direct, &lv->Direct, ws->Reporter);
        if (status == 0) lv->Initialised = 1;
        return status;
    }
    (void)m;
    status = BuildPolyBasis(ws, lv);
    if (status == 0) status = DomainSetup(ws, lv);
    if (status != 0) return status;
    DDFit_RaiseProgress(ws, start + 0.1 * span);
    DDFitLevel* coarse = DDFit_Level(ws, L + 1);
    if (!coarse->Initialised) {
        coarse->ProgressEnd = start + 0.3 * span;
        status = SelectCoarse(ws, L);
        if (status != 0) return status;
    }
    status = DDFit_FactorSubdomains(ws, L);
    if (status != 0 && status != CoreStatus_UserAbort) return status;
    DDFit_Level(ws, L)->Initialised = 1;
    if (L > 1 && DDFit_Timing(ws, L))
        DDFit_Say(ws, 6, "%*sInitialization took %.3e sec", 2 * L - 2, "", DDFit_Seconds(clock));
    return status;
}

// ---- Growth of coarse levels ----

namespace {

// The k points of level L with the largest |residual| that are not yet in
// its coarse level and whose residual is not zero, written to out; the
// number found is returned.
int32_t LargestOutside(const DDFitLevel* lv, int32_t k, int32_t* out, int32_t* marks) {
    std::memset(marks, 0, sizeof(int32_t) * static_cast<std::size_t>(lv->N));
    for (int32_t i = 0; i < lv->CoarseCount; ++i) marks[lv->CoarseIndex[i]] = 1;
    int32_t n = 0;
    for (int32_t i = 0; i < lv->N; ++i)
        if (!marks[i] && lv->Residual[i] != 0.0) marks[n++] = i;
    const double* r = lv->Residual;
    const int32_t take = std::min(k, n);
    std::partial_sort(marks, marks + take, marks + n,
                      [r](int32_t a, int32_t b) { return std::fabs(r[a]) > std::fabs(r[b]); });
    std::memcpy(out, marks, sizeof(int32_t) * static_cast<std::size_t>(take));
    return take;
}

int ResampleCoarse(DDFitWorkspace* ws, int32_t L) {
    FreeLevelsFrom(ws, L + 1);
    ws->NumLevels = L + 1;
    const DDFitLevel* lv = DDFit_Level(ws, L);
    const int32_t d = ws->Kernel.Dim, m = Terms(ws), N = lv->N, rate = ws->Options.CoarseSampleRate;
    const int32_t room = N / rate + 2 * d + m + 1;
    int32_t* list = Mem_AllocInts(room + m);
    if (!list) return CoreStatus_NoMemory;
    int32_t count = 0;
    int status = SpatialDivision_Sample(N, lv->Centres, lv->Residual, d, rate, list, &count);
    if (status == 1) status = 0;
    if (status == 0) status = AddSpanningAndExtremes(ws, lv, list, &count);
    if (status != 0) {
        Mem_Free(list);
        return status;
    }
    SortUnique(list, &count);
    DDFit_Say(ws, 5, "%*slevel %d too large. Selected %d new points.", 2 * L - 2, "", L + 1, count);
    return OpenCoarseLevel(ws, L, list, count, room);
}

}  // namespace

int DDFit_AddCoarsePoints(DDFitWorkspace* ws, int32_t L) {
    const uint32_t start = Reporter_Clock();
    const int32_t d = ws->Kernel.Dim, m = Terms(ws);
    DDFitLevel* lv = DDFit_Level(ws, L);
    DDFitLevel* coarse = DDFit_Level(ws, L + 1);
    const int32_t mc = coarse->N;
    const int32_t k = static_cast<int32_t>(mc * ws->Options.CoarseAddFrac);
    int status = 0;
    if (mc + k > lv->N * ws->Options.MaxCoarseFraction) {
        status = ResampleCoarse(ws, L);
    } else {
        int32_t* marks = Mem_AllocInts(lv->N);
        int32_t* found = Mem_AllocInts(std::max(k, 1));
        if (!marks || !found) {
            Mem_Free(marks);
            Mem_Free(found);
            return CoreStatus_NoMemory;
        }
        const int32_t added = LargestOutside(lv, k, found, marks);
        Mem_Free(marks);
        if (added == 0) {
            Mem_Free(found);
            return CoreStatus_NoConvergence;
        }
        const int32_t total = mc + added;
        const int32_t capacity = std::min(std::max(total, static_cast<int32_t>(total * ws->Options.LevelMallocRatio)),
                                          std::max(total, lv->N));
        if (capacity > lv->CoarseIndexCapacity) {
            if (!GrowInts(&lv->CoarseIndex, capacity + m)) {
                Mem_Free(found);
                return CoreStatus_NoMemory;
            }
            lv->CoarseIndexCapacity = capacity;
        }
        if (total > coarse->CentreCapacity) {
            coarse->CentreCapacity = capacity;
            coarse->OwnCentres = Mem_ReallocMatrix(coarse->OwnCentres, capacity, d);
            if (!coarse->OwnCentres) {
                Mem_Free(found);
                return CoreStatus_NoMemory;
            }
            coarse->Centres = coarse->OwnCentres;
        }
        for (int32_t j = 0; j < added; ++j) {
            lv->CoarseIndex[mc + j] = found[j];
            std::memcpy(coarse->OwnCentres[mc + j], lv->Centres[found[j]],
                        sizeof(double) * static_cast<std::size_t>(d));
        }
        for (int32_t t = 0; t < m; ++t) lv->CoarseIndex[total + t] = lv->N + t;
        lv->CoarseCount = total;
        Mem_Free(found);
        DDFit_Say(ws, 5, "%*s%d points added to level %d. Now %d points.", 2 * L - 2, "", added, L + 1, total);
        status = DDFit_UpdateLevel(ws, total, coarse->OwnCentres, L + 1);
    }
    const double seconds = (Reporter_Clock() - start) / 1000.0;
    DDFit_Say(ws, 5, ws->Options.AllowUpdating ? "%*sUpdating took %.1fs." : "%*sInitializing took %.1fs.", 2 * L - 2,
              "", seconds);
    return status;
}

// ---- Appended centres ----

namespace {

int ExtendLevel(DDFitWorkspace* ws, int32_t N, double* const* centres, int32_t L) {
    const uint32_t start = Reporter_Clock();
    DDFitLevel* lv = DDFit_Level(ws, L);
    const int32_t oldN = lv->N, m = Terms(ws);
    if (N < oldN) {
        if (CoreReporter_Speaks(ws->Reporter, 1))
            CoreReporter_Error(ws->Reporter, "Can't remove points from fitter workspace");
        return CoreStatus_InvalidInput;
    }
    lv->Centres = centres;
    lv->N = N;
    if (!lv->Initialised) return DDFit_Init(ws, L);
    int status = 0;
    if (N > lv->Capacity) {
        status = AllocLevelArrays(ws, lv, static_cast<int32_t>(N * ws->Options.LevelMallocRatio));
        if (status != 0) return status;
    }
    ResetEvaluation(ws, lv);
    if (lv->Coarsest) {
        if (N <= ws->Options.Direct.MaxCholeskySize && lv->Direct.Initialised) {
            status = Rbf_AddCentres(N, centres, &lv->Direct, ws->Reporter);
            if (status == 0) return 0;
        }
        // Too large for one factor, or the factor could not grow: the level
        // is made again, with a coarser level below it when it needs one.
        Rbf_FreeInterpolation(&lv->Direct);
        lv->Initialised = 0;
        lv->Coarsest = 0;
        return DDFit_Init(ws, L);
    }
    status = BuildPolyBasis(ws, lv);
    if (status != 0) return status;
    DDFitContext context;
    DDFitContext_Init(&context, &ws->Kernel, ws->Options.Direct.Rho);
    status = Subdomain_UpdateAll(&lv->Decomp, centres, ws->Kernel.Dim, oldN, N, ws->Options.Direct.Rho, &context,
                                 ws->Reporter);
    if (status == CoreStatus_NegativeCholeskyPivot || status == CoreStatus_DivideByZero) {
        if (CoreReporter_Speaks(ws->Reporter, 2))
            CoreReporter_Warning(ws->Reporter, "Subdomain updating failed. %s.", CoreStatus_Name(status));
        status = CoreStatus_SubdomainNotUpdated;
    }
    if (status == CoreStatus_SubdomainNotUpdated || status == CoreStatus_Failure) status = DomainSetup(ws, lv);
    if (status != 0) return status;
    if (lv->CoarseIndex)
        for (int32_t t = 0; t < m; ++t) lv->CoarseIndex[lv->CoarseCount + t] = N + t;
    status = DDFit_FactorSubdomains(ws, L);
    if (status != 0) return status;
    lv = DDFit_Level(ws, L);
    lv->Initialised = 1;
    if (CoreReporter_SpeaksIn(ws->Reporter, 3, kCategoryMultilevelFit))
        CoreReporter_Elapsed(ws->Reporter, "Fitter level updating took",
                             static_cast<int32_t>(Reporter_Clock() - start));
    return 0;
}

}  // namespace

int DDFit_UpdateLevel(DDFitWorkspace* ws, int32_t N, double* const* centres, int32_t L) {
    DDFit_Say(ws, 6, "%*sUpdating level %d: ", 2 * L - 2, "", L);
    if (!ws->Initialised) {
        DDFit_Say(ws, 5, "%*sLevel data not initialized. Nothing to do.", 2 * L - 2, "");
        return L == 1 ? 0 : CoreStatus_InvalidInput;
    }
    DDFitLevel* lv = DDFit_Level(ws, L);
    if (!lv->Initialised) {
        DDFit_Say(ws, 5, "%*sLevel %d not initialized. Nothing to do.", 2 * L - 2, "", L);
        if (L == 1) {
            lv->N = N;
            lv->Centres = centres;
            ws->NumCent = N;
        }
        return 0;
    }
    if (N == lv->N) {
        lv->Centres = centres;
        return 0;
    }
    if (N < lv->N) return CoreStatus_InvalidInput;
    if (!ws->Options.AllowUpdating) {
        FreeLevelsFrom(ws, L);
        lv = DDFit_Level(ws, L);
        lv->N = N;
        lv->Centres = centres;
        if (L == 1) ws->NumCent = N;
        ws->NumLevels = std::max(ws->NumLevels, L);
        return DDFit_Init(ws, L);
    }
    if (L == 1) {
        if (N > 1.5 * ws->NumCent) {
            DDFit_Say(ws, 5, "Too many new top level points.");
            DDFit_FreeWorkspace(ws);
            return 0;
        }
        ws->NumCent = N;
    }
    if (DDFit_Aborted(ws)) return CoreStatus_UserAbort;
    return ExtendLevel(ws, N, centres, L);
}

int DDFit_Update(int32_t N, double* const* centres, DDFitWorkspace* workspace) {
    if (!workspace || !centres) return CoreStatus_NullArgument;
    return DDFit_UpdateLevel(workspace, N, centres, 1);
}

// The FGMRES fitter's levels, its preconditioner and product callbacks.
#include "surface/fit/rad_fit_fgmres.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "surface/fit/direct_fit.h"
#include "surface/fit/dom_decomp.h"
#include "surface/fit/fgmres.h"
#include "surface/fit/gram_schmidt.h"
#include "surface/fit/permutations.h"
#include "surface/fit/poly_subset.h"
#include "surface/fit/poly_terms.h"
#include "surface/fit/rapid_eval.h"
#include "surface/fit/spatial_sampling.h"
#include "surface/fit/subdomain_factor.h"
#include "surface/frame/core_reporter.h"
#include "surface/frame/reporter.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_matrix.h"

namespace {

constexpr int32_t kMaxLevels = 24;

struct Level {
    int32_t N;
    double** Centres;  // level 0: the caller's table (not owned)
    int32_t CentreCapacity;
    int32_t* CoarseIndex;  // next coarser level's points here, then one slot per term
    int32_t CoarseCount;
    double* Values;      // N
    double* Product;     // N
    double* Coeffs;      // N + terms
    double* Correction;  // N + terms: this level's coarse correction
    double* Cascade;     // N + terms: a finer level's correction gathered here
    double** PolyBasis;
    int32_t PolyCount;
    SDData Decomp;
    RapidEvalWorkspace Eval;
    double* History;
    int32_t Calls;
};

struct Bottom {
    int32_t N;
    double** Centres;
    int32_t CentreCapacity;
    InterpolationData Direct;
    double* Values;
    double* Coeffs;
};

struct State {
    BasicFunctionKernel Kernel;
    RadFitFGMResOptions Options;
    FGMResOptions Inner;
    const CoreReporter* Reporter;
    double MemoryLimit;
    double Accuracy;
    double ProgressEnd;
    double RateLimit;  // MinimumRate ^ CoarseAddPeriod
    int32_t Current;
    int32_t NumLevels;  // levels with a decomposition; the bottom lies below the last
    Level Levels[kMaxLevels];
    Bottom Low;
    double Shift[3];
};

int32_t Terms(const State& s) { return s.Kernel.PolyTerms > 0 ? s.Kernel.PolyTerms : 0; }

double MaxAbs(const double* v, int32_t n) {
    double m = 0.0;
    for (int32_t i = 0; i < n; ++i) m = std::max(m, std::fabs(v[i]));
    return m;
}

bool Says(const State& s, int32_t level) { return CoreReporter_SpeaksIn(s.Reporter, level, kCategoryFgmresFit); }

void FreeLevel(Level* lv, bool ownsCentres) {
    if (ownsCentres) Mem_FreeMatrix(lv->Centres);
    Mem_Free(lv->CoarseIndex);
    Mem_Free(lv->Values);
    Mem_Free(lv->Product);
    Mem_Free(lv->Coeffs);
    Mem_Free(lv->Correction);
    Mem_Free(lv->Cascade);
    Mem_FreeMatrix(lv->PolyBasis);
    DomDecomp_Free(&lv->Decomp);
    RapidEval_ClearWorkspace(&lv->Eval);
    Mem_Free(lv->History);
    std::memset(lv, 0, sizeof(*lv));
}

void FreeBottom(Bottom* b) {
    Mem_FreeMatrix(b->Centres);
    Rbf_FreeInterpolation(&b->Direct);
    Mem_Free(b->Values);
    Mem_Free(b->Coeffs);
    std::memset(b, 0, sizeof(*b));
}

void FreeState(State* s) {
    for (int32_t k = 0; k < kMaxLevels; ++k) FreeLevel(&s->Levels[k], k > 0);
    FreeBottom(&s->Low);
}

bool Grow(double** a, int32_t n) {
    *a = static_cast<double*>(Mem_Realloc(*a, sizeof(double) * static_cast<std::size_t>(std::max(n, 1))));
    return *a != nullptr;
}

// Completes the n points of a coarse list of level k: the points that span
// the polynomial space are merged in, the list is sorted and made unique,
// and the polynomial slots follow. `out` has room for n + 2m + 1 entries.
int CompleteCoarse(State* s, int32_t k, int32_t* out, int32_t* n) {
    const Level* lv = &s->Levels[k];
    const int32_t d = s->Kernel.Dim, m = Terms(*s);
    if (m > 0) {
        int32_t chosen = 0;
        int status = Poly_SelectSpanningSubset(d, s->Kernel.PolyDegree, m, lv->N, lv->Centres, out + *n, &chosen);
        if (status == CoreStatus_LinearDependency || (status == 0 && chosen < m)) {
            if (CoreReporter_Speaks(s->Reporter, 1))
                CoreReporter_Error(s->Reporter, "Data does not span the required polynomial space");
            status = CoreStatus_LinearDependency;
        }
        if (status != 0) return status;
        *n += chosen;
    }
    std::sort(out, out + *n);
    *n = static_cast<int32_t>(std::unique(out, out + *n) - out);
    for (int32_t t = 0; t < m; ++t) out[*n + t] = lv->N + t;
    return 0;
}

// The spread-out points of level k that form its coarser level: leaves of
// a spatial division and the points that span the polynomial space.
int SelectCoarse(State* s, int32_t k, int32_t** list, int32_t* count) {
    Level* lv = &s->Levels[k];
    const int32_t m = Terms(*s), rate = s->Options.CoarseSampleRate;
    int32_t n = lv->N / rate;
    int32_t* out = Mem_AllocInts(n + 2 * m + 1);
    if (!out) return CoreStatus_NoMemory;
    int status = SpatialDivision_Leaves(lv->N, lv->Centres, s->Kernel.Dim, rate, out);
    if (status == 0) status = CompleteCoarse(s, k, out, &n);
    if (status != 0) {
        Mem_Free(out);
        return status;
    }
    *list = out;
    *count = n;
    return 0;
}

// Up to `want` points of level k that are not in its coarse list (the
// first `coarseCount` of `coarse`) and whose residual r is not zero: those
// of largest |r|, or with `wellSpaced` spread over the cells of a spatial
// division, the largest |r| first in each. *taken receives their number.
int ChoosePoints(State* s, int32_t k, const double* r, const int32_t* coarse, int32_t coarseCount, int32_t want,
                 bool wellSpaced, int32_t* out, int32_t* taken) {
    const Level* lv = &s->Levels[k];
    *taken = 0;
    int32_t* order = Mem_AllocInts(lv->N);
    auto* isCoarse = static_cast<unsigned char*>(Mem_Calloc(static_cast<std::size_t>(lv->N), 1));
    if (!order || !isCoarse) {
        Mem_Free(order);
        Mem_Free(isCoarse);
        return CoreStatus_NoMemory;
    }
    for (int32_t i = 0; i < coarseCount; ++i) isCoarse[coarse[i]] = 1;
    int32_t n = 0;
    for (int32_t i = 0; i < lv->N; ++i)
        if (!isCoarse[i] && r[i] != 0.0) order[n++] = i;
    Mem_Free(isCoarse);
    want = std::min(want, n);
    int status = 0;
    if (want > 0 && wellSpaced) {
        // The subsets are taken from the end of the list: smallest |r| first.
        std::sort(order, order + n, [r](int32_t a, int32_t b) { return std::fabs(r[a]) < std::fabs(r[b]); });
        std::fill(out, out + want, -1);
        status = SpatialDivision_Subsets(lv->N, s->Kernel.Dim, lv->Centres, n, order, want, out);
        if (status == CoreStatus_Failure) status = 0;  // fewer than asked
        while (*taken < want && out[*taken] >= 0) ++*taken;
    } else if (want > 0) {
        std::partial_sort(order, order + want, order + n,
                          [r](int32_t a, int32_t b) { return std::fabs(r[a]) > std::fabs(r[b]); });
        std::copy(order, order + want, out);
        *taken = want;
    }
    Mem_Free(order);
    return status;
}

double** CopyRows(const Level& lv, const int32_t* list, int32_t count, int32_t capacity, int32_t d) {
    double** rows = Mem_AllocMatrix(std::max(capacity, count), d);
    if (!rows) return nullptr;
    for (int32_t i = 0; i < count; ++i)
        std::memcpy(rows[i], lv.Centres[list[i]], sizeof(double) * static_cast<std::size_t>(d));
    return rows;
}

int FactorBottom(State* s) {
    Bottom* b = &s->Low;
    const int32_t m = Terms(*s);
    if (!Grow(&b->Values, b->N) || !Grow(&b->Coeffs, b->N + m)) return CoreStatus_NoMemory;
    Rbf_FreeInterpolation(&b->Direct);
    const int status =
        Rbf_FactorInterpolation(b->N, b->Centres, &s->Kernel, &s->Options.Bottom, &b->Direct, s->Reporter);
    if (status != 0 && CoreReporter_Speaks(s->Reporter, 1))
        CoreReporter_Error(s->Reporter, "Cholesky fit setup failed.");
    return status;
}

int StoreFactors(State* s, Level* lv) {
    const double budget = std::max(0.0, 0.9 * s->MemoryLimit - static_cast<double>(Mem_CurrentBytes()));
    return DomDecomp_SetupPreconditioner(lv->Centres, &lv->Decomp, &s->Kernel, s->Options.Bottom.Rho, budget, nullptr,
                                         nullptr, 0.0, s->Reporter ? s->Reporter->abort : nullptr);
}

// Arrays, polynomial basis and decomposition of level k over its points.
int SetupLevelOwn(State* s, int32_t k) {
    Level* lv = &s->Levels[k];
    const int32_t m = Terms(*s);
    if (!Grow(&lv->Values, lv->N) || !Grow(&lv->Product, lv->N) || !Grow(&lv->Coeffs, lv->N + m) ||
        !Grow(&lv->Correction, lv->N + m) || !Grow(&lv->Cascade, lv->N + m) ||
        !Grow(&lv->History, s->Options.Solver.MaxIteration + 1))
        return CoreStatus_NoMemory;
    RapidEval_ClearWorkspace(&lv->Eval);
    Mem_FreeMatrix(lv->PolyBasis);
    lv->PolyBasis = nullptr;
    lv->PolyCount = 0;
    if (m > 0) {
        lv->PolyBasis = Mem_AllocMatrix(m, lv->N);
        if (!lv->PolyBasis) return CoreStatus_NoMemory;
        int32_t exponents[3];
        Poly_MonomialColumnsCentred(s->Kernel.Dim, s->Kernel.PolyDegree, s->Shift, lv->N, lv->Centres, lv->PolyBasis,
                                    exponents);
        const int status = GramSchmidt_Orthonormalise(m, lv->N, lv->PolyBasis);
        if (status != 0) {
            if (CoreReporter_Speaks(s->Reporter, 1))
                CoreReporter_Error(s->Reporter, "Error forming polynomial space projection matrix.");
            return status;
        }
        lv->PolyCount = m;
    }
    DomDecomp_Free(&lv->Decomp);
    int status = DomDecomp_Setup(lv->N, s->Kernel.Dim, lv->Centres, &s->Options.DomDecomp, &lv->Decomp, s->Reporter);
    if (status != 0) {
        if (CoreReporter_Speaks(s->Reporter, 1)) CoreReporter_Error(s->Reporter, "Domain decomposition failed.");
        return status;
    }
    return StoreFactors(s, lv);
}

int InitLevel(State* s, int32_t k);

// The levels below level k from its coarse list: the next level, or below
// the last level the bottom.
int BuildBelow(State* s, int32_t k) {
    Level* lv = &s->Levels[k];
    const int32_t d = s->Kernel.Dim, count = lv->CoarseCount;
    const int32_t* list = lv->CoarseIndex;
    if (k + 1 < s->NumLevels) {
        Level* coarse = &s->Levels[k + 1];
        FreeLevel(coarse, true);
        coarse->Centres = CopyRows(*lv, list, count, count, d);
        if (!coarse->Centres) return CoreStatus_NoMemory;
        coarse->CentreCapacity = count;
        coarse->N = count;
        return InitLevel(s, k + 1);
    }
    FreeBottom(&s->Low);
    s->Low.Centres = CopyRows(*lv, list, count, count, d);
    if (!s->Low.Centres) return CoreStatus_NoMemory;
    s->Low.CentreCapacity = count;
    s->Low.N = count;
    return FactorBottom(s);
}

// Level k and everything below it.
int InitLevel(State* s, int32_t k) {
    int status = SetupLevelOwn(s, k);
    if (status != 0) return status;
    CoreReporter_SetProgress(s->Reporter, std::max(s->Reporter && s->Reporter->progress ? *s->Reporter->progress : 0.0,
                                                   0.05 * s->ProgressEnd * (k + 1) / (s->NumLevels + 1)));
    int32_t* list = nullptr;
    int32_t count = 0;
    status = SelectCoarse(s, k, &list, &count);
    if (status != 0) return status;
    Level* lv = &s->Levels[k];
    Mem_Free(lv->CoarseIndex);
    lv->CoarseIndex = list;
    lv->CoarseCount = count;
    return BuildBelow(s, k);
}

// The levels needed below a level whose coarse list holds c points.
void CountLevels(State* s, int32_t k, int32_t c) {
    s->NumLevels = k + 1;
    for (; c > s->Options.Bottom.MaxCholeskySize && s->NumLevels < kMaxLevels - 1;
         c = c / s->Options.CoarseSampleRate + Terms(*s))
        ++s->NumLevels;
}

// Level k's coarse level can take no more points: it and everything below
// it are dropped, and a new spread-out sample of level k, favouring the
// largest |r|, starts them again.
int Restart(State* s, int32_t k, const double* r) {
    if (Says(*s, 5)) CoreReporter_Info(s->Reporter, "%*sDiscarding level %d. Starting again.", 2 * k, "", k + 1);
    Level* lv = &s->Levels[k];
    const int32_t m = Terms(*s), want = lv->N / s->Options.CoarseSampleRate;
    int32_t* list = Mem_AllocInts(want + 2 * m + 1);
    if (!list) return CoreStatus_NoMemory;
    int32_t n = 0;
    int status = ChoosePoints(s, k, r, nullptr, 0, want, true, list, &n);
    if (status == 0) status = CompleteCoarse(s, k, list, &n);
    if (status != 0) {
        Mem_Free(list);
        return status;
    }
    for (int32_t j = k + 1; j < kMaxLevels; ++j) FreeLevel(&s->Levels[j], true);
    FreeBottom(&s->Low);
    Mem_Free(lv->CoarseIndex);
    lv->CoarseIndex = list;
    lv->CoarseCount = n;
    CountLevels(s, k, n);
    return BuildBelow(s, k);
}

// The bottom grew past one direct factor: its points become the last
// level, with a new bottom below them.
int NewLevel(State* s) {
    const int32_t k = s->NumLevels;
    if (k >= kMaxLevels - 1) return FactorBottom(s);
    Level* lv = &s->Levels[k];
    FreeLevel(lv, true);
    lv->Centres = s->Low.Centres;
    lv->CentreCapacity = s->Low.CentreCapacity;
    lv->N = s->Low.N;
    s->Low.Centres = nullptr;
    FreeBottom(&s->Low);
    s->NumLevels = k + 1;
    if (Says(*s, 5)) CoreReporter_Info(s->Reporter, "%*sNew level created with %d points.", 2 * k, "", lv->N);
    return InitLevel(s, k);
}

// Product of the coefficients x (over level k's centres, or the bottom's
// when k is the level count) at those centres, with the smoothing term.
int Product(State* s, int32_t k, const double* x, double accuracy, double* out) {
    const double shiftFactor = std::fabs(s->Options.Bottom.Rho) * s->Kernel.Sign;
    Level* lv = k < s->NumLevels ? &s->Levels[k] : nullptr;
    const int32_t n = lv ? lv->N : s->Low.N;
    double* const* centres = lv ? lv->Centres : s->Low.Centres;
    RapidEvalWorkspace local;
    RapidEval_ZeroWorkspace(&local);
    RapidEvalWorkspace* ws = lv ? &lv->Eval : &local;
    const int status =
        RapidEval_Evaluate(n, &s->Kernel, centres, x, s->Shift, &s->Options.Eval, ws, accuracy, out, s->Reporter,
                           s->Reporter && s->Reporter->progress ? *s->Reporter->progress : 0.0);
    // The coefficient arrays are rewritten between products.
    RapidEval_DiscardExpansions(ws);
    RapidEval_ClearWorkspace(&local);
    if (status != 0) return status;
    if (shiftFactor != 0.0)
        for (int32_t i = 0; i < n; ++i) out[i] += shiftFactor * x[i];
    return 0;
}

int RadFitFGMRes_Multiply(int32_t, const double* x, double accuracy, void* user, double* Ax, const CoreReporter*,
                          double) {
    auto* s = static_cast<State*>(user);
    return Product(s, s->Current, x, accuracy, Ax);
}

// Appends to the level below k the points that it lacks of largest |r| (or
// well spread), within MaxCoarseSize of level k, and sets that level up
// again; a level that can take no more starts again.
int AddPoints(State* s, int32_t k, const double* r) {
    Level* lv = &s->Levels[k];
    const int32_t d = s->Kernel.Dim, m = Terms(*s);
    const bool toBottom = k + 1 == s->NumLevels;
    int32_t add = static_cast<int32_t>(s->Options.AddFraction * lv->CoarseCount);
    add = std::min(add, static_cast<int32_t>(s->Options.MaxCoarseSize * lv->N) - lv->CoarseCount);
    if (add <= 0) return Restart(s, k, r);
    int32_t* chosen = Mem_AllocInts(add);
    if (!chosen) return CoreStatus_NoMemory;
    int status = ChoosePoints(s, k, r, lv->CoarseIndex, lv->CoarseCount, add, s->Options.AddWellSpaced != 0, chosen,
                              &add);
    if (status != 0 || add == 0) {
        Mem_Free(chosen);
        return status != 0 ? status : Restart(s, k, r);
    }
    const int32_t total = lv->CoarseCount + add;
    int32_t* index = static_cast<int32_t*>(Mem_Realloc(lv->CoarseIndex, sizeof(int32_t) * (total + m)));
    if (!index) {
        lv->CoarseIndex = nullptr;
        Mem_Free(chosen);
        return CoreStatus_NoMemory;
    }
    lv->CoarseIndex = index;
    std::copy(chosen, chosen + add, index + lv->CoarseCount);
    Mem_Free(chosen);
    for (int32_t t = 0; t < m; ++t) index[total + t] = lv->N + t;
    lv->CoarseCount = total;
    double*** rows = toBottom ? &s->Low.Centres : &s->Levels[k + 1].Centres;
    double** grown = Mem_ReallocMatrix(*rows, total, d);
    *rows = grown;
    if (!grown) return CoreStatus_NoMemory;
    for (int32_t j = total - add; j < total; ++j)
        std::memcpy(grown[j], lv->Centres[index[j]], sizeof(double) * static_cast<std::size_t>(d));
    if (Says(*s, 5))
        CoreReporter_Info(s->Reporter,
                          toBottom ? "%*sAdding %d points to level %d. Now %d points."
                                   : "%*s%d points added to level %d. Now %d points.",
                          2 * k, "", add, k + 1, total);
    if (toBottom) {
        s->Low.N = total;
        s->Low.CentreCapacity = total;
        return total > s->Options.Bottom.MaxCholeskySize ? NewLevel(s) : FactorBottom(s);
    }
    Level* next = &s->Levels[k + 1];
    next->N = total;
    status = SetupLevelOwn(s, k + 1);
    if (status != 0) return status;
    for (int32_t t = 0; t < m; ++t) next->CoarseIndex[next->CoarseCount + t] = total + t;
    return 0;
}

int RadFitFGMRes_Precondition(int32_t, const double* v, void* user, double* z, double R, const CoreReporter*, double) {
    auto* s = static_cast<State*>(user);
    const int32_t k = s->Current, m = Terms(*s);
    Level* lv = &s->Levels[k];
    const int32_t N = lv->N;
    const RadFitFGMResOptions& o = s->Options;
    const double D = MaxAbs(v, N), t = D * o.LevelAccFactor;
    const double evalAccuracy = t * o.Solver.EvalAccFactor;
    const int32_t c = lv->Calls;
    if (c <= o.Solver.MaxIteration) lv->History[c] = R;
    if (c >= 1 && Says(*s, 5))
        CoreReporter_Info(s->Reporter, "%*sRate of convergence is %.2g", 2 * k, "",
                          lv->History[c - 1] > 0.0 ? R / lv->History[c - 1] : 0.0);
    if (Says(*s, 6))
        CoreReporter_Debug(s->Reporter, "%*sPreconditioner inf-norm of values is %.2g", 2 * k, "", D);
    if (c >= 1 && c <= o.Solver.MaxIteration) {
        const double last = lv->History[c - 1] > 0.0 ? R / lv->History[c - 1] : 0.0;
        bool slow = last > 1.0 || (k == 0 && last > o.MinimumRate);
        if (c >= o.CoarseAddPeriod && c % o.CoarseAddPeriod == 0 && lv->History[c - o.CoarseAddPeriod] > 0.0)
            slow = slow || R / lv->History[c - o.CoarseAddPeriod] > s->RateLimit;
        if (slow) {
            const int status = AddPoints(s, k, v);
            if (status != 0) return status;
            lv = &s->Levels[k];
        }
    }
    std::fill(z, z + N + m, 0.0);
    int status = DomDecomp_ApplyPreconditioner(lv->Centres, &lv->Decomp, z, v, &s->Kernel, o.Bottom.Rho, nullptr, 0.0,
                                               s->Reporter ? s->Reporter->abort : nullptr);
    if (status != 0) return status;
    if (lv->PolyCount > 0) GramSchmidt_ProjectOut(lv->PolyCount, N, lv->PolyBasis, z);
    status = Product(s, k, z, evalAccuracy, lv->Product);
    if (status != 0) return status;
    // The remainder restricted down the chain of coarser levels.
    double* restricted = lv->Product;
    for (int32_t i = 0; i < N; ++i) restricted[i] = v[i] - lv->Product[i];
    if (Says(*s, 6))
        CoreReporter_Debug(s->Reporter, "%*sResidual inf-norm after chols is %.2g", 2 * k, "", MaxAbs(restricted, N));
    const double* from = restricted;
    for (int32_t j = k; j < s->NumLevels; ++j) {
        const Level& fine = s->Levels[j];
        double* into = j + 1 < s->NumLevels ? s->Levels[j + 1].Values : s->Low.Values;
        for (int32_t i = 0; i < fine.CoarseCount; ++i) into[i] = from[fine.CoarseIndex[i]];
        from = into;
    }
    double centre[3];
    double* bottomCoeffs = s->Low.Coeffs;
    status = Rbf_SolveInterpolation(s->Low.N, s->Low.Values, &s->Low.Direct, &bottomCoeffs, centre, s->Reporter);
    if (status != 0) return status;
    const double* correction = s->Low.Coeffs;
    int32_t count = s->Low.N;
    for (int32_t j = s->NumLevels - 1; j >= k; --j) {
        Level* fine = &s->Levels[j];
        double* into = j == k ? fine->Correction : fine->Cascade;
        // Places that no coarse point names must hold zero after the scatter.
        std::fill(into, into + fine->N + m, 0.0);
        std::memcpy(into, correction, sizeof(double) * static_cast<std::size_t>(count + m));
        status = Scatter_Doubles(into, fine->CoarseIndex, count + m);
        if (status != 0) return status;
        if (j == k) break;
        // Level j: what the deeper correction leaves of its values, solved
        // by an inner FGMRES preconditioned one level down.
        status = Product(s, j, into, evalAccuracy, fine->Product);
        if (status != 0) return status;
        for (int32_t i = 0; i < fine->N; ++i) fine->Values[i] -= fine->Product[i];
        if (Says(*s, 6))
            CoreReporter_Debug(s->Reporter, "%*sResidual inf-norm after level %d is %.2g", 2 * k, "", j,
                               MaxAbs(fine->Values, fine->N));
        FGMResOptions inner = s->Inner;
        inner.MsgIndent = 2 * j;
        const double target = std::min(MaxAbs(fine->Values, fine->N) * o.LevelAccFactor, t);
        s->Current = j;
        std::fill(fine->Coeffs, fine->Coeffs + fine->N + m, 0.0);
        status = FGMRes_Solve(fine->N, fine->N, fine->Values, target, &inner, RadFitFGMRes_Precondition,
                              RadFitFGMRes_Multiply, s, fine->Coeffs, s->Reporter,
                              s->Reporter && s->Reporter->progress ? *s->Reporter->progress : 0.0);
        s->Current = k;
        if (status != 0 && status != CoreStatus_NoConvergence && status != CoreStatus_ReachedMaxIteration)
            return status;
        fine = &s->Levels[j];
        fine->Calls = 0;
        for (int32_t i = 0; i < fine->N + m; ++i) fine->Cascade[i] += fine->Coeffs[i];
        correction = fine->Cascade;
        count = fine->N;
    }
    lv = &s->Levels[k];
    for (int32_t i = 0; i < N + m; ++i) z[i] += lv->Correction[i];
    lv->Calls++;
    s->Current = k;
    return 0;
}

}  // namespace

void RadFitFGMRes_PrintSettings(const CoreReporter* r, int32_t N, const BasicFunctionKernel* kernel, double memoryLimit,
                                const RadFitFGMResOptions* o) {
    if (!CoreReporter_SpeaksIn(r, 5, kCategoryFgmresFit)) return;
    CoreReporter_Info(r, "RadFitFGMRes compiled on %s at %s\n\n", __DATE__, __TIME__);
    CoreReporter_Value(r, "Centres", "%d %dD", N, kernel->Dim);
    CoreReporter_Value(r, "Basic function", "%s", kernel->Name ? kernel->Name : "");
    if (kernel->Type == kBasicMultiquadric || kernel->Type == kBasicNormalizedMultiquadric)
        CoreReporter_Value(r, "Multiquadric type", "%d", kernel->Exponent);
    if (kernel->Type == 2 || kernel->Type == 3)
        CoreReporter_Value(r, "Basic function parameter", "%.3g", kernel->Param);
    CoreReporter_Value(r, "Memory to use", "%u", static_cast<unsigned>(memoryLimit / 1048576.0));
    CoreReporter_Info(r, "%s", "");
    CoreReporter_Value(r, "Allow updating", "%s", o->AllowUpdating ? "Yes" : "No");
    CoreReporter_Value(r, "Add well spaced points", "%s", o->AddWellSpaced ? "Yes" : "No");
    CoreReporter_Value(r, "Coarse sample rate", "%d", o->CoarseSampleRate);
    CoreReporter_Value(r, "Level accuracy factor", "%.2g", o->LevelAccFactor);
    CoreReporter_Value(r, "Minimum convergence rate", "%.2g", o->MinimumRate);
    CoreReporter_Value(r, "Add Fraction", "%.2g", o->AddFraction);
    CoreReporter_Value(r, "Max coarse size", "%.2g", o->MaxCoarseSize);
    CoreReporter_Value(r, "FGMRes Options", "%s", "");
    CoreReporter_Value(r, "Eval accuracy factor", "%.2g", o->Solver.EvalAccFactor);
    CoreReporter_Value(r, "Max iteration", "%d", o->Solver.MaxIteration);
    CoreReporter_Value(r, "Max saved iterations", "%d", o->Solver.MaxSaved);
    CoreReporter_Value(r, "Domain Decomposition Options", "%s", "");
    CoreReporter_Value(r, "Subdomain malloc ratio", "%.2g", o->DomDecomp.MallocRatio);
    if (CoreReporter_SpeaksIn(r, 6, kCategoryFgmresFit)) {
        CoreReporter_Value(r, "Max inner subdomain size", "%d", o->DomDecomp.MaxPoints);
        CoreReporter_Value(r, "Max total subdomain size", "%d", o->DomDecomp.MaxTotalPts);
        CoreReporter_Value(r, "Number of subdomain layers", "%.2g", o->DomDecomp.NumLayers);
        CoreReporter_Value(r, "Subdomain too big factor", "%.2g", o->DomDecomp.TooBigFact);
        CoreReporter_Value(r, "Subdomain too small factor", "%.2g", o->DomDecomp.TooSmallFact);
    }
    if (o->DomDecomp.Scaling == 2)
        CoreReporter_Value(r, "Subdomain scale vector", "%.2g %.2g %.2g", o->DomDecomp.Scale[0], o->DomDecomp.Scale[1],
                           o->DomDecomp.Scale[2]);
    else
        CoreReporter_Value(r, "Subdomain Scaling", "%s", o->DomDecomp.Scaling ? "Scaling" : "None");
    CoreReporter_Value(r, "Bottom Level Cholesky Options", "%s", "");
    CoreReporter_Value(r, "Chol malloc ratio", "%.2g", o->Bottom.MallocRatio);
    CoreReporter_Value(r, "Max Cholesky size", "%d", o->Bottom.MaxCholeskySize);
    CoreReporter_Value(r, "Smoothing value", "%.2g", o->Bottom.Rho);
    CoreReporter_Info(r, "%s", "");
}

int RadFitFGMRes(int32_t N, double* const* centres, const double* values, const BasicFunctionKernel* kernel,
                 double accuracy, double memoryLimit, const RadFitFGMResOptions* options, double** coefficients,
                 double* shift, const CoreReporter* reporter, double progressEnd) {
    const uint32_t start = Reporter_Clock();
    if (N <= 0 || !centres || !values || !coefficients) return CoreStatus_InvalidInput;
    if (!kernel) return CoreStatus_InvalidBasicFunction;
    if (!(accuracy > 0.0)) return CoreStatus_NegativeAccuracy;
    RadFitFGMResOptions o;
    if (options) {
        const int status = RadFitFGMRes_CheckOptions(options, reporter);
        if (status != 0) return status;
        o = *options;
    } else {
        RadFitFGMRes_DefaultOptions(&o);
    }
    const int32_t m = kernel->PolyTerms > 0 ? kernel->PolyTerms : 0, d = kernel->Dim;
    if (m >= N) return CoreStatus_NotEnoughPoints;
    bool allocated = false;
    if (!*coefficients) {
        if (o.Solver.UseCoeffs) {
            if (CoreReporter_Speaks(reporter, 2))
                CoreReporter_Warning(reporter, "No coefficients present to use. UseCoeffs option ignored.");
            o.Solver.UseCoeffs = 0;
        }
        *coefficients = Mem_AllocDoubles(N + m);
        if (!*coefficients) return CoreStatus_NoMemory;
        allocated = true;
    }
    RadFitFGMRes_PrintSettings(reporter, N, kernel, memoryLimit, &o);
    const double largest = MaxAbs(values, N);
    if (accuracy > largest) {
        std::fill(*coefficients, *coefficients + N + m, 0.0);
        if (o.AchievedAccuracyOut) *o.AchievedAccuracyOut = largest;
        if (CoreReporter_Speaks(reporter, 2))
            CoreReporter_Warning(reporter, "All values less than desired accuracy. Returning trivial solution.");
        return CoreStatus_TrivialSolution;
    }
    if (N <= o.Bottom.MaxCholeskySize) {
        double centre[3] = {0, 0, 0};
        const int status = Rbf_FitDirect(N, centres, values, kernel, &o.Bottom, coefficients, centre, reporter);
        if (status == 0) {
            for (int32_t k = 0; k < d; ++k) shift[k] = centre[k];
            if (o.AchievedAccuracyOut) *o.AchievedAccuracyOut = 0.0;
        } else if (allocated) {
            Mem_Free(*coefficients);
            *coefficients = nullptr;
        }
        return status;
    }
    auto* s = static_cast<State*>(Mem_Calloc(1, sizeof(State)));
    if (!s) return CoreStatus_NoMemory;
    s->Kernel = *kernel;
    s->Options = o;
    s->Reporter = reporter;
    s->MemoryLimit = memoryLimit;
    s->Accuracy = accuracy;
    s->ProgressEnd = progressEnd;
    s->RateLimit = std::pow(o.MinimumRate, o.CoarseAddPeriod);
    s->Options.Solver.NumExtra = m;
    if (!o.AllowUpdating) s->Options.DomDecomp.MallocRatio = 1.0;
    s->Options.DomDecomp.MinNumOuter = m;
    // One polynomial centre for every level, the mean of the centres, so
    // that the levels' coefficients add.
    for (int32_t k = 0; k < d; ++k) {
        double sum = 0.0;
        for (int32_t i = 0; i < N; ++i) sum += centres[i][k];
        s->Shift[k] = sum / N;
        s->Options.Bottom.PolyCentre[k] = s->Shift[k];
    }
    s->Options.Bottom.AllowCentredPoly = 2;
    s->Inner = s->Options.Solver;
    s->Inner.UseCoeffs = 0;
    for (int32_t c = N; c > o.Bottom.MaxCholeskySize && s->NumLevels < kMaxLevels - 1; c = c / o.CoarseSampleRate + m)
        ++s->NumLevels;
    if (Says(*s, 5)) CoreReporter_Info(reporter, "Initializing Preconditioner...");
    s->Levels[0].Centres = const_cast<double**>(centres);
    s->Levels[0].N = N;
    int status = InitLevel(s, 0);
    if (status == 0) {
        if (Says(*s, 5)) CoreReporter_Info(reporter, "Initialization Complete");
        if (Says(*s, 3))
            CoreReporter_Elapsed(reporter, "Initialization took", static_cast<int32_t>(Reporter_Clock() - start));
        if (!s->Options.Solver.UseCoeffs) std::fill(*coefficients, *coefficients + N + m, 0.0);
        FGMResOptions solver = s->Options.Solver;
        s->Current = 0;
        status = FGMRes_Solve(N, N, values, accuracy, &solver, RadFitFGMRes_Precondition, RadFitFGMRes_Multiply, s,
                              *coefficients, reporter, progressEnd);
        if (Says(*s, 3))
            CoreReporter_SuccessElapsed(reporter, "RadFitFGMRes achieved an accuracy of %.2g and took",
                                        static_cast<int32_t>(Reporter_Clock() - start), solver.AchievedResidual);
        for (int32_t k = 0; k < d; ++k) shift[k] = s->Shift[k];
        if (o.AchievedAccuracyOut) *o.AchievedAccuracyOut = solver.AchievedResidual;
    }
    FreeState(s);
    Mem_Free(s);
    if (status != 0 && status != CoreStatus_ReachedMaxIteration && allocated) {
        Mem_Free(*coefficients);
        *coefficients = nullptr;
    }
    return status;
}

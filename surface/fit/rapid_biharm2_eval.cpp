#include <algorithm>
#include <cmath>
#include <cstring>

#include "surface/fit/rapid_biharm2_internal.h"
#include "surface/frame/core_reporter.h"
#include "surface/frame/reporter.h"
#include "surface/frame/status_codes.h"

namespace {

double Progress(const CoreReporter* reporter) { return reporter && reporter->progress ? *reporter->progress : 0.0; }

void Elapsed(const CoreReporter* reporter, const char* label, uint32_t start) {
    if (CoreReporter_SpeaksIn(reporter, 3, kCategoryBiharmonic2))
        CoreReporter_Elapsed(reporter, label, static_cast<int32_t>(Reporter_Clock() - start));
}

int32_t Count(const Biharm2Panel* p) { return p->End - p->First; }

void Direct(const RapidBiharm2Workspace* ws, const Biharm2Panel* p, const double* x, double* sum) {
    const double* c = ws->Centres + 2 * p->First;
    const double* w = ws->Coeffs + p->First;
    for (int32_t i = 0; i < Count(p); ++i, c += 2) {
        const double dx = x[0] - c[0], dy = x[1] - c[1], r2 = dx * dx + dy * dy;
        if (r2 > ws->NearThreshold) *sum += w[i] * Biharm2_Phi(r2);
    }
}

// The near field and the Taylor series at x in its deepest panel.
double ValueIn(const RapidBiharm2Workspace* ws, const Biharm2Panel* p, const double* x) {
    double v = p->Taylor ? Biharm2_TaylorValue(p, ws->TaylorLength, x) : 0.0;
    Direct(ws, p, x, &v);
    for (const Biharm2Panel* n : p->Neighbour)
        if (n) Direct(ws, n, x, &v);
    return v;
}

int FormLaurent(RapidBiharm2Workspace* ws) {
    const int32_t L = ws->LaurentLength;
    for (int32_t level = ws->DeepestLevel; level >= 2; --level)
        for (Biharm2Panel* p = ws->Levels[level]; p; p = p->Next) {
            if (Count(p) == 0) continue;
            p->Laurent = static_cast<Cx*>(Mem_Calloc(static_cast<size_t>(2 * L), sizeof(Cx)));
            if (!p->Laurent) return CoreStatus_NoMemory;
            const bool translate = level < ws->DeepestLevel && Count(p) > L;
            if (translate) {
                for (const Biharm2Panel* c : p->Child)
                    if (c && c->Laurent) Biharm2_AddChild(p, c, L);
                continue;
            }
            for (int32_t i = p->First; i < p->End; ++i) {
                const double* x = ws->Centres + 2 * i;
                Biharm2_AddCentre(p, L, Cx(x[0] - p->Centre[0], x[1] - p->Centre[1]), ws->Coeffs[i]);
            }
        }
    return 0;
}

bool Interacts(const Biharm2Panel* p, const Biharm2Panel* q) {
    return q != p && (std::abs(q->Col - p->Col) > 1 || std::abs(q->Row - p->Row) > 1);
}

// The far field of a panel of the interaction list: from its Laurent block
// cut to the length to use for its distance class (2 to √8 panel sizes, or
// 3 to √18), or from its centres when they are fewer than that length
// squared over twice the Taylor length.
void AddInteraction(const RapidBiharm2Workspace* ws, Biharm2Panel* p, const Biharm2Panel* q, int32_t T) {
    const int32_t far = std::max(std::abs(q->Col - p->Col), std::abs(q->Row - p->Row)) >= 3 ? 1 : 0;
    const int32_t use = q->LengthToUse[far];
    if (!q->Laurent || Count(q) < use * use / (2 * T)) {
        for (int32_t i = q->First; i < q->End; ++i) Biharm2_AddPointSource(p, T, ws->Centres + 2 * i, ws->Coeffs[i]);
        return;
    }
    const int32_t L = ws->LaurentLength;
    Biharm2_AddFarField(p, T, q->Head[0], q->Laurent, q->Head[1], q->Laurent + L, use, q->Centre);
}

int FormTaylor(RapidBiharm2Workspace* ws) {
    int32_t panels = 0;
    for (int32_t level = 2; level <= ws->DeepestLevel; ++level) panels += ws->LevelCounts[level];
    const double step = panels > 0 ? std::max(0.0, ws->Target - Progress(ws->Reporter)) / (2.0 * panels) : 0.0;
    for (int32_t level = 2; level <= ws->DeepestLevel; ++level) {
        const int32_t T = ws->LevelTaylorLength[level];
        for (Biharm2Panel* p = ws->Levels[level]; p; p = p->Next) {
            p->Taylor = static_cast<Cx*>(Mem_Calloc(static_cast<size_t>(2 * (T + 1)), sizeof(Cx)));
            if (!p->Taylor) return CoreStatus_NoMemory;
            if (level > 2 && p->Parent->Taylor) Biharm2_ShiftTaylor(p->Parent, ws->LevelTaylorLength[level - 1], p, T);
            for (int32_t k = -1; k < 8; ++k) {
                const Biharm2Panel* around = k < 0 ? p->Parent : p->Parent->Neighbour[k];
                if (!around) continue;
                for (const Biharm2Panel* q : around->Child)
                    if (q && Count(q) > 0 && Interacts(p, q)) AddInteraction(ws, p, q, T);
            }
            if (step > 0.0) CoreReporter_SetProgress(ws->Reporter, Progress(ws->Reporter) + step);
        }
        if (CoreReporter_AbortRequested(ws->Reporter)) return CoreStatus_UserAbort;
    }
    return 0;
}

// Scans the near-field pairs of the product once: within each deepest panel
// and with the neighbours that come after it (row, then column), so every
// pair of neighbouring panels is visited once. `pair` gets the two tree
// indices.
template <typename Pair>
void ForEachNearPair(const RapidBiharm2Workspace* ws, const Biharm2Panel* p, Pair pair) {
    for (int32_t i = p->First; i < p->End; ++i)
        for (int32_t j = p->First; j < i; ++j) pair(i, j);
    for (const Biharm2Panel* n : p->Neighbour) {
        if (!n || n->Row < p->Row || (n->Row == p->Row && n->Col < p->Col)) continue;
        for (int32_t i = p->First; i < p->End; ++i)
            for (int32_t j = n->First; j < n->End; ++j) pair(i, j);
    }
    (void)ws;
}

// Pairs at or within the near-field threshold are left out (0).
double PairPhi(const RapidBiharm2Workspace* ws, int32_t i, int32_t j) {
    const double dx = ws->Centres[2 * i] - ws->Centres[2 * j], dy = ws->Centres[2 * i + 1] - ws->Centres[2 * j + 1];
    const double r2 = dx * dx + dy * dy;
    return r2 > ws->NearThreshold ? Biharm2_Phi(r2) : 0.0;
}

int ProductAtCentres(RapidBiharm2Workspace* ws, int32_t storeValues) {
    double* r = ws->Result;
    const double* c = ws->Coeffs;
    const int32_t deepest = ws->DeepestLevel;
    if (storeValues && !ws->Cache) {
        int64_t size = 0;
        for (const Biharm2Panel* p = ws->Levels[deepest]; p; p = p->Next)
            ForEachNearPair(ws, p, [&](int32_t, int32_t) { ++size; });
        if (CoreReporter_Speaks(ws->Reporter, 5))
            CoreReporter_Info(ws->Reporter, "RapidBiharm2_Multiply: Storing TPS values");
        std::size_t bytes = 0;
        if (!Mem_BlockBytes(static_cast<uint64_t>(size > 0 ? size : 1), sizeof(double), &bytes))
            return CoreStatus_NoMemory;
        ws->Cache = static_cast<double*>(Mem_Alloc(bytes));
        if (!ws->Cache) return CoreStatus_NoMemory;
        ws->CacheSize = size;
        ws->CacheFilled = 0;
    }
    const int32_t panels = ws->LevelCounts[deepest] > 0 ? ws->LevelCounts[deepest] : 1;
    const double step = std::max(0.0, ws->Target - Progress(ws->Reporter)) / (1.05 * panels);
    // The far fields first: the pairs of a panel add to its neighbours' centres.
    for (const Biharm2Panel* p = ws->Levels[deepest]; p; p = p->Next)
        for (int32_t i = p->First; i < p->End; ++i)
            r[i] = p->Taylor ? Biharm2_TaylorValue(p, ws->TaylorLength, ws->Centres + 2 * i) : 0.0;
    int64_t at = 0;
    for (const Biharm2Panel* p = ws->Levels[deepest]; p; p = p->Next) {
        ForEachNearPair(ws, p, [&](int32_t i, int32_t j) {
            double phi;
            if (ws->Cache && ws->CacheFilled) {
                phi = ws->Cache[at++];
                if (phi == 0.0) return;
            } else {
                phi = PairPhi(ws, i, j);
                if (ws->Cache) ws->Cache[at++] = phi;
            }
            r[i] += phi * c[j];
            r[j] += phi * c[i];
        });
        if (step > 0.0) CoreReporter_SetProgress(ws->Reporter, Progress(ws->Reporter) + step);
        if (CoreReporter_AbortRequested(ws->Reporter)) return CoreStatus_UserAbort;
    }
    if (ws->Cache) ws->CacheFilled = 1;
    return 0;
}

double Tuned(double old, double ratio, bool stored) {
    const double c = std::cbrt(ratio);
    if (stored) {
        if (ratio >= 0.3 && ratio <= 5.0) return old;
        return c > 1.0 ? old / (1.25 * c) : old / (0.4 * c);
    }
    if (ratio >= 0.6 && ratio <= 3.0) return old;
    return c > 1.0 ? old / (0.8 * c) : old / (c * 2.0 / 3.0);
}

bool InsideSquare(const RapidBiharm2Workspace* ws, const double* lo, const double* hi) {
    const double size = 2.0 * ws->HalfSize[0];
    return lo[0] >= ws->Min[0] && lo[1] >= ws->Min[1] && hi[0] <= ws->Min[0] + size && hi[1] <= ws->Min[1] + size;
}

// Builds (or rebuilds over a wider box) the tree and the expansions for an
// evaluation over the box lo..hi (widened to the caller's box).
int Prepare(RapidBiharm2Workspace* ws, int32_t N, const double* const* centres, const double* coeffs, double numInPanel,
            double accuracy, const double* box, double* lo, double* hi) {
    if (box) {
        lo[0] = std::fmin(lo[0], box[0]), lo[1] = std::fmin(lo[1], box[1]);
        hi[0] = std::fmax(hi[0], box[2]), hi[1] = std::fmax(hi[1], box[3]);
    }
    if (ws->TreeBuilt && (ws->N != N || !InsideSquare(ws, lo, hi))) RapidBiharm2_Free(ws);
    if (ws->ExpansionsFormed && (ws->FormedFrom != coeffs || accuracy < ws->Accuracy)) RapidBiharm2_FreeTaylor(ws);
    const double wide[4] = {lo[0], lo[1], hi[0], hi[1]};
    int status = RapidBiharm2_InitTree(ws, N, centres, numInPanel, wide, ws->Reporter);
    if (status == 0) status = RapidBiharm2_InitExpansions(ws, accuracy, coeffs, nullptr);
    return status;
}

}  // namespace

int RapidBiharm2_InitExpansions(RapidBiharm2Workspace* ws, double accuracy, const double* coeffs,
                                int64_t* taylorTicks) {
    if (!ws || !coeffs) return CoreStatus_NullArgument;
    if (!ws->TreeBuilt) return CoreStatus_InvalidInput;
    if (ws->ExpansionsFormed) return 0;
    for (int32_t i = 0; i < ws->N; ++i) ws->Coeffs[i] = coeffs[ws->Permutation[i]];
    if (int status = RapidBiharm2_SetLengths(ws, accuracy)) return status;
    std::fill(ws->Result, ws->Result + ws->N, 0.0);
    uint32_t start = Reporter_Clock();
    int status = FormLaurent(ws);
    if (status == 0) {
        const double now = Progress(ws->Reporter);
        if (ws->Target > now) CoreReporter_SetProgress(ws->Reporter, now + 0.03 * (ws->Target - now));
        Elapsed(ws->Reporter, "RapidBiharm2_InitExpansions: Forming Laurent expansions took", start);
        start = Reporter_Clock();
        status = FormTaylor(ws);
    }
    if (status != 0) {
        RapidBiharm2_FreeTaylor(ws);
        return status;
    }
    const uint32_t ticks = Reporter_Clock() - start;
    Elapsed(ws->Reporter, "RapidBiharm2_InitExpansions: Forming Taylor expansions took", start);
    if (taylorTicks) *taylorTicks = ticks;
    ws->ExpansionsFormed = 1;
    ws->FormedFrom = coeffs;
    ws->Accuracy = accuracy;
    return 0;
}

int RapidBiharm2_Multiply(int32_t N, int32_t dimension, const double* const* centres, const double* coeffs,
                          RapidBiharm2Workspace* ws, double numInPanel, double accuracy, int32_t storeValues,
                          int32_t tuneSteps, double* result, const CoreReporter* reporter, double target) {
    if (!ws || !centres || !result) return CoreStatus_NullArgument;
    if (dimension != 2 || !(numInPanel > 0.0) || !(accuracy > 0.0) || N <= 0 || !coeffs) return CoreStatus_InvalidInput;
    ws->Reporter = reporter;
    ws->Target = target;
    int64_t taylor = 0;
    int status = RapidBiharm2_InitTree(ws, N, centres, numInPanel, nullptr, reporter);
    ws->Reporter = reporter;
    ws->Target = target;
    if (status == 0) status = RapidBiharm2_InitExpansions(ws, accuracy, coeffs, &taylor);
    const uint32_t start = Reporter_Clock();
    if (status == 0) status = ProductAtCentres(ws, storeValues);
    if (status != 0) {
        RapidBiharm2_Free(ws);
        return status;
    }
    for (int32_t i = 0; i < N; ++i) result[ws->Permutation[i]] = ws->Result[i];
    const int64_t evaluation = std::max<int64_t>(1, Reporter_Clock() - start);
    Elapsed(reporter, "RapidBiharm2_Multiply: Evaluation took", start);
    RapidBiharm2_FreeTaylor(ws);
    const bool firstStored = storeValues && ws->ProductsDone == 0;
    // With stored values the first product pays for storing them, so the
    // tuning starts with the second; its ratio then has its own band.
    if (!firstStored && ws->ProductsDone < tuneSteps) {
        const double ratio = static_cast<double>(evaluation) / std::max<int64_t>(1, taylor);
        const double old = ws->NumInPanel, tuned = Tuned(old, ratio, storeValues != 0);
        ++ws->ProductsDone;
        if (tuned != old) {
            if (CoreReporter_Speaks(reporter, 5))
                CoreReporter_Info(reporter, "RapidBiharm2_Multiply: NumInPanel optimised to %.1f", tuned);
            const int32_t products = ws->ProductsDone;
            RapidBiharm2_Free(ws);
            ws->ProductsDone = products;
            status = RapidBiharm2_InitTree(ws, N, centres, tuned, nullptr, reporter);
        }
    } else if (firstStored) {
        ++ws->ProductsDone;
    }
    CoreReporter_SetProgress(reporter, target);
    return status;
}

int RapidBiharm2_PointEval(int32_t N, int32_t dimension, const double* const* centres, const double* coeffs,
                           RapidBiharm2Workspace* ws, double numInPanel, double accuracy, const double* box, int32_t M,
                           const double* const* points, double* values, const CoreReporter* reporter, double target) {
    if (!centres || !coeffs || !ws) return CoreStatus_NullArgument;
    if (dimension != 2 || M <= 0 || N <= 0 || !points || !values) return CoreStatus_InvalidInput;
    if (!(accuracy > 0.0)) return CoreStatus_NegativeAccuracy;
    ws->Reporter = reporter;
    ws->Target = target;
    double lo[2] = {HUGE_VAL, HUGE_VAL}, hi[2] = {-HUGE_VAL, -HUGE_VAL};
    for (int32_t i = 0; i < M; ++i)
        for (int32_t j = 0; j < 2; ++j) lo[j] = std::fmin(lo[j], points[i][j]), hi[j] = std::fmax(hi[j], points[i][j]);
    int status = Prepare(ws, N, centres, coeffs, numInPanel, accuracy, box, lo, hi);
    if (status != 0) return status;
    if (!(ws->HalfSize[0] > 0.0)) return CoreStatus_InvalidInput;
    const uint32_t start = Reporter_Clock();
    for (int32_t i = 0; i < M; ++i) {
        const Biharm2Panel* p = Biharm2_Find(ws, points[i]);
        if (!p) return 1;
        values[i] = ValueIn(ws, p, points[i]);
        const double now = Progress(reporter);
        if (target > now) CoreReporter_SetProgress(reporter, now + (target - now) / (M - i));
        if (CoreReporter_AbortRequested(reporter)) return CoreStatus_UserAbort;
    }
    Elapsed(reporter, "RapidBiharm2_PointEval: Evaluation took", start);
    CoreReporter_SetProgress(reporter, target);
    return 0;
}

int RapidBiharm2_GridEval(int32_t N, int32_t dimension, const double* const* centres, const double* coeffs,
                          RapidBiharm2Workspace* ws, double numInPanel, double accuracy, const double* box,
                          const double* base, const double* spacing, const int32_t* sizes, double* values,
                          const CoreReporter* reporter, double target) {
    if (!centres || !coeffs || !ws || !base || !spacing || !sizes || !values) return CoreStatus_NullArgument;
    if (dimension != 2 || spacing[0] < 0.0 || spacing[1] < 0.0 || sizes[0] <= 0 || sizes[1] <= 0 || N <= 0)
        return CoreStatus_InvalidInput;
    if (!(accuracy > 0.0)) return CoreStatus_NegativeAccuracy;
    // A grid is evaluated on a tree set up for these centres beforehand.
    if (!ws->TreeBuilt || ws->N != N) return CoreStatus_InvalidInput;
    ws->Reporter = reporter;
    ws->Target = target;
    double lo[2] = {base[0], base[1]};
    double hi[2] = {base[0] + (sizes[0] - 1) * spacing[0], base[1] + (sizes[1] - 1) * spacing[1]};
    int status = Prepare(ws, N, centres, coeffs, numInPanel, accuracy, box, lo, hi);
    if (status != 0) return status;
    if (!(ws->HalfSize[0] > 0.0)) return CoreStatus_InvalidInput;
    const uint32_t start = Reporter_Clock();
    int32_t at = 0;
    for (int32_t j = 0; j < sizes[1]; ++j) {
        const Biharm2Panel* p = nullptr;
        for (int32_t i = 0; i < sizes[0]; ++i, ++at) {
            const double x[2] = {base[0] + i * spacing[0], base[1] + j * spacing[1]};
            const double h = p ? ws->HalfSize[p->Level] : 0.0;
            if (!p || std::fabs(x[0] - p->Centre[0]) > h || std::fabs(x[1] - p->Centre[1]) > h) {
                p = Biharm2_Find(ws, x);
                if (!p) return 1;
            }
            values[at] = ValueIn(ws, p, x);
        }
        const double now = Progress(reporter);
        if (target > now) CoreReporter_SetProgress(reporter, now + (target - now) / (sizes[1] - j));
        if (CoreReporter_AbortRequested(reporter)) return CoreStatus_UserAbort;
    }
    Elapsed(reporter, "RapidBiharm2_GridEval: Evaluation took", start);
    return 0;
}

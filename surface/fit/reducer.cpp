// The centre-reduction fitter's passes: fit the current centres, evaluate
// at a sample of the points, add the worst-fitted points panel by panel,
// drop negligible centres.
#include "surface/fit/reducer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "surface/fit/dd_fit.h"
#include "surface/fit/direct_fit.h"
#include "surface/fit/point_panels.h"
#include "surface/fit/poly_subset.h"
#include "surface/fit/spatial_sampling.h"
#include "surface/frame/core_reporter.h"
#include "surface/frame/reporter.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_matrix.h"

namespace {

constexpr double kMinimumSlope = 2.220446049250313e-16;

struct Work {
    int32_t N = 0, d = 0, m = 0;
    double* const* points = nullptr;
    const double* f = nullptr;
    const BasicFunctionKernel* kernel = nullptr;
    const CoreReporter* reporter = nullptr;
    ReducerOptions o{};
    double memory = 0.0;
    double* acc = nullptr;  // per point
    double minAcc = 0.0, maxAcc = 0.0, largestF = 0.0;
    int32_t maxCentres = 0, maxAdd = 0, startSize = 0, sampleRate = 1, offset = 0;
    int32_t* centres = nullptr;  // data indices, in fitting order
    int32_t numCentres = 0;
    double** rows = nullptr;  // rows of the centres
    double* targets = nullptr;
    double* coeffs = nullptr;  // maxCentres + m
    double* addedResidual = nullptr;
    unsigned char* isCentre = nullptr;
    double* fitted = nullptr;    // per point at the evaluated points
    double* residual = nullptr;  // |f - s| per point, 0 where not evaluated
    int32_t* pending = nullptr;  // new centres of the next fit
    int32_t numPending = 0, pendingRoom = 0;
    int32_t* panel = nullptr;
    int32_t* flags = nullptr;
    int32_t numPanels = 0, panelBuilt = 0;
    int32_t* sample = nullptr;
    double** sampleRows = nullptr;
    double* sampleValues = nullptr;
    double shift[3] = {0, 0, 0};
    double coefThreshold = 0.0, fitAccFactor = 0.0, fitAccuracy = 0.0, selection = 1.0;
    int32_t removeThreshold = 0;  // more unneeded centres than this are removed
    int32_t lastIterations = -1, fits = 0;
    bool fittedOnce = false;
    double progressStart = 0.0, progressEnd = 0.0;
    DDFitWorkspace ws{};
};

void FreeWork(Work* w) {
    Mem_Free(w->acc);
    Mem_Free(w->centres);
    Mem_Free(w->rows);
    Mem_Free(w->targets);
    Mem_Free(w->coeffs);
    Mem_Free(w->addedResidual);
    Mem_Free(w->isCentre);
    Mem_Free(w->fitted);
    Mem_Free(w->residual);
    Mem_Free(w->pending);
    Mem_Free(w->panel);
    Mem_Free(w->flags);
    Mem_Free(w->sample);
    Mem_Free(w->sampleRows);
    Mem_Free(w->sampleValues);
    DDFit_FreeWorkspace(&w->ws);
}

bool Says(const Work* w, int32_t level) { return CoreReporter_SpeaksIn(w->reporter, level, 0x10); }

int AccuracyVector(Work* w, double accuracy, const double* vector) {
    w->acc = Mem_AllocDoubles(w->N);
    if (!w->acc) return CoreStatus_NoMemory;
    for (int32_t i = 0; i < w->N; ++i) w->acc[i] = vector ? vector[i] : accuracy;
    w->minAcc = *std::min_element(w->acc, w->acc + w->N);
    w->maxAcc = *std::max_element(w->acc, w->acc + w->N);
    return w->minAcc > 0.0 ? 0 : CoreStatus_NegativeAccuracy;
}

// Panels of about N / wish points (at least the minimum panel size), every
// flag set to `flag`.
int MakePanels(Work* w, int32_t wish, int32_t flag) {
    wish = std::max(1, std::min(wish, w->N / std::max(1, w->o.MinPanelSize)));
    const int status =
        PointPanels_Label(w->N, w->points, w->d, std::max(2, w->N / wish), w->panel, &w->numPanels, w->reporter->abort);
    if (status != 0) return status;
    Mem_Free(w->flags);
    w->flags = Mem_AllocInts(w->numPanels);
    if (!w->flags) return CoreStatus_NoMemory;
    std::fill(w->flags, w->flags + w->numPanels, flag);
    return 0;
}

// The start set: the polynomial's spanning points, the extremes of every
// coordinate and a stratified sample, sorted and unique.
int StartSet(Work* w) {
    int32_t* list = w->pending;
    int32_t n = 0;
    if (w->o.InitialCount > 0) {
        for (int32_t j = 0; j < w->o.InitialCount && j < w->N; ++j) list[n++] = w->o.InitialIndices[j];
        w->sampleRate = 1;
    } else {
        if (w->m > 0) {
            int32_t chosen = 0;
            const int status =
                Poly_SelectSpanningSubset(w->d, w->kernel->PolyDegree, w->m, w->N, w->points, list, &chosen);
            if (status != 0 && status != CoreStatus_LinearDependency) return status;
            n += chosen;
        }
        for (int32_t k = 0; k < w->d; ++k) {
            int32_t lo = 0, hi = 0;
            for (int32_t i = 1; i < w->N; ++i) {
                if (w->points[i][k] < w->points[lo][k]) lo = i;
                if (w->points[i][k] > w->points[hi][k]) hi = i;
            }
            list[n++] = lo;
            list[n++] = hi;
        }
        // A sample rate above the start size would leave no sample (and a
        // division by zero in its spacing): both stay at least 1.
        w->startSize = std::max(1, w->startSize / w->sampleRate);
        w->maxAdd = std::max(1, w->maxAdd / w->sampleRate);
        const int32_t take = std::min(w->startSize, w->N);
        const int status = SpatialDivision_Pick(w->N, w->points, w->d, take, list + n);
        if (status != 0) return status;
        n += take;
    }
    std::sort(list, list + n);
    n = static_cast<int32_t>(std::unique(list, list + n) - list);
    w->numPending = n;
    return 0;
}

void PolyShift(Work* w) {
    const DirectFitOptions& o = w->o.Fitter.Direct;
    for (int32_t k = 0; k < w->d; ++k) {
        if (o.AllowCentredPoly == 0) {
            w->shift[k] = 0.0;
        } else if (o.AllowCentredPoly == 1) {
            double sum = 0.0;
            for (int32_t i = 0; i < w->N; ++i) sum += w->points[i][k];
            w->shift[k] = sum / w->N;
        } else {
            w->shift[k] = o.PolyCentre[k];
        }
    }
}

// The fit accuracy factor less the margin, kept positive.
double FitFactor(const Work* w) { return std::max(w->fitAccFactor - w->o.AccuracyMargin, 0.001); }

int RunFit(Work* w) {
    const uint32_t start = Reporter_Clock();
    DDFitOptions fit = w->o.Fitter;
    fit.UseLambda = w->fittedOnce ? 1 : 0;
    fit.Residual = nullptr;
    double error = -1.0;
    fit.AchievedError = &error;
    fit.Direct.AllowCentredPoly = 2;
    for (int32_t k = 0; k < 3; ++k) fit.Direct.PolyCentre[k] = w->shift[k];
    CoreReporter quiet = *w->reporter;
    quiet.progress = nullptr;
    const double room = std::max(0.0, w->memory - static_cast<double>(Mem_CurrentBytes()));
    double* coeffs = w->coeffs;
    int status = DDFit_Run(w->numCentres, w->rows, w->targets, w->kernel, w->fitAccuracy, room, &fit, &w->ws, &coeffs,
                           w->shift, &quiet, 0.0);
    w->fittedOnce = true;
    ++w->fits;
    const int32_t iterations = w->ws.Levels ? w->ws.Levels[0].Iterations : 0;
    if (Says(w, 5))
        CoreReporter_Info(w->reporter, "Fitter achieved %.2e accuracy in %.1fsec (%d itns)", error,
                          (Reporter_Clock() - start) / 1000.0, iterations);
    w->o.MemoryRequirement[0] = w->ws.MinMemoryMB;
    w->o.MemoryRequirement[1] = w->ws.MaxMemoryMB;
    // A fit that needed more iterations than the one before rebuilds its
    // workspace next time.
    const int32_t previous = w->lastIterations < 0 ? w->o.Fitter.MaxIteration : w->lastIterations;
    if (iterations > previous || !w->o.Fitter.AllowUpdating) DDFit_FreeWorkspace(&w->ws);
    w->lastIterations = iterations;
    // A fit that reached its iteration limit still improved the centres; one
    // that did not converge is a failure of the whole reduction.
    if (status == CoreStatus_TrivialSolution || status == CoreStatus_ReachedMaxIteration) status = 0;
    return status;
}

// Centres whose weighted coefficient is below the threshold go, when more
// of them than the removal count are found.
int RemoveUnneeded(Work* w, int32_t addedThisPass) {
    const int32_t nc = w->numCentres, threshold = w->removeThreshold;
    if (w->maxAdd <= threshold || nc <= w->m + 2) return 0;
    double* weight = Mem_AllocDoubles(nc);
    int32_t* order = Mem_AllocInts(nc);
    if (!weight || !order) {
        Mem_Free(weight);
        Mem_Free(order);
        return CoreStatus_NoMemory;
    }
    const double scale = std::max(std::fabs(w->o.Fitter.Direct.Rho), 1.0);
    for (int32_t j = 0; j < nc; ++j) {
        weight[j] = scale * std::fabs(w->coeffs[j]);
        order[j] = j;
    }
    std::sort(order, order + nc, [weight](int32_t a, int32_t b) { return weight[a] < weight[b]; });
    int32_t count = 0;
    while (count < std::min(nc, w->maxAdd) && weight[order[count]] < w->coefThreshold) ++count;
    Mem_Free(weight);
    if (count <= threshold) {
        Mem_Free(order);
        return 0;
    }
    count = std::min(count, std::max(addedThisPass - 1, 0));
    count = std::min(count, nc - w->m - 2);
    if (count <= 0) {
        Mem_Free(order);
        return 0;
    }
    if (Says(w, 5)) CoreReporter_Info(w->reporter, "Removing %d unnecessary centres", count);
    std::sort(order, order + count);
    int32_t last = nc;
    for (int32_t q = count - 1; q >= 0; --q) {
        const int32_t j = order[q];
        --last;
        w->isCentre[w->centres[j]] = 0;
        w->centres[j] = w->centres[last];
        w->rows[j] = w->rows[last];
        w->targets[j] = w->targets[last];
        w->coeffs[j] = w->coeffs[last];
        w->addedResidual[j] = w->addedResidual[last];
    }
    std::memmove(w->coeffs + last, w->coeffs + nc, sizeof(double) * static_cast<std::size_t>(w->m));
    w->numCentres = last;
    Mem_Free(order);
    // The centre table changed in place: nothing built over it stays valid.
    DDFit_FreeWorkspace(&w->ws);
    return RunFit(w);
}

// Appends the pending centres and fits.
int PassFit(Work* w) {
    const int32_t nc = w->numCentres, m = w->m;
    int32_t added = 0;
    std::sort(w->pending, w->pending + w->numPending);
    const int32_t distinct = static_cast<int32_t>(std::unique(w->pending, w->pending + w->numPending) - w->pending);
    std::memmove(w->coeffs + nc + distinct, w->coeffs + nc, sizeof(double) * static_cast<std::size_t>(m));
    for (int32_t q = 0; q < distinct; ++q) {
        const int32_t i = w->pending[q];
        if (w->isCentre[i]) continue;
        const int32_t j = nc + added++;
        w->isCentre[i] = 1;
        w->centres[j] = i;
        w->rows[j] = w->points[i];
        w->targets[j] = w->f[i];
        w->addedResidual[j] = w->fittedOnce ? std::fabs(w->f[i] - w->fitted[i]) : std::fabs(w->f[i]);
        w->coeffs[j] = 0.0;
    }
    if (added < distinct)
        std::memmove(w->coeffs + nc + added, w->coeffs + nc + distinct, sizeof(double) * static_cast<std::size_t>(m));
    if (distinct - added > 0 && Says(w, 5))
        CoreReporter_Info(w->reporter, "%d duplicate points removed", distinct - added);
    w->numPending = 0;
    w->numCentres = nc + added;
    if (added == 0 && w->fittedOnce) return 0;
    double largestTarget = 0.0;
    for (int32_t j = 0; j < w->numCentres; ++j) largestTarget = std::max(largestTarget, std::fabs(w->targets[j]));
    // Targets all within the smallest accuracy would make the fit trivial:
    // the centres are then fitted to a share of their largest target.
    const double factor = FitFactor(w);
    w->fitAccuracy = factor * (w->minAcc > largestTarget ? 0.05 * largestTarget : w->minAcc);
    if (w->ws.Initialised && w->o.Fitter.AllowUpdating) {
        const int status = DDFit_Update(w->numCentres, w->rows, &w->ws);
        if (status != 0) return status;
    }
    int status = RunFit(w);
    if (status == 0) status = RemoveUnneeded(w, added);
    if (w->o.CentreCountOut) *w->o.CentreCountOut = w->numCentres;
    return status;
}

// Fitted values and residuals at every sample-rate-th point from the
// offset that lies in an active panel; returns their number.
int EvaluateSample(Work* w, int32_t* count) {
    std::fill(w->residual, w->residual + w->N, 0.0);
    int32_t n = 0;
    for (int32_t i = w->offset; i < w->N; i += w->sampleRate) {
        if (w->flags[w->panel[i]] <= 0) continue;
        w->sample[n] = i;
        w->sampleRows[n++] = w->points[i];
    }
    *count = n;
    if (n == 0) return 0;
    RapidEvalOptions eval = w->o.Eval;
    CoreReporter quiet = *w->reporter;
    quiet.progress = nullptr;
    const int status = RbfEval_Points(w->numCentres, w->kernel, w->rows, w->coeffs, w->shift, &eval, nullptr,
                                      w->o.AccuracyMargin * w->minAcc, n, w->sampleRows, w->sampleValues, &quiet, 0.0);
    if (status != 0) return status;
    const double smoothing = w->o.Fitter.Smoothing ? std::fabs(w->o.Fitter.Direct.Rho) * w->kernel->Sign : 0.0;
    for (int32_t q = 0; q < n; ++q) {
        const int32_t i = w->sample[q];
        w->fitted[i] = w->sampleValues[q];
        w->residual[i] = std::fabs(w->f[i] - w->fitted[i]);
    }
    if (smoothing != 0.0)
        for (int32_t j = 0; j < w->numCentres; ++j) w->fitted[w->centres[j]] += smoothing * w->coeffs[j];
    return 0;
}

// Residuals divided by the local slope where it is below 1, so that flat
// parts of the field are not left to miss by the same absolute amount as
// steep ones; a centre that still misses its accuracy tightens the fits.
int RescaleResiduals(Work* w) {
    int32_t n = 0;
    for (int32_t i = 0; i < w->N; ++i) n += w->flags[w->panel[i]] > 0 && w->residual[i] > 0.0 ? 1 : 0;
    if (n == 0) return 0;
    int32_t* at = Mem_AllocInts(n);
    double** rows = static_cast<double**>(Mem_Alloc(sizeof(double*) * static_cast<std::size_t>(n)));
    double** gradients = Mem_AllocMatrix(n, w->d);
    int status = at && rows && gradients ? 0 : CoreStatus_NoMemory;
    if (status == 0) {
        n = 0;
        for (int32_t i = 0; i < w->N; ++i)
            if (w->flags[w->panel[i]] > 0 && w->residual[i] > 0.0) {
                at[n] = i;
                rows[n++] = w->points[i];
            }
        RapidEvalOptions eval = w->o.Eval;
        CoreReporter quiet = *w->reporter;
        quiet.progress = nullptr;
        status = RbfEval_PointGradients(w->numCentres, w->kernel, w->rows, w->coeffs, w->shift, &eval, nullptr,
                                        w->o.AccuracyMargin * w->minAcc, n, rows, w->sampleValues, gradients, &quiet,
                                        0.0);
    }
    for (int32_t q = 0; q < n && status == 0; ++q) {
        double slope = 0.0;
        for (int32_t k = 0; k < w->d; ++k) slope = std::max(slope, std::fabs(gradients[q][k]));
        // A flat spot would make the residual infinite.
        w->residual[at[q]] /= std::max(std::min(slope, 1.0), kMinimumSlope);
    }
    Mem_Free(at);
    Mem_Free(rows);
    Mem_FreeMatrix(gradients);
    if (status != 0) return status;
    double worst = 0.0;
    for (int32_t j = 0; j < w->numCentres; ++j) worst = std::max(worst, w->residual[w->centres[j]]);
    if (worst > w->minAcc) w->fitAccFactor = std::max(w->fitAccFactor * w->minAcc / worst, 0.001);
    return 0;
}

double Relative(const Work* w, int32_t i) { return w->residual[i] / (w->acc[i] - w->o.AccuracyMargin * w->minAcc); }

void SelectCentres(Work* w) {
    const int32_t room = std::max(0, w->maxCentres - w->numCentres);
    const double f = w->selection;
    int32_t bad = 0;
    for (int32_t i = 0; i < w->N; ++i) bad += Relative(w, i) > f / 4.0 ? 1 : 0;
    int32_t n = 0;
    // Few bad points left: all of them, besides the panels' own choice below
    // (a point chosen twice is merged away when the centres are fitted).
    if (bad >= 1 && bad < w->maxAdd * w->o.BulkAddShare)
        for (int32_t i = 0; i < w->N && n < room; ++i)
            if (Relative(w, i) > f / 4.0) w->pending[n++] = i;
    const int32_t limit = std::min(w->pendingRoom, n + room);
    // One candidate per active panel: its worst point when that misses by f.
    int32_t* best = w->sample;  // scratch of N ints, free between evaluations
    std::fill(best, best + w->numPanels, -1);
    for (int32_t i = 0; i < w->N; ++i) {
        const int32_t p = w->panel[i];
        if (w->flags[p] <= 0 || Relative(w, i) < f) continue;
        if (best[p] < 0 || Relative(w, i) > Relative(w, best[p])) best[p] = i;
    }
    int32_t candidates = 0;
    for (int32_t p = 0; p < w->numPanels; ++p) {
        if (w->flags[p] <= 0) continue;
        if (best[p] < 0)
            --w->flags[p];
        else
            best[candidates++] = best[p];
    }
    if (candidates < w->maxAdd * 0.05) {
        // Few panels still miss: up to three points from each of them.
        int32_t* perPanel = static_cast<int32_t*>(Mem_Calloc(static_cast<std::size_t>(w->numPanels), sizeof(int32_t)));
        int32_t* order = Mem_AllocInts(w->N);
        if (perPanel && order) {
            int32_t k = 0;
            for (int32_t i = 0; i < w->N; ++i)
                if (w->flags[w->panel[i]] > 0 && Relative(w, i) > f) order[k++] = i;
            std::sort(order, order + k, [w](int32_t a, int32_t b) { return Relative(w, a) > Relative(w, b); });
            const int32_t stop = std::min(limit, n + w->maxAdd);
            for (int32_t q = 0; q < k && n < stop; ++q) {
                const int32_t p = w->panel[order[q]];
                if (perPanel[p] >= 3) continue;
                ++perPanel[p];
                w->pending[n++] = order[q];
            }
        }
        Mem_Free(perPanel);
        Mem_Free(order);
    } else {
        std::sort(best, best + candidates, [w](int32_t a, int32_t b) { return Relative(w, a) > Relative(w, b); });
        const int32_t take = std::min(std::min(candidates, w->maxAdd), limit - n);
        for (int32_t q = 0; q < take; ++q) w->pending[n++] = best[q];
    }
    w->numPending = n;
}

double ProgressCurve(double x) {
    static const double xs[] = {0.0, 0.5, 0.8, 0.95, 1.0};
    static const double ys[] = {0.0, 0.2, 0.5, 0.8, 0.99};
    if (x >= 1.0) return 1.0;
    if (x <= 0.0) return 0.0;
    for (int32_t k = 1; k < 5; ++k)
        if (x <= xs[k]) return ys[k - 1] + (ys[k] - ys[k - 1]) * (x - xs[k - 1]) / (xs[k] - xs[k - 1]);
    return 1.0;
}

// The sampling phase ends: every point is evaluated and the selection
// factor eases.
void EndSampling(Work* w) {
    w->selection = w->o.LaterTolFactor;
    if (w->sampleRate > 1 && Says(w, 5)) CoreReporter_Info(w->reporter, "SampleRate is 1");
    w->sampleRate = 1;
    w->offset = 0;
}

// The passes; 18 when reduction is not worth it.
int AddCentres(Work* w, double* achieved) {
    const CoreReporter* r = w->reporter;
    int status = MakePanels(w, w->maxAdd * w->sampleRate, w->sampleRate);
    if (status != 0) return status;
    w->maxAdd = std::max(1, w->numPanels / w->sampleRate);
    const double diag2 = [w] {
        double s = 0.0;
        for (int32_t k = 0; k < w->d; ++k) {
            double lo = w->points[0][k], hi = lo;
            for (int32_t i = 1; i < w->N; ++i) {
                lo = std::min(lo, w->points[i][k]);
                hi = std::max(hi, w->points[i][k]);
            }
            s += (hi - lo) * (hi - lo);
        }
        return s;
    }();
    const double phiScale =
        std::max(std::fabs(w->kernel->Phi(w->kernel, diag2)), std::fabs(w->kernel->Phi(w->kernel, 0.0)));
    w->coefThreshold = phiScale > 0.0 ? w->minAcc * w->o.AccuracyScale / phiScale : 0.0;
    w->fitAccFactor = std::min(w->o.FitTolFactor, w->o.LaterTolFactor);
    w->fitAccuracy = FitFactor(w) * w->minAcc;
    w->removeThreshold = w->N / w->o.SubtractThreshFrac;
    w->selection = 1.0;
    if (w->sampleRate > 1 && Says(w, 5)) CoreReporter_Info(r, "SampleRate is %d", w->sampleRate);
    double ring[3] = {w->largestF, w->largestF, w->largestF};
    int32_t fullPasses = 1, lastRebuild = 0;
    for (int32_t pass = 1;; ++pass) {
        const uint32_t start = Reporter_Clock();
        if (CoreReporter_AbortRequested(r)) return CoreStatus_UserAbort;
        const int32_t period = w->sampleRate * w->o.FlagResetPeriod;
        if (period > 0 && pass % period == 0) std::fill(w->flags, w->flags + w->numPanels, w->sampleRate);
        w->numPending = std::min(w->numPending, std::max(0, w->maxCentres - w->numCentres));
        const int32_t added = w->numPending;
        if (added > 0) {
            status = PassFit(w);
            if (status != 0) return status;
        }
        if (CoreReporter_AbortRequested(r)) return CoreStatus_UserAbort;
        if (w->numCentres >= w->maxCentres) {
            // No room left: the accuracy is what the centres missed by when
            // they were added.
            *achieved = 0.0;
            for (int32_t j = 0; j < w->numCentres; ++j) *achieved = std::max(*achieved, w->addedResidual[j]);
            return 0;
        }
        if (added >= w->o.MaxAddDamping * w->maxAdd && ++fullPasses % (period + 1) == 0) {
            w->maxAdd = static_cast<int32_t>(std::ceil(w->maxAdd * w->o.MaxAddGrowth));
            fullPasses = 1;
            if (Says(w, 5)) CoreReporter_Info(r, "MaxAdd now %d", w->maxAdd);
        }
        if (pass > 1 && w->N / std::max(w->numPanels, 1) > w->o.MinPanelSize &&
            (added < w->maxAdd * w->o.PanelRefreshShare / w->sampleRate || w->numPanels < w->maxAdd ||
             pass - lastRebuild > w->o.PanelAge)) {
            const int32_t wish = std::max(w->maxAdd, static_cast<int32_t>(std::ceil(w->numPanels * w->o.MaxAddGrowth)));
            status = MakePanels(w, wish, 1);
            if (status != 0) return status;
            lastRebuild = pass;
            if (Says(w, 5)) CoreReporter_Info(r, "Resizing Panels (%d pts/panel)", w->N / std::max(w->numPanels, 1));
        }
        if (pass == w->sampleRate * w->o.NumSSItns && w->sampleRate > 1) {
            w->sampleRate = 1;
            w->offset = 0;
            if (Says(w, 5)) CoreReporter_Info(r, "SampleRate is 1");
        }
        w->offset = w->sampleRate > 1 ? (w->offset + 1) % w->sampleRate : 0;
        int32_t activePanels = 0;
        for (int32_t p = 0; p < w->numPanels; ++p) activePanels += w->flags[p] > 0 ? 1 : 0;
        if (activePanels == 0) {
            std::fill(w->flags, w->flags + w->numPanels, w->sampleRate);
            activePanels = w->numPanels;
        }
        int32_t evaluated = 0;
        status = EvaluateSample(w, &evaluated);
        if (status != 0) return status;
        if (evaluated == 0) {
            std::fill(w->flags, w->flags + w->numPanels, w->sampleRate);
            activePanels = w->numPanels;
            status = EvaluateSample(w, &evaluated);
            if (status != 0) return status;
        }
        if (w->o.RescaleResiduals && (status = RescaleResiduals(w)) != 0) return status;
        for (int32_t j = 0; j < w->numCentres; ++j) w->residual[w->centres[j]] = 0.0;
        if (CoreReporter_AbortRequested(r)) return CoreStatus_UserAbort;
        double largest = 0.0;
        for (int32_t i = 0; i < w->N; ++i) largest = std::max(largest, w->residual[i]);
        *achieved = largest;
        int32_t bad = 0;
        for (int32_t q = 0; q < evaluated; ++q) {
            const int32_t i = w->sample[q];
            bad += w->acc[i] - w->o.AccuracyMargin * w->minAcc > w->residual[i] ? 0 : 1;
        }
        double estimatedBad = static_cast<double>(bad) * w->sampleRate * w->numPanels / std::max(activePanels, 1);
        estimatedBad = std::min(estimatedBad, static_cast<double>(w->N - w->numCentres));
        const double ratio = w->numCentres / std::max(1.0, w->N - estimatedBad);
        if (Says(w, 5)) CoreReporter_Info(r, "NumCentres / NumGood = %.2f", ratio);
        const bool sampling = w->sampleRate > 1 || activePanels < w->numPanels;
        if (!sampling && pass > 3 && ratio > w->o.ReductionThresh) return CoreStatus_SubdomainNotUpdated;
        bool done = (1.0 - w->o.Fitter.Confidence) * (w->N - w->numCentres) >= estimatedBad;
        const bool nearlyThere = largest < w->o.CompletionFactor * w->maxAcc;
        if (done && sampling) {
            done = false;
            EndSampling(w);
            std::fill(w->flags, w->flags + w->numPanels, 1);
        } else if (nearlyThere) {
            EndSampling(w);
        }
        // Near completion even a few negligible centres are worth removing.
        if (nearlyThere && w->maxAdd < w->removeThreshold) w->removeThreshold = 20;
        if (!done) SelectCentres(w);
        if (r->progress) {
            ring[pass % 3] = std::min(std::max(largest - w->maxAcc, 0.0), w->largestF);
            const double mean = (ring[0] + ring[1] + ring[2]) / 3.0;
            const double x = 1.0 - (estimatedBad / w->N + (w->largestF > 0.0 ? mean / w->largestF : 0.0)) / 2.0;
            const double value =
                w->progressStart + ProgressCurve(x) / w->sampleRate * (w->progressEnd - w->progressStart);
            if (value > *r->progress) CoreReporter_SetProgress(r, value);
        }
        if (Says(w, 3))
            CoreReporter_Success(r, "%2d: +%d = %d pts, in %.1fs, acc %.2e on %d pts in %d/%d panels\n", pass, added,
                                 w->numCentres, (Reporter_Clock() - start) / 1000.0, largest, evaluated, activePanels,
                                 w->numPanels);
        if (done) return 0;
        if (w->numPending == 0 && !sampling && added == 0) return 0;
    }
}

int Output(Work* w, CoreRbf* result, double achieved, const int32_t* indices, int32_t count, const double* coeffs) {
    result->Centres = Mem_AllocMatrix(count, w->d);
    result->Coeffs = Mem_AllocDoubles(count + w->m);
    result->Indices = Mem_AllocInts(count);
    if (!result->Centres || !result->Coeffs || !result->Indices) {
        CoreSolution_Free(result);
        return CoreStatus_NoMemory;
    }
    for (int32_t j = 0; j < count; ++j) {
        std::memcpy(result->Centres[j], w->points[indices[j]], sizeof(double) * static_cast<std::size_t>(w->d));
        result->Indices[j] = indices[j];
    }
    std::memcpy(result->Coeffs, coeffs, sizeof(double) * static_cast<std::size_t>(count + w->m));
    result->Count = count;
    for (int32_t k = 0; k < 3; ++k) result->PolyCentre[k] = w->shift[k];
    result->Kernel = *w->kernel;
    result->AchievedAccuracy = achieved;
    result->EvalAccuracy = 0.01 * w->minAcc;
    return 0;
}

// Every point a centre, starting from the reduced fit's coefficients.
int FitAllPoints(Work* w, CoreRbf* result, double* achieved) {
    const int32_t N = w->N, m = w->m;
    double* coeffs = Mem_AllocDoubles(N + m);
    int32_t* all = Mem_AllocInts(N);
    if (!coeffs || !all) {
        Mem_Free(coeffs);
        Mem_Free(all);
        return CoreStatus_NoMemory;
    }
    std::fill(coeffs, coeffs + N, 0.0);
    for (int32_t j = 0; j < w->numCentres; ++j) coeffs[w->centres[j]] = w->coeffs[j];
    for (int32_t t = 0; t < m; ++t) coeffs[N + t] = w->coeffs[w->numCentres + t];
    for (int32_t i = 0; i < N; ++i) all[i] = i;
    DDFit_FreeWorkspace(&w->ws);
    DDFitOptions fit = w->o.Fitter;
    fit.UseLambda = 1;
    fit.Residual = nullptr;
    double error = -1.0;
    fit.AchievedError = &error;
    fit.Direct.AllowCentredPoly = 2;
    CoreReporter wider = *w->reporter;
    wider.categoryMask |= kCategoryMultilevelFit;
    int status = DDFit_Run(N, w->points, w->f, w->kernel, FitFactor(w) * w->minAcc, w->memory, &fit, nullptr,
                           &coeffs, w->shift, &wider, w->progressEnd);
    if (status == CoreStatus_ReachedMaxIteration || status == CoreStatus_TrivialSolution) status = 0;
    if (status == 0) {
        *achieved = error;
        status = Output(w, result, error, all, N, coeffs);
    }
    Mem_Free(coeffs);
    Mem_Free(all);
    return status;
}

int FitSmall(Work* w, CoreRbf* result) {
    const int32_t N = w->N;
    DirectFitOptions o;
    Rbf_DirectDefaultOptions(&o);
    o.Rho = w->o.Fitter.Direct.Rho;
    o.MallocRatio = 1.0;
    o.AllowCentredPoly = 1;
    double* coeffs = nullptr;
    int32_t* all = Mem_AllocInts(N);
    if (!all) return CoreStatus_NoMemory;
    for (int32_t i = 0; i < N; ++i) all[i] = i;
    int status = Rbf_FitDirect(N, w->points, w->f, w->kernel, &o, &coeffs, w->shift, w->reporter);
    if (status == 0) status = Output(w, result, 0.0, all, N, coeffs);
    Mem_Free(coeffs);
    Mem_Free(all);
    return status;
}

int Allocate(Work* w) {
    const int32_t N = w->N, cap = w->maxCentres + w->m;
    w->centres = Mem_AllocInts(N);
    w->rows = static_cast<double**>(Mem_Alloc(sizeof(double*) * static_cast<std::size_t>(N)));
    w->targets = Mem_AllocDoubles(N);
    w->coeffs = static_cast<double*>(Mem_Calloc(static_cast<std::size_t>(std::max(cap, N + w->m)), sizeof(double)));
    w->addedResidual = Mem_AllocDoubles(N);
    w->isCentre = static_cast<unsigned char*>(Mem_Calloc(static_cast<std::size_t>(N), 1));
    w->fitted = static_cast<double*>(Mem_Calloc(static_cast<std::size_t>(N), sizeof(double)));
    w->residual = Mem_AllocDoubles(N);
    w->pendingRoom = N + 4 * w->d + w->m + 1;
    w->pending = Mem_AllocInts(w->pendingRoom);
    w->panel = Mem_AllocInts(N);
    w->sample = Mem_AllocInts(N);
    w->sampleRows = static_cast<double**>(Mem_Alloc(sizeof(double*) * static_cast<std::size_t>(N)));
    w->sampleValues = Mem_AllocDoubles(N);
    const bool ok = w->centres && w->rows && w->targets && w->coeffs && w->addedResidual && w->isCentre && w->fitted &&
                    w->residual && w->pending && w->panel && w->sample && w->sampleRows && w->sampleValues;
    return ok ? 0 : CoreStatus_NoMemory;
}

}  // namespace

int Reducer_Fit(int32_t N, double* const* points, const double* values, const BasicFunctionKernel* kernel,
                double accuracy, const double* accuracyVector, double memory, ReducerOptions* options, CoreRbf* result,
                double* achievedOut, const CoreReporter* reporter, double progressEnd) {
    const uint32_t start = Reporter_Clock();
    if (!kernel) return CoreStatus_InvalidBasicFunction;
    if (!result || !points || !values) return CoreStatus_NullArgument;
    CoreSolution_Free(result);
    result->AchievedAccuracy = -1.0;
    if (achievedOut) *achievedOut = -1.0;
    const int32_t m = kernel->PolyTerms > 0 ? kernel->PolyTerms : 0;
    if (N < m + 1) return CoreStatus_NotEnoughPoints;
    Work w;
    if (options) {
        const int status = Reducer_CheckOptions(options, reporter);
        if (status != 0) return status;
        w.o = *options;
    } else {
        Reducer_DefaultOptions(&w.o);
    }
    CoreReporter silent{};
    w.reporter = reporter ? reporter : &silent;
    w.N = N;
    w.d = kernel->Dim;
    w.m = m;
    w.points = points;
    w.f = values;
    w.kernel = kernel;
    w.memory = memory;
    w.progressStart = reporter && reporter->progress ? *reporter->progress : 0.0;
    w.progressEnd = std::max(progressEnd, w.progressStart);
    int status = 0;
    double achieved = -1.0;
    if (N < 100) {
        PolyShift(&w);
        status = FitSmall(&w, result);
        achieved = status == 0 ? 0.0 : -1.0;
    } else {
        w.maxCentres = std::min(static_cast<int32_t>(N * w.o.MaxNumCentres), N);
        w.maxAdd = std::max(N / w.o.AddFrac, 10);
        w.startSize = std::max(N / w.o.StartFrac, 10);
        w.sampleRate = w.o.SampleRate;
        status = AccuracyVector(&w, accuracy, accuracyVector);
        if (status == 0) {
            w.largestF = 0.0;
            bool within = true;
            for (int32_t i = 0; i < N; ++i) {
                w.largestF = std::max(w.largestF, std::fabs(values[i]));
                within = within && std::fabs(values[i]) < w.acc[i];
            }
            if (within) {
                result->AchievedAccuracy = w.largestF;
                if (achievedOut) *achievedOut = w.largestF;
                FreeWork(&w);
                return CoreStatus_TrivialSolution;
            }
            if (Says(&w, 5))
                CoreReporter_Info(w.reporter, "\nReducer: Acc = %.1e, NumPoints = %d, MaxAdd = %d", w.minAcc, N,
                                  w.maxAdd);
            status = Allocate(&w);
        }
        if (status == 0) status = StartSet(&w);
        if (status == 0) {
            PolyShift(&w);
            status = AddCentres(&w, &achieved);
        }
        if (status == CoreStatus_SubdomainNotUpdated) {
            if (CoreReporter_Speaks(w.reporter, 2))
                CoreReporter_Warning(w.reporter, "Significant centre reduction unlikely. Using all points as centres.");
            status = FitAllPoints(&w, result, &achieved);
        } else if ((status == 0 || status == CoreStatus_UserAbort) && w.numCentres > 0 && w.fittedOnce) {
            const int made = Output(&w, result, status == 0 ? achieved : -1.0, w.centres, w.numCentres, w.coeffs);
            if (made != 0) status = made;
            if (status == CoreStatus_UserAbort) {
                // The partial fit is kept with the accuracy it reached.
                result->AchievedAccuracy = achieved;
            }
        }
    }
    if (status != 0 && status != CoreStatus_UserAbort) {
        CoreSolution_Free(result);
        result->AchievedAccuracy = -1.0;
    }
    if (achievedOut) *achievedOut = result->AchievedAccuracy;
    if (options) {
        options->MemoryRequirement[0] = w.o.MemoryRequirement[0];
        options->MemoryRequirement[1] = w.o.MemoryRequirement[1];
    }
    if (status == 0 && Says(&w, 3))
        CoreReporter_SuccessElapsed(w.reporter, "Reduction to %.2e accuracy and %d points took",
                                    static_cast<int32_t>(Reporter_Clock() - start), result->AchievedAccuracy,
                                    result->Count);
    FreeWork(&w);
    return status;
}

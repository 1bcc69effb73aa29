// The error-bar fitter's active-set iteration.
#include "surface/fit/error_bar.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "surface/fit/dd_fit.h"
#include "surface/fit/point_panels.h"
#include "surface/fit/spatial_sampling.h"
#include "surface/frame/core_reporter.h"
#include "surface/frame/reporter.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_matrix.h"

namespace {

constexpr int32_t kUpper = 1;
constexpr int32_t kLower = -1;

struct Work {
    int32_t N = 0, d = 0, m = 0;
    double* const* points = nullptr;
    const double* f = nullptr;
    const BasicFunctionKernel* kernel = nullptr;
    const CoreReporter* reporter = nullptr;
    ErrorBarOptions o{};
    double memory = 0.0;
    double* U = nullptr;  // reduced by dd
    double* L = nullptr;
    int32_t* types = nullptr;
    double c = 0.0, fitAcc = 0.0, evalAcc = 0.0, dd = 0.0;
    int32_t addCount = 0, removeCount = 0;
    int32_t* active = nullptr;  // point numbers
    int32_t* side = nullptr;    // kUpper or kLower
    int32_t numActive = 0, activeCapacity = 0;
    double** activeRows = nullptr;
    double* targets = nullptr;
    double* coeffs = nullptr;
    double* fitResidual = nullptr;  // target less fit at the active constraints, left by each fit
    double shift[3] = {0, 0, 0};
    double* residual = nullptr;  // per point, at sampled points
    unsigned char* isActive = nullptr;
    int32_t* sampled = nullptr;
    double** sampleRows = nullptr;
    double* sampleValues = nullptr;
    int32_t* exceeded = nullptr;  // point numbers, upper ones first
    int32_t* exceededSide = nullptr;
    int32_t numExceeded = 0;
    int32_t* panel = nullptr;
    int32_t numPanels = 0;
    int32_t stride = 1, offset = 0, settings = 0;
    int32_t addedLast = 0, exceededLast = 0, removals = 0;
    int32_t fits = 0;
    double fitSizes = 0.0;        // summed active counts of the fits
    bool hasUpper = false, hasLower = false;  // bound arrays given
    double largestF = 0.0;
    DDFitWorkspace ws{};
    double boxForEval[4] = {0, 0, 0, 0};
    double progressEnd = 0.0;
};

double MaxAbs(const double* v, int32_t n) {
    double m = 0.0;
    for (int32_t i = 0; i < n; ++i) m = std::max(m, std::fabs(v[i]));
    return m;
}

bool HasUpper(int32_t type) { return type != kBoundLowerOnly; }
bool HasLower(int32_t type) { return type != kBoundUpperOnly; }

void FreeWork(Work* w) {
    Mem_Free(w->U);
    Mem_Free(w->L);
    Mem_Free(w->types);
    Mem_Free(w->active);
    Mem_Free(w->side);
    Mem_Free(w->activeRows);
    Mem_Free(w->targets);
    Mem_Free(w->coeffs);
    Mem_Free(w->fitResidual);
    Mem_Free(w->residual);
    Mem_Free(w->isActive);
    Mem_Free(w->sampled);
    Mem_Free(w->sampleRows);
    Mem_Free(w->sampleValues);
    Mem_Free(w->exceeded);
    Mem_Free(w->exceededSide);
    Mem_Free(w->panel);
    DDFit_FreeWorkspace(&w->ws);
}

int Fail(const CoreReporter* r, const char* message, int status) {
    if (CoreReporter_Speaks(r, 1)) CoreReporter_Error(r, "%s", message);
    return status;
}

int FailAt(const CoreReporter* r, const char* format, int32_t index, int status) {
    if (CoreReporter_Speaks(r, 1)) CoreReporter_Error(r, format, index);
    return status;
}

int CheckInput(int32_t N, double* const* points, const double* values, const BasicFunctionKernel* kernel,
               double accuracy, const double* U, const double* L, const int32_t* types, const CoreRbf* out,
               const CoreReporter* r) {
    if (N <= 0) return Fail(r, "NumPoints argument must be positive", CoreStatus_NotEnoughPoints);
    if (!points) return Fail(r, "Points argument was NULL", CoreStatus_NotEnoughPoints);
    if (!values) return Fail(r, "Values argument was NULL", CoreStatus_NullArgument);
    if (!kernel) return Fail(r, "Basic function argument was NULL", CoreStatus_InvalidBasicFunction);
    if (!(accuracy > 0.0) && !U && !L)
        return Fail(r, "Accuracy argument must be positive", CoreStatus_NegativeAccuracy);
    if (types)
        for (int32_t i = 0; i < N; ++i)
            if (types[i] < kBoundLowerOnly || types[i] > kBoundBoth)
                return FailAt(r, "Value out of range in BoundType argument at index %d", i, CoreStatus_InvalidInput);
    for (int32_t i = 0; i < N; ++i) {
        if (types && types[i] != kBoundBoth) continue;
        if (U && L && -L[i] >= U[i])
            return FailAt(r, "Upper and Lower bounds intersect at index %d", i, CoreStatus_NegativeAccuracy);
        if (U && !L && U[i] <= 0.0)
            return FailAt(r, "Upper bound has negative entry at index %d", i, CoreStatus_NegativeAccuracy);
        if (L && !U && L[i] <= 0.0)
            return FailAt(r, "Lower bound has negative entry at index %d", i, CoreStatus_NegativeAccuracy);
    }
    if (!out) return Fail(r, "Output Rbf argument was NULL", CoreStatus_NullArgument);
    return 0;
}

bool Grow(double** a, int32_t n) {
    *a = static_cast<double*>(Mem_Realloc(*a, sizeof(double) * static_cast<std::size_t>(std::max(n, 1))));
    return *a != nullptr;
}
bool GrowInts(int32_t** a, int32_t n) {
    *a = static_cast<int32_t*>(Mem_Realloc(*a, sizeof(int32_t) * static_cast<std::size_t>(std::max(n, 1))));
    return *a != nullptr;
}
bool GrowRows(double*** a, int32_t n) {
    *a = static_cast<double**>(Mem_Realloc(*a, sizeof(double*) * static_cast<std::size_t>(std::max(n, 1))));
    return *a != nullptr;
}

int ReserveActive(Work* w, int32_t n) {
    if (n <= w->activeCapacity) return 0;
    const int32_t cap = std::max(n, w->activeCapacity * 3 / 2 + 16);
    if (!GrowInts(&w->active, cap) || !GrowInts(&w->side, cap) || !GrowRows(&w->activeRows, cap) ||
        !Grow(&w->targets, cap) || !Grow(&w->coeffs, cap + w->m) || !Grow(&w->fitResidual, cap))
        return CoreStatus_NoMemory;
    w->activeCapacity = cap;
    return 0;
}

// Bounds, band accuracy and counts. The trivial solution (zero inside every
// band) gives 19.
double LargestCoordinate(const Work* w) {
    double largest = 0.0;
    for (int32_t i = 0; i < w->N; ++i)
        for (int32_t k = 0; k < w->d; ++k) largest = std::max(largest, std::fabs(w->points[i][k]));
    return largest;
}

int Setup(Work* w, double accuracy, const double* U, const double* L, const int32_t* types) {
    const int32_t N = w->N;
    w->U = Mem_AllocDoubles(N);
    w->L = Mem_AllocDoubles(N);
    w->types = Mem_AllocInts(N);
    w->residual = Mem_AllocDoubles(N);
    w->isActive = static_cast<unsigned char*>(Mem_Calloc(static_cast<std::size_t>(N), 1));
    w->panel = Mem_AllocInts(N);
    w->sampled = Mem_AllocInts(N);
    w->sampleRows = static_cast<double**>(Mem_Alloc(sizeof(double*) * static_cast<std::size_t>(N)));
    w->sampleValues = Mem_AllocDoubles(N);
    w->exceeded = Mem_AllocInts(N);
    w->exceededSide = Mem_AllocInts(N);
    if (!w->U || !w->L || !w->types || !w->residual || !w->isActive || !w->panel || !w->sampled || !w->sampleRows ||
        !w->sampleValues || !w->exceeded || !w->exceededSide)
        return Fail(w->reporter, "Memory allocation failed initializing data", CoreStatus_NoMemory);
    for (int32_t i = 0; i < N; ++i) {
        w->types[i] = types ? types[i] : kBoundBoth;
        w->U[i] = U ? U[i] : L ? L[i] : accuracy;
        w->L[i] = L ? L[i] : U ? U[i] : accuracy;
    }
    w->hasUpper = U != nullptr;
    w->hasLower = L != nullptr;
    double c = LargestCoordinate(w);
    if (U && L) {
        for (int32_t i = 0; i < N; ++i) {
            const int32_t t = w->types[i];
            const double v = t == kBoundLowerOnly   ? std::fabs(L[i])
                             : t == kBoundUpperOnly ? std::fabs(U[i])
                                                    : (U[i] + L[i]) / 2.0;
            c = std::min(c, v);
        }
    } else if (U || L) {
        const double* one = U ? U : L;
        for (int32_t i = 0; i < N; ++i) c = std::min(c, std::fabs(one[i]));
    } else {
        c = accuracy;
    }
    if (!(c > 0.0)) {
        if (!(accuracy > 0.0))
            return Fail(w->reporter, "Calculated fitting accuracy is not positive.", CoreStatus_Failure);
        c = accuracy;
    }
    w->c = c;
    w->fitAcc = c * w->o.FitAccFraction;
    w->evalAcc = c * w->o.EvalAccFraction;
    w->dd = w->fitAcc + w->evalAcc;
    w->addCount = static_cast<int32_t>(N * w->o.AddRate) + 2;
    w->removeCount = std::min(static_cast<int32_t>(N * w->o.RemoveRate) + 1, w->addCount - 1);
    w->largestF = MaxAbs(w->f, N);
    // The zero function lies in the band [f - L, f + U] exactly where
    // -U <= f <= L on the sides a point has.
    bool inside = true;
    for (int32_t i = 0; i < N && inside; ++i) {
        const int32_t t = w->types[i];
        if (HasUpper(t) && w->f[i] < -w->U[i]) inside = false;
        if (HasLower(t) && w->f[i] > w->L[i]) inside = false;
    }
    if (inside) return CoreStatus_TrivialSolution;
    for (int32_t i = 0; i < N; ++i) {
        w->U[i] -= w->dd;
        w->L[i] -= w->dd;
    }
    return 0;
}

void PrintSettings(const Work* w) {
    const CoreReporter* r = w->reporter;
    if (!CoreReporter_SpeaksIn(r, 5, kCategoryErrorBarFit)) return;
    CoreReporter_Value(r, "Points", "%d", w->N);
    CoreReporter_Value(r, "Dimension", "%d", w->d);
    const BasicFunctionKernel* k = w->kernel;
    const ErrorBarOptions& o = w->o;
    CoreReporter_Value(r, "Basic Function", "%s", k->Name ? k->Name : "");
    if (k->Type == kBasicMultiquadric || k->Type == kBasicNormalizedMultiquadric) {
        CoreReporter_Value(r, "Multiquadric constant", "%.4g", k->Param);
        CoreReporter_Value(r, "Multiquadric type", "%d", k->Exponent);
    }
    CoreReporter_Value(r, "Memory Limit", "%dMb", static_cast<int32_t>(w->memory / 1048576.0));
    if (w->hasUpper || w->hasLower)
        CoreReporter_Value(r, "Accuracy used", "%s",
                           w->hasUpper && w->hasLower ? "Upper and Lower Upper"
                           : w->hasUpper              ? "Upper Upper"
                                                      : "Lower Upper");
    else
        CoreReporter_Value(r, "Accuracy used", "%.4g", w->c);
    CoreReporter_Value(r, "Options:", "%s", "");
    CoreReporter_Value(r, "Fit acc fraction (value)", "%.4g (%.4g)", o.FitAccFraction, w->fitAcc);
    CoreReporter_Value(r, "Eval acc fraction (value)", "%.4g (%.4g)", o.EvalAccFraction, w->evalAcc);
    CoreReporter_Value(r, "Add rate (num)", "%.4g (%d)", o.AddRate, w->addCount);
    CoreReporter_Value(r, "Remove rate (num)", "%.4g (%d)", o.RemoveRate, w->removeCount);
    CoreReporter_Value(r, "Max add frac (num)", "%.4g (%.0f)", o.MaxAddFrac, w->N * o.MaxAddFrac);
    CoreReporter_Value(r, "Remove frequency", "%d", o.RemoveFrequency);
    CoreReporter_Value(r, "Max num removes", "%d", o.MaxNumRemoves);
    CoreReporter_Value(r, "Min remove frac", "%.4g", o.MinRemoveFrac);
    CoreReporter_Value(r, "Subsample add rate", "%.4g", o.SubsampleAddRate);
    CoreReporter_Value(r, "Num subsample itns", "%d", o.NumSubsampleItns);
    CoreReporter_Value(r, "Max subsample rate", "%d", o.MaxSubsampleRate);
    if (o.InitialRbf)
        CoreReporter_Value(r, "Size of initial RBF", "%d", o.InitialRbf->Count);
    else
        CoreReporter_Value(r, "Start fraction (value)", "%.4g (%.0f)", o.StartFraction, w->N * o.StartFraction);
    CoreReporter_Value(r, "Max iterations", "%d", o.MaxIterations);
    CoreReporter_Value(r, "Accuracy confidence", "%.4g", o.AccuracyConfidence);
    CoreReporter_Value(r, "Fitter message level", "%d", o.FitterMsgLevel);
    CoreReporter_Value(r, "Reducer message level", "%d", o.ReducerMsgLevel);
}

int32_t SideOf(const Work* w, int32_t point, double coefficient) {
    const int32_t t = w->types[point];
    if (t == kBoundUpperOnly) return kUpper;
    if (t == kBoundLowerOnly) return kLower;
    return w->kernel->Sign * coefficient < 0.0 ? kUpper : kLower;
}

void SetRows(Work* w) {
    for (int32_t j = 0; j < w->numActive; ++j) w->activeRows[j] = w->points[w->active[j]];
}

// The initial active set: an initial RBF's indices, or a spread-out sample
// fitted to its values so that the coefficients' signs choose the sides.
int InitialCentres(Work* w) {
    const int32_t N = w->N;
    const CoreRbf* init = w->o.InitialRbf;
    if (init) {
        if (init->Count > N) return Fail(w->reporter, "Invalid number of initial points.", CoreStatus_InvalidInput);
        for (int32_t j = 0; j < init->Count; ++j)
            if (init->Indices[j] < 0 || init->Indices[j] >= N)
                return Fail(w->reporter, "Initial indices values out of range.", CoreStatus_InvalidInput);
        if (int status = ReserveActive(w, init->Count)) return status;
        for (int32_t j = 0; j < init->Count; ++j) {
            w->active[j] = init->Indices[j];
            w->side[j] = SideOf(w, w->active[j], init->Coeffs ? init->Coeffs[j] : 0.0);
        }
        w->numActive = init->Count;
    } else {
        int32_t k = N;
        if (N > 50) {
            k = static_cast<int32_t>(N * w->o.StartFraction) + 1;
            k = std::max(k, std::max(w->m + 2, 20));
            k = std::min(k, N / 2);
        }
        if (int status = ReserveActive(w, N)) return status;
        int32_t count = N;
        if (k < N) {
            int status = SpatialDivision_Sample(N, w->points, w->f, w->d, N / k, w->active, &count);
            if (status != 0 && status != CoreStatus_Failure) return status;
        } else {
            for (int32_t i = 0; i < N; ++i) w->active[i] = i;
        }
        w->numActive = count;
        SetRows(w);
        for (int32_t j = 0; j < count; ++j) w->targets[j] = w->f[w->active[j]];
        DDFitOptions fit = w->o.Fitter;
        fit.UseLambda = 0;
        fit.Residual = nullptr;
        fit.AchievedError = nullptr;
        CoreReporter quiet = *w->reporter;
        quiet.maximumLevel = std::min(quiet.maximumLevel, w->o.ReducerMsgLevel);
        const int status = DDFit_Run(count, w->activeRows, w->targets, w->kernel, w->fitAcc, 0.0, &fit, nullptr,
                                     &w->coeffs, w->shift, &quiet, 0.05);
        if (status != 0 && status != CoreStatus_TrivialSolution && status != CoreStatus_ReachedMaxIteration &&
            status != CoreStatus_NoConvergence)
            return status;
        for (int32_t j = 0; j < count; ++j) w->side[j] = SideOf(w, w->active[j], w->coeffs[j]);
    }
    for (int32_t j = 0; j < w->numActive; ++j) w->isActive[w->active[j]] = 1;
    SetRows(w);
    if (CoreReporter_SpeaksIn(w->reporter, 5, kCategoryErrorBarFit))
        CoreReporter_Info(w->reporter, "%d initial points selected", w->numActive);
    return 0;
}

int FitActive(Work* w, bool fresh) {
    const uint32_t start = Reporter_Clock();
    for (int32_t j = 0; j < w->numActive; ++j) {
        const int32_t i = w->active[j];
        w->targets[j] = w->side[j] == kUpper ? w->f[i] + w->U[i] : w->f[i] - w->L[i];
    }
    DDFitOptions fit = w->o.Fitter;
    fit.UseLambda = fresh ? 0 : 1;
    fit.Residual = w->fitResidual;
    fit.AchievedError = nullptr;
    CoreReporter quiet = *w->reporter;
    quiet.maximumLevel = std::min(quiet.maximumLevel, w->o.FitterMsgLevel);
    quiet.progress = nullptr;
    const double room = std::max(0.0, w->memory - static_cast<double>(Mem_CurrentBytes()));
    const int status = DDFit_Run(w->numActive, w->activeRows, w->targets, w->kernel, w->fitAcc, room, &fit, &w->ws,
                                 &w->coeffs, w->shift, &quiet, 0.0);
    ++w->fits;
    w->fitSizes += w->numActive;
    if (CoreReporter_SpeaksIn(w->reporter, 3, kCategoryErrorBarFit)) {
        const int32_t elapsed = static_cast<int32_t>(Reporter_Clock() - start);
        if (w->ws.Levels)
            CoreReporter_SuccessElapsed(w->reporter, "Fitting on %d points took %d iterations and", elapsed,
                                        w->numActive, w->ws.Levels[0].Iterations);
        else
            CoreReporter_SuccessElapsed(w->reporter, "Fitting on %d points took", elapsed, w->numActive);
    }
    if (w->o.NumCentresOut) *w->o.NumCentresOut = w->numActive;
    w->o.MemoryRequirement[0] = w->ws.MinMemoryMB;
    w->o.MemoryRequirement[1] = w->ws.MaxMemoryMB;
    if (status == CoreStatus_TrivialSolution || status == CoreStatus_ReachedMaxIteration) return 0;
    return status;
}

void SetSubsampleRate(Work* w) {
    if (w->offset >= w->stride) w->offset = 0;
    if (w->settings <= w->o.NumSubsampleItns && w->offset == 0) {
        if (w->addCount > w->numActive * w->o.SubsampleAddRate) {
            int32_t s = static_cast<int32_t>(w->addCount / (w->numActive * w->o.SubsampleAddRate)) + 1;
            s = std::min(s, w->o.MaxSubsampleRate);
            if (w->addCount / s < 10) s = 1;
            w->stride = s;
            ++w->settings;
            if (s > 1 && w->settings <= w->o.NumSubsampleItns &&
                CoreReporter_SpeaksIn(w->reporter, 5, kCategoryErrorBarFit))
                CoreReporter_Info(w->reporter, "Subsample rate set to %d", s);
        }
    } else if (w->settings > w->o.NumSubsampleItns && w->stride > 1) {
        w->stride = 1;
        w->offset = 0;
        if (CoreReporter_SpeaksIn(w->reporter, 5, kCategoryErrorBarFit))
            CoreReporter_Info(w->reporter, "Subsample rate set to %d", 1);
    }
}

int Evaluate(Work* w, int32_t* count) {
    const uint32_t start = Reporter_Clock();
    int32_t n = 0;
    for (int32_t i = w->offset; i < w->N; i += w->stride) {
        w->sampled[n] = i;
        w->sampleRows[n++] = w->points[i];
    }
    *count = n;
    RapidEvalOptions eval = w->o.Eval;
    CoreReporter quiet = *w->reporter;
    quiet.progress = nullptr;
    const int status = RbfEval_Points(w->numActive, w->kernel, w->activeRows, w->coeffs, w->shift, &eval, nullptr,
                                      w->evalAcc, n, w->sampleRows, w->sampleValues, &quiet, 0.0);
    if (status != 0) return status;
    for (int32_t j = 0; j < n; ++j) w->residual[w->sampled[j]] = w->sampleValues[j] - w->f[w->sampled[j]];
    if (CoreReporter_SpeaksIn(w->reporter, 3, kCategoryErrorBarFit))
        CoreReporter_Elapsed(w->reporter, "Evaluation took", static_cast<int32_t>(Reporter_Clock() - start));
    return 0;
}

// Exceeded non-active sampled points (upper ones first); returns the
// largest excess over the reduced bounds.
double FindExceeded(Work* w, int32_t sampledCount) {
    double largest = 0.0, squares = 0.0;
    w->numExceeded = 0;
    for (int32_t pass = 0; pass < 2; ++pass) {
        for (int32_t j = 0; j < sampledCount; ++j) {
            const int32_t i = w->sampled[j], t = w->types[i];
            const double r = w->residual[i];
            if (pass == 0 && HasUpper(t) && r > w->U[i] + w->dd) {
                largest = std::max(largest, r - w->U[i]);
                squares += (r - w->U[i]) * (r - w->U[i]);
                if (!w->isActive[i]) {
                    w->exceeded[w->numExceeded] = i;
                    w->exceededSide[w->numExceeded++] = kUpper;
                }
            }
            if (pass == 1 && HasLower(t) && r < -w->L[i] - w->dd) {
                largest = std::max(largest, -r - w->L[i]);
                squares += (r + w->L[i]) * (r + w->L[i]);
                if (!w->isActive[i]) {
                    w->exceeded[w->numExceeded] = i;
                    w->exceededSide[w->numExceeded++] = kLower;
                }
            }
        }
    }
    if (CoreReporter_SpeaksIn(w->reporter, 6, kCategoryErrorBarFit)) {
        CoreReporter_Debug(w->reporter, "Sum Of Squares Of Exceeded Upper is %.3e", squares);
        CoreReporter_Debug(w->reporter, "Error bounds exceeded by %.4g", largest);
        double energy = 0.0;
        for (int32_t j = 0; j < w->numActive; ++j) energy += w->coeffs[j] * w->targets[j];
        CoreReporter_Debug(w->reporter, "Energy in RBF is %.4g", ErrorBar_EnergyFactor(w->kernel) * energy);
    }
    return largest;
}

double AchievedAccuracy(const Work* w, double excess) {
    double bound = 0.0;
    for (int32_t i = 0; i < w->N; ++i) {
        if (HasUpper(w->types[i])) bound = std::max(bound, w->U[i]);
        if (HasLower(w->types[i])) bound = std::max(bound, w->L[i]);
    }
    return bound + 0.999 * w->dd + excess;
}

// Removes constraints whose coefficient pulls the wrong way; true when any
// went.
bool RemoveRedundant(Work* w, int32_t pass) {
    const int32_t na = w->numActive;
    int32_t* redundant = w->exceeded + w->numExceeded;  // scratch behind the exceeded list
    int32_t count = 0;
    for (int32_t j = 0; j < na; ++j) {
        const double s = w->kernel->Sign * w->coeffs[j];
        if ((w->side[j] == kUpper && s > 0.0) || (w->side[j] == kLower && s < 0.0)) redundant[count++] = j;
    }
    count = std::min(count, na - w->m - 2);
    if (count <= 0 || w->removals >= w->o.MaxNumRemoves || pass % w->o.RemoveFrequency != 0) return false;
    if (count < na * w->o.MinRemoveFrac) {
        if (CoreReporter_SpeaksIn(w->reporter, 5, kCategoryErrorBarFit))
            CoreReporter_Info(w->reporter, "Too few redundant constraints (%d)", count);
        return false;
    }
    int32_t take = count;
    if (count > std::max(w->removeCount, w->addedLast)) {
        const double* c = w->coeffs;
        std::partial_sort(redundant, redundant + w->removeCount, redundant + count,
                          [c](int32_t a, int32_t b) { return std::fabs(c[a]) > std::fabs(c[b]); });
        take = w->removeCount;
    }
    // Removed slots take the last kept constraint; the coefficients follow
    // so that they stay with their constraints.
    std::sort(redundant, redundant + take);
    int32_t last = na;
    for (int32_t q = take - 1; q >= 0; --q) {
        const int32_t j = redundant[q];
        --last;
        w->isActive[w->active[j]] = 0;
        w->active[j] = w->active[last];
        w->side[j] = w->side[last];
        w->coeffs[j] = w->coeffs[last];
    }
    std::memmove(w->coeffs + last, w->coeffs + na, sizeof(double) * static_cast<std::size_t>(w->m));
    w->numActive = last;
    ++w->removals;
    SetRows(w);
    if (CoreReporter_SpeaksIn(w->reporter, 5, kCategoryErrorBarFit))
        CoreReporter_Info(w->reporter, "Removed %d of %d redundant constraints", take, count);
    const int32_t warned = w->ws.MemoryWarningGiven;
    DDFit_FreeWorkspace(&w->ws);
    w->ws.MemoryWarningGiven = warned;
    return true;
}

// The chosen constraints in point order. A point chosen twice or one that
// is already active is a fault of the selection: each kind is reported with
// its count, status 14.
int SortChosen(Work* w, int32_t* chosen, int32_t* side, int32_t n) {
    auto* keys = static_cast<int64_t*>(Mem_Alloc(sizeof(int64_t) * static_cast<std::size_t>(std::max(n, 1))));
    if (!keys) return CoreStatus_NoMemory;
    for (int32_t q = 0; q < n; ++q) keys[q] = static_cast<int64_t>(chosen[q]) * 2 + (side[q] == kUpper ? 1 : 0);
    std::sort(keys, keys + n);
    int32_t repeats = 0, existing = 0;
    for (int32_t q = 0; q < n; ++q) {
        chosen[q] = static_cast<int32_t>(keys[q] / 2);
        side[q] = keys[q] % 2 ? kUpper : kLower;
        if (q > 0 && chosen[q] == chosen[q - 1]) ++repeats;
        if (w->isActive[chosen[q]]) ++existing;
    }
    Mem_Free(keys);
    int status = 0;
    if (repeats > 0)
        status = FailAt(w->reporter, "AddPointsToActiveSet selected %d duplicate indices", repeats,
                        CoreStatus_DuplicatePoints);
    if (existing > 0)
        status = FailAt(w->reporter, "AddPointsToActiveSet selected %d existing constraints", existing,
                        CoreStatus_DuplicatePoints);
    return status;
}

int AddPoints(Work* w, int32_t e) {
    const int32_t na = w->numActive;
    double k = w->addCount;
    if (w->stride == 1) {
        if (k < na * w->o.MaxAddFrac) {
            const double h = w->addedLast / std::max(static_cast<double>(w->exceededLast - e),
                                                     static_cast<double>(std::max(w->addedLast, 1)));
            k = (1.0 - h * h) * k + h * h * na * w->o.MaxAddFrac;
        }
    } else {
        k = w->addCount / w->stride + 1;
    }
    int32_t want = std::max(1, static_cast<int32_t>(k));
    int32_t* chosen = Mem_AllocInts(e);
    int32_t* chosenSide = Mem_AllocInts(e);
    if (!chosen || !chosenSide) {
        Mem_Free(chosen);
        Mem_Free(chosenSide);
        return CoreStatus_NoMemory;
    }
    int32_t n = 0;
    if (want < e) {
        if (w->numPanels < want) {
            const int32_t leaf = std::max(2, static_cast<int32_t>(w->N / std::floor(1.5 * want)));
            const int status = PointPanels_Label(w->N, w->points, w->d, leaf, w->panel, &w->numPanels, nullptr);
            if (status != 0) {
                Mem_Free(chosen);
                Mem_Free(chosenSide);
                return Fail(w->reporter, "Error building spatial division tree", status);
            }
        }
        // Largest relative excess first, at most `pass` points a panel in
        // each pass, so that the additions spread out.
        int32_t* order = Mem_AllocInts(e);
        int32_t* perPanel = static_cast<int32_t*>(Mem_Calloc(static_cast<std::size_t>(w->numPanels), sizeof(int32_t)));
        unsigned char* taken = static_cast<unsigned char*>(Mem_Calloc(static_cast<std::size_t>(e), 1));
        if (!order || !perPanel || !taken) {
            Mem_Free(order);
            Mem_Free(perPanel);
            Mem_Free(taken);
            Mem_Free(chosen);
            Mem_Free(chosenSide);
            return CoreStatus_NoMemory;
        }
        auto relative = [w](int32_t q) {
            const int32_t i = w->exceeded[q];
            return w->exceededSide[q] == kUpper ? w->residual[i] / w->U[i] : -w->residual[i] / w->L[i];
        };
        for (int32_t q = 0; q < e; ++q) order[q] = q;
        std::sort(order, order + e, [&](int32_t a, int32_t b) { return relative(a) > relative(b); });
        for (int32_t pass = 1; n < want; ++pass) {
            for (int32_t q = 0; q < e && n < want; ++q) {
                const int32_t idx = order[q], p = w->panel[w->exceeded[idx]];
                if (taken[idx] || perPanel[p] >= pass) continue;
                taken[idx] = 1;
                ++perPanel[p];
                chosen[n] = w->exceeded[idx];
                chosenSide[n++] = w->exceededSide[idx];
            }
        }
        Mem_Free(order);
        Mem_Free(perPanel);
        Mem_Free(taken);
    } else {
        if (w->stride > 1) {
            w->stride /= 2;
            w->offset /= 2;
        }
        for (int32_t q = 0; q < e; ++q) {
            chosen[n] = w->exceeded[q];
            chosenSide[n++] = w->exceededSide[q];
        }
    }
    int status = SortChosen(w, chosen, chosenSide, n);
    if (status == 0) status = ReserveActive(w, na + n);
    if (status == 0) {
        const int32_t m = w->m;
        std::memmove(w->coeffs + na + n, w->coeffs + na, sizeof(double) * static_cast<std::size_t>(m));
        for (int32_t q = 0; q < n; ++q) {
            w->isActive[chosen[q]] = 1;
            w->active[na + q] = chosen[q];
            w->side[na + q] = chosenSide[q];
            w->coeffs[na + q] = 0.0;
        }
    }
    Mem_Free(chosen);
    Mem_Free(chosenSide);
    if (status != 0) return status;
    w->numActive = na + n;
    SetRows(w);
    if (CoreReporter_SpeaksIn(w->reporter, 5, kCategoryErrorBarFit))
        CoreReporter_Info(w->reporter, "Added %d of %d exceeded constraints", n, e * w->stride);
    w->addedLast = n;
    w->exceededLast = e;
    if (w->ws.Initialised) return DDFit_Update(w->numActive, w->activeRows, &w->ws);
    return 0;
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

int MakeOutput(Work* w, CoreRbf* out, double achieved) {
    CoreSolution_Free(out);
    const int32_t na = w->numActive, m = w->m;
    out->Centres = Mem_AllocMatrix(na, w->d);
    out->Coeffs = Mem_AllocDoubles(na + m);
    out->Indices = Mem_AllocInts(na);
    if (!out->Centres || !out->Coeffs || !out->Indices) {
        CoreSolution_Free(out);
        return Fail(w->reporter, "Memory allocation failed creating output RBF", CoreStatus_NoMemory);
    }
    for (int32_t j = 0; j < na; ++j) {
        std::memcpy(out->Centres[j], w->points[w->active[j]], sizeof(double) * static_cast<std::size_t>(w->d));
        out->Indices[j] = w->active[j];
    }
    std::memcpy(out->Coeffs, w->coeffs, sizeof(double) * static_cast<std::size_t>(na + m));
    out->Count = na;
    for (int32_t k = 0; k < 3; ++k) out->PolyCentre[k] = w->shift[k];
    out->Kernel = *w->kernel;
    out->AchievedAccuracy = achieved;
    out->EvalAccuracy = w->evalAcc;
    return 0;
}

int TrivialOutput(Work* w, CoreRbf* out) {
    w->numActive = 1;
    if (int status = ReserveActive(w, 1)) return status;
    w->active[0] = 0;
    std::fill(w->coeffs, w->coeffs + 1 + w->m, 0.0);
    for (int32_t k = 0; k < 3; ++k) w->shift[k] = 0.0;
    const int status = MakeOutput(w, out, w->largestF);
    if (w->o.AchievedAccuracyOut) *w->o.AchievedAccuracyOut = w->largestF;
    if (w->o.NumCentresOut) *w->o.NumCentresOut = 1;
    return status != 0 ? status : CoreStatus_TrivialSolution;
}

// The active-set passes; the last successful fit stays in the work record.
int Iterate(Work* w, double* achieved, int32_t* iterations) {
    const CoreReporter* r = w->reporter;
    const double entry = r->progress ? *r->progress : 0.0;
    double ring[3] = {w->largestF, w->largestF, w->largestF};
    const int32_t allowed = std::max(0, static_cast<int32_t>((1.0 - w->o.AccuracyConfidence) * w->N) - 1);
    bool fresh = true;
    int32_t it = 0;
    for (int32_t pass = 0;; ++pass) {
        const uint32_t start = Reporter_Clock();
        if (CoreReporter_AbortRequested(r)) return CoreStatus_UserAbort;
        int status = FitActive(w, fresh);
        if (status != 0) return status;
        fresh = false;
        SetSubsampleRate(w);
        int32_t sampledCount = 0;
        status = Evaluate(w, &sampledCount);
        if (status != 0) return status;
        const double excess = FindExceeded(w, sampledCount);
        *achieved = AchievedAccuracy(w, excess);
        if (w->o.AchievedAccuracyOut) *w->o.AchievedAccuracyOut = *achieved;
        bool converged = w->stride == 1;
        if (RemoveRedundant(w, pass)) {
            converged = false;
            fresh = true;
        }
        const int32_t e = w->numExceeded;
        if (static_cast<int64_t>(e) * w->stride > allowed) {
            const int32_t offsetBefore = w->offset;
            status = AddPoints(w, e);
            if (status != 0) return status;
            converged = false;
            if (offsetBefore == 0) ++it;
        } else {
            w->stride = 1;
            w->offset = 0;
            w->settings = w->o.NumSubsampleItns + 1;
            ++it;
        }
        if (r->maximumLevel > 4 && CoreReporter_SpeaksIn(r, 3, kCategoryErrorBarFit))
            CoreReporter_SuccessElapsed(r, "Itn %2d.%.0f: %4d active constraints in",
                                        static_cast<int32_t>(Reporter_Clock() - start), it,
                                        w->offset * 100.0 / w->stride, w->numActive);
        if (w->stride > 1) ++w->offset;
        if (r->progress) {
            ring[pass % 3] = std::min(excess, w->largestF);
            const double mean = (ring[0] + ring[1] + ring[2]) / 3.0;
            const double beyond = std::max(0, e - allowed);
            const double x = 1.0 - (beyond / w->N + (w->largestF > 0.0 ? mean / w->largestF : 0.0)) / 2.0;
            const double value = entry + ProgressCurve(x) * (w->progressEnd - entry);
            if (value > *r->progress) CoreReporter_SetProgress(r, value);
        }
        *iterations = it;
        if (converged) return 0;
        if (it >= w->o.MaxIterations) return CoreStatus_ReachedMaxIteration;
    }
}

}  // namespace

int ErrorBar_Fit(int32_t N, double* const* points, const double* values, const BasicFunctionKernel* kernel,
                 double memory, double accuracy, const double* upper, const double* lower, const int32_t* types,
                 ErrorBarOptions* options, CoreRbf* out, const CoreReporter* reporter, double progressEnd) {
    const uint32_t start = Reporter_Clock();
    int status = CheckInput(N, points, values, kernel, accuracy, upper, lower, types, out, reporter);
    if (status != 0) return status;
    Work w;
    if (options) {
        status = ErrorBar_CheckOptions(options, reporter);
        if (status != 0) return status;
        w.o = *options;
    } else {
        ErrorBar_DefaultOptions(&w.o);
    }
    CoreReporter silent{};
    w.reporter = reporter ? reporter : &silent;
    w.N = N;
    w.d = kernel->Dim;
    w.m = kernel->PolyTerms > 0 ? kernel->PolyTerms : 0;
    w.points = points;
    w.f = values;
    w.kernel = kernel;
    w.memory = memory;
    const double entry = reporter && reporter->progress ? *reporter->progress : 0.0;
    if (progressEnd < entry) progressEnd = entry;
    w.progressEnd = progressEnd;
    if (kernel->Type == kBasicBiharmonic && w.d == 2 && !w.o.Eval.BoundingBox) {
        // The 2D evaluator works over a box that must hold every point.
        w.boxForEval[0] = w.boxForEval[2] = points[0][0];
        w.boxForEval[1] = w.boxForEval[3] = points[0][1];
        for (int32_t i = 1; i < N; ++i) {
            w.boxForEval[0] = std::min(w.boxForEval[0], points[i][0]);
            w.boxForEval[1] = std::min(w.boxForEval[1], points[i][1]);
            w.boxForEval[2] = std::max(w.boxForEval[2], points[i][0]);
            w.boxForEval[3] = std::max(w.boxForEval[3], points[i][1]);
        }
        w.o.Eval.BoundingBox = w.boxForEval;
        w.o.Fitter.LevelEval.BoundingBox = w.boxForEval;
        w.o.Fitter.CoarseEval.BoundingBox = w.boxForEval;
    }
    CoreSolution_Free(out);
    out->AchievedAccuracy = -1.0;
    status = Setup(&w, accuracy, upper, lower, types);
    if (status == CoreStatus_TrivialSolution) status = TrivialOutput(&w, out);
    if (status != 0) {
        FreeWork(&w);
        return status;
    }
    PrintSettings(&w);
    const uint32_t initialStart = Reporter_Clock();
    status = InitialCentres(&w);
    if (status == 0 && CoreReporter_SpeaksIn(w.reporter, 3, kCategoryErrorBarFit)) {
        CoreReporter_Elapsed(w.reporter, "Choosing initial set of centres took",
                             static_cast<int32_t>(Reporter_Clock() - initialStart));
        CoreReporter_Success(w.reporter, "%s", "");
    }
    double achieved = -1.0;
    int32_t iterations = 0;
    if (status == 0) status = Iterate(&w, &achieved, &iterations);
    if (status == 0 || status == CoreStatus_ReachedMaxIteration || status == CoreStatus_UserAbort ||
        (achieved >= 0.0 && w.numActive > 0)) {
        const int made = MakeOutput(&w, out, achieved);
        if (made != 0) status = made;
    }
    if (iterations >= 1 && CoreReporter_SpeaksIn(w.reporter, 5, kCategoryErrorBarFit)) {
        CoreReporter_Info(w.reporter, "%s", "");
        CoreReporter_Value(w.reporter, "Number of iterations", "%d", iterations);
        CoreReporter_Value(w.reporter, "Number of RBF centres", "%d", w.numActive);
        CoreReporter_Value(w.reporter, "Achieved accuracy", "%.4g", achieved);
        if (CoreReporter_SpeaksIn(w.reporter, 6, kCategoryErrorBarFit)) {
            CoreReporter_Value(w.reporter, "Number of RBF fits", "%d", w.fits);
            CoreReporter_Value(w.reporter, "Average RBF fit size", "%.0f", w.fits > 0 ? w.fitSizes / w.fits : 0.0);
        }
    }
    if (CoreReporter_SpeaksIn(w.reporter, 3, kCategoryErrorBarFit))
        CoreReporter_Elapsed(w.reporter,
                             "Smooth RBF fit took:         ", static_cast<int32_t>(Reporter_Clock() - start));
    if (status == 0 || status == CoreStatus_ReachedMaxIteration) CoreReporter_SetProgress(reporter, progressEnd);
    if (options) {
        options->MemoryRequirement[0] = w.o.MemoryRequirement[0];
        options->MemoryRequirement[1] = w.o.MemoryRequirement[1];
    }
    FreeWork(&w);
    return status;
}

// The fit operations, written once for both dimensions: preparation of the
// points, the four fitters, and the completion of the solution.
#include "surface/fit/fit_operations.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "surface/fit/dd_fit.h"
#include "surface/fit/error_bar.h"
#include "surface/fit/eval_operations.h"
#include "surface/fit/fit_attributes.h"
#include "surface/fit/fit_vectors.h"
#include "surface/fit/point_duplicates.h"
#include "surface/fit/rad_fit_fgmres.h"
#include "surface/fit/reducer.h"
#include "surface/frame/core_rbf.h"
#include "surface/frame/core_reporter.h"
#include "surface/frame/operation_frame.h"
#include "surface/frame/point_list.h"
#include "surface/frame/record_memory.h"
#include "surface/frame/reporter.h"
#include "surface/frame/row_pointers.h"
#include "surface/frame/solution.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_matrix.h"

namespace {

template <int D>
struct Dim;

template <>
struct Dim<3> {
    using Solution = Solution3;
    using List = PointList3;
    static constexpr int32_t kOperation = 9;
    static int CheckSolution(const Solution* s, Reporter* r) { return Solution3_Check(s, r); }
    static int CheckList(const List* l, int32_t set, Reporter* r) {
        return PointList3_CheckAlt(l, set, "Input", 1, r, 1, 0, 0, 0, 0);
    }
    static int Rows(double*** t, double* a, int32_t n) { return RowPointers_Make3(t, a, n); }
    static int Views(int32_t set, List* l, Reporter* r, double*** a) {
        return PointList3_RowViews(set, l, r, a, nullptr);
    }
    static void FreeViews(const List* l, double** a) { PointList3_FreeRowViews(l, a, nullptr); }
    static double* Value(const List* l, int32_t set) { return PointList3_GetValue(l, set); }
    static double* Accuracy(const List* l, int32_t set) { return PointList3_GetAccuracy(l, set); }
    static double* Lower(const List* l, int32_t set) { return PointList3_GetLower(l, set); }
    static double* Upper(const List* l, int32_t set) { return PointList3_GetUpper(l, set); }
    static void PrintAttributes(const FitAttributes* a, const char* name, Reporter* r) {
        PrintFitAttributes3(a, name, r);
    }
    static void VectorLine(Reporter* r, const char* label, const double* v) {
        Reporter_Value(r, label, "% g % g % g", v[0], v[1], v[2]);
    }
};

template <>
struct Dim<2> {
    using Solution = Solution2;
    using List = PointList2;
    static constexpr int32_t kOperation = 3;
    static int CheckSolution(const Solution* s, Reporter* r) { return Solution2_Check(s, r); }
    static int CheckList(const List* l, int32_t set, Reporter* r) {
        return PointList2_CheckAlt(l, set, "Input", 1, r, 1, 0, 0, 0, 0);
    }
    static int Rows(double*** t, double* a, int32_t n) { return RowPointers_Make2(t, a, n); }
    static int Views(int32_t set, List* l, Reporter* r, double*** a) {
        return PointList2_RowViews(set, l, r, a, nullptr);
    }
    static void FreeViews(const List* l, double** a) { PointList2_FreeRowViews(l, a, nullptr); }
    static double* Value(const List* l, int32_t set) { return PointList2_GetValue(l, set); }
    static double* Accuracy(const List* l, int32_t set) { return PointList2_GetAccuracy(l, set); }
    static double* Lower(const List* l, int32_t set) { return PointList2_GetLower(l, set); }
    static double* Upper(const List* l, int32_t set) { return PointList2_GetUpper(l, set); }
    static void PrintAttributes(const FitAttributes* a, const char* name, Reporter* r) {
        PrintFitAttributes2(a, name, r);
    }
    static void VectorLine(Reporter* r, const char* label, const double* v) {
        Reporter_Value(r, label, "% g % g", v[0], v[1]);
    }
};

bool Speaks(const Reporter* r, int32_t level) {
    return r != nullptr && r->callback != nullptr && r->maximumLevel >= level;
}

const char* const kCreator = "Selvane V 1.4.2";

// Everything one fit holds between its steps.
template <int D>
struct FitRun {
    using Solution = typename Dim<D>::Solution;
    using List = typename Dim<D>::List;
    Solution* solution = nullptr;
    List* points = nullptr;
    int32_t set = -1;
    int32_t N = 0;
    double accuracy = 0.0;
    double memory = 0.0;
    FitAttributes attr{};
    FitAttributes* callerAttr = nullptr;
    Reporter* reporter = nullptr;
    BasicFunctionKernel kernel{};
    bool initial = false;
    double* accuracyVector = nullptr;  // tracked copy, cleaned
    double** rows = nullptr;           // views of the locations
    double** shifted = nullptr;        // rows about the box centre (CentreOnOrigin)
    double* const* fitted = nullptr;   // the rows handed to the fitter
    double boxMin[3] = {0, 0, 0};
    double boxMax[3] = {0, 0, 0};
    double boxCentre[3] = {0, 0, 0};
    double polyShift[3] = {0, 0, 0};
    int coreStatus = 0;
    double minMemory = 0.0, maxMemory = 0.0;
    bool memoryKnown = false;

    int32_t Terms() const { return kernel.PolyTerms > 0 ? kernel.PolyTerms : 0; }
    const double* Values() const { return Dim<D>::Value(points, set); }
};

template <int D>
void ReleaseSolutionArrays(typename Dim<D>::Solution* s) {
    Record_Free(s->Centres);
    Record_Free(s->Coeffs);
    Record_Free(s->Indices);
    s->Centres = nullptr;
    s->Coeffs = nullptr;
    s->Indices = nullptr;
    s->CentreCount = 0;
    s->CoeffCount = 0;
}

// ---- Preparation ----

template <int D>
int PrepareInitial(FitRun<D>& f) {
    auto* s = f.solution;
    if (!f.attr.UseInitialRbf) {
        std::memset(s, 0, sizeof(*s));
        s->AchievedAccuracy = -1.0;
        return 0;
    }
    if (!Dim<D>::CheckSolution(s, f.reporter)) return ApiStatus_BadSolution;
    if (s->CentreCount > f.N) {
        Reporter_Error(f.reporter, "Initial Rbf has too many centres. Discarding");
        ReleaseSolutionArrays<D>(s);
        std::memset(s, 0, sizeof(*s));
        s->AchievedAccuracy = -1.0;
        return 0;
    }
    if (s->Indices) {
        for (int32_t i = 0; i < s->CentreCount; ++i) {
            if (s->Indices[i] < 0 || s->Indices[i] >= f.N) {
                Reporter_Error(f.reporter, "Rbf indices out of range");
                return ApiStatus_BadSolution;
            }
        }
    }
    f.initial = true;
    return 0;
}

template <int D>
int PrepareAccuracy(FitRun<D>& f) {
    const double* given = Dim<D>::Accuracy(f.points, f.set);
    if (given) {
        f.accuracyVector = Mem_AllocDoubles(f.N);
        if (!f.accuracyVector) {
            Reporter_Error(f.reporter, "Memory allocation for accuracy vector failed.");
            return ApiStatus_NoMemory;
        }
        std::memcpy(f.accuracyVector, given, sizeof(double) * static_cast<std::size_t>(f.N));
        return ReplaceBadValues(f.N, f.accuracyVector, "Accuracy per point", f.accuracy, f.reporter) == 0
                   ? 0
                   : ApiStatus_NegativeDistance;
    }
    if (!(f.accuracy > 0.0)) {
        Reporter_Error(f.reporter, "Accuracy argument is negative or zero & per-point accuracy is NULL: %g",
                       f.accuracy);
        return ApiStatus_NegativeDistance;
    }
    return 0;
}

template <int D>
void PrintSettings(FitRun<D>& f, bool bounded, const int32_t* boundTypes) {
    Reporter* r = f.reporter;
    if (!Speaks(r, 5)) return;
    if (f.set >= 0) Reporter_Value(r, "Fitting To", "%s", f.points->Alt[f.set].Name);
    Reporter_Value(r, "Number of Points", "%d", f.N);
    Reporter_Value(r, "Fitting Accuracy", "%g", f.accuracy);
    if (bounded) {
        const bool upper = Dim<D>::Upper(f.points, f.set), lower = Dim<D>::Lower(f.points, f.set);
        const char* yes = upper || lower ? "Yes" : "Using Accuracy Field";
        const bool neither = !upper && !lower && Dim<D>::Accuracy(f.points, f.set);
        Reporter_Value(r, "UpperBounds", "%s", upper ? yes : lower ? "Using Lower Field" : neither ? yes : "No");
        Reporter_Value(r, "LowerBounds", "%s", lower ? yes : upper ? "Using Upper Field" : neither ? yes : "No");
        Reporter_Value(r, "BoundTypes", "%s", boundTypes ? "Yes" : "No");
    } else {
        Reporter_Value(r, "Accuracy Per Point", "%s", f.accuracyVector ? "Yes" : "No");
    }
    Dim<D>::PrintAttributes(&f.attr, f.kernel.Name ? f.kernel.Name : "", r);
    if (!bounded) Reporter_Value(r, "Centre on Origin", "%s", f.attr.CentreOnOrigin ? "Yes" : "No");
    Reporter_Value(r, "Memory To Use", "%uMB", static_cast<unsigned>(static_cast<uint64_t>(f.memory) >> 20));
}

// Data box, optional centring and the duplicate test.
template <int D>
int PreparePoints(FitRun<D>& f, bool centre) {
    if (int status = Dim<D>::Views(f.set, f.points, f.reporter, &f.rows)) return status;
    for (int32_t k = 0; k < D; ++k) f.boxMin[k] = f.boxMax[k] = f.rows[0][k];
    for (int32_t i = 1; i < f.N; ++i) {
        for (int32_t k = 0; k < D; ++k) {
            const double v = f.rows[i][k];
            if (v < f.boxMin[k])
                f.boxMin[k] = v;
            else if (v > f.boxMax[k])
                f.boxMax[k] = v;
        }
    }
    if (Speaks(f.reporter, 5)) {
        Dim<D>::VectorLine(f.reporter, "Data Min", f.boxMin);
        Dim<D>::VectorLine(f.reporter, "Data Max", f.boxMax);
    }
    for (int32_t k = 0; k < D; ++k) f.boxCentre[k] = (f.boxMin[k] + f.boxMax[k]) * 0.5;
    f.fitted = f.rows;
    if (centre) {
        f.shifted = Mem_AllocMatrix(f.N, D);
        if (!f.shifted) return ApiStatus_NoMemory;
        for (int32_t i = 0; i < f.N; ++i)
            for (int32_t k = 0; k < D; ++k) f.shifted[i][k] = f.rows[i][k] - f.boxCentre[k];
        f.fitted = f.shifted;
    } else {
        for (int32_t k = 0; k < D; ++k) f.polyShift[k] = f.boxCentre[k];
    }
    const int status = Points_CheckDuplicates(D, f.N, f.fitted, 1e-10, 1, f.reporter ? &f.reporter->abort : nullptr);
    if (status != 0) {
        CoreStatus_Report(f.reporter, status);
        return CoreStatus_ToApiStatus(status);
    }
    return 0;
}

// ---- All points as centres (types 0 and 3) ----

template <int D>
int SetAllCentres(typename Dim<D>::Solution* s, int32_t N, double* const* points, const double* accuracyVector,
                  double accuracy, const BasicFunctionKernel* kernel, int32_t initial, Reporter* reporter,
                  CoreReporter* core, double*** centreRows, double* fitAccuracy) {
    const int32_t m = kernel->PolyTerms > 0 ? kernel->PolyTerms : 0;
    *centreRows = nullptr;
    if (initial && s->CentreCount == N && s->CoeffCount == N + m && s->Coeffs) {
        double largest = 0.0, differ = 0.0;
        for (int32_t i = 0; i < N; ++i)
            for (int32_t k = 0; k < D; ++k) {
                largest = std::max(largest, std::fabs(points[i][k]));
                differ = std::max(differ, std::fabs(points[i][k] - s->Centres[i * D + k]));
            }
        if (differ > 2.2250738585072014e-305 * largest) {
            Reporter_Warning(reporter, "Initial RBF centres do not match points. Discarding.");
            for (int32_t i = 0; i < N; ++i)
                for (int32_t k = 0; k < D; ++k) s->Centres[i * D + k] = points[i][k];
            s->AchievedAccuracy = -1.0;
        }
    } else {
        auto* coeffs = static_cast<double*>(Record_Alloc(N + m, sizeof(double)));
        auto* block = static_cast<double*>(Record_Alloc(static_cast<int64_t>(N) * D, sizeof(double)));
        if (!coeffs || !block) {
            Record_Free(coeffs);
            Record_Free(block);
            Reporter_Error(reporter, "Memory allocation failed creating RBF centres.");
            return ApiStatus_NoMemory;
        }
        std::fill(coeffs, coeffs + N + m, 0.0);
        if (initial && s->Coeffs) {
            // A smaller initial solution: each coefficient goes to its data
            // point, the polynomial part behind all of them.
            for (int32_t i = 0; i < s->CentreCount; ++i) coeffs[s->Indices ? s->Indices[i] : i] = s->Coeffs[i];
            for (int32_t t = 0; t < m && s->CentreCount + t < s->CoeffCount; ++t)
                coeffs[N + t] = s->Coeffs[s->CentreCount + t];
        }
        ReleaseSolutionArrays<D>(s);
        for (int32_t i = 0; i < N; ++i)
            for (int32_t k = 0; k < D; ++k) block[i * D + k] = points[i][k];
        s->Centres = block;
        s->Coeffs = coeffs;
    }
    Record_Free(s->Indices);
    s->Indices = nullptr;
    s->CentreCount = N;
    s->CoeffCount = N + m;
    if (Dim<D>::Rows(centreRows, s->Centres, N) != 0) {
        Reporter_Error(reporter, "Memory allocation failed converting RBF centres.");
        return ApiStatus_NoMemory;
    }
    *fitAccuracy = accuracy;
    if (accuracyVector) {
        Reporter_Warning(
            reporter, "Accuracy per point not supported for direct fitting.\nUsing maximum value in accuracy vector.");
        *fitAccuracy = *std::max_element(accuracyVector, accuracyVector + N);
    }
    if (reporter && core) OperationFrame_CoreReporter(core, reporter, 1, 38);
    return 0;
}

template <int D>
void ScalingOptions(const FitAttributes& a, DomDecompOptions* dd) {
    if (a.UseSpatialScaling == 0) dd->Scaling = 0;
    if (a.UseSpatialScaling == 1) {
        dd->Scaling = 2;
        for (int32_t k = 0; k < 3; ++k) dd->Scale[k] = k < D ? a.SpatialScaling[k] : 1.0;
    }
}

template <int D>
int FitAllCentres(FitRun<D>& f, bool gmres) {
    CoreReporter core;
    double** centres = nullptr;
    double fitAccuracy = f.accuracy;
    int status = SetAllCentres<D>(f.solution, f.N, f.fitted, f.accuracyVector, f.accuracy, &f.kernel, f.initial,
                                  f.reporter, nullptr, &centres, &fitAccuracy);
    if (status != 0) {
        Mem_Free(centres);
        return ApiStatus_NoMemory;
    }
    OperationFrame_CoreReporter(&core, f.reporter, 1, 38);
    double* coeffs = f.solution->Coeffs;
    if (!gmres) {
        DDFitOptions o;
        DDFit_DefaultOptions(&o);
        o.Smoothing = f.attr.Rho != 0.0 ? 1 : 0;
        o.Direct.Rho = f.attr.Rho;
        o.Confidence = f.attr.Confidence;
        o.UseLambda = f.initial ? 1 : 0;
        o.Direct.AllowCentredPoly = 2;
        for (int32_t k = 0; k < 3; ++k) o.Direct.PolyCentre[k] = f.polyShift[k];
        ScalingOptions<D>(f.attr, &o.DomDecomp);
        o.AchievedError = &f.solution->AchievedAccuracy;
        DDFitWorkspace ws{};
        f.coreStatus = DDFit_Run(f.N, centres, f.Values(), &f.kernel, fitAccuracy, f.memory, &o, &ws, &coeffs,
                                 f.polyShift, &core, 1.0);
        f.minMemory = ws.MinMemoryMB;
        f.maxMemory = ws.MaxMemoryMB;
        f.memoryKnown = true;
        DDFit_FreeWorkspace(&ws);
    } else {
        RadFitFGMResOptions o;
        RadFitFGMRes_DefaultOptions(&o);
        o.Solver.UseCoeffs = f.initial ? 1 : 0;
        o.Bottom.Rho = f.attr.Rho;
        ScalingOptions<D>(f.attr, &o.DomDecomp);
        o.AchievedAccuracyOut = &f.solution->AchievedAccuracy;
        if (f.attr.Confidence < 1.0)
            Reporter_Warning(f.reporter, "GMRes fitter does not support Confidence parameter. Ignored.");
        f.coreStatus = RadFitFGMRes(f.N, centres, f.Values(), &f.kernel, fitAccuracy, f.memory, &o, &coeffs,
                                    f.polyShift, &core, 1.0);
    }
    Mem_Free(centres);
    if (f.coreStatus != 0) CoreStatus_Report(f.reporter, f.coreStatus);
    if (f.coreStatus == CoreStatus_TrivialSolution) ReleaseSolutionArrays<D>(f.solution);
    return 0;
}

// ---- Reduced fits (types 1 and 2) ----

// The result's arrays change owner: the solution frees them with the
// run-time allocator, so they leave the tracked registry and its count.
template <int D>
void MoveResult(FitRun<D>& f, CoreRbf* result) {
    auto* s = f.solution;
    ReleaseSolutionArrays<D>(s);
    if (result->Count > 0 && result->Centres) {
        s->Centres = result->Centres[0];
        Mem_Disown(s->Centres);
        Mem_Free(result->Centres);
        s->Coeffs = result->Coeffs;
        Mem_Disown(s->Coeffs);
        s->Indices = result->Indices;
        Mem_Disown(s->Indices);
        s->CentreCount = result->Count;
        s->CoeffCount = result->Count + f.Terms();
        if (result->EvalAccuracy > 0.0) s->DefaultEvalAccuracy = result->EvalAccuracy;
    } else {
        Mem_Free(result->Centres);
        Mem_Free(result->Coeffs);
        Mem_Free(result->Indices);
        s->CentreCount = 0;
        s->CoeffCount = 0;
    }
    s->AchievedAccuracy = result->AchievedAccuracy;
    std::memset(result, 0, sizeof(*result));
}

// Initial centre indices of an initial solution: its own, or 0..N-1 when it
// has none and holds every point. A tracked copy the caller frees.
template <int D>
int InitialIndices(FitRun<D>& f, int32_t** indices, int32_t* count) {
    const auto* s = f.solution;
    *indices = nullptr;
    *count = 0;
    if (!s->Indices && s->CentreCount != f.N) return 0;
    *indices = Mem_AllocInts(s->CentreCount);
    if (!*indices) return CoreStatus_NoMemory;
    for (int32_t i = 0; i < s->CentreCount; ++i) (*indices)[i] = s->Indices ? s->Indices[i] : i;
    *count = s->CentreCount;
    return 0;
}

template <int D>
int FitReduced(FitRun<D>& f) {
    CoreReporter core;
    OperationFrame_CoreReporter(&core, f.reporter, 1, 48);
    ReducerOptions o;
    Reducer_DefaultOptions(&o);
    o.ReductionThresh = f.attr.ReductionThresh;
    int32_t* initial = nullptr;
    if (f.initial) {
        f.coreStatus = InitialIndices<D>(f, &initial, &o.InitialCount);
        o.InitialIndices = initial;
        ReleaseSolutionArrays<D>(f.solution);
        f.solution->AchievedAccuracy = -1.0;
        if (f.coreStatus != 0) return 0;
    }
    o.Fitter.Smoothing = f.attr.Rho != 0.0 ? 1 : 0;
    o.Fitter.Direct.Rho = f.attr.Rho;
    o.Fitter.Confidence = f.attr.Confidence;
    o.Fitter.Direct.AllowCentredPoly = 2;
    for (int32_t k = 0; k < 3; ++k) o.Fitter.Direct.PolyCentre[k] = f.polyShift[k];
    o.CentreCountOut = &f.solution->CentreCount;
    CoreRbf result{};
    f.coreStatus = Reducer_Fit(f.N, f.fitted, f.Values(), &f.kernel, f.accuracy, f.accuracyVector, f.memory, &o,
                               &result, &f.solution->AchievedAccuracy, &core, 1.0);
    if (f.coreStatus != 0) CoreStatus_Report(f.reporter, f.coreStatus);
    MoveResult<D>(f, &result);
    Mem_Free(initial);
    f.minMemory = o.MemoryRequirement[0];
    f.maxMemory = o.MemoryRequirement[1];
    f.memoryKnown = true;
    return 0;
}

// An initial record over the solution's coefficients and indices, which
// the solution gives up.
template <int D>
int InitialRecord(FitRun<D>& f, CoreRbf* record) {
    auto* s = f.solution;
    std::memset(record, 0, sizeof(*record));
    record->Count = s->CentreCount;
    record->Coeffs = s->Coeffs;
    record->Indices = s->Indices;
    if (!record->Indices && s->CentreCount == f.N) {
        record->Indices = static_cast<int32_t*>(Record_Alloc(f.N, sizeof(int32_t)));
        if (!record->Indices) return CoreStatus_NoMemory;
        for (int32_t i = 0; i < f.N; ++i) record->Indices[i] = i;
    }
    s->Coeffs = nullptr;
    s->Indices = nullptr;
    ReleaseSolutionArrays<D>(s);
    s->AchievedAccuracy = -1.0;
    return 0;
}

template <int D>
int FitErrorBar(FitRun<D>& f, const double* upper, const double* lower, const int32_t* types, bool bounded) {
    CoreReporter core;
    OperationFrame_CoreReporter(&core, f.reporter, 1, 128);
    ErrorBarOptions o;
    ErrorBar_DefaultOptions(&o);
    o.AccuracyConfidence = f.attr.Confidence;
    CoreRbf initial{};
    if (f.initial) {
        f.coreStatus = InitialRecord<D>(f, &initial);
        if (f.coreStatus != 0) return 0;
        if (initial.Count > 0 && initial.Indices) o.InitialRbf = &initial;
    }
    o.NumCentresOut = &f.solution->CentreCount;
    o.AchievedAccuracyOut = &f.solution->AchievedAccuracy;
    o.Fitter.Direct.AllowCentredPoly = 2;
    for (int32_t k = 0; k < 3; ++k) o.Fitter.Direct.PolyCentre[k] = f.polyShift[k];
    if (bounded) {
        o.FitAccFraction = f.attr.FitAccFactor;
        o.EvalAccFraction = std::min(o.EvalAccFraction, f.attr.FitAccFactor);
        if (f.attr.AllowRedundant == 0) o.MinRemoveFrac = 0.0;
    }
    if (f.attr.Rho != 0.0) Reporter_Warning(f.reporter, "Rho smoothing parameter ignored.");
    CoreRbf result{};
    f.coreStatus = ErrorBar_Fit(f.N, f.fitted, f.Values(), &f.kernel, f.memory, f.accuracy, upper, lower, types, &o,
                                &result, &core, 1.0);
    if (f.coreStatus == CoreStatus_NoMemory) {
        Reporter_Warning(f.reporter, "Memory allocation failed. MemLimit set to 0. Trying again");
        CoreReporter_SetProgress(&core, 0.0);
        CoreRbf first = result;
        std::memset(&result, 0, sizeof(result));
        if (first.Coeffs && first.Indices && first.Count > 0) o.InitialRbf = &first;
        o.Fitter.LevelMallocRatio = 1.0;
        f.coreStatus = ErrorBar_Fit(f.N, f.fitted, f.Values(), &f.kernel, 0.0, f.accuracy, upper, lower, types, &o,
                                    &result, &core, 1.0);
        CoreSolution_Free(&first);
    }
    if (f.coreStatus != 0) CoreStatus_Report(f.reporter, f.coreStatus);
    MoveResult<D>(f, &result);
    Record_Free(initial.Coeffs);
    Record_Free(initial.Indices);
    f.minMemory = o.MemoryRequirement[0];
    f.maxMemory = o.MemoryRequirement[1];
    f.memoryKnown = true;
    return 0;
}

// ---- Completion ----

template <int D>
void TrivialSolution(FitRun<D>& f) {
    auto* s = f.solution;
    ReleaseSolutionArrays<D>(s);
    std::memset(s, 0, sizeof(*s));
    const int32_t m = f.Terms();
    s->Centres = static_cast<double*>(Record_Alloc(D, sizeof(double)));
    s->Coeffs = static_cast<double*>(Record_Alloc(1 + m, sizeof(double)));
    if (s->Centres && s->Coeffs) {
        std::fill(s->Centres, s->Centres + D, 0.0);
        std::fill(s->Coeffs, s->Coeffs + 1 + m, 0.0);
        s->CentreCount = 1;
        s->CoeffCount = 1 + m;
    } else {
        ReleaseSolutionArrays<D>(s);
    }
    s->Basic = f.attr.BasicFunc;
    s->PolyDegree = f.attr.PolyDegree;
    s->Rho = f.attr.Rho;
    s->FitType = f.attr.FitType;
    s->AchievedAccuracy = 0.0;
}

template <int D>
void Complete(FitRun<D>& f, int32_t fitType) {
    auto* s = f.solution;
    if (f.attr.CentreOnOrigin && s->Centres)
        for (int32_t i = 0; i < s->CentreCount; ++i)
            for (int32_t k = 0; k < D; ++k) s->Centres[i * D + k] += f.boxCentre[k];
    for (int32_t k = 0; k < D; ++k) {
        s->PolyBase[k] = fitType == FitType_DirectGMRes
                             ? f.polyShift[k] + (f.attr.CentreOnOrigin ? f.boxCentre[k] : 0.0)
                             : f.boxCentre[k];
        s->DataMin[k] = f.boxMin[k];
        s->DataMax[k] = f.boxMax[k];
    }
    s->Basic = f.attr.BasicFunc;
    s->PolyDegree = f.attr.PolyDegree;
    s->Rho = f.attr.Rho;
    s->FitType = fitType;
    std::snprintf(s->Creator, sizeof(s->Creator), "%-31s", kCreator);
    if (fitType == FitType_CentreReduction && s->CentreCount == f.N) s->FitType = FitType_Direct;
    if (f.coreStatus == CoreStatus_UserAbort && s->AchievedAccuracy < 0.0) {
        Reporter_Warning(f.reporter, "No partial RBF to return. Output RBF is invalid.");
        ReleaseSolutionArrays<D>(s);
        std::memset(s, 0, sizeof(*s));
        s->AchievedAccuracy = -1.0;
    }
    if (f.coreStatus == CoreStatus_TrivialSolution) TrivialSolution<D>(f);
}

template <int D>
void DefaultEvalAccuracy(FitRun<D>& f, bool bounded) {
    auto* s = f.solution;
    if (bounded) {
        s->DefaultEvalAccuracy = 0.01 * s->AchievedAccuracy;
        return;
    }
    if (s->DefaultEvalAccuracy > 0.0) return;
    s->DefaultEvalAccuracy =
        f.accuracyVector ? 0.01 * *std::min_element(f.accuracyVector, f.accuracyVector + f.N) : 0.01 * f.accuracy;
}

template <int D>
int Finish(FitRun<D>& f, int status) {
    if (f.rows) Dim<D>::FreeViews(f.points, f.rows);
    Mem_FreeMatrix(f.shifted);
    Mem_Free(f.accuracyVector);
    if (status == 0) status = CoreStatus_ToApiStatus(f.coreStatus);
    if (Speaks(f.reporter, 5) && f.solution && f.solution->CentreCount > 0) {
        Reporter_Value(f.reporter, "Number of Centres", "%d", f.solution->CentreCount);
        Reporter_Value(f.reporter, "Achieved Accuracy", "%g", f.solution->AchievedAccuracy);
    }
    return OperationFrame_Finish(f.reporter, status);
}

// Steps 2 to 7 of every fit; 0 or the API status that refuses the fit.
template <int D>
int Begin(FitRun<D>& f, typename Dim<D>::Solution* solution, typename Dim<D>::List* points, int32_t set,
          double accuracy, uint32_t memory, FitAttributes* attributes, Reporter* reporter) {
    f.solution = solution;
    f.points = points;
    f.set = set;
    f.accuracy = accuracy;
    f.memory = memory;
    f.reporter = reporter;
    f.callerAttr = attributes;
    if (!solution) {
        Reporter_Error(reporter, "Rbf argument was NULL");
        return ApiStatus_BadSolution;
    }
    if (!attributes) {
        SetFitAttrDefaults(&f.attr);
    } else {
        if (!CheckFitAttributes(D, attributes, reporter)) return ApiStatus_BadAttributes;
        f.attr = *attributes;
    }
    if (f.attr.FitType < FitType_Direct || f.attr.FitType > FitType_DirectGMRes) {
        // Refused here rather than run no fitter and report success with
        // an empty solution.
        Reporter_Error(reporter, "Fit type value is out of range: %d", f.attr.FitType);
        return ApiStatus_BadAttributes;
    }
    if (int status = BasicFunction_ToCore(&f.attr.BasicFunc, 0.0, D, f.attr.PolyDegree, &f.kernel, reporter))
        return status;
    if (int status = Dim<D>::CheckList(points, set, reporter)) return status;
    f.N = points->Count;
    return PrepareInitial<D>(f);
}

template <int D>
int Fit(typename Dim<D>::Solution* solution, typename Dim<D>::List* points, int32_t set, double accuracy,
        uint32_t memory, FitAttributes* attributes, Reporter* reporter) {
    OperationFrame_Begin(reporter, Dim<D>::kOperation);
    FitRun<D> f;
    if (int status = Begin<D>(f, solution, points, set, accuracy, memory, attributes, reporter))
        return OperationFrame_Refuse(reporter, status);
    if (int status = PrepareAccuracy<D>(f)) {
        Mem_Free(f.accuracyVector);
        return OperationFrame_Refuse(reporter, status);
    }
    PrintSettings<D>(f, false, nullptr);
    WarnNoFastMethod(f.kernel.Type, D, reporter);
    if (f.attr.FitType == FitType_CentreReduction && f.N < 100) {
        Reporter_Warning(reporter, "Centre reduction not supported for fewer than %d points.  Doing a direct fit.",
                         100);
        f.attr.FitType = FitType_Direct;
        if (attributes) attributes->FitType = FitType_Direct;
    }
    if (int status = PreparePoints<D>(f, f.attr.CentreOnOrigin != 0)) return Finish<D>(f, status);
    switch (f.attr.FitType) {
        case FitType_Direct:
            if (int status = FitAllCentres<D>(f, false)) return Finish<D>(f, status);
            break;
        case FitType_CentreReduction:
            FitReduced<D>(f);
            break;
        case FitType_ErrorBar:
            FitErrorBar<D>(f, f.accuracyVector, nullptr, nullptr, false);
            break;
        default:
            if (int status = FitAllCentres<D>(f, true)) return Finish<D>(f, status);
            break;
    }
    if (f.memoryKnown && Speaks(reporter, 5)) {
        Reporter_Value(reporter, "Min memory required", "%.0fMb", f.minMemory);
        Reporter_Value(reporter, "Max memory desired", "%.0fMb", f.maxMemory);
    }
    Complete<D>(f, f.attr.FitType);
    DefaultEvalAccuracy<D>(f, false);
    return Finish<D>(f, 0);
}

// The bound arrays copied and cleaned, or the accuracy's error.
template <int D>
int PrepareBounds(FitRun<D>& f, double** upper, double** lower) {
    const double* u = Dim<D>::Upper(f.points, f.set);
    const double* l = Dim<D>::Lower(f.points, f.set);
    if (!u && !l) u = l = Dim<D>::Accuracy(f.points, f.set);
    const struct {
        const double* given;
        double** copy;
        const char* name;
        const char* failure;
    } bounds[] = {{l, lower, "Lower error bar", "Memory allocation for Lower error bar vector failed."},
                  {u, upper, "Upper error bar", "Memory allocation for Upper error bar vector failed."}};
    for (const auto& b : bounds) {
        if (!b.given) continue;
        *b.copy = Mem_AllocDoubles(f.N);
        if (!*b.copy) {
            Reporter_Error(f.reporter, "%s", b.failure);
            return ApiStatus_NoMemory;
        }
        std::memcpy(*b.copy, b.given, sizeof(double) * static_cast<std::size_t>(f.N));
        if (ReplaceBadValues(f.N, *b.copy, b.name, f.accuracy, f.reporter) != 0) return ApiStatus_NegativeDistance;
    }
    if (!u && !l && !(f.accuracy > 0.0)) {
        Reporter_Error(f.reporter, "Accuracy argument is negative or zero & Lower & Upper bounds NULL: %g", f.accuracy);
        return ApiStatus_NegativeDistance;
    }
    return 0;
}

template <int D>
int Bounded(typename Dim<D>::Solution* solution, typename Dim<D>::List* points, int32_t set, double accuracy,
            const int32_t* boundTypes, uint32_t memory, FitAttributes* attributes, Reporter* reporter) {
    OperationFrame_Begin(reporter, Dim<D>::kOperation);
    FitRun<D> f;
    if (attributes && attributes->FitType != FitType_ErrorBar) {
        // The bounded fit is always an error-bar fit: the fit type of the
        // attributes is not its to choose.
        FitAttributes copy = *attributes;
        copy.FitType = FitType_ErrorBar;
        if (int status = Begin<D>(f, solution, points, set, accuracy, memory, &copy, reporter))
            return OperationFrame_Refuse(reporter, status);
        f.callerAttr = attributes;
    } else if (int status = Begin<D>(f, solution, points, set, accuracy, memory, attributes, reporter)) {
        return OperationFrame_Refuse(reporter, status);
    }
    f.attr.FitType = FitType_ErrorBar;
    double* upper = nullptr;
    double* lower = nullptr;
    int status = PrepareBounds<D>(f, &upper, &lower);
    if (status == 0) {
        PrintSettings<D>(f, true, boundTypes);
        WarnNoFastMethod(f.kernel.Type, D, reporter);
        status = PreparePoints<D>(f, false);
    }
    if (status == 0) {
        FitErrorBar<D>(f, upper, lower, boundTypes, true);
        if (f.memoryKnown && Speaks(reporter, 5)) {
            Reporter_Value(reporter, "Min memory required", "%.0fMb", f.minMemory);
            Reporter_Value(reporter, "Max memory desired", "%.0fMb", f.maxMemory);
        }
        Complete<D>(f, FitType_ErrorBar);
        DefaultEvalAccuracy<D>(f, true);
    }
    Mem_Free(upper);
    Mem_Free(lower);
    return Finish<D>(f, status);
}

}  // namespace

int Selvane_Fit3(Solution3* solution, PointList3* points, int32_t set, double accuracy, uint32_t memory,
                 FitAttributes* attributes, Reporter* reporter) {
    return Fit<3>(solution, points, set, accuracy, memory, attributes, reporter);
}

int Selvane_Fit2(Solution2* solution, PointList2* points, int32_t set, double accuracy, uint32_t memory,
                 FitAttributes* attributes, Reporter* reporter) {
    return Fit<2>(solution, points, set, accuracy, memory, attributes, reporter);
}

int FitBounded3(Solution3* solution, PointList3* points, int32_t set, double accuracy, const int32_t* boundTypes,
                uint32_t memory, FitAttributes* attributes, Reporter* reporter) {
    return Bounded<3>(solution, points, set, accuracy, boundTypes, memory, attributes, reporter);
}

int FitBounded2(Solution2* solution, PointList2* points, int32_t set, double accuracy, const int32_t* boundTypes,
                uint32_t memory, FitAttributes* attributes, Reporter* reporter) {
    return Bounded<2>(solution, points, set, accuracy, boundTypes, memory, attributes, reporter);
}

int Fit3_SetAllCentres(Solution3* solution, int32_t N, double* const* points, const double* accuracyVector,
                       double accuracy, const BasicFunctionKernel* kernel, int32_t initial, Reporter* reporter,
                       CoreReporter* core, double*** centreRows, double* fitAccuracy) {
    return SetAllCentres<3>(solution, N, points, accuracyVector, accuracy, kernel, initial, reporter, core, centreRows,
                            fitAccuracy);
}

int Fit2_SetAllCentres(Solution2* solution, int32_t N, double* const* points, const double* accuracyVector,
                       double accuracy, const BasicFunctionKernel* kernel, int32_t initial, Reporter* reporter,
                       CoreReporter* core, double*** centreRows, double* fitAccuracy) {
    return SetAllCentres<2>(solution, N, points, accuracyVector, accuracy, kernel, initial, reporter, core, centreRows,
                            fitAccuracy);
}

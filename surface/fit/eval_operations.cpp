#include "surface/fit/eval_operations.h"

#include <cstring>

#include "surface/frame/core_reporter.h"
#include "surface/frame/row_pointers.h"
#include "surface/frame/operation_frame.h"
#include "surface/frame/point_list.h"
#include "surface/frame/reporter.h"
#include "surface/frame/solution.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"
#include "surface/io/grid.h"

namespace {

// What differs between the 2D and the 3D operations.
template <int D>
struct Dim;

template <>
struct Dim<3> {
    using Solution = Solution3;
    using List = PointList3;
    using Grid = Grid3;
    static constexpr int32_t kPointOp = 10;
    static constexpr int32_t kGridOp = 12;
    static int Check(const Solution* s, Reporter* r) { return Solution3_Check(s, r); }
    static int Rows(double*** t, double* a, int32_t n) { return RowPointers_Make3(t, a, n); }
    static int CheckList(const List* l, int32_t set, Reporter* r) {
        return PointList3_CheckAlt(l, set, "Input", 1, r, 0, 0, 0, 0, 0);
    }
    static int SetFields(List* l, int32_t set, int32_t g) {
        return PointList3_SetFields(l, set, 1, 0, 0, 0, g ? 1 : 0);
    }
    static double* Values(const List* l, int32_t set) { return PointList3_GetValue(l, set); }
    static int Views(int32_t set, List* l, Reporter* r, double*** a, double*** b) {
        return PointList3_RowViews(set, l, r, a, b);
    }
    static void FreeViews(const List* l, double** a, double** b) { PointList3_FreeRowViews(l, a, b); }
    static int Workspace(EvalWorkspace** w, const Solution* s, const BasicFunctionKernel* k, double acc, double*** c,
                         Reporter* r) {
        return CheckEvalWorkspace3(w, s, k, acc, c, r);
    }
    static int Resolve(const double* sp, const int32_t* sz, const double* mn, const double* mx, Grid* g, Reporter* r) {
        return Grid3_ResolveSpec(sp, sz, mn, mx, g, r);
    }
    static int CheckSize(Grid* g, const int32_t* size, int32_t gradient) { return Grid3_CheckSize(g, size, gradient); }
    static void VectorLine(Reporter* r, const char* label, const double* v) {
        Reporter_Value(r, label, "% g % g % g", v[0], v[1], v[2]);
    }
    static void SizeLine(Reporter* r, const int32_t* v) {
        Reporter_Value(r, "Grid Size", "%d %d %d", v[0], v[1], v[2]);
    }
};

template <>
struct Dim<2> {
    using Solution = Solution2;
    using List = PointList2;
    using Grid = Grid2;
    static constexpr int32_t kPointOp = 4;
    static constexpr int32_t kGridOp = 6;
    static int Check(const Solution* s, Reporter* r) { return Solution2_Check(s, r); }
    static int Rows(double*** t, double* a, int32_t n) { return RowPointers_Make2(t, a, n); }
    static int CheckList(const List* l, int32_t set, Reporter* r) {
        return PointList2_CheckAlt(l, set, "Input", 1, r, 0, 0, 0, 0, 0);
    }
    static int SetFields(List* l, int32_t set, int32_t g) {
        return PointList2_SetFields(l, set, 1, 0, 0, 0, g ? 1 : 0);
    }
    static double* Values(const List* l, int32_t set) { return PointList2_GetValue(l, set); }
    static int Views(int32_t set, List* l, Reporter* r, double*** a, double*** b) {
        return PointList2_RowViews(set, l, r, a, b);
    }
    static void FreeViews(const List* l, double** a, double** b) { PointList2_FreeRowViews(l, a, b); }
    static int Workspace(EvalWorkspace** w, const Solution* s, const BasicFunctionKernel* k, double acc, double*** c,
                         Reporter* r) {
        return CheckEvalWorkspace2(w, s, k, acc, c, r);
    }
    static int Resolve(const double* sp, const int32_t* sz, const double* mn, const double* mx, Grid* g, Reporter* r) {
        return Grid2_ResolveSpec(sp, sz, mn, mx, g, r);
    }
    static int CheckSize(Grid* g, const int32_t* size, int32_t gradient) { return Grid2_CheckSize(g, size, gradient); }
    static void VectorLine(Reporter* r, const char* label, const double* v) {
        Reporter_Value(r, label, "% g % g", v[0], v[1]);
    }
    static void SizeLine(Reporter* r, const int32_t* v) { Reporter_Value(r, "Grid Size", "%d %d", v[0], v[1]); }
};

bool Speaks(const Reporter* r, int32_t level) {
    return r != nullptr && r->callback != nullptr && r->maximumLevel >= level;
}

// A fast method exists for values: type 0 in 2D and 3D, types 1 and 2 in 3D.
bool FastValues(int32_t type, int32_t d) { return type == 0 || ((type == 1 || type == 2) && d == 3); }
// For gradients only in 3D, types 0, 1 and 2.
bool FastGradients(int32_t type, int32_t d) { return d == 3 && type >= 0 && type <= 2; }

void Warn(int32_t type, int32_t d, bool fast, const char* text, Reporter* reporter) {
    if (d != 2 && d != 3) {
        Reporter_Warning(reporter, "%s", text);
        return;
    }
    if (type > 5 || type < 0 || fast) return;
    Reporter_Warning(reporter, "%s", text);
}

template <int D, class Solution>
int CheckWorkspace(EvalWorkspace** ref, const Solution* solution, const BasicFunctionKernel* kernel, double accuracy,
                   double*** centreRows, Reporter* reporter) {
    EvalWorkspace* w = *ref;
    bool needTable = false;
    if (w == nullptr) {
        Mem_TrackBegin();
        w = static_cast<EvalWorkspace*>(Mem_Calloc(1, sizeof(EvalWorkspace)));
        if (w == nullptr) {
            Mem_TrackEnd();
            CoreStatus_Report(reporter, CoreStatus_NoMemory);
            return ApiStatus_NoMemory;
        }
        *ref = w;
        needTable = true;
    } else if (w->Solution != solution || w->CentreCount != solution->CentreCount || w->CentreRows == nullptr ||
               (solution->CentreCount > 0 && w->CentreRows[0] != solution->Centres) ||
               (w->Rapid.Centres != nullptr && w->Rapid.Kernel.Dim != D)) {
        Reporter_Warning(reporter, "Workspace does not match RBF. Discarding.");
        RapidEval_ClearWorkspace(&w->Rapid);
        Mem_Free(w->CentreRows);
        w->CentreRows = nullptr;
        needTable = true;
    } else if (w->Rapid.Centres != nullptr &&
               (w->Rapid.Kernel.Type != kernel->Type || w->Rapid.Kernel.Exponent != kernel->Exponent ||
                w->Rapid.Kernel.Param != kernel->Param)) {
        Reporter_Warning(reporter, "Workspace does not match basic function. Discarding.");
        RapidEval_ClearWorkspace(&w->Rapid);
    } else if (w->Rapid.Centres != nullptr && w->Rapid.Accuracy > accuracy) {
        Reporter_Warning(reporter, "Workspace does not provide sufficient accuracy. Discarding.");
        RapidEval_ClearWorkspace(&w->Rapid);
    }
    if (needTable) {
        w->Solution = solution;
        w->Dimension = D;
        w->CentreCount = solution->CentreCount;
        if (Dim<D>::Rows(&w->CentreRows, solution->Centres, solution->CentreCount) != 0) {
            w->CentreRows = nullptr;
            CoreStatus_Report(reporter, CoreStatus_NoMemory);
            return ApiStatus_NoMemory;
        }
    }
    *centreRows = w->CentreRows;
    return 0;
}

// Steps shared by the point and the grid operations: solution check, basic
// function, accuracy. Returns the API status.
template <int D>
int Prepare(const typename Dim<D>::Solution* solution, const EvalAttributes* attributes, EvalAttributes* a,
            BasicFunctionKernel* kernel, RapidEvalOptions* options, double* accuracy, Reporter* reporter) {
    if (!Dim<D>::Check(solution, reporter)) return ApiStatus_BadSolution;
    if (attributes != nullptr)
        *a = *attributes;
    else
        SetGridAttrDefaults(a);
    if (int status = BasicFunction_ToCore(&solution->Basic, a->LowPassFilterWidth > 0.0 ? a->LowPassFilterWidth : 0.0,
                                          D, solution->PolyDegree, kernel, reporter))
        return status;
    if (a->PlanManyPoints) options->NumEvalPoints = 1000000;
    *accuracy = a->EvalAccuracy > 0.0 ? a->EvalAccuracy : solution->DefaultEvalAccuracy;
    if (!(*accuracy > 0.0)) {
        Reporter_Error(reporter, "Invalid default accuracy. Positive accuracy argument must be given");
        return ApiStatus_NegativeDistance;
    }
    return 0;
}

// The caller's workspace, or a local one released at the end.
struct WorkspaceHold {
    EvalWorkspace* local = nullptr;
    EvalWorkspace** ref = nullptr;
    explicit WorkspaceHold(EvalWorkspace** given) : ref(given != nullptr ? given : &local) {}
    ~WorkspaceHold() { EvalWorkspace_Free(&local); }
};

template <int D>
int PointEval(const typename Dim<D>::Solution* solution, const EvalAttributes* attributes, EvalWorkspace** workspace,
              typename Dim<D>::List* points, int32_t set, int32_t gradient, Reporter* reporter) {
    OperationFrame_Begin(reporter, Dim<D>::kPointOp);
    RapidEvalOptions options;
    RapidEval_DefaultOptions(&options);
    if (int status = Dim<D>::CheckList(points, set, reporter)) return OperationFrame_Refuse(reporter, status);
    EvalAttributes a;
    BasicFunctionKernel kernel;
    double accuracy = 0.0;
    if (int status = Prepare<D>(solution, attributes, &a, &kernel, &options, &accuracy, reporter))
        return OperationFrame_Refuse(reporter, status);
    const bool passed = workspace != nullptr && *workspace != nullptr;
    if (Speaks(reporter, 5)) {
        Reporter_Value(reporter, "Number of RBF Centres", "%d", solution->CentreCount);
        Reporter_Value(reporter, "Using Passed Workspace", "%s", passed ? "Yes" : "No");
        Reporter_Value(reporter, "Number of Eval Points", "%d", points->Count);
        Reporter_Value(reporter, "Evaluation Accuracy", "%g", accuracy);
        if (a.LowPassFilterWidth > 0.0) Reporter_Value(reporter, "Low Pass Filter Width", "%g", a.LowPassFilterWidth);
    }
    if (gradient)
        WarnNoFastGradient(kernel.Type, D, reporter);
    else
        WarnNoFastMethod(kernel.Type, D, reporter);
    WorkspaceHold hold(workspace);
    double** centres = nullptr;
    if (int status = Dim<D>::Workspace(hold.ref, solution, &kernel, accuracy, &centres, reporter))
        return OperationFrame_Finish(reporter, status);
    if (int status = Dim<D>::SetFields(points, set, gradient)) {
        Reporter_Error(reporter, "Memory allocation for output RBF values failed.");
        return OperationFrame_Finish(reporter, status);
    }
    double** rows = nullptr;
    double** gradients = nullptr;
    if (int status = Dim<D>::Views(set, points, reporter, &rows, gradient ? &gradients : nullptr))
        return OperationFrame_Finish(reporter, status);
    CoreReporter core;
    OperationFrame_CoreReporter(&core, reporter, 2, 0);
    double* values = Dim<D>::Values(points, set);
    RapidEvalWorkspace* rapid = &(*hold.ref)->Rapid;
    const int32_t n = solution->CentreCount;
    int status = gradient ? RbfEval_PointGradients(n, &kernel, centres, solution->Coeffs, solution->PolyBase, &options,
                                                   rapid, accuracy, points->Count, rows, values, gradients, &core, 1.0)
                          : RbfEval_Points(n, &kernel, centres, solution->Coeffs, solution->PolyBase, &options, rapid,
                                           accuracy, points->Count, rows, values, &core, 1.0);
    CoreStatus_Report(reporter, status);
    Dim<D>::FreeViews(points, rows, gradients);
    return OperationFrame_Finish(reporter, CoreStatus_ToApiStatus(status));
}

template <int D>
int GridEval(const typename Dim<D>::Solution* solution, const EvalAttributes* attributes, EvalWorkspace** workspace,
             typename Dim<D>::Grid* grid, const double* spacing, const int32_t* size, const double* minimum,
             const double* maximum, int32_t gradient, Reporter* reporter) {
    OperationFrame_Begin(reporter, Dim<D>::kGridOp);
    RapidEvalOptions options;
    RapidEval_DefaultOptions(&options);
    EvalAttributes a;
    BasicFunctionKernel kernel;
    double accuracy = 0.0;
    if (int status = Prepare<D>(solution, attributes, &a, &kernel, &options, &accuracy, reporter))
        return OperationFrame_Refuse(reporter, status);
    if (grid == nullptr) {
        Reporter_Error(reporter, "Grid argument was NULL.");
        return OperationFrame_Refuse(reporter, 5);
    }
    if (int status = Dim<D>::Resolve(spacing, size, minimum, maximum, grid, reporter))
        return OperationFrame_Refuse(reporter, status);
    if (int status = Dim<D>::CheckSize(grid, grid->Size, gradient)) return OperationFrame_Refuse(reporter, status);
    if (Speaks(reporter, 5)) {
        Reporter_Value(reporter, "Number of RBF Centres", "%d", solution->CentreCount);
        Reporter_Value(reporter, "Using Passed Workspace", "%s",
                       workspace != nullptr && *workspace != nullptr ? "Yes" : "No");
        Reporter_Value(reporter, "Evaluation Accuracy", "%g", accuracy);
        if (a.LowPassFilterWidth > 0.0) Reporter_Value(reporter, "Low Pass Filter Width", "%g", a.LowPassFilterWidth);
        Dim<D>::VectorLine(reporter, "Grid Min", grid->Min);
        Dim<D>::VectorLine(reporter, "Grid Max", grid->Max);
        Dim<D>::VectorLine(reporter, "Grid Spacing", grid->Spacing);
        Dim<D>::SizeLine(reporter, grid->Size);
    }
    if (gradient)
        WarnNoFastGradient(kernel.Type, D, reporter);
    else
        WarnNoFastMethod(kernel.Type, D, reporter);
    WorkspaceHold hold(workspace);
    double** centres = nullptr;
    if (int status = Dim<D>::Workspace(hold.ref, solution, &kernel, accuracy, &centres, reporter))
        return OperationFrame_Finish(reporter, status);
    CoreReporter core;
    OperationFrame_CoreReporter(&core, reporter, 2, 0);
    double** gradients = nullptr;
    int64_t nodes = 1;
    for (int k = 0; k < D; ++k) nodes *= grid->Size[k];
    if (gradient && RowPointers_MakeStrided(&gradients, grid->Gradient, static_cast<int32_t>(nodes), D) != 0) {
        Reporter_Error(reporter, "Memory allocation failed converting gradient.");
        return OperationFrame_Finish(reporter, 2);
    }
    RapidEvalWorkspace* rapid = &(*hold.ref)->Rapid;
    const int32_t n = solution->CentreCount;
    int status = gradient ? RbfEval_GridGradients(n, &kernel, centres, solution->Coeffs, solution->PolyBase, &options,
                                                  rapid, accuracy, grid->Min, grid->Spacing, grid->Size, grid->Value,
                                                  gradients, &core, 1.0)
                          : RbfEval_Grid(n, &kernel, centres, solution->Coeffs, solution->PolyBase, &options, rapid,
                                         accuracy, grid->Min, grid->Spacing, grid->Size, grid->Value, &core, 1.0);
    CoreStatus_Report(reporter, status);
    Mem_Free(gradients);
    return OperationFrame_Finish(reporter, CoreStatus_ToApiStatus(status));
}

template <class List>
int RowViews(int32_t set, List* points, Reporter* reporter, double*** locationRows, double*** gradientRows,
             double* gradient, int (*make)(double***, double*, int32_t)) {
    if (points->Count == 1) {
        // The record's first field is its Location reference: a table of one.
        *locationRows = &points->Location;
        if (gradientRows != nullptr) *gradientRows = set < 0 ? &points->Gradient : &points->Alt[set].Gradient;
        return 0;
    }
    *locationRows = nullptr;
    if (gradientRows != nullptr) *gradientRows = nullptr;
    if (make(locationRows, points->Location, points->Count) != 0 ||
        (gradientRows != nullptr && make(gradientRows, gradient, points->Count) != 0)) {
        Mem_Free(*locationRows);
        *locationRows = nullptr;
        CoreStatus_Report(reporter, CoreStatus_NoMemory);
        return ApiStatus_NoMemory;
    }
    return 0;
}

}  // namespace

EvalAttributes* SetGridAttrDefaults(EvalAttributes* attributes) {
    if (attributes == nullptr) return nullptr;
    attributes->EvalAccuracy = -1.0;
    attributes->LowPassFilterWidth = 0.0;
    attributes->PlanManyPoints = 0;
    return attributes;
}

int CheckEvalWorkspace3(EvalWorkspace** workspace, const Solution3* solution, const BasicFunctionKernel* kernel,
                        double accuracy, double*** centreRows, Reporter* reporter) {
    return CheckWorkspace<3>(workspace, solution, kernel, accuracy, centreRows, reporter);
}

int CheckEvalWorkspace2(EvalWorkspace** workspace, const Solution2* solution, const BasicFunctionKernel* kernel,
                        double accuracy, double*** centreRows, Reporter* reporter) {
    return CheckWorkspace<2>(workspace, solution, kernel, accuracy, centreRows, reporter);
}

void EvalWorkspace_Free(EvalWorkspace** workspace) {
    if (workspace == nullptr || *workspace == nullptr) return;
    EvalWorkspace* w = *workspace;
    RapidEval_ClearWorkspace(&w->Rapid);
    Mem_Free(w->CentreRows);
    Mem_Free(w);
    // Closes the tracking level the workspace opened when it was made.
    Mem_TrackEnd();
    *workspace = nullptr;
}

void WarnNoFastMethod(int32_t type, int32_t dimension, Reporter* reporter) {
    Warn(type, dimension, FastValues(type, dimension),
         "No fast methods for specified basic function.  Order N^2 work required", reporter);
}

void WarnNoFastGradient(int32_t type, int32_t dimension, Reporter* reporter) {
    Warn(type, dimension, FastGradients(type, dimension),
         "No fast gradient methods for specified basic function.  Order N^2 work required", reporter);
}

int PointList3_RowViews(int32_t set, PointList3* points, Reporter* reporter, double*** locationRows,
                        double*** gradientRows) {
    return RowViews(set, points, reporter, locationRows, gradientRows, PointList3_GetGradient(points, set),
                    &RowPointers_Make3);
}

int PointList2_RowViews(int32_t set, PointList2* points, Reporter* reporter, double*** locationRows,
                        double*** gradientRows) {
    return RowViews(set, points, reporter, locationRows, gradientRows, PointList2_GetGradient(points, set),
                    &RowPointers_Make2);
}

void PointList3_FreeRowViews(const PointList3* points, double** locationRows, double** gradientRows) {
    if (points->Count == 1) return;
    Mem_Free(locationRows);
    Mem_Free(gradientRows);
}

void PointList2_FreeRowViews(const PointList2* points, double** locationRows, double** gradientRows) {
    if (points->Count == 1) return;
    Mem_Free(locationRows);
    Mem_Free(gradientRows);
}

int Selvane_PointEval3(const Solution3* solution, const EvalAttributes* attributes, EvalWorkspace** workspace,
                       PointList3* points, int32_t set, int32_t gradient, Reporter* reporter) {
    return PointEval<3>(solution, attributes, workspace, points, set, gradient, reporter);
}

int Selvane_PointEval2(const Solution2* solution, const EvalAttributes* attributes, EvalWorkspace** workspace,
                       PointList2* points, int32_t set, int32_t gradient, Reporter* reporter) {
    return PointEval<2>(solution, attributes, workspace, points, set, gradient, reporter);
}

int Selvane_GridEval3(const Solution3* solution, const EvalAttributes* attributes, EvalWorkspace** workspace,
                      Grid3* grid, const double* spacing, const int32_t* size, const double* minimum,
                      const double* maximum, int32_t gradient, Reporter* reporter) {
    return GridEval<3>(solution, attributes, workspace, grid, spacing, size, minimum, maximum, gradient, reporter);
}

int Selvane_GridEval2(const Solution2* solution, const EvalAttributes* attributes, EvalWorkspace** workspace,
                      Grid2* grid, const double* spacing, const int32_t* size, const double* minimum,
                      const double* maximum, int32_t gradient, Reporter* reporter) {
    return GridEval<2>(solution, attributes, workspace, grid, spacing, size, minimum, maximum, gradient, reporter);
}

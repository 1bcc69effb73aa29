// The front's requests: values and gradients at points and on grids, and the
// product at the centres. Every request runs the same steps (rapid_eval.h);
// only the direct kernel operation, the polynomial part and the evaluator
// request differ.
#include <cstring>

#include "surface/frame/core_reporter.h"
#include "surface/fit/poly_eval.h"
#include "surface/fit/poly_terms.h"
#include "surface/fit/rapid_eval.h"
#include "surface/fit/rapid_evaluator.h"
#include "surface/frame/row_pointers.h"
#include "surface/frame/solution.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"

namespace {

struct Request {
    RapidEvalRequest r;
    const double* polyShift;
    const RapidEvalOptions* options;
    RapidEvalWorkspace* workspace;
    const CoreReporter* reporter;
    double progressEnd;
};

bool Gradient(int32_t kind) { return kind == kRapidPointGradients || kind == kRapidGridGradients; }
bool GridKind(int32_t kind) { return kind == kRapidGrid || kind == kRapidGridGradients; }

int Refuse(const CoreReporter* reporter, const char* text) {
    if (CoreReporter_Speaks(reporter, 1)) CoreReporter_Error(reporter, "%s", text);
    return CoreStatus_InvalidInput;
}

int CheckRequest(const RapidEvalRequest& r, const CoreReporter* reporter) {
    if (GridKind(r.Kind)) {
        if (r.Base == nullptr || r.Spacing == nullptr || r.Size == nullptr)
            return Refuse(reporter, "One of Base, Spacing or Size is NULL");
        if (r.Values == nullptr || (r.Kind == kRapidGridGradients && r.Gradients == nullptr))
            return Refuse(reporter,
                          r.Kind == kRapidGrid ? "Values argument is NULL" : "Values or Gradients argument is NULL");
        return 0;
    }
    if (r.Kind != kRapidProduct && (r.M <= 0 || r.Points == nullptr))
        return Refuse(reporter, "Invalid evaluation points");
    if (r.Values == nullptr || (r.Kind == kRapidPointGradients && r.Gradients == nullptr))
        return Refuse(reporter, r.Kind == kRapidPointGradients ? "Values or Gradient argument is NULL"
                                                               : "Values argument is NULL");
    return 0;
}

int32_t GridNodes(const RapidEvalRequest& r) {
    int64_t n = 1;
    for (int k = 0; k < r.Kernel->Dim; ++k) n *= r.Size[k] > 0 ? r.Size[k] : 0;
    return n > INT32_MAX ? INT32_MAX : static_cast<int32_t>(n);
}

// The 2D biharmonic evaluator works inside a box: the caller's, or the
// points' (grid's) own.
void SetBox(const RapidEvalRequest& r, RapidEvalOptions* options, RapidEvalWorkspace* workspace) {
    double* box = workspace->Box;
    if (options->BoundingBox != nullptr) {
        std::memmove(box, options->BoundingBox, 4 * sizeof(double));
    } else if (GridKind(r.Kind)) {
        for (int k = 0; k < 2; ++k) {
            box[k] = r.Base[k];
            box[2 + k] = r.Base[k] + r.Size[k] * r.Spacing[k];
        }
    } else {
        box[0] = box[2] = r.Points[0][0];
        box[1] = box[3] = r.Points[0][1];
        for (int32_t i = 1; i < r.M; ++i)
            for (int k = 0; k < 2; ++k) {
                if (r.Points[i][k] < box[k]) box[k] = r.Points[i][k];
                if (r.Points[i][k] > box[2 + k]) box[2 + k] = r.Points[i][k];
            }
    }
    options->BoundingBox = box;
    workspace->Options.BoundingBox = box;
}

int Direct(const RapidEvalRequest& r, const CoreReporter* reporter, double end) {
    if (CoreReporter_SpeaksIn(reporter, 5, kCategoryFastEvaluation))
        CoreReporter_Info(reporter, "Doing direct evaluation");
    const BasicFunctionKernel* k = r.Kernel;
    switch (r.Kind) {
        case kRapidPoints:
            return k->PointEval(k, r.N, r.Centres, r.Coeffs, r.M, r.Points, r.Values, reporter, end);
        case kRapidPointGradients:
            return k->PointGradient(k, r.N, r.Centres, r.Coeffs, r.M, r.Points, r.Values, r.Gradients, reporter, end);
        case kRapidGrid:
            return k->GridEval(k, r.N, r.Centres, r.Coeffs, r.Base, r.Spacing, r.Size, r.Values, reporter, end);
        case kRapidGridGradients:
            return k->GridGradient(k, r.N, r.Centres, r.Coeffs, r.Base, r.Spacing, r.Size, r.Values, r.Gradients,
                                   reporter, end);
        default:
            return k->Multiply(k, r.N, r.Centres, r.Coeffs, r.Values, reporter, end);
    }
}

// The polynomial's derivative tables of a gradient request, one a dimension,
// built once into the workspace's Scratch for its coefficients. Null when
// there are none to build (degree below 2) or memory runs out: the
// derivatives are then formed without them.
const double* const* DerivativeTables(const RapidEvalRequest& r, RapidEvalWorkspace* ws, const CoreReporter* reporter) {
    const int32_t d = r.Kernel->Dim, degree = r.Kernel->PolyDegree;
    if (!Gradient(r.Kind) || degree < 2) return nullptr;
    const double* c = r.Coeffs + r.N;
    if (ws->Scratch != nullptr && ws->ScratchCoeffs == c) return ws->Scratch;
    RapidEval_FreeScratch(ws);
    const int32_t length = Poly_Binomial(d, degree - 1);
    ws->Scratch = static_cast<double**>(Mem_Calloc(3, sizeof(double*)));
    bool ok = ws->Scratch != nullptr;
    int32_t counts[3];
    for (int32_t k = 0; k < d && ok; ++k) {
        ws->Scratch[k] = Mem_AllocDoubles(length);
        ok = ws->Scratch[k] != nullptr && Poly_DerivDescriptor(d, degree, c, counts, k, ws->Scratch[k]) == 0;
    }
    if (ok) {
        ws->ScratchCoeffs = c;
        return ws->Scratch;
    }
    RapidEval_FreeScratch(ws);
    if (CoreReporter_Speaks(reporter, 2)) CoreReporter_Warning(reporter, "Non-fatal malloc failure");
    return nullptr;
}

// The polynomial part added to the values (and gradients).
int AddPolynomial(const RapidEvalRequest& r, const double* shift, const double* const* tables) {
    const int32_t d = r.Kernel->Dim;
    const int32_t degree = r.Kernel->PolyDegree;
    if (degree < 0) return 0;
    const double* c = r.Coeffs + r.N;
    if (!GridKind(r.Kind)) {
        const double* const* points = r.Kind == kRapidProduct ? r.Centres : r.Points;
        Poly_Eval(d, degree, c, shift, r.M, points, r.Values);
        if (r.Kind == kRapidPointGradients)
            return Poly_Derivatives(d, degree, c, tables, shift, r.M, points, r.Gradients);
        return 0;
    }
    if (int status = Poly_GridEval(d, degree, c, shift, r.Base, r.Spacing, r.Size, r.Values)) return status;
    if (r.Kind != kRapidGridGradients) return 0;
    int32_t at[3] = {0, 0, 0};
    const int32_t nodes = GridNodes(r);
    for (int32_t n = 0; n < nodes; ++n) {
        double p[3] = {0, 0, 0};
        for (int k = 0; k < d; ++k) p[k] = r.Base[k] + at[k] * r.Spacing[k];
        const double* row = p;
        if (int status = Poly_Derivatives(d, degree, c, tables, shift, 1, &row, r.Gradients + n)) return status;
        for (int k = 0; k < d && ++at[k] == r.Size[k]; ++k) at[k] = 0;
    }
    return 0;
}

int Run(Request& q) {
    RapidEvalRequest& r = q.r;
    const CoreReporter* reporter = q.reporter;
    if (int status = RapidEval_CheckArguments(r.N, r.Kernel, r.Centres, r.Coeffs, r.Accuracy, reporter)) return status;
    if (int status = CheckRequest(r, reporter)) return status;
    if (GridKind(r.Kind)) r.M = GridNodes(r);
    if (r.Kind == kRapidProduct) r.M = r.N;
    const bool product = r.Kind == kRapidProduct;
    RapidEvalOptions options = RapidEval_InitOptions(r.N, r.M, r.Kernel, q.options);
    RapidEvalWorkspace local;
    RapidEvalWorkspace* ws = RapidEval_CheckWorkspace(r.Kernel, r.Centres, r.Coeffs, r.Accuracy, &options,
                                                      product ? 1 : 0, product ? 0 : 1, q.workspace, &local, reporter);
    // Expansions already built are cheaper than direct summation.
    bool fast = options.Method == 0 || (!product && ws->State == kRapidExpansions);
    if (!product && r.Kernel->Type == kBasicBiharmonic && r.Kernel->Dim == 2) SetBox(r, &options, ws);
    int64_t bytes = static_cast<int64_t>(Mem_CurrentBytes());
    int status = 0;
    if (fast) {
        status = RapidEval_ChooseMethod(r.N, r.Centres, r.Kernel, &options, Gradient(r.Kind) ? 1 : 0, ws, reporter);
        if (status == 1) status = 0;
        if (status != 0) return RapidEval_Finish(status, ws, &local, bytes, 0);
        // The set-up's memory is the tree's (TreeBytes), not the expansions'.
        bytes = static_cast<int64_t>(Mem_CurrentBytes());
        const RapidEvaluator* e = ws->Evaluator;
        fast = ws->State > kRapidEmpty && e != nullptr && e->Evaluate != nullptr && (e->Requests & (1u << r.Kind));
    }
    if (fast) {
        if (ws->State < kRapidExpansions && ws->Evaluator->BuildExpansions != nullptr)
            status = ws->Evaluator->BuildExpansions(ws, &r, reporter, q.progressEnd);
        if (status == 0) status = ws->Evaluator->Evaluate(ws, &r, reporter, q.progressEnd);
    } else {
        status = Direct(r, reporter, q.progressEnd);
    }
    if (status == 0) status = AddPolynomial(r, q.polyShift, DerivativeTables(r, ws, reporter));
    return RapidEval_Finish(status, ws, &local, bytes, fast ? 1 : 0);
}

Request Make(int32_t kind, int32_t N, const BasicFunctionKernel* kernel, const double* const* centres,
             const double* coeffs, const double* polyShift, const RapidEvalOptions* options,
             RapidEvalWorkspace* workspace, double accuracy, const CoreReporter* reporter, double progressEnd) {
    Request q;
    std::memset(&q, 0, sizeof q);
    q.r.Kind = kind;
    q.r.N = N;
    q.r.Kernel = kernel;
    q.r.Centres = centres;
    q.r.Coeffs = coeffs;
    q.r.Accuracy = accuracy;
    q.polyShift = polyShift;
    q.options = options;
    q.workspace = workspace;
    q.reporter = reporter;
    q.progressEnd = progressEnd;
    return q;
}

}  // namespace

int RbfEval_Points(int32_t N, const BasicFunctionKernel* kernel, const double* const* centres, const double* coeffs,
                   const double* polyShift, const RapidEvalOptions* options, RapidEvalWorkspace* workspace,
                   double accuracy, int32_t M, const double* const* points, double* values,
                   const CoreReporter* reporter, double progressEnd) {
    Request q =
        Make(kRapidPoints, N, kernel, centres, coeffs, polyShift, options, workspace, accuracy, reporter, progressEnd);
    q.r.M = M;
    q.r.Points = points;
    q.r.Values = values;
    return Run(q);
}

int RbfEval_PointGradients(int32_t N, const BasicFunctionKernel* kernel, const double* const* centres,
                           const double* coeffs, const double* polyShift, const RapidEvalOptions* options,
                           RapidEvalWorkspace* workspace, double accuracy, int32_t M, const double* const* points,
                           double* values, double* const* gradients, const CoreReporter* reporter, double progressEnd) {
    Request q = Make(kRapidPointGradients, N, kernel, centres, coeffs, polyShift, options, workspace, accuracy,
                     reporter, progressEnd);
    q.r.M = M;
    q.r.Points = points;
    q.r.Values = values;
    q.r.Gradients = gradients;
    return Run(q);
}

int RbfEval_Grid(int32_t N, const BasicFunctionKernel* kernel, const double* const* centres, const double* coeffs,
                 const double* polyShift, const RapidEvalOptions* options, RapidEvalWorkspace* workspace,
                 double accuracy, const double* base, const double* spacing, const int32_t* size, double* values,
                 const CoreReporter* reporter, double progressEnd) {
    Request q =
        Make(kRapidGrid, N, kernel, centres, coeffs, polyShift, options, workspace, accuracy, reporter, progressEnd);
    q.r.Base = base;
    q.r.Spacing = spacing;
    q.r.Size = size;
    q.r.Values = values;
    return Run(q);
}

int RbfEval_GridGradients(int32_t N, const BasicFunctionKernel* kernel, const double* const* centres,
                          const double* coeffs, const double* polyShift, const RapidEvalOptions* options,
                          RapidEvalWorkspace* workspace, double accuracy, const double* base, const double* spacing,
                          const int32_t* size, double* values, double* const* gradients, const CoreReporter* reporter,
                          double progressEnd) {
    Request q = Make(kRapidGridGradients, N, kernel, centres, coeffs, polyShift, options, workspace, accuracy, reporter,
                     progressEnd);
    q.r.Base = base;
    q.r.Spacing = spacing;
    q.r.Size = size;
    q.r.Values = values;
    q.r.Gradients = gradients;
    return Run(q);
}

int RapidEval_Evaluate(int32_t N, const BasicFunctionKernel* kernel, const double* const* centres, const double* coeffs,
                       const double* polyShift, const RapidEvalOptions* options, RapidEvalWorkspace* workspace,
                       double accuracy, double* result, const CoreReporter* reporter, double progressEnd) {
    Request q =
        Make(kRapidProduct, N, kernel, centres, coeffs, polyShift, options, workspace, accuracy, reporter, progressEnd);
    q.r.Values = result;
    return Run(q);
}

// ---- Solution forms ----

namespace {

struct SolutionView {
    double** centres = nullptr;
    double** own = nullptr;  // rows made for this call alone (no workspace)
    BasicFunctionKernel kernel;
    double accuracy = 0.0;
    ~SolutionView() { Mem_Free(own); }
};

// The row table of the solution's centres: the workspace's own while it was
// made for this solution, so that the workspace's centre identity holds from
// one request to the next; a new one kept with the workspace otherwise (its
// method state, built over the old rows, is discarded first).
int SolutionRows(const Solution3* solution, RapidEvalWorkspace* workspace, SolutionView* view) {
    if (workspace != nullptr && workspace->SolutionRows != nullptr && workspace->SolutionCentres == solution->Centres &&
        workspace->SolutionCount == solution->CentreCount) {
        view->centres = workspace->SolutionRows;
        return 0;
    }
    double** rows = nullptr;
    if (RowPointers_Make3(&rows, solution->Centres, solution->CentreCount) != 0) return CoreStatus_NoMemory;
    view->centres = rows;
    if (workspace == nullptr) {
        view->own = rows;
        return 0;
    }
    RapidEval_DiscardWorkspace(workspace);
    Mem_Free(workspace->SolutionRows);
    workspace->SolutionRows = rows;
    workspace->SolutionCentres = solution->Centres;
    workspace->SolutionCount = solution->CentreCount;
    return 0;
}

int OpenSolution(const Solution3* solution, const RapidEvalOptions* options, bool accuracyRequired,
                 RapidEvalWorkspace* workspace, SolutionView* view, const CoreReporter* reporter) {
    if (solution == nullptr) {
        if (CoreReporter_Speaks(reporter, 1)) CoreReporter_Error(reporter, "Rbf argument is NULL");
        return CoreStatus_NullArgument;
    }
    view->accuracy = options != nullptr && options->Accuracy > 0.0 ? options->Accuracy : solution->DefaultEvalAccuracy;
    if (accuracyRequired && !(view->accuracy > 0.0)) {
        if (CoreReporter_Speaks(reporter, 1))
            CoreReporter_Error(reporter, "Invalid default accuracy. Positive accuracy argument must be given.");
        return CoreStatus_NegativeAccuracy;
    }
    if (int status = BasicFunction_ToCore(&solution->Basic, 0.0, 3, solution->PolyDegree, &view->kernel, nullptr))
        return status;
    return SolutionRows(solution, workspace, view);
}

}  // namespace

int RbfEval_SolutionPoints(const Solution3* solution, const RapidEvalOptions* options, RapidEvalWorkspace* workspace,
                           int32_t M, const double* const* points, double* values, const CoreReporter* reporter,
                           double progressEnd) {
    SolutionView v;
    if (int status = OpenSolution(solution, options, false, workspace, &v, reporter)) return status;
    const int status = RbfEval_Points(solution->CentreCount, &v.kernel, v.centres, solution->Coeffs, solution->PolyBase,
                                      options, workspace, v.accuracy, M, points, values, reporter, progressEnd);
    return status;
}

int RbfEval_SolutionPointGradients(const Solution3* solution, const RapidEvalOptions* options,
                                   RapidEvalWorkspace* workspace, int32_t M, const double* const* points,
                                   double* values, double* const* gradients, const CoreReporter* reporter,
                                   double progressEnd) {
    SolutionView v;
    if (int status = OpenSolution(solution, options, true, workspace, &v, reporter)) return status;
    const int status =
        RbfEval_PointGradients(solution->CentreCount, &v.kernel, v.centres, solution->Coeffs, solution->PolyBase,
                               options, workspace, v.accuracy, M, points, values, gradients, reporter, progressEnd);
    return status;
}

int RbfEval_SolutionGrid(const Solution3* solution, const RapidEvalOptions* options, RapidEvalWorkspace* workspace,
                         const double* base, const double* spacing, const int32_t* size, double* values,
                         const CoreReporter* reporter, double progressEnd) {
    SolutionView v;
    if (int status = OpenSolution(solution, options, true, workspace, &v, reporter)) return status;
    const int status = RbfEval_Grid(solution->CentreCount, &v.kernel, v.centres, solution->Coeffs, solution->PolyBase,
                                    options, workspace, v.accuracy, base, spacing, size, values, reporter, progressEnd);
    return status;
}

int RbfEval_SolutionGridGradients(const Solution3* solution, const RapidEvalOptions* options,
                                  RapidEvalWorkspace* workspace, const double* base, const double* spacing,
                                  const int32_t* size, double* values, double* const* gradients,
                                  const CoreReporter* reporter, double progressEnd) {
    SolutionView v;
    if (int status = OpenSolution(solution, options, true, workspace, &v, reporter)) return status;
    const int status = RbfEval_GridGradients(solution->CentreCount, &v.kernel, v.centres, solution->Coeffs,
                                             solution->PolyBase, options, workspace, v.accuracy, base, spacing, size,
                                             values, gradients, reporter, progressEnd);
    return status;
}

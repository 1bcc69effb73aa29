// The evaluation front: the one door through which the library evaluates a
// fitted function s(x) = Σ cⱼ·φ(|x − xⱼ|) + p(x) at points, on regular grids
// (values, or values with gradients) and as the product A·c at the centres
// that the iterative fitters need.
//
// Each request checks its arguments, completes the options, matches a
// reusable workspace against the request (identity of the centre and
// coefficient arrays, not their contents), chooses a method, runs it, adds
// the polynomial part and keeps or discards the workspace. Fast far-field
// evaluators plug in per kernel type and dimension (rapid_evaluator.h); a
// kernel without one is summed directly with its kernel operations.
//
// Core statuses: 0, 5 invalid input, 10 user abort, 12 no basic function,
// 17 accuracy not positive, 23 a required pointer missing, or what a kernel
// operation or an evaluator returns. The last two arguments of every request
// are the core messenger and the progress value to advance towards.
#ifndef SURFACE_FIT_RAPID_EVAL_H
#define SURFACE_FIT_RAPID_EVAL_H

#include <cstdint>

#include "surface/frame/basic_function.h"

struct CoreReporter;
struct RapidEvaluator;
struct Solution3;

struct RapidEvalOptions {
    int32_t Method;          // -1 choose, 0 fast, 1 direct
    double NumInPanel;       // points per leaf panel; below 1 unset
    int32_t SeriesLength;    // expansion order of the multiquadric family; 0 or less unset
    double* BoundingBox;     // x min, y min, x max, y max (2D biharmonic only), or null
    int32_t StoreTpsValues;  // 2D biharmonic near-field values kept; negative unset
    int32_t TuneSteps;       // products over which the 2D biharmonic evaluator tunes its panels
    int32_t NumEvalPoints;   // positive: replaces the point count in the choices
    double Accuracy;         // positive: replaces the solution's default accuracy
};

enum RapidEvalState : int32_t {
    kRapidEmpty = 0,
    kRapidMethodSet = 1,   // tree built, no expansions
    kRapidExpansions = 2,  // expansions built, reusable
};

struct RapidEvalWorkspace {
    int32_t State;
    int32_t MultiplyOnly;  // 2D biharmonic: built for products only
    BasicFunctionKernel Kernel;
    const double* const* Centres;  // identity of the centre table built for
    const double* Coeffs;          // identity of the coefficients of the expansions
    double Accuracy;               // accuracy of the expansions
    int64_t TreeBytes;             // tracked bytes of the method set-up
    int64_t ExpansionBytes;        // tracked bytes added by evaluations since the last drop
    double Box[4];
    RapidEvalOptions Options;
    double** Scratch;             // polynomial derivative tables of gradient requests
    const double* ScratchCoeffs;  // identity of the coefficients they were built from
    const RapidEvaluator* Evaluator;
    void* MethodState;  // owned by the evaluator
    // The row table of a solution's centres that its solution forms made for
    // this workspace: kept with it, so that the next request on the same
    // solution passes the same table (and the method state never outlives
    // the rows it points into). Freed by RapidEval_ClearWorkspace only.
    double** SolutionRows;
    const double* SolutionCentres;  // identity of the solution's centre array
    int32_t SolutionCount;
};

// ---- Options and choices ----

RapidEvalOptions* RapidEval_DefaultOptions(RapidEvalOptions* options);
// The options of a request of N centres and M points (given: a copy of them).
RapidEvalOptions RapidEval_InitOptions(int32_t N, int32_t M, const BasicFunctionKernel* kernel,
                                       const RapidEvalOptions* given);
double RapidEval_DefaultNumInPanel(const BasicFunctionKernel* kernel, int32_t N, int32_t M);
// 1 direct, 0 fast.
int32_t RapidEval_PreferDirect(const BasicFunctionKernel* kernel, int32_t N, int32_t M);
int RapidEval_CheckArguments(int32_t N, const BasicFunctionKernel* kernel, const double* const* centres,
                             const double* coeffs, double accuracy, const CoreReporter* reporter);

// ---- Workspaces ----

void RapidEval_ZeroWorkspace(RapidEvalWorkspace* workspace);
// Releases the method state and the solution rows and zero-fills (nothing
// for null). Returns 0.
int RapidEval_ClearWorkspace(RapidEvalWorkspace* workspace);
// The same for the method state alone: what a request that finds the
// workspace unfit discards while the solution rows it was given stay in use.
void RapidEval_DiscardWorkspace(RapidEvalWorkspace* workspace);
// Frees the polynomial derivative tables (Scratch).
void RapidEval_FreeScratch(RapidEvalWorkspace* workspace);
// In state 2: drops the expansions, keeps the tree (state 1).
void RapidEval_DiscardExpansions(RapidEvalWorkspace* workspace);
// The workspace a request uses (the local one, zeroed, without a workspace),
// after the mismatch tests that discard all or part of it.
RapidEvalWorkspace* RapidEval_CheckWorkspace(const BasicFunctionKernel* kernel, const double* const* centres,
                                             const double* coeffs, double accuracy, const RapidEvalOptions* options,
                                             int32_t multiplyOnly, int32_t pointRequest, RapidEvalWorkspace* workspace,
                                             RapidEvalWorkspace* local, const CoreReporter* reporter);
// Sets up the fast method when the options ask for one and the workspace is
// empty: 0 (method set, or direct), 1 no fast method (reported, evaluate
// directly), else a failure.
int RapidEval_ChooseMethod(int32_t N, const double* const* centres, const BasicFunctionKernel* kernel,
                           const RapidEvalOptions* options, int32_t gradient, RapidEvalWorkspace* workspace,
                           const CoreReporter* reporter);
int RapidEval_CreateWorkspace(int32_t N, int32_t M, const double* const* centres, const BasicFunctionKernel* kernel,
                              const RapidEvalOptions* options, int32_t multiplyOnly, RapidEvalWorkspace* workspace,
                              const CoreReporter* reporter);
// Bytes the method state holds (0 when empty or without a fast method).
int64_t RapidEval_WorkspaceBytes(int32_t N, const BasicFunctionKernel* kernel, const RapidEvalWorkspace* workspace);
// The end of every evaluation: byte accounting, state after success or
// failure, the local workspace discarded. Returns status.
int RapidEval_Finish(int status, RapidEvalWorkspace* workspace, RapidEvalWorkspace* local, int64_t bytesAtStart,
                     int32_t fastUsed);

// ---- Requests ----

int RbfEval_Points(int32_t N, const BasicFunctionKernel* kernel, const double* const* centres, const double* coeffs,
                   const double* polyShift, const RapidEvalOptions* options, RapidEvalWorkspace* workspace,
                   double accuracy, int32_t M, const double* const* points, double* values,
                   const CoreReporter* reporter, double progressEnd);
int RbfEval_PointGradients(int32_t N, const BasicFunctionKernel* kernel, const double* const* centres,
                           const double* coeffs, const double* polyShift, const RapidEvalOptions* options,
                           RapidEvalWorkspace* workspace, double accuracy, int32_t M, const double* const* points,
                           double* values, double* const* gradients, const CoreReporter* reporter, double progressEnd);
int RbfEval_Grid(int32_t N, const BasicFunctionKernel* kernel, const double* const* centres, const double* coeffs,
                 const double* polyShift, const RapidEvalOptions* options, RapidEvalWorkspace* workspace,
                 double accuracy, const double* base, const double* spacing, const int32_t* size, double* values,
                 const CoreReporter* reporter, double progressEnd);
int RbfEval_GridGradients(int32_t N, const BasicFunctionKernel* kernel, const double* const* centres,
                          const double* coeffs, const double* polyShift, const RapidEvalOptions* options,
                          RapidEvalWorkspace* workspace, double accuracy, const double* base, const double* spacing,
                          const int32_t* size, double* values, double* const* gradients, const CoreReporter* reporter,
                          double progressEnd);
// The product at the centres: result = A·c plus the polynomial.
int RapidEval_Evaluate(int32_t N, const BasicFunctionKernel* kernel, const double* const* centres, const double* coeffs,
                       const double* polyShift, const RapidEvalOptions* options, RapidEvalWorkspace* workspace,
                       double accuracy, double* result, const CoreReporter* reporter, double progressEnd);

// The same requests over a solution: its centres (a row table made for the
// call), coefficients, polynomial base and basic function; the accuracy is
// the options' when positive, else the solution's default.
int RbfEval_SolutionPoints(const Solution3* solution, const RapidEvalOptions* options, RapidEvalWorkspace* workspace,
                           int32_t M, const double* const* points, double* values, const CoreReporter* reporter,
                           double progressEnd);
int RbfEval_SolutionPointGradients(const Solution3* solution, const RapidEvalOptions* options,
                                   RapidEvalWorkspace* workspace, int32_t M, const double* const* points,
                                   double* values, double* const* gradients, const CoreReporter* reporter,
                                   double progressEnd);
int RbfEval_SolutionGrid(const Solution3* solution, const RapidEvalOptions* options, RapidEvalWorkspace* workspace,
                         const double* base, const double* spacing, const int32_t* size, double* values,
                         const CoreReporter* reporter, double progressEnd);
int RbfEval_SolutionGridGradients(const Solution3* solution, const RapidEvalOptions* options,
                                  RapidEvalWorkspace* workspace, const double* base, const double* spacing,
                                  const int32_t* size, double* values, double* const* gradients,
                                  const CoreReporter* reporter, double progressEnd);

#endif

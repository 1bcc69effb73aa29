// The plug-in point of the fast far-field evaluators: one record of
// operations per kernel type and dimension, found by RapidEval_FindEvaluator.
// The front (rapid_eval.h) decides when each operation runs; an evaluator
// keeps its state in the workspace's MethodState and answers only the
// requests it names in Requests. A kernel without an evaluator, or a request
// its evaluator does not serve, is summed directly.
#ifndef SURFACE_FIT_RAPID_EVALUATOR_H
#define SURFACE_FIT_RAPID_EVALUATOR_H

#include <cstdint>

struct BasicFunctionKernel;
struct CoreReporter;
struct RapidEvalOptions;
struct RapidEvalWorkspace;

enum RapidRequestKind : int32_t {
    kRapidPoints = 0,
    kRapidPointGradients = 1,
    kRapidGrid = 2,
    kRapidGridGradients = 3,
    kRapidProduct = 4,
};

// One request as the front hands it on (fields that do not apply are null).
struct RapidEvalRequest {
    int32_t Kind;
    int32_t N;
    const BasicFunctionKernel* Kernel;
    const double* const* Centres;
    const double* Coeffs;  // the N centre coefficients
    double Accuracy;
    int32_t M;                    // points, grid nodes, or N for the product
    const double* const* Points;  // point requests
    const double* Base;           // grid requests
    const double* Spacing;
    const int32_t* Size;
    double* Values;
    double* const* Gradients;  // one row per point or node
};

struct RapidEvaluator {
    const char* Name;
    uint32_t Requests;  // bit (1 << kind) for every kind served
    // Builds the tree (state 0 -> 1). Core status.
    int (*Setup)(RapidEvalWorkspace* workspace, int32_t N, const double* const* centres,
                 const BasicFunctionKernel* kernel, const RapidEvalOptions* options, const CoreReporter* reporter);
    // Builds the expansions for the request's coefficients; null when the
    // evaluator builds them inside Evaluate.
    int (*BuildExpansions)(RapidEvalWorkspace* workspace, const RapidEvalRequest* request, const CoreReporter* reporter,
                           double progressEnd);
    // Sums the kernel part only; the front adds the polynomial.
    int (*Evaluate)(RapidEvalWorkspace* workspace, const RapidEvalRequest* request, const CoreReporter* reporter,
                    double progressEnd);
    void (*DiscardExpansions)(RapidEvalWorkspace* workspace);  // null: nothing to drop
    void (*Release)(RapidEvalWorkspace* workspace);            // frees MethodState
    int64_t (*Bytes)(int32_t N, const BasicFunctionKernel* kernel, const RapidEvalWorkspace* workspace);
};

// The evaluator for a kernel type in a dimension, or null.
const RapidEvaluator* RapidEval_FindEvaluator(int32_t type, int32_t dimension);
// The evaluators built into the library (null for a kernel without one).
const RapidEvaluator* RapidEval_BuiltInEvaluator(int32_t type, int32_t dimension);
// Tests plug an evaluator in over the built-in one (null restores it).
void RapidEval_SetEvaluatorForTesting(int32_t type, int32_t dimension, const RapidEvaluator* evaluator);

#endif

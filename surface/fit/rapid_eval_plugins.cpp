// The fast evaluators as the front sees them: one operations record per
// kernel type and dimension.
#include <cstdint>

#include "surface/fit/rapid_biphi3.h"
#include "surface/fit/rapid_eval.h"
#include "surface/fit/rapid_evaluator.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"

namespace {

RapidBiphi3Workspace* Biphi3(RapidEvalWorkspace* w) { return static_cast<RapidBiphi3Workspace*>(w->MethodState); }

int32_t Panel(const RapidEvalWorkspace* w) {
    const double n = w->Options.NumInPanel;
    return n < 1.0 ? 1 : static_cast<int32_t>(n);
}

int Biphi3Setup(RapidEvalWorkspace* w, int32_t N, const double* const* centres, const BasicFunctionKernel*,
                const RapidEvalOptions* options, const CoreReporter*) {
    auto* state = static_cast<RapidBiphi3Workspace*>(Mem_Calloc(1, sizeof(RapidBiphi3Workspace)));
    if (state == nullptr) return CoreStatus_NoMemory;
    w->MethodState = state;
    const double n = options->NumInPanel;
    return RapidBiphi3_BuildTree(N, 3, centres, n < 1.0 ? 1 : static_cast<int32_t>(n), state);
}

int Biphi3Evaluate(RapidEvalWorkspace* w, const RapidEvalRequest* r, const CoreReporter* reporter, double end) {
    RapidBiphi3Workspace* s = Biphi3(w);
    switch (r->Kind) {
        case kRapidPoints:
        case kRapidPointGradients:
            return RapidBiphi3_PointEval(r->N, 3, r->Centres, r->Coeffs, r->M, r->Points, Panel(w), r->Accuracy,
                                         r->Kind == kRapidPointGradients ? 1 : 0, s, r->Values, r->Gradients, reporter,
                                         end);
        case kRapidGrid:
        case kRapidGridGradients:
            return RapidBiphi3_GridEval(r->N, 3, r->Centres, r->Coeffs, r->Base, r->Spacing, r->Size, Panel(w),
                                        r->Accuracy, r->Kind == kRapidGridGradients ? 1 : 0, s, r->Values, r->Gradients,
                                        reporter, end);
        default:
            return RapidBiphi3_Multiply(r->N, 3, r->Centres, r->Coeffs, Panel(w), r->Accuracy, s, r->Values, reporter);
    }
}

void Biphi3Discard(RapidEvalWorkspace* w) {
    if (w->MethodState != nullptr) RapidBiphi3_FreeExpansions(Biphi3(w));
}

void Biphi3Release(RapidEvalWorkspace* w) {
    if (w->MethodState == nullptr) return;
    RapidBiphi3_Free(Biphi3(w));
    Mem_Free(w->MethodState);
    w->MethodState = nullptr;
}

int64_t Biphi3Bytes(int32_t N, const BasicFunctionKernel*, const RapidEvalWorkspace* w) {
    return w->MethodState != nullptr
               ? RapidBiphi3_Bytes(N, Panel(w), static_cast<const RapidBiphi3Workspace*>(w->MethodState))
               : 0;
}

const RapidEvaluator kBiphi3 = {"RapidBiphi3",   0x1F,           &Biphi3Setup,   nullptr,
                                &Biphi3Evaluate, &Biphi3Discard, &Biphi3Release, &Biphi3Bytes};

}  // namespace

const RapidEvaluator* RapidEval_BuiltInEvaluator(int32_t type, int32_t dimension) {
    if (type == kBasicBiharmonic && dimension == 3) return &kBiphi3;
    return nullptr;
}

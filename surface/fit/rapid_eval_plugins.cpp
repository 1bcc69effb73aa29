// The fast evaluators as the front sees them: one operations record per
// kernel type and dimension (rapid_evaluator.h). Each keeps its own
// workspace as the front's MethodState.
#include <cmath>

#include "surface/fit/rapid_biharm2.h"
#include "surface/fit/rapid_biphi3.h"
#include "surface/fit/rapid_eval.h"
#include "surface/fit/rapid_evaluator.h"
#include "surface/fit/rapid_mq3.h"
#include "surface/fit/rapid_spherical3.h"
#include "surface/frame/core_reporter.h"
#include "surface/frame/tracked_memory.h"
#include "surface/frame/status_codes.h"

namespace {

constexpr uint32_t kPointKinds = (1u << kRapidPoints) | (1u << kRapidGrid);
constexpr uint32_t kGradientKinds = (1u << kRapidPointGradients) | (1u << kRapidGridGradients);
constexpr uint32_t kProduct = 1u << kRapidProduct;

bool Gradient(const RapidEvalRequest* r) { return r->Kind == kRapidPointGradients || r->Kind == kRapidGridGradients; }
bool Grid(const RapidEvalRequest* r) { return r->Kind == kRapidGrid || r->Kind == kRapidGridGradients; }

template <typename State>
State* StateOf(RapidEvalWorkspace* ws) {
    return static_cast<State*>(ws->MethodState);
}

template <typename State>
int NewState(RapidEvalWorkspace* ws) {
    if (!ws->MethodState) ws->MethodState = Mem_Calloc(1, sizeof(State));
    return ws->MethodState ? 0 : 2;
}

int32_t PanelSize(const RapidEvalOptions* o) { return o->NumInPanel >= 1.0 ? static_cast<int32_t>(o->NumInPanel) : 1; }

// ---- 3D biharmonic ----

int Biphi3Setup(RapidEvalWorkspace* ws, int32_t N, const double* const* centres, const BasicFunctionKernel*,
                const RapidEvalOptions* options, const CoreReporter*) {
    if (NewState<RapidBiphi3Workspace>(ws) != 0) return CoreStatus_NoMemory;
    return RapidBiphi3_BuildTree(N, 3, centres, PanelSize(options), StateOf<RapidBiphi3Workspace>(ws));
}

int Biphi3Evaluate(RapidEvalWorkspace* ws, const RapidEvalRequest* r, const CoreReporter* reporter, double target) {
    auto* s = StateOf<RapidBiphi3Workspace>(ws);
    const int32_t panel = PanelSize(&ws->Options);
    if (r->Kind == kRapidProduct)
        return RapidBiphi3_Multiply(r->N, 3, r->Centres, r->Coeffs, panel, r->Accuracy, s, r->Values, reporter);
    if (Grid(r))
        return RapidBiphi3_GridEval(r->N, 3, r->Centres, r->Coeffs, r->Base, r->Spacing, r->Size, panel, r->Accuracy,
                                    Gradient(r), s, r->Values, r->Gradients, reporter, target);
    return RapidBiphi3_PointEval(r->N, 3, r->Centres, r->Coeffs, r->M, r->Points, panel, r->Accuracy, Gradient(r), s,
                                 r->Values, r->Gradients, reporter, target);
}

void Biphi3Discard(RapidEvalWorkspace* ws) { RapidBiphi3_FreeExpansions(StateOf<RapidBiphi3Workspace>(ws)); }

void Biphi3Release(RapidEvalWorkspace* ws) {
    RapidBiphi3_Free(StateOf<RapidBiphi3Workspace>(ws));
    Mem_Free(ws->MethodState);
    ws->MethodState = nullptr;
}

int64_t Biphi3Bytes(int32_t N, const BasicFunctionKernel*, const RapidEvalWorkspace* ws) {
    const auto* s = ws ? static_cast<const RapidBiphi3Workspace*>(ws->MethodState) : nullptr;
    const int32_t panel = ws ? PanelSize(&ws->Options) : 100;
    return static_cast<int64_t>(RapidBiphi3_TreeBytes(N, panel, s)) + RapidBiphi3_ExpansionBytes(N, panel, 0, s);
}

// ---- Multiquadric family (types 1, 2, 6, 7 in 3D) ----

int32_t SeriesLength(const RapidEvalWorkspace* ws) {
    return ws->Options.SeriesLength > 0 ? ws->Options.SeriesLength : 10;
}

int MQSetup(RapidEvalWorkspace* ws, int32_t N, const double* const* centres, const BasicFunctionKernel* kernel,
            const RapidEvalOptions* options, const CoreReporter* reporter) {
    const int32_t panel = PanelSize(options) < 2 ? 2 : PanelSize(options);
    if (kernel->Type == kBasicApproxSpherical) {
        if (NewState<RapidASphere3Workspace>(ws) != 0) return CoreStatus_NoMemory;
        return RapidASphere3_InitTree(N, 3, panel, centres, StateOf<RapidASphere3Workspace>(ws), reporter);
    }
    if (NewState<RapidMQ3Workspace>(ws) != 0) return CoreStatus_NoMemory;
    return RapidMQ3_InitTree(N, 3, panel, centres, StateOf<RapidMQ3Workspace>(ws), reporter);
}

int MQBuild(RapidEvalWorkspace* ws, const RapidEvalRequest* r, const CoreReporter* reporter, double target) {
    const BasicFunctionKernel& k = ws->Kernel;
    const int32_t p = SeriesLength(ws), diff = Gradient(r) ? 1 : 0;
    const double now = reporter && reporter->progress ? *reporter->progress : 0.0;
    (void)target;
    switch (k.Type) {
        case kBasicTriharmonic:
            return RapidMQ3_InitAccuracyCubic(r->N, p, r->Accuracy, r->Coeffs, diff, StateOf<RapidMQ3Workspace>(ws),
                                              reporter, now);
        case kBasicNormalizedMultiquadric:
            return ScaledMQ3_InitAccuracy(r->N, p, k.Exponent, k.Param, r->Accuracy, r->Coeffs, diff,
                                          StateOf<RapidMQ3Workspace>(ws), reporter, now);
        case kBasicApproxSpherical:
            return RapidASphere3_InitAccuracy(r->N, p, k.Exponent, k.Param, r->Accuracy, r->Coeffs, diff,
                                              StateOf<RapidASphere3Workspace>(ws), reporter, now);
        default:
            return RapidMQ3_InitAccuracy(r->N, p, k.Exponent, k.Param, r->Accuracy, r->Coeffs, diff,
                                         StateOf<RapidMQ3Workspace>(ws), reporter, now);
    }
}

int MQEvaluate(RapidEvalWorkspace* ws, const RapidEvalRequest* r, const CoreReporter* reporter, double target) {
    const bool scaled = ws->Kernel.Type == kBasicNormalizedMultiquadric;
    const int32_t M = r->Kind == kRapidProduct ? r->N : r->M;
    const double* const* points = r->Kind == kRapidProduct ? r->Centres : r->Points;
    if (ws->Kernel.Type == kBasicApproxSpherical) {
        auto* s = StateOf<RapidASphere3Workspace>(ws);
        if (Grid(r))
            return Gradient(r) ? RapidASphere3_GridGradient(s, r->Base, r->Spacing, r->Size, r->Values, r->Gradients,
                                                            reporter, target)
                               : RapidASphere3_GridEval(s, r->Base, r->Spacing, r->Size, r->Values, reporter, target);
        return Gradient(r) ? RapidASphere3_PointGradient(s, M, points, r->Values, r->Gradients, reporter, target)
                           : RapidASphere3_PointEval(s, M, points, r->Values, reporter, target);
    }
    auto* s = StateOf<RapidMQ3Workspace>(ws);
    if (Grid(r)) {
        if (Gradient(r))
            return scaled ? ScaledMQ3_GridGradient(s, r->Base, r->Spacing, r->Size, r->Values, r->Gradients, reporter,
                                                   target)
                          : RapidMQ3_GridGradient(s, r->Base, r->Spacing, r->Size, r->Values, r->Gradients, reporter,
                                                  target);
        return scaled ? ScaledMQ3_GridEval(s, r->Base, r->Spacing, r->Size, r->Values, reporter, target)
                      : RapidMQ3_GridEval(s, r->Base, r->Spacing, r->Size, r->Values, reporter, target);
    }
    if (Gradient(r))
        return scaled ? ScaledMQ3_PointGradient(s, M, points, r->Values, r->Gradients, reporter, target)
                      : RapidMQ3_PointGradient(s, M, points, r->Values, r->Gradients, reporter, target);
    return scaled ? ScaledMQ3_PointEval(s, M, points, r->Values, reporter, target)
                  : RapidMQ3_PointEval(s, M, points, r->Values, reporter, target);
}

void MQDiscard(RapidEvalWorkspace* ws) {
    if (ws->Kernel.Type == kBasicApproxSpherical)
        RapidASphere3_FreeTree(StateOf<RapidASphere3Workspace>(ws));
    else
        RapidMQ3_FreeTree(StateOf<RapidMQ3Workspace>(ws));
}

void MQRelease(RapidEvalWorkspace* ws) {
    if (ws->MethodState) {
        if (ws->Kernel.Type == kBasicApproxSpherical)
            RapidASphere3_Free(StateOf<RapidASphere3Workspace>(ws));
        else
            RapidMQ3_Free(StateOf<RapidMQ3Workspace>(ws));
    }
    Mem_Free(ws->MethodState);
    ws->MethodState = nullptr;
}

const MQExpansion* ExpansionOf(const RapidEvalWorkspace* ws) {
    if (!ws || !ws->MethodState) return nullptr;
    if (ws->Kernel.Type == kBasicApproxSpherical)
        return &static_cast<const RapidASphere3Workspace*>(ws->MethodState)->MQ.Expansion;
    return &static_cast<const RapidMQ3Workspace*>(ws->MethodState)->Expansion;
}

int64_t MQBytes(int32_t, const BasicFunctionKernel* kernel, const RapidEvalWorkspace* ws) {
    const int32_t p = ws ? SeriesLength(ws) : 10;
    const int32_t k = kernel->Type == kBasicTriharmonic ? 3 : kernel->Exponent;
    const MQExpansion* e = ExpansionOf(ws);
    return MQExpansion_Bytes(e, p, k, e ? e->Differentiated : 0);
}

// ---- 3D spherical ----

int SphericalSetup(RapidEvalWorkspace* ws, int32_t N, const double* const* centres, const BasicFunctionKernel* kernel,
                   const RapidEvalOptions*, const CoreReporter* reporter) {
    if (NewState<RapidSpherical3Workspace>(ws) != 0) return CoreStatus_NoMemory;
    return RapidSpherical3_Init(N, centres, kernel, StateOf<RapidSpherical3Workspace>(ws), reporter);
}

int SphericalEvaluate(RapidEvalWorkspace* ws, const RapidEvalRequest* r, const CoreReporter* reporter, double target) {
    auto* s = StateOf<RapidSpherical3Workspace>(ws);
    const int32_t M = r->Kind == kRapidProduct ? r->N : r->M;
    const double* const* points = r->Kind == kRapidProduct ? r->Centres : r->Points;
    if (Grid(r))
        return Gradient(r)
                   ? RapidSpherical3_GridGradient(s, r->Coeffs, r->Base, r->Spacing, r->Size, r->Values, r->Gradients,
                                                  reporter, target)
                   : RapidSpherical3_GridEval(s, r->Coeffs, r->Base, r->Spacing, r->Size, r->Values, reporter, target);
    return Gradient(r)
               ? RapidSpherical3_PointGradient(s, r->Coeffs, M, points, r->Values, r->Gradients, reporter, target)
               : RapidSpherical3_PointEval(s, r->Coeffs, M, points, r->Values, reporter, target);
}

void SphericalRelease(RapidEvalWorkspace* ws) {
    RapidSpherical3_Free(StateOf<RapidSpherical3Workspace>(ws));
    Mem_Free(ws->MethodState);
    ws->MethodState = nullptr;
}

int64_t SphericalBytes(int32_t N, const BasicFunctionKernel*, const RapidEvalWorkspace*) {
    // Tree nodes, stacks and result list, and the two scratch arrays.
    return static_cast<int64_t>(N) * (3 * 4 + 4 + 8 + 8);
}

// ---- 2D thin-plate ----

int Biharm2Setup(RapidEvalWorkspace* ws, int32_t N, const double* const* centres, const BasicFunctionKernel*,
                 const RapidEvalOptions* options, const CoreReporter* reporter) {
    if (NewState<RapidBiharm2Workspace>(ws) != 0) return CoreStatus_NoMemory;
    return RapidBiharm2_InitTree(StateOf<RapidBiharm2Workspace>(ws), N, centres, options->NumInPanel,
                                 options->BoundingBox, reporter);
}

int Biharm2Evaluate(RapidEvalWorkspace* ws, const RapidEvalRequest* r, const CoreReporter* reporter, double target) {
    auto* s = StateOf<RapidBiharm2Workspace>(ws);
    const RapidEvalOptions& o = ws->Options;
    if (r->Kind == kRapidProduct)
        return RapidBiharm2_Multiply(r->N, 2, r->Centres, r->Coeffs, s, o.NumInPanel, r->Accuracy, o.StoreTpsValues > 0,
                                     o.TuneSteps, r->Values, reporter, target);
    if (Grid(r))
        return RapidBiharm2_GridEval(r->N, 2, r->Centres, r->Coeffs, s, o.NumInPanel, r->Accuracy, o.BoundingBox,
                                     r->Base, r->Spacing, r->Size, r->Values, reporter, target);
    return RapidBiharm2_PointEval(r->N, 2, r->Centres, r->Coeffs, s, o.NumInPanel, r->Accuracy, o.BoundingBox, r->M,
                                  r->Points, r->Values, reporter, target);
}

void Biharm2Discard(RapidEvalWorkspace* ws) { RapidBiharm2_FreeTaylor(StateOf<RapidBiharm2Workspace>(ws)); }

void Biharm2Release(RapidEvalWorkspace* ws) {
    RapidBiharm2_Free(StateOf<RapidBiharm2Workspace>(ws));
    Mem_Free(ws->MethodState);
    ws->MethodState = nullptr;
}

int64_t Biharm2Bytes(int32_t N, const BasicFunctionKernel*, const RapidEvalWorkspace* ws) {
    const auto* s = ws ? static_cast<const RapidBiharm2Workspace*>(ws->MethodState) : nullptr;
    if (s && s->TreeBuilt) return RapidBiharm2_Bytes(s);
    const double panel = ws && ws->Options.NumInPanel >= 1.0 ? ws->Options.NumInPanel : 40.0;
    return 1344 * static_cast<int64_t>(N / panel) + 3704;
}

const RapidEvaluator kBiphi3 = {"RapidBiphi3",  kPointKinds | kGradientKinds | kProduct,
                                Biphi3Setup,    nullptr,
                                Biphi3Evaluate, Biphi3Discard,
                                Biphi3Release,  Biphi3Bytes};
const RapidEvaluator kMQ = {
    "RapidMQ3", kPointKinds | kGradientKinds | kProduct, MQSetup, MQBuild, MQEvaluate, MQDiscard, MQRelease, MQBytes};
// Products of the normalised multiquadric are summed directly.
const RapidEvaluator kScaledMQ = {
    "ScaledMQ3", kPointKinds | kGradientKinds, MQSetup, MQBuild, MQEvaluate, MQDiscard, MQRelease, MQBytes};
const RapidEvaluator kASphere = {
    "RapidASphere3", kPointKinds | kGradientKinds | kProduct, MQSetup, MQBuild, MQEvaluate, MQDiscard, MQRelease,
    MQBytes};
const RapidEvaluator kSpherical = {"RapidSpherical3", kPointKinds | kGradientKinds | kProduct,
                                   SphericalSetup,    nullptr,
                                   SphericalEvaluate, nullptr,
                                   SphericalRelease,  SphericalBytes};
const RapidEvaluator kBiharm2 = {"RapidBiharm2",  kPointKinds | kProduct, Biharm2Setup,   nullptr,
                                 Biharm2Evaluate, Biharm2Discard,         Biharm2Release, Biharm2Bytes};

}  // namespace

const RapidEvaluator* RapidEval_BuiltInEvaluator(int32_t type, int32_t dimension) {
    if (dimension == 2) return type == kBasicBiharmonic ? &kBiharm2 : nullptr;
    if (dimension != 3) return nullptr;
    switch (type) {
        case kBasicBiharmonic:
            return &kBiphi3;
        case kBasicTriharmonic:
        case kBasicMultiquadric:
            return &kMQ;
        case kBasicNormalizedMultiquadric:
            return &kScaledMQ;
        case kBasicApproxSpherical:
            return &kASphere;
        case kBasicSpherical:
            return &kSpherical;
        default:
            return nullptr;
    }
}

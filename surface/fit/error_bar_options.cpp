#include "surface/fit/error_bar.h"

#include "surface/frame/core_reporter.h"
#include "surface/frame/status_codes.h"

namespace {

bool Within(double v, double lo, double hi) { return v >= lo && v <= hi; }

const char* OwnFault(const ErrorBarOptions& o) {
    if (!(o.FitAccFraction >= 0.0 && o.FitAccFraction < 1.0))
        return "Relative fitting accuracy must be between 0 and 1";
    if (!(o.EvalAccFraction >= 0.0 && o.EvalAccFraction < 1.0))
        return "Relative evaluation accuracy must be between 0 and 1";
    if (!Within(o.AddRate, 0.0, 1.0)) return "Point add rate must be between 0 and 1";
    if (!Within(o.MaxAddFrac, 0.0, 1.0)) return "Maximum add fraction must be between 0 and 1";
    if (!Within(o.RemoveRate, 0.0, 1.0)) return "Point removal rate must be between 0 and 1";
    if (!Within(o.StartFraction, 0.0, 1.0)) return "Start fraction must be between 0 and 1";
    if (o.MaxIterations < 1) return "Maximum number of iterations must be 1 or greater.";
    if (!Within(o.MinRemoveFrac, 0.0, 1.0)) return "Minimum remove fraction must be between 0 and 1.";
    if (!(o.SubsampleAddRate > 0.0)) return "Subsample add rate must be between positive.";
    return nullptr;
}

const char* LaterFault(const ErrorBarOptions& o) {
    if (o.MaxSubsampleRate < 1) return "Maximum subsample rate must be 1 or greater.";
    if (!(o.AccuracyConfidence > 0.0 && o.AccuracyConfidence <= 1.0))
        return "Accuracy confidence must be between 0 and 1.";
    if (o.InitialRbf && o.InitialRbf->Count <= 0) return "Invalid number of centres in initial RBF.";
    if (o.InitialRbf && !o.InitialRbf->Indices) return "Initial RBF must have Indices field present.";
    return nullptr;
}

int Refuse(const CoreReporter* reporter, int32_t level, const char* message) {
    if (CoreReporter_Speaks(reporter, level)) {
        if (level == 1)
            CoreReporter_Error(reporter, "%s", message);
        else
            CoreReporter_Warning(reporter, "%s", message);
    }
    return CoreStatus_InvalidInput;
}

}  // namespace

void ErrorBar_DefaultOptions(ErrorBarOptions* o) {
    if (!o) return;
    *o = ErrorBarOptions{};
    o->FitAccFraction = 0.1;
    o->EvalAccFraction = 0.01;
    o->AddRate = 0.03;
    o->MaxAddFrac = 0.4;
    o->RemoveRate = 0.03;
    o->StartFraction = 0.02;
    o->RemoveFrequency = 1;
    o->MaxNumRemoves = 100;
    o->MaxIterations = 100;
    o->MinRemoveFrac = 0.03;
    o->SubsampleAddRate = 0.2;
    o->NumSubsampleItns = 3;
    o->MaxSubsampleRate = 5;
    o->AccuracyConfidence = 1.0;
    RapidEval_DefaultOptions(&o->Eval);
    DDFit_DefaultOptions(&o->Fitter);
    o->FitterMsgLevel = 2;
    o->ReducerMsgLevel = 2;
}

int ErrorBar_CheckOptions(const ErrorBarOptions* o, const CoreReporter* reporter) {
    if (!o) return CoreStatus_InvalidInput;
    if (const char* fault = OwnFault(*o)) return Refuse(reporter, 1, fault);
    if (o->NumSubsampleItns >= o->MaxIterations)
        return Refuse(reporter, 2, "NumSubsample iterations must be less than MaxIterations");
    if (const char* fault = LaterFault(*o)) return Refuse(reporter, 1, fault);
    return DDFit_CheckOptions(&o->Fitter, reporter);
}

#include "surface/fit/dd_fit_options.h"

#include "surface/frame/core_reporter.h"
#include "surface/frame/status_codes.h"

namespace {

int Refuse(const CoreReporter* reporter, const char* message) {
    if (CoreReporter_Speaks(reporter, 1)) CoreReporter_Error(reporter, "%s", message);
    return CoreStatus_InvalidInput;
}

// The first failing test of the fitter's own fields, or null.
const char* OwnFault(const DDFitOptions& o) {
    if (o.MaxIteration <= 0) return "MaxIteration must be positive.";
    if (o.CoarseSampleRate <= 1) return "CoarseSampleRate must be 2 or greater.";
    if (!(o.MaxCoarseFraction > 0.0 && o.MaxCoarseFraction < 1.0)) return "MaxCoarseFraction must be between 0 and 1.";
    if (!(o.EvalAccFactor > 0.0 && o.EvalAccFactor <= 1.0)) return "EvalAccFactor must be between 0 and 1.";
    if (o.Smoothing < 0 || o.Smoothing > 2) return "Smoothing flag must be 0, 1 or 2.";
    if (o.UseLambda < 0 || o.UseLambda > 2) return "UseLambda flag must be 0, 1 or 2.";
    if (o.UseLambda == 2 && !o.Residual) return "No Residual passed to use with UseLambda option";
    if (!(o.Confidence > 0.0 && o.Confidence <= 1.0)) return "Confidence must be between 0 and 1.";
    // A rate of 0 would make the reference error of the coarse-add test
    // infinite; it fails the same test.
    if (!(o.DesiredRate > 0.0 && o.DesiredRate <= 1.0)) return "DesiredRate must be between 0 and 1.";
    if (!(o.RateUndoThresh >= 1.0)) return "RateUndoThresh must be 1 or greater.";
    if (!(o.CoarseAddFrac > 0.0 && o.CoarseAddFrac <= 1.0)) return "CoarseAddFrac must be between 0 and 1.";
    if (o.CoarseAddPeriod < 1) return "CoarseAddPeriod must be 1 or greater.";
    if (o.MaxConvergeErrors < 1) return "MaxConvergeErrors must be 1 or greater.";
    if (!(o.MinAlpha <= 0.5)) return "MinAlpha must be less than 0.5.";
    if (o.MPipeStopLevel < 1) return "MPipeStopLevel must be 1 or greater.";
    return nullptr;
}

}  // namespace

void DDFit_DefaultOptions(DDFitOptions* o) {
    if (!o) return;
    *o = DDFitOptions{};
    o->ItnsToTime = 50;
    o->MsgLevels = 3;
    o->CoarseSampleRate = 10;
    o->MaxCoarseFraction = 0.5;
    o->MaxIteration = 50;
    o->EvalAccFactor = 0.1;
    Rbf_DirectDefaultOptions(&o->Direct);
    o->Direct.MaxCholeskySize = 850;
    o->Confidence = 1.0;
    o->DesiredRate = 0.4;
    o->RateUndoThresh = 1.0;
    o->CoarseAddFrac = 0.1;
    o->CoarseAddPeriod = 3;
    o->MaxConvergeErrors = 30;
    o->MinAlpha = 0.1;
    o->MPipeStopLevel = 3;
    o->AllowUpdating = 1;
    DomDecomp_DefaultOptions(&o->DomDecomp);
    o->DomDecomp.MaxTotalPts = 500;
    o->LevelMallocRatio = 1.5;
    RapidEval_DefaultOptions(&o->LevelEval);
    RapidEval_DefaultOptions(&o->CoarseEval);
    o->SeparateCoarseEval = -1;
}

int DDFit_CheckOptions(const DDFitOptions* o, const CoreReporter* reporter) {
    if (!o) return CoreStatus_InvalidInput;
    if (const char* fault = OwnFault(*o)) return Refuse(reporter, fault);
    if (!Rbf_DirectCheckOptions(&o->Direct, reporter)) return CoreStatus_InvalidInput;
    if (!DomDecomp_CheckOptions(&o->DomDecomp, reporter)) return CoreStatus_InvalidInput;
    if (o->Direct.MaxCholeskySize < 2 * o->DomDecomp.MaxPoints)
        return Refuse(reporter, "Max cholesky size must be at least twice the subdomain size.");
    if (o->Direct.MaxCholeskySize < 100 && CoreReporter_Speaks(reporter, 2))
        CoreReporter_Warning(reporter, "Max cholesky size is rather small (less than 100).");
    return CoreStatus_Success;
}

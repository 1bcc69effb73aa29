#include "surface/fit/rad_fit_fgmres_options.h"

#include "surface/frame/core_reporter.h"
#include "surface/frame/status_codes.h"

namespace {

const char* OwnFault(const RadFitFGMResOptions& o) {
    if (o.CoarseSampleRate <= 1) return "CoarseSampleRate must be 2 or greater.";
    if (!(o.LevelAccFactor > 0.0 && o.LevelAccFactor <= 0.5)) return "LevelAccFactor must be between 0 and 0.5.";
    if (!(o.MinimumRate > 0.0 && o.MinimumRate <= 1.0)) return "MinimumRate must be between 0 and 1.";
    if (!(o.AddFraction >= 0.0 && o.AddFraction <= 1.0)) return "AddFraction must be between 0 and 1.";
    if (!(o.MaxCoarseSize > 1.0 / o.CoarseSampleRate)) return "MaxCoarseSize must be larger than coarse sample rate.";
    if (!(o.MaxCoarseSize <= 1.0 - o.AddFraction)) return "MaxCoarseSize must be 1.0-AddFraction or less.";
    if (o.CoarseAddPeriod < 1) return "CoarseAddPeriod must be at least 1.";
    return nullptr;
}

}  // namespace

void RadFitFGMRes_DefaultOptions(RadFitFGMResOptions* o) {
    if (!o) return;
    *o = RadFitFGMResOptions{};
    FGMRes_DefaultOptions(&o->Solver);
    Rbf_DirectDefaultOptions(&o->Bottom);
    o->Bottom.MaxCholeskySize = 1000;
    DomDecomp_DefaultOptions(&o->DomDecomp);
    o->DomDecomp.MallocRatio = 1.0;
    RapidEval_DefaultOptions(&o->Eval);
    o->CoarseSampleRate = 10;
    o->LevelAccFactor = 0.1;
    o->MinimumRate = 0.1;
    o->AddFraction = 0.4;
    o->MaxCoarseSize = 0.6;
    o->CoarseAddPeriod = 3;
}

int RadFitFGMRes_CheckOptions(const RadFitFGMResOptions* o, const CoreReporter* reporter) {
    if (!o) return CoreStatus_InvalidInput;
    if (FGMRes_CheckOptions(&o->Solver, reporter) != CoreStatus_Success) return CoreStatus_InvalidInput;
    if (!Rbf_DirectCheckOptions(&o->Bottom, reporter)) return CoreStatus_InvalidInput;
    if (!DomDecomp_CheckOptions(&o->DomDecomp, reporter)) return CoreStatus_InvalidInput;
    const char* fault = OwnFault(*o);
    if (!fault) return CoreStatus_Success;
    if (CoreReporter_Speaks(reporter, 1)) CoreReporter_Error(reporter, "%s", fault);
    return CoreStatus_InvalidInput;
}

#include "surface/fit/reducer.h"

#include <cstring>

#include "surface/frame/core_rbf.h"
#include "surface/frame/core_reporter.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_matrix.h"

void Reducer_DefaultOptions(ReducerOptions* o) {
    if (!o) return;
    *o = ReducerOptions{};
    o->StartFrac = 50;
    o->AddFrac = 30;
    o->SubtractThreshFrac = 100;
    o->AccuracyScale = 2.0;
    o->MaxNumCentres = 1.0;
    o->Unused2 = 3;
    o->SampleRate = 4;
    o->NumSSItns = 2;
    o->ReductionThresh = 0.5;
    RapidEval_DefaultOptions(&o->Eval);
    DDFit_DefaultOptions(&o->Fitter);
    o->MinPanelSize = 11;
    o->BulkAddShare = 0.5;
    o->FitTolFactor = 1.0;
    o->AccuracyMargin = 0.05;
    o->MaxAddDamping = 0.97;
    o->LaterTolFactor = 0.95;
    o->PanelRefreshShare = 0.1;
    o->FlagResetPeriod = 4;
    o->PanelAge = 15;
    o->MaxAddGrowth = 4.0;
    o->CompletionFactor = 2.0;
}

int Reducer_CheckOptions(const ReducerOptions* o, const CoreReporter* reporter) {
    if (!o) return CoreStatus_InvalidInput;
    const char* fault = nullptr;
    if (o->StartFrac <= 1)
        fault = "StartFrac must be greater than 1";
    else if (o->AddFrac <= 1)
        fault = "AddFrac must be greater than 1";
    else if (!(o->MaxNumCentres >= 0.0 && o->MaxNumCentres <= 1.0))
        fault = "MaxNumCentres must be between 0.0 and 1.0";
    else if (o->SubtractThreshFrac <= 0)
        fault = "SubtractThreshFrac must be positive";
    else if (o->SampleRate <= 0)
        fault = "SampleRate must be positive";
    else if (o->NumSSItns <= 0)
        fault = "NumSSItns must be positive";
    else if (o->InitialCount > 0 && !o->InitialIndices)
        fault = "No data for initial indices.";
    else if (!(o->ReductionThresh > 0.0))
        fault = "Reduction factor threshold must be positive.";
    if (fault) {
        if (CoreReporter_Speaks(reporter, 1)) CoreReporter_Error(reporter, "%s", fault);
        return CoreStatus_InvalidInput;
    }
    return DDFit_CheckOptions(&o->Fitter, reporter);
}

void Reducer_FreeResult(CoreRbf* result) { CoreSolution_Free(result); }

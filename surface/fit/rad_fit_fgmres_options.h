// Options of the FGMRES fitter: the solver's own, the bottom level's direct
// fit, the decomposition of every level, the fast evaluation of products,
// and the rules by which coarse levels grow when convergence is slow.
#ifndef SURFACE_FIT_RAD_FIT_FGMRES_OPTIONS_H
#define SURFACE_FIT_RAD_FIT_FGMRES_OPTIONS_H

#include <cstdint>

#include "surface/fit/direct_fit.h"
#include "surface/fit/dom_decomp.h"
#include "surface/fit/fgmres.h"
#include "surface/fit/rapid_eval.h"

struct CoreReporter;

struct RadFitFGMResOptions {
    FGMResOptions Solver;
    DirectFitOptions Bottom;
    DomDecompOptions DomDecomp;
    RapidEvalOptions Eval;
    int32_t AllowUpdating;        // 0 forces the decomposition's MallocRatio to 1.0
    int32_t CoarseSampleRate;     // points of a level per coarse point
    double LevelAccFactor;        // a coarse level is solved to its largest residual times this
    double MinimumRate;           // slower convergence adds coarse points
    double AddFraction;           // share of a coarse level added then
    double MaxCoarseSize;         // largest coarse level as a share of the finer one
    int32_t AddWellSpaced;        // added points spread over cells instead of largest residual
    int32_t CoarseAddPeriod;      // preconditioner calls between rate checks
    double* AchievedAccuracyOut;  // receives the accuracy reached
};

// The defaults: a bottom level of at most 1000 centres, decomposition lists
// without slack.
void RadFitFGMRes_DefaultOptions(RadFitFGMResOptions* options);
// 0, or 5 after the first failing test: the solver's options, the direct-fit
// and decomposition options by their own rules, then the fitter's fields.
int RadFitFGMRes_CheckOptions(const RadFitFGMResOptions* options, const CoreReporter* reporter);

#endif

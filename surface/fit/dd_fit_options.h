// Options of the multilevel domain-decomposition fitter: the iteration and
// coarse-level controls, the options handed to the coarsest level's direct
// fit, to every level's decomposition and to the fast evaluations.
#ifndef SURFACE_FIT_DD_FIT_OPTIONS_H
#define SURFACE_FIT_DD_FIT_OPTIONS_H

#include <cstdint>

#include "surface/fit/direct_fit.h"
#include "surface/fit/dom_decomp.h"
#include "surface/fit/rapid_eval.h"

struct CoreReporter;

struct DDFitOptions {
    int32_t ItnsToTime;           // iterations that print timing lines
    int32_t LevsToTime;           // levels that print timing and debug lines
    int32_t MsgLevels;            // deeper coarse levels speak at the progress level only
    int32_t CoarseSampleRate;     // points of a level per point of the next coarser one
    double MaxCoarseFraction;     // largest coarse level as a share of the finer one
    int32_t Unused;               // kept for the record's layout; not read
    int32_t MaxIteration;         // iterations per level
    double EvalAccFactor;         // share of the accuracy given to fast evaluation
    int32_t Smoothing;            // 0 interpolate, 1 smooth with |Rho|, 2 with Rho as given
    DirectFitOptions Direct;      // coarsest level; Rho is the smoothing value
    int32_t UseLambda;            // 0 zero start, 1 coefficients passed, 2 with Residual too
    double* Residual;             // N doubles: start residual (UseLambda 2) and final one
    double Confidence;            // share of points that must lie within the accuracy
    double DesiredRate;           // expected error reduction per iteration
    double RateUndoThresh;        // an iteration whose error ratio exceeds this is undone
    double CoarseAddFrac;         // share of the coarse level added on slow convergence
    int32_t CoarseAddPeriod;      // iterations over which the rate is judged
    int32_t MaxConvergeErrors;    // iterations with a growing error tolerated
    double MinAlpha;              // a shorter step adds coarse points
    int32_t MPipeStopLevel;       // checked only
    int32_t AllowUpdating;        // level arrays keep room for appended centres
    DomDecompOptions DomDecomp;   // copied into every level's decomposition
    double LevelMallocRatio;      // capacity factor of the level arrays
    int32_t* FreeRequest;         // megabytes of stored factors to free at the next check
    RapidEvalOptions LevelEval;   // each level's own fast evaluation
    RapidEvalOptions CoarseEval;  // a coarser correction evaluated at the finer points
    int32_t SeparateCoarseEval;   // -1 choose, 0 shared workspace, 1 a second one
    double* AchievedError;        // receives the achieved maximum residual
};

// The defaults (nothing for null): the direct fit bounded at 850 centres,
// subdomains of at most 500 points.
void DDFit_DefaultOptions(DDFitOptions* options);
// 0, or 5 after the first failing test as one error line. A MaxCholeskySize
// below 100 passes with a warning.
int DDFit_CheckOptions(const DDFitOptions* options, const CoreReporter* reporter);

#endif

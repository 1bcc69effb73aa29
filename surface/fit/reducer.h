// The centre-reduction fitter: an RBF through N points with far fewer
// centres than points. It starts from a small well-spread set of centres,
// fits them with the multilevel fitter, evaluates the fit at (a sample of)
// the other points, adds the points that miss their accuracy worst (a few
// per spatial panel and pass), drops centres whose coefficients became
// negligible, and repeats until enough points meet their accuracy.
//
// Core statuses: 0, 2 no memory, 5 invalid options, 6 too few points, 10
// user abort, 12 no basic function, 17 an accuracy not positive, 19 every
// value within its accuracy, 23 a missing argument, and the statuses of the
// spatial division and of the multilevel fitter.
#ifndef SURFACE_FIT_REDUCER_H
#define SURFACE_FIT_REDUCER_H

#include <cstdint>

#include "surface/fit/dd_fit_options.h"
#include "surface/fit/rapid_eval.h"
#include "surface/frame/core_rbf.h"

struct CoreReporter;

struct ReducerOptions {
    int32_t StartFrac;           // the start set aims at N / StartFrac points (at least 10)
    int32_t AddFrac;             // MaxAdd starts at N / AddFrac (at least 10)
    int32_t SubtractThreshFrac;  // centres are removed only when more than N / this are unneeded
    int32_t Unused1;
    double AccuracyScale;  // factor of the coefficient threshold
    double MaxNumCentres;  // at most N x this centres
    int32_t Unused2;
    int32_t RescaleResiduals;  // residuals divided by the local gradient size before selection
    int32_t SampleRate;        // every SampleRate-th point is evaluated in a sampling pass
    int32_t NumSSItns;         // the sampling phase lasts SampleRate x this passes
    double ReductionThresh;    // centres / well-fitted points above this gives up reduction
    int32_t InitialCount;
    int32_t* InitialIndices;
    RapidEvalOptions Eval;
    DDFitOptions Fitter;
    int32_t* CentreCountOut;
    int32_t MinPanelSize;         // panels hold at least this many points on average
    double BulkAddShare;          // fewer bad points than MaxAdd x this are all added
    double FitTolFactor;          // the fit accuracy factor starts at min(this, LaterTolFactor)
    double AccuracyMargin;        // share of the smallest accuracy kept in hand
    double MaxAddDamping;         // a pass adding this share of MaxAdd is a full pass
    double LaterTolFactor;        // selection factor after the sampling phase
    double PanelRefreshShare;     // panels are rebuilt after a pass adding fewer than MaxAdd x this / SampleRate
    int32_t FlagResetPeriod;      // panel flags are reset every SampleRate x this passes
    int32_t PanelAge;             // panels are rebuilt when older than this many passes
    double MaxAddGrowth;          // MaxAdd and panel count growth factor
    double CompletionFactor;      // the sampling phase ends below this x the largest accuracy
    double MemoryRequirement[2];  // MB: the last fit's minimum and maximum
};

void Reducer_DefaultOptions(ReducerOptions* options);
// 0, or 5 after the first failing rule as one error line.
int Reducer_CheckOptions(const ReducerOptions* options, const CoreReporter* reporter);
// Frees the result's arrays and zero-fills it.
void Reducer_FreeResult(CoreRbf* result);

// points: N rows; accuracyVector: N positive accuracies or null (the scalar
// applies). The result receives tracked arrays that pass to the caller.
int Reducer_Fit(int32_t N, double* const* points, const double* values, const BasicFunctionKernel* kernel,
                double accuracy, const double* accuracyVector, double memory, ReducerOptions* options, CoreRbf* result,
                double* achievedOut, const CoreReporter* reporter, double progressEnd);

#endif

// The error-bar fitter: an RBF that stays, at every point, inside the band
// [f - L, f + U] around its value instead of passing through it. Only an
// active set of points, each pinned to one side of its band, is
// interpolated by the multilevel fitter; the fit is evaluated at all (or a
// sample of the) points, points that leave their band join the active set,
// constraints whose coefficient has the wrong sign leave it, until the band
// holds at the required share of the points. The result's centres are the
// active points only.
//
// Core statuses: 0, 2 no memory (the caller may retry with memory 0), 5
// invalid options or bound types, 6 no points, 11 iterations exhausted, 12
// no basic function, 14 a point chosen twice, 17 bounds or accuracy not
// positive, 19 every value already within its band, 23 a missing argument,
// and the statuses of the multilevel fitter.
#ifndef SURFACE_FIT_ERROR_BAR_H
#define SURFACE_FIT_ERROR_BAR_H

#include <cstdint>

#include "surface/fit/dd_fit_options.h"
#include "surface/fit/rapid_eval.h"
#include "surface/frame/core_rbf.h"

struct CoreReporter;

// Per-point bound types.
enum ErrorBarBoundType : int32_t {
    kBoundLowerOnly = 1,
    kBoundUpperOnly = 2,
    kBoundBoth = 3,
};

struct ErrorBarOptions {
    double FitAccFraction;   // fitting accuracy = band accuracy x this
    double EvalAccFraction;  // evaluation accuracy = band accuracy x this
    double AddRate;          // constraints added per pass: N x this + 2
    double MaxAddFrac;       // at most active x this added per pass
    double RemoveRate;       // constraints removed per removal: N x this + 1
    double StartFraction;    // share of the points in the initial active set
    int32_t RemoveFrequency;
    int32_t MaxNumRemoves;
    int32_t MaxIterations;
    double MinRemoveFrac;     // removal needs active x this redundant constraints
    double SubsampleAddRate;  // a pass is subsampled when the add count exceeds active x this
    int32_t NumSubsampleItns;
    int32_t MaxSubsampleRate;
    double AccuracyConfidence;  // share of the points that must lie inside their band
    const CoreRbf* InitialRbf;  // its centre indices form the initial active set
    RapidEvalOptions Eval;
    DDFitOptions Fitter;
    int32_t FitterMsgLevel;
    int32_t ReducerMsgLevel;
    int32_t* NumCentresOut;
    double* AchievedAccuracyOut;
    double MemoryRequirement[2];  // MB: the last active-set fit's minimum and maximum
};

void ErrorBar_DefaultOptions(ErrorBarOptions* options);
// 0, or 5 after the first failing rule as one error line.
int ErrorBar_CheckOptions(const ErrorBarOptions* options, const CoreReporter* reporter);

// upper, lower: N bounds each or null (one missing takes the other's;
// neither: the scalar accuracy on both sides). types: N bound types or null
// (both sides everywhere). The output receives tracked arrays that pass to
// the caller.
int ErrorBar_Fit(int32_t N, double* const* points, const double* values, const BasicFunctionKernel* kernel,
                 double memory, double accuracy, const double* upper, const double* lower, const int32_t* types,
                 ErrorBarOptions* options, CoreRbf* out, const CoreReporter* reporter, double progressEnd);

// The energy of an RBF over its own centres: Σ cⱼ s(xⱼ) times -1/(8π) for
// the biharmonic and 1/(96π) for the triharmonic kernel in 2D and 3D (the
// kernel's sign for other kernels, 1 in other dimensions). The RBF is
// evaluated at the given accuracy; a failed evaluation gives 0.
double ErrorBar_Energy(const CoreRbf* rbf, double accuracy, const CoreReporter* reporter);
// The factor of that sum for a kernel.
double ErrorBar_EnergyFactor(const BasicFunctionKernel* kernel);

// A greedy centre-reduction fit: the accuracy starts at the largest |value|
// and falls by the factor (accuracy / largest)^0.2 per pass to the target,
// each pass refitting from the centres of the one before. Core statuses of
// the centre-reduction fitter.
int ErrorBar_GreedyFit(int32_t N, double* const* points, const double* values, const BasicFunctionKernel* kernel,
                       double accuracy, double memory, CoreRbf* out, const CoreReporter* reporter);

// Marks (marks[i] = 1, else 0) every point that has a point of the other
// class within `radius`: values above -1 form one class, the rest the
// other. Core statuses of the k-d tree (0, 2, 10, 23).
int ErrorBar_MarkNearOtherClass(int32_t N, int32_t d, double* const* points, const double* values, double radius,
                                int32_t* marks, const volatile int32_t* cancel);

#endif

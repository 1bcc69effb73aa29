// The attributes of a fit as the library's caller gives them: the fitter
// type, the basic function and polynomial degree, smoothing, confidence,
// axis scaling and the controls of the bounded and reduction fitters; their
// defaults, their check and their info lines.
#ifndef SURFACE_FIT_FIT_ATTRIBUTES_H
#define SURFACE_FIT_FIT_ATTRIBUTES_H

#include <cstdint>

#include "surface/frame/solution.h"

struct Reporter;

enum FitTypeNumber : int32_t {
    FitType_Direct = 0,
    FitType_CentreReduction = 1,
    FitType_ErrorBar = 2,
    FitType_DirectGMRes = 3,
};

struct FitAttributes {
    int32_t FitType;
    double ReductionThresh;  // centre reduction's threshold, 0 to 1
    BasicFunction BasicFunc;
    double Rho;         // smoothing; 0 interpolates
    double Confidence;  // share of the points that must meet the accuracy
    double SpatialScaling[3];
    int32_t UseSpatialScaling;  // 0 none, 1 SpatialScaling, else the fitter's own
    int32_t PolyDegree;         // -1 (none) to 2
    int32_t AllowRedundant;     // bounded fits: 0 removes every redundant centre
    double FitAccFactor;        // bounded fits: accuracy as a share of the band, (0, 0.2]
    int32_t UseInitialRbf;      // the solution passed in is the start
    int32_t CentreOnOrigin;     // fit about the centre of the data box
};

// Fills the defaults and returns the record (null gives null).
FitAttributes* SetFitAttrDefaults(FitAttributes* attributes);
// Non-zero when valid; 0 after one error message.
int CheckFitAttributes(int32_t dimension, const FitAttributes* attributes, Reporter* reporter);
// The attributes' info lines (level 5), with the basic function's display
// name.
void PrintFitAttributes3(const FitAttributes* attributes, const char* basicName, Reporter* reporter);
void PrintFitAttributes2(const FitAttributes* attributes, const char* basicName, Reporter* reporter);

#endif

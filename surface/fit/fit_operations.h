// The public fit operations: a point list with a value per point becomes an
// RBF solution. Selvane_Fit3/2 check everything, take the data box, may
// move the data's centre to the origin, refuse near-coincident points and
// hand the points to one of four fitters: direct (every point a centre,
// the multilevel fitter), centre reduction, error bar, or direct by
// FGMRES. FitBounded3/2 always fit with the error-bar fitter against the
// list's per-point Lower and Upper bounds.
//
// Statuses are the API statuses (status_codes.h). Every array a fit puts
// into the solution belongs to the caller, freed with Solution3_Free.
#ifndef SURFACE_FIT_FIT_OPERATIONS_H
#define SURFACE_FIT_FIT_OPERATIONS_H

#include <cstdint>

struct BasicFunctionKernel;
struct CoreReporter;
struct FitAttributes;
struct PointList2;
struct PointList3;
struct Reporter;
struct Solution2;
struct Solution3;

// set: -1 for the list's own arrays, else an alternate set. accuracy: the
// fitting accuracy (the floor of a per-point Accuracy array). memory: bytes
// the fitter may use. attributes: null for the defaults.
int Selvane_Fit3(Solution3* solution, PointList3* points, int32_t set, double accuracy, uint32_t memory,
                 FitAttributes* attributes, Reporter* reporter);
int Selvane_Fit2(Solution2* solution, PointList2* points, int32_t set, double accuracy, uint32_t memory,
                 FitAttributes* attributes, Reporter* reporter);
// boundTypes: one per point (1 lower only, 2 upper only, 3 both) or null.
int FitBounded3(Solution3* solution, PointList3* points, int32_t set, double accuracy, const int32_t* boundTypes,
                uint32_t memory, FitAttributes* attributes, Reporter* reporter);
int FitBounded2(Solution2* solution, PointList2* points, int32_t set, double accuracy, const int32_t* boundTypes,
                uint32_t memory, FitAttributes* attributes, Reporter* reporter);

// Makes every point a centre for the direct fitters: an initial solution of
// N centres keeps its coefficients as the start (its centres overwritten by
// the points when they differ), one of fewer centres has its coefficients
// moved to their data points; without one the points are copied into a new
// centre block. *centreRows receives a tracked row table over the
// solution's centres. *fitAccuracy becomes the largest per-point accuracy
// when a vector is given, else the scalar. 0 or 2.
int Fit3_SetAllCentres(Solution3* solution, int32_t N, double* const* points, const double* accuracyVector,
                       double accuracy, const BasicFunctionKernel* kernel, int32_t initial, Reporter* reporter,
                       CoreReporter* core, double*** centreRows, double* fitAccuracy);
int Fit2_SetAllCentres(Solution2* solution, int32_t N, double* const* points, const double* accuracyVector,
                       double accuracy, const BasicFunctionKernel* kernel, int32_t initial, Reporter* reporter,
                       CoreReporter* core, double*** centreRows, double* fitAccuracy);

#endif

// The public evaluation operations: a fitted solution evaluated at the points
// of a point list (Selvane_PointEval3/2) or on a regular grid
// (Selvane_GridEval3/2), values only or with gradients, through the
// evaluation front (rapid_eval.h). An evaluation workspace that the caller
// hands back keeps the centre table and the fast-evaluation structures
// between calls; it is matched against the solution on every call and
// discarded, wholly or in part, with a warning when it no longer fits.
//
// Statuses are the API statuses (status_codes.h).
#ifndef SURFACE_FIT_EVAL_OPERATIONS_H
#define SURFACE_FIT_EVAL_OPERATIONS_H

#include <cstdint>

#include "surface/fit/rapid_eval.h"

struct Grid2;
struct Grid3;
struct PointList2;
struct PointList3;
struct Reporter;
struct Solution2;
struct Solution3;

struct EvalAttributes {
    double EvalAccuracy;        // not above 0: the solution's default
    double LowPassFilterWidth;  // above 0: evaluate the function smoothed by this width
    int32_t PlanManyPoints;     // non-zero: choose the method for a million points
};

// The defaults (-1.0, 0.0, 0); null in gives null.
EvalAttributes* SetGridAttrDefaults(EvalAttributes* attributes);

struct EvalWorkspace {
    const void* Solution;  // identity of the solution it was built for
    int32_t Dimension;
    int32_t CentreCount;
    double** CentreRows;  // row table over the solution's centre block
    RapidEvalWorkspace Rapid;
};

// Makes (*workspace null), matches or repairs the workspace for the solution,
// kernel and accuracy, and gives its centre rows. 0, or 2 when memory runs out.
int CheckEvalWorkspace3(EvalWorkspace** workspace, const Solution3* solution, const BasicFunctionKernel* kernel,
                        double accuracy, double*** centreRows, Reporter* reporter);
int CheckEvalWorkspace2(EvalWorkspace** workspace, const Solution2* solution, const BasicFunctionKernel* kernel,
                        double accuracy, double*** centreRows, Reporter* reporter);
// Frees the workspace and sets the reference to null; null is allowed.
void EvalWorkspace_Free(EvalWorkspace** workspace);

// Warnings that evaluation of a core kernel type in a dimension takes order
// N² work (no fast method for values, resp. for gradients).
void WarnNoFastMethod(int32_t type, int32_t dimension, Reporter* reporter);
void WarnNoFastGradient(int32_t type, int32_t dimension, Reporter* reporter);

// Row views of the locations (and of the chosen set's gradients when
// gradientRows is given): for a list of one point the record itself serves
// as its table, else tracked tables are made, which PointList3_FreeRowViews
// releases. 0, or 2 after the core message when memory runs out.
int PointList3_RowViews(int32_t set, PointList3* points, Reporter* reporter, double*** locationRows,
                        double*** gradientRows);
int PointList2_RowViews(int32_t set, PointList2* points, Reporter* reporter, double*** locationRows,
                        double*** gradientRows);
void PointList3_FreeRowViews(const PointList3* points, double** locationRows, double** gradientRows);
void PointList2_FreeRowViews(const PointList2* points, double** locationRows, double** gradientRows);

// workspace: null keeps none; a reference to null receives a new one; a
// reference to a workspace reuses it when it fits.
int Selvane_PointEval3(const Solution3* solution, const EvalAttributes* attributes, EvalWorkspace** workspace,
                       PointList3* points, int32_t set, int32_t gradient, Reporter* reporter);
int Selvane_PointEval2(const Solution2* solution, const EvalAttributes* attributes, EvalWorkspace** workspace,
                       PointList2* points, int32_t set, int32_t gradient, Reporter* reporter);
// Exactly three of spacing, size, minimum and maximum are given.
int Selvane_GridEval3(const Solution3* solution, const EvalAttributes* attributes, EvalWorkspace** workspace,
                      Grid3* grid, const double* spacing, const int32_t* size, const double* minimum,
                      const double* maximum, int32_t gradient, Reporter* reporter);
int Selvane_GridEval2(const Solution2* solution, const EvalAttributes* attributes, EvalWorkspace** workspace,
                      Grid2* grid, const double* spacing, const int32_t* size, const double* minimum,
                      const double* maximum, int32_t gradient, Reporter* reporter);

#endif

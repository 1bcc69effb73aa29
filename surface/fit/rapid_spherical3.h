// RapidSpherical3: the compactly supported spherical kernel in three
// dimensions, evaluated at a point over only the centres within its support
// radius, found by a k-d tree. Core statuses: 0, 2 no memory, 5 invalid input
// or a workspace that is not initialised, 10 user abort, 23 a missing
// argument, and the tree build's.
#ifndef SURFACE_FIT_RAPID_SPHERICAL3_H
#define SURFACE_FIT_RAPID_SPHERICAL3_H

#include <cstdint>

#include "surface/frame/basic_function.h"
#include "surface/search/kd_tree.h"

struct CoreReporter;

struct RapidSpherical3Workspace {
    int32_t Initialised;
    KdTreeN Tree;
    int32_t N;
    const double* const* CentresId;  // identity of the centre array the tree was built for
    BasicFunctionKernel Kernel;
    const double** Near;  // centres found for one point
    double* NearCoeffs;
};

int RapidSpherical3_Init(int32_t N, const double* const* centres, const BasicFunctionKernel* kernel,
                         RapidSpherical3Workspace* ws, const CoreReporter* reporter);
int RapidSpherical3_PointEval(RapidSpherical3Workspace* ws, const double* coeffs, int32_t M,
                              const double* const* points, double* values, const CoreReporter* reporter, double target);
int RapidSpherical3_PointGradient(RapidSpherical3Workspace* ws, const double* coeffs, int32_t M,
                                  const double* const* points, double* values, double* const* gradients,
                                  const CoreReporter* reporter, double target);
int RapidSpherical3_GridEval(RapidSpherical3Workspace* ws, const double* coeffs, const double* base,
                             const double* spacing, const int32_t* size, double* values, const CoreReporter* reporter,
                             double target);
int RapidSpherical3_GridGradient(RapidSpherical3Workspace* ws, const double* coeffs, const double* base,
                                 const double* spacing, const int32_t* size, double* values, double* const* gradients,
                                 const CoreReporter* reporter, double target);
void RapidSpherical3_Free(RapidSpherical3Workspace* ws);

#endif

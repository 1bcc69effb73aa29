// Fast evaluators of the three-dimensional multiquadric family over
// MQExpansion: RapidMQ3 (φ = (r² + c²)^{k/2}; the triharmonic kernel r³
// through the cubic entries, k = 3 and c = 0), ScaledMQ3 (the normalised
// multiquadric, times c^{-k}) and RapidASphere3 (the approximate spherical
// kernel: a cone inside r0, a scaled inverse multiquadric tail beyond).
//
// Core statuses: 0, 2 no memory, 5 invalid input or a workspace that is not
// initialised, 10 user abort, 17 a negative accuracy, and MQExpansion's.
#ifndef SURFACE_FIT_RAPID_MQ3_H
#define SURFACE_FIT_RAPID_MQ3_H

#include <cstdint>

#include "surface/fit/mq_expansion.h"

struct CoreReporter;

struct RapidMQ3Workspace {
    MQExpansion Expansion;
    double Accuracy;
    double LevelAccuracy;
    double Scale;  // ScaledMQ3's c^{-k} (1 for the others)
};

struct RapidASphere3Workspace {
    RapidMQ3Workspace MQ;
    double F0;     // c^{-k}
    double R02;    // r0² = c² / (1 - k)
    double Slope;  // a = k / (2 c √(1 - k))
    double W;      // 2 v^{k-2}, v = √((2 - k)/(1 - k))
    double F;      // F0 / w
};

int RapidMQ3_InitTree(int32_t N, int32_t dimension, int32_t numInPanel, const double* const* centres,
                      RapidMQ3Workspace* ws, const CoreReporter* reporter);
int RapidMQ3_InitAccuracy(int32_t N, int32_t p, int32_t k, double c, double accuracy, const double* coeffs,
                          int32_t differentiate, RapidMQ3Workspace* ws, const CoreReporter* reporter, double target);
int RapidMQ3_Init(int32_t N, int32_t dimension, int32_t numInPanel, const double* const* centres, int32_t p, int32_t k,
                  double c, double accuracy, const double* coeffs, int32_t differentiate, RapidMQ3Workspace* ws,
                  const CoreReporter* reporter, double target);
int RapidMQ3_PointEval(RapidMQ3Workspace* ws, int32_t M, const double* const* points, double* values,
                       const CoreReporter* reporter, double target);
int RapidMQ3_PointGradient(RapidMQ3Workspace* ws, int32_t M, const double* const* points, double* values,
                           double* const* gradients, const CoreReporter* reporter, double target);
int RapidMQ3_GridEval(RapidMQ3Workspace* ws, const double* base, const double* spacing, const int32_t* size,
                      double* values, const CoreReporter* reporter, double target);
int RapidMQ3_GridGradient(RapidMQ3Workspace* ws, const double* base, const double* spacing, const int32_t* size,
                          double* values, double* const* gradients, const CoreReporter* reporter, double target);
double RapidMQ3_ValueAt(RapidMQ3Workspace* ws, const double* point);
void RapidMQ3_GradientAt(RapidMQ3Workspace* ws, const double* point, double* value, double* gradient);
void RapidMQ3_Free(RapidMQ3Workspace* ws);
void RapidMQ3_FreeTree(RapidMQ3Workspace* ws);

int RapidMQ3_InitTree3(int32_t N, int32_t numInPanel, const double* const* centres, RapidMQ3Workspace* ws,
                       const CoreReporter* reporter);
int RapidMQ3_InitAccuracyCubic(int32_t N, int32_t p, double accuracy, const double* coeffs, int32_t differentiate,
                               RapidMQ3Workspace* ws, const CoreReporter* reporter, double target);
int RapidMQ3_InitCubic(int32_t N, int32_t numInPanel, const double* const* centres, int32_t p, double accuracy,
                       const double* coeffs, int32_t differentiate, RapidMQ3Workspace* ws, const CoreReporter* reporter,
                       double target);
int32_t MQExpansion_Bytes3(const MQExpansion* record, int32_t p, int32_t differentiated);

int ScaledMQ3_InitAccuracy(int32_t N, int32_t p, int32_t k, double c, double accuracy, const double* coeffs,
                           int32_t differentiate, RapidMQ3Workspace* ws, const CoreReporter* reporter, double target);
int ScaledMQ3_Init(int32_t N, int32_t dimension, int32_t numInPanel, const double* const* centres, int32_t p, int32_t k,
                   double c, double accuracy, const double* coeffs, int32_t differentiate, RapidMQ3Workspace* ws,
                   const CoreReporter* reporter, double target);
int ScaledMQ3_PointEval(RapidMQ3Workspace* ws, int32_t M, const double* const* points, double* values,
                        const CoreReporter* reporter, double target);
int ScaledMQ3_PointGradient(RapidMQ3Workspace* ws, int32_t M, const double* const* points, double* values,
                            double* const* gradients, const CoreReporter* reporter, double target);
int ScaledMQ3_GridEval(RapidMQ3Workspace* ws, const double* base, const double* spacing, const int32_t* size,
                       double* values, const CoreReporter* reporter, double target);
int ScaledMQ3_GridGradient(RapidMQ3Workspace* ws, const double* base, const double* spacing, const int32_t* size,
                           double* values, double* const* gradients, const CoreReporter* reporter, double target);

int RapidASphere3_InitTree(int32_t N, int32_t dimension, int32_t numInPanel, const double* const* centres,
                           RapidASphere3Workspace* ws, const CoreReporter* reporter);
int RapidASphere3_InitAccuracy(int32_t N, int32_t p, int32_t k, double c, double accuracy, const double* coeffs,
                               int32_t differentiate, RapidASphere3Workspace* ws, const CoreReporter* reporter,
                               double target);
int RapidASphere3_Init(int32_t N, int32_t dimension, int32_t numInPanel, const double* const* centres, int32_t p,
                       int32_t k, double c, double accuracy, const double* coeffs, int32_t differentiate,
                       RapidASphere3Workspace* ws, const CoreReporter* reporter, double target);
int RapidASphere3_PointEval(RapidASphere3Workspace* ws, int32_t M, const double* const* points, double* values,
                            const CoreReporter* reporter, double target);
int RapidASphere3_PointGradient(RapidASphere3Workspace* ws, int32_t M, const double* const* points, double* values,
                                double* const* gradients, const CoreReporter* reporter, double target);
int RapidASphere3_GridEval(RapidASphere3Workspace* ws, const double* base, const double* spacing, const int32_t* size,
                           double* values, const CoreReporter* reporter, double target);
int RapidASphere3_GridGradient(RapidASphere3Workspace* ws, const double* base, const double* spacing,
                               const int32_t* size, double* values, double* const* gradients,
                               const CoreReporter* reporter, double target);
void RapidASphere3_Free(RapidASphere3Workspace* ws);
void RapidASphere3_FreeTree(RapidASphere3Workspace* ws);

#endif

// Sweep registration: every visible sweep is aligned against all the others
// by iterative closest points, point to tangent plane and in both directions.
// The movement is applied to the scan at once and accumulated per sweep
// (flag kSweepPendingTransform) so that SweepReg_ApplyPending can take it back.
//
// The alignment reports progress through one process-wide hook, so one
// registration runs at a time; the scan is changed only after the alignment.
#pragma once

#include "app/scan/geometry.h"
#include "app/scan/kd_tree.h"
#include "app/scan/raw_data.h"

#include <cstdint>
#include <functional>

struct SweepRegParameters {
    float StopThreshold = 0.0f;  // rounds stop once every sweep's error is below it
    int32_t Iterations = 5;      // most rounds over all sweeps
    float SearchRadius = 5.0f;   // nearest-point search, and the margin of the overlap test
    float SupportRadius = 2.0f;  // a projected point needs a neighbour this close
    int32_t Samples = 400;       // most pairs one sweep contributes against one other
    float* InitialError = nullptr;
    float* FinalError = nullptr;
};

// Results of SweepReg_Run.
constexpr int kSweepRegDone = 0;
constexpr int kSweepRegCancelled = 1;
constexpr int kSweepRegBadParameters = 2;
constexpr int kSweepRegTooFewSweeps = 4;
constexpr int kSweepRegOutOfMemory = 5;
constexpr int kSweepRegFailed = 6;

// One sweep taking part in an alignment; its arrays belong to whoever made it.
struct SweepRegSweep {
    int32_t Count;
    Vec3* Points;
    Vec3* Normals;
    Matrix4 Transform;  // accumulated movement, starts as identity
    KdTree* Tree;       // over Points
    float Error;        // root-mean-square pair distance after the last step
};

// The progress hook: (context, fraction 0..1), non-zero to go on. With no
// hook installed an alignment stops at once.
using SweepRegHook = int (*)(void* context, float fraction);
void SweepReg_SetProgressHook(SweepRegHook hook, void* context);

// The step texts (locale keys) with a fraction; false: stop.
using SweepRegStepReport = std::function<bool(const char* key, float fraction)>;

// Registers the visible sweeps of raw: kSweepRegDone, kSweepRegCancelled,
// kSweepRegBadParameters (no samples or no search radius),
// kSweepRegTooFewSweeps, kSweepRegOutOfMemory (while preparing) or
// kSweepRegFailed. Both error slots are written (-1 until known).
int SweepReg_Run(RawData& raw, const SweepRegParameters& params, const SweepRegStepReport& report);

// Takes every pending registration back and clears the flags.
void SweepReg_ApplyPending(RawData& raw);

// 1 ok; 0 cancelled or out of memory.
int SweepReg_Align(SweepRegSweep* sweeps, int32_t count, const SweepRegParameters& params, float* initialError,
                   float* finalError);

// The rigid transform that best maps the source points onto the target
// points (a proper rotation about the centroids, then a translation).
// 0 when fewer than three pairs are given or the decomposition fails.
int SweepReg_IcpStep(int32_t count, const Vec3* source, const Vec3* target, Matrix4& transform, float* scale,
                     float* errorBefore, float* errorAfter);

// Moves sweep s of raw by m: its profiles (pose and points), its scan
// points and normals and its facet normals.
void SweepReg_MoveSweep(RawData& raw, int32_t s, const Matrix4& m);

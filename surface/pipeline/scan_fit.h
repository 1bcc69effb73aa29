// The scan pipeline behind the five exports: the restart-stage rules, the
// freeing of what a stage must rebuild, the message relay to the host, the
// three stages (fit, surface and trim, simplify) and the small geometry
// helpers they use. Portable: the exports only guard these against
// exceptions.
#ifndef SURFACE_PIPELINE_SCAN_FIT_H
#define SURFACE_PIPELINE_SCAN_FIT_H

#include <cstdarg>
#include <cstdint>

#include "surface/frame/geometry_types.h"
#include "surface/frame/reporter.h"
#include "surface/pipeline/morlith_api.h"

// The stage a build must restart at after the parameters change from `held`
// to `next`: 0 when forced or a fitting value changed, 1 when the view, the
// resolution, the margin, the trim mode or the face style changed, 2 when
// the simplification changed, else 3. MemoryToUse is never compared.
int32_t ScanFit_RestartStage(const ScanFitParams* held, const ScanFitParams* next, int32_t force);

// Frees by the context's stage: 0 the solution, the input list and both
// meshes; 1 both meshes; 2 the simplified mesh; any other value nothing.
void ScanFit_FreeStageData(ScanFitContext* context);

// The reporter callback of the pipeline: hands level, format and arguments to
// the host function of the context named by the reporter's user pointer.
int ScanFit_ForwardMessage(Reporter* reporter, int32_t level, const char* format, va_list args);
// A message of the pipeline itself, straight to the host function.
int ScanFit_HostMessage(ScanFitContext* context, int32_t level, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// SetParams, SetInput, Process and FreeData as the exports run them.
void ScanFit_SetParams(ScanFitContext* context, const ScanFitParams* params, int32_t force);
// 1 when the list was replaced; 0 (nothing changed) for a negative count or
// null points with a positive count; 0 with an empty list when memory runs
// out.
int ScanFit_SetInput(ScanFitContext* context, int32_t count, const float* points);
int ScanFit_Process(ScanFitContext* context, int32_t count, const float* points, const float* normals);
void ScanFit_FreeData(ScanFitContext* context);

// The stages; each returns 1 on success, 0 on failure after its messages
// (the caller frees by stage).
int ScanFit_FitStage(ScanFitContext* context, int32_t count, const float* points, const float* normals);
int ScanFit_SurfaceStage(ScanFitContext* context);
int ScanFit_SimplifyStage(ScanFitContext* context);

// The isosurface seeds: at most 1000 input points, every stride-th from the
// first, stride (n - 1) / 1000 + 1 (1 for an empty input). The seed list is
// created here; 2 when memory runs out, else 0.
int ScanFit_MakeSeeds(const PointList3* input, PointList3* seeds);
// The region of the surface: the box of the input points transformed by the
// view matrix, widened by `margin` on every side.
void ScanFit_Region(const PointList3* input, const Mat4d* view, double margin, double* regionMin, double* regionMax);

// The view matrix as doubles.
void ScanFit_ViewMatrix(const ScanFitParams* params, Mat4d* out);
// The rigid inverse: transposed rotation, translation -t·Rᵀ.
void ScanFit_InverseTransform(const Mat4d* matrix, Mat4d* out);
// Transforms `count` three-double points in place (row vectors).
void ScanFit_TransformPoints(const Mat4d* matrix, int32_t count, double* points);

// Component-wise minimum and maximum of two points; out may be either.
void Vec3_MinOf(const double* a, const double* b, double* out);
void Vec3_MaxOf(const double* a, const double* b, double* out);
// Copy a three-double point or a 4 x 4 double matrix unless source and
// destination are the same.
void CopyWords6(const void* source, void* destination);
void Mat4_Copy(const Mat4d* source, Mat4d* destination);

#endif

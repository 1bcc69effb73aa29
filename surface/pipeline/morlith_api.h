// The boundary of Morlith.dll: the context record that the main program owns
// and hands to every export, the parameter block it passes, the host's
// message function and the five exports. This is the one library header the
// main program includes; it loads the library by name and looks the exports
// up by name, so the function pointer types are given beside the prototypes.
//
// Both deliverables are built against the 32-bit layout below (offsets in
// bytes, pointers 4 bytes, little-endian), pinned in the 32-bit Windows build
// by the static_asserts at the end; other builds pin the parameter block and
// the order of the context's fields.
//
//   ScanFitContext (576 bytes)            ScanFitParams (136 bytes, 34 fields)
//     0 Params (ScanFitParams)              0 ViewMatrix[16] float
//   136 HostMessage                        64 ViewOrigin[3]  float
//   140 Stage                              76 InputFilter    float
//   144 Report (Reporter, 40)              80 InputResolution float
//   184 Input (PointList3, 44)             84 InputSimplifyError float
//   228 (four unused bytes)                88 Limit          int32
//   232 Solution (Solution3, 192)          92 Accuracy       float
//   424 SurfaceMesh (Mesh3, 68)            96 Resolution     float
//   492 SimplifiedMesh (Mesh3, 68)        100 MemoryToUse    int32 (MiB)
//   560 OutputMesh                        104 ExtraTrim      float
//   564 LivePointCount                    108 Close          int32
//   568 LiveTriangleCount                 112 DoSimplify     int32
//   572 (four unused bytes)               116 SimpError      float
//                                         120 SimpAngle      float
//                                         124 SimpNFaces     int32
//                                         128 SimpNPoints    int32
//                                         132 FaceStyle      int32
#ifndef SURFACE_PIPELINE_MORLITH_API_H
#define SURFACE_PIPELINE_MORLITH_API_H

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "surface/frame/mesh3.h"
#include "surface/frame/point_list.h"
#include "surface/frame/reporter.h"
#include "surface/frame/solution.h"

#if defined(_WIN32)
#define MORLITH_CALL __cdecl
#else
#define MORLITH_CALL
#endif

// The parameters of one build. The names are those under which the main
// program stores them with a scan. Fields 16 to 22 are only compared: a
// change of them restarts the build at the fit (19 to 22) or the surface
// (16 to 18).
struct ScanFitParams {
    float ViewMatrix[16];      // 0-15: voxel grid orientation, region frame, simplification frame
    float ViewOrigin[3];       // 16-18
    float InputFilter;         // 19
    float InputResolution;     // 20: point spacing; density points lie 5 x this off the surface
    float InputSimplifyError;  // 21
    int32_t Limit;             // 22
    float Accuracy;            // 23: fitting accuracy; below 0.3 centre reduction, else error bar
    float Resolution;          // 24: isosurface voxel edge
    int32_t MemoryToUse;       // 25: fit memory limit in MiB; never compared
    float ExtraTrim;           // 26: added to Resolution for the box margin and the trim distance
    int32_t Close;             // 27: 1 closed (caps), 2 trim by distance, 3 boundary trim, else none
    int32_t DoSimplify;        // 28: non-zero runs the simplification
    float SimpError;           // 29
    float SimpAngle;           // 30
    int32_t SimpNFaces;        // 31
    int32_t SimpNPoints;       // 32
    int32_t FaceStyle;         // 33: 1 asks the isosurfacer for quadrilaterals
};

// The host's message function: the level (1 error, 2 warning, 3 success ...),
// a printf-style format and its arguments. Its result is passed back.
typedef int(MORLITH_CALL* HostMessageFunction)(int32_t level, const char* format, va_list args);

// Restart stages.
enum ScanFitStage : int32_t {
    ScanFitStage_Fit = 0,
    ScanFitStage_Surface = 1,
    ScanFitStage_Simplify = 2,
    ScanFitStage_Done = 3,
};

// Owned by the main program, zero-filled once; the library keeps its data in
// it. While a build runs, the main program may read Report.progress and the
// count LiveTriangleCount points at, and write Report.abort.
struct ScanFitContext {
    ScanFitParams Params;
    HostMessageFunction HostMessage;
    int32_t Stage;
    Reporter Report;
    PointList3 Input;  // the fitted points (Location only), also the trim set
    Solution3 Solution;
    Mesh3 SurfaceMesh;           // the isosurface after trimming
    Mesh3 SimplifiedMesh;        // the simplified surface
    Mesh3* OutputMesh;           // the mesh the main program copies after a build
    int32_t* LivePointCount;     // the surface's point count while isosurfacing, else null
    int32_t* LiveTriangleCount;  // the surface's triangle count while isosurfacing, else null
};

// The five exports: plain C names, cdecl, every one returning int.
extern "C" {
// Stores the host's message function; returns it (as an int).
int MORLITH_CALL Morlith_SetFuncs(ScanFitContext* context, HostMessageFunction function);
// Lowers the restart stage by what changed against the held parameters (all
// of them when force is non-zero), frees what must be rebuilt and copies the
// parameters (the simplification targets only while DoSimplify is on).
int MORLITH_CALL Morlith_SetParams(ScanFitContext* context, const ScanFitParams* params, int32_t force);
// Replaces the input point list with `count` float triples; the stage stays.
int MORLITH_CALL Morlith_SetInput(ScanFitContext* context, int32_t count, const float* points);
// Runs the build from the context's stage: 1 on success or when there is
// nothing to do, 0 on failure (reported through the host's function).
int MORLITH_CALL Morlith_Process(ScanFitContext* context, int32_t count, const float* points, const float* normals);
// Stage 0; frees the solution, the input list and both meshes.
int MORLITH_CALL Morlith_FreeData(ScanFitContext* context);
}

typedef int(MORLITH_CALL* Morlith_SetFuncsFunction)(ScanFitContext*, HostMessageFunction);
typedef int(MORLITH_CALL* Morlith_SetParamsFunction)(ScanFitContext*, const ScanFitParams*, int32_t);
typedef int(MORLITH_CALL* Morlith_SetInputFunction)(ScanFitContext*, int32_t, const float*);
typedef int(MORLITH_CALL* Morlith_ProcessFunction)(ScanFitContext*, int32_t, const float*, const float*);
typedef int(MORLITH_CALL* Morlith_FreeDataFunction)(ScanFitContext*);

// The parameter block is 34 four-byte fields in every build.
static_assert(sizeof(ScanFitParams) == 136, "ScanFitParams is 34 four-byte fields");
static_assert(offsetof(ScanFitParams, ViewMatrix) == 0 && offsetof(ScanFitParams, ViewOrigin) == 64 &&
                  offsetof(ScanFitParams, InputFilter) == 76 && offsetof(ScanFitParams, InputResolution) == 80 &&
                  offsetof(ScanFitParams, InputSimplifyError) == 84 && offsetof(ScanFitParams, Limit) == 88 &&
                  offsetof(ScanFitParams, Accuracy) == 92 && offsetof(ScanFitParams, Resolution) == 96 &&
                  offsetof(ScanFitParams, MemoryToUse) == 100 && offsetof(ScanFitParams, ExtraTrim) == 104 &&
                  offsetof(ScanFitParams, Close) == 108 && offsetof(ScanFitParams, DoSimplify) == 112 &&
                  offsetof(ScanFitParams, SimpError) == 116 && offsetof(ScanFitParams, SimpAngle) == 120 &&
                  offsetof(ScanFitParams, SimpNFaces) == 124 && offsetof(ScanFitParams, SimpNPoints) == 128 &&
                  offsetof(ScanFitParams, FaceStyle) == 132,
              "ScanFitParams field offsets");

// The context's fields in their order, in every build.
static_assert(offsetof(ScanFitContext, Params) == 0 && offsetof(ScanFitContext, HostMessage) == sizeof(ScanFitParams) &&
                  offsetof(ScanFitContext, HostMessage) < offsetof(ScanFitContext, Stage) &&
                  offsetof(ScanFitContext, Stage) < offsetof(ScanFitContext, Report) &&
                  offsetof(ScanFitContext, Report) < offsetof(ScanFitContext, Input) &&
                  offsetof(ScanFitContext, Input) < offsetof(ScanFitContext, Solution) &&
                  offsetof(ScanFitContext, Solution) < offsetof(ScanFitContext, SurfaceMesh) &&
                  offsetof(ScanFitContext, SurfaceMesh) < offsetof(ScanFitContext, SimplifiedMesh) &&
                  offsetof(ScanFitContext, SimplifiedMesh) < offsetof(ScanFitContext, OutputMesh) &&
                  offsetof(ScanFitContext, OutputMesh) < offsetof(ScanFitContext, LivePointCount) &&
                  offsetof(ScanFitContext, LivePointCount) < offsetof(ScanFitContext, LiveTriangleCount),
              "ScanFitContext field order");

#if defined(_WIN32) && !defined(_WIN64)
// The shipped 32-bit layout, byte for byte.
static_assert(sizeof(Reporter) == 40 && sizeof(PointList3) == 44 && sizeof(Solution3) == 192 && sizeof(Mesh3) == 68,
              "record sizes inside the context");
static_assert(offsetof(Reporter, operation) == 0 && offsetof(Reporter, progress) == 8 &&
                  offsetof(Reporter, startClock) == 16 && offsetof(Reporter, abort) == 20 &&
                  offsetof(Reporter, callback) == 24 && offsetof(Reporter, maximumLevel) == 28 &&
                  offsetof(Reporter, user) == 32,
              "Reporter field offsets");
static_assert(offsetof(PointList3, Count) == 24, "the input count the main program sets");
static_assert(sizeof(ScanFitContext) == 576, "ScanFitContext is 576 bytes");
static_assert(offsetof(ScanFitContext, HostMessage) == 136 && offsetof(ScanFitContext, Stage) == 140 &&
                  offsetof(ScanFitContext, Report) == 144 && offsetof(ScanFitContext, Input) == 184 &&
                  offsetof(ScanFitContext, Solution) == 232 && offsetof(ScanFitContext, SurfaceMesh) == 424 &&
                  offsetof(ScanFitContext, SimplifiedMesh) == 492 && offsetof(ScanFitContext, OutputMesh) == 560 &&
                  offsetof(ScanFitContext, LivePointCount) == 564 && offsetof(ScanFitContext, LiveTriangleCount) == 568,
              "ScanFitContext field offsets");
#endif

#endif

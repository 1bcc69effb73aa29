// The context's bookkeeping: which stage a parameter change restarts at, what
// each stage frees, the input list, and the relay of messages to the host.
#include <cstdio>
#include <cstring>

#include "surface/frame/mesh3.h"
#include "surface/frame/point_list.h"
#include "surface/frame/record_memory.h"
#include "surface/frame/solution.h"
#include "surface/pipeline/scan_fit.h"

int32_t ScanFit_RestartStage(const ScanFitParams* held, const ScanFitParams* next, int32_t force) {
    // Floats as floats, so that 0.0 and -0.0 are the same value; the view is
    // compared byte by byte.
    if (force != 0 || held->InputFilter != next->InputFilter || held->InputResolution != next->InputResolution ||
        held->Accuracy != next->Accuracy || held->Limit != next->Limit ||
        held->InputSimplifyError != next->InputSimplifyError)
        return ScanFitStage_Fit;
    if (std::memcmp(held->ViewMatrix, next->ViewMatrix, sizeof held->ViewMatrix) != 0 ||
        std::memcmp(held->ViewOrigin, next->ViewOrigin, sizeof held->ViewOrigin) != 0 ||
        held->Resolution != next->Resolution || held->ExtraTrim != next->ExtraTrim || held->Close != next->Close ||
        held->FaceStyle != next->FaceStyle)
        return ScanFitStage_Surface;
    if (held->DoSimplify != next->DoSimplify ||
        (next->DoSimplify != 0 && (held->SimpError != next->SimpError || held->SimpAngle != next->SimpAngle ||
                                   held->SimpNFaces != next->SimpNFaces || held->SimpNPoints != next->SimpNPoints)))
        return ScanFitStage_Simplify;
    return ScanFitStage_Done;
}

void ScanFit_FreeStageData(ScanFitContext* context) {
    switch (context->Stage) {
        case ScanFitStage_Fit:
            Solution3_Free(&context->Solution);
            PointList3_Free(&context->Input);
            [[fallthrough]];
        case ScanFitStage_Surface:
            Mesh3_Free(&context->SurfaceMesh);
            [[fallthrough]];
        case ScanFitStage_Simplify:
            Mesh3_Free(&context->SimplifiedMesh);
            break;
        default:
            break;
    }
}

int ScanFit_ForwardMessage(Reporter* reporter, int32_t level, const char* format, va_list args) {
    if (reporter == nullptr || reporter->user == nullptr) return 0;
    const ScanFitContext* context = static_cast<const ScanFitContext*>(reporter->user);
    if (context->HostMessage == nullptr) return 0;
    return context->HostMessage(level, format, args);
}

int ScanFit_HostMessage(ScanFitContext* context, int32_t level, const char* format, ...) {
    if (context->HostMessage == nullptr) return 0;
    va_list args;
    va_start(args, format);
    const int result = context->HostMessage(level, format, args);
    va_end(args);
    return result;
}

void ScanFit_SetParams(ScanFitContext* context, const ScanFitParams* params, int32_t force) {
    const int32_t stage = ScanFit_RestartStage(&context->Params, params, force);
    if (stage < context->Stage) context->Stage = stage;
    // At stage 2 the surface mesh is the result until a simplification
    // succeeds again.
    if (context->Stage == ScanFitStage_Simplify) context->OutputMesh = &context->SurfaceMesh;
    ScanFit_FreeStageData(context);
    ScanFitParams copy = *params;
    if (params->DoSimplify == 0) {
        copy.SimpError = context->Params.SimpError;
        copy.SimpAngle = context->Params.SimpAngle;
        copy.SimpNFaces = context->Params.SimpNFaces;
        copy.SimpNPoints = context->Params.SimpNPoints;
    }
    context->Params = copy;
}

int ScanFit_SetInput(ScanFitContext* context, int32_t count, const float* points) {
    if (count < 0 || (count > 0 && points == nullptr)) return 0;
    // The held list is replaced, not overwritten: its arrays would be lost.
    PointList3_Free(&context->Input);
    if (PointList3_Create(&context->Input, count, 0, 0, 0, 0, 0) != 0) return 0;
    for (int64_t i = 0; i < 3 * static_cast<int64_t>(count); ++i) context->Input.Location[i] = points[i];
    context->Input.Count = count;
    return 1;
}

void ScanFit_FreeData(ScanFitContext* context) {
    context->Stage = ScanFitStage_Fit;
    ScanFit_FreeStageData(context);
}

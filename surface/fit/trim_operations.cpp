#include "surface/fit/trim_operations.h"

#include "surface/fit/crop_operations.h"
#include "surface/fit/flag_compaction.h"
#include "surface/fit/trim_flags.h"
#include "surface/frame/mesh3.h"
#include "surface/frame/operation_frame.h"
#include "surface/frame/operation_numbers.h"
#include "surface/frame/point_list.h"
#include "surface/frame/reporter.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"

namespace {

bool Speaks(const Reporter* r, int32_t level) {
    return r != nullptr && r->callback != nullptr && r->maximumLevel >= level;
}

void Lines(Reporter* reporter, const char* label, int32_t value) {
    if (Speaks(reporter, kLevelInfo)) Reporter_Value(reporter, label, "%d", value);
}

void MeshLines(Reporter* reporter, const Mesh3& mesh, const char* points, const char* tris, const char* quads) {
    Lines(reporter, points, mesh.Points.Count);
    if (mesh.Faces.Tri) Lines(reporter, tris, mesh.Faces.TriCount);
    if (mesh.Faces.Quad) Lines(reporter, quads, mesh.Faces.QuadCount);
}

// The checks shared by every trim: the trim list, then the distance (NaN
// fails too). Returns 0 or the refusal's status.
template <typename List>
int CheckTrim(const List* trim, double distance, Reporter* reporter,
              int (*check)(const List*, const char*, int32_t, Reporter*, int32_t, int32_t, int32_t, int32_t, int32_t)) {
    if (!check(trim, "Trim", 0, reporter, 0, 0, 0, 0, 0)) return ApiStatus_BadPointList;
    if (!(distance > 0.0)) {
        if (Speaks(reporter, kLevelError)) Reporter_Error(reporter, "Trim distance must be positive");
        return ApiStatus_NegativeDistance;
    }
    if (Speaks(reporter, kLevelInfo)) Reporter_Value(reporter, "Trim Distance", "%g", distance);
    return ApiStatus_Success;
}

int CheckMask(const int32_t* mask, const int32_t* keptCount, Reporter* reporter) {
    if (mask && keptCount) return ApiStatus_Success;
    if (Speaks(reporter, kLevelError)) Reporter_Error(reporter, "Mask or count argument was NULL");
    return ApiStatus_InvalidArgument;
}

int32_t* AllocFlags(int32_t count, Reporter* reporter) {
    int32_t* flags = Mem_AllocInts(count > 0 ? count : 1);
    if (!flags && Speaks(reporter, kLevelError)) Reporter_Error(reporter, "Memory allocation failed");
    return flags;
}

int32_t MaskFromFlags(const int32_t* flags, int32_t count, int32_t* mask) {
    int32_t kept = 0;
    for (int32_t i = 0; i < count; ++i) {
        mask[i] = flags[i] == 0 ? 1 : 0;
        kept += mask[i];
    }
    return kept;
}

using FlagTest = int (*)(int32_t, const double*, int32_t, const double*, double, int32_t*, const CoreReporter*);

// The point-list trims of either dimension: flags, then either the
// compaction or the mask.
template <typename List>
int TrimList(List* list, const List* trim, double distance, int32_t* mask, int32_t* keptCount, Reporter* reporter,
             FlagTest test, int (*removeFlagged)(const int32_t*, List*, const CoreReporter*)) {
    Lines(reporter, "Input Points", list->Count);
    int32_t* flags = AllocFlags(list->Count, reporter);
    if (!flags) return OperationFrame_Finish(reporter, ApiStatus_NoMemory);
    CoreReporter core;
    OperationFrame_CoreReporter(&core, reporter, Reporter_CoreLevel(reporter ? reporter->maximumLevel : 0), 0);
    int status = test(list->Count, list->Location, trim->Count, trim->Location, distance, flags, &core);
    int32_t output = list->Count;
    if (status == CoreStatus_Success) {
        if (mask) {
            output = *keptCount = MaskFromFlags(flags, list->Count, mask);
        } else {
            // A compaction that cannot get its order array fails the trim
            // instead of passing the untrimmed list as success.
            status = removeFlagged(flags, list, &core);
            output = list->Count;
        }
    }
    Mem_Free(flags);
    if (status == CoreStatus_Success) Lines(reporter, "Output Points", output);
    return OperationFrame_Finish(reporter, CoreStatus_ToApiStatus(status));
}

template <typename List>
int TrimPointList(int32_t operation, List* list, const List* trim, double distance, int32_t* mask, int32_t* keptCount,
                  bool masked, Reporter* reporter, FlagTest test,
                  int (*check)(const List*, const char*, int32_t, Reporter*, int32_t, int32_t, int32_t, int32_t,
                               int32_t),
                  int (*removeFlagged)(const int32_t*, List*, const CoreReporter*)) {
    OperationFrame_Begin(reporter, operation);
    if (!check(list, "Input", 0, reporter, 0, 0, 0, 0, 0)) {
        return OperationFrame_Refuse(reporter, ApiStatus_BadPointList);
    }
    int status = CheckTrim(trim, distance, reporter, check);
    if (status == ApiStatus_Success && masked) status = CheckMask(mask, keptCount, reporter);
    if (status != ApiStatus_Success) return OperationFrame_Refuse(reporter, status);
    return TrimList(list, trim, distance, mask, keptCount, reporter, test, removeFlagged);
}

enum class MeshTrim { kDistance, kBoundary, kBoundaryMask };

int TrimMesh(Mesh3* mesh, const PointList3* trim, double distance, int32_t* mask, int32_t* keptCount, MeshTrim kind,
             Reporter* reporter) {
    OperationFrame_Begin(reporter, Op_TrimMesh3);
    if (!Mesh3_Check(mesh, reporter)) return OperationFrame_Refuse(reporter, ApiStatus_BadMesh);
    int status = CheckTrim(trim, distance, reporter, PointList3_Check);
    if (status == ApiStatus_Success && kind == MeshTrim::kBoundaryMask) status = CheckMask(mask, keptCount, reporter);
    if (status != ApiStatus_Success) return OperationFrame_Refuse(reporter, status);
    if (kind != MeshTrim::kDistance) Lines(reporter, "Trim Points", trim->Count);
    MeshLines(reporter, *mesh, "Input Points", "Input Tris", "Input Quads");
    int32_t* flags = AllocFlags(mesh->Points.Count, reporter);
    if (!flags) return OperationFrame_Finish(reporter, ApiStatus_NoMemory);
    CoreReporter core;
    OperationFrame_CoreReporter(&core, reporter, Reporter_CoreLevel(reporter ? reporter->maximumLevel : 0), 0);
    if (kind == MeshTrim::kDistance) {
        status =
            TrimFlags3(mesh->Points.Count, mesh->Points.Location, trim->Count, trim->Location, distance, flags, &core);
    } else {
        status = Mesh3_BoundaryTrimFlags(mesh, trim->Count, trim->Location, distance, flags, &core);
        if (status == CoreStatus_NoMemory && Speaks(reporter, kLevelError)) {
            Reporter_Error(reporter, "Memory allocation failed");
        }
    }
    if (status == CoreStatus_Success) {
        if (kind == MeshTrim::kBoundaryMask) {
            *keptCount = MaskFromFlags(flags, mesh->Points.Count, mask);
        } else {
            status = Mesh3_RemoveFlaggedPoints(flags, mesh, &core);
        }
    }
    Mem_Free(flags);
    if (status == CoreStatus_Success) MeshLines(reporter, *mesh, "Output Points", "Output Tris", "Output Quads");
    return OperationFrame_Finish(reporter, CoreStatus_ToApiStatus(status));
}

}  // namespace

int Selvane_TrimPointList2(PointList2* list, const PointList2* trim, double distance, Reporter* reporter) {
    return TrimPointList(Op_TrimPointList2, list, trim, distance, nullptr, nullptr, false, reporter, TrimFlags2,
                         PointList2_Check, PointList2_RemoveFlagged);
}

int Selvane_TrimPointList2Mask(const PointList2* list, const PointList2* trim, double distance, int32_t* mask,
                               int32_t* keptCount, Reporter* reporter) {
    // The mask form never compacts, so the list is only read.
    return TrimPointList(Op_TrimPointList2, const_cast<PointList2*>(list), trim, distance, mask, keptCount, true,
                         reporter, TrimFlags2, PointList2_Check, PointList2_RemoveFlagged);
}

int Selvane_TrimPointList3(PointList3* list, const PointList3* trim, double distance, Reporter* reporter) {
    return TrimPointList(Op_TrimPointList3, list, trim, distance, nullptr, nullptr, false, reporter, TrimFlags3,
                         PointList3_Check, PointList3_RemoveFlagged);
}

int Selvane_TrimPointList3Mask(const PointList3* list, const PointList3* trim, double distance, int32_t* mask,
                               int32_t* keptCount, Reporter* reporter) {
    return TrimPointList(Op_TrimPointList3, const_cast<PointList3*>(list), trim, distance, mask, keptCount, true,
                         reporter, TrimFlags3, PointList3_Check, PointList3_RemoveFlagged);
}

int Selvane_TrimMesh3(Mesh3* mesh, const PointList3* trim, double distance, Reporter* reporter) {
    return TrimMesh(mesh, trim, distance, nullptr, nullptr, MeshTrim::kDistance, reporter);
}

int Selvane_TrimMeshBoundary3(Mesh3* mesh, const PointList3* trim, double distance, Reporter* reporter) {
    return TrimMesh(mesh, trim, distance, nullptr, nullptr, MeshTrim::kBoundary, reporter);
}

int Selvane_TrimMesh3Mask(const Mesh3* mesh, const PointList3* trim, double distance, int32_t* mask, int32_t* keptCount,
                          Reporter* reporter) {
    return TrimMesh(const_cast<Mesh3*>(mesh), trim, distance, mask, keptCount, MeshTrim::kBoundaryMask, reporter);
}

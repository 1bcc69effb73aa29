#include "surface/fit/crop_operations.h"

#include "surface/fit/flag_compaction.h"
#include "surface/frame/face_list.h"
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

// 1 for every point outside the closed box.
template <int kDim>
void BoxFlags(int32_t count, const double* location, const double* min, const double* max, int32_t* flags) {
    for (int32_t i = 0; i < count; ++i) {
        const double* p = location + kDim * static_cast<int64_t>(i);
        flags[i] = 0;
        for (int d = 0; d < kDim; ++d) {
            if (min[d] > p[d] || p[d] > max[d]) flags[i] = 1;
        }
    }
}

void BoxFlags(const PointList3& list, const double* min, const double* max, int32_t* flags) {
    BoxFlags<3>(list.Count, list.Location, min, max, flags);
}

void BoxLines(Reporter* reporter, const double* min, const double* max) {
    if (!Speaks(reporter, kLevelInfo)) return;
    Reporter_Value(reporter, "Crop Min", "%.4g %.4g %.4g", min[0], min[1], min[2]);
    Reporter_Value(reporter, "Crop Max", "%.4g %.4g %.4g", max[0], max[1], max[2]);
}

// The point-list crop of either dimension: lines, flags and the compaction.
template <int kDim, typename List>
int CropList(List* list, const double* min, const double* max, Reporter* reporter,
             int (*removeFlagged)(const int32_t*, List*, const CoreReporter*)) {
    if (Speaks(reporter, kLevelInfo)) {
        if (kDim == 2) {
            Reporter_Value(reporter, "Crop Min", "%.4g %.4g", min[0], min[1]);
            Reporter_Value(reporter, "Crop Max", "%.4g %.4g", max[0], max[1]);
        } else {
            BoxLines(reporter, min, max);
        }
        Reporter_Value(reporter, "Input Points", "%d", list->Count);
    }
    int32_t* flags = Mem_AllocInts(list->Count > 0 ? list->Count : 1);
    int status = CoreStatus_NoMemory;
    if (flags) {
        BoxFlags<kDim>(list->Count, list->Location, min, max, flags);
        CoreReporter core;
        OperationFrame_CoreReporter(&core, reporter, 1, 0);
        // A compaction that cannot get its order array fails the operation
        // rather than passing the uncropped list as success.
        status = removeFlagged(flags, list, &core);
        Mem_Free(flags);
    } else if (Speaks(reporter, kLevelError)) {
        Reporter_Error(reporter, "Memory allocation failed");
    }
    if (status == CoreStatus_Success && Speaks(reporter, kLevelInfo)) {
        Reporter_Value(reporter, "Output Points", "%d", list->Count);
    }
    return OperationFrame_Finish(reporter, CoreStatus_ToApiStatus(status));
}

void MeshLines(Reporter* reporter, const Mesh3& mesh, const char* points, const char* tris, const char* quads) {
    if (!Speaks(reporter, kLevelInfo)) return;
    Reporter_Value(reporter, points, "%d", mesh.Points.Count);
    if (mesh.Faces.Tri) Reporter_Value(reporter, tris, "%d", mesh.Faces.TriCount);
    if (mesh.Faces.Quad) Reporter_Value(reporter, quads, "%d", mesh.Faces.QuadCount);
}

}  // namespace

int Mesh3_RemoveFlaggedPoints(const int32_t* flags, Mesh3* mesh, const CoreReporter* reporter) {
    FaceList& faces = mesh->Faces;
    const int32_t n = mesh->Points.Count;
    int32_t room = faces.TriCount > faces.QuadCount ? faces.TriCount : faces.QuadCount;
    int32_t* order = Mem_AllocInts(n > 0 ? n : 1);
    int32_t* faceFlags = Mem_AllocInts(room > 0 ? room : 1);
    if (!order || !faceFlags) {
        Mem_Free(order);
        Mem_Free(faceFlags);
        if (CoreReporter_Speaks(reporter, 1)) CoreReporter_Error(reporter, "Memory allocation failed");
        return CoreStatus_NoMemory;
    }
    int32_t kept = 0;
    Flags_CompactionOrder(flags, order, n, &kept);
    PointList3_Permute(order, n, &mesh->Points);
    mesh->Points.Count = kept;
    // The order is made of disjoint swaps, so it is its own inverse: point c
    // now lies at order[c].
    for (int32_t t = 0; t < faces.TriCount; ++t) {
        int32_t* c = faces.Tri + 3 * static_cast<int64_t>(t);
        faceFlags[t] = 0;
        for (int k = 0; k < 3; ++k) {
            c[k] = order[c[k]];
            if (c[k] >= kept) faceFlags[t] = 1;
        }
    }
    Index_CompactFlaggedCounted(faceFlags, &faces);
    for (int32_t q = 0; q < faces.QuadCount; ++q) {
        int32_t* c = faces.Quad + 4 * static_cast<int64_t>(q);
        faceFlags[q] = 0;
        for (int k = 0; k < 4; ++k) {
            c[k] = order[c[k]];
            if (c[k] >= kept) faceFlags[q] = 1;
        }
    }
    Index_CompactFlagged(faceFlags, faces.Quad, &faces.QuadCount);
    Mem_Free(order);
    Mem_Free(faceFlags);
    return CoreStatus_Success;
}

int Selvane_CropPointList3(PointList3* list, const double* min, const double* max, Reporter* reporter) {
    OperationFrame_Begin(reporter, Op_CropPointList3);
    if (!PointList3_Check(list, "Input", 0, reporter, 0, 0, 0, 0, 0)) {
        return OperationFrame_Refuse(reporter, ApiStatus_BadPointList);
    }
    if (!min || !max) {
        if (Speaks(reporter, kLevelError)) Reporter_Error(reporter, "Min or Max argument was NULL");
        return OperationFrame_Refuse(reporter, ApiStatus_InvalidArgument);
    }
    return CropList<3>(list, min, max, reporter, PointList3_RemoveFlagged);
}

int Selvane_CropPointList2(PointList2* list, const double* min, const double* max, Reporter* reporter) {
    OperationFrame_Begin(reporter, Op_CropPointList2);
    if (!PointList2_Check(list, "Input", 0, reporter, 0, 0, 0, 0, 0)) {
        return OperationFrame_Refuse(reporter, ApiStatus_BadPointList);
    }
    if (!min || !max) {
        if (Speaks(reporter, kLevelError)) Reporter_Error(reporter, "Min or Max argument was NULL");
        return OperationFrame_Refuse(reporter, ApiStatus_InvalidArgument);
    }
    return CropList<2>(list, min, max, reporter, PointList2_RemoveFlagged);
}

int Selvane_CropMesh3(Mesh3* mesh, const double* min, const double* max, Reporter* reporter) {
    OperationFrame_Begin(reporter, Op_CropMesh3);
    if (!Mesh3_Check(mesh, reporter)) return OperationFrame_Refuse(reporter, ApiStatus_BadMesh);
    if (!min || !max) {
        if (Speaks(reporter, kLevelError)) {
            Reporter_Error(reporter, "One or more of Min and Max arguments were NULL");
        }
        return OperationFrame_Refuse(reporter, ApiStatus_InvalidArgument);
    }
    BoxLines(reporter, min, max);
    MeshLines(reporter, *mesh, "Input Points", "Input Tris", "Input Quads");
    int32_t* flags = Mem_AllocInts(mesh->Points.Count);
    int status = CoreStatus_NoMemory;
    CoreReporter core;
    OperationFrame_CoreReporter(&core, reporter, 1, 0);
    if (flags) {
        BoxFlags(mesh->Points, min, max, flags);
        status = Mesh3_RemoveFlaggedPoints(flags, mesh, &core);
        Mem_Free(flags);
    } else if (Speaks(reporter, kLevelError)) {
        Reporter_Error(reporter, "Memory allocation failed");
    }
    if (status == CoreStatus_Success) MeshLines(reporter, *mesh, "Output Points", "Output Tris", "Output Quads");
    return OperationFrame_Finish(reporter, CoreStatus_ToApiStatus(status));
}

int Selvane_RemoveNonMeshPoints3(Mesh3* mesh, Reporter* reporter) {
    OperationFrame_Begin(reporter, Op_RemoveNonMeshPoints3);
    if (!Mesh3_Check(mesh, reporter)) return OperationFrame_Refuse(reporter, ApiStatus_BadMesh);
    const int32_t n = mesh->Points.Count;
    int32_t* flags = Mem_AllocInts(n);
    if (!flags) {
        if (Speaks(reporter, kLevelError)) Reporter_Error(reporter, "Memory allocation failed");
        return OperationFrame_Finish(reporter, ApiStatus_NoMemory);
    }
    for (int32_t i = 0; i < n; ++i) flags[i] = 1;
    const FaceList& faces = mesh->Faces;
    for (int64_t i = 0; i < 3 * static_cast<int64_t>(faces.TriCount); ++i) flags[faces.Tri[i]] = 0;
    for (int64_t i = 0; i < 4 * static_cast<int64_t>(faces.QuadCount); ++i) flags[faces.Quad[i]] = 0;
    int32_t unused = 0;
    for (int32_t i = 0; i < n; ++i) unused += flags[i];
    int status = CoreStatus_Success;
    if (unused > 0) {
        CoreReporter core;
        OperationFrame_CoreReporter(&core, reporter, 1, 0);
        status = Mesh3_RemoveFlaggedPoints(flags, mesh, &core);
        if (status == CoreStatus_Success && Speaks(reporter, kLevelInfo)) {
            Reporter_Value(reporter, "Points Removed", "%d", unused);
        }
    }
    Mem_Free(flags);
    return OperationFrame_Finish(reporter, CoreStatus_ToApiStatus(status));
}

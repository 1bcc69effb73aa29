#include "surface/frame/mesh3.h"

#include <cstring>

#include "surface/frame/reporter.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"
#include "surface/frame/tracked_records.h"

namespace {

// Every corner of every face names a point of the list.
bool CornersInRange(const Mesh3* mesh) {
    const int32_t points = mesh->Points.Count;
    const FaceList& f = mesh->Faces;
    for (int64_t i = 0; i < 3 * static_cast<int64_t>(f.TriCount); ++i)
        if (f.Tri[i] < 0 || f.Tri[i] >= points) return false;
    for (int64_t i = 0; i < 4 * static_cast<int64_t>(f.QuadCount); ++i)
        if (f.Quad[i] < 0 || f.Quad[i] >= points) return false;
    return true;
}

}  // namespace

void Mesh3_Clear(Mesh3* mesh) {
    if (mesh) std::memset(mesh, 0, sizeof *mesh);
}

void Mesh3_Free(Mesh3* mesh) {
    if (mesh == nullptr) return;
    PointList3_Free(&mesh->Points);
    FaceList_Free(&mesh->Faces);
}

int Mesh3_Create(Mesh3* mesh, int32_t points, int32_t triangles, int32_t quads) {
    if (mesh == nullptr) return ApiStatus_BadMesh;
    Mesh3_Clear(mesh);
    int status = PointList3_Create(&mesh->Points, points, 0, 0, 0, 0, 0);
    if (status == ApiStatus_Success) status = FaceList_Create(&mesh->Faces, triangles, quads);
    if (status != ApiStatus_Success) Mesh3_Free(mesh);
    return status;
}

int Mesh3_Copy(Mesh3* destination, Mesh3* source, int32_t withAltSets) {
    if (destination == nullptr || source == nullptr || destination == source) return ApiStatus_BadMesh;
    if (!FaceList_Check(&source->Faces, 0, nullptr)) return ApiStatus_BadMesh;
    Mesh3_Clear(destination);
    const FaceList& from = source->Faces;
    int status = FaceList_Create(&destination->Faces, from.TriCount, from.QuadCount);
    if (status == ApiStatus_Success) {
        if (from.TriCount > 0) std::memcpy(destination->Faces.Tri, from.Tri, sizeof(int32_t) * 3 * from.TriCount);
        if (from.QuadCount > 0) std::memcpy(destination->Faces.Quad, from.Quad, sizeof(int32_t) * 4 * from.QuadCount);
        destination->Faces.TriCount = from.TriCount;
        destination->Faces.QuadCount = from.QuadCount;
        status = withAltSets ? PointList3_DeepCopy(&destination->Points, &source->Points)
                             : PointList3_CopyMain(&destination->Points, &source->Points);
    }
    if (status != ApiStatus_Success) Mesh3_Free(destination);
    return status == ApiStatus_BadPointList ? ApiStatus_BadMesh : status;
}

int Mesh3_Check(const Mesh3* mesh, Reporter* reporter) {
    if (mesh == nullptr) {
        Reporter_Error(reporter, "Mesh is NULL");
        return 0;
    }
    if (!PointList3_Check(&mesh->Points, "Mesh", 1, reporter, 0, 0, 0, 0, 0)) return 0;
    if (!FaceList_Check(&mesh->Faces, 1, reporter)) return 0;
    if (!CornersInRange(mesh)) {
        Reporter_Error(reporter, "Mesh face refers to a point that does not exist");
        return 0;
    }
    return 1;
}

int Mesh3_CheckAlt(const Mesh3* mesh, int32_t set, Reporter* reporter) {
    if (mesh == nullptr) {
        Reporter_Error(reporter, "Mesh is NULL");
        return ApiStatus_BadMesh;
    }
    if (!FaceList_Check(&mesh->Faces, 1, reporter)) return ApiStatus_BadMesh;
    const int status = PointList3_CheckAlt(&mesh->Points, set, "Mesh", 1, reporter, 0, 0, 0, 0, 0);
    if (status != ApiStatus_Success) return status == ApiStatus_BadPointList ? ApiStatus_BadMesh : status;
    if (!CornersInRange(mesh)) {
        Reporter_Error(reporter, "Mesh face refers to a point that does not exist");
        return ApiStatus_BadMesh;
    }
    return ApiStatus_Success;
}

void Mesh3_FromCoreMesh(Mesh3* mesh, CoreMesh* core) {
    Mesh3_Clear(mesh);
    // The blocks change owner: the mesh frees them with the run-time
    // allocator, so they leave the tracked registry and its count.
    Mem_Disown(core->points);
    Mem_Disown(core->normals);
    mesh->Points.Count = core->pointCount;
    mesh->Points.Capacity = core->pointCapacity;
    mesh->Points.Location = core->points;
    mesh->Points.Gradient = core->normals;
    core->pointCount = core->pointCapacity = 0;
    core->points = core->normals = nullptr;
    if (core->triangles) {
        Mem_Disown(core->triangles);
        mesh->Faces.TriCount = core->triangleCount;
        mesh->Faces.TriCapacity = core->triangleCapacity;
        mesh->Faces.Tri = core->triangles;
        core->triangleCount = core->triangleCapacity = 0;
        core->triangles = nullptr;
    }
    if (core->quads) {
        Mem_Disown(core->quads);
        mesh->Faces.QuadCount = core->quadCount;
        mesh->Faces.QuadCapacity = core->quadCapacity;
        mesh->Faces.Quad = core->quads;
        core->quadCount = core->quadCapacity = 0;
        core->quads = nullptr;
    }
}

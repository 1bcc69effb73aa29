#include "surface/fit/mesh_operations.h"

#include <cmath>

#include "surface/fit/flag_compaction.h"
#include "surface/fit/mesh_check.h"
#include "surface/fit/point_duplicates.h"
#include "surface/frame/face_list.h"
#include "surface/frame/mesh3.h"
#include "surface/frame/operation_frame.h"
#include "surface/frame/operation_numbers.h"
#include "surface/frame/point_list.h"
#include "surface/frame/reporter.h"
#include "surface/frame/row_pointers.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"

namespace {

bool Speaks(const Reporter* r, int32_t level) {
    return r != nullptr && r->callback != nullptr && r->maximumLevel >= level;
}

void Cross(const double* a, const double* b, double* out) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

// Adds the unit normal of the two vectors' cross product to each corner.
void AddNormal(const double* u, const double* v, const int32_t* corners, int32_t count, double* gradient) {
    double n[3];
    Cross(u, v, n);
    const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (!(length > 0)) return;
    for (int32_t k = 0; k < count; ++k) {
        for (int d = 0; d < 3; ++d) gradient[3 * static_cast<int64_t>(corners[k]) + d] += n[d] / length;
    }
}

bool InRange(const int32_t* corners, int32_t count, int32_t points) {
    for (int32_t k = 0; k < count; ++k) {
        if (corners[k] < 0 || corners[k] >= points) return false;
    }
    return true;
}

void Difference(const double* p, int32_t a, int32_t b, double* out) {
    for (int d = 0; d < 3; ++d) out[d] = p[3 * static_cast<int64_t>(a) + d] - p[3 * static_cast<int64_t>(b) + d];
}

void Advance(Reporter* reporter, double step) {
    if (reporter) reporter->progress = (reporter->progress < 0 ? 0 : reporter->progress) + step;
}

}  // namespace

int Selvane_MakeConsistentMesh3(Mesh3* mesh, int32_t* partCount, int32_t* flags, int32_t* unusedCount,
                                Reporter* reporter) {
    OperationFrame_Begin(reporter, Op_MakeConsistentMesh3);
    if (!Mesh3_Check(mesh, reporter)) return OperationFrame_Refuse(reporter, ApiStatus_BadMesh);
    CoreReporter core;
    OperationFrame_CoreReporter(&core, reporter, reporter ? Reporter_CoreLevel(reporter->maximumLevel) : 0, 0);
    int32_t parts = 0, bits = 0, unused = 0;
    const int status = Mesh3_MakeConsistent(mesh->Points.Count, mesh->Faces.TriCount, mesh->Faces.Tri,
                                            mesh->Faces.QuadCount, mesh->Faces.Quad, &parts, &bits, &unused, &core);
    if (status == CoreStatus_Success || status == CoreStatus_NotManifold) {
        if (Speaks(reporter, kLevelInfo)) Reporter_Info(reporter, "Mesh has %d connected part(s)", parts);
        if (unused > 0 && Speaks(reporter, kLevelSuccess)) {
            Reporter_Success(reporter, "Mesh has %d unused vertices", unused);
        }
        if (Speaks(reporter, kLevelInfo)) {
            Reporter_Info(reporter, "Mesh was %sconsistent", bits & kMeshConsistent ? "" : "not ");
            Reporter_Info(reporter, "Mesh is %smanifold", bits & kMeshManifold ? "" : "not ");
            Reporter_Info(reporter, "Mesh is %s", bits & kMeshClosed ? "closed" : "open");
        }
        if (partCount) *partCount = parts;
        if (flags) *flags = bits;
        if (unusedCount) *unusedCount = unused;
    }
    if (status != CoreStatus_Success) CoreStatus_Report(reporter, status);
    return OperationFrame_Finish(reporter, CoreStatus_ToApiStatus(status));
}

int Selvane_NormalsFromMesh3(Mesh3* mesh, int32_t set, Reporter* reporter) {
    OperationFrame_Begin(reporter, Op_NormalsFromMesh3);
    const int checked = Mesh3_CheckAlt(mesh, set, reporter);
    if (checked != ApiStatus_Success) return OperationFrame_Refuse(reporter, checked);
    int32_t bits = 0;
    const int status =
        Mesh3_CheckEdges(mesh->Points.Count, mesh->Faces.TriCount, mesh->Faces.Tri, mesh->Faces.QuadCount,
                         mesh->Faces.Quad, nullptr, nullptr, nullptr, nullptr, nullptr, &bits, nullptr, nullptr);
    if (status == CoreStatus_NoMemory) {
        if (Speaks(reporter, kLevelError)) Reporter_Error(reporter, "Memory allocation failed.");
        return OperationFrame_Finish(reporter, ApiStatus_NoMemory);
    }
    if (!(bits & kMeshConsistent) && Speaks(reporter, kLevelWarning))
        Reporter_Warning(reporter, "Mesh is not consistent");
    if (!(bits & kMeshManifold) && Speaks(reporter, kLevelWarning)) Reporter_Warning(reporter, "Mesh is not manifold");
    if (PointList3_SetFields(&mesh->Points, set, 0, 0, 0, 0, 1) != ApiStatus_Success) {
        if (Speaks(reporter, kLevelError)) Reporter_Error(reporter, "Memory allocation for surface normals failed.");
        return OperationFrame_Finish(reporter, ApiStatus_NoMemory);
    }
    double* gradient = PointList3_GetGradient(&mesh->Points, set);
    const int32_t points = mesh->Points.Count;
    for (int64_t i = 0; i < 3 * static_cast<int64_t>(points); ++i) gradient[i] = 0;
    const double* p = mesh->Points.Location;
    const FaceList& faces = mesh->Faces;
    const double step = 1.0 / (static_cast<double>(faces.TriCount) + faces.QuadCount + points);
    for (int32_t t = 0; t < faces.TriCount; ++t) {
        const int32_t* c = faces.Tri + 3 * static_cast<int64_t>(t);
        if (InRange(c, 3, points)) {
            double u[3], v[3];
            Difference(p, c[1], c[0], u);
            Difference(p, c[2], c[0], v);
            AddNormal(u, v, c, 3, gradient);
        }
        Advance(reporter, step);
    }
    for (int32_t q = 0; q < faces.QuadCount; ++q) {
        const int32_t* c = faces.Quad + 4 * static_cast<int64_t>(q);
        if (InRange(c, 4, points)) {
            double u[3], v[3];
            Difference(p, c[2], c[0], u);
            Difference(p, c[3], c[1], v);
            AddNormal(u, v, c, 4, gradient);
        }
        Advance(reporter, step);
    }
    for (int32_t i = 0; i < points; ++i) {
        double* g = gradient + 3 * static_cast<int64_t>(i);
        const double length = std::sqrt(g[0] * g[0] + g[1] * g[1] + g[2] * g[2]);
        if (length > 0) {
            for (int d = 0; d < 3; ++d) g[d] /= length;
        }
        Advance(reporter, step);
    }
    return OperationFrame_Finish(reporter, ApiStatus_Success);
}

int RemoveClosePointsMesh3(Mesh3* mesh, double distance, int32_t relative, int32_t* unchanged, Reporter* reporter) {
    OperationFrame_Begin(reporter, Op_Unique3);
    if (unchanged) *unchanged = -1;
    if (!Mesh3_Check(mesh, reporter)) return OperationFrame_Refuse(reporter, ApiStatus_BadMesh);
    const int32_t n = mesh->Points.Count;
    if (n == 1) {
        if (unchanged) *unchanged = 1;
        return OperationFrame_Finish(reporter, ApiStatus_Success);
    }
    if (!(distance > 0.0)) {
        distance = 1e-10;
        relative = 1;
    }
    if (Speaks(reporter, kLevelInfo)) {
        Reporter_Value(reporter, "Specified Distance", "%.4g", distance);
        Reporter_Value(reporter, "Distance Type", "%s", relative ? "Relative" : "Absolute");
    }
    FaceList& faces = mesh->Faces;
    int32_t room = 2 * n;
    if (faces.TriCount > room) room = faces.TriCount;
    if (faces.QuadCount > room) room = faces.QuadCount;
    int32_t* order = Mem_AllocInts(n);
    int32_t* representative = Mem_AllocInts(room);
    double** rows = nullptr;
    int status = order && representative ? RowPointers_Make3(&rows, mesh->Points.Location, n) : CoreStatus_NoMemory;
    if (status == CoreStatus_Success) {
        CoreReporter core;
        OperationFrame_CoreReporter(&core, reporter, 2, 0);
        status = Points_RemoveDuplicates(rows, 3, &mesh->Points.Count, nullptr, distance, relative, order,
                                         representative, core.abort);
    }
    if (status == CoreStatus_Success && mesh->Points.Count != n) {
        // The locations have moved already; every other array follows.
        double* location = mesh->Points.Location;
        mesh->Points.Location = nullptr;
        PointList3_Permute(order, n, &mesh->Points);
        mesh->Points.Location = location;
        for (int64_t i = 0; i < 3 * static_cast<int64_t>(faces.TriCount); ++i) {
            faces.Tri[i] = representative[order[faces.Tri[i]]];
        }
        for (int64_t i = 0; i < 4 * static_cast<int64_t>(faces.QuadCount); ++i) {
            faces.Quad[i] = representative[order[faces.Quad[i]]];
        }
        if (FaceList_RemoveDegenerate(&faces, representative) != ApiStatus_Success) {
            if (Speaks(reporter, kLevelError)) Reporter_Error(reporter, "Memory allocation failed");
            status = CoreStatus_NoMemory;
        }
    }
    if (status == CoreStatus_Success && unchanged) *unchanged = mesh->Points.Count == n ? 1 : 0;
    if (status != CoreStatus_Success) CoreStatus_Report(reporter, status);
    Mem_Free(rows);
    Mem_Free(order);
    Mem_Free(representative);
    if (Speaks(reporter, kLevelSuccess)) Reporter_Success(reporter, "Removed %d points", n - mesh->Points.Count);
    return OperationFrame_Finish(reporter, CoreStatus_ToApiStatus(status));
}

#include "surface/fit/mesh_parts.h"

#include <cstring>

#include "surface/fit/mesh_check.h"
#include "surface/frame/face_list.h"
#include "surface/frame/mesh3.h"
#include "surface/frame/operation_frame.h"
#include "surface/frame/operation_numbers.h"
#include "surface/frame/record_memory.h"
#include "surface/frame/tracked_records.h"
#include "surface/frame/core_reporter.h"
#include "surface/frame/reporter.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"
#include "surface/search/index_sort.h"

namespace {

bool Speaks(const Reporter* r, int32_t level) {
    return r != nullptr && r->callback != nullptr && r->maximumLevel >= level;
}

// Distinct labels with their counts, conflicts handled by the mode.
int Group(int32_t count, const int32_t* labels, int32_t mode, int32_t* distinct, int32_t* keys, int32_t* counts) {
    *distinct = 0;
    if (count <= 0) return CoreStatus_Success;
    if (Index_GroupEqual(count, labels, distinct, keys, counts, nullptr) != 0) return CoreStatus_UserAbort;
    int32_t n = 0;
    for (int32_t i = 0; i < *distinct; ++i) {
        if (keys[i] < 0 && mode == kPartsDropConflicts) continue;
        if (keys[i] < 0 && mode == kPartsMergeConflicts) {
            int32_t j = i + 1;
            while (j < *distinct && keys[j] != -keys[i]) ++j;
            if (j < *distinct) {
                counts[j] += counts[i];
                continue;
            }
        }
        keys[n] = keys[i];
        counts[n++] = counts[i];
    }
    *distinct = n;
    return CoreStatus_Success;
}

// The flags of every part alone: its faces (its label or, merged, minus
// it) checked on their own.
int PartFlags(const Mesh3* mesh, MeshCheckInfo* info) {
    const FaceList& f = mesh->Faces;
    info->PartFlags = static_cast<int32_t*>(Record_Alloc(info->PartCount + 1, sizeof(int32_t)));
    int32_t* tris = Mem_AllocInts(3 * f.TriCount + 1);
    int32_t* quads = Mem_AllocInts(4 * f.QuadCount + 1);
    int status = info->PartFlags && tris && quads ? CoreStatus_Success : CoreStatus_NoMemory;
    for (int32_t p = 0; p < info->PartCount && status == CoreStatus_Success; ++p) {
        const int32_t label = info->Parts[4 * p];
        int32_t t = 0, q = 0;
        for (int32_t i = 0; i < f.TriCount; ++i) {
            if (info->TriangleLabels[i] != label && info->TriangleLabels[i] != -label) continue;
            std::memcpy(tris + 3 * t++, f.Tri + 3 * static_cast<int64_t>(i), 3 * sizeof(int32_t));
        }
        for (int32_t i = 0; i < f.QuadCount; ++i) {
            if (info->QuadLabels[i] != label && info->QuadLabels[i] != -label) continue;
            std::memcpy(quads + 4 * q++, f.Quad + 4 * static_cast<int64_t>(i), 4 * sizeof(int32_t));
        }
        status = Mesh3_CheckEdges(mesh->Points.Count, t, tris, q, quads, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  &info->PartFlags[p], nullptr, nullptr);
    }
    Mem_Free(tris);
    Mem_Free(quads);
    return status;
}

}  // namespace

void MeshCheckInfo_Free(MeshCheckInfo* info) {
    if (!info) return;
    for (int32_t* a :
         {info->Parts, info->PartFlags, info->TriangleLabels, info->QuadLabels, info->TriangleFlips, info->QuadFlips}) {
        Record_Free(a);
    }
    std::memset(info, 0, sizeof *info);
}

int MeshParts_BuildTable(int32_t triangleCount, int32_t quadCount, const int32_t* triangleLabels,
                         const int32_t* quadLabels, int32_t mode, int32_t* partCount, int32_t** table) {
    *partCount = 0;
    *table = nullptr;
    const int32_t t = triangleCount > 0 ? triangleCount : 0, q = quadCount > 0 ? quadCount : 0;
    int32_t* work = static_cast<int32_t*>(Mem_Calloc(2 * static_cast<int64_t>(t) + 2 * q + 1, sizeof(int32_t)));
    int32_t* result = static_cast<int32_t*>(Record_Alloc(4 * (static_cast<int64_t>(t) + q) + 4, sizeof(int32_t)));
    if (!work || !result) {
        Mem_Free(work);
        Record_Free(result);
        return CoreStatus_NoMemory;
    }
    int32_t *triKeys = work, *triCounts = work + t, *quadKeys = work + 2 * t, *quadCounts = work + 2 * t + q;
    int32_t triDistinct = 0, quadDistinct = 0;
    Group(t, triangleLabels, mode, &triDistinct, triKeys, triCounts);
    Group(q, quadLabels, mode, &quadDistinct, quadKeys, quadCounts);
    int32_t n = 0;
    for (int32_t i = 0; i < triDistinct; ++i, ++n) {
        result[4 * n] = triKeys[i];
        result[4 * n + 2] = triCounts[i];
        result[4 * n + 3] = 0;
    }
    for (int32_t i = 0; i < quadDistinct; ++i) {
        int32_t e = 0;
        while (e < n && result[4 * e] != quadKeys[i]) ++e;
        if (e == n) {
            result[4 * n] = quadKeys[i];
            result[4 * n + 2] = 0;
            ++n;
        }
        result[4 * e + 3] = quadCounts[i];
    }
    for (int32_t e = 0; e < n; ++e) result[4 * e + 1] = result[4 * e + 2] + result[4 * e + 3];
    Mem_Free(work);
    *partCount = n;
    *table = result;
    return CoreStatus_Success;
}

int Selvane_CheckMesh3(Mesh3* mesh, int32_t extractParts, MeshCheckInfo* info, Reporter* reporter) {
    OperationFrame_Begin(reporter, Op_CheckMesh3);
    if (!Mesh3_Check(mesh, reporter)) return OperationFrame_Refuse(reporter, ApiStatus_BadMesh);
    if (!info) return OperationFrame_Refuse(reporter, ApiStatus_InvalidArgument);
    std::memset(info, 0, sizeof *info);
    const int32_t t = mesh->Faces.TriCount, q = mesh->Faces.QuadCount;
    info->TriangleLabels = static_cast<int32_t*>(Record_Alloc(t + 1, sizeof(int32_t)));
    info->QuadLabels = static_cast<int32_t*>(Record_Alloc(q + 1, sizeof(int32_t)));
    info->TriangleFlips = static_cast<int32_t*>(Record_Alloc(t + 1, sizeof(int32_t)));
    info->QuadFlips = static_cast<int32_t*>(Record_Alloc(q + 1, sizeof(int32_t)));
    int status = CoreStatus_NoMemory;
    if (info->TriangleLabels && info->QuadLabels && info->TriangleFlips && info->QuadFlips) {
        CoreReporter core;
        OperationFrame_CoreReporter(&core, reporter, reporter ? Reporter_CoreLevel(reporter->maximumLevel) : 0, 0);
        status = Mesh3_CheckEdges(mesh->Points.Count, t, mesh->Faces.Tri, q, mesh->Faces.Quad, &info->PartCount,
                                  info->TriangleLabels, info->QuadLabels, info->TriangleFlips, info->QuadFlips,
                                  &info->Flags, &info->UnusedCount, &core);
    }
    if (status == CoreStatus_Success && Speaks(reporter, kLevelSuccess)) {
        Reporter_Success(reporter, "Mesh has %d connected part(s)", info->PartCount);
        if (info->UnusedCount > 0) Reporter_Success(reporter, "Mesh has %d unused vertices", info->UnusedCount);
        Reporter_Success(reporter, "Mesh is %sconsistent", info->Flags & kMeshConsistent ? "" : "not ");
        Reporter_Success(reporter, "Mesh is %smanifold", info->Flags & kMeshManifold ? "" : "not ");
        Reporter_Success(reporter, "Mesh is %s", info->Flags & kMeshClosed ? "closed" : "open");
    }
    if (status == CoreStatus_Success) {
        status = MeshParts_BuildTable(t, q, info->TriangleLabels, info->QuadLabels, kPartsMergeConflicts,
                                      &info->PartCount, &info->Parts);
    }
    if (status == CoreStatus_Success && extractParts) status = PartFlags(mesh, info);
    if (status == CoreStatus_Success && !extractParts && Speaks(reporter, kLevelInfo)) {
        for (int32_t p = 0; p < info->PartCount; ++p) {
            Reporter_Info(reporter, "Part %2d: %5d faces", info->Parts[4 * p], info->Parts[4 * p + 1]);
        }
    }
    if (status != CoreStatus_Success) CoreStatus_Report(reporter, status);
    return OperationFrame_Finish(reporter, CoreStatus_ToApiStatus(status));
}

namespace {

bool Belongs(int32_t label, int32_t part, int32_t mode) {
    return label == part || (mode == kPartsMergeConflicts && label == -part);
}

// Copies the part's faces of one kind, renumbering corners through the map.
void CopyFaces(int32_t count, const int32_t* faces, int width, const int32_t* labels, int32_t part, int32_t mode,
               int32_t* map, int32_t* used, int32_t* source, int32_t* out, int32_t* outCount) {
    for (int32_t i = 0; i < count; ++i) {
        if (!Belongs(labels[i], part, mode)) continue;
        for (int k = 0; k < width; ++k) {
            const int32_t v = faces[width * static_cast<int64_t>(i) + k];
            if (map[v] < 0) {
                source[*used] = v;
                map[v] = (*used)++;
            }
            out[width * static_cast<int64_t>(*outCount) + k] = map[v];
        }
        ++*outCount;
    }
}

int ExtractPart(int32_t vertexCount, const double* points, const double* normals, const int32_t* triangles,
                const int32_t* quads, int32_t triangleCount, int32_t quadCount, const int32_t* entry,
                const int32_t* triangleLabels, const int32_t* quadLabels, int32_t mode, int32_t* map,
                CoreMesh* record) {
    const int32_t tris = entry[2], quadsWanted = entry[3];
    int32_t maxPoints = 3 * tris + 4 * quadsWanted;
    if (maxPoints > vertexCount) maxPoints = vertexCount;
    if (InitBlockVector(maxPoints, tris, quadsWanted, record) != 0) return CoreStatus_NoMemory;
    record->sourceIndex = Mem_AllocInts(maxPoints > 0 ? maxPoints : 1);
    if (normals)
        record->normals = static_cast<double*>(Mem_Alloc(sizeof(double) * 3 * (maxPoints > 0 ? maxPoints : 1)));
    if (!record->sourceIndex || (normals && !record->normals)) return CoreStatus_NoMemory;
    for (int32_t v = 0; v < vertexCount; ++v) map[v] = -1;
    int32_t used = 0;
    CopyFaces(triangleCount, triangles, 3, triangleLabels, entry[0], mode, map, &used, record->sourceIndex,
              record->triangles, &record->triangleCount);
    CopyFaces(quadCount, quads, 4, quadLabels, entry[0], mode, map, &used, record->sourceIndex, record->quads,
              &record->quadCount);
    for (int32_t i = 0; i < used; ++i) {
        const int64_t from = 3 * static_cast<int64_t>(record->sourceIndex[i]);
        std::memcpy(record->points + 3 * static_cast<int64_t>(i), points + from, 3 * sizeof(double));
        if (normals) std::memcpy(record->normals + 3 * static_cast<int64_t>(i), normals + from, 3 * sizeof(double));
    }
    record->pointCount = used;
    return CoreStatus_Success;
}

}  // namespace

int Mesh3_FindParts(int32_t vertexCount, const double* points, const double* normals, int32_t triangleCount,
                    const int32_t* triangles, int32_t quadCount, const int32_t* quads, int32_t* partCount,
                    const int32_t* partTable, const int32_t* triangleLabels, const int32_t* quadLabels, int32_t mode,
                    CoreMesh** parts, const CoreReporter* reporter) {
    *parts = nullptr;
    int32_t* ownTable = nullptr;
    if (!partTable || *partCount <= 0) {
        if (MeshParts_BuildTable(triangleCount, quadCount, triangleLabels, quadLabels, mode, partCount, &ownTable) !=
            0) {
            return CoreStatus_NoMemory;
        }
        partTable = ownTable;
    }
    const int32_t count = *partCount;
    CoreMesh* records = static_cast<CoreMesh*>(Mem_Calloc(count > 0 ? count : 1, sizeof(CoreMesh)));
    int32_t* map = Mem_AllocInts(vertexCount > 0 ? vertexCount : 1);
    int status = records && map ? CoreStatus_Success : CoreStatus_NoMemory;
    for (int32_t p = 0; p < count && status == CoreStatus_Success; ++p) {
        status = ExtractPart(vertexCount, points, normals, triangles, quads, triangleCount, quadCount,
                             partTable + 4 * p, triangleLabels, quadLabels, mode, map, &records[p]);
        if (status == CoreStatus_Success && CoreReporter_Speaks(reporter, 5)) {
            CoreReporter_Info(reporter, "Part %2d: %4d Faces, %4d Points", partTable[4 * p],
                              records[p].triangleCount + records[p].quadCount, records[p].pointCount);
        }
    }
    Mem_Free(map);
    Record_Free(ownTable);
    if (status != CoreStatus_Success) {
        for (int32_t p = 0; records && p < count; ++p) FreeSpatialRecord(&records[p]);
        Mem_Free(records);
        *partCount = 0;
        return status;
    }
    *parts = records;
    return CoreStatus_Success;
}

int SplitMeshParts(Mesh3* mesh, const int32_t* triangleLabels, const int32_t* quadLabels, int32_t mode,
                   int32_t* partCount, Mesh3** meshes, int32_t*** vertexMaps, Reporter* reporter) {
    OperationFrame_Begin(reporter, Op_SplitMeshParts);
    if (!Mesh3_Check(mesh, reporter) || !meshes) return OperationFrame_Refuse(reporter, ApiStatus_BadMesh);
    if (!partCount) return OperationFrame_Refuse(reporter, ApiStatus_InvalidArgument);
    // The parts are read from the caller's labels: one for every face.
    if ((mesh->Faces.TriCount > 0 && !triangleLabels) || (mesh->Faces.QuadCount > 0 && !quadLabels))
        return OperationFrame_Refuse(reporter, ApiStatus_InvalidArgument);
    *meshes = nullptr;
    if (vertexMaps) *vertexMaps = nullptr;
    CoreReporter core;
    OperationFrame_CoreReporter(&core, reporter, reporter ? Reporter_CoreLevel(reporter->maximumLevel) : 0, 0);
    int32_t count = 0;
    CoreMesh* parts = nullptr;
    int status = Mesh3_FindParts(mesh->Points.Count, mesh->Points.Location, nullptr, mesh->Faces.TriCount,
                                 mesh->Faces.Tri, mesh->Faces.QuadCount, mesh->Faces.Quad, &count, nullptr,
                                 triangleLabels, quadLabels, mode, &parts, &core);
    Mesh3* out = nullptr;
    int32_t** maps = nullptr;
    if (status == CoreStatus_Success) {
        out = static_cast<Mesh3*>(Record_Alloc(count + 1, sizeof(Mesh3)));
        if (vertexMaps) maps = static_cast<int32_t**>(Record_Alloc(count + 1, sizeof(int32_t*)));
        if (!out || (vertexMaps && !maps)) status = CoreStatus_NoMemory;
        if (out) std::memset(out, 0, sizeof(Mesh3) * (count + 1));
        if (maps) std::memset(maps, 0, sizeof(int32_t*) * (count + 1));
    }
    for (int32_t p = 0; p < count && status == CoreStatus_Success; ++p) {
        if (maps) {
            maps[p] = static_cast<int32_t*>(Record_Alloc(parts[p].pointCount + 1, sizeof(int32_t)));
            if (!maps[p]) {
                status = CoreStatus_NoMemory;
                break;
            }
            std::memcpy(maps[p], parts[p].sourceIndex, sizeof(int32_t) * parts[p].pointCount);
        }
        Mesh3_FromCoreMesh(&out[p], &parts[p]);
    }
    for (int32_t p = 0; p < count; ++p) FreeSpatialRecord(&parts[p]);
    Mem_Free(parts);
    if (status != CoreStatus_Success) {
        for (int32_t p = 0; out && p < count; ++p) Mesh3_Free(&out[p]);
        for (int32_t p = 0; maps && p < count; ++p) Record_Free(maps[p]);
        Record_Free(out);
        Record_Free(maps);
        CoreStatus_Report(reporter, status);
        *partCount = 0;
        return OperationFrame_Finish(reporter, CoreStatus_ToApiStatus(status));
    }
    *partCount = count;
    *meshes = out;
    if (vertexMaps) *vertexMaps = maps;
    return OperationFrame_Finish(reporter, ApiStatus_Success);
}

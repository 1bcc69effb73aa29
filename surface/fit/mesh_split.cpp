// Extraction of flagged faces and the split of a mesh into parts of bounded
// size.
#include <cstring>

#include "surface/fit/mesh_parts.h"
#include "surface/fit/mesh_topology.h"
#include "surface/frame/core_reporter.h"
#include "surface/frame/record_memory.h"
#include "surface/frame/reporter.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"
#include "surface/frame/tracked_records.h"

namespace {

int32_t CountFlagged(int32_t count, const int32_t* flags) {
    int32_t n = 0;
    for (int32_t i = 0; i < count; ++i) n += flags && flags[i] ? 1 : 0;
    return n;
}

void CopyFlagged(int32_t count, const int32_t* faces, int width, const int32_t* flags, int32_t* map, int32_t* used,
                 CoreMesh* record, int32_t* out, int32_t* outCount) {
    for (int32_t i = 0; flags && i < count; ++i) {
        if (!flags[i]) continue;
        for (int k = 0; k < width; ++k) {
            const int32_t v = faces[width * static_cast<int64_t>(i) + k];
            if (map[v] < 0) {
                record->sourceIndex[*used] = v;
                map[v] = (*used)++;
            }
            out[width * static_cast<int64_t>(*outCount) + k] = map[v];
        }
        ++*outCount;
    }
}

// The part-growing state of the split.
struct Split {
    MeshTopology topology;
    int32_t triangleCount;
    int32_t faceCount;
    int32_t* labels;   // per face, 0 unlabelled
    EdgeNode** ring;   // queued open edges
    int64_t ringSize;  // room: every face of a part queues at most four edges
    int32_t* table;    // four ints a part: label, faces, triangles, quads
    int32_t tableSize;
    int32_t partCount;
};

EdgeNode* FaceNodes(const Split& s, int32_t face, int32_t* count) {
    if (face < s.triangleCount) {
        *count = 3;
        return s.topology.Nodes + 3 * static_cast<int64_t>(face);
    }
    *count = 4;
    return s.topology.Nodes + 3 * static_cast<int64_t>(s.triangleCount) +
           4 * static_cast<int64_t>(face - s.triangleCount);
}

int32_t Across(const EdgeNode* e) { return e->Twin ? e->Twin->Face : -1; }

bool GrowTable(Split& s) {
    if (s.partCount < s.tableSize) return true;
    int32_t size = 1 + static_cast<int32_t>(1.7 * s.tableSize);
    if (size < 5) size = 5;
    int32_t* grown = static_cast<int32_t*>(Mem_Realloc(s.table, sizeof(int32_t) * 4 * static_cast<std::size_t>(size)));
    s.table = grown;
    s.tableSize = grown ? size : 0;
    return grown != nullptr;
}

// Grows one part from the seed breadth-first up to `target` faces.
bool GrowPart(Split& s, int32_t seed, int32_t target) {
    if (!GrowTable(s)) return false;
    const int32_t label = ++s.partCount;
    int32_t* entry = s.table + 4 * static_cast<int64_t>(label - 1);
    entry[0] = label;
    entry[1] = entry[2] = entry[3] = 0;
    int64_t head = 0, tail = 0;
    int32_t face = seed;
    while (face >= 0) {
        s.labels[face] = label;
        ++entry[1];
        ++entry[face < s.triangleCount ? 2 : 3];
        if (entry[1] >= target) break;
        int32_t count = 0;
        EdgeNode* nodes = FaceNodes(s, face, &count);
        for (int32_t k = 0; k < count; ++k) {
            const int32_t other = Across(&nodes[k]);
            if (other >= 0 && s.labels[other] == 0 && tail < s.ringSize) s.ring[tail++] = &nodes[k];
        }
        face = -1;
        while (head < tail && face < 0) {
            const int32_t other = Across(s.ring[head++]);
            if (other >= 0 && s.labels[other] == 0) face = other;
        }
    }
    return true;
}

// Merges every part below the small size into the first neighbouring part
// that stays below the maximum with it.
void MergeSmallParts(Split& s, int32_t maxFaces, double fraction) {
    const int32_t small = static_cast<int32_t>(maxFaces * fraction);
    for (int32_t p = 0; p < s.partCount; ++p) {
        int32_t* entry = s.table + 4 * static_cast<int64_t>(p);
        if (entry[1] == 0 || entry[1] >= small) continue;
        int32_t into = -1;
        for (int32_t f = 0; f < s.faceCount && into < 0; ++f) {
            if (s.labels[f] != entry[0]) continue;
            int32_t count = 0;
            EdgeNode* nodes = FaceNodes(s, f, &count);
            for (int32_t k = 0; k < count && into < 0; ++k) {
                const int32_t other = Across(&nodes[k]);
                if (other < 0 || s.labels[other] == entry[0]) continue;
                const int32_t* target = s.table + 4 * static_cast<int64_t>(s.labels[other] - 1);
                if (target[1] + entry[1] < maxFaces) into = s.labels[other];
            }
        }
        if (into < 0) continue;
        int32_t* target = s.table + 4 * static_cast<int64_t>(into - 1);
        for (int32_t f = 0; f < s.faceCount; ++f) {
            if (s.labels[f] == entry[0]) s.labels[f] = into;
        }
        for (int k = 1; k < 4; ++k) {
            target[k] += entry[k];
            entry[k] = 0;
        }
    }
}

}  // namespace

int Mesh3_FindPartsOf(const CoreMesh* mesh, int32_t* partCount, const int32_t* partTable, const int32_t* triangleLabels,
                      const int32_t* quadLabels, int32_t mode, CoreMesh** parts, const CoreReporter* reporter) {
    if (!mesh) return CoreStatus_NullArgument;
    return Mesh3_FindParts(mesh->pointCount, mesh->points, mesh->normals, mesh->triangleCount, mesh->triangles,
                           mesh->quadCount, mesh->quads, partCount, partTable, triangleLabels, quadLabels, mode, parts,
                           reporter);
}

int Mesh3_ExtractFaces(int32_t vertexCount, const double* points, const double* normals, int32_t triangleCount,
                       const int32_t* triangles, int32_t quadCount, const int32_t* quads, const int32_t* triangleFlags,
                       const int32_t* quadFlags, CoreMesh* record) {
    const int32_t tris = CountFlagged(triangleCount, triangleFlags), quadsWanted = CountFlagged(quadCount, quadFlags);
    int64_t most = 3 * static_cast<int64_t>(tris) + 4 * static_cast<int64_t>(quadsWanted);
    if (most > vertexCount) most = vertexCount;
    const int32_t room = static_cast<int32_t>(most);
    int32_t* map = Mem_AllocInts(vertexCount > 0 ? vertexCount : 1);
    int status = map ? InitBlockVector(room, tris, quadsWanted, record) : CoreStatus_NoMemory;
    if (status == CoreStatus_Success) {
        record->sourceIndex = Mem_AllocInts(room > 0 ? room : 1);
        if (normals) record->normals = Mem_AllocDoubles(3 * room > 0 ? 3 * room : 1);
        if (!record->sourceIndex || (normals && !record->normals)) status = CoreStatus_NoMemory;
    }
    if (status != CoreStatus_Success) {
        Mem_Free(map);
        FreeSpatialRecord(record);
        return CoreStatus_NoMemory;
    }
    for (int32_t v = 0; v < vertexCount; ++v) map[v] = -1;
    int32_t used = 0;
    CopyFlagged(triangleCount, triangles, 3, triangleFlags, map, &used, record, record->triangles,
                &record->triangleCount);
    CopyFlagged(quadCount, quads, 4, quadFlags, map, &used, record, record->quads, &record->quadCount);
    for (int32_t i = 0; i < used; ++i) {
        const int64_t from = 3 * static_cast<int64_t>(record->sourceIndex[i]);
        std::memcpy(record->points + 3 * static_cast<int64_t>(i), points + from, 3 * sizeof(double));
        if (normals) std::memcpy(record->normals + 3 * static_cast<int64_t>(i), normals + from, 3 * sizeof(double));
    }
    record->pointCount = used;
    Mem_Free(map);
    return CoreStatus_Success;
}

int Mesh3_ExtractFacesOf(const CoreMesh* mesh, const int32_t* triangleFlags, const int32_t* quadFlags,
                         CoreMesh* record) {
    if (!mesh) return CoreStatus_NullArgument;
    return Mesh3_ExtractFaces(mesh->pointCount, mesh->points, mesh->normals, mesh->triangleCount, mesh->triangles,
                              mesh->quadCount, mesh->quads, triangleFlags, quadFlags, record);
}

int Mesh3_SplitParts(int32_t vertexCount, const double* points, const double* normals, int32_t triangleCount,
                     const int32_t* triangles, int32_t quadCount, const int32_t* quads, int32_t maxFaces,
                     double fraction, int32_t* partCount, CoreMesh** parts, const CoreReporter* reporter) {
    *partCount = 0;
    *parts = nullptr;
    const int32_t faces = triangleCount + quadCount;
    int32_t target = maxFaces > 0 ? static_cast<int32_t>((1.0 - fraction) * maxFaces) : faces;
    if (target < 1) target = 1;
    uint32_t start = Reporter_Clock();
    Split s = {};
    s.triangleCount = triangleCount;
    s.faceCount = faces;
    int status = MeshTopology_Build(vertexCount, points, triangleCount, triangles, quadCount, quads, &s.topology, 1);
    if (status != CoreStatus_Success) {
        MeshTopology_Free(&s.topology);
        return status;
    }
    // The ring is sized from the part target, not from the maximum: a
    // maximum of 0 or below (whole parts) must still have room to queue.
    s.ringSize = 4 * static_cast<int64_t>(target) + 4;
    if (s.ringSize > 4 * static_cast<int64_t>(faces) + 4) s.ringSize = 4 * static_cast<int64_t>(faces) + 4;
    s.labels = static_cast<int32_t*>(Mem_Calloc(faces > 0 ? faces : 1, sizeof(int32_t)));
    s.ring = static_cast<EdgeNode**>(Mem_Alloc(sizeof(EdgeNode*) * static_cast<std::size_t>(s.ringSize)));
    status = s.labels && s.ring ? CoreStatus_Success : CoreStatus_NoMemory;
    for (int32_t f = 0; f < faces && status == CoreStatus_Success; ++f) {
        if (s.labels[f] != 0) continue;
        if (!GrowPart(s, f, target)) status = CoreStatus_NoMemory;
        if (status == CoreStatus_Success && CoreReporter_Speaks(reporter, 6)) {
            CoreReporter_Debug(reporter, "Part %2d: %3d Faces", s.partCount, s.table[4 * (s.partCount - 1) + 1]);
        }
    }
    if (CoreReporter_Speaks(reporter, 3)) {
        CoreReporter_Elapsed(reporter, "Mesh splitting took", static_cast<int32_t>(Reporter_Clock() - start));
    }
    if (status == CoreStatus_Success && maxFaces > 0) {
        start = Reporter_Clock();
        MergeSmallParts(s, maxFaces, fraction);
        if (CoreReporter_Speaks(reporter, 3)) {
            CoreReporter_Elapsed(reporter, "Mesh part compacting took", static_cast<int32_t>(Reporter_Clock() - start));
        }
    }
    if (status == CoreStatus_Success) {
        // Merged parts leave the table.
        int32_t kept = 0;
        for (int32_t p = 0; p < s.partCount; ++p) {
            if (s.table[4 * p + 1] == 0) continue;
            std::memmove(s.table + 4 * kept++, s.table + 4 * p, 4 * sizeof(int32_t));
        }
        start = Reporter_Clock();
        int32_t count = kept;
        status = kept > 0 ? Mesh3_FindParts(vertexCount, points, normals, triangleCount, triangles, quadCount, quads,
                                            &count, s.table, s.labels, s.labels + triangleCount, kPartsMergeConflicts,
                                            parts, reporter)
                          : CoreStatus_Success;
        if (status == CoreStatus_Success) *partCount = count;
        if (CoreReporter_Speaks(reporter, 3)) {
            CoreReporter_Elapsed(reporter, "Part extraction took", static_cast<int32_t>(Reporter_Clock() - start));
        }
    }
    Mem_Free(s.labels);
    Mem_Free(s.ring);
    Mem_Free(s.table);
    MeshTopology_Free(&s.topology);
    return status;
}

int Mesh3_SplitPartsOf(const CoreMesh* mesh, int32_t maxFaces, double fraction, int32_t* partCount, CoreMesh** parts,
                       const CoreReporter* reporter) {
    if (!mesh) return CoreStatus_NullArgument;
    return Mesh3_SplitParts(mesh->pointCount, mesh->points, mesh->normals, mesh->triangleCount, mesh->triangles,
                            mesh->quadCount, mesh->quads, maxFaces, fraction, partCount, parts, reporter);
}

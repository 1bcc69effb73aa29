#include "surface/fit/mesh_check.h"

#include <cstring>
#include <utility>

#include "surface/fit/flag_compaction.h"
#include "surface/fit/mesh_topology.h"
#include "surface/frame/core_reporter.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"
#include "surface/frame/tracked_records.h"

namespace {

// The traversal's state: the full table of every face's edges not yet
// placed, and the part table of the faces placed so far.
struct Traversal {
    MeshTopology full;
    MeshTopology part;
    int32_t triangleCount;
    const int32_t* triangles;
    const int32_t* quads;
    int32_t* labels[2];
    int32_t* flips[2];
    int32_t flags;
    const CoreReporter* reporter;
    // The second form: a conflicting face keeps its edges (unpaired where
    // they conflict) and joins the part it conflicts with.
    bool keepConflicts;
};

int32_t& Label(Traversal& t, int32_t face) {
    return face < t.triangleCount ? t.labels[0][face] : t.labels[1][face - t.triangleCount];
}

int32_t& Flip(Traversal& t, int32_t face) {
    return face < t.triangleCount ? t.flips[0][face] : t.flips[1][face - t.triangleCount];
}

int32_t Corners(const Traversal& t, int32_t face, const int32_t** corners) {
    if (face < t.triangleCount) {
        *corners = t.triangles + 3 * static_cast<int64_t>(face);
        return 3;
    }
    *corners = t.quads + 4 * static_cast<int64_t>(face - t.triangleCount);
    return 4;
}

EdgeNode* FirstNode(const Traversal& t, int32_t face) {
    if (face < t.triangleCount) return t.full.Nodes + 3 * static_cast<int64_t>(face);
    return t.full.Nodes + 3 * static_cast<int64_t>(t.triangleCount) + 4 * static_cast<int64_t>(face - t.triangleCount);
}

// Moves a face's edges from the full table into the part table (reversed
// when flipped). On a conflict the face's edges leave both tables and the
// face that owns the conflicting edge is returned through *other and that
// edge, as this face runs it, through edge[0] -> edge[1]; the status is then
// 25 or 27.
int MoveFace(Traversal& t, int32_t face, bool reversed, int32_t* other, int32_t* edge) {
    const int32_t* corners = nullptr;
    const int32_t count = Corners(t, face, &corners);
    EdgeNode* nodes = FirstNode(t, face);
    for (int32_t k = 0; k < count; ++k) {
        if (nodes[k].NextInVertex || nodes[k].PrevInVertex || t.full.Lists[nodes[k].From] == &nodes[k]) {
            EdgeTable_Detach(&nodes[k], t.full.Lists);
        }
    }
    *other = -1;
    int status = CoreStatus_Success;
    int32_t added = 0;
    for (int32_t k = 0; k < count; ++k) {
        if (status != CoreStatus_Success && !t.keepConflicts) break;
        int32_t a = corners[k], b = corners[(k + 1) % count];
        if (reversed) std::swap(a, b);
        if (a == b && !t.keepConflicts) {
            status = CoreStatus_InconsistentFaces;
            *other = face;
            edge[0] = a;
            edge[1] = b;
            break;
        }
        const int edgeStatus = EdgeTable_Add(a, b, &nodes[k], &t.part);
        ++added;
        if (edgeStatus == CoreStatus_Success || status != CoreStatus_Success) continue;
        status = edgeStatus;
        edge[0] = a;
        edge[1] = b;
        if (a == b) {
            *other = face;
        } else if (status == CoreStatus_InconsistentFaces) {
            *other = nodes[k].NextInVertex ? nodes[k].NextInVertex->Face : face;
        } else if (status == CoreStatus_NotManifold) {
            EdgeNode* twin = EdgeTable_Find(b, a, t.part.Lists);
            *other = twin ? twin->Face : face;
        }
    }
    if (status != CoreStatus_Success && !t.keepConflicts) {
        for (int32_t k = 0; k < added; ++k) EdgeTable_Unlink(&nodes[k], &t.part);
        for (int32_t k = 0; k < count; ++k) nodes[k].NextInFace = nullptr;
        return status;
    }
    for (int32_t k = 0; k < count; ++k) {
        nodes[k].Face = face;
        nodes[k].NextInFace = reversed ? &nodes[(k + count - 1) % count] : &nodes[(k + 1) % count];
    }
    return status;
}

// Places a face in part `part`; false (with the conflict noted) when its
// edges conflict with the part table. In the second form a conflicting
// face stays placed, under the label of the face it conflicts with.
bool PlaceFace(Traversal& t, int32_t face, int32_t part, bool reversed) {
    Label(t, face) = part;
    int32_t other = -1;
    int32_t edge[2] = {-1, -1};
    if (MoveFace(t, face, reversed, &other, edge) == CoreStatus_Success) return true;
    t.flags &= ~kMeshManifold;
    const int32_t conflicting = other == face ? part : Label(t, other);
    Label(t, face) = t.keepConflicts ? (conflicting < 0 ? -conflicting : conflicting) : -conflicting;
    if (CoreReporter_Speaks(t.reporter, 5)) {
        CoreReporter_Info(t.reporter, "Edge %5d --> %5d of face %5d conflicts with face %d", edge[1], edge[0], face,
                          other);
    }
    return t.keepConflicts;
}

int Traverse(Traversal& t, int32_t faceCount, int32_t* partCount) {
    int32_t part = 1;
    int32_t seed = 0;
    bool closed = true;
    for (;;) {
        while (seed < faceCount && Label(t, seed) != 0) ++seed;
        if (seed == faceCount) break;
        if (!PlaceFace(t, seed, part, false)) continue;
        // A seed of the second form that conflicts joins the part it
        // conflicts with, and so does everything grown from it.
        const int32_t label = Label(t, seed);
        int32_t added = 1;
        int32_t flipped = 0;
        while (t.part.OpenHead) {
            EdgeNode* open = t.part.OpenHead;
            const int32_t from = open->From, to = open->To;
            EdgeNode* next = EdgeTable_Find(to, from, t.full.Lists);
            bool reversed = false;
            if (!next) {
                next = EdgeTable_Find(from, to, t.full.Lists);
                reversed = next != nullptr;
            }
            if (!next) {
                if (closed && CoreReporter_Speaks(t.reporter, 5)) {
                    CoreReporter_Info(t.reporter, "Edge %5d --> %5d of face %5d is open", to, from, open->Face);
                }
                closed = false;
                EdgeTable_PopOpen(&t.part);
                continue;
            }
            if (t.reporter && t.reporter->abort && *t.reporter->abort) return CoreStatus_UserAbort;
            const int32_t face = next->Face;
            if (!PlaceFace(t, face, label, reversed)) continue;
            ++added;
            if (reversed) {
                Flip(t, face) = 1;
                t.flags &= ~kMeshConsistent;
                ++flipped;
            }
        }
        if (added / 2 < flipped) {
            for (int32_t f = 0; f < faceCount; ++f) {
                if (Label(t, f) == label) Flip(t, f) = !Flip(t, f);
            }
        }
        if (label == part) ++part;
    }
    *partCount = part - 1;
    if (closed) t.flags |= kMeshClosed;
    return CoreStatus_Success;
}

}  // namespace

namespace {

int CheckEdges(int32_t vertexCount, int32_t triangleCount, const int32_t* triangles, int32_t quadCount,
               const int32_t* quads, int32_t* partCount, int32_t* triangleLabels, int32_t* quadLabels,
               int32_t* triangleFlips, int32_t* quadFlips, int32_t* flags, int32_t* unusedCount,
               const CoreReporter* reporter, bool keepConflicts) {
    *flags = 0;
    if (partCount) *partCount = 0;
    if (unusedCount) *unusedCount = 0;
    if (vertexCount <= 0 || triangleCount < 0 || quadCount < 0) return CoreStatus_InvalidInput;
    if (!Faces_IndicesInRange(vertexCount, triangleCount, triangles, quadCount, quads)) {
        *flags = kMeshCornerOutOfRange;
        return CoreStatus_InvalidInput;
    }
    const int64_t faces = static_cast<int64_t>(triangleCount) + quadCount;
    int32_t* local = static_cast<int32_t*>(Mem_Calloc(2 * faces + 1, sizeof(int32_t)));
    if (!local) return CoreStatus_NoMemory;
    Traversal t = {};
    t.triangleCount = triangleCount;
    t.triangles = triangles;
    t.quads = quads;
    t.labels[0] = triangleLabels ? triangleLabels : local;
    t.labels[1] = quadLabels ? quadLabels : local + triangleCount;
    t.flips[0] = triangleFlips ? triangleFlips : local + faces;
    t.flips[1] = quadFlips ? quadFlips : local + faces + triangleCount;
    for (int32_t i = 0; i < triangleCount; ++i) t.labels[0][i] = t.flips[0][i] = 0;
    for (int32_t i = 0; i < quadCount; ++i) t.labels[1][i] = t.flips[1][i] = 0;
    t.flags = kMeshConsistent | kMeshManifold;
    t.reporter = reporter;
    t.keepConflicts = keepConflicts;
    int status = MeshTopology_Build(vertexCount, nullptr, triangleCount, triangles, quadCount, quads, &t.full, 0);
    if (status == CoreStatus_Success) {
        t.part.Lists = static_cast<EdgeNode**>(Mem_Calloc(vertexCount, sizeof(EdgeNode*)));
        t.part.VertexCount = vertexCount;
        t.part.Nodes = t.full.Nodes;
        t.part.TriangleCount = triangleCount;
        t.part.Triangles = triangles;
        t.part.QuadCount = quadCount;
        t.part.Quads = quads;
        if (!t.part.Lists) status = CoreStatus_NoMemory;
    }
    int32_t parts = 0;
    if (status == CoreStatus_Success) status = Traverse(t, static_cast<int32_t>(faces), &parts);
    if (status == CoreStatus_Success && keepConflicts) MeshTopology_RebuildOpenList(&t.part);
    if (status == CoreStatus_Success) {
        int32_t unused = 0;
        for (int32_t v = 0; v < vertexCount; ++v) unused += t.part.Lists[v] ? 0 : 1;
        if (unusedCount) *unusedCount = unused;
        if (partCount) *partCount = parts;
        *flags = t.flags;
    }
    Mem_Free(t.part.Lists);
    MeshTopology_Free(&t.full);
    Mem_Free(local);
    return status;
}

}  // namespace

int Mesh3_CheckEdges(int32_t vertexCount, int32_t triangleCount, const int32_t* triangles, int32_t quadCount,
                     const int32_t* quads, int32_t* partCount, int32_t* triangleLabels, int32_t* quadLabels,
                     int32_t* triangleFlips, int32_t* quadFlips, int32_t* flags, int32_t* unusedCount,
                     const CoreReporter* reporter) {
    return CheckEdges(vertexCount, triangleCount, triangles, quadCount, quads, partCount, triangleLabels, quadLabels,
                      triangleFlips, quadFlips, flags, unusedCount, reporter, false);
}

int Mesh3_CheckEdgesB(int32_t vertexCount, int32_t triangleCount, const int32_t* triangles, int32_t quadCount,
                      const int32_t* quads, int32_t* partCount, int32_t* triangleLabels, int32_t* quadLabels,
                      int32_t* triangleFlips, int32_t* quadFlips, int32_t* flags, int32_t* unusedCount,
                      const CoreReporter* reporter) {
    return CheckEdges(vertexCount, triangleCount, triangles, quadCount, quads, partCount, triangleLabels, quadLabels,
                      triangleFlips, quadFlips, flags, unusedCount, reporter, true);
}

int Mesh3_CheckEdgesBOf(const CoreMesh* mesh, int32_t* partCount, int32_t* triangleLabels, int32_t* quadLabels,
                        int32_t* triangleFlips, int32_t* quadFlips, int32_t* flags, int32_t* unusedCount,
                        const CoreReporter* reporter) {
    if (!mesh) return CoreStatus_NullArgument;
    return Mesh3_CheckEdgesB(mesh->pointCount, mesh->triangleCount, mesh->triangles, mesh->quadCount, mesh->quads,
                             partCount, triangleLabels, quadLabels, triangleFlips, quadFlips, flags, unusedCount,
                             reporter);
}

int Mesh3_CheckEdgesOf(const CoreMesh* mesh, int32_t* partCount, int32_t* triangleLabels, int32_t* quadLabels,
                       int32_t* triangleFlips, int32_t* quadFlips, int32_t* flags, int32_t* unusedCount,
                       const CoreReporter* reporter) {
    if (!mesh) return CoreStatus_NullArgument;
    return Mesh3_CheckEdges(mesh->pointCount, mesh->triangleCount, mesh->triangles, mesh->quadCount, mesh->quads,
                            partCount, triangleLabels, quadLabels, triangleFlips, quadFlips, flags, unusedCount,
                            reporter);
}

void Faces_Flip(int32_t* corners, int32_t count) {
    (void)count;
    std::swap(corners[0], corners[2]);
}

int Mesh3_MakeConsistent(int32_t vertexCount, int32_t triangleCount, int32_t* triangles, int32_t quadCount,
                         int32_t* quads, int32_t* partCount, int32_t* flags, int32_t* unusedCount,
                         const CoreReporter* reporter) {
    const int64_t faces = static_cast<int64_t>(triangleCount > 0 ? triangleCount : 0) + (quadCount > 0 ? quadCount : 0);
    int32_t* flips = static_cast<int32_t*>(Mem_Calloc(faces + 1, sizeof(int32_t)));
    if (!flips) return CoreStatus_NoMemory;
    int32_t localFlags = 0;
    if (!flags) flags = &localFlags;
    int status = Mesh3_CheckEdges(vertexCount, triangleCount, triangles, quadCount, quads, partCount, nullptr, nullptr,
                                  flips, flips + triangleCount, flags, unusedCount, reporter);
    if (status == CoreStatus_Success && !(*flags & kMeshConsistent)) {
        for (int32_t i = 0; i < triangleCount; ++i) {
            if (flips[i]) Faces_Flip(triangles + 3 * static_cast<int64_t>(i), 3);
        }
        for (int32_t i = 0; i < quadCount; ++i) {
            if (flips[triangleCount + i]) Faces_Flip(quads + 4 * static_cast<int64_t>(i), 4);
        }
    }
    Mem_Free(flips);
    if (status == CoreStatus_Success && !(*flags & kMeshManifold)) return CoreStatus_NotManifold;
    return status;
}

int Mesh3_MakeConsistentOf(CoreMesh* mesh, int32_t* partCount, int32_t* flags, int32_t* unusedCount,
                           const CoreReporter* reporter) {
    if (!mesh) return CoreStatus_NullArgument;
    return Mesh3_MakeConsistent(mesh->pointCount, mesh->triangleCount, mesh->triangles, mesh->quadCount, mesh->quads,
                                partCount, flags, unusedCount, reporter);
}

// Cleaning a mesh of conflicting and non-manifold faces: the faces to drop
// are flagged, and taken out of the topology as they are found so that later
// tests see the mesh without them.
#include <cstring>

#include "surface/fit/flag_compaction.h"
#include "surface/fit/mesh_topology.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"
#include "surface/frame/tracked_records.h"
#include "surface/search/index_table.h"

namespace {

// Longest vertex list, and longest walk round one vertex, that the cleaning
// takes on.
constexpr int32_t kMaxVertexEdges = 1000;

struct Cleaning {
    MeshTopology topology;
    int32_t* triangleFlags;
    int32_t* quadFlags;
};

int32_t& FlagOf(Cleaning& c, int32_t face) {
    const int32_t t = c.topology.TriangleCount;
    return face < t ? c.triangleFlags[face] : c.quadFlags[face - t];
}

bool Linked(const Cleaning& c, const EdgeNode* n) {
    return n->PrevInVertex || n->NextInVertex || c.topology.Lists[n->From] == n;
}

// Flags the face and takes all of its edges out of the topology, also those
// that a face naming one directed edge twice leaves behind.
void DropFace(Cleaning& c, int32_t face) {
    if (face < 0 || FlagOf(c, face)) return;
    FlagOf(c, face) = 1;
    EdgeTable_RemoveFace(face, &c.topology);
    const int32_t t = c.topology.TriangleCount;
    EdgeNode* first = face < t ? c.topology.Nodes + 3 * static_cast<int64_t>(face)
                               : c.topology.Nodes + 3 * static_cast<int64_t>(t) + 4 * static_cast<int64_t>(face - t);
    for (int32_t k = 0; k < (face < t ? 3 : 4); ++k) {
        if (Linked(c, first + k)) EdgeTable_Unlink(first + k, &c.topology);
        first[k].NextInFace = nullptr;
    }
}

// The node of the same face that ends where this one starts.
EdgeNode* Previous(EdgeNode* node) {
    EdgeNode* p = node;
    for (int k = 0; k < 4 && p->NextInFace; ++k) {
        if (p->NextInFace == node) return p;
        p = p->NextInFace;
    }
    return nullptr;
}

int32_t ListLength(Cleaning& c, int32_t v) {
    int32_t length = 0;
    for (EdgeNode* n = EdgeTable_Rewind(c.topology.Lists, v); n; n = n->NextInVertex) ++length;
    return length;
}

// Drops the faces of one doubled edge v -> w and every face with an edge
// w -> v. False when the vertex has no doubled edge left.
bool DropDoubledEdge(Cleaning& c, int32_t v) {
    for (EdgeNode* n = EdgeTable_Rewind(c.topology.Lists, v); n && n->NextInVertex; n = n->NextInVertex) {
        if (n->NextInVertex->To != n->To) continue;
        const int32_t w = n->To;
        DropFace(c, n->NextInVertex->Face);
        DropFace(c, n->Face);
        for (EdgeNode* back = EdgeTable_Find(w, v, c.topology.Lists); back;
             back = EdgeTable_Find(w, v, c.topology.Lists)) {
            DropFace(c, back->Face);
        }
        return true;
    }
    return false;
}

// A face glued back to back onto the face of an edge i -> j (entered from
// k): it has the edges j -> i and i -> k. Both go; false when there is none.
bool DropBackToBack(Cleaning& c, int32_t i) {
    for (EdgeNode* n = EdgeTable_Rewind(c.topology.Lists, i); n; n = n->NextInVertex) {
        EdgeNode* entry = n->Twin ? Previous(n) : nullptr;
        if (!entry) continue;
        const int32_t j = n->To, k = entry->From, face = n->Face;
        EdgeNode* m = EdgeTable_Find(j, i, c.topology.Lists);
        while (m && m->PrevInVertex && m->PrevInVertex->To == i) m = m->PrevInVertex;
        for (; m && m->To == i; m = m->NextInVertex) {
            if (m->Face == face || !EdgeTable_FindFace(i, k, m->Face, c.topology.Lists)) continue;
            DropFace(c, m->Face);
            DropFace(c, face);
            return true;
        }
    }
    return false;
}

int CleanEdges(Cleaning& c) {
    for (int32_t v = 0; v < c.topology.VertexCount; ++v) {
        if (ListLength(c, v) >= kMaxVertexEdges) return CoreStatus_IndexOutOfRange;
        while (DropDoubledEdge(c, v)) {}
        while (DropBackToBack(c, v)) {}
    }
    return CoreStatus_Success;
}

// The fans of faces round one vertex: its outgoing edges grouped by the
// faces that share an edge through it. `fan` gets each edge's fan number,
// `closed` whether that fan goes all the way round. False when the walk
// would take more than the step limit.
struct Fans {
    EdgeNode* edges[kMaxVertexEdges];
    int32_t fan[kMaxVertexEdges];
    bool closed[kMaxVertexEdges];
    int32_t edgeCount;
    int32_t fanCount;
};

int32_t IndexOf(const Fans& f, const EdgeNode* e) {
    for (int32_t i = 0; i < f.edgeCount; ++i) {
        if (f.edges[i] == e) return i;
    }
    return -1;
}

// The outgoing edge of v after e, turning one way: across the face's edge
// into v.
EdgeNode* Turn(EdgeNode* e) {
    EdgeNode* in = Previous(e);
    return in ? in->Twin : nullptr;
}

bool FindFans(Cleaning& c, int32_t v, Fans* f) {
    f->edgeCount = f->fanCount = 0;
    for (EdgeNode* n = EdgeTable_Rewind(c.topology.Lists, v); n; n = n->NextInVertex) {
        if (f->edgeCount == kMaxVertexEdges) return false;
        f->fan[f->edgeCount] = -1;
        f->edges[f->edgeCount++] = n;
    }
    int32_t steps = 0;
    for (int32_t s = 0; s < f->edgeCount; ++s) {
        if (f->fan[s] >= 0) continue;
        // Back up to the fan's first edge (or all the way round).
        EdgeNode* start = f->edges[s];
        bool closed = false;
        for (EdgeNode* b = start->Twin ? start->Twin->NextInFace : nullptr; b;
             b = b->Twin ? b->Twin->NextInFace : nullptr) {
            if (++steps > kMaxVertexEdges) return false;
            if (b == f->edges[s]) {
                closed = true;
                break;
            }
            start = b;
        }
        const int32_t number = f->fanCount++;
        f->closed[number] = closed;
        for (EdgeNode* e = start; e; e = Turn(e)) {
            if (++steps > kMaxVertexEdges) return false;
            const int32_t at = IndexOf(*f, e);
            if (at < 0 || f->fan[at] >= 0) break;
            f->fan[at] = number;
        }
    }
    return true;
}

// Splits every vertex whose faces form several fans: the fans that do not
// close on themselves go, and their far vertices are looked at again. The
// vertices wait in an index list, every one at first: each is taken from the
// front, and one queued again goes to the back unless it is waiting already.
int CleanFans(Cleaning& c, Fans* f) {
    const int32_t n = c.topology.VertexCount;
    IndexTable queue{};
    if (IndexTable_Init(n, -1, nullptr, nullptr, &queue) != 0) return CoreStatus_NoMemory;
    IndexList_Fill(&queue);
    int32_t v = -1;
    while (IndexList_Pop(&queue, -1, &v) == 0) {
        if (!FindFans(c, v, f)) break;
        if (f->fanCount < 2) continue;
        for (int32_t i = 0; i < f->edgeCount; ++i) {
            const int32_t far = f->edges[i]->To;
            if (!IndexList_Contains(&queue, far)) IndexList_PushBack(&queue, far);
        }
        int32_t doomed[kMaxVertexEdges];
        int32_t count = 0;
        for (int32_t i = 0; i < f->edgeCount; ++i) {
            if (f->fan[i] >= 0 && !f->closed[f->fan[i]]) doomed[count++] = f->edges[i]->Face;
        }
        for (int32_t i = 0; i < count; ++i) DropFace(c, doomed[i]);
    }
    IndexTable_Free(&queue);
    return CoreStatus_Success;
}

}  // namespace

int MeshTopology_Clean(int32_t vertexCount, const double* points, int32_t triangleCount, const int32_t* triangles,
                       int32_t quadCount, const int32_t* quads, int32_t* triangleFlags, int32_t* quadFlags) {
    if ((triangleCount > 0 && (!triangles || !triangleFlags)) || (quadCount > 0 && (!quads || !quadFlags))) {
        return CoreStatus_InvalidInput;
    }
    if (!Faces_IndicesInRange(vertexCount, triangleCount, triangles, quadCount, quads)) return CoreStatus_InvalidInput;
    Cleaning c{};
    c.triangleFlags = triangleFlags;
    c.quadFlags = quadFlags;
    int status = MeshTopology_Build(vertexCount, points, triangleCount, triangles, quadCount, quads, &c.topology, 0);
    if (status != CoreStatus_Success) return status;
    if (triangleCount > 0) std::memset(triangleFlags, 0, sizeof(int32_t) * triangleCount);
    if (quadCount > 0) std::memset(quadFlags, 0, sizeof(int32_t) * quadCount);
    status = CleanEdges(c);
    if (status == CoreStatus_Success) {
        Fans* fans = static_cast<Fans*>(Mem_Alloc(sizeof(Fans)));
        status = fans ? CleanFans(c, fans) : CoreStatus_NoMemory;
        Mem_Free(fans);
    }
    MeshTopology_Free(&c.topology);
    return status;
}

int MeshTopology_CleanOf(const CoreMesh* mesh, int32_t* triangleFlags, int32_t* quadFlags) {
    if (!mesh) return CoreStatus_NullArgument;
    return MeshTopology_Clean(mesh->pointCount, mesh->points, mesh->triangleCount, mesh->triangles, mesh->quadCount,
                              mesh->quads, triangleFlags, quadFlags);
}

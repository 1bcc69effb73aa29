#include "surface/fit/mesh_topology.h"

#include <cstring>

#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"
#include "surface/frame/tracked_records.h"

namespace {

// Walks from the vertex's reference towards the key and leaves the
// reference on the last node visited.
EdgeNode* WalkTo(int32_t from, int32_t to, EdgeNode** lists) {
    EdgeNode* n = lists[from];
    if (!n) return nullptr;
    if (n->To < to) {
        while (n->NextInVertex && n->To < to) n = n->NextInVertex;
    } else if (n->To > to) {
        while (n->PrevInVertex && n->To > to) n = n->PrevInVertex;
    }
    lists[from] = n;
    return n;
}

// The first node of a run of equal keys that contains n.
EdgeNode* RunStart(EdgeNode* n) {
    while (n->PrevInVertex && n->PrevInVertex->To == n->To) n = n->PrevInVertex;
    return n;
}

template <typename Accept>
EdgeNode* FindInRun(int32_t from, int32_t to, EdgeNode** lists, Accept accept) {
    EdgeNode* n = EdgeTable_Find(from, to, lists);
    if (!n) return nullptr;
    for (n = RunStart(n); n && n->To == to; n = n->NextInVertex) {
        if (accept(n)) return n;
    }
    return nullptr;
}

void PushOpen(EdgeNode* node, MeshTopology* topology) {
    node->PrevOpen = nullptr;
    node->NextOpen = topology->OpenHead;
    if (topology->OpenHead) topology->OpenHead->PrevOpen = node;
    topology->OpenHead = node;
}

bool InOpenList(const EdgeNode* node, const MeshTopology* topology) {
    return node == topology->OpenHead || node->PrevOpen != nullptr;
}

void RemoveOpen(EdgeNode* node, MeshTopology* topology) {
    if (!InOpenList(node, topology)) return;
    if (node->PrevOpen) node->PrevOpen->NextOpen = node->NextOpen;
    if (node->NextOpen) node->NextOpen->PrevOpen = node->PrevOpen;
    if (topology->OpenHead == node) topology->OpenHead = node->NextOpen;
    node->NextOpen = node->PrevOpen = nullptr;
}

void RemoveFromVertex(EdgeNode* node, EdgeNode** lists) {
    if (lists[node->From] == node) lists[node->From] = node->PrevInVertex ? node->PrevInVertex : node->NextInVertex;
    if (node->PrevInVertex) node->PrevInVertex->NextInVertex = node->NextInVertex;
    if (node->NextInVertex) node->NextInVertex->PrevInVertex = node->PrevInVertex;
    node->PrevInVertex = node->NextInVertex = nullptr;
}

// An unpaired node of the same key beside the node (equal keys lie together).
EdgeNode* UnpairedSameKey(const EdgeNode* node) {
    for (EdgeNode* n = node->PrevInVertex; n && n->To == node->To; n = n->PrevInVertex) {
        if (!n->Twin) return n;
    }
    for (EdgeNode* n = node->NextInVertex; n && n->To == node->To; n = n->NextInVertex) {
        if (!n->Twin) return n;
    }
    return nullptr;
}

const int32_t* FaceCorners(const MeshTopology* topology, int32_t face, int32_t* count) {
    if (face < topology->TriangleCount) {
        *count = 3;
        return topology->Triangles + 3 * static_cast<int64_t>(face);
    }
    *count = 4;
    return topology->Quads + 4 * static_cast<int64_t>(face - topology->TriangleCount);
}

}  // namespace

EdgeNode* EdgeTable_Find(int32_t from, int32_t to, EdgeNode** lists) {
    EdgeNode* n = WalkTo(from, to, lists);
    return n && n->To == to ? n : nullptr;
}

EdgeNode* EdgeTable_FindFace(int32_t from, int32_t to, int32_t face, EdgeNode** lists) {
    return FindInRun(from, to, lists, [face](const EdgeNode* n) { return n->Face == face; });
}

EdgeNode* EdgeTable_FindOtherFace(int32_t from, int32_t to, int32_t face, EdgeNode** lists) {
    return FindInRun(from, to, lists, [face](const EdgeNode* n) { return n->Face != face; });
}

EdgeNode* EdgeTable_Rewind(EdgeNode** lists, int32_t vertex) {
    EdgeNode* n = lists[vertex];
    if (!n) return nullptr;
    while (n->PrevInVertex) n = n->PrevInVertex;
    lists[vertex] = n;
    return n;
}

int EdgeTable_Insert(EdgeNode* node, EdgeNode** lists) {
    node->Twin = nullptr;
    node->NextInVertex = node->PrevInVertex = nullptr;
    EdgeNode* at = WalkTo(node->From, node->To, lists);
    if (at) {
        const bool before = at->To >= node->To;
        if (before) {
            node->NextInVertex = at;
            node->PrevInVertex = at->PrevInVertex;
            if (at->PrevInVertex) at->PrevInVertex->NextInVertex = node;
            at->PrevInVertex = node;
        } else {
            node->PrevInVertex = at;
            node->NextInVertex = at->NextInVertex;
            if (at->NextInVertex) at->NextInVertex->PrevInVertex = node;
            at->NextInVertex = node;
        }
        if (at->To == node->To) return CoreStatus_InconsistentFaces;
    }
    lists[node->From] = node;
    if (node->From == node->To) return CoreStatus_InconsistentFaces;
    EdgeNode* twin = EdgeTable_Find(node->To, node->From, lists);
    if (!twin) return CoreStatus_Success;
    if (twin->Twin) {
        EdgeNode* free = UnpairedSameKey(twin);
        if (!free) return CoreStatus_NotManifold;
        twin = free;
    }
    twin->Twin = node;
    node->Twin = twin;
    return CoreStatus_Success;
}

int EdgeTable_Add(int32_t from, int32_t to, EdgeNode* node, MeshTopology* topology) {
    node->From = from;
    node->To = to;
    node->NextOpen = node->PrevOpen = nullptr;
    const int status = EdgeTable_Insert(node, topology->Lists);
    if (node->Twin) {
        RemoveOpen(node->Twin, topology);
    } else {
        PushOpen(node, topology);
    }
    return status;
}

void EdgeTable_Unlink(EdgeNode* node, MeshTopology* topology) {
    RemoveOpen(node, topology);
    EdgeNode* twin = node->Twin;
    EdgeNode* heir = twin ? UnpairedSameKey(node) : nullptr;
    RemoveFromVertex(node, topology->Lists);
    if (twin) {
        if (heir) {
            RemoveOpen(heir, topology);
            heir->Twin = twin;
            twin->Twin = heir;
        } else {
            twin->Twin = nullptr;
            PushOpen(twin, topology);
        }
    }
    node->Twin = nullptr;
}

void EdgeTable_Detach(EdgeNode* node, EdgeNode** lists) {
    RemoveFromVertex(node, lists);
    if (node->Twin) node->Twin->Twin = nullptr;
    node->Twin = nullptr;
}

void EdgeTable_RemoveCorners(const int32_t* corners, int32_t count, int32_t face, int32_t reversed,
                             MeshTopology* topology) {
    EdgeNode* found[4] = {};
    for (int32_t k = 0; k < count && k < 4; ++k) {
        const int32_t a = corners[k], b = corners[(k + 1) % count];
        found[k] = reversed ? EdgeTable_FindFace(b, a, face, topology->Lists)
                            : EdgeTable_FindFace(a, b, face, topology->Lists);
    }
    for (int32_t k = 0; k < count && k < 4; ++k) {
        if (found[k]) EdgeTable_Unlink(found[k], topology);
    }
    for (int32_t k = 0; k < count && k < 4; ++k) {
        if (found[k]) found[k]->NextInFace = nullptr;
    }
}

void EdgeTable_RemoveFace(int32_t face, MeshTopology* topology) {
    int32_t count = 0;
    const int32_t* corners = FaceCorners(topology, face, &count);
    EdgeTable_RemoveCorners(corners, count, face, 0, topology);
}

void EdgeTable_UnlinkFace(const int32_t* corners, int32_t count, int32_t face, EdgeNode** lists) {
    EdgeNode* found[4] = {};
    for (int32_t k = 0; k < count && k < 4; ++k) {
        found[k] = EdgeTable_FindFace(corners[k], corners[(k + 1) % count], face, lists);
    }
    for (int32_t k = 0; k < count && k < 4; ++k) {
        if (found[k]) EdgeTable_Detach(found[k], lists);
    }
}

void EdgeTable_PopOpen(MeshTopology* topology) {
    if (topology->OpenHead) RemoveOpen(topology->OpenHead, topology);
}

EdgeNode* EdgeTable_NextBoundary(EdgeNode* open, const MeshTopology* topology) {
    const int64_t limit = 3 * static_cast<int64_t>(topology->TriangleCount) + 4 * topology->QuadCount;
    EdgeNode* e = open->NextInFace;
    for (int64_t steps = 0; e && e->Twin; ++steps) {
        if (steps > limit) return nullptr;
        e = e->Twin->NextInFace;
    }
    return e;
}

int MeshTopology_AddFace(const int32_t* corners, int32_t count, int32_t face, EdgeNode* first, MeshTopology* topology) {
    int status = CoreStatus_Success;
    int32_t neighbours[4] = {-1, -1, -1, -1};
    for (int32_t k = 0; k < count; ++k) {
        EdgeNode* node = first + k;
        node->Face = face;
        node->NextInFace = first + (k + 1) % count;
        if (EdgeTable_Add(corners[k], corners[(k + 1) % count], node, topology) == CoreStatus_NotManifold) {
            status = CoreStatus_NotManifold;
        }
        neighbours[k] = node->Twin ? node->Twin->Face : -1;
        for (int32_t j = 0; j < k; ++j) {
            if (neighbours[k] >= 0 && neighbours[j] == neighbours[k]) status = CoreStatus_NotManifold;
        }
    }
    return status;
}

int MeshTopology_Build(int32_t vertexCount, const double* points, int32_t triangleCount, const int32_t* triangles,
                       int32_t quadCount, const int32_t* quads, MeshTopology* topology, int32_t stop) {
    if (!topology) return CoreStatus_InvalidInput;
    std::memset(topology, 0, sizeof *topology);
    if (vertexCount < 0 || triangleCount < 0 || quadCount < 0) return CoreStatus_InvalidInput;
    const int64_t nodes = 3 * static_cast<int64_t>(triangleCount) + 4 * static_cast<int64_t>(quadCount);
    if (static_cast<uint64_t>(nodes) * sizeof(EdgeNode) > kMemLargestBlock) return CoreStatus_NoMemory;
    EdgeNode* pool = static_cast<EdgeNode*>(Mem_Calloc(nodes > 0 ? nodes : 1, sizeof(EdgeNode)));
    EdgeNode** lists = static_cast<EdgeNode**>(Mem_Calloc(vertexCount > 0 ? vertexCount : 1, sizeof(EdgeNode*)));
    if (!pool || !lists) {
        Mem_Free(pool);
        Mem_Free(lists);
        return CoreStatus_NoMemory;
    }
    topology->Nodes = pool;
    topology->Lists = lists;
    topology->VertexCount = vertexCount;
    topology->Points = points;
    topology->Triangles = triangles;
    topology->TriangleCount = triangleCount;
    topology->Quads = quads;
    topology->QuadCount = quadCount;
    for (int32_t t = 0; t < triangleCount; ++t) {
        const int status = MeshTopology_AddFace(triangles + 3 * static_cast<int64_t>(t), 3, t, pool + 3 * t, topology);
        if (stop && status != CoreStatus_Success) return status;
    }
    EdgeNode* quadNodes = pool + 3 * static_cast<int64_t>(triangleCount);
    for (int32_t q = 0; q < quadCount; ++q) {
        const int status = MeshTopology_AddFace(quads + 4 * static_cast<int64_t>(q), 4, triangleCount + q,
                                                quadNodes + 4 * static_cast<int64_t>(q), topology);
        if (stop && status != CoreStatus_Success) return status;
    }
    return CoreStatus_Success;
}

int MeshTopology_BuildFromCore(const CoreMesh* mesh, MeshTopology* topology, int32_t stop) {
    if (!mesh) return CoreStatus_NullArgument;
    return MeshTopology_Build(mesh->pointCount, mesh->points, mesh->triangleCount, mesh->triangles, mesh->quadCount,
                              mesh->quads, topology, stop);
}

void MeshTopology_Free(MeshTopology* topology) {
    if (!topology) return;
    Mem_Free(topology->Lists);
    Mem_Free(topology->Nodes);
    Mem_Free(topology->Loops);
    std::memset(topology, 0, sizeof *topology);
}

int32_t MeshTopology_OpenCount(const MeshTopology* topology) {
    int32_t count = 0;
    for (const EdgeNode* n = topology->OpenHead; n; n = n->NextOpen) ++count;
    return count;
}

int MeshTopology_BoundaryLoops(MeshTopology* topology) {
    Mem_Free(topology->Loops);
    topology->Loops = nullptr;
    topology->LoopCount = 0;
    const int32_t open = MeshTopology_OpenCount(topology);
    if (open == 0) return CoreStatus_Success;
    // Two loops of two edges each (pillows glued along an edge) make more
    // loops than a third of the open edges: the table grows as needed.
    int32_t capacity = open / 3 > 0 ? open / 3 : 1;
    EdgeNode** loops = static_cast<EdgeNode**>(Mem_Alloc(sizeof(EdgeNode*) * capacity));
    if (!loops) return CoreStatus_NoMemory;
    int32_t count = 0;
    while (topology->OpenHead) {
        EdgeNode* start = topology->OpenHead;
        RemoveOpen(start, topology);
        if (count == capacity) {
            capacity *= 2;
            loops = static_cast<EdgeNode**>(Mem_Realloc(loops, sizeof(EdgeNode*) * capacity));
            if (!loops) return CoreStatus_NoMemory;
        }
        loops[count++] = start;
        EdgeNode* last = start;
        for (EdgeNode* n = EdgeTable_NextBoundary(start, topology); n && n != start;
             n = EdgeTable_NextBoundary(n, topology)) {
            // A node already chained (a boundary touching itself at a
            // non-manifold vertex) ends this loop.
            if (!InOpenList(n, topology)) break;
            RemoveOpen(n, topology);
            last->NextOpen = n;
            n->PrevOpen = last;
            last = n;
        }
        last->NextOpen = start;
        start->PrevOpen = last;
        if (last == start) start->NextOpen = start->PrevOpen = start;
    }
    EdgeNode** shrunk = static_cast<EdgeNode**>(Mem_Realloc(loops, sizeof(EdgeNode*) * count));
    if (!shrunk) return CoreStatus_NoMemory;
    topology->Loops = shrunk;
    topology->LoopCount = count;
    return CoreStatus_Success;
}

int32_t MeshTopology_LoopLength(const EdgeNode* loop) {
    if (!loop) return 0;
    int32_t length = 1;
    for (const EdgeNode* n = loop->NextOpen; n && n != loop; n = n->NextOpen) ++length;
    return length;
}

void MeshTopology_RebuildOpenList(MeshTopology* topology) {
    topology->OpenHead = nullptr;
    const int64_t nodes = 3 * static_cast<int64_t>(topology->TriangleCount) + 4 * topology->QuadCount;
    for (int64_t i = 0; i < nodes; ++i) topology->Nodes[i].NextOpen = topology->Nodes[i].PrevOpen = nullptr;
    for (int32_t v = 0; v < topology->VertexCount; ++v) {
        for (EdgeNode* n = EdgeTable_Rewind(topology->Lists, v); n; n = n->NextInVertex) {
            if (!n->Twin) PushOpen(n, topology);
        }
    }
}

int32_t Edges_FindTriples(MeshTopology* topology, int32_t* ends, int32_t capacity) {
    int32_t found = 0;
    for (int32_t v = 0; v < topology->VertexCount; ++v) {
        EdgeNode* n = EdgeTable_Rewind(topology->Lists, v);
        while (n) {
            int32_t run = 1;
            EdgeNode* m = n->NextInVertex;
            for (; m && m->To == n->To; m = m->NextInVertex) ++run;
            if (run >= 3) {
                if (found < capacity) {
                    ends[2 * found] = n->From;
                    ends[2 * found + 1] = n->To;
                }
                ++found;
            }
            n = m;
        }
    }
    return found;
}

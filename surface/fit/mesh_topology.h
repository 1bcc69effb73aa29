// Edge topology of a triangle-and-quad mesh: one node per directed edge of
// every face (three per triangle, then four per quad), per-vertex lists of
// those nodes sorted by their end vertex, twin links between the two
// directed edges of a shared edge, and a list of open (boundary) edges.
//
// Faces are numbered across both lists: triangles 0..T-1, quads T..T+Q-1.
// Each vertex list is entered through a moving reference, so that searches
// for increasing keys cost one pass. Statuses are core statuses.
#ifndef SURFACE_FIT_MESH_TOPOLOGY_H
#define SURFACE_FIT_MESH_TOPOLOGY_H

#include <cstdint>

struct CoreMesh;

struct EdgeNode {
    int32_t From;
    int32_t To;
    EdgeNode* Twin;      // the paired opposite edge, or null
    EdgeNode* NextOpen;  // open-edge list (or a boundary loop's ring)
    EdgeNode* PrevOpen;
    EdgeNode* NextInVertex;  // the From vertex's list, ascending To
    EdgeNode* PrevInVertex;
    EdgeNode* NextInFace;  // the following corner's edge: a ring per face
    int32_t Face;
};

struct MeshTopology {
    EdgeNode** Lists;  // one moving reference per vertex
    EdgeNode* OpenHead;
    EdgeNode* Nodes;  // the pool
    int32_t VertexCount;
    const double* Points;
    const int32_t* Triangles;
    int32_t TriangleCount;
    const int32_t* Quads;
    int32_t QuadCount;
    int32_t LoopCount;
    EdgeNode** Loops;  // one node of each boundary loop
};

// The node From -> To, or null; the vertex's reference stays on the last
// node visited.
EdgeNode* EdgeTable_Find(int32_t from, int32_t to, EdgeNode** lists);
// The node From -> To of that face (FindFace) or of any other face
// (FindOtherFace), stepping through nodes of the same key.
EdgeNode* EdgeTable_FindFace(int32_t from, int32_t to, int32_t face, EdgeNode** lists);
EdgeNode* EdgeTable_FindOtherFace(int32_t from, int32_t to, int32_t face, EdgeNode** lists);
// Moves the vertex's reference to the first node of its list and returns it.
EdgeNode* EdgeTable_Rewind(EdgeNode** lists, int32_t vertex);
// Links the node into its From list in order of To. A node with the same key
// already there: the new one goes in front of it, 27 at once. Else the twin
// is searched: already paired gives 25, otherwise both are paired; 0.
int EdgeTable_Insert(EdgeNode* node, EdgeNode** lists);
// Fills From and To and inserts; an unpaired node goes at the head of the
// open-edge list, a twin it found leaves it.
int EdgeTable_Add(int32_t from, int32_t to, EdgeNode* node, MeshTopology* topology);
// Takes the node out of its vertex list and the open-edge list. Its twin is
// passed on to another unpaired node of the same key, else the twin becomes
// open (at the head). The node's links are cleared.
void EdgeTable_Unlink(EdgeNode* node, MeshTopology* topology);
// The same without open-list work: the twin simply loses its twin.
void EdgeTable_Detach(EdgeNode* node, EdgeNode** lists);
// Unlinks the face's edges (found in corner order) and clears their rings.
void EdgeTable_RemoveFace(int32_t face, MeshTopology* topology);
void EdgeTable_RemoveCorners(const int32_t* corners, int32_t count, int32_t face, int32_t reversed,
                             MeshTopology* topology);
void EdgeTable_UnlinkFace(const int32_t* corners, int32_t count, int32_t face, EdgeNode** lists);
void EdgeTable_PopOpen(MeshTopology* topology);
// The next open edge along the same boundary (null when the walk finds none
// within the pool's size, on a broken topology).
EdgeNode* EdgeTable_NextBoundary(EdgeNode* open, const MeshTopology* topology);

// Adds a face's edges in corner order and links its ring; 25 when an insert
// reported 25 or two of its edges border the same neighbour face.
int MeshTopology_AddFace(const int32_t* corners, int32_t count, int32_t face, EdgeNode* first, MeshTopology* topology);
// 5 for no record, 2 when the pool or the references cannot be allocated
// (nothing built); else 0, or with `stop` set the first non-zero status of
// an added face (building ends there).
int MeshTopology_Build(int32_t vertexCount, const double* points, int32_t triangleCount, const int32_t* triangles,
                       int32_t quadCount, const int32_t* quads, MeshTopology* topology, int32_t stop);
// The same from a core mesh record; 23 for none.
int MeshTopology_BuildFromCore(const CoreMesh* mesh, MeshTopology* topology, int32_t stop);
void MeshTopology_Free(MeshTopology* topology);
// Moves every open edge into boundary loops: each loop's nodes are chained
// into a ring through their open-list links and one of them is kept in the
// loop table. The open-edge list is empty afterwards. 0 or 2.
int MeshTopology_BoundaryLoops(MeshTopology* topology);
// The number of nodes on the ring of a boundary loop.
int32_t MeshTopology_LoopLength(const EdgeNode* loop);
// Empties the open-edge list and pushes every unpaired node again, vertex by
// vertex.
void MeshTopology_RebuildOpenList(MeshTopology* topology);
// The number of nodes in the open-edge list.
int32_t MeshTopology_OpenCount(const MeshTopology* topology);
// The directed edges used three times or more: From and To of each in
// `ends` (two ints a slot, at most `capacity` slots); returns how many
// there are (more than written when the room runs out).
int32_t Edges_FindTriples(MeshTopology* topology, int32_t* ends, int32_t capacity);

// Flags the faces to drop so that the rest is free of conflicts and
// non-manifold edges and vertices: both faces of a directed edge used twice
// and every face running that edge backwards; two faces glued back to back
// on the same corners; and at a vertex whose faces form several fans, every
// fan that does not close on itself. The flags (one int a face, 1 = drop)
// are zeroed first. 5 for corners out of range or missing arrays, 2 for
// memory, 30 for a vertex with 1000 edges or more, else 0 (also when a walk
// round one vertex would take more than 1000 steps: the cleaning ends
// there).
int MeshTopology_Clean(int32_t vertexCount, const double* points, int32_t triangleCount, const int32_t* triangles,
                       int32_t quadCount, const int32_t* quads, int32_t* triangleFlags, int32_t* quadFlags);
// The same for a core mesh record; 23 for none.
int MeshTopology_CleanOf(const CoreMesh* mesh, int32_t* triangleFlags, int32_t* quadFlags);

#endif

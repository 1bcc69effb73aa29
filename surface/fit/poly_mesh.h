// The working mesh of the simplification: points with class words and
// optional colours, one half-edge per face corner with its twin, face rings,
// per-point lists of outgoing half-edges sorted by their end point, and a
// doubly linked face list that the simplification keeps sorted and walks.
// Everything is allocated with the run-time allocator, so that the mesh can
// outlive the operation that made it.
#ifndef SURFACE_FIT_POLY_MESH_H
#define SURFACE_FIT_POLY_MESH_H

#include <cstdint>

struct PolyFace;
struct Reporter;

struct PolyEdge {
    int32_t From;
    int32_t To;
    PolyFace* Face;
    PolyEdge* Twin;  // To -> From of the neighbouring face, or null
    PolyEdge* PrevInFace;
    PolyEdge* NextInFace;
    PolyEdge* PrevOut;  // the From point's list, ascending To
    PolyEdge* NextOut;
};

struct FaceData {
    double Centroid[3];
    double SurfaceNormal[3];  // unit gradient of the fitted function at the centroid
    double FaceNormal[3];
    PolyEdge* CollapseEdge;
    int32_t BoxFlag;      // the centroid lies on a plane of the bounding box
    double CornerCosine;  // the largest cosine of the interior angles, not below 0
    double SurfaceError;  // signed distance estimate of the centroid from the surface
    double ColourStep;    // the largest colour difference along an edge
};

struct PolyFace {
    PolyFace* Prev;  // towards the front of the face list
    PolyFace* Next;  // towards the tail
    PolyEdge* Start;
    int32_t CornerCount;
    FaceData* Data;
};

// Class word of a point: bits 0-2 on the minimum box plane in x, y, z, bits
// 3-5 on the maximum planes, the lock bit, and from bit 8 the number of box
// planes the point lies on.
constexpr int32_t kPointBoxBits = 0x3f;
constexpr int32_t kPointLocked = 0x40;
constexpr int32_t kPointPlaneShift = 8;

struct PolyMesh {
    double* Points;  // three doubles a point
    int32_t PointCount;
    int32_t PointCapacity;
    int32_t* Class;
    double* Colours;  // three a point, or null
    PolyEdge** Out;   // per point: a finger into its outgoing list, or null
    PolyEdge* Edges;  // the pool of half-edges (freed ones are unlinked)
    int32_t EdgeCount;
    PolyFace* FacePool;
    int32_t FaceCount;  // faces in the list
    PolyFace* Front;
    PolyFace* Tail;
    PolyFace* Walk;  // the walk's current face
};

// Builds the mesh from points (copied), triangles and quads; faces are
// listed in input order (triangles first). 0, 2 when memory runs out, 3
// when a directed edge repeats, runs from a point to itself, or its reverse
// is already paired (nothing is left allocated then).
int PolyMesh_Build(int32_t pointCount, const double* points, int32_t triangleCount, const int32_t* triangles,
                   int32_t quadCount, const int32_t* quads, int32_t withColours, PolyMesh* mesh);
void PolyMesh_Free(PolyMesh* mesh);

// The half-edge From -> To, or null; the point's finger stays on the last
// half-edge visited.
PolyEdge* PolyMesh_Find(PolyMesh* mesh, int32_t from, int32_t to);
// Moves the half-edge to the list of `from` with end `to`, at its sorted
// place. 0, or 3 when another half-edge already runs from -> to (nothing
// changes then).
int PolyMesh_Rekey(PolyMesh* mesh, PolyEdge* edge, int32_t from, int32_t to);
// Takes the half-edge out of its point's list and its face ring (the ring's
// start moves on when it was the start); its twin loses its twin.
void PolyMesh_UnlinkEdge(PolyMesh* mesh, PolyEdge* edge);

// Face list: unlink a face (the walk moves to its successor when it stood
// there and `walkForward` is set, else to its predecessor, then the other),
// link a face after another (null: at the front).
void PolyMesh_UnlinkFace(PolyMesh* mesh, PolyFace* face, bool walkForward);
void PolyMesh_LinkAfter(PolyMesh* mesh, PolyFace* face, PolyFace* after);

// Removes points without half-edges: the last used point (with colour and
// class) moves into each free slot and the half-edges are renumbered. 0 or 2.
int PolyMesh_CompactPoints(PolyMesh* mesh);

// The mesh as arrays of the tracked allocator, walking the face list from
// the front (the walk ends on the tail): points (three doubles each),
// triangles and quads (corners from each ring's start). 0 or 2 (none made).
int PolyMesh_Output(PolyMesh* mesh, double** points, int32_t** triangles, int32_t* triangleCount, int32_t** quads,
                    int32_t* quadCount);

// Collapses the half-edge A -> B of face F (twin in face G) into A: the
// edge and its twin leave their faces, a face left with two corners goes
// (the twins of its two remaining half-edges become each other's twins, and
// the walk moves to its predecessor, else its successor), and every
// half-edge of B is re-keyed to A. The faces that lost a corner and remain
// come back in survivors (null where none). 0, or 3 when a re-key meets a
// directed edge that exists already: the mesh is then left part-way, and
// "Topology error removing face. Simplification aborted." is reported.
int PolyMesh_CommitCollapse(PolyMesh* mesh, PolyEdge* edge, PolyFace** survivors, Reporter* reporter);

#endif

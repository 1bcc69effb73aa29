// Meshes: a 3D point list with a face list. Allocated with the run-time
// allocator. Statuses are the API statuses (14: mesh missing or unusable).
#ifndef SURFACE_FRAME_MESH3_H
#define SURFACE_FRAME_MESH3_H

#include <cstdint>

#include "surface/frame/face_list.h"
#include "surface/frame/point_list.h"

struct CoreMesh;
struct Reporter;

struct Mesh3 {
    PointList3 Points;
    FaceList Faces;
};

// Clear zero-fills both parts; Free releases them and clears them.
void Mesh3_Clear(Mesh3* mesh);
void Mesh3_Free(Mesh3* mesh);
// Clears the mesh and creates a point list without optional arrays and the
// face list; 14 for a null mesh. On failure the mesh is empty.
int Mesh3_Create(Mesh3* mesh, int32_t points, int32_t triangles, int32_t quads);
// Copies the faces and the points (with the alternate sets when asked);
// 14 for a missing or unusable mesh. On failure the destination is empty.
int Mesh3_Copy(Mesh3* destination, Mesh3* source, int32_t withAltSets);
// 1 when usable, else 0 after one message: "Mesh is NULL", the point list
// check ("Mesh", at least one point), the face list check (at least one
// face), and every face corner must name a point of the list.
int Mesh3_Check(const Mesh3* mesh, Reporter* reporter);
// The same on a chosen alternate set: status 0, 14 or 15.
int Mesh3_CheckAlt(const Mesh3* mesh, int32_t set, Reporter* reporter);
// Zero-fills the mesh and moves the core mesh's arrays into it without
// copying (its second per-point array becomes the Gradient); the moved
// fields of the core mesh are zeroed, and the moved blocks leave the
// tracked allocator's registry, so that only the mesh frees them.
void Mesh3_FromCoreMesh(Mesh3* mesh, CoreMesh* core);

#endif

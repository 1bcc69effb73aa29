// Public mesh operations over the mesh check: making the orientation
// consistent, vertex normals from the faces, and welding points that lie too
// close together. Statuses are API statuses.
#ifndef SURFACE_FIT_MESH_OPERATIONS_H
#define SURFACE_FIT_MESH_OPERATIONS_H

#include <cstdint>

struct Mesh3;
struct Reporter;

// Reverses the faces that disagree with their part in place; every out
// argument may be null. A non-manifold mesh gives the status of 25.
int Selvane_MakeConsistentMesh3(Mesh3* mesh, int32_t* partCount, int32_t* flags, int32_t* unusedCount,
                                Reporter* reporter);
// Unit vertex normals (the Gradient of the chosen set, -1 the main one):
// the sum of the unit normals of the faces at each vertex, normalised;
// degenerate faces add nothing and a vertex without area keeps zero.
int Selvane_NormalsFromMesh3(Mesh3* mesh, int32_t set, Reporter* reporter);
// Merges points closer than the distance (relative to the extent when the
// flag is set; <= 0 means relative 1e-10): the per-point arrays follow the
// kept points, faces are renumbered and those that became degenerate go.
int RemoveClosePointsMesh3(Mesh3* mesh, double distance, int32_t relative, int32_t* unchanged, Reporter* reporter);

#endif

// Mesh checks over the edge topology: a traversal that grows each connected
// part face by face, orienting every new face like the face it was reached
// from. It labels the parts, marks the faces whose corner order must be
// reversed and tells whether the mesh is consistent, manifold and closed.
// Statuses are core statuses.
#ifndef SURFACE_FIT_MESH_CHECK_H
#define SURFACE_FIT_MESH_CHECK_H

#include <cstdint>

struct CoreMesh;
struct CoreReporter;

// Flag bits of a checked mesh; the value kMeshCornerOutOfRange alone marks a
// corner index outside the point range.
enum MeshFlag : int32_t {
    kMeshConsistent = 1,
    kMeshManifold = 2,
    kMeshClosed = 4,
    kMeshCornerOutOfRange = 8,
};

// Labels: the part (1, 2 ...) of every face, or minus the part of the face
// it conflicts with. Flips: 1 for a face to be reversed to match its part.
// Label and flip arrays may be null (local ones are used then). 5 for no
// vertices or corners out of range, 2 memory, 10 aborted.
int Mesh3_CheckEdges(int32_t vertexCount, int32_t triangleCount, const int32_t* triangles, int32_t quadCount,
                     const int32_t* quads, int32_t* partCount, int32_t* triangleLabels, int32_t* quadLabels,
                     int32_t* triangleFlips, int32_t* quadFlips, int32_t* flags, int32_t* unusedCount,
                     const CoreReporter* reporter);
int Mesh3_CheckEdgesOf(const CoreMesh* mesh, int32_t* partCount, int32_t* triangleLabels, int32_t* quadLabels,
                       int32_t* triangleFlips, int32_t* quadFlips, int32_t* flags, int32_t* unusedCount,
                       const CoreReporter* reporter);
// The second form: a face whose edges conflict keeps them in the part
// (unpaired) and takes the label of the face it conflicts with, so that its
// later neighbours join that part; every neighbour found counts towards the
// orientation vote, conflicting or not.
int Mesh3_CheckEdgesB(int32_t vertexCount, int32_t triangleCount, const int32_t* triangles, int32_t quadCount,
                      const int32_t* quads, int32_t* partCount, int32_t* triangleLabels, int32_t* quadLabels,
                      int32_t* triangleFlips, int32_t* quadFlips, int32_t* flags, int32_t* unusedCount,
                      const CoreReporter* reporter);
int Mesh3_CheckEdgesBOf(const CoreMesh* mesh, int32_t* partCount, int32_t* triangleLabels, int32_t* quadLabels,
                        int32_t* triangleFlips, int32_t* quadFlips, int32_t* flags, int32_t* unusedCount,
                        const CoreReporter* reporter);
// Runs the check and reverses every flagged face in place; 25 when the mesh
// is not manifold (the consistent parts are reversed all the same).
int Mesh3_MakeConsistent(int32_t vertexCount, int32_t triangleCount, int32_t* triangles, int32_t quadCount,
                         int32_t* quads, int32_t* partCount, int32_t* flags, int32_t* unusedCount,
                         const CoreReporter* reporter);
int Mesh3_MakeConsistentOf(CoreMesh* mesh, int32_t* partCount, int32_t* flags, int32_t* unusedCount,
                           const CoreReporter* reporter);
// Triangle a, b, c becomes c, b, a; quad a, b, c, d becomes c, b, a, d.
void Faces_Flip(int32_t* corners, int32_t count);

#endif

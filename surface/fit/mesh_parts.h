// Part tables of a checked mesh and the public mesh check that fills them.
#ifndef SURFACE_FIT_MESH_PARTS_H
#define SURFACE_FIT_MESH_PARTS_H

#include <cstdint>

struct CoreMesh;
struct CoreReporter;
struct Mesh3;
struct Reporter;

// Filled by Selvane_CheckMesh3, released by MeshCheckInfo_Free. Flags carry
// the bits of MeshFlag.
struct MeshCheckInfo {
    int32_t Flags;
    int32_t PartCount;
    int32_t UnusedCount;
    int32_t* Parts;      // four ints a part: label, faces, triangles, quads
    int32_t* PartFlags;  // one a part, only when parts were extracted
    int32_t* TriangleLabels;
    int32_t* QuadLabels;
    int32_t* TriangleFlips;
    int32_t* QuadFlips;
};

void MeshCheckInfo_Free(MeshCheckInfo* info);

// Label modes of a part table: conflicts (negative labels) merged into the
// part of the same absolute label, dropped, or kept as entries of their own.
enum PartLabelMode : int32_t {
    kPartsKeepConflicts = 0,
    kPartsDropConflicts = 1,
    kPartsMergeConflicts = 2,
};

// Groups the triangle and the quad labels into a table of four ints a part
// (label, faces, triangles, quads), allocated with the record allocator;
// 0, or 2 with no table.
int MeshParts_BuildTable(int32_t triangleCount, int32_t quadCount, const int32_t* triangleLabels,
                         const int32_t* quadLabels, int32_t mode, int32_t* partCount, int32_t** table);

// Checks the mesh: parts, unused vertices, orientation, manifoldness and
// closedness, with the part table in merge mode; with `extractParts` each
// part's faces are checked again on their own for its flags. API status.
int Selvane_CheckMesh3(Mesh3* mesh, int32_t extractParts, MeshCheckInfo* info, Reporter* reporter);

// One core mesh record per part of the table (built from the labels in the
// given mode when none is given or its count is <= 0), in table order: the
// part's faces (its label, or minus it in merge mode) with corners renumbered
// in the order vertices are first met, the used points (and normals), and
// each new vertex's former index as the record's source index. The records
// come in a tracked array of *partCount. 0 or 2 (nothing left allocated).
int Mesh3_FindParts(int32_t vertexCount, const double* points, const double* normals, int32_t triangleCount,
                    const int32_t* triangles, int32_t quadCount, const int32_t* quads, int32_t* partCount,
                    const int32_t* partTable, const int32_t* triangleLabels, const int32_t* quadLabels, int32_t mode,
                    CoreMesh** parts, const CoreReporter* reporter);

// Splits the mesh into one mesh per part of the labels (mode as above): the
// meshes (and, when asked, each part's map to the former vertices) come in
// arrays of the record allocator that the caller frees. API status.
int SplitMeshParts(Mesh3* mesh, const int32_t* triangleLabels, const int32_t* quadLabels, int32_t mode,
                   int32_t* partCount, Mesh3** meshes, int32_t*** vertexMaps, Reporter* reporter);

// Mesh3_FindParts on a core mesh record (its normals come along).
int Mesh3_FindPartsOf(const CoreMesh* mesh, int32_t* partCount, const int32_t* partTable, const int32_t* triangleLabels,
                      const int32_t* quadLabels, int32_t mode, CoreMesh** parts, const CoreReporter* reporter);

// Copies the flagged triangles and quads (non-zero flags) into one record,
// corners renumbered in the order vertices are first met, with the used
// points (and normals) and each new vertex's former index. 0 or 2 (the
// record empty).
int Mesh3_ExtractFaces(int32_t vertexCount, const double* points, const double* normals, int32_t triangleCount,
                       const int32_t* triangles, int32_t quadCount, const int32_t* quads, const int32_t* triangleFlags,
                       const int32_t* quadFlags, CoreMesh* record);
int Mesh3_ExtractFacesOf(const CoreMesh* mesh, const int32_t* triangleFlags, const int32_t* quadFlags,
                         CoreMesh* record);

// Splits the mesh into connected parts of bounded size: parts grow
// breadth-first across edges up to (1 - fraction) x maxFaces faces, and a
// part below maxFaces x fraction faces then joins the first neighbouring
// part that stays below maxFaces with it. maxFaces <= 0 asks for whole
// connected parts. The parts come as in Mesh3_FindParts; on failure none.
// Core status of the topology build (non-manifold input stops it), or 2.
int Mesh3_SplitParts(int32_t vertexCount, const double* points, const double* normals, int32_t triangleCount,
                     const int32_t* triangles, int32_t quadCount, const int32_t* quads, int32_t maxFaces,
                     double fraction, int32_t* partCount, CoreMesh** parts, const CoreReporter* reporter);
int Mesh3_SplitPartsOf(const CoreMesh* mesh, int32_t maxFaces, double fraction, int32_t* partCount, CoreMesh** parts,
                       const CoreReporter* reporter);

#endif

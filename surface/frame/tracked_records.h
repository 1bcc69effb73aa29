// Two records built on the tracked allocator: the core mesh record of the
// mesh-part operations, and the byte pool that matrices are cut from.
#ifndef SURFACE_FRAME_TRACKED_RECORDS_H
#define SURFACE_FRAME_TRACKED_RECORDS_H

#include <cstddef>
#include <cstdint>

// A mesh in the core's own form. Every array is a tracked block.
struct CoreMesh {
    int32_t pointCount;
    int32_t pointCapacity;
    double* points;   // three doubles a point
    double* normals;  // second per-point array, three doubles a point
    int32_t triangleCount;
    int32_t triangleCapacity;
    int32_t* triangles;  // three corner indices a triangle
    int32_t quadCount;
    int32_t quadCapacity;
    int32_t* quads;        // four corner indices a quad
    int32_t* sourceIndex;  // further per-point array (former vertex index)
};

// Zero-fills the record and allocates room for the given numbers of points,
// triangles and quads (an array only for a positive number), setting the
// capacities. Returns 5 for a null record, 2 with everything freed and the
// record zeroed when an allocation fails, else 0.
int InitBlockVector(int32_t points, int32_t triangles, int32_t quads, CoreMesh* record);
// Frees every array of the record and zero-fills it (null allowed).
void FreeSpatialRecord(CoreMesh* record);

// A tracked byte block that matrices are cut from front to back.
struct MemPool {
    std::size_t bytesLeft;
    unsigned char* next;
    unsigned char* start;  // the block to free with Mem_Free
};

// Allocates a zero-filled pool of `bytes`. Returns 0, or 2 with all fields
// zero (5 for a null pool).
int MemPool_Init(std::size_t bytes, MemPool* pool);

#endif

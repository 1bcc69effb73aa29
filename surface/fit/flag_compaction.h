// In-place removal of flagged entries, shared by the mesh and point-list
// operations. The order is not kept: trailing flagged entries are dropped,
// then every flagged entry from the front takes the current last kept
// entry, so flags 1, 0, 1, 0 over e1..e4 keep e4, e2.
#ifndef SURFACE_FIT_FLAG_COMPACTION_H
#define SURFACE_FIT_FLAG_COMPACTION_H

#include <cstdint>

struct CoreMesh;
struct CoreReporter;
struct FaceList;
struct PointList2;
struct PointList3;

// On quads (four ints each); *count in/out. The flags are consumed.
void Index_CompactFlagged(int32_t* flags, int32_t* quads, int32_t* count);
// On the triangles of a face list, whose triangle count is updated.
void Index_CompactFlaggedCounted(int32_t* flags, FaceList* faces);
// The same arrangement as an order of former indices (a permutation of
// 0..count-1 whose first *kept entries are the kept ones).
void Flags_CompactionOrder(const int32_t* flags, int32_t* order, int32_t count, int32_t* kept);
// Puts entry order[j] at j in every array of the list (main and alternate
// sets), for j < count; `order` must be a permutation of 0..count-1.
void PointList3_Permute(int32_t* order, int32_t count, PointList3* list);
// Removes the flagged points. 2 with "Memory allocation failed" (the list
// unchanged) when the order cannot be allocated.
int PointList3_RemoveFlagged(const int32_t* flags, PointList3* list, const CoreReporter* reporter);
// The 2D twins (two doubles of Location and Gradient a point).
void PointList2_Permute(int32_t* order, int32_t count, PointList2* list);
int PointList2_RemoveFlagged(const int32_t* flags, PointList2* list, const CoreReporter* reporter);
// 1 when every corner names a vertex 0..vertexCount-1, else 0.
int Faces_IndicesInRange(int32_t vertexCount, int32_t triangleCount, const int32_t* triangles, int32_t quadCount,
                         const int32_t* quads);
int Faces_IndicesInRangeOf(const CoreMesh* mesh);

#endif

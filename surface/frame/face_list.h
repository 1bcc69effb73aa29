// Face lists: triangles (three point indices each) and quads (four each),
// with their counts and capacities. Allocated with the run-time allocator.
// Statuses are the API statuses: 0, 2 no memory, 8 negative size,
// 13 face list missing.
#ifndef SURFACE_FRAME_FACE_LIST_H
#define SURFACE_FRAME_FACE_LIST_H

#include <cstdint>

struct Reporter;

struct FaceList {
    int32_t TriCount;
    int32_t TriCapacity;
    int32_t* Tri;  // three point indices a triangle
    int32_t QuadCount;
    int32_t QuadCapacity;
    int32_t* Quad;  // four point indices a quad
};

// Zero-fills. Free releases both arrays and zero-fills (null allowed).
void FaceList_Init(FaceList* list);
void FaceList_Free(FaceList* list);
// Zero-fills and allocates room for the given numbers of faces (no array for
// 0); the counts are 0. 13 for a null list, 8 for a negative size, 2 with the
// record empty when memory runs out.
int FaceList_Create(FaceList* list, int32_t triangles, int32_t quads);
// A positive capacity resizes that array (its count cut to it); 0 leaves it.
// 0 at once when both capacities are unchanged; 2 when a resize fails (that
// array then keeps its old size).
int FaceList_Resize(FaceList* list, int32_t triangles, int32_t quads);
// 1 when usable, else 0 after one message: the counts must lie within their
// capacities with arrays behind them, and the faces number at least `minimum`.
int FaceList_Check(const FaceList* list, int32_t minimum, Reporter* reporter);
// Removes degenerate faces: triangles with a repeated index, quads with
// repeated indices. A quad whose one repeated pair are neighbouring corners
// becomes the triangle of its other three corners in their order (the
// earlier corner of the pair dropped); a quad whose equal corners are
// opposite has no area and goes. Removed faces are filled from the end of
// their array. `scratch` holds one int per face. 2 when the triangle array
// cannot grow (the list is then as it was).
int FaceList_RemoveDegenerate(FaceList* list, int32_t* scratch);

#endif

// k-d trees over packed arrays of 2D or 3D points (two or three doubles a
// point), split by x, y (and z) in turn from the root down. The tree does not
// keep the array (it walks a copy of the points kept beside its nodes): every
// search is given the same array that the tree was built over. Boxes are
// half-open: minimum <= coordinate < maximum.
#ifndef SURFACE_SEARCH_KD_TREE_PACKED_H
#define SURFACE_SEARCH_KD_TREE_PACKED_H

#include <cstdint>

#include "surface/search/kd_build.h"

struct KdTree2 {
    KdNode* Nodes;
    int32_t* Stack;
    int32_t* SplitStack;
    int32_t Depth;
    int32_t Count;
};

struct KdTree3 {
    KdNode* Nodes;
    int32_t* Stack;
    int32_t* SplitStack;
    int32_t Depth;
    int32_t Count;
};

// Builds the tree over `count` points; bounds (or null) receives the minima,
// then the maxima. Returns non-zero on success, 0 when memory runs out (the
// record is then empty).
int KdTree2_Build(int32_t count, const double* points, KdTree2* tree, double* bounds);
int KdTree3_Build(int32_t count, const double* points, KdTree3* tree, double* bounds);

// Lists in tree order the indices of the points inside the box (the minima,
// then the maxima). Returns 1, or 0 when `limit` indices were listed (the
// search then stops); *count receives the number listed.
int KdTree2_BoxQuery(const KdTree2* tree, const double* points, const double* box, int32_t limit, int32_t* indices,
                     int32_t* count);
int KdTree3_BoxQuery(const KdTree3* tree, const double* points, const double* box, int32_t limit, int32_t* indices,
                     int32_t* count);

// Frees the tree's arrays and zeroes the record; null is ignored.
void KdTree2_Free(KdTree2* tree);
void KdTree3_Free(KdTree3* tree);

// The box of six doubles from point - r to point + r.
void Box_AroundPoint3(const double* point, double r, double* box);

#endif

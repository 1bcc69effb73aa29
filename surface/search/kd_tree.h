// The general k-d tree over a table of point references of any dimension.
//
// The points are referenced: the caller keeps the table alive and unchanged
// while the tree is used (the walks read a copy of the points kept beside the
// nodes, in node order). Box searches count a point as inside when
// minimum <= coordinate < maximum on every dimension; a box is the d minima
// followed by the d maxima. Every point of a left subtree lies strictly below
// its node on the node's split dimension (level modulo d), every point of a
// right subtree at or above it.
//
// Statuses are the core statuses: 0 success, 2 no memory, 5 invalid input,
// 10 user abort, 23 a required argument missing.
#ifndef SURFACE_SEARCH_KD_TREE_H
#define SURFACE_SEARCH_KD_TREE_H

#include <cstdint>

#include "surface/search/kd_build.h"

struct KdTreeN {
    KdNode* Nodes;          // one per point
    int32_t* Stack;         // query stack of nodes (depth + 2 entries)
    int32_t* SplitStack;    // the split dimension of each stacked node
    int32_t Depth;          // number of levels
    int32_t Count;          // number of points
    int32_t Dim;            // dimension of the points
    double* const* Points;  // the caller's table of Count references to Dim doubles
    int32_t* Result;        // one index per point, filled by the queries
    const int32_t* Mask;    // null, or one int per point: 0 hides the point from queries
    int32_t ResultCount;    // how many indices the last box search left in Result
};

// Builds the tree (one sort per dimension). bounds, when not null, receives
// the d minima and then the d maxima of the points. Returns 0, 2 when memory
// runs out (the tree is left empty) or 10 when the cancel flag is seen (the
// work arrays freed, the tree empty), 23 for a missing tree or table.
int KdTreeN_Build(int32_t count, int32_t dim, double* const* points, KdTreeN* tree, double* bounds,
                  const volatile int32_t* cancel);
// Releases what the build allocated and clears the record (null is ignored).
void KdTreeN_Free(KdTreeN* tree);

// Writes the box from point - r to point + r.
void KdTreeN_Box(int32_t dim, const double* point, double r, double* box);

// The number of visible points inside the box; their indices are left at the
// front of the tree's result list.
int32_t KdTreeN_BoxQuery(KdTreeN* tree, const double* box);
// The same search into the caller's list, stopping when `limit` indices are
// written; returns the number written.
int32_t KdTreeN_CollectInBox(const KdTreeN* tree, const double* box, int32_t limit, int32_t* indices);

// Between `minCount` and `maxCount` nearest visible points of `point`,
// nearest first, in `indices` (room for maxCount) and the tree's result list.
// *radius is the start radius (0 means 1.0, a negative one its absolute
// value); it is adapted for the next call. Status 5 when fewer than
// minCount points are visible.
int KdTreeN_NearestRange(KdTreeN* tree, const double* point, int32_t minCount, int32_t maxCount, double* radius,
                         int32_t* indices, int32_t* count);
// The k nearest visible points (minimum = maximum = k).
int KdTreeN_NearestK(KdTreeN* tree, const double* point, int32_t k, double* radius, int32_t* indices, int32_t* count);

// The points inside the box, followed by between minExtra and maxExtra of the
// nearest visible points outside it (nearest by their largest excess over the
// box on any dimension), in the tree's result list. *insideCount receives the
// number inside, *totalCount the whole number listed.
int KdTreeN_NearestToBox(KdTreeN* tree, const double* box, int32_t minExtra, int32_t maxExtra, int32_t* insideCount,
                         int32_t* totalCount);

// The visible points within distance r of `point`, nearest first, in the
// tree's result list; squared receives their squared distances in the same
// order. scratch and squared have room for one entry per point. Returns 0.
int KdTreeN_WithinRadius(KdTreeN* tree, const double* point, double r, int32_t* scratch, double* squared,
                         int32_t* count);

// The nearest visible point among those inside point +- r; -1 when there is
// none. With `ready` set the result list already holds that box's points
// (from the last box search) and the search is skipped. Returns the index.
int32_t KdTreeN_NearestInBox(KdTreeN* tree, const double* point, double r, int32_t ready, int32_t* index);

// Hides the points whose mask entry is 0 from every query (null shows all).
void KdTreeN_SetMask(KdTreeN* tree, const int32_t* mask);
// The number of points that the queries can see.
int32_t KdTreeN_ActiveCount(const KdTreeN* tree);

#endif

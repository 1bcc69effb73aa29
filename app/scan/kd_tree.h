// A k-d tree over a fixed array of float points, answering closed-box and
// radius queries. The tree indexes the caller's array without copying it:
// the array must stay alive and unchanged while the tree lives. Queries
// allocate nothing; their results stay in the tree's buffers until the next
// query, so one tree serves one thread.
#pragma once

#include "app/scan/geometry.h"

#include <cstdint>

struct KdNodeStore;

struct KdTree {
    int32_t Count;
    const Vec3* Points;   // the caller's points, not owned
    Vec3 BoxMin, BoxMax;  // bounding box of the points
    KdNodeStore* Nodes;   // null when the tree has no point
    int32_t* Results;     // point indices found by the last query
    float* Distances;     // squared distances of the last radius query
};

// 1 on success, 0 when memory runs out (the caller frees whatever *treeOut
// holds with KdTree_Free). With count below 1 every query finds nothing.
int KdTree_Build(const Vec3* points, int32_t count, KdTree** treeOut);
// Frees the tree and sets the caller's pointer to null; null is ignored.
void KdTree_Free(KdTree** tree);

// The points inside the closed box low..high, in tree order, written to
// tree->Results. A null tree finds nothing.
int32_t KdTree_BoxQuery(KdTree* tree, const Vec3& low, const Vec3& high);
// The points closer than radius to centre, in no particular order: indices in
// Results and, position by position, squared distances in Distances.
int32_t KdTree_RadiusQuery(KdTree* tree, const Vec3& centre, float radius);
// The same points sorted by rising distance (equal distances in no
// particular order). Distances holds each candidate's squared distance at
// the candidate's point index.
int32_t KdTree_NearestSorted(KdTree* tree, const Vec3& centre, float radius);

// Calls visit once for every order of the first n values (n of 3 or more),
// rearranging the array in place (Heap's method).
void Permutations_Visit(int32_t* values, int32_t n, void (*visit)(const int32_t* values, void* context),
                        void* context);

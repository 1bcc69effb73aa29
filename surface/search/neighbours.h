// Neighbour searches over a packed array of 3D points (x, y, z doubles) with
// a search radius that adapts from call to call, so that repeated searches
// over points of similar density need one box search each.
#ifndef SURFACE_SEARCH_NEIGHBOURS_H
#define SURFACE_SEARCH_NEIGHBOURS_H

#include <cstdint>

#include "surface/search/kd_tree_packed.h"

struct Neighbours {
    int32_t Count;         // number of points
    const double* Points;  // the caller's array, three doubles a point
    double Bounds[6];      // minimum x, y, z, then maximum x, y, z
    KdTree3 Tree;
    int32_t Capacity;     // room in each buffer
    int32_t* Candidates;  // the points a box search found
    int32_t* Order;       // their order by distance
    double* Squared;      // their squared distances
    double Radius;        // current search radius; 0 until first used
};

// Builds the tree and the bounds. Returns 1, or 0 when memory runs out.
int Neighbours_Init(int32_t count, const double* points, Neighbours* record);
// Releases what Neighbours_Init and the searches allocated; zeroes the record.
void Neighbours_Free(Neighbours* record);

// The k nearest points (k capped at the point count), nearest first; a query
// point that is itself an input point comes first. Returns 1, or 0 when a
// buffer cannot grow.
int Neighbours_KNearest(const double* point, int32_t k, int32_t* count, int32_t* indices, Neighbours* record);
// The points within distance r, nearest first, at most maxCount of them.
// Returns 1, or 0 when a buffer cannot grow.
int Neighbours_WithinRadius(const double* point, double r, int32_t maxCount, int32_t* count, int32_t* indices,
                            Neighbours* record);
// *found is 1 when some point lies strictly closer than r, else 0. Returns 1,
// or 0 when a buffer cannot grow.
int Neighbours_AnyWithin(const double* point, double r, int32_t* found, Neighbours* record);

// The box from point - r to point + r (minimum corner, then maximum corner).
void Box_AroundPoint(const double* point, double r, double* box);

#endif

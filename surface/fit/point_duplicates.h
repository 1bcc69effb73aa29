// Near-coincident points: the test that refuses them before a fit, the
// search that marks each duplicate with the point it duplicates, and the
// removal that moves the kept points to the front.
//
// A point q duplicates p when p - t <= q < p + t in every coordinate (the
// k-d tree's box); with a relative flag t is the tolerance times the largest
// extent of the points' bounding box. Where p + t does not rise above p (a
// tolerance of 0, or one below the coordinates' resolution) the box still
// holds p itself, so exactly coincident points are always duplicates and
// distinct ones never are.
//
// Statuses are core statuses: 0, 2 no memory, 10 aborted, 14 duplicates
// (the test only), 23 a missing argument.
#ifndef SURFACE_FIT_POINT_DUPLICATES_H
#define SURFACE_FIT_POINT_DUPLICATES_H

#include <cstdint>

int Points_CheckDuplicates(int32_t dim, int32_t N, double* const* points, double tolerance, int32_t relative,
                           const volatile int32_t* abort);

// marks (N ints, optional): 1 for a duplicate. order (optional): the kept
// points' indices at the front, made by swaps from 0..N-1 (its own inverse).
// representative (optional): for each point the earlier kept point whose box
// last held it, its own index when kept. *kept: the number kept.
int Points_FindDuplicates(double* const* points, int32_t dim, int32_t N, double tolerance, int32_t relative,
                          int32_t* marks, int32_t* order, int32_t* representative, int32_t* kept,
                          const volatile int32_t* abort);

// Moves the kept rows (and values when given) to the front; *count goes in
// as N and comes out as the kept count. representative (optional) receives
// for each new position the new position of its point's representative.
int Points_RemoveDuplicates(double* const* points, int32_t dim, int32_t* count, double* values, double tolerance,
                            int32_t relative, int32_t* order, int32_t* representative, const volatile int32_t* abort);

#endif

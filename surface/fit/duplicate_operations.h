// The public duplicate-point operations: Selvane_Unique3/2 remove
// near-coincident points from a point list in place, and every per-point
// array of the list and of its alternate sets (values, accuracies, lower and
// upper bounds, gradients) moves with its point; FindDuplicatePoints3/2
// leave the list as it is and report which points are kept and which point
// each duplicate repeats. A distance not above 0 means 1e-10 of the
// points' largest extent.
//
// Statuses are the API statuses (status_codes.h).
#ifndef SURFACE_FIT_DUPLICATE_OPERATIONS_H
#define SURFACE_FIT_DUPLICATE_OPERATIONS_H

#include <cstdint>

struct PointList2;
struct PointList3;
struct Reporter;

// unchanged (optional): 1 when no point was removed, 0 when some were, -1
// when the operation failed before it knew.
int Selvane_Unique3(PointList3* points, double distance, int32_t relative, int32_t* unchanged, Reporter* reporter);
int Selvane_Unique2(PointList2* points, double distance, int32_t relative, int32_t* unchanged, Reporter* reporter);

// keep (Count ints, required): 1 kept, 0 duplicate. representative
// (optional, Count ints): the index of the point a duplicate repeats, its
// own index when kept. kept (optional): the number kept.
int FindDuplicatePoints3(PointList3* points, double distance, int32_t relative, int32_t* keep, int32_t* representative,
                         int32_t* kept, Reporter* reporter);
int FindDuplicatePoints2(PointList2* points, double distance, int32_t relative, int32_t* keep, int32_t* representative,
                         int32_t* kept, Reporter* reporter);

#endif

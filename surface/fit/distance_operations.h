// The distance of every point of a list to the nearest point of a second
// list, written into the Value array of a chosen set (made when missing),
// by an adaptive-radius box search over a k-d tree of the second list.
// API statuses; an abort gives 1.
#ifndef SURFACE_FIT_DISTANCE_OPERATIONS_H
#define SURFACE_FIT_DISTANCE_OPERATIONS_H

#include <cstdint>

struct PointList2;
struct PointList3;
struct Reporter;

// `set` chooses the Value array: negative the list's own, else that
// alternate set's.
int Selvane_DistanceToPoints2(PointList2* list, int32_t set, const PointList2* trim, Reporter* reporter);
int Selvane_DistanceToPoints3(PointList3* list, int32_t set, const PointList3* trim, Reporter* reporter);

#endif

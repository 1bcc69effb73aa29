// Spread-out subsets of a point set, picked cell by cell from a spatial
// division: the coarse levels and the centre choices of the fitters.
//
// Core statuses: 0 success, 1 fewer points than asked, 2 out of memory,
// 5 bad argument, 10 cancelled, 23 null argument.
#ifndef SURFACE_FIT_SPATIAL_SAMPLING_H
#define SURFACE_FIT_SPATIAL_SAMPLING_H

#include <cstdint>

// Divides with leaf size m, then out[k] = the first sorted list at position
// k m for k < N / m. m below 2 gives 5.
int SpatialDivision_Leaves(int32_t N, double* const* points, int32_t d, int32_t m, int32_t* out);
// Divides with leaf size 2, then out[i] = the first sorted list at position
// floor(i N / count) for i < count. count or N negative, or count above N,
// give 5.
int SpatialDivision_Pick(int32_t N, double* const* points, int32_t d, int32_t count, int32_t* out);
// One point per cell of a division with leaf size m, the largest |value|
// first, until N / m points are taken; *numOut receives their number and
// the status is 1 when it falls short. m below 2 gives 5.
int SpatialDivision_Sample(int32_t N, double* const* points, const double* values, int32_t d, int32_t m, int32_t* out,
                           int32_t* numOut);
// n points spread over the cells of a division with leaf size
// max(N / n, 2), the largest |value| first, at most n / cells + 1 per cell.
// N below n or d not 2 or 3 gives 5; 1 when fewer than n could be taken.
int SpatialDivision_Sample23(int32_t N, int32_t d, double* const* points, const double* values, int32_t n,
                             int32_t* out);
// n of the c candidates spread over the cells of a division of all N
// points with leaf size max(c / n, 2), walking the candidate list from its
// end, at most n / cells + 1 per cell. c below n, N below c or d not 2 or 3
// give 5; 1 when fewer than n could be taken.
int SpatialDivision_Subsets(int32_t N, int32_t d, double* const* points, int32_t c, const int32_t* candidates,
                            int32_t n, int32_t* out);

#endif

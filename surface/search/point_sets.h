// Regular point sets: sampling grids in one to three dimensions, and points
// on the surface of a box, on its edges and on a sphere. Output rows are a
// row-pointer table of points (one row of `dimension` doubles per point).
#ifndef SURFACE_SEARCH_POINT_SETS_H
#define SURFACE_SEARCH_POINT_SETS_H

#include <cstdint>

// Grid nodes written x fastest, then y, then z; a size below 1 counts as 1.
// Each returns 0, or 7 (invalid dimension) for a dimension outside 1..3.
// On the unit cube: node k of an axis of n nodes at k / (n - 1).
int Grid_UnitPoints(int32_t dimension, const int32_t* sizes, double* const* points);
// From minimum to maximum: node k at minimum + k (maximum - minimum) / (n - 1),
// the minimum alone when n is 1.
int Grid_Points(int32_t dimension, const int32_t* sizes, const double* minimum, const double* maximum,
                double* const* points);
// Node k at base + k spacing.
int Grid_PointsFromSpacing(int32_t dimension, const double* base, const double* spacing, const int32_t* sizes,
                           double* const* points);

// The number of nodes of an a x a x a grid that lie on its surface:
// a (a - 2) 6 + 8 (a below 2 counts as 2), in 64 bits: a caller sizes the
// rows of CubeSurface_Points by it and must refuse what it cannot hold.
int64_t CubeSurface_PointCount(int32_t a);
// Writes those nodes, for the grid spanning the box, each once.
void CubeSurface_Points(int32_t a, const double* minimum, const double* maximum, double* const* points);

// The points on the twelve edges of a 3D box, a per edge with the corners
// shared (12 a - 16 points; a below 2 counts as 2), in a new tracked
// row-pointer matrix (free it with Mem_FreeMatrix). Returns 0, 2 when memory
// runs out, 7 for a dimension other than 3.
int BoxEdge_Points(int32_t dimension, int32_t a, const double* minimum, const double* maximum, int32_t* count,
                   double*** points);

// The two poles (centre +- r on z) and a - 2 rings of 2 b points, evenly
// spaced in polar angle and, within a ring, in azimuth: 2 b (a - 2) + 2
// points in a new tracked row-pointer matrix. Returns 0, or 2 when memory
// runs out.
int Sphere_Points(int32_t a, int32_t b, const double* centre, double r, int32_t* count, double*** points);

#endif

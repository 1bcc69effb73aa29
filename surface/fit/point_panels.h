// The panel of every point under a spatial division: the reduced fitters
// spread the points they add over panels, at most a few per panel and pass.
#ifndef SURFACE_FIT_POINT_PANELS_H
#define SURFACE_FIT_POINT_PANELS_H

#include <cstdint>

// Divides the N points into panels of at most `leaf` points (below 2 counts
// as 2); label (N ints) receives each point's panel, *numPanels their
// number. Core statuses of the spatial division (0, 2, 5, 10, 23).
int PointPanels_Label(int32_t N, double* const* points, int32_t d, int32_t leaf, int32_t* label, int32_t* numPanels,
                      const volatile int32_t* cancel);

#endif

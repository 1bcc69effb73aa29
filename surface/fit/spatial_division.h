// Spatial division: a point set cut into leaf panels of at most a given
// number of points by recursive halving along the widest axis.
//
// The division keeps, for every axis k, a list of the point indices sorted
// by coordinate k (a row-pointer int matrix of d rows of N, Mem_AllocIntMatrix).
// After a division the points of every panel occupy the same range
// [start, end) of all d lists, and each list keeps its axis order within
// that range, so a panel's points are read from any list. The leaves are the
// inner sets of the domain decomposition and the cells from which the
// sampling routines pick spread-out points.
//
// A box is 2d doubles, the d minima then the d maxima. A panel's box
// contains its points (closed at both ends); neighbouring panels share a face.
//
// Core statuses: 0 success, 1 fewer points than asked, 2 out of memory,
// 5 bad argument, 10 cancelled, 23 null argument.
#ifndef SURFACE_FIT_SPATIAL_DIVISION_H
#define SURFACE_FIT_SPATIAL_DIVISION_H

#include <cstdint>

struct SpatialPanel {
    double* box;  // its own block of 2d doubles, owned by the panel array
    int32_t start;
    int32_t end;
};

// Divides the N points (dimension d) into panels of at most maxLeaf points
// (maxLeaf below 2 counts as 2). *panels receives a tracked array of
// *numPanels panels in the order of the division (free it with
// SpatialDivision_Free); sortedLists (d lists of N) receive the sorted and
// partitioned indices. box receives the bounding box of all points unless
// boxGiven is non-zero, in which case the given box is the root box. The
// cancel flag (or null) is polled by the sorts and before each level.
int SpatialDivision_Build(int32_t N, double* const* points, int32_t d, int32_t maxLeaf, SpatialPanel** panels,
                          int32_t* numPanels, int32_t* const* sortedLists, double* box, int32_t boxGiven,
                          const volatile int32_t* cancel);
// The same, choosing the axis of the largest extent times its scale factor.
int SpatialDivision_BuildWeighted(int32_t N, double* const* points, int32_t d, int32_t maxLeaf, const double* scale,
                                  SpatialPanel** panels, int32_t* numPanels, int32_t* const* sortedLists, double* box,
                                  int32_t boxGiven, const volatile int32_t* cancel);
// The same, cutting a panel of more than 5 maxLeaf points at its widest gap
// between neighbouring coordinates (when that gap is at least a fiftieth of
// the panel's extent), and putting every shared face midway between the two
// points on either side of the cut.
int SpatialDivision_BuildLargestGap(int32_t N, double* const* points, int32_t d, int32_t maxLeaf, SpatialPanel** panels,
                                    int32_t* numPanels, int32_t* const* sortedLists, double* box, int32_t boxGiven,
                                    const volatile int32_t* cancel);
// The same division where the caller keeps only the first sorted list (N
// ints); the other lists are made and freed inside.
int SpatialDivision_BuildFlat(int32_t N, double* const* points, int32_t d, int32_t maxLeaf, SpatialPanel** panels,
                              int32_t* numPanels, int32_t* firstList, double* box, int32_t boxGiven,
                              const volatile int32_t* cancel);
// Frees every panel box and the array; a null array is ignored.
void SpatialDivision_Free(SpatialPanel* panels, int32_t numPanels);

// Debug listings on standard output: every panel with its box and points,
// one box, one panel.
void SpatialDivision_Dump(const SpatialPanel* panels, int32_t numPanels, const int32_t* const* sortedLists,
                          const double* const* points, int32_t d);
void SpatialDivision_DumpBox(const double* box, int32_t d);
void SpatialDivision_DumpPanel(const SpatialPanel* panel, const int32_t* firstList, const double* const* points,
                               int32_t d);

#endif

// The point stages of the basic surface: the point set taken from the scan,
// the smoothing that replaces every point by a weighted mean of its
// neighbourhood, the thinning that merges close points into one, and the cut
// of points with an outsized resolution term.
#pragma once

#include "app/scan/surf_arena.h"
#include "app/scan/surf_progress.h"
#include "app/scan/surface_record.h"

#include <cstdint>

struct RawData;

// The working form of the points: five arrays in one arena block of 33 bytes
// a point.
struct SurfPointSet {
    int32_t Owned;  // 1 when the block was allocated here
    int32_t Count;
    void* Block;
    Vec3* Positions;
    Vec3* Normals;
    float* Weights;      // from the scan point's Variance
    float* Resolutions;  // from ResolutionSq
    uint8_t* Greyscale;
};

// The visible points of the scan (sweeps not hidden, points not erased), in
// sweep order. False, with an empty set, when there is none.
bool SurfPointSet_FromScan(SurfArena& arena, const RawData& raw, SurfPointSet& out);

// Resizes the surface record's five point arrays (general heap) to n points;
// throws OutOfMemoryError when one cannot be had.
void Surface_ResizePoints(SurfaceRecord& surface, int32_t n);
// The same for the facet arrays.
void Surface_ResizeFacets(SurfaceRecord& surface, int32_t n);

// Smoothing within `radius`, into the surface's point arrays: 0, or 4 when no
// point came out (every normal zero).
int32_t Surf_Smooth(SurfArena& arena, const SurfPointSet& in, float radius, SurfaceRecord& out,
                    const SurfProgress& progress, double start, double span);

// Thinning of the surface's points: each cluster within radius / sqrt(2) of
// a seed (normals not opposed) becomes one point. When seedOf is given (one
// entry a point before thinning) it receives each point's seed.
void Surf_Thin(SurfArena& arena, SurfaceRecord& surface, float radius, const SurfProgress& progress, double start,
               double span, int32_t* seedOf = nullptr);

// Keeps only the points whose resolution term is below 25 times the mean.
void Surf_CutOutliers(SurfaceRecord& surface);

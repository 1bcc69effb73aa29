// Density data by method, over bare arrays: the inputs keep their rows with
// value 0 and off-surface points are appended, each with its signed distance
// from the data. No operation calls it; it is kept for experiments with other
// ways of giving the fit an inside and an outside.
//
// Methods:
//   4  points on the surface of the data's box (widened by 1 % on every side),
//      a per edge (4 when a <= 1); value: distance to the nearest input.
//   5  two a x a grids (6 when a <= 1) parallel to the data's least-squares
//      plane, just below and above the data; value: distance to the nearest
//      input, negative below.
//   6  the projection method along the given normals (one row per input).
//   7  the same with vertex normals summed from the triangles.
// Core statuses: 0; 1 a point without a nearest input; 2 memory; 5 a bad
// argument (dimension other than 3, unknown method, method 7 without
// triangles, a missing array); 10 abort. On failure the caller's arrays are
// untouched. Method 5 adds nothing (status 0) when the points give no plane.
#ifndef SURFACE_FIT_DENSITY_METHODS_H
#define SURFACE_FIT_DENSITY_METHODS_H

#include <cstdint>

// The arrays the method replaces: tracked blocks (Mem_Alloc) of 3 doubles a
// point, one value a point and, optionally, one 8-byte entry a point. On
// success the old blocks are freed and the new ones (count rows) put in
// their place; new points copy their source point's entry (methods 6, 7) or
// get 0 (methods 4, 5). *values may be null on input.
struct DensityArrays {
    int32_t count;
    double* locations;
    double* values;
    int64_t* entries;  // null: none kept
};

struct DensityMethodArgs {
    int32_t method;
    int32_t dimension;
    const double* normals;     // method 6: one row of 3 per input point
    int32_t triangleCount;     // method 7
    const int32_t* triangles;  // method 7: index triples
    double distance;
    int32_t oneSided;
    double maxIncrease;
    double minimumLength;
    int32_t pointsPerEdge;
    double* progress;  // optional; methods 6 and 7 advance it towards progressEnd
    double progressEnd;
    const volatile int32_t* abort;  // optional
};

int Density_AddPointsByMethod(const DensityMethodArgs& args, DensityArrays* arrays);

// The distance from each of `count` points to the nearest of the n inputs,
// into `out`. Core status 0, 1 when a point finds none, 2 memory, or a tree
// status.
int Density_DistanceToNearest(int32_t n, const double* inputs, int32_t count, const double* points, double* out);

#endif

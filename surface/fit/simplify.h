// Simplification of a mesh extracted from a fitted surface by collapsing
// edges. A face's error is the distance of its centroid from the zero set of
// the solution minus the isovalue; a collapse target in open space is pulled
// back onto that surface by one Newton step; points on the planes of the
// mesh's bounding box only slide within those planes, and points of any
// other open boundary never move. Optional red, green and blue solutions
// colour the points, steer the choice of the collapse edge and bound the
// colour step. API statuses.
#ifndef SURFACE_FIT_SIMPLIFY_H
#define SURFACE_FIT_SIMPLIFY_H

#include <cstdint>

struct EvalAttributes;
struct Mesh3;
struct Reporter;
struct Solution3;

struct SimplifyLimits {
    int32_t PointsLimit;  // stop at or below this many points; 0 off
    int32_t FacesLimit;   // the same for faces
    double AngleLimit;    // degrees; checked and reported only
    int32_t Inward;       // non-zero: face normals point against the gradient
    double FinalError;    // out: the largest absolute face error of the result
};

// 0, 0, 10.0, 0, -1.0; null in gives null.
SimplifyLimits* SimplifyLimits_Default(SimplifyLimits* limits);

// The output mesh is created here (points, triangles and quads only) and
// written whatever the status, as the simplification stood. Limits above
// the input's size count as its size: the output is then the input.
int Selvane_Simplify3(const Mesh3* input, Mesh3* output, const Solution3* solution, const EvalAttributes* attributes,
                      double errorLimit, double isovalue, const Solution3* red, const Solution3* green,
                      const Solution3* blue, const EvalAttributes* colourAttributes, double rgbStepLimit,
                      SimplifyLimits* limits, Reporter* reporter);
int Simplify3_NoColour(const Mesh3* input, Mesh3* output, const Solution3* solution, const EvalAttributes* attributes,
                       double errorLimit, double isovalue, SimplifyLimits* limits, Reporter* reporter);

#endif

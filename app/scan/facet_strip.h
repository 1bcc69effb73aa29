// The strip of triangles that joins a profile to its predecessor in the same
// sweep, and the point normals brought up to date after each strip. The strip
// walks the two point lines like a zipper, makes only triangles small against
// the local spacing of the profiles (each point's ResolutionSq), refuses
// triangles seen too edge-on from the wand's camera, and skips the points
// where the two lines part.
#pragma once

#include "app/scan/raw_data.h"

#include <cstdint>

// The camera point in sensor coordinates.
constexpr Vec3 kStripCameraPoint{-120.0f, 0.0f, -10.0f};
// Triangles whose normal makes 70 degrees or more with the line to the camera
// are refused.
constexpr float kStripAngleLimit = 1.2217306f;

// Appends the strip between the previous profile's points (prevStart,
// prevCount) and the current one's (curStart, curCount) at *facetCount,
// oriented towards the camera of the current profile's pose. The caller makes
// room for prevCount + curCount facets.
void Scan_FacetStrip(const ScanPoint* points, int32_t prevStart, int32_t prevCount, int32_t curStart,
                     int32_t curCount, const Matrix4& curWand, const Matrix4& curReference, Facet* facets,
                     Vec3* facetNormals, int32_t* facetCount);

// Point normals after a strip: the previous profile's normals become final
// (their sums continue from the normal carry, or start from zero when the
// previous profile is the first of its sweep), the current profile's are
// provisional and their sums are kept in the carry for the next strip. Every
// normal of both profiles is left normalised.
void Scan_StripNormals(int32_t prevCount, ScanPoint* points, Vec3* normalCarry, int32_t prevStart,
                       int32_t curStart, int32_t curCount, const Facet* facets, const Vec3* facetNormals,
                       int32_t firstNewFacet, int32_t facetCountAfter, bool first);

// Cast inversion: turns the RBF surface of a plaster cast, scanned as the two
// pieces it was cut into, into the positive model of the body part. The two
// pieces of the mesh are found, the stylus markers digitised on both are
// matched, piece 2 is moved onto piece 1, the mesh is turned inside out,
// trimmed along the seam, and piece 2 is pushed away from piece 1 by the cut
// width to restore the material the saw took.
//
// The mesh changes only on success: the inversion, the trimming and the cut
// offset work on copies of the surface arrays and of the stylus items, which
// replace the originals only when every step succeeded.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "app/scan/geometry.h"

struct StylusItemList;
struct SurfaceRecord;

enum CastInvResult : int32_t {
    kCastInvOk = 0,
    kCastInvTooFewPairs = 1,
    kCastInvAlignFailed = 2,
    kCastInvOutOfMemory = 3,
    kCastInvBadMesh = 4,
    kCastInvMarkerOffMesh = 5,
    kCastInvParity = 6,
    kCastInvAbandoned = 7,
    kCastInvMirrored = 8,
    kCastInvUnexpected = 9,
    // The symmetric matching refused: more markers on a piece than it can
    // pair in a moment (every assignment of n markers is tried).
    kCastInvTooManyMarkers = 10,
};

// The most markers a piece may carry for the symmetric matching. Its time
// grows with n!; measured by bench/bench_cast_match.cpp in the worst case
// (every marker at one distance from the centroid, so that nothing is
// pruned): 33 ms for 8, 0.3 s for 9 and 3.3 s for 10 markers on a 2020s PC,
// so 10 would freeze an older one for several seconds.
constexpr int32_t kCastMatchPairMaxMarkers = 9;

// Markers farther than this from every vertex of both pieces are left out.
constexpr double kCastInvMarkerReach = 100.0;
// Beyond this distance from its piece a marker is used only if the user says so.
constexpr double kCastInvMarkerDoubt = 10.0;

// The per-marker questions asked during the run (message boxes in the program).
struct CastInvHooks {
    std::function<void(int32_t pointNum, double maxDistance)> markerTooFar;
    // True (Yes) to use the marker anyway; No abandons the inversion.
    std::function<bool(double distance, int32_t pointNum)> markerFarQuestion;
};

struct CastInvReport {
    int32_t matchCount = -1;
    float greatestError = -1.0f;
    float meanError = -1.0f;
};

int32_t CastInv_Align(SurfaceRecord& surface, StylusItemList& stylus, float cutWidth, float trimRange, int32_t method,
                      const CastInvHooks& hooks, CastInvReport& report);

// The steps, for the tests. Labels: one int a vertex, 0 unlabelled, 1 and 2
// the pieces, -1 neither.
//
// Connected pieces over the facets: every unlabelled vertex, in index order,
// starts a new region numbered from 1. Throws std::bad_alloc.
void CastInv_GrowRegions(int32_t vertexCount, const int32_t* facets, int32_t facetCount, std::vector<int32_t>& labels,
                         int32_t& regionCount);

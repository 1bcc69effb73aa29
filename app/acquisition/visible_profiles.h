// The profiles of the shown sweeps in one block, for the export of raw sweep
// data: first one word per shown sweep (the running total of profiles at the
// end of that sweep), then one record per profile. The points are shared
// with the scan, not copied; the block belongs to the caller.
#pragma once

#include <cstdint>

#include "app/scan/geometry.h"

struct RawData;

struct VisibleProfileRecord {
    std::int32_t NumPoints;
    const Vec3* Points;  // the scan's own array: as wide as a pointer
    Matrix4 WandRxMatrix;
    Matrix4 ReferenceRxMatrix;
    std::int32_t ReferenceEnabled;
};

struct VisibleProfiles {
    std::int32_t profileTotal = 0;
    std::int32_t sweepCount = 0;
    std::int32_t* sweepTotals = nullptr;         // start of the block
    VisibleProfileRecord* records = nullptr;     // inside the block
};

// False when memory runs out (then the record array is null and nothing is
// to be freed). A scan without shown sweeps gives an empty, freeable block.
bool CollectVisibleProfiles(const RawData& raw, VisibleProfiles& out);
void FreeVisibleProfiles(VisibleProfiles& profiles);

// Work on two scan records: appending a loaded scan to the current one (two
// feet scanned separately become one scan), listing where two scans differ,
// and removing cropped and hidden data for good.
#pragma once

#include "app/scan/raw_data.h"

#include <string>
#include <vector>

// Where the loaded scan goes: its box is centred, seen in its own view
// frame, turned half round about Y into the current view frame, and set
// beside the current scan's box, 40 mm along the current box's depth edge.
// `currentFrame` and `loadedFrame` are the two views' second matrices.
Matrix4 ScanMerge_Placement(const RawData& current, const Matrix4& currentFrame, const RawData& loaded,
                            const Matrix4& loadedFrame);

// Appends the sweeps in force of `loaded`, placed by `placement`, to the
// sweeps in force of `current` (undone sweeps of the current scan are
// dropped); loaded profiles are moved, not copied. Every array is grown
// before anything changes: false, with `current` exactly as it was, when
// memory runs out.
bool ScanMerge_Append(RawData& current, RawData& loaded, const Matrix4& placement);

// For tests: growth number `step` of the next appends fails as if memory ran
// out (1 profiles, 2 sweep tables, 3 points, 4 facets, 5 facet normals); 0
// none.
void ScanMerge_FailGrowthForTest(int step);

// Every difference between two scan records, as lines of the debug trace:
// the scalar fields, then per array the first differing entry of those both
// hold (floating-point values differ by more than 0.01).
std::vector<std::string> ScanCompare_Differences(const RawData& current, const RawData& loaded);

// Removes the erased points, the empty profiles and the points of hidden or
// empty sweeps for good; the erase levels start again from 0.
void ScanMerge_Purge(RawData& raw);

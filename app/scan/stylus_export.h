// The stylus items as the stylus export writes them: one record per item
// that is a point (the extra item that starts a line is only a header).
#pragma once

#include <cstdint>

#include "app/scan/stylus_items.h"

struct StylusExportRecord {
    int32_t visible;     // not hidden: only visible records are written
    int32_t onSurface;   // placed on the scan or surface the export is of
    int32_t itemNumber;  // the item's line or group number, from 0
    int32_t lineIndex;   // position within its line from 0, -1 for a single point
    Matrix4 matrix;      // the pose chosen for the export; its translation is the tip
};
static_assert(sizeof(StylusExportRecord) == 80, "a stylus export record is 80 bytes");

// Fills `records` (room for one per item in force) in item order. `surface`
// takes the poses placed on the surface instead of those on the scan;
// `inverted` takes the pose on an inverted cast where an item has one.
// Returns the number of records written; `visibleCount` gets how many of
// them are visible.
int32_t StylusExport_CollectRecords(const StylusItemList& list, bool surface, bool inverted,
                                    StylusExportRecord* records, int32_t& visibleCount);

// What the 3D view keeps of its paints for the diagnostics dialog: the
// times of its updates (the new data drawn over the picture), the time of
// its last full repaint and the camera deviation of the last profile drawn.
#pragma once

#include "app/ui/scanner_dialog_rules.h"

#include <cstdint>

struct RawData;

// The program's view.
ViewTimings& View_Timings();

// One paint of the given level that took `seconds`: level 2 is an update
// (kept in whole milliseconds: the least, the most and their mean), levels
// 3 and 4 a full repaint (its time in seconds); other levels draw no scan
// and are not counted. The scan's last profile gives the camera deviation.
void ViewTimings_AddPaint(ViewTimings& timings, int32_t level, double seconds, const RawData* raw);

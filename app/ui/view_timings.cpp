#include "app/ui/view_timings.h"

#include "app/scan/raw_data.h"

#include <algorithm>
#include <cmath>

ViewTimings& View_Timings() {
    static ViewTimings timings;
    return timings;
}

void ViewTimings_AddPaint(ViewTimings& t, int32_t level, double seconds, const RawData* raw) {
    if (level < 2 || level > 4) return;
    if (level == 2) {
        const int32_t ms = static_cast<int32_t>(std::lround(std::max(seconds, 0.0) * 1000.0));
        t.minUpdate = t.updateCount == 0 ? ms : std::min(t.minUpdate, ms);
        t.maxUpdate = t.updateCount == 0 ? ms : std::max(t.maxUpdate, ms);
        ++t.updateCount;
        t.averageUpdate += (ms - t.averageUpdate) / t.updateCount;
    } else {
        t.repaintTime = seconds;
    }
    if (raw && raw->Profiles && raw->NumProfiles > 0)
        t.cameraDeviation = raw->Profiles[raw->NumProfiles - 1].CameraDeviation;
}

#include "app/acquisition/line_detection.h"

#include "app/acquisition/acquisition_settings.h"
#include "app/acquisition/hardware_statistics.h"

bool LaserLineWidthOk(std::int32_t rise, std::int32_t fall) {
    if (rise == 0 && fall == 0) return false;
    if (rise > fall) {
        Stats_Add(Stat_RiseAboveFall);
        return false;
    }
    if (rise == 0) {
        Stats_Add(Stat_RiseZero);
        return false;
    }
    // A fall of 0 with a rise above 0 is caught as "Rise > Fall"; the
    // "Fall = 0" counter keeps its place in the statistics.
    const std::int32_t width = fall - rise;
    if (width < GetMinLaserLineWidth()) {
        Stats_Add(Stat_WidthBelowMin);
        return false;
    }
    if (width > GetMaxLaserLineWidth()) {
        Stats_Add(Stat_WidthAboveMax);
        return false;
    }
    return true;
}

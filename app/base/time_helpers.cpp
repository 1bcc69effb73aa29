#include "app/base/time_helpers.h"

#include <cmath>

namespace {

// Days since 1970-01-01 to the civil date (proleptic Gregorian).
void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2) ++y;
}

}  // namespace

bool Time_ToSystemTime(double seconds, CalendarTime& out) {
    if (!std::isfinite(seconds)) return false;
    const double totalMs = std::floor(seconds * 1000.0 + 0.5);
    // 1601-01-01 and 30827-12-31 23:59:59.999 in milliseconds from 1970.
    if (totalMs < -11644473600000.0 || totalMs > 910692730085999.0) return false;
    const int64_t ms = static_cast<int64_t>(totalMs);
    int64_t days = ms / 86400000;
    int64_t rest = ms % 86400000;
    if (rest < 0) {
        rest += 86400000;
        --days;
    }
    int64_t year;
    unsigned month, day;
    CivilFromDays(days, year, month, day);
    out.year = static_cast<uint16_t>(year);
    out.month = static_cast<uint16_t>(month);
    out.day = static_cast<uint16_t>(day);
    out.dayOfWeek = static_cast<uint16_t>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
    out.hour = static_cast<uint16_t>(rest / 3600000);
    out.minute = static_cast<uint16_t>(rest / 60000 % 60);
    out.second = static_cast<uint16_t>(rest / 1000 % 60);
    out.milliseconds = static_cast<uint16_t>(rest % 1000);
    return true;
}

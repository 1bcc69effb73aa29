#include "app/base/time_helpers.h"

#include <windows.h>

int Time_FormatLocal(double seconds, char* buffer) {
    CalendarTime utc;
    if (!Time_ToSystemTime(seconds, utc)) return 0;
    SYSTEMTIME system = {utc.year, utc.month,  utc.dayOfWeek, utc.day,
                         utc.hour, utc.minute, utc.second,    utc.milliseconds};
    SYSTEMTIME local;
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &system, &local)) return 0;
    constexpr int kSize = 1024;
    const int date = GetDateFormatA(LOCALE_USER_DEFAULT, 0, &local, nullptr, buffer, kSize);
    if (date <= 0) return 0;
    buffer[date - 1] = ' ';
    const int time = GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &local, nullptr, buffer + date, kSize - date);
    if (time <= 0) return 0;
    return date + time;
}

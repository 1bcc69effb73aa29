// Conversions of the change-time stamps (seconds since 1970-01-01 00:00:00
// UTC, as made by Time_Now).
#pragma once

#include <cstdint>

// The fields of a UTC calendar time, as the system's SYSTEMTIME holds them.
struct CalendarTime {
    uint16_t year;
    uint16_t month;      // 1 to 12
    uint16_t dayOfWeek;  // 0 Sunday
    uint16_t day;        // 1 to 31
    uint16_t hour;
    uint16_t minute;
    uint16_t second;
    uint16_t milliseconds;
};

// The UTC calendar time of a stamp; stamps before 1601 or after 30827 give
// false (the system's calendar range).
bool Time_ToSystemTime(double seconds, CalendarTime& out);

// The local date, a blank and the local time in the user's default formats,
// into a 1024-character buffer; the characters written including the
// terminator, or 0 when either part cannot be formatted. Windows only.
int Time_FormatLocal(double seconds, char* buffer);

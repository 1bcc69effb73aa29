// The acquisition statistics: 35 32-bit counters that the field checks, the
// acquisition thread and profile building count into, and that the
// statistics text and the hardware status read. Counting is lock-free; a copy
// taken with GetHardwareStatistics is a snapshot of each word.
#pragma once

#include <cstdint>

struct HardwareStatistics {
    std::int32_t unused0;
    std::int32_t ringOverruns;
    std::int32_t locatorFramingErrors;
    std::int32_t locatorDecodingErrors;
    std::int32_t fieldErrors;  // framing, version and serial number failures together
    std::int32_t fieldsRead;   // in the last capture
    std::int32_t fieldsPublished;
    char trackerErrorText[8];  // station 0, error 0, station 1, error 1, zero
    std::int32_t unused9;
    std::int32_t unused10;
    std::int32_t widthAboveMax;  // line detections rejected: "Width > Max"
    std::int32_t widthBelowMin;  // "Width < Min"
    std::int32_t riseAboveFall;  // "Rise > Fall"
    std::int32_t riseZero;       // "Rise = 0"
    std::int32_t fallZero;       // "Fall = 0"
    std::int32_t maxFieldsWaiting;
    std::int32_t unused17[18];
};
static_assert(sizeof(HardwareStatistics) == 35 * 4, "35 words");

// Word indices of the counters.
enum HardwareStatisticWord : int {
    Stat_RingOverruns = 1,
    Stat_LocatorFramingErrors = 2,
    Stat_LocatorDecodingErrors = 3,
    Stat_FieldErrors = 4,
    Stat_FieldsRead = 5,
    Stat_FieldsPublished = 6,
    Stat_TrackerErrorText = 7,  // two words
    Stat_WidthAboveMax = 11,
    Stat_WidthBelowMin = 12,
    Stat_RiseAboveFall = 13,
    Stat_RiseZero = 14,
    Stat_FallZero = 15,
    Stat_MaxFieldsWaiting = 16,
};

void ZeroHardwareStatistics();
void GetHardwareStatistics(HardwareStatistics& out);

void Stats_Add(HardwareStatisticWord word, std::int32_t amount = 1);
void Stats_Set(HardwareStatisticWord word, std::int32_t value);
// Raises the word to `value` when that is larger.
void Stats_Raise(HardwareStatisticWord word, std::int32_t value);
// The four tracker characters of the last decoded field.
void Stats_SetTrackerErrorText(const char text[4]);

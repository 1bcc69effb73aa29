// The line log of a profile: every laser-line sample of the profile's field
// that passed the width check, with the point it gave (1e10 in every
// coordinate when the table had none; in the wand frame when the viewing cone
// refused it, else in scan coordinates). The calibration correction reads it
// back to fit new table offsets. It lives in the profile's extra record, made
// on first use and reused by later builds into the same profile record.
#pragma once

#include <cstdint>

#include "app/acquisition/field_format.h"
#include "app/scan/raw_data.h"

// Room of each array: every line of both channels of a field, so that a log
// made under one calibration still fits a field of any other.
constexpr std::int32_t kProfileLineLogCapacity = kFieldLineCount * 2;

struct ProfileLineLog {
    std::int32_t* count;
    float* linePosition;
    std::int32_t* channel;
    std::int32_t* start;
    std::int32_t* end;
    Vec3* point;
};

// Makes the profile's log when it has none. False when memory runs out (the
// profile then has no log).
bool ProfileLineLog_Ensure(Profile& profile);
// The arrays of the profile's log; the profile must have one.
ProfileLineLog ProfileLineLog_Get(const Profile& profile);

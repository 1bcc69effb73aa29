// Timer mode: while the trigger is held, keep a burst of fields, drop fields
// for a pause, keep the next burst, and so on, after an optional first
// pause. The tick is the system's millisecond counter, which wraps after
// about 49.7 days: every time test compares elapsed ticks, never absolute
// ones, so a pause that spans the wrap still lasts its length.
#pragma once

#include "app/scan/settings_records.h"

#include <cstdint>
#include <string>

enum TimerModeStateCode : int32_t {
    kTimerOff = 0,
    kTimerWaiting = 1,  // waiting for the trigger
    kTimerCapturing = 2,
    kTimerSleeping = 3,
};

struct TimerModeState {
    int32_t state = kTimerOff;
    uint32_t count = 0;        // fields of the burst counted so far
    uint32_t sleepStart = 0;   // the tick at which the pause began
    uint32_t sleepLength = 0;  // its length, ms
    uint32_t lastTick = 0;     // the tick of the last field seen
};

// One field: true when it is to be dropped.
bool TimerMode_Tick(TimerModeState& timer, const TimerSettings& settings, uint32_t now);
// End of a capture: a running timer re-arms for the next press.
void TimerMode_Stop(TimerModeState& timer);
// Start: false (nothing changes) unless both the burst length and the pause
// are non-zero.
bool TimerMode_Start(TimerModeState& timer, const TimerSettings& settings);
void TimerMode_Off(TimerModeState& timer);

// The panel's state text: "Off", "Waiting for trigger", "Capturing, N%",
// "Sleeping, N seconds" (the seconds left, rounded up past a whole second).
std::string TimerMode_Text(const TimerModeState& timer, const TimerSettings& settings);

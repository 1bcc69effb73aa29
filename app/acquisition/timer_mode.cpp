#include "app/acquisition/timer_mode.h"

#include <cstdio>

namespace {

void Sleep(TimerModeState& timer, uint32_t now, uint32_t length) {
    timer.state = kTimerSleeping;
    timer.sleepStart = now;
    timer.sleepLength = length;
}

// The field that opens a burst is used and not counted.
bool OpenBurst(TimerModeState& timer) {
    timer.state = kTimerCapturing;
    timer.count = 0;
    return false;
}

uint32_t Remaining(const TimerModeState& timer) {
    const uint32_t elapsed = timer.lastTick - timer.sleepStart;
    return elapsed >= timer.sleepLength ? 0 : timer.sleepLength - elapsed;
}

}  // namespace

bool TimerMode_Tick(TimerModeState& timer, const TimerSettings& settings, uint32_t now) {
    timer.lastTick = now;
    switch (timer.state) {
        case kTimerWaiting:
            if (settings.FirstSleepTicks != 0) {
                Sleep(timer, now, settings.FirstSleepTicks);
                return true;
            }
            return OpenBurst(timer);
        case kTimerCapturing:
            if (++timer.count >= settings.NumFields) Sleep(timer, now, settings.SleepTicks);
            return false;
        case kTimerSleeping:
            if (now - timer.sleepStart < timer.sleepLength) return true;
            return OpenBurst(timer);
        default:
            return false;
    }
}

void TimerMode_Stop(TimerModeState& timer) {
    if (timer.state == kTimerOff) return;
    timer.state = kTimerWaiting;
    timer.count = 0;
    timer.sleepStart = 0;
    timer.sleepLength = 0;
}

bool TimerMode_Start(TimerModeState& timer, const TimerSettings& settings) {
    if (settings.NumFields == 0 || settings.SleepTicks == 0) return false;
    timer.state = kTimerWaiting;
    timer.count = 0;
    timer.sleepStart = 0;
    timer.sleepLength = 0;
    return true;
}

void TimerMode_Off(TimerModeState& timer) {
    timer.state = kTimerOff;
    timer.count = 0;
    timer.sleepStart = 0;
    timer.sleepLength = 0;
}

std::string TimerMode_Text(const TimerModeState& timer, const TimerSettings& settings) {
    char text[64];
    switch (timer.state) {
        case kTimerWaiting:
            return "Waiting for trigger";
        case kTimerCapturing:
            std::snprintf(text, sizeof text, "Capturing, %.0f%%",
                          settings.NumFields ? 100.0 * timer.count / settings.NumFields : 0.0);
            return text;
        case kTimerSleeping:
            std::snprintf(text, sizeof text, "Sleeping, %u seconds", Remaining(timer) / 1000u + 1u);
            return text;
        default:
            return "Off";
    }
}

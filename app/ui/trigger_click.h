// Trigger clicks: a press of the wand's trigger that captures nothing ends an
// empty sweep, and empty sweeps in quick succession make double and triple
// clicks. The end of each empty sweep counts one click and (re)starts timer
// 1 for the system's double-click time; when the timer fires the counts
// decide the action.
#pragma once

#include "app/scan/settings_records.h"
#include "app/scan/geometry.h"

#include <cstdint>
#include <functional>

constexpr int kCommandUndoSweep = 40055;
constexpr int kCommandUndoStylusMark = 40200;

struct TriggerClickState {
    int32_t clickCountScan = 0;
    int32_t clickCountStylus = 0;
    int32_t notedStylusMarks = 0;  // the stylus mark count when the timer last fired
};

// Counts one click at the end of an empty sweep: both counts are cleared
// first when the timer was not running; the stylus count grows in stylus
// mode, the scan count otherwise. The caller (re)starts the timer.
void TriggerClick_Count(TriggerClickState& state, bool timerWasRunning, bool stylusMode);

// What the timer's action reads and does.
struct TriggerClickOps {
    std::function<void(int command)> sendCommand;
    std::function<int32_t()> stylusMarkCount;
    std::function<int32_t()> scanProfileCount;
    std::function<Vec3()> trackedVector;  // zero when the navigation tracks nothing
    std::function<void()> refresh;
    std::function<void()> postRepaint;
    std::function<void()> setAutoViewpoint;
};

struct TriggerClickContext {
    bool tarrel = false;
    int32_t mode = 1;
    bool fieldsSeen = false;
};

// The timer fired (the caller has killed it): acts on the counts, then
// clears them and notes the stylus mark count.
void TriggerClick_OnTimer(TriggerClickState& state, GeneralSettings& settings, const ViewSettings& view,
                          const TriggerClickContext& context, const TriggerClickOps& ops);

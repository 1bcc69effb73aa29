#include "app/ui/trigger_click.h"

#include <cmath>

namespace {

// A single click with the wand pointing to the left of the view (the tracked
// vector's view x below -0.6 of its length) cycles the stylus capture state:
// off -> points -> lines -> off.
bool CycleStylusState(GeneralSettings& settings, const ViewSettings& view, const TriggerClickOps& ops) {
    const Vec3 v = ops.trackedVector ? ops.trackedVector() : Vec3{0.0f, 0.0f, 0.0f};
    const Matrix4& m = view.ViewMatrix;
    const float x = v.x * m[0] + v.y * m[4] + v.z * m[8];
    if (!(x < -0.6f * V3_Length(v))) return false;
    StylusSettings& stylus = settings.Stylus;
    if (!stylus.Mode) {
        stylus.Mode = 1;
        stylus.CaptureMode = 0;
    } else if (stylus.CaptureMode == 1) {
        stylus.Mode = 0;
    } else {
        stylus.CaptureMode = 1;
    }
    return true;
}

// Sends an undo command until its count is 0 or an undo takes nothing away.
// An Undo Sweep takes a whole sweep's profiles: a scan is undone in as many
// commands (each with its refresh) as it has sweeps, not profiles.
void UndoAll(const TriggerClickOps& ops, int command, const std::function<int32_t()>& count) {
    for (int32_t left = count(); left > 0;) {
        ops.sendCommand(command);
        const int32_t now = count();
        if (now >= left) break;
        left = now;
    }
}

void MultipleClicks(const TriggerClickState& state, const GeneralSettings& settings,
                    const TriggerClickContext& context, const TriggerClickOps& ops) {
    const int32_t scan = state.clickCountScan, stylus = state.clickCountStylus;
    const int32_t marks = ops.stylusMarkCount();
    if (scan == 2) {
        if (!settings.DisableDoubleTriggerClick && ops.scanProfileCount() > 0)
            ops.sendCommand(kCommandUndoSweep);
    } else if (stylus == 2) {
        if (!settings.DisableDoubleTriggerClick && marks >= 1 && marks == state.notedStylusMarks)
            ops.sendCommand(kCommandUndoStylusMark);
    } else if (scan < 3) {
        if (stylus >= 3 && !settings.DisableTripleTriggerClick && context.mode != 3 && marks > 0)
            UndoAll(ops, kCommandUndoStylusMark, ops.stylusMarkCount);
    } else if (!settings.DisableTripleTriggerClick && context.mode != 3) {
        UndoAll(ops, kCommandUndoSweep, ops.scanProfileCount);
        UndoAll(ops, kCommandUndoStylusMark, ops.stylusMarkCount);
    }
}

}  // namespace

void TriggerClick_Count(TriggerClickState& state, bool timerWasRunning, bool stylusMode) {
    if (!timerWasRunning) state.clickCountScan = state.clickCountStylus = 0;
    if (stylusMode)
        ++state.clickCountStylus;
    else
        ++state.clickCountScan;
}

void TriggerClick_OnTimer(TriggerClickState& state, GeneralSettings& settings, const ViewSettings& view,
                          const TriggerClickContext& context, const TriggerClickOps& ops) {
    const bool single = state.clickCountScan == 1 || state.clickCountStylus == 1;
    if (single && context.tarrel && context.mode == 1 && context.fieldsSeen &&
        CycleStylusState(settings, view, ops)) {
        if (ops.refresh) ops.refresh();
        if (ops.postRepaint) ops.postRepaint();
    } else if (!single) {
        MultipleClicks(state, settings, context, ops);
    } else if (settings.AutoView && context.fieldsSeen && ops.stylusMarkCount() == state.notedStylusMarks) {
        if (ops.setAutoViewpoint) ops.setAutoViewpoint();
        if (ops.postRepaint) ops.postRepaint();
    }
    state.clickCountScan = state.clickCountStylus = 0;
    state.notedStylusMarks = ops.stylusMarkCount();
}

#include "app/ui/sweep_undo.h"

#include "app/scan/raw_data.h"
#include "app/ui/app_state.h"
#include "app/ui/document_marks.h"
#include "app/ui/shell_hooks.h"

namespace {

// The two point cursors never stand beyond the points.
void LowerCursors(RawData& raw, int32_t points) {
    if (raw.RunCursor >= points) raw.RunCursor = points;
    if (raw.ColourCursor >= points) raw.ColourCursor = points;
}

// The counts of the scan as they stand at the start of sweep s.
void SetCountsToSweepStart(RawData& raw, int32_t s) {
    raw.NumProfiles = raw.SweepStartingProfileNo[s];
    raw.NumPoints = raw.SweepFirstPoint[s];
    raw.NumFacets = raw.SweepFirstFacet[s];
}

void AfterChange() {
    Doc_MarkEdited();
    const ShellHooks& hooks = Shell_Hooks();
    if (hooks.notifyPanels) hooks.notifyPanels();
    if (hooks.postRepaint) hooks.postRepaint(3);
}

class BusyGuard {
  public:
    explicit BusyGuard(int32_t& state) : state_(state) { state_ = kBusyUndoRedoSweep; }
    ~BusyGuard() { state_ = kBusyIdle; }

  private:
    int32_t& state_;
};

}  // namespace

bool SweepUndo_Undo(RawData& raw, int32_t& busyState) {
    if (busyState != kBusyIdle) return false;
    BusyGuard busy(busyState);
    if (raw.NumSweeps < 1) return false;
    --raw.NumSweeps;
    SetCountsToSweepStart(raw, raw.NumSweeps);
    LowerCursors(raw, raw.NumPoints);
    AfterChange();
    return true;
}

bool SweepUndo_Redo(RawData& raw, int32_t& busyState) {
    if (busyState != kBusyIdle) return false;
    BusyGuard busy(busyState);
    if (raw.NumSweeps >= raw.TotalSweeps) return false;
    LowerCursors(raw, raw.NumPoints);
    const int32_t s = raw.NumSweeps++;
    SetCountsToSweepStart(raw, s + 1);
    raw.Sweeps[s].Flags &= ~3u;
    for (int32_t i = raw.SweepFirstPoint[s]; i < raw.SweepFirstPoint[s + 1]; ++i)
        raw.Points[i].Flags &= ~kPointSelectionMask;
    AfterChange();
    return true;
}

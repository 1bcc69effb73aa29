#include "app/ui/scan_edit.h"

#include "app/ui/app_state.h"
#include "app/ui/document_marks.h"
#include "app/ui/shell_hooks.h"

#include <algorithm>

namespace {

uint32_t SelectionLevel(const ScanPoint& p) { return p.Flags & kPointSelectionMask; }

uint32_t EraseLevel(const ScanPoint& p) { return (p.Flags & kPointEraseMask) >> kPointEraseShift; }

void SetSelectionLevel(ScanPoint& p, uint32_t level) { p.Flags = (p.Flags & ~kPointSelectionMask) | level; }

void SetEraseLevel(ScanPoint& p, uint32_t level) {
    p.Flags = (p.Flags & ~kPointEraseMask) | ((level << kPointEraseShift) & kPointEraseMask);
}

// Calls `visit` for every point of every visible sweep, within the point count.
template <typename Visit>
void ForVisiblePoints(RawData& raw, Visit visit) {
    if (!raw.Points || !raw.SweepFirstPoint || !raw.Sweeps) return;
    for (int32_t s = 0; s < raw.NumSweeps; ++s) {
        if (raw.Sweeps[s].Flags & kSweepHidden) continue;
        const int32_t first = std::max(0, raw.SweepFirstPoint[s]);
        const int32_t end = std::min(raw.SweepFirstPoint[s + 1], raw.NumPoints);
        for (int32_t i = first; i < end; ++i) visit(raw.Points[i]);
    }
}

// Every point the scan holds, those of undone sweeps too: a step dropped
// from the levels must be dropped from the points that Redo Sweep brings back.
void ForAllPoints(RawData& raw, void (*visit)(ScanPoint&, uint32_t), uint32_t limit) {
    if (!raw.Points) return;
    int32_t held = raw.NumPoints;
    if (raw.SweepFirstPoint && raw.TotalSweeps > raw.NumSweeps)
        held = std::min(std::max(held, raw.SweepFirstPoint[raw.TotalSweeps]), raw.MaxPoints);
    for (int32_t i = 0; i < held; ++i) visit(raw.Points[i], limit);
}

void PostRepaint() {
    if (Shell_Hooks().postRepaint) Shell_Hooks().postRepaint(3);
}

RawData* Scan() { return App().raw; }

// The points are coloured again for the selection level and repainted.
void Recolour(RawData& raw) {
    RawData_ClearPointRunMark(raw);
    PostRepaint();
}

// After a selection-level change: scan mode, recoloured points, repaint.
void SelectionChanged(RawData& raw) {
    App_SetMode(kModeScan);
    Recolour(raw);
}

// After an erase-level change: the points are drawn again and the scan is edited.
void EraseChanged(RawData& raw) {
    RawData_ClearPointRunMark(raw);
    RawData_ClearSweepCursor(raw);
    Doc_MarkEdited();
    PostRepaint();
}

}  // namespace

bool ScanPoint_IsSelected(const RawData& raw, const ScanPoint& point) {
    const uint32_t level = SelectionLevel(point);
    return level >= 1 && level <= raw.SelectionLimit;
}

bool ScanPoint_IsErased(const RawData& raw, const ScanPoint& point) {
    const uint32_t level = EraseLevel(point);
    return level >= 1 && level <= raw.EditLimit;
}

bool ScanEdit_SelectInRecord(RawData& raw, const PointRegion& region) {
    // Decide first whether anything is selected: an empty step must keep the
    // undone steps it would otherwise drop.
    bool any = false;
    ForVisiblePoints(raw, [&](ScanPoint& p) {
        if (!any && !ScanPoint_IsSelected(raw, p) && !ScanPoint_IsErased(raw, p) && region(p)) any = true;
    });
    if (!any) return false;
    const uint32_t s = std::min(raw.SelectionLimit, kMaxSelectionLevel);
    raw.SelectionLevelTop = s;
    ForAllPoints(
        raw,
        [](ScanPoint& p, uint32_t limit) {
            if (SelectionLevel(p) > limit) SetSelectionLevel(p, 0);
        },
        s);
    const uint32_t level = std::min(s + 1, kMaxSelectionLevel);
    ForVisiblePoints(raw, [&](ScanPoint& p) {
        if (!ScanPoint_IsSelected(raw, p) && !ScanPoint_IsErased(raw, p) && region(p)) SetSelectionLevel(p, level);
    });
    raw.SelectionLimit = level;
    raw.SelectionLevelTop = level;
    return true;
}

bool ScanEdit_EraseInRecord(RawData& raw) {
    bool any = false;
    ForVisiblePoints(raw, [&](ScanPoint& p) {
        if (ScanPoint_IsSelected(raw, p) && !ScanPoint_IsErased(raw, p)) any = true;
    });
    if (!any) return false;
    const uint32_t e = std::min(raw.EditLimit, kMaxEraseLevel - 1);
    ForAllPoints(
        raw,
        [](ScanPoint& p, uint32_t limit) {
            if (EraseLevel(p) > limit) SetEraseLevel(p, 0);
        },
        e);
    const uint32_t level = e + 1;
    ForVisiblePoints(raw, [&](ScanPoint& p) {
        if (ScanPoint_IsSelected(raw, p) && !ScanPoint_IsErased(raw, p)) SetEraseLevel(p, level);
    });
    raw.SelectionLimit = 0;
    raw.SelectionLevelTop = 0;
    raw.EditLimit = level;
    raw.EditLevelTop = level;
    return true;
}

bool ScanEdit_StepEraseInRecord(RawData& raw, int delta) {
    if (delta < 0 && raw.EditLimit == 0) return false;
    if (delta > 0 && raw.EditLimit >= raw.EditLevelTop) return false;
    raw.SelectionLimit = 0;
    raw.SelectionLevelTop = 0;
    raw.EditLimit += delta < 0 ? -1 : 1;
    return true;
}

bool ScanEdit_StepSelectionInRecord(RawData& raw, int delta) {
    if (delta < 0 && raw.SelectionLimit == 0) return false;
    if (delta > 0 && raw.SelectionLimit >= raw.SelectionLevelTop) return false;
    raw.SelectionLimit += delta < 0 ? -1 : 1;
    return true;
}

void ScanEdit_SelectPointsInRegion(const PointRegion& region) {
    RawData* raw = Scan();
    if (!raw || !ScanEdit_SelectInRecord(*raw, region)) return;
    SelectionChanged(*raw);
}

void ScanEdit_DeleteSelection() {
    RawData* raw = Scan();
    if (!raw || !ScanEdit_EraseInRecord(*raw)) return;
    EraseChanged(*raw);
}

void ScanEdit_UndoEraseStep() {
    RawData* raw = Scan();
    if (raw && ScanEdit_StepEraseInRecord(*raw, -1)) EraseChanged(*raw);
}

void ScanEdit_RedoEraseStep() {
    RawData* raw = Scan();
    if (raw && ScanEdit_StepEraseInRecord(*raw, 1)) EraseChanged(*raw);
}

void ScanEdit_ClearSelection() {
    RawData* raw = Scan();
    if (!raw) return;
    raw->SelectionLimit = 0;
    SelectionChanged(*raw);
}

void ScanEdit_UndoSelectionStep() {
    RawData* raw = Scan();
    if (raw && ScanEdit_StepSelectionInRecord(*raw, -1)) SelectionChanged(*raw);
}

void ScanEdit_RedoSelectionStep() {
    RawData* raw = Scan();
    if (raw && ScanEdit_StepSelectionInRecord(*raw, 1)) SelectionChanged(*raw);
}

void ScanEdit_UndoCommand() {
    RawData* raw = Scan();
    if (!raw) return;
    if (raw->SelectionLimit > 0)
        ScanEdit_UndoSelectionStep();
    else if (raw->EditLimit > 0)
        ScanEdit_UndoEraseStep();
}

void ScanEdit_RedoCommand() {
    RawData* raw = Scan();
    if (!raw) return;
    if (raw->SelectionLimit < raw->SelectionLevelTop)
        ScanEdit_RedoSelectionStep();
    else if (raw->EditLimit < raw->EditLevelTop)
        ScanEdit_RedoEraseStep();
}

void ScanEdit_DeleteCommand() {
    RawData* raw = Scan();
    if (!raw) return;
    if (raw->SelectionLimit > 0)
        ScanEdit_DeleteSelection();
    else if (raw->EditLimit > 0)
        ScanEdit_UndoEraseStep();
    if (App().selectMode) App_LeaveMouseModes();
}

void ScanEdit_InstallHooks() {
    ShellHooks& hooks = Shell_Hooks();
    hooks.eraseLevel = [] { return App().raw ? static_cast<int32_t>(App().raw->SelectionLimit) : 0; };
    // Run while the mouse modes are left, which a mode switch does: the
    // selection goes, but the switch under way chooses the mode and panels.
    hooks.setEraseLevel = [](int32_t) {
        if (RawData* raw = Scan()) {
            raw->SelectionLimit = 0;
            Recolour(*raw);
        }
    };
}

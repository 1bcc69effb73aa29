// Point editing in numbered steps: points are selected at selection levels
// and deleted at erase levels kept in each point's flags word, so that Undo
// and Redo only move four counters of the scan record (selection level S and
// its redo limit Smax, erase level E and its redo limit Emax).
//
// The record operations change only the scan record and say whether anything
// changed; the ScanEdit_* operations act on the program's scan and add the
// shell's side (mode, repaint, edited mark).
#pragma once

#include "app/scan/raw_data.h"

#include <cstdint>
#include <functional>

// The marking region: true for a point inside it.
using PointRegion = std::function<bool(const ScanPoint& point)>;

constexpr uint32_t kMaxSelectionLevel = 255;
constexpr uint32_t kMaxEraseLevel = 65535;

bool ScanPoint_IsSelected(const RawData& raw, const ScanPoint& point);
bool ScanPoint_IsErased(const RawData& raw, const ScanPoint& point);

// A new selection step over the points of the visible sweeps inside the
// region that are neither selected nor erased. When no point qualifies
// nothing changes (not even the redo limit). True when points were selected.
bool ScanEdit_SelectInRecord(RawData& raw, const PointRegion& region);
// A new erase step over the selected, not erased points of the visible
// sweeps. When no point qualifies nothing changes: the redo limit and the
// undone steps are kept. True when points were erased.
bool ScanEdit_EraseInRecord(RawData& raw);
// Moves E by one within 0..Emax and clears the selection; false at a limit.
bool ScanEdit_StepEraseInRecord(RawData& raw, int delta);
// Moves S by one within 0..Smax; false at a limit.
bool ScanEdit_StepSelectionInRecord(RawData& raw, int delta);

// ---- The program's scan -----------------------------------------------------
// Selects the points inside the region (a marking gesture ended in the view).
void ScanEdit_SelectPointsInRegion(const PointRegion& region);
void ScanEdit_DeleteSelection();
void ScanEdit_UndoEraseStep();
void ScanEdit_RedoEraseStep();
void ScanEdit_ClearSelection();
void ScanEdit_UndoSelectionStep();
void ScanEdit_RedoSelectionStep();

// The Edit commands: Undo, Redo and Delete by the counters' rules. Delete
// also leaves Select mode.
void ScanEdit_UndoCommand();
void ScanEdit_RedoCommand();
void ScanEdit_DeleteCommand();

// The shell's Escape and leave-Select hooks act on the selection level.
void ScanEdit_InstallHooks();

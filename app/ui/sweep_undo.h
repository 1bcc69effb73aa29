// Undo Sweep and Redo Sweep: the last sweep leaves the scan by lowering the
// counts to its starts and comes back by raising them again; its data stays
// in the record until a new sweep overwrites it.
#pragma once

#include <cstdint>

struct RawData;

// Each runs only while the program is idle (busy state 0), holds the busy
// state 4 while it works and gives it back. True when the scan changed;
// then the document is marked edited and the shell refreshes the panels and
// repaints.
bool SweepUndo_Undo(RawData& raw, int32_t& busyState);
bool SweepUndo_Redo(RawData& raw, int32_t& busyState);

// Steps of the multilevel fitter shared by its files. Levels are addressed
// by number (1 the finest): the level array may be reallocated when a
// further level opens, so no step keeps a level's address across a call
// that can initialise levels.
#ifndef SURFACE_FIT_DD_FIT_INTERNAL_H
#define SURFACE_FIT_DD_FIT_INTERNAL_H

#include <cstdint>

#include "surface/fit/dd_fit.h"

inline DDFitLevel* DDFit_Level(DDFitWorkspace* ws, int32_t number) { return &ws->Levels[number - 1]; }

// A detail line of the fitter (category bit 0x2) at the given level.
void DDFit_Say(const DDFitWorkspace* ws, int32_t level, const char* format, ...) __attribute__((format(printf, 3, 4)));
bool DDFit_Aborted(const DDFitWorkspace* ws);
// Timing lines of level L: the reporter at level 6 with the detail bit, and
// LevsToTime at least L.
bool DDFit_Timing(const DDFitWorkspace* ws, int32_t L);
// Seconds since a clock reading.
double DDFit_Seconds(uint32_t since);
// The reporter's progress value (0 without one), and a raise of it (never
// lowered).
double DDFit_Progress(const DDFitWorkspace* ws);
void DDFit_RaiseProgress(const DDFitWorkspace* ws, double value);

int DDFit_Init(DDFitWorkspace* ws, int32_t L);
int DDFit_AddCoarsePoints(DDFitWorkspace* ws, int32_t L);
int DDFit_FactorSubdomains(DDFitWorkspace* ws, int32_t L);
// Frees stored factors of levels 1 to min(cap, levels) - 1 until the tracked
// count fell by more than `bytes`; returns the bytes freed.
double DDFit_FreeCholeskys(DDFitWorkspace* ws, double bytes, int32_t cap);
int DDFit_UpdateLevel(DDFitWorkspace* ws, int32_t N, double* const* centres, int32_t L);
void DDFit_FreeLevel(DDFitLevel* level);
// The largest per-level need: evaluation workspace or local-solve bytes.
double DDFit_LargestLevelNeed(DDFitWorkspace* ws);
// Opens room for level `number` in the level array (grown by 5 records).
int DDFit_EnsureLevel(DDFitWorkspace* ws, int32_t number);

// out = A·coeffs at the level's own points (plus the smoothing term), with
// the expansions dropped afterwards.
int DDFit_FastMultiply(DDFitWorkspace* ws, int32_t L, double* coeffs, double accuracy, double* out);
int DDFit_Solve(DDFitWorkspace* ws, int32_t L, const double* values, double* coeffs, double accuracy, double* error);

#endif

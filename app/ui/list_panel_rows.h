// What the list panel shows of the scan and does to it, apart from its
// window: the texts of its rows (sweeps, stylus items, the surface row), how
// a row's check box and selection reach the document, Flip and Move to
// surface.
#pragma once

#include "app/scan/raw_data.h"
#include "app/scan/surface_record.h"

#include <cstdint>
#include <string>

enum ListPanelKind : int32_t { kListSweeps = 1, kListStylus = 2 };

struct ListRowTexts {
    std::string cells[4];
};

// The time column: minutes and seconds, "%2d:%02d".
std::string ListRow_TimeText(int32_t seconds);
// Sweep s: its number from 1, its point count, the flipped text, and the
// time of its first profile after the scan's first profile.
ListRowTexts ListRow_Sweep(const RawData& raw, int32_t s);
// Stylus item k: its group's number from 1, and the distance it was moved
// onto the surface on display (the basic surface when `basic`), or "-".
ListRowTexts ListRow_Stylus(const StylusItemList& list, int32_t k, bool basic);
// The surface row: the surface on display.
ListRowTexts ListRow_Surface(bool rbf);

// A row's check box ("visible") and selection applied to its sweep or item.
// Bit 1 of the result: something changed; bit 2: a sweep's visibility changed.
constexpr int kRowChanged = 1;
constexpr int kRowVisibilityChanged = 2;
int ListRow_ApplySweep(RawData& raw, int32_t s, bool checked, bool selected);
int ListRow_ApplyStylus(StylusItemList& list, int32_t k, bool checked, bool selected);
bool ListRow_SweepVisible(const RawData& raw, int32_t s);
bool ListRow_SweepSelected(const RawData& raw, int32_t s);

// Flip: the sweep's flipped flag toggled and its normals negated.
void ListRow_FlipSweep(RawData& raw, int32_t s);

// Move to surface: item k placed onto the surface on display (`shown`, null
// for the sweeps) within `distance`. 0 when placed, else the locale key of
// the near-point error (the item stays where it was).
const char* ListRow_MoveToSurface(RawData& raw, int32_t k, SurfaceRecord* shown, bool shownIsBasic, float distance);

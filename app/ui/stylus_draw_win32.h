// The stylus items in the view: their glyphs and lines, each group written
// into the stencil buffer under an id of its own, and picking a group under
// a pixel from those ids.
#pragma once

#include "app/scan/settings_records.h"
#include "app/scan/stylus_items.h"

#include <windows.h>

#include <cstdint>

struct GraphWindowRecord;

// The stencil value of a group: 1 to 255.
inline uint32_t Stylus_StencilOf(int32_t group) { return static_cast<uint32_t>(group % 255) + 1; }

// Draws the visible items with the current model-view; `scanView` places
// them on the scan, else on the basic surface (`fourth`: the inverted cast's pose).
void Graph_DrawStylusItems(GraphWindowRecord& record, const GeneralSettings& settings, const StylusItemList& list,
                           bool scanView, bool fourth);
// A lit polyhedral ball about the model-view's origin.
void Graph_DrawBall(float radius);
// The group drawn at the client pixel, or -1.
int32_t Graph_Pick(HWND window, int32_t x, int32_t y);

// The tracker's places in the sweeps view: the reference receiver's axes at
// the origin, and where the transmitter and the wand stood for each profile.
#pragma once

#include "app/scan/raw_data.h"
#include "app/scan/settings_records.h"

// Draws the glyphs that ViewReferencePosition, ViewTransmitterPosition and
// ViewWandPosition ask for into the current frame, for the profiles from the
// frame's profile cursor on; nothing when all three are off.
void Graph_DrawTrackerGlyphs(const GeneralSettings& settings, const RawData& raw);

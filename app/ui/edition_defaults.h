// The default images of the two settings records: the base defaults, the
// branding colours and the edition overrides. The live records are made from
// these images when the user settings are loaded.
#pragma once

#include "app/scan/settings_records.h"
#include "app/ui/brand_info.h"
#include "app/ui/command_line.h"

// The base defaults, with the foreground and background colours of the
// branding record.
void App_FillDefaultImages(GeneralSettings& general, ViewSettings& view, const BrandInfo& brand);

// The edition overrides (Tarrel first, then Pemmler, both when both flags are
// set), then the export option blocks from their one template and the spare
// word cleared.
void App_ApplyEditionDefaults(GeneralSettings& general, ViewSettings& view, const EditionFlags& editions);

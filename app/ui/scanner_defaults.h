// The profile filter defaults that follow the scanner found at start: the
// scanner kind 2 filters by 3 by default, a scanner without receiver not at all.
#pragma once

#include "app/scan/settings_records.h"

#include <cstdint>

void App_ApplyScannerFilterDefaults(GeneralSettings& live, GeneralSettings& defaults, int32_t scannerKind,
                                    bool noReceiver);
// The same on the program's settings with the calibration the scanner reports.
void App_ApplyScannerFilterDefaults();

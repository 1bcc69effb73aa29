// The scanner keys of the program's key/value file ("Tolvaran.rsc").
#pragma once

#include <cstdint>

struct ConfigFile;

struct AdvancedScannerSettings {
    std::int32_t LocatorFilterLength = 0;  // 0: keep the built-in filter length
    std::int32_t MinLaserLineWidth = 5;
    std::int32_t MaxLaserLineWidth = 50;
    float PixelSize = 0.3125f;
    std::int32_t Hemisphere = 6;
    std::int32_t RxIndexOffset = 0;
    std::int32_t WaitForTrackerInit = 1;
    std::int32_t ScghViewKeys = 0;
    std::int32_t ShowExtentsDialog = 0;
};

// Each key over its default: integer keys take an integer value, PixelSize a
// number, the switches a truth value, Hemisphere one of 0 to 6. A key that
// is missing, or has no value of its kind, keeps its default. A null file
// gives the defaults.
AdvancedScannerSettings ReadAdvancedScannerSettings(const ConfigFile* file);

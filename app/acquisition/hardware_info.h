// Facts about the driver, the hardware version and the calibration in use,
// for the scan header, the calibration and alignment dialogs and the
// scanner properties dialog.
#pragma once

#include <cstdint>

#include "app/scan/geometry.h"

constexpr std::size_t kHardwareInfoTextSize = 1024;

struct HardwareInfo {
    char versionText[kHardwareInfoTextSize];  // of the calibration header, "1.1.1" to "2.4.2"; empty before a load
    char driverText[kHardwareInfoTextSize];
    std::int32_t driverVersion;  // the parallel-port driver's version number; 0 on USB
    std::int32_t serialNumber;   // of the calibration file
    std::int32_t unitVersion;    // processing-unit version in use
    std::int32_t channelCount;
    std::int32_t lineCount;
    std::int32_t hardwareConstant;
    Matrix4 wandRxOffsetMatrix;
    std::int32_t fixedWandProperty;
    std::int64_t calibrationFileTime;  // seconds since 1970, when the hardware was started
};

void GetHardwareDriverInfo(HardwareInfo& info);

// The simulated processing unit's hardware: its calibration version (one of
// the program's supported versions) and the processing-unit version, which is
// also its frequency mode.
#pragma once

#include <string>

#include "app/acquisition/hardware_version.h"

namespace sim {

// The supported hardware version named by `text` ("2.3.1"), when the
// simulator can stand in for it; versions with a fixed wand are not
// simulated. Nullptr otherwise.
const HardwareVersionEntry* FindHardware(const std::string& text);

// Processing-unit versions 2 and 3 scale their counts into the table's count
// range and start their lines two and a half rows later.
inline bool RescaledGeometry(int unitVersion) { return unitVersion == 2 || unitVersion == 3; }
// Processing-unit versions 1 and 3 report the tracker stations '3' and '1'.
inline bool SwappedStations(int unitVersion) { return unitVersion == 1 || unitVersion == 3; }

// The largest serial number a unit version can report: 10 identity bits on
// versions 0 and 1, a 16-bit status word on versions 2 and 3.
inline unsigned MaxSerial(int unitVersion) { return unitVersion >= 2 ? 0xFFFFu : 0x3FFu; }

}  // namespace sim

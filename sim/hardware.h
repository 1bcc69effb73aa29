// The simulated processing unit's hardware: its calibration version text and
// what follows from it, and the processing-unit version (which is also its
// frequency mode).
#pragma once

#include <string>

namespace sim {

struct HardwareModel {
  const char* text;    // "2.3.1"
  int major, minor, revision;
  int channels;        // camera channels in each field and in the table
  bool parity;         // marks field parity; odd fields are sampled half a line lower
  bool trackerSetup;   // the calibration file carries the tracker's frequency block
};

// The hardware versions the simulator can stand in for (versions with a fixed
// wand are not simulated). Nullptr when `text` is not one of them.
const HardwareModel* FindHardware(const std::string& text);

// Processing-unit versions 2 and 3 scale their counts into the table's count
// range and start half a line block later.
inline bool RescaledGeometry(int unitVersion) { return unitVersion == 2 || unitVersion == 3; }
// Processing-unit versions 1 and 3 report the tracker stations '3' and '1'.
inline bool SwappedStations(int unitVersion) { return unitVersion == 1 || unitVersion == 3; }

// The largest serial number a unit version can report: 10 identity bits on
// versions 0 and 1, a 16-bit status word on versions 2 and 3.
inline unsigned MaxSerial(int unitVersion) { return unitVersion >= 2 ? 0xFFFFu : 0x3FFu; }

}  // namespace sim

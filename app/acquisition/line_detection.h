// The check every laser-line detection (a rise and a fall position in a
// video line) passes before use; rejections are counted in the statistics.
#pragma once

#include <cstdint>

// True for a usable line. Both positions 0: no line (not counted). Otherwise
// counted by cause: "Rise > Fall", "Rise = 0", "Width < Min", "Width > Max"
// against the widths of SetHardwareParamPair.
bool LaserLineWidthOk(std::int32_t rise, std::int32_t fall);

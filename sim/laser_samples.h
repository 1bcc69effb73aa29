// The processing unit's laser-line detections for one video field: for each
// video line and camera channel, the start and end counts of the laser line
// that the camera sees where the fan ray of that line meets the scene.
#pragma once

#include <array>
#include <cstdint>

#include "sim/hardware.h"
#include "sim/scene.h"
#include "sim/sim_math.h"

namespace sim {

constexpr int kVideoLines = 282;

struct LineSample {
  std::uint16_t start = 0, end = 0;  // 12-bit counts; both 0 when no line was seen
};

struct FieldSamples {
  std::array<std::array<LineSample, 2>, kVideoLines> lines{};  // [line][channel]
};

// The line position (in table rows' units) that video line L stands for.
double LinePosition(int line, int unitVersion, bool parityHardware, bool oddField);

// Start and end counts whose mid-point the program reads back as `count`
// (after its rescaling on unit versions 2 and 3). The line is 10 or 11 counts
// wide, whichever puts the mid-point nearest. False when the counts would not
// fit in 12 bits.
bool EncodeCount(double count, bool rescaled, LineSample* sample);
// The program's reading of a sample's mid-point, for checks.
double DecodeCount(const LineSample& sample, bool rescaled);

// Where one fan ray of the wand meets the scene, as the camera of `channel`
// reports it: the count position, or nothing when the ray misses, the hit is
// out of the calibrated range, faces away from the laser or the camera, or the
// camera's view of it is blocked.
struct RayResult {
  double count = 0;
  Vec3 world;   // the hit, transmitter frame
};
bool TraceLine(const Scene& scene, const Pose& wand, int channel, double linePosition,
               RayResult* result);

// A camera channel whose samples are off: the unit reports for a video line
// what the camera sees `line` table rows further on, at `count` counts less.
// The program's calibration tweak (line, count) of that channel undoes it.
struct SampleOffset {
  double line = 0, count = 0;
};

// All samples of one field for a wand at `wand` (sensor to transmitter),
// each channel off by its offset (none when null).
void ComputeSamples(const Scene& scene, const Pose& wand, const HardwareVersionEntry& hardware,
                    int unitVersion, bool oddField, FieldSamples* out,
                    const SampleOffset* offsets = nullptr);

}  // namespace sim

// The simulated wand's optics: the laser sheet in the sensor frame, how each
// camera channel sees it (video line and count position), and the calibration
// table that maps line and count positions back to sensor-frame points.
//
// The sheet is a plane fanning out from an apex at x = -140 along +x; each
// video line position looks along one ray of the fan and the count position
// measures the distance along it. The table's points are bilinear in line and
// count position, so the program's bilinear look-up reproduces them exactly up
// to the table's integer quantisation.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "sim/sim_math.h"

namespace sim {

struct CalibrationModel {
  static constexpr int kRows = 144;          // line positions 0..286 in steps of 2
  static constexpr int kColumns = 513;       // count positions 0..1024 in steps of 2
  static constexpr int kRowStep = 2;
  static constexpr int kColumnStep = 2;
  static constexpr float kScale = 1.0f / 32.0f;  // mm per table unit
  static constexpr std::int16_t kUnset = -32768;

  // Count positions with a calibrated point: the table is set from
  // kFirstSetCount to kLastSetCount, and the simulator only reports lines
  // whose count lies in [kMinCount, kMaxCount], well inside.
  static constexpr double kFirstSetCount = 16, kLastSetCount = 1008;
  static constexpr double kMinCount = 40, kMaxCount = 1000;

  static constexpr double kApexX = -140;      // the fan's apex on the sensor's x axis
  static constexpr double kFanCentreLine = 143;
  static constexpr double kFanSlope = 0.0017;  // tan of the fan angle per line position
  static constexpr double kSheetZ0 = -4, kSheetZSlope = 0.03;  // z = z0 + slope (x - apex)

  // The camera point that the program's facet test looks from.
  static Vec3 CameraPoint() { return {-120, 0, -10}; }

  // Sensor-frame point of (channel, line position, count position).
  static Vec3 SheetPoint(int channel, double linePosition, double countPosition);
  // The ray of the fan that a line position looks along: apex and unit
  // direction in the sensor frame.
  static void LaserRay(int channel, double linePosition, Vec3* apex, Vec3* direction);
  // The count position of a sensor-frame x on a channel's rays.
  static double CountPosition(int channel, double x);

  // The table of `channels` channels: channel-major, then row, then column,
  // three int16 (x, y, z) each.
  static std::vector<std::int16_t> BuildTable(int channels);
  // The table's value for (channel, row, column) as the program scales it,
  // or nothing when the entry is unset.
  static std::optional<Vec3> TablePoint(const std::vector<std::int16_t>& table, int channel,
                                        int row, int column);
  // Bilinear look-up as the program does it (for checking the simulator).
  static std::optional<Vec3> Interpolate(const std::vector<std::int16_t>& table, int channel,
                                         double linePosition, double countPosition);
};

}  // namespace sim

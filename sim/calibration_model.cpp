#include "sim/calibration_model.h"

#include <cmath>

namespace sim {

namespace {

struct ChannelOptics {
  double fanSign;     // channel 1 sees the lines in the opposite order
  double x0, xPerCount;
};

constexpr ChannelOptics kOptics[2] = {{+1.0, 40.0, 0.42}, {-1.0, 30.0, 0.45}};

const ChannelOptics& Optics(int channel) { return kOptics[channel == 1 ? 1 : 0]; }

double FanTangent(int channel, double linePosition) {
  return Optics(channel).fanSign * (linePosition - CalibrationModel::kFanCentreLine) *
         CalibrationModel::kFanSlope;
}

double SheetZ(double x) {
  return CalibrationModel::kSheetZ0 + CalibrationModel::kSheetZSlope * (x - CalibrationModel::kApexX);
}

std::int16_t Quantise(double v) {
  return static_cast<std::int16_t>(std::lround(v / CalibrationModel::kScale));
}

}  // namespace

Vec3 CalibrationModel::SheetPoint(int channel, double linePosition, double countPosition) {
  const ChannelOptics& o = Optics(channel);
  const double x = o.x0 + o.xPerCount * countPosition;
  return {x, (x - kApexX) * FanTangent(channel, linePosition), SheetZ(x)};
}

void CalibrationModel::LaserRay(int channel, double linePosition, Vec3* apex, Vec3* direction) {
  *apex = {kApexX, 0, kSheetZ0};
  *direction = Normalised({1, FanTangent(channel, linePosition), kSheetZSlope});
}

double CalibrationModel::CountPosition(int channel, double x) {
  const ChannelOptics& o = Optics(channel);
  return (x - o.x0) / o.xPerCount;
}

std::vector<std::int16_t> CalibrationModel::BuildTable(int channels) {
  std::vector<std::int16_t> table;
  table.reserve(static_cast<std::size_t>(channels) * kRows * kColumns * 3);
  for (int c = 0; c < channels; ++c) {
    for (int i = 0; i < kRows; ++i) {
      for (int j = 0; j < kColumns; ++j) {
        const double count = j * kColumnStep;
        if (count < kFirstSetCount || count > kLastSetCount) {
          table.insert(table.end(), {kUnset, 0, 0});
          continue;
        }
        const Vec3 p = SheetPoint(c, i * kRowStep, count);
        table.insert(table.end(), {Quantise(p.x), Quantise(p.y), Quantise(p.z)});
      }
    }
  }
  return table;
}

std::optional<Vec3> CalibrationModel::TablePoint(const std::vector<std::int16_t>& table,
                                                 int channel, int row, int column) {
  const std::size_t at = ((static_cast<std::size_t>(channel) * kRows + row) * kColumns + column) * 3;
  if (at + 2 >= table.size() || table[at] == kUnset) return std::nullopt;
  const float s = kScale;
  return Vec3{static_cast<float>(table[at] * s), static_cast<float>(table[at + 1] * s),
              static_cast<float>(table[at + 2] * s)};
}

std::optional<Vec3> CalibrationModel::Interpolate(const std::vector<std::int16_t>& table,
                                                  int channel, double linePosition,
                                                  double countPosition) {
  if (countPosition == 0.0) return std::nullopt;
  const double u = linePosition / kRowStep, v = countPosition / kColumnStep;
  const int i = static_cast<int>(std::floor(u)), j = static_cast<int>(std::floor(v));
  if (i < 0 || i + 1 >= kRows || j < 0 || j + 1 >= kColumns) return std::nullopt;
  const double fx = u - i, fy = v - j;
  const auto e00 = TablePoint(table, channel, i, j);
  const auto e01 = TablePoint(table, channel, i, j + 1);
  const auto e10 = TablePoint(table, channel, i + 1, j);
  const auto e11 = TablePoint(table, channel, i + 1, j + 1);
  if (!e00 || !e01 || !e10 || !e11) return std::nullopt;
  return *e00 * ((1 - fx) * (1 - fy)) + *e01 * ((1 - fx) * fy) + *e10 * (fx * (1 - fy)) +
         *e11 * (fx * fy);
}

}  // namespace sim

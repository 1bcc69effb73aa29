#include "sim/laser_samples.h"

#include <cmath>

#include "sim/calibration_model.h"

namespace sim {

namespace {

// The program's rescaling of counts on unit versions 2 and 3.
constexpr float kRescale = 0.7048457860946655f;
constexpr float kRescaleOffset = 24.0f;

}  // namespace

double LinePosition(int line, int unitVersion, bool parityHardware, bool oddField) {
  double y = line;
  if (RescaledGeometry(unitVersion)) y += 2.5;
  if (parityHardware && oddField) y += 0.5;
  return y;
}

bool EncodeCount(double count, bool rescaled, LineSample* sample) {
  const double raw = rescaled ? (count - kRescaleOffset) / kRescale : count;
  const long sum = std::lround(2.0 * raw);
  const long width = (sum % 2 == 0) ? 10 : 11;
  const long start = (sum - width) / 2;
  const long end = start + width;
  if (start < 1 || end > 0xFFF) return false;
  sample->start = static_cast<std::uint16_t>(start);
  sample->end = static_cast<std::uint16_t>(end);
  return true;
}

double DecodeCount(const LineSample& sample, bool rescaled) {
  float s1 = static_cast<float>(sample.start), s2 = static_cast<float>(sample.end);
  if (rescaled) {
    s1 = s1 * kRescale + kRescaleOffset;
    s2 = s2 * kRescale + kRescaleOffset;
  }
  return (s1 + s2) * 0.5f;
}

bool TraceLine(const Scene& scene, const Pose& wand, int channel, double linePosition,
               RayResult* result) {
  Vec3 apex, direction;
  CalibrationModel::LaserRay(channel, linePosition, &apex, &direction);
  const Vec3 origin = Apply(wand, apex);
  const Vec3 dir = Apply(wand.r, direction);
  const auto hit = scene.Intersect(origin, dir, 1e-6, 2000.0);
  if (!hit) return false;
  const Vec3 sensor = ApplyInverse(wand, hit->point);
  const double count = CalibrationModel::CountPosition(channel, sensor.x);
  if (count < CalibrationModel::kMinCount || count > CalibrationModel::kMaxCount) return false;
  // The lit side must face the laser and the camera, and the camera must see it.
  const Vec3 camera = Apply(wand, CalibrationModel::CameraPoint());
  if (Dot(hit->normal, origin - hit->point) <= 0) return false;
  const Vec3 toCamera = camera - hit->point;
  if (Dot(hit->normal, toCamera) <= 0) return false;
  const double distance = Length(toCamera);
  if (scene.Intersect(hit->point, toCamera * (1.0 / distance), 1e-3, distance - 1e-3)) return false;
  result->count = count;
  result->world = hit->point;
  return true;
}

void ComputeSamples(const Scene& scene, const Pose& wand, const HardwareVersionEntry& hardware,
                    int unitVersion, bool oddField, FieldSamples* out, const SampleOffset* offsets) {
  *out = FieldSamples{};
  const bool rescaled = RescaledGeometry(unitVersion);
  for (int line = 0; line < kVideoLines; ++line) {
    const double y = LinePosition(line, unitVersion, hardware.parityProperty != 0, oddField);
    for (int channel = 0; channel < hardware.channelCount; ++channel) {
      const SampleOffset off = offsets ? offsets[channel] : SampleOffset{};
      RayResult ray;
      if (!TraceLine(scene, wand, channel, y + off.line, &ray)) continue;
      EncodeCount(ray.count - off.count, rescaled, &out->lines[line][channel]);
    }
  }
}

}  // namespace sim

// The simulated processing unit: makes the field of one video field from the
// scenario, the tracker's state and the faults in force, in the unit's own
// byte format.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/scenario.h"
#include "sim/tracker.h"

namespace sim {

constexpr int kFieldsPerSecond = 60;
constexpr double kFieldPeriod = 1.0 / kFieldsPerSecond;
// Where in its field each tracker record is measured, in fields after the
// field's laser image: the program's pose filter centres on the image when
// record k carries the pose of that moment.
constexpr double kRecordPhase[2] = {0.2, 0.7};

// Words of the status block that the program does not read carry the video
// field number (low and high 16 bits), for the pacing tool.
constexpr int kSequenceWord = 1128 + 52 + 2;

class ProcessingUnit {
 public:
  ProcessingUnit(const Scenario& scenario, const Tracker& tracker);

  // The field of video field `n` (laser image at time n / 60 s) during a
  // press of kind `kind`.
  std::vector<std::uint8_t> MakeField(std::int64_t n, Press::Kind kind) const;

  static double FieldTime(std::int64_t n) { return static_cast<double>(n) * kFieldPeriod; }
  // The video field number carried by a field made here.
  static std::uint32_t FieldNumber(const std::uint8_t* field);

 private:
  const Scenario& scenario_;
  const Tracker& tracker_;
};

}  // namespace sim

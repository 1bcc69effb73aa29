#include "sim/processing_unit.h"

#include <cstring>

#include "app/acquisition/field_format.h"
#include "sim/field_generator.h"
#include "sim/hardware.h"
#include "sim/laser_samples.h"

namespace sim {

namespace {

GeneratedTrackerRecord ToGenerated(const TrackerRecord& r) {
  GeneratedTrackerRecord g;
  g.type = r.type;
  g.station = r.station;
  g.error = r.error;
  std::memcpy(g.position, r.position, sizeof g.position);
  std::memcpy(g.orientation, r.orientation, sizeof g.orientation);
  return g;
}

bool Active(const Fault& f, double t) { return t >= f.start && t < f.end; }

void PutWord(std::vector<std::uint8_t>& bytes, int word, std::uint16_t value) {
  bytes[2 * word] = static_cast<std::uint8_t>(value & 0xFF);
  bytes[2 * word + 1] = static_cast<std::uint8_t>(value >> 8);
}

}  // namespace

ProcessingUnit::ProcessingUnit(const Scenario& scenario, const Tracker& tracker)
    : scenario_(scenario), tracker_(tracker) {}

std::vector<std::uint8_t> ProcessingUnit::MakeField(std::int64_t n, Press::Kind kind) const {
  const HardwareVersionEntry& hardware = *FindHardware(scenario_.hardware);
  const double t = FieldTime(n);
  const bool odd = hardware.parityProperty != 0 && (n & 1) != 0;

  FieldParameters p;
  p.unitVersion = scenario_.unitVersion;
  p.serial = scenario_.serial;
  p.wandPresent = kind == Press::kScan;
  p.stylus = kind == Press::kStylus;
  p.parity = odd;

  FieldSamples samples;
  ComputeSamples(scenario_.scene, scenario_.wand.At(t), hardware, scenario_.unitVersion, odd,
                 &samples, scenario_.sampleOffset);
  for (int line = 0; line < kVideoLines; ++line) {
    for (int c = 0; c < 2; ++c) {
      const LineSample& s = samples.lines[line][c];
      if (s.start != 0 || s.end != 0) p.samples.push_back({line, c, s.start, s.end});
    }
  }

  for (int k = 0; k < 2; ++k) {
    const int port = tracker_.PortOfRecord(k);
    char error = ' ';
    for (const Fault& f : scenario_.faults) {
      if (f.kind == Fault::kTrackerError && f.port == port && Active(f, t)) error = f.character;
    }
    const Pose pose = scenario_.PortPose(port, t + kRecordPhase[k] * kFieldPeriod);
    p.records[k] = ToGenerated(tracker_.MakeRecord(port, pose, error));
  }

  for (const Fault& f : scenario_.faults) {
    if (!Active(f, t)) continue;
    switch (f.kind) {
      case Fault::kFraming: p.breakStartOfVideo = true; break;
      case Fault::kSerial: p.serial = f.value; break;
      case Fault::kRecordType: p.records[0].type = p.records[1].type = '1'; break;
      case Fault::kStation: p.records[0].station = p.records[1].station = 'x'; break;
      default: break;
    }
  }

  std::vector<std::uint8_t> field = GenerateField(p);
  const std::uint32_t number = static_cast<std::uint32_t>(n);
  PutWord(field, kSequenceWord, static_cast<std::uint16_t>(number & 0xFFFF));
  PutWord(field, kSequenceWord + 1, static_cast<std::uint16_t>(number >> 16));
  return field;
}

std::uint32_t ProcessingUnit::FieldNumber(const std::uint8_t* field) {
  const int at = 2 * kSequenceWord;
  return static_cast<std::uint32_t>(field[at] | (field[at + 1] << 8) | (field[at + 2] << 16) |
                                    (field[at + 3] << 24));
}

}  // namespace sim

#include "sim/setup.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "app/files/safe_file_write.h"
#include "sim/calibration_model.h"
#include "sim/hardware.h"

namespace sim {

namespace {

const char* const kRscComment = "# Settings of the simulated scanner unit";
const char* const kRscKeys[] = {"Hemisphere", "RxIndexOffset", "MinLaserLineWidth",
                                "MaxLaserLineWidth"};

constexpr int kHemisphereAutomatic = 6;

// The fixed hemisphere settings' vectors: +X, -X, +Y, -Y, +Z, -Z.
Vec3 HemisphereVector(int setting) {
  const Vec3 axes[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
  return axes[setting];
}

std::string FirstWord(const std::string& line) {
  std::istringstream in(line);
  std::string word;
  in >> word;
  return word;
}

}  // namespace

CalibrationFileParameters MakeCalibrationParameters(const Scenario& s) {
  const HardwareVersionEntry& hw = *FindHardware(s.hardware);
  CalibrationFileParameters p;
  p.fileVersion = s.calibrationVersion;
  p.headerText = "Created: by the scanner simulator\nWand: simulated, serial " +
                 std::to_string(s.serial) + "\n";
  p.header = CalibrationHeader{s.serial, hw.major, hw.minor, hw.revision, 1, 0,
                               CalibrationModel::kRows, CalibrationModel::kColumns,
                               CalibrationModel::kRowStep, CalibrationModel::kColumnStep,
                               CalibrationModel::kScale, CalibrationModel::kUnset, 0};
  p.channelCount = hw.channelCount;
  p.table = CalibrationModel::BuildTable(hw.channelCount);
  if (p.fileVersion >= 5 && hw.trackerSetupProperty) p.trackerSetup = ExampleTrackerSetupBlock();
  return p;
}

std::vector<std::string> RscSettings(const Scenario& s) {
  return {std::string(kRscKeys[0]) + " " + std::to_string(s.hemisphere),
          std::string(kRscKeys[1]) + " " + std::to_string(s.trackerSelection),
          std::string(kRscKeys[2]) + " " + std::to_string(s.minLineWidth),
          std::string(kRscKeys[3]) + " " + std::to_string(s.maxLineWidth)};
}

std::string MergeRscText(const std::string& existing, const Scenario& s) {
  std::string out;
  std::istringstream in(existing);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string key = FirstWord(line);
    bool ours = false;
    for (const char* k : kRscKeys) ours = ours || key == k;
    if (!ours && line != kRscComment) out += line + "\n";
  }
  out += std::string(kRscComment) + "\n";
  for (const std::string& line : RscSettings(s)) out += line + "\n";
  return out;
}

std::string RegistrySettingsText(const Scenario& s, const std::string& calibrationName) {
  char angle[32];
  std::snprintf(angle, sizeof angle, "%g", s.angleClip);
  return "Registry settings (Software\\Tolvaran\\General) that must match:\n"
         "  VideoProcessorRevision = " + std::to_string(s.unitVersion) + "\n"
         "  AngleClip = " + angle + "\n"
         "  HardwareDevice = 1 (USB)\n"
         "  HardwareConfigFilename = " + calibrationName + "\n";
}

std::vector<std::string> CheckScenario(const Scenario& s) {
  std::vector<std::string> warnings;
  // The automatic set-up follows each sensor from the hemisphere it is set
  // up in, so only a fixed hemisphere can be left.
  const bool fixed = s.hemisphere < kHemisphereAutomatic;
  const Vec3 h = fixed ? HemisphereVector(s.hemisphere) : Vec3{};
  const char* names[2] = {"wand", s.reference ? "reference" : "stylus"};
  for (int port = 0; fixed && port < (s.SecondReceiver() ? 2 : 1); ++port) {
    for (double t = 0; t <= s.duration; t += 0.01) {
      if (Dot(s.PortPose(port, t).t, h) <= 0) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "the %s leaves hemisphere %d at %.2f s: its positions will be mirrored",
                      names[port], s.hemisphere, t);
        warnings.push_back(text);
        break;
      }
    }
  }
  const double fanHalfAngle =
      std::atan(CalibrationModel::kFanCentreLine * CalibrationModel::kFanSlope) * 180 / kPi;
  if (s.angleClip / 2 <= fanHalfAngle) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "an angle clip of %g degrees cuts the ends of the %.1f degree laser fan",
                  s.angleClip, 2 * fanHalfAngle);
    warnings.push_back(text);
  }
  return warnings;
}

bool WriteSetup(const Scenario& s, const std::string& calibrationPath, const std::string& rscPath,
                std::string* error) {
  const std::vector<std::uint8_t> calibration = BuildCalibrationFile(MakeCalibrationParameters(s));
  std::string reason;
  if (!files::WriteFileSafely(calibrationPath, calibration.data(), calibration.size(), &reason)) {
    *error = "cannot write " + calibrationPath + ": " + reason;
    return false;
  }
  std::string existing;
  if (std::ifstream in{rscPath, std::ios::binary}) {
    std::ostringstream text;
    text << in.rdbuf();
    existing = text.str();
  }
  const std::string rsc = MergeRscText(existing, s);
  if (!files::WriteFileSafely(rscPath, rsc.data(), rsc.size(), &reason)) {
    *error = "cannot write " + rscPath + ": " + reason;
    return false;
  }
  return true;
}

}  // namespace sim

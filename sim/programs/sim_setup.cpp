// Prepares a run of the program on the scanner simulator: writes the
// scenario's calibration file and the matching ".rsc" settings, and prints
// the registry settings that must match.
//
//   sim_setup [--scenario FILE] --calibration-folder DIR [--calibration-name NAME] --rsc FILE
//   sim_setup [--scenario FILE] --distance X,Y,Z
//
// The second form prints the distance in mm of a point (transmitter frame)
// from the scenario's scene, for checks of what the program shows.
//
// Without --scenario the built-in scenario is used (as the stand-in library
// does when neither TOLVARAN_SIM_SCENARIO nor a scenario file beside it is
// there).
#include <cstdio>
#include <cstring>
#include <string>

#include "sim/scenario.h"
#include "sim/setup.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: sim_setup [--scenario FILE] --calibration-folder DIR "
               "[--calibration-name NAME] --rsc FILE\n"
               "       sim_setup [--scenario FILE] --distance X,Y,Z\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string scenarioPath, folder, name = sim::kDefaultCalibrationName, rsc, distance;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return Usage();
    const std::string value = argv[++i];
    if (arg == "--scenario") scenarioPath = value;
    else if (arg == "--calibration-folder") folder = value;
    else if (arg == "--calibration-name") name = value;
    else if (arg == "--rsc") rsc = value;
    else if (arg == "--distance") distance = value;
    else return Usage();
  }
  if (distance.empty() && (folder.empty() || rsc.empty())) return Usage();

  sim::Scenario scenario;
  sim::ScenarioError error;
  const bool ok = scenarioPath.empty()
                      ? sim::ParseScenario(sim::DefaultScenarioText(), &scenario, &error)
                      : sim::LoadScenarioFile(scenarioPath, &scenario, &error);
  if (!ok) {
    std::fprintf(stderr, "sim_setup: %s:%d: %s\n",
                 scenarioPath.empty() ? "built-in scenario" : scenarioPath.c_str(), error.line,
                 error.message.c_str());
    return 1;
  }
  if (!distance.empty()) {
    sim::Vec3 p;
    if (std::sscanf(distance.c_str(), "%lf,%lf,%lf", &p.x, &p.y, &p.z) != 3) return Usage();
    std::printf("distance %.4f\n", scenario.scene.SurfaceDistance(p));
    return 0;
  }
  const char last = folder.back();
  const std::string calibrationPath = folder + (last == '/' || last == '\\' ? "" : "/") + name;
  std::string failure;
  if (!sim::WriteSetup(scenario, calibrationPath, rsc, &failure)) {
    std::fprintf(stderr, "sim_setup: %s\n", failure.c_str());
    return 1;
  }
  std::printf("Wrote %s and %s\n", calibrationPath.c_str(), rsc.c_str());
  std::printf("%s", sim::RegistrySettingsText(scenario, name).c_str());
  for (const std::string& w : sim::CheckScenario(scenario)) std::printf("warning: %s\n", w.c_str());
  return 0;
}

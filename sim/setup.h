// The simulator's set-up: before the program starts, writes the scenario's
// calibration file into the calibration folder and the settings of the
// program's ".rsc" file that must match the simulated unit, and tells which
// registry settings must match too.
#pragma once

#include <string>
#include <vector>

#include "sim/calibration_writer.h"
#include "sim/scenario.h"

namespace sim {

constexpr const char* kDefaultCalibrationName = "Simulated.cfg";

// The calibration file of the simulated wand and unit.
CalibrationFileParameters MakeCalibrationParameters(const Scenario& scenario);

// The ".rsc" lines the program must read: Hemisphere, RxIndexOffset and the
// laser-line widths.
std::vector<std::string> RscSettings(const Scenario& scenario);
// `existing` (an ".rsc" file's text, possibly empty) with the lines of the
// keys above replaced by the scenario's; other lines are kept.
std::string MergeRscText(const std::string& existing, const Scenario& scenario);

// The registry settings (Software\Tolvaran\General) that must match.
std::string RegistrySettingsText(const Scenario& scenario, const std::string& calibrationName);

// Things in the scenario that will not work with the settings it asks for:
// a sensor outside the fixed hemisphere, a fan wider than the viewing cone.
std::vector<std::string> CheckScenario(const Scenario& scenario);

// Writes the calibration file and the ".rsc" file (each replaced whole or
// left as it was). False with the reason when either cannot be written.
bool WriteSetup(const Scenario& scenario, const std::string& calibrationPath,
                const std::string& rscPath, std::string* error);

}  // namespace sim

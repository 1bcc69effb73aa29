// The program's acquisition state for a scenario, as the program itself would
// have it after reading its settings and the scenario's calibration file.
#pragma once

#include "app/acquisition/process_field.h"
#include "app/acquisition/tracker_commands.h"
#include "sim/scenario.h"

namespace sim {

// Resets the acquisition settings to the scenario's unit (serial number,
// processing-unit version, tracker, hemisphere, laser-line widths) and starts
// the field checks for that unit.
void ApplyScenarioSettings(const Scenario& scenario, FieldCheckContext& context);

// The tracker set-up commands the program sends for the scenario's unit with
// the calibration now loaded.
TrackerCommandList ScenarioTrackerCommands(const Scenario& scenario);

}  // namespace sim

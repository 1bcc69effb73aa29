// The stand-in library's one simulated device. Its scenario comes from the
// file named by the environment variable TOLVARAN_SIM_SCENARIO, else from
// "Tolvaran-sim.scenario" beside the library, else the built-in scenario;
// it is read when the device is first needed.
#pragma once

#include <memory>

#include "sim/device.h"

namespace sim {

constexpr const char* kScenarioVariable = "TOLVARAN_SIM_SCENARIO";
constexpr const char* kScenarioFileName = "Tolvaran-sim.scenario";

// The device, made on first use; nullptr when the scenario could not be read
// (the reason goes to the standard error stream).
Device* StandInDevice();
// Drops the device when no session is open, so that the next use reads the
// scenario again. False when a session is open.
bool ReleaseStandInDevice();

}  // namespace sim

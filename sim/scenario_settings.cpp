#include "sim/scenario_settings.h"

#include "app/acquisition/acquisition_settings.h"
#include "app/acquisition/calibration_state.h"

namespace sim {

void ApplyScenarioSettings(const Scenario& scenario, FieldCheckContext& context) {
    ResetAcquisitionSettings();
    SetExpectedSerialNumber(scenario.serial);
    SetProcessingUnitVersion(scenario.unitVersion);
    SetTrackerSelection(scenario.trackerSelection);
    SetHemisphereSetting(scenario.hemisphere);
    SetHardwareParamPair(scenario.minLineWidth, scenario.maxLineWidth);
    FieldCheckContext_Init(context, scenario.unitVersion);
}

TrackerCommandList ScenarioTrackerCommands(const Scenario& scenario) {
    TrackerCommandInputs inputs;
    inputs.hemisphereSetting = scenario.hemisphere;
    inputs.unitVersion = scenario.unitVersion;
    inputs.trackerSelection = scenario.trackerSelection;
    inputs.syncSupported = CurrentCalibration().model.trackerSetupProperty != 0;
    inputs.frequencyBlock = CurrentCalibration().trackerSetup.data();
    TrackerCommandOutcome outcome;
    return BuildTrackerCommands(inputs, &outcome);
}

}  // namespace sim

#include "sim/press_fields.h"

#include <filesystem>

#include "app/acquisition/calibration_state.h"
#include "app/acquisition/field_format.h"
#include "app/acquisition/field_ring.h"
#include "sim/field_generator.h"
#include "sim/processing_unit.h"
#include "sim/scenario_settings.h"
#include "sim/setup.h"
#include "sim/tracker.h"

namespace sim {

bool StartProgramSide(const Scenario& scenario, const std::string& folder, FieldCheckContext& context,
                      std::string* error) {
    const std::filesystem::path dir(folder);
    const std::string cfg = (dir / kDefaultCalibrationName).string();
    if (!WriteSetup(scenario, cfg, (dir / "Tolvaran.rsc").string(), error)) return false;
    if (LoadCalibration(cfg) != 1) {
        *error = "cannot load " + cfg;
        return false;
    }
    ApplyScenarioSettings(scenario, context);
    return true;
}

bool MakePressFields(const Scenario& scenario, std::size_t index, FieldCheckContext& context,
                     std::vector<std::vector<std::uint16_t>>* slots, std::string* error) {
    if (index >= scenario.presses.size()) {
        *error = "no such press";
        return false;
    }
    const Press& press = scenario.presses[index];
    Tracker tracker(scenario.unitVersion, scenario.trackerSelection, scenario.SecondReceiver(),
                    [&](int port) { return scenario.PortPose(port, press.start).t; });
    const TrackerCommandList commands = ScenarioTrackerCommands(scenario);
    for (const std::string& command : commands.Commands()) tracker.Receive(command.data(), command.size());
    ProcessingUnit unit(scenario, tracker);
    Ring_ResetCounts();
    FieldCheckContext_StartCapture(context);
    std::int32_t ok = 1;
    slots->clear();
    for (std::int64_t n = static_cast<std::int64_t>(press.start * kFieldsPerSecond) + 1;
         ProcessingUnit::FieldTime(n) < press.end; ++n) {
        LoadFieldIntoSlot(unit.MakeField(n, press.kind), RingSlotAddress(Ring_WriteCount()));
        ok = ProcessField(ok, slots->empty(), context);
        if (!ok) {
            *error = "field " + std::to_string(n) + " failed its checks";
            return false;
        }
        const std::uint16_t* slot = RingSlotAddress(Ring_WriteCount() - 1);
        slots->emplace_back(slot, slot + kFieldSlotWords);
        Ring_ConsumeField();
    }
    Ring_ResetCounts();
    return true;
}

}  // namespace sim

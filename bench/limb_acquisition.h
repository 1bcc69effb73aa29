// The simulator's built-in limb scenario through the program's field checks,
// profile building and profile processing, for the programs that measure
// what is built from a real scan.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/acquisition/acquisition_settings.h"
#include "app/acquisition/calibration_state.h"
#include "app/acquisition/field_ring.h"
#include "app/acquisition/hardware_events.h"
#include "app/acquisition/hardware_trace.h"
#include "app/acquisition/process_field.h"
#include "app/acquisition/profile_build.h"
#include "app/acquisition/tracker_commands.h"
#include "app/acquisition/usb_chip_api.h"
#include "app/scan/profile_processing.h"
#include "app/scan/tests/scan_record_fixture.h"
#include "sim/device_core.h"
#include "sim/field_generator.h"
#include "sim/scenario.h"
#include "sim/scenario_settings.h"
#include "sim/setup.h"

namespace bench {

inline void IgnoreHardwareEvent(std::int32_t, std::intptr_t) {}
inline void IgnoreHardwareTrace(const char*) {}

// The simulated unit of the built-in limb scenario, or null.
inline std::shared_ptr<sim::DeviceCore> LimbDevice() {
    sim::Scenario parsed;
    sim::ScenarioError error;
    if (!sim::ParseScenario(sim::DefaultScenarioText(), &parsed, &error)) return nullptr;
    return std::make_shared<sim::DeviceCore>(std::move(parsed));
}

// Runs every press of the device's scenario into the scan, one sweep a
// press; the scenario's calibration and settings files go into folder.
inline bool AcquireScenario(sim::DeviceCore& device, scan_test::TestScan& scan, const std::string& folder) {
    const sim::Scenario& s = device.GetScenario();
    std::vector<std::uint16_t> ring(kRingBufferWords, 0);
    Ring_Attach(ring.data());
    const HardwareEventHandler events = SetHardwareEventHandler(IgnoreHardwareEvent);
    const HardwareTraceSink trace = SetHardwareTraceSink(IgnoreHardwareTrace);
    std::string failure;
    const std::string cfg = folder + sim::kDefaultCalibrationName;
    bool ok = sim::WriteSetup(s, cfg, folder + "Tolvaran.rsc", &failure) && LoadCalibration(cfg) == 1;
    FieldCheckContext context{};
    sim::ApplyScenarioSettings(s, context);
    const TrackerCommandList commands = sim::ScenarioTrackerCommands(s);
    ok = ok && device.Open(usb_chip::kDeviceDescription, 0) == 0;
    for (const std::string& command : commands.Commands()) device.Write(command.data(), command.size(), 0);
    Profile profile{};
    std::vector<std::uint8_t> field(kFieldBytes);
    for (const sim::Press& press : s.presses) {
        if (!ok) break;
        device.Advance(press.end + 0.1);
        Ring_ResetCounts();
        FieldCheckContext_StartCapture(context);
        std::int32_t good = 1;
        bool first = true;
        while (ok && device.Queued() >= field.size()) {
            device.Take(field.data(), field.size());
            LoadFieldIntoSlot(field, RingSlotAddress(Ring_WriteCount()));
            good = ProcessField(good, first, context);
            first = false;
            ok = good != 0;
            const std::int32_t result = BuildProfileFromField(profile, 0, 0, nullptr, static_cast<float>(s.angleClip),
                                                              nullptr, nullptr, nullptr, nullptr, nullptr);
            if (result != kProfileBuilt || profile.NumPoints == 0) continue;
            scan.Append(profile);
            Scan_ProcessNewProfiles(scan.raw(), 3, 4.0f);
        }
        scan.CloseSweep();
        Scan_ProcessNewProfiles(scan.raw(), 3, 4.0f);
    }
    RawData_ClearProfile(profile);
    SetHardwareEventHandler(events);
    SetHardwareTraceSink(trace);
    Ring_Attach(nullptr);
    ResetAcquisitionSettings();
    return ok;
}

}  // namespace bench

#include "app/acquisition/tracker_link.h"

#include <chrono>
#include <thread>

#include "app/acquisition/acquisition_settings.h"
#include "app/acquisition/calibration_state.h"
#include "app/acquisition/field_ring.h"
#include "app/acquisition/hardware_events.h"
#include "app/acquisition/hardware_trace.h"
#include "app/acquisition/tracking_state.h"

namespace {

constexpr auto kCommandPause = std::chrono::milliseconds(40);

}  // namespace

TrackerCommandInputs CurrentTrackerCommandInputs() {
    const CalibrationData& calibration = CurrentCalibration();
    TrackerCommandInputs in;
    in.hemisphereSetting = GetHemisphereSetting();
    in.unitVersion = GetProcessingUnitVersion();
    in.trackerSelection = GetTrackerSelection();
    in.syncSupported = calibration.model.trackerSetupProperty != 0 && calibration.hasTrackerSetup;
    in.alternativeLayout = calibration.model.alternativeLayout;
    in.alternativeList = GetAlternativeTrackerList();
    in.referenceOption = GetWandReferenceOption() != 0;
    in.frequencyBlock = calibration.hasTrackerSetup ? calibration.trackerSetup.data() : nullptr;
    return in;
}

TrackerCommandList BuildTrackerCommandsForHardware() {
    TrackerCommandOutcome outcome;
    TrackerCommandList list = BuildTrackerCommands(CurrentTrackerCommandInputs(), &outcome);
    if (outcome.syncSent) MarkTrackerSynchronisationSent();
    if (outcome.frequencyMissing) {
        // The text travels to the user-interface thread as a copy of its own,
        // which the event's handler takes over.
        if (const std::intptr_t text = HwEvent_MakeOwnedText(outcome.unsupportedText.c_str()))
            RaiseHardwareEvent(Hardware_UNSUPPORTED_FREQUENCY, text);
        else
            TraceHardware("BuildTrackerCommandsForHardware: no memory for the unsupported-frequency text\n");
    }
    return list;
}

std::int32_t SetHemisphereCommand(const FieldCheckContext& context, const TrackerCommandSender& send,
                                  const TrackerPause& pause) {
    if (GetHemisphereSetting() != kHemisphereAutomatic) return 1;
    const std::uint16_t* slot = RingSlotAddress(Ring_WriteCount());
    if (!context.lastDecoded) {
        TraceHardware("SetHemisphereCommand: last field not decoded, nothing sent\n");
        return 1;
    }
    const bool stylus = ReadSlotStylusFlag(slot) != 0;
    const TrackingState state = stylus ? GetStylusTrackingState() : GetWandTrackingState();
    if (state != TrackingState_STARTED) return 1;

    DecodedLocatorBlock block;
    ReadDecodedLocatorBlock(slot, block);
    TrackerCommandList list;
    if (!BuildHemisphereCommands(block, stylus, CurrentTrackerCommandInputs(), list)) {
        TraceHardware("SetHemisphereCommand: no hemisphere vector found, nothing sent\n");
        return 1;
    }
    const auto wait = [&pause] {
        if (pause) return pause(static_cast<std::uint32_t>(kCommandPause.count()));
        std::this_thread::sleep_for(kCommandPause);
        return false;
    };
    if (wait()) return 1;
    const bool sent = send(list);
    wait();
    return sent ? 1 : 0;
}

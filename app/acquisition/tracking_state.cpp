#include "app/acquisition/tracking_state.h"

#include <atomic>

#include "app/acquisition/acquisition_settings.h"
#include "app/acquisition/hardware_events.h"
#include "app/acquisition/hardware_trace.h"

namespace {

std::atomic<std::int32_t> g_wand{TrackingState_NONE};
std::atomic<std::int32_t> g_stylus{TrackingState_NONE};

std::int32_t SetupDone(std::atomic<std::int32_t>& state, const char* function, const char* stateName) {
    std::int32_t expected = TrackingState_STARTED;
    if (state.compare_exchange_strong(expected, TrackingState_INITIALISED)) {
        TraceHardware("%s: %s -> INITIALISED\n", function, stateName);
        return 1;
    }
    if (expected == TrackingState_INITIALISED) {
        TraceHardware("%s: Extra call\n", function);
        return 1;
    }
    return 0;
}

}  // namespace

TrackingState GetWandTrackingState() { return static_cast<TrackingState>(g_wand.load()); }
TrackingState GetStylusTrackingState() { return static_cast<TrackingState>(g_stylus.load()); }
void StoreWandTrackingState(TrackingState state) { g_wand.store(state); }
void StoreStylusTrackingState(TrackingState state) { g_stylus.store(state); }

void ResetTrackingStates() {
    g_wand.store(TrackingState_NONE);
    g_stylus.store(TrackingState_NONE);
}

void SignalWandTrackingState() {
    g_wand.store(TrackingState_SIGNALLED);
    TraceHardware("SignalWandTrackingState: TrackingState -> SIGNALLED\n");
}

void SignalStylusTrackingState() {
    g_stylus.store(TrackingState_SIGNALLED);
    TraceHardware("SignalStylusTrackingState: StylusTrackingState -> SIGNALLED\n");
}

void ResetStylusHemisphere() {
    if (GetHemisphereSetting() != kHemisphereAutomatic) return;
    RaiseHardwareEvent(Hardware_HEMISPHERE_SETUP_REQUIRED, 1);
    g_stylus.store(TrackingState_SIGNALLED);
    TraceHardware("ResetStylusHemisphere: StylusTrackingState -> SIGNALLED\n");
}

std::int32_t HemisphereSetupDone() { return SetupDone(g_wand, "HemisphereSetupDone", "TrackingState"); }

std::int32_t StylusHemisphereSetupDone() {
    return SetupDone(g_stylus, "StylusHemisphereSetupDone", "StylusTrackingState");
}

// The hemisphere set-up states of the two tracker stations. With the
// automatic hemisphere setting the field checks hold back the captures of a
// station until its set-up has run: none -> SIGNALLED (set-up requested) ->
// STARTED (a capture was made for it) -> INITIALISED (the set-up window saw
// the hemisphere command take effect). Both threads change them; every change
// is traced.
#pragma once

#include <cstdint>

enum TrackingState : std::int32_t {
    TrackingState_NONE = 0,
    TrackingState_SIGNALLED = 1,
    TrackingState_STARTED = 2,
    TrackingState_INITIALISED = 3,
};

TrackingState GetWandTrackingState();
TrackingState GetStylusTrackingState();
// Plain stores for the field checks; they trace themselves.
void StoreWandTrackingState(TrackingState state);
void StoreStylusTrackingState(TrackingState state);

// Both states back to none: on a change of the hemisphere setting or the
// reference option, on stopping acquisition and on every coming on line.
void ResetTrackingStates();

void SignalWandTrackingState();
void SignalStylusTrackingState();
// With the automatic hemisphere setting only: requests the stylus set-up
// (Hardware_HEMISPHERE_SETUP_REQUIRED with 1) and signals the stylus state.
void ResetStylusHemisphere();
// STARTED -> INITIALISED. Returns non-zero when the state is now INITIALISED
// (reached here or already), 0 otherwise.
std::int32_t HemisphereSetupDone();
std::int32_t StylusHemisphereSetupDone();

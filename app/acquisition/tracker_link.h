// The tracker command lists for the hardware in use: inputs from the
// settings and the calibration in use, the events and marks that building
// them raises, and the hemisphere step at the end of a capture. Acquisition
// thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/acquisition/process_field.h"
#include "app/acquisition/tracker_commands.h"

// The inputs of the command lists from the settings and the calibration in
// use. Synchronisation is supported by hardware with the tracker-set-up
// property whose calibration file carried the frequency block.
TrackerCommandInputs CurrentTrackerCommandInputs();

// The initialisation list for the hardware in use. Marks the synchronisation
// as sent when the list holds it, and raises Hardware_UNSUPPORTED_FREQUENCY
// with its message text when a frequency has no calibration: a heap copy
// (HwEvent_MakeOwnedText) that the event's handler takes over and frees.
TrackerCommandList BuildTrackerCommandsForHardware();

// Sends one command list; false when it could not be sent in full.
using TrackerCommandSender = std::function<bool(const TrackerCommandList&)>;

// The end-of-capture hemisphere step, for wand and stylus captures alike. With the automatic hemisphere setting,
// when the capture's station is in state STARTED, builds the hemisphere list
// from the last field read (the slot at the write count) and sends it between
// two 40 ms pauses. Nothing is sent when the slot holds no decoded block or no
// hemisphere vector can be chosen (traced; the state stays). Returns 0 only
// when sending failed. `pause` (when given) makes the pauses and returns true
// when the acquisition thread is to stop: then nothing more is sent.
using TrackerPause = std::function<bool(std::uint32_t ms)>;
std::int32_t SetHemisphereCommand(const FieldCheckContext& context, const TrackerCommandSender& send,
                                  const TrackerPause& pause = TrackerPause());

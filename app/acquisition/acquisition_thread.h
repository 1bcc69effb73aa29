// The body of the acquisition thread, the same on every platform: the
// platform makes the thread, its events and the device, and runs this.
#pragma once

#include <cstdint>

#include "app/acquisition/acquisition_seams.h"

// Zeroes the statistics, starts the error dumps' writer, runs the loop of the
// transport in use (`device` is the open parallel-port device, unused on USB)
// and raises Hardware_UNRECOVERABLE_ERROR when the loop failed. On return the
// error dumps are written and closed, the thread no longer counts as running
// and the unit is off line. Returns the loop's result.
std::int32_t RunAcquisitionThread(AcquisitionSignals& signals, EcpDeviceIo* device, std::int32_t firstStart);

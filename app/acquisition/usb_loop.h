// The USB transport: the acquisition loop over the USB chip maker's library.
// Portable over the library's function table and the thread's events.
#pragma once

#include <cstdint>

#include "app/acquisition/acquisition_seams.h"

// The USB acquisition loop. `firstStart` nonzero skips the tracker's start-up
// wait on the first pass (the unit was just switched on with the program).
// Returns 1 when the stop event ended it, 0 on a fatal error (library or
// function missing, the device failed).
std::int32_t UsbAcquisitionLoop(AcquisitionSignals& signals, std::int32_t firstStart);

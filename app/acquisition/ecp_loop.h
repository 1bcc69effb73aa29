// The parallel-port transport: opening the Ombrix device and the acquisition
// loop over it. Portable over the device seam (EcpDeviceIo); the Windows side
// supplies overlapped reads and writes.
#pragma once

#include <cstdint>

#include "app/acquisition/acquisition_seams.h"
#include "app/acquisition/windows_version.h"

// Opens the device through the platform and asks it for its status: on
// Windows 2000 it first asks the driver to open the port (a nonzero status
// closes the device and fails; it is kept for the status help). The driver
// version becomes the device text ("%u"). 1 on success, 0 on failure, with
// `accessDenied` set when the system refused the device.
std::int32_t OpenParallelDevice(HardwarePlatform& platform, WindowsVersion windows, bool* accessDenied);

// The driver's version suits this Windows: on NT 4.0 its number begins with
// the digit 1, on Windows 2000 with 2; no other Windows takes the parallel
// port.
bool ParallelDriverSuits(std::uint32_t version, WindowsVersion windows);

// The parallel-port acquisition loop. Returns 1 when the stop event ended it,
// 0 when the device failed (the unit is then off line). Only whole fields
// reach the ring's slots.
std::int32_t EcpAcquisitionLoop(EcpDeviceIo& device, AcquisitionSignals& signals);

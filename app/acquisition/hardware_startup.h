// Hardware start and stop: the device, the locked buffers, the calibration
// file and the acquisition thread, in an order that leaves nothing half
// started. A start either returns 1 with the thread running on a fully
// loaded calibration and the caller's settings applied, or a result code with
// the buffers released and the device closed.
#pragma once

#include <cstdint>
#include <string>

#include "app/acquisition/acquisition_state.h"
#include "app/acquisition/advanced_settings.h"
#include "app/acquisition/hardware_version.h"
#include "app/acquisition/windows_version.h"

// Results of hardware start-up (1 started). The calibration file's own codes
// (2, 4, 5, 6, 7) and 14 come from the calibration load.
enum HardwareStartResult : std::int32_t {
    HardwareStart_ACCESS_DENIED = 0,
    HardwareStart_STARTED = 1,
    HardwareStart_NO_PRIVILEGE = 3,
    HardwareStart_OUT_OF_MEMORY = 4,
    HardwareStart_DEVICE_NOT_OPENED = 10,
    HardwareStart_NOT_STOPPED = 11,
    HardwareStart_THREAD_NOT_STARTED = 12,
    HardwareStart_DRIVER_UNSUITED = 13,
    HardwareStart_TRACKER_HOLDS_SETUP = 14,
};

// The scanner settings given to the acquisition layer before its thread
// starts.
struct ScannerStartSettings {
    std::int32_t referenceEnabled = 1;  // the wand reference option; switched on for a fixed wand
    std::int32_t hemisphere = 6;
    std::int32_t trackerSelection = 0;
    std::int32_t filterLength = 0;  // 0 keeps the filter length in force
    std::int32_t minLineWidth = 5;
    std::int32_t maxLineWidth = 50;
};
ScannerStartSettings ScannerStartSettingsFrom(const AdvancedScannerSettings& advanced, std::int32_t referenceEnabled);
// Hardware with a fixed wand always uses the reference; then the settings go
// to the acquisition layer.
void ApplyScannerSettings(ScannerStartSettings& settings, const HardwareModel& model);

// The parallel port on NT 4.0, USB on XP and later, the caller's choice
// (useUsb) otherwise.
HardwareTransport ChooseTransport(WindowsVersion windows, std::int32_t useUsb);

// Stops acquisition (11 when that fails), chooses the transport, stores the
// processing-unit version in use and the second argument, remembers the
// calibration file's time and runs InitialiseHardware. `settings` (may be
// null: the settings in force are kept) is applied once the calibration is
// loaded; its reference option may come back switched on.
std::int32_t StartHardware(std::int32_t useUsb, const std::string& calibrationPath, std::int32_t unitVersion,
                           std::int32_t second, std::int32_t third, ScannerStartSettings* settings = nullptr);

// Open the device, lock the buffers, load and check the whole calibration
// file, apply the settings, then start the thread with `startArgument`.
std::int32_t InitialiseHardware(const std::string& calibrationPath, std::int32_t startArgument,
                                ScannerStartSettings* settings = nullptr);

// Stops the thread (waiting up to 2000 ms), closes the device and releases
// the buffers. 1 on success; 0 when the thread did not end in time (then
// nothing else changes and the stop event stays set, so that the thread
// still ends) or a buffer could not be released.
std::int32_t StopAcquisition();

// How long StopAcquisition waits for the thread.
constexpr std::uint32_t kStopWaitMs = 2000;

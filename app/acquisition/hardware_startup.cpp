#include "app/acquisition/hardware_startup.h"

#include <sys/stat.h>

#include <cstdio>

#include "app/acquisition/acquisition_seams.h"
#include "app/acquisition/acquisition_settings.h"
#include "app/acquisition/calibration_state.h"
#include "app/acquisition/ecp_loop.h"
#include "app/acquisition/field_ring.h"
#include "app/acquisition/hardware_trace.h"
#include "app/acquisition/profile_build.h"
#include "app/acquisition/tracking_state.h"
#include "app/locale/locale_lookup.h"

namespace {

std::int64_t StatusChangeTime(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return 0;
    return static_cast<std::int64_t>(info.st_ctime);
}

// The device of the transport: the parallel port is opened and its driver
// checked here; the USB device is opened by the acquisition thread.
std::int32_t OpenDevice(HardwarePlatform& platform) {
    const WindowsVersion windows = GetWindowsVersion();
    if (GetHardwareTransport() == Transport_USB) {
        SetUsbState(UsbState_NOT_TRIED);
        SetUsbStatusText("");
        SetHardwareDriverVersion(0);
        std::string text;
        try {
            Locale_FormatString(text, "HwUSBDriverSearching", Locale_NewStringVariable("name", "(FT8U245AM)"),
                                Locale_NewStringVariable("device", ""));
        } catch (const std::bad_alloc&) {
            text = Locale_GetString("ErrorOutOfMemory");
        }
        SetHardwareDeviceText(text);
        return HardwareStart_STARTED;
    }
    bool accessDenied = false;
    if (!OpenParallelDevice(platform, windows, &accessDenied))
        return accessDenied ? HardwareStart_ACCESS_DENIED : HardwareStart_DEVICE_NOT_OPENED;
    if (!ParallelDriverSuits(GetHardwareDriverVersion(), windows)) {
        TraceHardware("InitialiseHardware: driver version %u does not suit this Windows\n",
                      static_cast<unsigned>(GetHardwareDriverVersion()));
        return HardwareStart_DRIVER_UNSUITED;
    }
    return HardwareStart_STARTED;
}

void CloseDevice(HardwarePlatform& platform) {
    platform.CloseEcpDevice();
    SetParallelDeviceOpen(false);
}

std::int32_t StartFailed(HardwarePlatform& platform, std::int32_t result) {
    TraceHardware("InitialiseHardware: start failed (%d)\n", static_cast<int>(result));
    // Only a full start counts as a loaded calibration.
    BeginCalibrationLoad();
    platform.ReleaseSampleBuffers();
    CloseDevice(platform);
    return result;
}

}  // namespace

ScannerStartSettings ScannerStartSettingsFrom(const AdvancedScannerSettings& advanced, std::int32_t referenceEnabled) {
    ScannerStartSettings settings;
    settings.referenceEnabled = referenceEnabled;
    settings.hemisphere = advanced.Hemisphere;
    settings.trackerSelection = advanced.RxIndexOffset;
    settings.filterLength = advanced.LocatorFilterLength;
    settings.minLineWidth = advanced.MinLaserLineWidth;
    settings.maxLineWidth = advanced.MaxLaserLineWidth;
    return settings;
}

void ApplyScannerSettings(ScannerStartSettings& settings, const HardwareModel& model) {
    if (model.fixedWandProperty) settings.referenceEnabled = 1;
    SetWandReferenceOption(settings.referenceEnabled);
    SetHemisphereSetting(settings.hemisphere);
    SetTrackerSelection(settings.trackerSelection);
    if (settings.filterLength != 0) SetOddFilterLength(settings.filterLength);
    SetHardwareParamPair(settings.minLineWidth, settings.maxLineWidth);
}

HardwareTransport ChooseTransport(WindowsVersion windows, std::int32_t useUsb) {
    if (windows == WindowsVersion::Nt4) return Transport_PARALLEL;
    if (windows == WindowsVersion::XpOrLater) return Transport_USB;
    return useUsb ? Transport_USB : Transport_PARALLEL;
}

std::int32_t StartHardware(std::int32_t useUsb, const std::string& calibrationPath, std::int32_t unitVersion,
                           std::int32_t second, std::int32_t third, ScannerStartSettings* settings) {
    ResetVersionMismatchWatch();
    if (!StopAcquisition()) return HardwareStart_NOT_STOPPED;
    SetHardwareTransport(ChooseTransport(GetWindowsVersion(), useUsb));
    SetProcessingUnitVersion(unitVersion);
    SetHardwareSecondOption(second);
    SetCalibrationFileTime(StatusChangeTime(calibrationPath));
    return InitialiseHardware(calibrationPath, third, settings);
}

std::int32_t InitialiseHardware(const std::string& calibrationPath, std::int32_t startArgument,
                                ScannerStartSettings* settings) {
    HardwarePlatform& platform = CurrentHardwarePlatform();
    BeginCalibrationLoad();

    std::int32_t result = OpenDevice(platform);
    if (result != HardwareStart_STARTED) return StartFailed(platform, result);
    result = platform.LockSampleBuffers();
    if (result != HardwareStart_STARTED) return StartFailed(platform, HardwareStart_OUT_OF_MEMORY);
    result = LoadCalibration(calibrationPath);
    if (result != HardwareStart_STARTED) return StartFailed(platform, result);
    const CalibrationData& calibration = CurrentCalibration();
    if (!platform.LockCalibrationTable(calibration.table.data(), calibration.table.size() * sizeof(std::int16_t)))
        return StartFailed(platform, HardwareStart_OUT_OF_MEMORY);
    if (settings) ApplyScannerSettings(*settings, calibration.model);

    // No thread runs: both counts may be set here. From now on the write
    // count is the acquisition thread's alone.
    Ring_ResetCounts();
    SetAcquisitionRunning(true);
    if (!platform.StartAcquisitionThread(startArgument)) {
        SetAcquisitionRunning(false);
        return StartFailed(platform, HardwareStart_THREAD_NOT_STARTED);
    }
    return HardwareStart_STARTED;
}

std::int32_t StopAcquisition() {
    HardwarePlatform& platform = CurrentHardwarePlatform();
    if (!platform.StopAcquisitionThread(kStopWaitMs)) {
        TraceHardware("StopAcquisition: the acquisition thread did not end\n");
        return 0;
    }
    CloseDevice(platform);
    const bool released = platform.ReleaseSampleBuffers();
    SetAcquisitionRunning(false);
    ChangeHardwareOnlineState(Hardware_OFFLINE, "StopAcquisition");
    ResetTrackingStates();
    return released ? 1 : 0;
}

// The process-wide state of the acquisition layer that the acquisition
// thread, hardware start-up and the status texts share: the transport, the
// online state, the USB and parallel-port device facts and texts. Plain
// values are single atomic words; the texts are copied under a lock.
#pragma once

#include <cstdint>
#include <string>

enum HardwareOnlineState : std::int32_t {
    Hardware_OFFLINE = 0,
    Hardware_INITIALISING = 1,
    Hardware_ONLINE = 2,
};

enum HardwareTransport : std::int32_t {
    Transport_PARALLEL = 0,
    Transport_USB = 1,
};

// What became of the last attempt to open the USB device.
enum UsbState : std::int32_t {
    UsbState_NOT_TRIED = 0,
    UsbState_LIBRARY_MISSING = 1,  // the library or one of its functions is missing
    UsbState_NOT_FOUND = 2,        // device not found, or gone
    UsbState_OPEN = 3,
    UsbState_FAILED = 4,
    UsbState_BUSY = 5,             // invalid handle: another program holds it
};

std::int32_t GetHardwareOnlineState();
// Sets the online state; a change is traced by `who` and raises
// Hardware_ONLINE_STATUS_CHANGED.
void ChangeHardwareOnlineState(HardwareOnlineState state, const char* who);
// Sets the online state and raises the event even when it did not change.
void ReportHardwareOnlineState(HardwareOnlineState state, const char* who);
const char* HardwareOnlineStateName(std::int32_t state);

HardwareTransport GetHardwareTransport();
void SetHardwareTransport(HardwareTransport transport);

// 1 while the acquisition thread runs.
bool IsAcquisitionRunning();
void SetAcquisitionRunning(bool running);

std::int32_t GetUsbState();
void SetUsbState(UsbState state);
// The text of the last USB library status.
std::string GetUsbStatusText();
void SetUsbStatusText(const std::string& text);
// The text of a USB library status code 0..17 ("ok", "invalid handle", ...);
// "other error" for any other code.
const char* UsbStatusText(std::uint32_t status);

// The driver version as text ("%u") on the parallel port, or the USB device's
// name.
std::string GetHardwareDeviceText();
void SetHardwareDeviceText(const std::string& text);
// The parallel-port driver's version number; 0 on USB.
std::uint32_t GetHardwareDriverVersion();
void SetHardwareDriverVersion(std::uint32_t version);

// The parallel-port device is open.
bool IsParallelDeviceOpen();
void SetParallelDeviceOpen(bool open);
// The status the driver returned when it was asked to open the port (0 when
// opened, or when it was not asked).
std::uint32_t GetPortOpenStatus();
void SetPortOpenStatus(std::uint32_t status);

// The sample buffers are locked pages (the working set could be raised).
bool AreSampleBuffersLocked();
void SetSampleBuffersLocked(bool locked);

// The stored first value and the pause after each capture on the parallel
// port, in seconds (0 none).
void SetSweepPauseParams(std::int32_t first, std::int32_t pauseSeconds);
std::int32_t GetSweepPauseFirst();
std::int32_t GetSweepPauseSeconds();

// Two profile fractions, each clamped to 0..1, become the pair in force.
void ClampUnitPair(float pair[2]);
void GetUnitPair(float pair[2]);

// The second start argument, stored as given.
void SetHardwareSecondOption(std::int32_t value);
std::int32_t GetHardwareSecondOption();

// Status-change time of the calibration file when the hardware was started
// (seconds since 1970; 0 when unknown).
void SetCalibrationFileTime(std::int64_t seconds);
std::int64_t GetCalibrationFileTime();

// Everything above back to its initial value (tests).
void ResetAcquisitionState();

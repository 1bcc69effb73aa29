// The operating-system side of acquisition as the portable loops and the
// start-up see it: the thread's events, the parallel-port device, and the
// platform's buffers, device and thread. The Windows build implements them
// with Win32 events, overlapped I/O and locked virtual memory; tests replace
// them with doubles, so that every decision is tested natively.
#pragma once

#include <cstddef>
#include <cstdint>

// The events an acquisition loop waits on. Every wait of the loops goes
// through here, so that the stop event ends any of them at once.
class AcquisitionSignals {
public:
    virtual ~AcquisitionSignals() = default;
    // Waits up to `ms` milliseconds; true as soon as the stop event is set.
    virtual bool WaitForStop(std::uint32_t ms) = 0;
    enum class Wake { Stop, Receive, Timeout };
    // Waits up to `ms` for the stop event (first) or the USB receive event.
    virtual Wake WaitForStopOrReceive(std::uint32_t ms) = 0;
    // The receive event as the USB library is given it (a Win32 event).
    virtual void* ReceiveEvent() = 0;
    virtual void ResetReceive() = 0;
};

inline bool StopRequested(AcquisitionSignals& signals) { return signals.WaitForStop(0); }

// The open parallel-port device ("\\.\ECP"). Transfers complete with the
// number of bytes moved; one that runs past the device's time-out completes
// short.
class EcpDeviceIo {
public:
    virtual ~EcpDeviceIo() = default;
    // A control request; false when the request itself failed.
    virtual bool Control(std::uint32_t code, const void* in, std::uint32_t inBytes, void* out,
                         std::uint32_t outBytes, std::uint32_t* returned) = 0;
    // False when the transfer could not be started or failed.
    virtual bool Write(const void* data, std::uint32_t bytes, std::uint32_t* moved) = 0;
    virtual bool Read(void* buffer, std::uint32_t bytes, std::uint32_t* moved) = 0;
};

// Buffers, device and thread of hardware start-up and stop.
class HardwarePlatform {
public:
    virtual ~HardwarePlatform() = default;
    // Opens the parallel-port device; nullptr when it cannot be opened, with
    // `accessDenied` set when the system refused access. The device stays
    // the platform's until CloseEcpDevice.
    virtual EcpDeviceIo* OpenEcpDevice(bool* accessDenied) = 0;
    virtual void CloseEcpDevice() = 0;
    // Raises the working set and allocates the field ring (locked pages when
    // the working set could be raised) and attaches it: 1, or 4 when a buffer
    // cannot be had.
    virtual std::int32_t LockSampleBuffers() = 0;
    // Locks the pages of the calibration table in use when the buffers are
    // locked pages; false when that fails.
    virtual bool LockCalibrationTable(const void* data, std::size_t bytes) = 0;
    // Detaches and frees the ring and unlocks the table; false when a
    // release failed. Nothing to release is success.
    virtual bool ReleaseSampleBuffers() = 0;
    // Starts the acquisition thread (first start 1 or 0) at time-critical
    // priority; false when it cannot be created or given its priority.
    virtual bool StartAcquisitionThread(std::int32_t firstStart) = 0;
    // Sets the stop event and waits up to `ms` for the thread. True when no
    // thread runs any more (the stop event is then reset); false when the
    // wait timed out, and the stop event stays set so that the thread still
    // ends.
    virtual bool StopAcquisitionThread(std::uint32_t ms) = 0;
};

// The platform in force: the system's, or the one a test installed.
HardwarePlatform& CurrentHardwarePlatform();
// nullptr restores the system's.
void SetHardwarePlatformForTesting(HardwarePlatform* platform);
// The system's platform (natively one without hardware).
HardwarePlatform& SystemHardwarePlatform();

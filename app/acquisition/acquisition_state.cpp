#include "app/acquisition/acquisition_state.h"

#include <atomic>
#include <mutex>

#include "app/acquisition/hardware_events.h"
#include "app/acquisition/hardware_trace.h"

namespace {

std::atomic<std::int32_t> g_online{Hardware_OFFLINE};
std::atomic<std::int32_t> g_transport{Transport_USB};
std::atomic<bool> g_running{false};
std::atomic<std::int32_t> g_usbState{UsbState_NOT_TRIED};
std::atomic<std::uint32_t> g_driverVersion{0};
std::atomic<bool> g_parallelOpen{false};
std::atomic<std::uint32_t> g_portOpenStatus{0};
std::atomic<bool> g_locked{false};
std::atomic<std::int32_t> g_pauseFirst{0};
std::atomic<std::int32_t> g_pauseSeconds{0};
std::atomic<float> g_unitPair[2] = {{0.0f}, {0.0f}};
std::atomic<std::int32_t> g_secondOption{0};
std::atomic<std::int64_t> g_calibrationTime{0};

std::mutex g_textMutex;
std::string g_usbStatusText;
std::string g_deviceText;

constexpr const char* kUsbStatusTexts[] = {
    "ok",
    "invalid handle",
    "device not found",
    "device not opened",
    "io error",
    "insufficient resources",
    "invalid parameter",
    "invalid baud rate",
    "device not opened for erase",
    "device not opened for write",
    "failed to write device",
    "eeprom read failed",
    "eeprom write failed",
    "eeprom erase failed",
    "eeprom not present",
    "eeprom not programmed",
    "invalid args",
    "other error",
};
constexpr std::uint32_t kUsbStatusTextCount = sizeof kUsbStatusTexts / sizeof kUsbStatusTexts[0];

}  // namespace

std::int32_t GetHardwareOnlineState() { return g_online.load(); }

void ChangeHardwareOnlineState(HardwareOnlineState state, const char* who) {
    if (g_online.exchange(state) == state) return;
    TraceHardware("%s: OnlineState -> %s\n", who, HardwareOnlineStateName(state));
    RaiseHardwareEvent(Hardware_ONLINE_STATUS_CHANGED, 0);
}

void ReportHardwareOnlineState(HardwareOnlineState state, const char* who) {
    g_online.store(state);
    TraceHardware("%s: OnlineState -> %s\n", who, HardwareOnlineStateName(state));
    RaiseHardwareEvent(Hardware_ONLINE_STATUS_CHANGED, 0);
}

const char* HardwareOnlineStateName(std::int32_t state) {
    switch (state) {
        case Hardware_OFFLINE: return "Hardware_OFFLINE";
        case Hardware_INITIALISING: return "Hardware_INITIALISING";
        case Hardware_ONLINE: return "Hardware_ONLINE";
    }
    return "Hardware_UNKNOWN";
}

HardwareTransport GetHardwareTransport() { return static_cast<HardwareTransport>(g_transport.load()); }
void SetHardwareTransport(HardwareTransport transport) { g_transport.store(transport); }

bool IsAcquisitionRunning() { return g_running.load(); }
void SetAcquisitionRunning(bool running) { g_running.store(running); }

std::int32_t GetUsbState() { return g_usbState.load(); }
void SetUsbState(UsbState state) { g_usbState.store(state); }

std::string GetUsbStatusText() {
    std::lock_guard<std::mutex> lock(g_textMutex);
    return g_usbStatusText;
}
void SetUsbStatusText(const std::string& text) {
    std::lock_guard<std::mutex> lock(g_textMutex);
    g_usbStatusText = text;
}

const char* UsbStatusText(std::uint32_t status) {
    return kUsbStatusTexts[status < kUsbStatusTextCount ? status : kUsbStatusTextCount - 1];
}

std::string GetHardwareDeviceText() {
    std::lock_guard<std::mutex> lock(g_textMutex);
    return g_deviceText;
}
void SetHardwareDeviceText(const std::string& text) {
    std::lock_guard<std::mutex> lock(g_textMutex);
    g_deviceText = text;
}

std::uint32_t GetHardwareDriverVersion() { return g_driverVersion.load(); }
void SetHardwareDriverVersion(std::uint32_t version) { g_driverVersion.store(version); }

bool IsParallelDeviceOpen() { return g_parallelOpen.load(); }
void SetParallelDeviceOpen(bool open) { g_parallelOpen.store(open); }
std::uint32_t GetPortOpenStatus() { return g_portOpenStatus.load(); }
void SetPortOpenStatus(std::uint32_t status) { g_portOpenStatus.store(status); }

bool AreSampleBuffersLocked() { return g_locked.load(); }
void SetSampleBuffersLocked(bool locked) { g_locked.store(locked); }

void SetSweepPauseParams(std::int32_t first, std::int32_t pauseSeconds) {
    g_pauseFirst.store(first);
    g_pauseSeconds.store(pauseSeconds);
}
std::int32_t GetSweepPauseFirst() { return g_pauseFirst.load(); }
std::int32_t GetSweepPauseSeconds() { return g_pauseSeconds.load(); }

void ClampUnitPair(float pair[2]) {
    // A fraction that is not a number counts as 0.
    for (int i = 0; i < 2; ++i) {
        pair[i] = !(pair[i] >= 0.0f) ? 0.0f : pair[i] > 1.0f ? 1.0f : pair[i];
        g_unitPair[i].store(pair[i]);
    }
}

void GetUnitPair(float pair[2]) {
    for (int i = 0; i < 2; ++i) pair[i] = g_unitPair[i].load();
}

void SetHardwareSecondOption(std::int32_t value) { g_secondOption.store(value); }
std::int32_t GetHardwareSecondOption() { return g_secondOption.load(); }

void SetCalibrationFileTime(std::int64_t seconds) { g_calibrationTime.store(seconds); }
std::int64_t GetCalibrationFileTime() { return g_calibrationTime.load(); }

void ResetAcquisitionState() {
    g_online.store(Hardware_OFFLINE);
    g_transport.store(Transport_USB);
    g_running.store(false);
    g_usbState.store(UsbState_NOT_TRIED);
    g_driverVersion.store(0);
    g_parallelOpen.store(false);
    g_portOpenStatus.store(0);
    g_locked.store(false);
    g_pauseFirst.store(0);
    g_pauseSeconds.store(0);
    for (auto& fraction : g_unitPair) fraction.store(0.0f);
    g_secondOption.store(0);
    g_calibrationTime.store(0);
    std::lock_guard<std::mutex> lock(g_textMutex);
    g_usbStatusText.clear();
    g_deviceText.clear();
}

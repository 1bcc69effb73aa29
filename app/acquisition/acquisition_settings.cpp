#include "app/acquisition/acquisition_settings.h"

#include <atomic>

#include "app/acquisition/hardware_trace.h"
#include "app/acquisition/tracking_state.h"

namespace {

constexpr std::int32_t kDefaultFilterLength = 3;
constexpr std::int32_t kDefaultMinWidth = 5;
constexpr std::int32_t kDefaultMaxWidth = 50;
// Profile building needs filter length + 1 fields waiting in the ring, and at
// most 49 ever wait: the longest odd length that can be served.
constexpr std::int32_t kMaxFilterLength = 47;

std::atomic<std::int32_t> g_hemisphere{kHemisphereAutomatic};
std::atomic<std::int32_t> g_referenceOption{1};
std::atomic<std::int32_t> g_trackerSelection{0};
std::atomic<std::int32_t> g_filterLength{kDefaultFilterLength};
std::atomic<std::int32_t> g_minWidth{kDefaultMinWidth};
std::atomic<std::int32_t> g_maxWidth{kDefaultMaxWidth};
std::atomic<std::int32_t> g_unitVersion{0};
std::atomic<bool> g_stationTwice{false};
std::atomic<std::int32_t> g_alternativeList{0};
std::atomic<std::uint32_t> g_expectedSerial{0};

}  // namespace

void SetHemisphereSetting(std::int32_t value) {
    if (value < 0 || value > kHemisphereAutomatic) return;
    g_hemisphere.store(value);
    ResetTrackingStates();
}
std::int32_t GetHemisphereSetting() { return g_hemisphere.load(); }

void SetWandReferenceOption(std::int32_t value) {
    g_referenceOption.store(value);
    ResetTrackingStates();
}
std::int32_t GetWandReferenceOption() { return g_referenceOption.load(); }

void SetTrackerSelection(std::int32_t value) {
    if (value < 0 || value > 2) return;
    g_trackerSelection.store(value);
}
std::int32_t GetTrackerSelection() { return g_trackerSelection.load(); }

void SetOddFilterLength(std::int32_t value) {
    if (value < 1) value = 1;
    std::int32_t odd = (value & ~1) + 1;
    if (odd > kMaxFilterLength) {
        TraceHardware("SetOddFilterLength: %d clamped to %d\n", static_cast<int>(odd),
                      static_cast<int>(kMaxFilterLength));
        odd = kMaxFilterLength;
    }
    g_filterLength.store(odd);
}
std::int32_t GetOddFilterLength() { return g_filterLength.load(); }

void SetHardwareParamPair(std::int32_t minimumWidth, std::int32_t maximumWidth) {
    g_minWidth.store(minimumWidth);
    g_maxWidth.store(maximumWidth);
}
std::int32_t GetMinLaserLineWidth() { return g_minWidth.load(); }
std::int32_t GetMaxLaserLineWidth() { return g_maxWidth.load(); }

void SetProcessingUnitVersion(std::int32_t version) { g_unitVersion.store(version & 3); }
std::int32_t GetProcessingUnitVersion() { return g_unitVersion.load(); }

void SetFirmwareAllowsStationTwice(bool allowed) { g_stationTwice.store(allowed); }
bool GetFirmwareAllowsStationTwice() { return g_stationTwice.load(); }

void SetAlternativeTrackerList(std::int32_t which) {
    g_alternativeList.store(which == 1 || which == 2 ? which : 0);
}
std::int32_t GetAlternativeTrackerList() { return g_alternativeList.load(); }

void SetExpectedSerialNumber(std::uint32_t serial) { g_expectedSerial.store(serial); }
std::uint32_t GetExpectedSerialNumber() { return g_expectedSerial.load(); }

void ResetAcquisitionSettings() {
    g_hemisphere.store(kHemisphereAutomatic);
    g_referenceOption.store(1);
    g_trackerSelection.store(0);
    g_filterLength.store(kDefaultFilterLength);
    g_minWidth.store(kDefaultMinWidth);
    g_maxWidth.store(kDefaultMaxWidth);
    g_unitVersion.store(0);
    g_stationTwice.store(false);
    g_alternativeList.store(0);
    g_expectedSerial.store(0);
    ResetTrackingStates();
}

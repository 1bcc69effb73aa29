#include "app/acquisition/windows_version.h"

#include <atomic>

namespace {

constexpr int kNoOverride = -1;
std::atomic<int> g_override{kNoOverride};

}  // namespace

WindowsVersion GetWindowsVersion() {
    const int forced = g_override.load();
    if (forced != kNoOverride) return static_cast<WindowsVersion>(forced);
    static const WindowsVersion detected = DetectWindowsVersion();
    return detected;
}

void SetWindowsVersionForTesting(std::optional<WindowsVersion> version) {
    g_override.store(version ? static_cast<int>(*version) : kNoOverride);
}

bool IsWin2000OrLater(WindowsVersion version) {
    return version == WindowsVersion::Win2000 || version == WindowsVersion::XpOrLater;
}

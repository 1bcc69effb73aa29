// The Windows version the acquisition layer cares about: it picks the
// transport, decides whether the parallel-port driver's open-port request is
// sent, which driver versions suit the system, and some help texts. Tests
// replace the detected version.
#pragma once

#include <optional>

enum class WindowsVersion {
    Other,      // Windows 95, 98, Me and anything unknown
    Nt4,        // Windows NT 4.0 (and earlier NT)
    Win2000,    // Windows 2000 (NT 5.0)
    XpOrLater,  // Windows XP (NT 5.1) and later
};

// The version in force: the test override when one is set, else the
// detected one.
WindowsVersion GetWindowsVersion();
// An empty value restores detection.
void SetWindowsVersionForTesting(std::optional<WindowsVersion> version);

// The running system's version (natively: XpOrLater).
WindowsVersion DetectWindowsVersion();

// Windows 2000 or later.
bool IsWin2000OrLater(WindowsVersion version);

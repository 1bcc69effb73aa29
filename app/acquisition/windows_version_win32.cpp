#include <windows.h>

#include "app/acquisition/windows_version.h"

WindowsVersion DetectWindowsVersion() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    if (!GetVersionExA(&info)) return WindowsVersion::Other;
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    if (info.dwPlatformId != VER_PLATFORM_WIN32_NT) return WindowsVersion::Other;
    if (info.dwMajorVersion < 5) return WindowsVersion::Nt4;
    if (info.dwMajorVersion == 5 && info.dwMinorVersion == 0) return WindowsVersion::Win2000;
    return WindowsVersion::XpOrLater;
}

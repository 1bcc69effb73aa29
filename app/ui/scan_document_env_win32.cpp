// The user, computer and system version that the scan's history entries name.
#include "app/ui/scan_document.h"

#include <windows.h>

ScanDocEnvironment ScanDoc_PlatformEnvironment() {
    ScanDocEnvironment e;
    char user[257] = "";
    DWORD userSize = sizeof user;
    if (GetUserNameA(user, &userSize)) e.userName = user;
    char computer[MAX_COMPUTERNAME_LENGTH + 1] = "";
    DWORD computerSize = sizeof computer;
    if (GetComputerNameA(computer, &computerSize)) e.computerName = computer;
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (GetVersionExA(&version)) {
#pragma GCC diagnostic pop
        e.major = static_cast<int32_t>(version.dwMajorVersion);
        e.minor = static_cast<int32_t>(version.dwMinorVersion);
        e.build = static_cast<int32_t>(version.dwBuildNumber);
        e.platformId = static_cast<int32_t>(version.dwPlatformId);
        e.servicePack = version.szCSDVersion;
    }
    return e;
}

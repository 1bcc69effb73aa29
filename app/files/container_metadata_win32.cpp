// Metadata defaults on Windows from the run-time library, which already
// holds the program's path and the system's version numbers. Whether the
// system is of the NT family comes from the system itself: the run-time's
// _osplatform is missing from the msvcrt.dll of Windows 2000.
#include <windows.h>
#include <stdlib.h>

#include "app/files/container_metadata.h"

std::string ItemMeta_PlatformProgramPath() {
    const char* path = _pgmptr;
    if (!path) return std::string();
    std::string text(path);
    return text.size() > 260 ? text.substr(0, 260) : text;
}

// The logged-on user's name is only known through USERNAME here.
std::string ItemMeta_PlatformUserName() { return std::string(); }

bool ItemMeta_PlatformVersion(int* major, int* minor, bool* ntPlatform, std::string* servicePack) {
    *major = static_cast<int>(_winmajor);
    *minor = static_cast<int>(_winminor);
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    *ntPlatform = GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
    servicePack->clear();            // not kept by the run-time library
    return *major != 0;
}

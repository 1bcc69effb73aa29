#include "app/acquisition/windows_version.h"

// Native builds stand for a current system.
WindowsVersion DetectWindowsVersion() { return WindowsVersion::XpOrLater; }

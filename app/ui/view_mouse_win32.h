// The 3D mouse on Windows: the driver library bound by name at run time, the
// device opened under the application's name, and the message filter of the
// message loop. Without the library, with a library that lacks one of its
// names, or without a device, nothing happens and nothing is reported.
#pragma once

#include "app/ui/view_mouse.h"

#include <windows.h>

#include <cstdint>

// Loader state: 0 not loaded, 1 load failed, 2 loaded.
int32_t ViewMouse_LoaderState();
// The library's last error, copied after every call.
int32_t ViewMouse_LastError();

// The device: created and opened once after the main window exists; true
// when a device is open.
bool ViewMouseDevice_Open(HWND main, const char* applicationName);
// True when the message was a device event and has been handled.
bool ViewMouseDevice_FilterMessage(MSG& message);
void ViewMouseDevice_Close();
// The open device's settings (null when none is open).
ViewMouseSettings* ViewMouseDevice_Settings();

// Installs the device on the shell's hooks.
void ViewMouse_ConnectShell();

// Sarvick, the parallel-port driver installer: creates the root device of
// the Ombrix driver when there is none and installs ombrix.inf (beside the
// program) on it, or updates the driver of the existing device.
#ifndef INSTALLERS_SARVICK_H
#define INSTALLERS_SARVICK_H

#include "installers/installer_skeleton.h"

// The whole run; the exit code.
int Sarvick_Run(SystemCalls& system, const char* commandLine);

// Sets "EnableConnectInterruptIoctl" to 1 in the device key of every
// present parallel port where it is missing or 0; *changed tells whether
// any had to be set (the port driver reads it only when it starts, so the
// computer must then be restarted). False after a failure (shown).
bool EnableConnectInterrupt(Installer& installer, bool* changed);

// Creates, registers and installs a root device with the hardware id. True
// exactly when every step succeeded; a failed driver installation removes
// the new node again. Every failure is shown.
bool InstallRootDevice(Installer& installer, const char* hardwareId, const char* inf, BOOL* reboot);

#endif

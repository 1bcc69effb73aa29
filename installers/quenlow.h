// Quenlow, the USB driver installer: removes phantom entries of the old
// driver, puts the chip maker's driver package into the system's INF store,
// updates a plugged-in scanner, and removes old copies of an earlier
// package, writing install_log.txt beside itself.
#ifndef INSTALLERS_QUENLOW_H
#define INSTALLERS_QUENLOW_H

#include "installers/installer_skeleton.h"

// The whole run; the exit code.
int Quenlow_Run(SystemCalls& system, const char* commandLine);

// Removes the devices with the hardware id, the old driver's service and no
// node (phantoms). True exactly when the last error is then 0 (a finished
// walk leaves ERROR_NO_MORE_ITEMS).
bool RemoveOldPhantomDevices(Installer& installer, const char* hardwareId);

#endif

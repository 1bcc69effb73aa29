// The user-facing scanner start: picks the calibration file, starts the
// hardware with the settings, shows the wait status meanwhile and turns the
// start's result code into a message box.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/acquisition/hardware_startup.h"
#include "app/base/app_messages.h"

// What a scanner start takes from the program's settings.
struct ScannerStartRequest {
    std::string calibrationFolder;   // ends with a path separator
    std::string settingsFileName;    // the calibration file named in the settings
    std::int32_t frequencyMode = 0;  // the processing-unit version the settings give
    std::int32_t useUsb = 1;         // the port options: USB or the parallel port,
    std::int32_t secondPortOption = 0;  // and the second, stored with the hardware
    bool propertiesDialogOpen = false;  // the scanner properties dialog shows the state itself
    ScannerStartSettings scanner;    // applied before the thread starts; the reference may come back on
};

// The shell's wait status and status-bar refresh. Unset hooks do nothing.
struct ScannerStatusHooks {
    std::function<void(const char* text)> showWaitStatus;  // nullptr clears it
    std::function<void()> refreshStatusBar;
};
void SetScannerStatusHooks(ScannerStatusHooks hooks);

// The message box a start result gives: none for 1 and for the boxes the
// open properties dialog makes unnecessary.
struct StartResultMessage {
    bool shown = false;
    MessageKind kind = MessageKind::Error;
    const char* key = nullptr;
    bool withErrorNumber = false;  // "err_num" = the result
};
StartResultMessage StartResultMessageFor(std::int32_t result, bool propertiesDialogOpen);
// Shows it through the message sink.
void ReportStartResult(std::int32_t result, bool propertiesDialogOpen);

// Starts the scanner with the calibration file `fileName` of the request's
// folder, or the first "*.cfg" there, or "No File::" when there is none
// (fileName and fullPath are set to the file used). True when the hardware
// started. A tracker that still holds an old set-up is reported as a warning
// and the start is tried once more with the settings' calibration file.
bool InitScanner(std::string& fullPath, std::string& fileName, std::int32_t startFlag, ScannerStartRequest& request);
// InitScanner with start flag 0.
bool InitScannerWithCalibration(std::string& fileName, std::string& fullPath, ScannerStartRequest& request);
// InitScanner again with the path and start flag of the last start (the
// handler of a processing-unit version mismatch and of menu commands).
bool ReinitScanner(std::string& fileName, ScannerStartRequest& request);

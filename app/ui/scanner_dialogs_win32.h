// The scanner dialogs of the main window's menus, each modal over it: the
// scanner properties (driver, calibration file, hardware version, transport
// and its state), the accuracy check, the ring-buffer diagnostics and the
// hand-entered calibration correction.
#pragma once

#include <windows.h>

#include <cstdint>

constexpr int kScannerPropertiesTemplate = 345;
constexpr int kScannerPropertiesNt4Template = 355;
constexpr int kAccuracyCheckTemplate = 353;
constexpr int kDiagnosticsTemplate = 347;
constexpr int kCalibrationUpdateTemplate = 337;

// Template 345, or 355 before Windows 2000.
INT_PTR ScannerProperties_Run();
// Unloads the scan (asking first) and, unless that was cancelled, runs the
// accuracy check.
void CalibrationCheckCommand();
INT_PTR RingBufferDiagnostics_Run();
INT_PTR CalibrationUpdate_Run();

// The open windows (null when closed) and the accuracy target option.
HWND ScannerPropertiesWindow();
HWND AccuracyCheckWindow();
int32_t& AccuracyTargetOption();

// The NT 4 radio buttons: a port of 0 or less keeps the current port.
void ScannerProps_ApplyPortSettings(int32_t port, HWND window, int32_t dmaChannel);

// The scanner link's and scan control's view of these windows.
void ScannerDialogs_Install();

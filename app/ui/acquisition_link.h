// The shell's adapter of scanner acquisition: the scanner link's calls that
// start, restart and stop the scanner from the program's settings and give
// what the start chose back to them, the online state, the read count at a
// capture's first field and the connected wand. The program calls
// Acquisition_ConnectShell once at start-up (Windows);
// Acquisition_InstallScannerLink is its portable part.
#pragma once

#include "app/acquisition/scanner_start.h"

struct AppState;

// Fills the link's acquisition calls and keeps the calls others installed.
void Acquisition_InstallScannerLink();
// The scanner link and the shell's wait status and status-bar refresh.
void Acquisition_ConnectShell();

// A start request from the program's settings: the calibration folder and
// the file the settings name, the unit version and port of the general settings, the reference
// option (ReceiverEnabled) and the scanner keys of "Tolvaran.rsc".
ScannerStartRequest ScannerRequestFromSettings(const AppState& app, const char* calibrationFolder);

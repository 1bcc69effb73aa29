// The run probe's shared parts: the program's main window, its open boxes,
// and the commands about the document the program opened at start-up.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

HWND RunProbe_FindMainWindow();
// A visible dialog or box of the process that holds every one of the
// controls (any such window when none is named), or null.
HWND RunProbe_FindDialog(DWORD pid, std::initializer_list<int> controls);
// The same for the process of the program's main window.
HWND RunProbe_ProgramDialog(HWND main, std::initializer_list<int> controls);
// "Title: text" of each visible dialog or message box of the program.
std::vector<std::string> RunProbe_OpenBoxes(HWND main);
// The status bar's part text, read through a buffer in the program's own
// address space.
std::string RunProbe_StatusPartText(HWND bar, int part);
// makescan, title, title-key, box, export-dialog, cancel-dialog: the exit
// code, or -1 when argv names none of them.
int RunProbe_DocumentCommand(int argc, char** argv);
// The calibration checks' commands (run_probe_calibration.cpp), likewise.
int RunProbe_CalibrationCommand(int argc, char** argv);
// surfaces-road <file> <copy> [seconds] (run_probe_surfaces.cpp), likewise.
int RunProbe_SurfacesCommand(int argc, char** argv);
// save-as, scan-file (run_probe_scan_file.cpp), likewise.
int RunProbe_ScanFileCommand(int argc, char** argv);

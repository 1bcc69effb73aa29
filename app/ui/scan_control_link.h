// The program's one scan control: its state, the scan and settings it
// works on, and its host filled from the shell's hooks. The Windows shell
// adds the host's system services (beeps, boxes, timers, windows, pipe).
#pragma once

#include "app/acquisition/scan_control.h"
#include "app/acquisition/timer_mode.h"

#include <cstdint>

ScanControl& ScanControl_Program();
// The same, bound to the scan open now: the link is installed before the
// main window makes the scan record, and until the first field event binds
// it a capture from the view would find no scan.
ScanControl& ScanControl_OpenScan();
TimerModeState& TimerMode_Program();

// How the field ring kept up over the run: the most fields that waited in
// any capture and the fields lost to a full ring, summed over the captures
// (the acquisition layer counts each capture afresh).
struct RingRunTotals {
    int32_t mostWaiting = 0;
    int32_t overruns = 0;
    int32_t captures = 0;
};
const RingRunTotals& ScanControl_RingTotals();

// The portable host and the scanner link's field handlers.
void ScanControl_InstallLink();

// The capture's first field with the shell's busy state and camera-log flag.
void ScanControl_OnFirstField();
// The end of a press while the camera-position log is open.
void ScanControl_EndCameraLogPress();
// The Windows host: beeps, boxes, the click timer, the pipe, the windows.
void ScanControl_InstallWin32Host();
// Where a scanner window that scan control tells of events is found: its
// handle while it is open, else 0.
void ScanControl_SetWindow(ScanWindow window, std::uintptr_t (*handle)());

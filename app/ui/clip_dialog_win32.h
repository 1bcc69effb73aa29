// The "Clip" window (command 40270): a modeless dialog over the program's
// scan that holds the clip method and its parameters and runs Clip_Run on a
// worker thread behind a progress bar. The main window is disabled for the
// run while a local loop serves the dialog; messages meant for other windows
// (hardware events among them) are kept and handed on once the worker has
// ended, so nothing changes the scan meanwhile and nothing is lost.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

struct RawData;

constexpr int kClipTemplate = 357;
constexpr int kClipRunnerTemplate = 343;

constexpr int kClipApply = 1;  // "Abort" while a clip runs
constexpr int kClipUndo = 4;
constexpr int kClipClose = 8;
constexpr int kClipUseBaseline = 1418;
constexpr int kClipBaselineLabel = 1343;
constexpr int kClipBaselineNumber = 1340;
constexpr int kClipBaselineMethod = 1344;
constexpr int kClipPointMethod = 1345;
constexpr int kClipTolerance = 1341;
constexpr int kClipToleranceGroup = 1463;
constexpr int kClipAngleLabel = 1446;
constexpr int kClipAngle = 1342;
constexpr int kClipAngleUnit = 1447;
constexpr int kClipRunEnded = 8;  // the command the worker posts to the runner

// The parameters, kept for the run of the program.
struct ClipParams {
    bool useBaseline = false;
    int32_t baselineNumber = 1;  // 1-based
    int32_t method = 0;          // 1 baseline point separation, 0 point separation
    float tolerance = 3.0f;      // mm
    float angle = 90.0f;         // degrees
};

// Creates the dialog (hidden) over the scan, placed at the main window's
// right, in the shell's Clip slot; null when it could not be made.
HWND Clip_ShowDialog(RawData& scan);
INT_PTR CALLBACK Clip_DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Edit 1340: read, held to 1 .. the sweep count, stored and written back.
void Clip_ReadSweepNumber(HWND dialog);

// Command 40270 on the program's scan; false for any other command.
bool Clip_Command(WORD id);

ClipParams& Clip_Params();
// True while a clip runs.
bool Clip_Busy();

// How the runner starts its worker (tests hold it suspended or refuse it);
// unset: the run-time library's thread start.
using ClipThreadStart = std::function<HANDLE(unsigned(__stdcall* routine)(void*), void* argument, unsigned* id)>;
void Clip_SetThreadStart(ClipThreadStart start);

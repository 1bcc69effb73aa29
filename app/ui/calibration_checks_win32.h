// The two checks a scanner owner runs now and then from the Scanner menu:
// the alignment check (passes of a scan nearer and farther, and a factor from
// the two cameras' disagreement) and the calibration correction window
// (eight sweeps of a target, a search for the line and count tweak per
// channel, written into the calibration file).
#pragma once

#include <windows.h>

#include <cstdint>

#include "app/scan/raw_data.h"
#include "app/scan/settings_records.h"

constexpr int kAlignmentInstructionsTemplate = 352;
constexpr int kCalibrationCorrectionTemplate = 346;
constexpr int kCorrectionConfirmTemplate = 354;

// Controls of the windows (beyond the localised texts).
constexpr int kAlignmentInstructionsText = 1581;
constexpr int kCorrectionPassOneText = 1608, kCorrectionPassTwoText = 1609, kCorrectionStatusText = 1610;
constexpr int kCorrectionFirstIndicator = 1611;  // eight, one a sweep
constexpr int kCorrectionCompute = 3, kCorrectionReset = 1073;
constexpr int kConfirmOldRms = 1582, kConfirmNewRms = 1583, kConfirmVerdict = 1584;
constexpr int kConfirmApply = 3, kConfirmDiscard = 1366;

// The private messages of the correction window.
constexpr UINT kCorrectionMsgAccepted = 0x8042;
constexpr UINT kCorrectionMsgClearScan = 0x8080;
constexpr UINT kCorrectionMsgSweep = 0x8081;
constexpr UINT kCorrectionMsgTooFast = 0x8082;

// Runs the alignment check over the settings record and the scan (modal
// passes until the user stops). Refused with one box in reference mode.
void AlignmentCheckDialog(GeneralSettings& settings, RawData* raw);

// Opens the correction window over the main window, or refuses with one box
// when the hardware's fixed-wand property and the reference mode differ.
void RunCalibrationCorrection(int32_t referenceMode, RawData* raw);
INT_PTR CALLBACK CalibrationCorrectionWizard(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

bool CalibrationCorrectionIsOpen();
void PostCalibrationCorrectionUpdate();
void SendCalibrationCorrection8081();
void SendCalibrationCorrection8082();

// Command 40100: the scan closed (asking to save first), then the window.
void CalibrationCorrectionCommand();
// Command 40082.
void AlignmentCheckCommand();

// Scan control's view of the correction window.
void CalibrationChecks_Install();

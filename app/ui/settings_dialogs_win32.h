// The small settings and tool dialogs of the shell: the factory menu's
// password, and their connection to the shell's hooks.
#pragma once

#include <windows.h>

constexpr int kPasswordTemplate = 336;
constexpr int kPasswordEdit = 1057;

// Asks for the factory menu's access code: 1 when the typed text is the code
// (whole and case-sensitive), 0 for anything else or Cancel. Shows no
// message of its own.
int PasswordDialog(HWND owner);
// True when the text is the access code.
bool Password_Matches(const char* typed);

constexpr int kScannerLimitsTemplate = 325;
constexpr int kLimitsRange = 1017;
constexpr int kLimitsAngle = 1033;
constexpr int kLimitsBest = 1032;
constexpr int kLimitsWorst = 1036;
constexpr int kLimitsSmoothing = 1133;
constexpr int kLimitsDefaults = 3;

// Scanner Limits Control, modal: the working limits and profile smoothing of
// the general settings. IDOK when stored, IDCANCEL otherwise.
int ScannerLimitsDialog(HWND owner);

// The commands of these dialogs; true when the id is one of them.
bool SettingsDialogs_Command(WORD id);

// Installs the dialogs on the shell's hooks.
void SettingsDialogs_ConnectShell();

// Tooltips for a toolbar's buttons, or for the controls of any dialog that
// asks for them: one tooltip window shared by the dialogs, fed by a mouse
// hook and answered by a window-procedure hook of the user-interface thread.
#pragma once

#include <windows.h>

// The last error a stop without a matching start leaves.
constexpr DWORD kTooltipsNotStarted = 0xE0010001;

// A toolbar: its own tooltips get their delays. Any other window: every
// child becomes a tool whose text is the program's string of the control's
// identifier (none: no text; the window's own WM_NOTIFY handling may still
// give one). 1, or 0 when a hook could not be installed.
int StartToolbarTooltips(HWND window);
// Undoes a start: 1; a toolbar: nothing, 1; more stops than starts: 0 with
// the last error kTooltipsNotStarted.
int StopToolbarTooltips(HWND window);

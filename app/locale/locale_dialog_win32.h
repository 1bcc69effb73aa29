// Setting an open dialog's texts from the dialog text table (Windows only).
#pragma once

#include <windows.h>

// Sets the caption (control 0) and the control texts of the dialog from the
// rows of its template id; controls the dialog lacks are passed over. An id
// without rows changes nothing.
void Locale_LocaliseDialog(HWND window, int dialog);

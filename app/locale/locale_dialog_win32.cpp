#include "app/locale/locale_dialog_win32.h"

#include "app/locale/locale_dialog_texts.h"

void Locale_LocaliseDialog(HWND window, int dialog) {
    Locale_ApplyDialogTexts(dialog, [window](int control, const char* text) {
        if (control == 0)
            SetWindowTextA(window, text);
        else
            SetDlgItemTextA(window, control, text);
    });
}

#include "app/ui/file_properties_win32.h"

#include "app/base/time_helpers.h"
#include "app/locale/locale_dialog_win32.h"
#include "app/ui/app_state.h"
#include "app/ui/file_properties.h"
#include "app/ui/shell_win32.h"

#include <cstring>
#include <memory>

namespace {

std::string LocalTime(double seconds) {
    char buffer[1024] = "";
    return Time_FormatLocal(seconds, buffer) > 0 ? buffer : "";
}

}  // namespace

void FileProperties_Fill(HWND dialog, const RawData& copy) {
    Locale_LocaliseDialog(dialog, kFilePropertiesTemplate);
    const AppState& app = App();
    const std::string text = FileProperties_Text(copy, app.scanPath, app.documentMetadata, LocalTime);
    SetDlgItemTextA(dialog, kFilePropertiesText, text.c_str());
}

INT_PTR CALLBACK FileProperties_DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: {
            // The text describes a snapshot of the scan record taken now.
            auto copy = std::make_unique<RawData>();
            if (App().raw)
                std::memcpy(copy.get(), App().raw, sizeof(RawData));
            else
                std::memset(copy.get(), 0, sizeof(RawData));
            FileProperties_Fill(dialog, *copy);
            // The text reads from its start with nothing selected: the focus
            // goes to Close rather than to the text.
            SetFocus(GetDlgItem(dialog, IDCANCEL));
            return FALSE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, 0);
                return TRUE;
            }
            return FALSE;
    }
    return FALSE;
}

void FileProperties_Run(HWND owner) {
    DialogBoxParamA(Shell().instance, MAKEINTRESOURCEA(kFilePropertiesTemplate), owner, FileProperties_DialogProc, 0);
}

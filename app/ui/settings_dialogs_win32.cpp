#include "app/ui/settings_dialogs_win32.h"

#include "app/locale/locale_dialog_win32.h"
#include "app/locale/locale_lookup.h"
#include "app/ui/app_state.h"
#include "app/ui/dialogs_win32.h"
#include "app/ui/scanner_limits.h"
#include "app/ui/shell_win32.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr char kAccessCode[] = "Dovecrag";
constexpr int kPasswordLength = 1024;

class PasswordBox : public Dialog {
  public:
    int GetTemplateId() const override { return kPasswordTemplate; }
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM) override {
        if (message == WM_INITDIALOG) {
            Locale_LocaliseDialog(Window(), kPasswordTemplate);
            SendDlgItemMessageA(Window(), kPasswordEdit, EM_LIMITTEXT, kPasswordLength - 1, 0);
            return TRUE;
        }
        if (message != WM_COMMAND) return FALSE;
        if (LOWORD(wParam) == IDOK) {
            char typed[kPasswordLength] = "";
            GetDlgItemTextA(Window(), kPasswordEdit, typed, sizeof typed);
            const bool right = Password_Matches(typed);
            SecureZeroMemory(typed, sizeof typed);
            EndDialog(Window(), right ? 1 : 0);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(Window(), 0);
            return TRUE;
        }
        return FALSE;
    }
};

// ---- Scanner Limits Control -------------------------------------------------

constexpr int kLimitEdits[4] = {kLimitsRange, kLimitsAngle, kLimitsBest, kLimitsWorst};

float* LimitField(GeneralSettings& g, int index) {
    float* fields[4] = {&g.RangeClip, &g.AngleClip, &g.RawResolutionClip[0], &g.RawResolutionClip[1]};
    return fields[index];
}

void SetNumber(HWND dialog, int control, float value) {
    char text[64];
    std::snprintf(text, sizeof text, "%5.1f", value);
    SetDlgItemTextA(dialog, control, text);
}

class ScannerLimitsBox : public Dialog {
  public:
    int GetTemplateId() const override { return kScannerLimitsTemplate; }
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM) override {
        if (message == WM_INITDIALOG) {
            Locale_LocaliseDialog(Window(), kScannerLimitsTemplate);
            Fill(App().settings);
            return TRUE;
        }
        if (message != WM_COMMAND) return FALSE;
        switch (LOWORD(wParam)) {
            case IDOK:
                if (Store()) EndDialog(Window(), IDOK);
                return TRUE;
            case kLimitsDefaults:
                Fill(App().settingsDefaults);
                return TRUE;
            case IDCANCEL:
                EndDialog(Window(), IDCANCEL);
                return TRUE;
        }
        return FALSE;
    }

  private:
    void Fill(GeneralSettings& g) {
        HWND list = GetDlgItem(Window(), kLimitsSmoothing);
        SendMessageA(list, CB_RESETCONTENT, 0, 0);
        for (const char* key : {"ProfileSmoothingHigh", "ProfileSmoothingMedium", "ProfileSmoothingLow"})
            SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Locale_GetString(key)));
        if (ScannerLimits_OffOffered())
            SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Locale_GetString("ProfileSmoothingOff")));
        SendMessageA(list, CB_SETCURSEL, ProfileSmoothing_FromLength(g.ProfileFilterLength), 0);
        for (int i = 0; i < 4; ++i) SetNumber(Window(), kLimitEdits[i], *LimitField(g, i));
    }
    // Each limit is stored as soon as it reads as one number; the first that
    // does not beeps and keeps the dialog open.
    bool Store() {
        GeneralSettings& g = App().settings;
        for (int i = 0; i < 4; ++i) {
            char text[256] = "";
            GetDlgItemTextA(Window(), kLimitEdits[i], text, sizeof text);
            float value = 0.0f;
            if (!ScannerLimits_ParseNumber(text, value)) {
                MessageBeep(MB_ICONASTERISK);
                return false;
            }
            *LimitField(g, i) = value;
        }
        const LRESULT entry = SendDlgItemMessageA(Window(), kLimitsSmoothing, CB_GETCURSEL, 0, 0);
        const int32_t length = ProfileSmoothing_Length(static_cast<int32_t>(entry));
        if (length >= 0) g.ProfileFilterLength = length;
        return true;
    }
};

}  // namespace

int ScannerLimitsDialog(HWND owner) {
    ScannerLimitsBox box;
    return static_cast<int>(box.RunModal(owner));
}

bool SettingsDialogs_Command(WORD id) {
    switch (id) {
        case 40093:
            ScannerLimitsDialog(Shell().main);
            return true;
    }
    return false;
}

bool Password_Matches(const char* typed) { return typed && std::strcmp(typed, kAccessCode) == 0; }

int PasswordDialog(HWND owner) {
    PasswordBox box;
    return box.RunModal(owner) == 1 ? 1 : 0;
}

void SettingsDialogs_ConnectShell() { Shell_Win32Hooks().passwordDialog = PasswordDialog; }

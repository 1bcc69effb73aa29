// Stereo Control: stereo viewing on or off (the view window is made again so
// that its pixel format follows), the viewer's distance to the screen and
// the object's offset from it.
#include "app/base/app_messages.h"
#include "app/ui/app_state.h"
#include "app/ui/commands_win32.h"
#include "app/ui/dialogs_win32.h"
#include "app/ui/scanner_limits.h"
#include "app/ui/shell_win32.h"
#include "app/ui/tool_dialogs_win32.h"

#include <cstdio>

namespace {

constexpr int kStereoDependent[] = {kStereoDistance,    kStereoOffset, kStereoDistanceLabel,
                                    kStereoOffsetLabel, kStereoApply,  kStereoDefaults};

void SetNumber(HWND dialog, int control, float value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.0f", value);
    SetDlgItemTextA(dialog, control, text);
}

class StereoBox : public Dialog {
  public:
    int GetTemplateId() const override { return kStereoTemplate; }
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM) override {
        if (message == WM_INITDIALOG) {
            Fill();
            return TRUE;
        }
        if (message != WM_COMMAND) return FALSE;
        GeneralSettings& g = App().settings;
        switch (LOWORD(wParam)) {
            case kStereoEnabled:
                g.StereoEnabled = g.StereoEnabled ? 0 : 1;
                Commands_RecreateView();
                Fill();
                return TRUE;
            case kStereoApply:
                Apply();
                return TRUE;
            case kStereoDefaults:
                SetNumber(Window(), kStereoDistance, 500.0f);
                SetNumber(Window(), kStereoOffset, 50.0f);
                return TRUE;
            case IDCANCEL:
                Apply();
                EndDialog(Window(), IDCANCEL);
                return TRUE;
        }
        return FALSE;
    }

  private:
    void Fill() {
        const GeneralSettings& g = App().settings;
        CheckDlgButton(Window(), kStereoEnabled, g.StereoEnabled ? BST_CHECKED : BST_UNCHECKED);
        SetNumber(Window(), kStereoDistance, g.ViewerToScreenDistance);
        SetNumber(Window(), kStereoOffset, g.ObjectToScreenOffset);
        for (int id : kStereoDependent) EnableWindow(GetDlgItem(Window(), id), g.StereoEnabled != 0);
    }
    // Each edit must hold exactly one number; the valid ones are stored.
    void Apply() {
        GeneralSettings& g = App().settings;
        const struct {
            int control;
            float* field;
            const char* error;
        } edits[] = {
            {kStereoDistance, &g.ViewerToScreenDistance, "Invalid value entered for viewer to screen distance!"},
            {kStereoOffset, &g.ObjectToScreenOffset, "Invalid value entered for object to screen offset!"},
        };
        for (const auto& e : edits) {
            char text[128] = "";
            GetDlgItemTextA(Window(), e.control, text, sizeof text);
            float value = 0.0f;
            if (ScannerLimits_ParseNumber(text, value))
                *e.field = value;
            else
                App_ErrorBox(e.error);
        }
        App_PostRepaint(3);
    }
};

}  // namespace

int StereoControlDialog(HWND owner) {
    StereoBox box;
    return static_cast<int>(box.RunModal(owner));
}

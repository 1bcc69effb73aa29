// Lighting and Colours: the view's lights, shading switches and colours,
// edited on a working copy of the settings and put into force by Apply or OK.
#include "app/base/app_messages.h"
#include "app/locale/locale_dialog_win32.h"
#include "app/scan/surface_record.h"
#include "app/ui/app_state.h"
#include "app/ui/dialogs_win32.h"
#include "app/ui/shell_win32.h"
#include "app/ui/tool_dialogs_win32.h"

#include <commdlg.h>

#include <cstdio>

namespace {

bool g_chooserOpen = false;

// The nine values the dialog puts into force, from one record to another.
void CopyLighting(const GeneralSettings& from, GeneralSettings& to) {
    to.SpotLightLevel = from.SpotLightLevel;
    for (int i = 0; i < 3; ++i) to.SpotLightPosition[i] = from.SpotLightPosition[i];
    to.AmbientLightLevel = from.AmbientLightLevel;
    to.UseSpecularHighlights = from.UseSpecularHighlights;
    to.UseSmoothShading = from.UseSmoothShading;
    to.UseGradedBackground = from.UseGradedBackground;
    to.ForegroundColour = from.ForegroundColour;
    to.BackgroundColour = from.BackgroundColour;
    to.PreviewColour = from.PreviewColour;
}

// Reads up to `count` leading numbers of the edit; those missing keep their values.
void ReadNumbers(HWND dialog, int control, float* values, int count) {
    char text[256] = "";
    GetDlgItemTextA(dialog, control, text, sizeof text);
    float read[3];
    const int n = std::sscanf(text, "%f %f %f", &read[0], &read[1], &read[2]);
    for (int i = 0; i < n && i < count; ++i) values[i] = read[i];
}

class LightingBox : public Dialog {
  public:
    int GetTemplateId() const override { return kLightingTemplate; }
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
            case WM_INITDIALOG:
                work_ = App().settings;
                Locale_LocaliseDialog(Window(), kLightingTemplate);
                Show(true, true);
                return TRUE;
            case kMsgPanelRefresh:
                Show(wParam == 1, lParam == 1);
                return TRUE;
            case WM_CLOSE:
                Finish();
                return TRUE;
            case WM_COMMAND:
                return OnCommand(LOWORD(wParam));
        }
        return FALSE;
    }

  private:
    BOOL OnCommand(WORD id) {
        switch (id) {
            case kLightingSurface:
                Choose(work_.ForegroundColour);
                return TRUE;
            case kLightingBackground:
                Choose(work_.BackgroundColour);
                return TRUE;
            case kLightingProfile:
                Choose(work_.PreviewColour);
                return TRUE;
            case kLightingDefaults:
                CopyLighting(App().settingsDefaults, work_);
                Show(true, true);
                return TRUE;
            case kLightingApply:
                Apply();
                return TRUE;
            case IDOK:
                Apply();
                Finish();
                return TRUE;
            case IDCANCEL:
                Finish();
                return TRUE;
        }
        return FALSE;
    }
    void Show(bool fields, bool samples) {
        if (fields) {
            char text[96];
            std::snprintf(text, sizeof text, "%5.2f", work_.SpotLightLevel);
            SetDlgItemTextA(Window(), kLightingSpotLevel, text);
            std::snprintf(text, sizeof text, "%5.2f", work_.AmbientLightLevel);
            SetDlgItemTextA(Window(), kLightingAmbientLevel, text);
            std::snprintf(text, sizeof text, "%4.1f %4.1f %4.1f", work_.SpotLightPosition[0],
                          work_.SpotLightPosition[1], work_.SpotLightPosition[2]);
            SetDlgItemTextA(Window(), kLightingSpotPosition, text);
            CheckDlgButton(Window(), kLightingSpecular, work_.UseSpecularHighlights ? BST_CHECKED : BST_UNCHECKED);
            CheckDlgButton(Window(), kLightingSmooth, work_.UseSmoothShading ? BST_CHECKED : BST_UNCHECKED);
            CheckDlgButton(Window(), kLightingGraded, work_.UseGradedBackground ? BST_CHECKED : BST_UNCHECKED);
        }
        if (samples) {
            ColourSample_SetItem(Window(), kLightingSurfaceSample, work_.ForegroundColour);
            ColourSample_SetItem(Window(), kLightingBackgroundSample, work_.BackgroundColour);
            ColourSample_SetItem(Window(), kLightingProfileSample, work_.PreviewColour);
        }
    }
    // The system colour chooser over the dialog, starting at the working
    // colour, with the user's own custom colours.
    void Choose(uint32_t& colour) {
        CHOOSECOLORA chooser = {};
        chooser.lStructSize = sizeof chooser;
        chooser.hwndOwner = Window();
        chooser.rgbResult = colour;
        chooser.lpCustColors = reinterpret_cast<COLORREF*>(App().settings.CustomColours);
        chooser.Flags = CC_RGBINIT;
        g_chooserOpen = true;
        const BOOL chosen = ChooseColorA(&chooser);
        g_chooserOpen = false;
        if (!chosen) return;
        colour = chooser.rgbResult & 0xFFFFFF;
        Show(false, true);
    }
    void Apply() {
        ReadNumbers(Window(), kLightingSpotLevel, &work_.SpotLightLevel, 1);
        ReadNumbers(Window(), kLightingAmbientLevel, &work_.AmbientLightLevel, 1);
        ReadNumbers(Window(), kLightingSpotPosition, work_.SpotLightPosition, 3);
        work_.UseSpecularHighlights = IsDlgButtonChecked(Window(), kLightingSpecular) == BST_CHECKED;
        work_.UseSmoothShading = IsDlgButtonChecked(Window(), kLightingSmooth) == BST_CHECKED;
        work_.UseGradedBackground = IsDlgButtonChecked(Window(), kLightingGraded) == BST_CHECKED;
        AppState& app = App();
        CopyLighting(work_, app.settings);
        // The scan's colours and both surfaces are drawn again with the new lights.
        if (app.raw) RawData_ClearPointRunMark(*app.raw);
        Surface_ResetTimestamp(app.basic);
        Surface_ResetTimestamp(app.rbf);
        App_PostRepaint(3);
        if (Shell().main) UpdateWindow(Shell().main);
    }
    void Finish() {
        if (Shell().modeless[kSlotLightingColors] == Window()) Shell().modeless[kSlotLightingColors] = nullptr;
        Close();
    }

    GeneralSettings work_ = {};
};

LightingBox& Box() {
    static LightingBox box;
    return box;
}

}  // namespace

HWND LightingColors_Show(HWND owner) {
    HWND& slot = Shell().modeless[kSlotLightingColors];
    if (!slot || !IsWindow(slot)) {
        // A window destroyed with its owner leaves the object to be reset.
        if (Box().Window() && !IsWindow(Box().Window())) Box().Close();
        slot = Box().CreateModeless(owner);
        if (!slot) return nullptr;
        ShowWindow(slot, SW_SHOW);
    }
    SetActiveWindow(slot);
    return slot;
}

bool LightingColors_ChooserOpen() { return g_chooserOpen; }

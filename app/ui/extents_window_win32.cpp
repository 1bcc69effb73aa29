// The Extents tool window: the lengths of the scan's (or the shown
// surface's) bounding box along X, Y and Z, in millimetres or inches.
#include "app/locale/locale_dialog_win32.h"
#include "app/locale/locale_lookup.h"
#include "app/ui/app_state.h"
#include "app/ui/dialogs_win32.h"
#include "app/ui/shell_win32.h"
#include "app/ui/tool_dialogs_win32.h"

#include <cstdio>

namespace {

constexpr UINT kMsgReactivateOwner = WM_APP + 65;
constexpr int kValues[3] = {kExtentsX, kExtentsY, kExtentsZ};
constexpr int kUnits[3] = {kExtentsXUnit, kExtentsYUnit, kExtentsZUnit};

class ExtentsBox : public Dialog {
  public:
    int GetTemplateId() const override { return kExtentsTemplate; }
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM) override {
        switch (message) {
            case WM_INITDIALOG:
                Locale_LocaliseDialog(Window(), kExtentsTemplate);
                ClearExtents();
                return TRUE;
            case kMsgPanelRefresh:
                UpdateExtents();
                return TRUE;
            case WM_ACTIVATE:
                if (LOWORD(wParam) != WA_INACTIVE) PostMessageA(Window(), kMsgReactivateOwner, 0, 0);
                return FALSE;
            case kMsgReactivateOwner:
                if (HWND owner = GetWindow(Window(), GW_OWNER); owner && IsWindow(owner)) SetActiveWindow(owner);
                return TRUE;
            case WM_CLOSE:
                if (HWND owner = GetWindow(Window(), GW_OWNER)) SendMessageA(owner, WM_COMMAND, 40225, 0);
                return TRUE;
            case WM_COMMAND:
                if (LOWORD(wParam) != IDCANCEL) return FALSE;
                if (HWND owner = GetWindow(Window(), GW_OWNER)) SendMessageA(owner, WM_COMMAND, 40225, 0);
                return TRUE;
        }
        return FALSE;
    }
};

ExtentsBox& Box() {
    static ExtentsBox box;
    return box;
}

HWND Window() {
    HWND window = Shell().modeless[kSlotExtents];
    return window && IsWindow(window) ? window : nullptr;
}

// The three edges from the box's first corner to its neighbours.
void ShowBox(const Vec3 (&corners)[8]) {
    SetExtentsTexts(V3_Distance(corners[0], corners[1]), V3_Distance(corners[0], corners[2]),
                    V3_Distance(corners[0], corners[4]));
}

}  // namespace

HWND CreateExtentsWindow(HWND main) {
    if (HWND existing = Window()) return existing;
    HWND window = Box().CreateModeless(main);
    if (!window) return nullptr;
    RECT owner, own;
    GetWindowRect(main, &owner);
    GetWindowRect(window, &own);
    SetWindowPos(window, nullptr, owner.left + 20, owner.bottom - 50 - (own.bottom - own.top), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    Shell().modeless[kSlotExtents] = window;
    return window;
}

void SetExtentsTexts(float x, float y, float z) {
    HWND window = Window();
    if (!window) return;
    const bool inches = App().settings.UseImperialUnits != 0;
    const float lengths[3] = {x, y, z};
    for (int i = 0; i < 3; ++i) {
        char text[64];
        std::snprintf(text, sizeof text, inches ? "%.2f" : "%.1f", inches ? lengths[i] / 25.4f : lengths[i]);
        SetDlgItemTextA(window, kValues[i], text);
        SetDlgItemTextA(window, kUnits[i],
                        Locale_GetString(inches ? "StandardInchesAbbreviation" : "StandardMillimetresAbbreviation"));
    }
}

void ClearExtents() { SetExtentsTexts(0.0f, 0.0f, 0.0f); }

// Lengths are measured in the view's surface frame, the frame of the drawn
// box, of the RBF fit and of the bounding-box export.
void UpdateExtents() {
    RawData* raw = App().raw;
    if (!raw) return ClearExtents();
    raw->ExtentsTime = 0;  // always measured afresh
    RawData_ComputeExtents(*raw, App().view.CoordinateSystem);
    if (!raw->ExtentsValid) return ClearExtents();
    ShowBox(raw->Extents);
}

void UpdateExtentsFromBox() {
    AppState& app = App();
    SurfaceRecord* surface = app.mode == kModeSurface ? app.shownSurface : nullptr;
    if (!surface || surface->NumPoints < 1) return ClearExtents();
    Surface_BoundingBox(*surface, app.view.CoordinateSystem);
    if (!surface->ExtentsValid) return ClearExtents();
    ShowBox(surface->Extents);
}

void Extents_Refresh() {
    if (!Window()) return;
    switch (App().mode) {
        case kModeScan:
            return UpdateExtents();
        case kModeSurface:
            return UpdateExtentsFromBox();
        default:
            return ClearExtents();
    }
}

void Extents_Start(HWND main) {
    HWND window = CreateExtentsWindow(main);
    if (!window || !App().settings.ShowExtents) return;
    Extents_Refresh();
    ShowWindow(window, SW_SHOWNOACTIVATE);
}

void Extents_Toggle() {
    GeneralSettings& g = App().settings;
    g.ShowExtents = g.ShowExtents ? 0 : 1;
    HWND window = g.ShowExtents ? CreateExtentsWindow(Shell().main) : Window();
    if (!window) return;
    if (g.ShowExtents) {
        Extents_Refresh();
        ShowWindow(window, SW_SHOWNOACTIVATE);
    } else {
        ShowWindow(window, SW_HIDE);
    }
}

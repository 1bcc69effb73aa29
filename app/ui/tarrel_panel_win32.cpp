#include "app/ui/tarrel_panel_win32.h"

#include "app/acquisition/acquisition_settings.h"
#include "app/acquisition/hardware_info.h"
#include "app/base/app_messages.h"
#include "app/scan/raw_data.h"
#include "app/ui/aaop_wizard_win32.h"
#include "app/ui/app_state.h"
#include "app/ui/cast_tools_win32.h"
#include "app/ui/document_marks.h"
#include "app/ui/scan_document.h"
#include "app/ui/shell_win32.h"
#include "app/ui/tarrel_panel.h"
#include "app/ui/toolbar_win32.h"

#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr UINT kMsgReactivateOwner = WM_APP + 65;
constexpr int kStandardSave = -1;  // the common controls' standard "save" image

struct PanelButton {
    int bar;
    const char* label;  // fixed texts, the same in every language
    int command;
    int bitmap;
    BYTE style;
};

const PanelButton kButtons[] = {
    {kTarrelSizeBar, "  Small Object ", kTarrelSmallObject, 244, BTNS_CHECKGROUP},
    {kTarrelSizeBar, "  Large Object ", kTarrelLargeObject, 246, BTNS_CHECKGROUP},
    {kTarrelSizeBar, "  Cast Inversion Mode ", kTarrelCastInversionMode, 257, BTNS_CHECK},
    {kTarrelCountBar, "  Allow Up To 1 Object ", kTarrelOneObject, 253, BTNS_CHECKGROUP},
    {kTarrelCountBar, "  Allow Up To 2 Objects ", kTarrelTwoObjects, 254, BTNS_CHECKGROUP},
    {kTarrelStepBar, "  1. Scan (S) ", kTarrelStepScan, 126, BTNS_CHECKGROUP},
    {kTarrelStepBar, "  2. Laser Pointer Points (P) ", kTarrelStepPoints, 231, BTNS_CHECKGROUP},
    {kTarrelStepBar, "  3. Laser Pointer Lines (L) ", kTarrelStepLines, 234, BTNS_CHECKGROUP},
    {kTarrelStepBar, "  4. Save ", kTarrelStepSave, kStandardSave, BTNS_CHECKGROUP},
    {kTarrelStepBar, "  5. Basic Surface ", kTarrelStepBasic, 127, BTNS_CHECKGROUP},
    {kTarrelStepBar, "     Cast Inversion ", kTarrelStepCastInversion, 127, BTNS_CHECKGROUP},
    {kTarrelStepBar, "  6. RBF Surface ", kTarrelStepRbf, 127, BTNS_CHECKGROUP},
    {kTarrelStepBar, "  7. Export as AAOP ", kTarrelStepExport, 135, BTNS_CHECKGROUP},
};

// The toolbars from top to bottom.
constexpr int kBars[3] = {kTarrelSizeBar, kTarrelCountBar, kTarrelStepBar};

struct Panel {
    HWND window = nullptr;
    GeneralSettings* settings = nullptr;
    RawData* raw = nullptr;
    int lastStep = 0;
    bool castStepShown = false;
};

Panel& P() {
    static Panel panel;
    return panel;
}

HWND Bar(int id) { return P().window ? GetDlgItem(P().window, id) : nullptr; }

HWND BarOf(int command) {
    for (const PanelButton& b : kButtons)
        if (b.command == command) return Bar(b.bar);
    return nullptr;
}

// 12 points of the dialog font, made once for the run.
HFONT PanelFont() {
    static HFONT font = [] {
        char name[32];
        GetDialogFontName(name);
        HDC screen = GetDC(nullptr);
        const int height = -MulDiv(12, GetDeviceCaps(screen, LOGPIXELSY), 72);
        ReleaseDC(nullptr, screen);
        return CreateFontA(height, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, CLEARTYPE_QUALITY,
                           VARIABLE_PITCH | FF_SWISS, name);
    }();
    return font;
}

bool MakeBar(HWND panel, int id) {
    HWND bar = CreateWindowExA(0, TOOLBARCLASSNAMEA, "",
                               WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_LIST | TBSTYLE_TOOLTIPS | CCS_NODIVIDER |
                                   CCS_NORESIZE | CCS_NOPARENTALIGN,
                               0, 0, 0, 0, panel, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Shell().instance,
                               nullptr);
    if (!bar) return false;
    SendMessageA(bar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageA(bar, WM_SETFONT, reinterpret_cast<WPARAM>(PanelFont()), FALSE);
    // The standard images come first on the step toolbar; they set the
    // 16-pixel size that the others are given.
    if (id == kTarrelStepBar)
        SendMessageA(bar, TB_LOADIMAGES, IDB_STD_SMALL_COLOR, reinterpret_cast<LPARAM>(HINST_COMMCTRL));
    else
        SendMessageA(bar, TB_SETBITMAPSIZE, 0, MAKELPARAM(16, 16));
    std::vector<TBBUTTON> buttons;
    for (const PanelButton& b : kButtons) {
        if (b.bar != id) continue;
        TBBUTTON button = {};
        if (b.bitmap == kStandardSave) {
            button.iBitmap = STD_FILESAVE;
        } else {
            TBADDBITMAP bitmap = {Shell().instance, static_cast<UINT_PTR>(b.bitmap)};
            button.iBitmap = static_cast<int>(SendMessageA(bar, TB_ADDBITMAP, 1, reinterpret_cast<LPARAM>(&bitmap)));
        }
        button.idCommand = b.command;
        button.fsState = TBSTATE_ENABLED | TBSTATE_WRAP;  // each button on its own line
        button.fsStyle = b.style;
        button.iString = reinterpret_cast<INT_PTR>(b.label);
        buttons.push_back(button);
    }
    SendMessageA(bar, TB_ADDBUTTONSA, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
    SendMessageA(bar, TB_AUTOSIZE, 0, 0);
    return true;
}

// The extent of a toolbar's shown buttons.
SIZE BarExtent(HWND bar) {
    SIZE extent = {0, 0};
    const int count = static_cast<int>(SendMessageA(bar, TB_BUTTONCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        TBBUTTON button = {};
        SendMessageA(bar, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&button));
        if (button.fsState & TBSTATE_HIDDEN) continue;
        RECT r;
        if (!SendMessageA(bar, TB_GETITEMRECT, i, reinterpret_cast<LPARAM>(&r))) continue;
        if (r.right - r.left > extent.cx) extent.cx = r.right - r.left;
        if (r.bottom > extent.cy) extent.cy = r.bottom;
    }
    return extent;
}

// All three toolbars as wide as the step toolbar's widest button, stacked
// with their gaps and the line above the steps; the panel fits them.
void LayOut(bool place) {
    HWND panel = P().window;
    const int width = BarExtent(Bar(kTarrelStepBar)).cx;
    for (int id : kBars) {
        SendMessageA(Bar(id), TB_SETBUTTONWIDTH, 0, MAKELPARAM(width, width));
        SendMessageA(Bar(id), TB_AUTOSIZE, 0, 0);
    }
    const int sizeHeight = BarExtent(Bar(kTarrelSizeBar)).cy;
    const int countTop = sizeHeight + 2, countHeight = BarExtent(Bar(kTarrelCountBar)).cy;
    const int stepTop = countTop + countHeight + 4, stepHeight = BarExtent(Bar(kTarrelStepBar)).cy;
    MoveWindow(Bar(kTarrelSizeBar), 0, 0, width, sizeHeight, TRUE);
    MoveWindow(Bar(kTarrelCountBar), 0, countTop, width, countHeight, TRUE);
    MoveWindow(Bar(kTarrelStepBar), 0, stepTop, width, stepHeight, TRUE);
    MoveWindow(GetDlgItem(panel, kTarrelSeparator), 4, stepTop - 4, width - 8, 2, TRUE);

    RECT frame = {0, 0, width, stepTop + stepHeight};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrA(panel, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrA(panel, GWL_EXSTYLE)));
    RECT at;
    GetWindowRect(place ? Shell().main : panel, &at);
    const int frameWidth = frame.right - frame.left, frameHeight = frame.bottom - frame.top;
    const int x = place ? at.right - 16 - frameWidth : at.left, y = place ? at.top + 96 : at.top;
    SetWindowPos(panel, nullptr, x, y, frameWidth, frameHeight, SWP_NOZORDER | SWP_NOACTIVATE);
}

bool InModelRange200() {
    static HardwareInfo info;
    GetHardwareDriverInfo(info);
    return TarrelPanel_InModelRange200(info.serialNumber);
}

TarrelPanelFacts Facts() {
    const AppState& app = App();
    TarrelPanelFacts facts;
    facts.mode = app.mode;
    facts.rbfShown = app.shownSurface == &app.rbf;
    facts.scanPoints = P().raw ? P().raw->NumPoints : 0;
    facts.sweeps = P().raw ? P().raw->NumSweeps : 0;
    facts.rbfHasPoints = app.rbf.NumPoints > 0 && app.rbf.Points;
    facts.castReady = P().raw && CastInv_IsReady(*P().settings, *P().raw, app.rbf);
    facts.range200 = InModelRange200();
    facts.filterLength = GetOddFilterLength();
    facts.lastStep = P().lastStep;
    return facts;
}

void Refresh() {
    if (!P().window) return;
    bool castShown = P().castStepShown;
    for (const TarrelButtonState& s : TarrelPanel_ButtonStates(*P().settings, Facts())) {
        HWND bar = BarOf(s.command);
        SendMessageA(bar, TB_ENABLEBUTTON, s.command, MAKELPARAM(s.enabled ? TRUE : FALSE, 0));
        SendMessageA(bar, TB_CHECKBUTTON, s.command, MAKELPARAM(s.checked ? TRUE : FALSE, 0));
        SendMessageA(bar, TB_HIDEBUTTON, s.command, MAKELPARAM(s.hidden ? TRUE : FALSE, 0));
        if (s.command == kTarrelStepCastInversion) castShown = !s.hidden;
    }
    if (castShown != P().castStepShown) {
        P().castStepShown = castShown;
        LayOut(false);
    }
}

void PostToMain(int command) { PostMessageA(Shell().main, WM_COMMAND, command, 0); }
void SendToMain(int command) { SendMessageA(Shell().main, WM_COMMAND, command, 0); }

// After a preset: the scan's colours and both surfaces' colours are worked
// out again, and the panels follow the settings.
void SettingsChanged() {
    AppState& app = App();
    if (P().raw) RawData_ClearPointRunMark(*P().raw);
    Surface_ResetTimestamp(app.basic);
    Surface_ResetTimestamp(app.rbf);
    App_NotifyPanels();
    App_PostRepaint(3);
}

void ApplyPreset(TarrelPreset preset) {
    GeneralSettings& g = *P().settings;
    const bool range200 = InModelRange200();
    if (preset == TarrelPreset::LargeObject && range200) return;  // not offered on the 200 range
    int32_t filterLength = GetOddFilterLength();
    if (!TarrelPanel_PresetInForce(preset, range200, g, filterLength)) {
        TarrelPanel_ApplyPreset(preset, range200, g, filterLength);
        SetOddFilterLength(filterLength);
    }
    SettingsChanged();
}

// The object count shapes the basic surface: one built for another count is
// discarded, as the cast-inversion mode does.
void AllowObjects(int32_t count) {
    if (TarrelPanel_AllowObjects(count, *P().settings)) ScanDoc_ResetDerivedState();
    App_NotifyPanels();
}

// Laser pointer mode is the stylus mode of the settings; its command turns it
// over.
void StylusStep(int32_t captureMode) {
    GeneralSettings& g = *P().settings;
    if (g.Stylus.CaptureMode != captureMode) {
        g.Stylus.CaptureMode = captureMode;
        App_PostRepaint(3);
    }
    PostToMain(40262);
    if (!g.Stylus.Mode) PostToMain(40181);
}

void RunStep(int command) {
    GeneralSettings& g = *P().settings;
    P().lastStep = command;
    switch (command) {
        case kTarrelStepScan:
            PostToMain(40262);
            if (g.Stylus.Mode) PostToMain(40181);
            break;
        case kTarrelStepPoints:
        case kTarrelStepLines:
            StylusStep(command == kTarrelStepLines ? 1 : 0);
            break;
        case kTarrelStepSave:
            PostToMain(40262);
            break;
        case kTarrelStepBasic:
            g.CombineSweeps = 1;
            SendToMain(40263);
            break;
        case kTarrelStepRbf:
            g.CombineSweeps = 2;
            SendToMain(40264);
            break;
        case kTarrelStepExport:
            AaopWizard_OpenOnRbf();
            break;
        case kTarrelStepCastInversion:
            if (P().raw) CastInv_Run(P().window, App().rbf, g, *P().raw);
            break;
    }
}

void RunCommand(int command) {
    switch (command) {
        case kTarrelSmallObject:
        case kTarrelLargeObject:
            ApplyPreset(command == kTarrelLargeObject ? TarrelPreset::LargeObject : TarrelPreset::SmallObject);
            break;
        case kTarrelOneObject:
        case kTarrelTwoObjects:
            AllowObjects(command == kTarrelOneObject ? 1 : 2);
            break;
        case kTarrelCastInversionMode:
            CastInv_SetMode(SendMessageA(Bar(kTarrelSizeBar), TB_ISBUTTONCHECKED, command, 0) != 0);
            break;
        default:
            if (TarrelPanel_IsStep(command)) RunStep(command);
            break;
    }
    // After what the command posted to the main window has run.
    PostMessageA(P().window, kMsgPanelRefresh, 0, 0);
}

// A tooltip shows the button's label.
bool ToolTipText(NMHDR* header) {
    if (header->code != TTN_GETDISPINFOA) return false;
    NMTTDISPINFOA* info = reinterpret_cast<NMTTDISPINFOA*>(header);
    for (const PanelButton& b : kButtons) {
        if (static_cast<UINT_PTR>(b.command) != header->idFrom) continue;
        std::string text = b.label;
        text.erase(0, text.find_first_not_of(' '));
        text.erase(text.find_last_not_of(' ') + 1);
        lstrcpynA(info->szText, text.c_str(), sizeof info->szText);
        info->lpszText = info->szText;
        return true;
    }
    return false;
}

INT_PTR CALLBACK PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            P().window = window;
            for (int id : kBars)
                if (!MakeBar(window, id)) return FALSE;
            return FALSE;
        case kMsgPanelRefresh:
            Refresh();
            return TRUE;
        case WM_COMMAND:
            // The panel stays while the program runs: Escape and Close do nothing.
            if (LOWORD(wParam) != IDCANCEL && LOWORD(wParam) != IDOK) RunCommand(LOWORD(wParam));
            return TRUE;
        case WM_CLOSE:
            return TRUE;
        case WM_NOTIFY: {
            NMHDR* header = reinterpret_cast<NMHDR*>(lParam);
            // A click on a greyed button may still have turned its check over
            // (the toolbar sends no command for it): the states are put back.
            if (header->code == NM_CLICK) PostMessageA(window, kMsgPanelRefresh, 0, 0);
            return ToolTipText(header);
        }
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE) PostMessageA(window, kMsgReactivateOwner, 0, 0);
            return FALSE;
        case kMsgReactivateOwner:
            if (HWND owner = GetWindow(window, GW_OWNER); owner && IsWindow(owner)) SetActiveWindow(owner);
            return TRUE;
        case WM_DESTROY:
            if (P().window == window) P().window = nullptr;
            return FALSE;
    }
    return FALSE;
}

}  // namespace

HWND TarrelPanel_Create(GeneralSettings& settings, RawData* raw) {
    if (HWND existing = TarrelPanel_Window()) return existing;
    P().settings = &settings;
    P().raw = raw;
    P().castStepShown = true;
    HWND window =
        CreateDialogParamA(Shell().instance, MAKEINTRESOURCEA(kTarrelPanelTemplate), Shell().main, PanelProc, 0);
    if (!window) {
        P().window = nullptr;
        char text[32];
        std::snprintf(text, sizeof text, "Error %lu", GetLastError());
        AppMessage box;
        box.kind = MessageKind::Error;
        box.title = "Error";
        box.text = text;
        App_ShowMessage(box);
        return nullptr;
    }
    Shell().modeless[kSlotTarrelPanel] = window;
    LayOut(true);
    Refresh();
    ShowWindow(window, SW_SHOWNOACTIVATE);
    return window;
}

void TarrelPanel_Destroy() {
    HWND window = TarrelPanel_Window();
    Shell().modeless[kSlotTarrelPanel] = nullptr;
    if (window) DestroyWindow(window);
}

HWND TarrelPanel_Window() {
    HWND window = P().window;
    return window && IsWindow(window) ? window : nullptr;
}

void TarrelPanel_Refresh() { TarrelPanel_Notify(kMsgPanelRefresh); }

void TarrelPanel_Notify(UINT message) {
    if (HWND window = TarrelPanel_Window()) PostMessageA(window, message, 0, 0);
}

bool TarrelPanel_SetButton(int command) {
    HWND bar = Bar(kTarrelStepBar);
    if (!TarrelPanel_Window() || !bar || !TarrelPanel_IsStep(command)) return false;
    SendMessageA(bar, TB_CHECKBUTTON, command, MAKELPARAM(TRUE, 0));
    RunCommand(command);
    return true;
}

// The status bar, the title and the refresh after a change.
#include "app/locale/locale_lookup.h"
#include "app/base/app_messages.h"
#include "app/ui/app_state.h"
#include "app/ui/brand_placeholders.h"
#include "app/ui/scanner_link.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/shell_win32.h"
#include "app/ui/status_texts.h"

#include <commctrl.h>

#include <new>
#include <string>

namespace {

constexpr int kStatusParts = 4;

void SetParts(HWND bar) {
    RECT client;
    GetClientRect(bar, &client);
    const int width = client.right - client.left;
    int edges[kStatusParts] = {width / 4, width / 2, width * 3 / 4, -1};
    SendMessageA(bar, SB_SETPARTS, kStatusParts, reinterpret_cast<LPARAM>(edges));
}

}  // namespace

void StatusBar_Update() {
    HWND bar = Shell().statusBar;
    if (!bar) return;
    SetParts(bar);
    const AppState& app = App();
    StatusBarState state;
    state.mode = app.mode;
    state.basicSurfaceShown = app.shownSurface != &app.rbf;
    state.zoom = app.view.ZoomFactor;
    state.cursorText = Shell_Hooks().cursorText ? Shell_Hooks().cursorText() : std::string();
    state.scannerEnabled = app.settings.ScannerEnabled != 0;
    state.hardwareState = Scanner_OnlineState();
    try {
        const auto parts = StatusBar_Texts(state);
        for (int i = 0; i < kStatusParts; ++i)
            SendMessageA(bar, SB_SETTEXTA, i, reinterpret_cast<LPARAM>(parts[i].c_str()));
    } catch (const std::bad_alloc&) {
        App_ErrorBox(Locale_GetString("ErrorOutOfMemory"), "ErrorOutOfMemory");
    }
    SendMessageA(bar, SB_SETBKCOLOR, 0, static_cast<LPARAM>(CLR_DEFAULT));
    InvalidateRect(bar, nullptr, TRUE);
}

void SetStatusText(const char* text) {
    HWND bar = Shell().statusBar;
    if (!bar) return;
    int whole = -1;
    SendMessageA(bar, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(&whole));
    std::string expanded;
    const char* shown = ExpandBrandPlaceholders(text, expanded) ? expanded.c_str() : text;
    SendMessageA(bar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(shown));
    InvalidateRect(bar, nullptr, TRUE);
    UpdateWindow(bar);
}

void App_ShowWaitStatus(const char* text) {
    App().waiting = text != nullptr;
    if (HWND bar = Shell().statusBar) {
        const std::string shown = StatusBar_WaitText(text);
        SendMessageA(bar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(shown.c_str()));
    }
    if (Shell_Hooks().setMarkerCursor) Shell_Hooks().setMarkerCursor();
    if (HWND bar = Shell().statusBar) {
        InvalidateRect(bar, nullptr, TRUE);
        UpdateWindow(bar);
    }
}

void App_RefreshUi() {
    const ShellHooks& hooks = Shell_Hooks();
    if (hooks.updateMenuStates) hooks.updateMenuStates();
    if (hooks.updateToolbar) hooks.updateToolbar();
    StatusBar_Update();
}

void App_UpdateTitle() {
    if (HWND main = Shell().main) SetWindowTextA(main, App_TitleText().c_str());
}

void App_PostRepaint(int level) {
    if (Shell_Hooks().postRepaint) Shell_Hooks().postRepaint(level);
}

void App_SendRepaint(int level) {
    if (Shell_Hooks().sendRepaint) Shell_Hooks().sendRepaint(level);
}

#include "app/ui/dialog_tooltips_win32.h"

#include "app/ui/shell_win32.h"

#include <commctrl.h>

namespace {

constexpr int kTextSize = 1000;

// One set for the process: the dialogs share the tooltip window and hooks.
struct DialogTooltips {
    HWND tip = nullptr;
    HHOOK mouseHook = nullptr;
    HHOOK procHook = nullptr;
    int users = 0;
    char text[kTextSize] = "";
};

DialogTooltips g_tips;

bool IsToolbar(HWND window) {
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return lstrcmpiA(name, TOOLBARCLASSNAMEA) == 0;
}

HINSTANCE Instance() { return Shell().instance ? Shell().instance : GetModuleHandleA(nullptr); }

bool IsRelayed(WPARAM message) {
    switch (message) {
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
            return true;
    }
    return false;
}

// The tooltip window sees the mouse over every window of the thread.
LRESULT CALLBACK MouseHook(int code, WPARAM wParam, LPARAM lParam) {
    const MOUSEHOOKSTRUCT* mouse = reinterpret_cast<const MOUSEHOOKSTRUCT*>(lParam);
    if (code == HC_ACTION && g_tips.tip && mouse && IsRelayed(wParam)) {
        POINT at = mouse->pt;
        ScreenToClient(mouse->hwnd, &at);
        MSG relayed = {};
        relayed.hwnd = mouse->hwnd;
        relayed.message = static_cast<UINT>(wParam);
        relayed.lParam = MAKELPARAM(at.x, at.y);
        relayed.pt = mouse->pt;
        relayed.time = GetMessageTime();
        SendMessageA(g_tips.tip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
    }
    return CallNextHookEx(g_tips.mouseHook, code, wParam, lParam);
}

// Answers the tooltip window's text request before the dialog sees it: the
// string whose identifier is the control's.
LRESULT CALLBACK ProcHook(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call && call->message == WM_NOTIFY && g_tips.tip) {
        NMHDR* header = reinterpret_cast<NMHDR*>(call->lParam);
        if (header && header->hwndFrom == g_tips.tip && header->code == TTN_GETDISPINFOA) {
            NMTTDISPINFOA* info = reinterpret_cast<NMTTDISPINFOA*>(header);
            const int id = (info->uFlags & TTF_IDISHWND) ? GetDlgCtrlID(reinterpret_cast<HWND>(header->idFrom))
                                                         : static_cast<int>(header->idFrom);
            g_tips.text[0] = '\0';
            if (id > 0) LoadStringA(Instance(), static_cast<UINT>(id), g_tips.text, kTextSize);
            info->lpszText = g_tips.text;
        }
    }
    return CallNextHookEx(g_tips.procHook, code, wParam, lParam);
}

void SetDelays(HWND tip, int autoPop) {
    SendMessageA(tip, TTM_SETDELAYTIME, TTDT_INITIAL, 650);
    SendMessageA(tip, TTM_SETDELAYTIME, TTDT_AUTOPOP, autoPop);
    SendMessageA(tip, TTM_SETDELAYTIME, TTDT_RESHOW, 325);
}

struct ToolChange {
    HWND window;
    UINT message;  // TTM_ADDTOOLA or TTM_DELTOOLA
};

BOOL CALLBACK ChangeTool(HWND child, LPARAM parameter) {
    const ToolChange* change = reinterpret_cast<const ToolChange*>(parameter);
    TOOLINFOA info = {};
    info.cbSize = sizeof info;
    info.uFlags = TTF_IDISHWND;
    info.hwnd = change->window;
    info.uId = reinterpret_cast<UINT_PTR>(child);
    info.lpszText = LPSTR_TEXTCALLBACKA;
    SendMessageA(g_tips.tip, change->message, 0, reinterpret_cast<LPARAM>(&info));
    return TRUE;
}

void ChangeTools(HWND window, UINT message) {
    ToolChange change = {window, message};
    EnumChildWindows(window, ChangeTool, reinterpret_cast<LPARAM>(&change));
}

bool CreateTipWindow() {
    g_tips.tip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, Instance(), nullptr);
    if (!g_tips.tip) return false;
    SendMessageA(g_tips.tip, TTM_SETMAXTIPWIDTH, 0, 300);
    SetDelays(g_tips.tip, 32767);
    return true;
}

void DestroyTipWindow() {
    if (g_tips.tip) DestroyWindow(g_tips.tip);
    g_tips.tip = nullptr;
}

// The hooks of the first user; false (and nothing left behind) when one
// cannot be had.
bool InstallHooks() {
    OutputDebugStringA("Starting Mouse Hook\n");
    g_tips.mouseHook = SetWindowsHookExA(WH_MOUSE, MouseHook, nullptr, GetCurrentThreadId());
    if (!g_tips.mouseHook) {
        DestroyTipWindow();
        return false;
    }
    OutputDebugStringA("Starting Notify Hook\n");
    g_tips.procHook = SetWindowsHookExA(WH_CALLWNDPROC, ProcHook, nullptr, GetCurrentThreadId());
    if (!g_tips.procHook) {
        const DWORD error = GetLastError();
        UnhookWindowsHookEx(g_tips.mouseHook);
        g_tips.mouseHook = nullptr;
        DestroyTipWindow();
        SetLastError(error);
        return false;
    }
    return true;
}

void RemoveHooks() {
    OutputDebugStringA("Ending Notify Hook\n");
    UnhookWindowsHookEx(g_tips.procHook);
    g_tips.procHook = nullptr;
    OutputDebugStringA("Ending Mouse Hook\n");
    UnhookWindowsHookEx(g_tips.mouseHook);
    g_tips.mouseHook = nullptr;
}

}  // namespace

int StartToolbarTooltips(HWND window) {
    if (IsToolbar(window)) {
        HWND tip = reinterpret_cast<HWND>(SendMessageA(window, TB_GETTOOLTIPS, 0, 0));
        if (tip) SetDelays(tip, 8000);
        return 1;
    }
    if (!g_tips.tip && !CreateTipWindow()) return 0;
    if (!g_tips.mouseHook && !InstallHooks()) return 0;
    ChangeTools(window, TTM_ADDTOOLA);
    ++g_tips.users;
    return 1;
}

int StopToolbarTooltips(HWND window) {
    if (IsToolbar(window)) return 1;
    if (g_tips.users < 1) {
        SetLastError(kTooltipsNotStarted);
        return 0;
    }
    if (g_tips.tip) ChangeTools(window, TTM_DELTOOLA);
    if (--g_tips.users == 0) {
        RemoveHooks();
        DestroyTipWindow();
    }
    return 1;
}

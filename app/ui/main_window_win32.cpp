// The window classes, the creation of the main window and its procedure.
#include "app/ui/shell_win32.h"

#include "app/locale/locale_lookup.h"
#include "app/base/app_messages.h"
#include "app/ui/app_state.h"
#include "app/ui/brand_placeholders.h"
#include "app/ui/scanner_link.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/shell_start_win32.h"

#include <commctrl.h>

#include <string>

ShellWindows& Shell() {
    static ShellWindows shell;
    return shell;
}

ShellWin32Hooks& Shell_Win32Hooks() {
    static ShellWin32Hooks hooks;
    return hooks;
}

namespace {

constexpr int kMainIconId = 378;

// The view window's class procedure until the view installs its own.
LRESULT CALLBACK GraphWnd_Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (WNDPROC proc = Shell_Win32Hooks().viewWindowProc) return CallWindowProcA(proc, window, message, wParam, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

// A class that a previous main window of this process registered counts as
// registered.
bool Register(const WNDCLASSEXA& windowClass) {
    return RegisterClassExA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

WNDCLASSEXA MakeClass(HINSTANCE instance, const char* name, WNDPROC proc) {
    WNDCLASSEXA c = {};
    c.cbSize = sizeof c;
    c.lpfnWndProc = proc;
    c.hInstance = instance;
    c.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    c.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    c.lpszClassName = name;
    return c;
}

bool RegisterShellClasses(HINSTANCE instance) {
    WNDCLASSEXA main = MakeClass(instance, "KorvMain", MainWnd_Proc);
    main.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(kMainIconId));
    main.hbrBackground = GetSysColorBrush(COLOR_3DFACE);
    WNDCLASSEXA dialog = MakeClass(instance, "KorvDialog", KorvDialog_WndProc);
    dialog.cbWndExtra = DLGWINDOWEXTRA;
    // The view keeps its device context for its whole life, which OpenGL on
    // real drivers allows only for a window with a DC of its own.
    WNDCLASSEXA graph = MakeClass(instance, "KorvGraph", GraphWnd_Proc);
    graph.style = CS_OWNDC;
    return Register(main) && Register(dialog) && Register(graph);
}

void RegisterColourSampleClass(HINSTANCE instance) {
    WNDCLASSEXA sample = MakeClass(instance, "KorvColorSample", ColourSample_WndProc);
    sample.style = CS_HREDRAW | CS_VREDRAW;
    sample.hbrBackground = nullptr;
    Register(sample);
}

// The view window fills the client area between the toolbar (when there is
// one) and the status bar.
void LayOut(HWND window) {
    ShellWindows& shell = Shell();
    if (shell.toolbar) SendMessageA(shell.toolbar, WM_SIZE, 0, 0);
    if (shell.statusBar) SendMessageA(shell.statusBar, WM_SIZE, 0, 0);
    StatusBar_Update();
    RECT client, status, tools = {0, 0, 0, 0};
    if (!GetClientRect(window, &client) || !shell.statusBar || !GetWindowRect(shell.statusBar, &status)) return;
    if (shell.toolbar && !GetWindowRect(shell.toolbar, &tools)) return;
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&status), 2);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&tools), 2);
    const int top = shell.toolbar ? tools.bottom : client.top;
    if (shell.view) MoveWindow(shell.view, client.left, top, client.right - client.left, status.top - top, FALSE);
}

void OnKeyDown(HWND window, WPARAM key) {
    AppState& app = App();
    const ShellHooks& hooks = Shell_Hooks();
    if (key == VK_CONTROL) {
        app.ctrlHeld = true;
        if (hooks.setMarkerCursor) hooks.setMarkerCursor();
    } else if (key == VK_ESCAPE) {
        const int32_t level = hooks.eraseLevel ? hooks.eraseLevel() : 0;
        if (level > 0 && hooks.setEraseLevel)
            hooks.setEraseLevel(0);
        else
            App_LeaveMouseModes();
        App_RefreshUi();
    }
}

void OnChar(WPARAM character) {
    if (character != 'V' && character != 'v') return;
    if (Scanner_OnlineState() == 0) return;
    App_SetMode(App().mode == kModePreview ? kModeScan : kModePreview);
    App_PostRepaint(3);
    App_RefreshUi();
}

// Tooltips of the toolbar buttons: the command's menu text with its
// accelerator in brackets; the status bar shows the command's help string.
LRESULT OnNotify(HWND window, NMHDR* header) {
    LRESULT result = 0;
    if (ShellWin32Hooks& hooks = Shell_Win32Hooks(); hooks.toolbarNotify && hooks.toolbarNotify(window, header, result))
        return result;
    switch (header->code) {
        case TTN_GETDISPINFOA: {
            NMTTDISPINFOA* info = reinterpret_cast<NMTTDISPINFOA*>(header);
            char text[256] = "";
            GetMenuStringA(GetMenu(window), static_cast<UINT>(header->idFrom), text, sizeof text, MF_BYCOMMAND);
            std::string tip = text;
            const size_t tab = tip.find('\t');
            if (tab != std::string::npos) tip = tip.substr(0, tab) + " (" + tip.substr(tab + 1) + ")";
            lstrcpynA(info->szText, tip.c_str(), sizeof info->szText);
            info->lpszText = info->szText;
            return 1;
        }
        case TTN_SHOW: {
            char text[1024];
            if (LoadStringA(Shell().instance, static_cast<UINT>(header->idFrom), text, sizeof text) > 0)
                SetStatusText(text);
            return 1;
        }
        case TTN_POP:
            StatusBar_Update();
            return 1;
    }
    return 0;
}

void OnMenuSelect(WPARAM wParam, LPARAM lParam) {
    const UINT flags = HIWORD(wParam), item = LOWORD(wParam);
    const HMENU menu = reinterpret_cast<HMENU>(lParam);
    if ((!menu && flags != 0) || (flags & MF_SYSMENU)) {
        StatusBar_Update();
    } else if (!(flags & MF_POPUP) && item == 0) {
        SetStatusText("");
    } else {
        const auto infoText = Shell_Win32Hooks().menuInfoText;
        SetStatusText(infoText ? infoText(item, menu, (flags & MF_POPUP) != 0) : "");
    }
}

// The hidden factory menu: the hot key removes it when shown, else asks for
// the password.
void OnHotKey(HWND window) {
    AppState& app = App();
    ShellWin32Hooks& hooks = Shell_Win32Hooks();
    if (app.factoryMenuShown) {
        if (hooks.showFactoryMenu) hooks.showFactoryMenu(false);
        app.factoryMenuShown = false;
    } else if (hooks.passwordDialog) {
        if (hooks.passwordDialog(window)) {
            if (hooks.showFactoryMenu) hooks.showFactoryMenu(true);
            app.factoryMenuShown = true;
        } else {
            App_ErrorBox("Sorry Mate, wrong password!");
        }
    }
    const ShellHooks& shellHooks = Shell_Hooks();
    if (shellHooks.updateMenuStates) shellHooks.updateMenuStates();
}

// Standby is never refused: the scanner is stopped before it and started
// again after it.
void OnPowerBroadcast(WPARAM event) {
    AppState& app = App();
    if (event == PBT_APMSUSPEND) {
        if (app.settings.ScannerEnabled && !Scanner_Stop())
            App_ErrorBox(Locale_GetString("ErrorEnteringStandby"), "ErrorEnteringStandby");
    } else if (event == PBT_APMRESUMESUSPEND) {
        if (app.settings.ScannerEnabled) Scanner_Start(app.settings.HardwareConfigFilename, app.programFolder.c_str());
        App_PostRepaint(3);
    }
}

}  // namespace

HWND Graph_CreateWindow(HWND main) {
    static int kViewParameter = 1;
    HWND view = CreateWindowExA(WS_EX_CLIENTEDGE, "KorvGraph", nullptr, 0x56010000, 0, 0, 1, 1, main, nullptr,
                                Shell().instance, &kViewParameter);
    if (!view) return nullptr;
    Shell().view = view;
    ShowWindow(view, SW_SHOW);
    RECT client;
    GetClientRect(main, &client);
    SendMessageA(main, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    return view;
}

HWND App_CreateMainWindow(HINSTANCE instance, int showCommand) {
    Shell().instance = instance;
    if (!RegisterShellClasses(instance)) return nullptr;
    int show = showCommand;
    HWND window = CreateWindowExA(0, "KorvMain", "Korv", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, &show);
    RegisterColourSampleClass(instance);
    if (!window) return nullptr;
    ShowWindow(window, show);
    UpdateWindow(window);
    SendMessageA(window, kMsgStartup, 0, 0);
    return window;
}

LRESULT CALLBACK MainWnd_Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    AppState& app = App();
    switch (message) {
        case WM_CREATE:
            return MainWnd_OnCreate(window, reinterpret_cast<CREATESTRUCTA*>(lParam)) ? 0 : -1;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_SIZE:
            LayOut(window);
            return 0;
        case WM_KILLFOCUS:
            app.ctrlHeld = false;
            if (Shell_Hooks().setMarkerCursor) Shell_Hooks().setMarkerCursor();
            return 0;
        case WM_CLOSE:
            MainWnd_OnClose(window);
            return 0;
        case WM_SETCURSOR:
            if (app.pointerOverView) {
                if (Shell_Hooks().setMarkerCursor) Shell_Hooks().setMarkerCursor();
                return 1;
            }
            break;
        case WM_NOTIFY:
            return OnNotify(window, reinterpret_cast<NMHDR*>(lParam));
        case WM_NCHITTEST:
            app.pointerOverView = false;
            break;
        case WM_KEYDOWN:
            OnKeyDown(window, wParam);
            return 0;
        case WM_KEYUP:
            if (wParam == VK_CONTROL) {
                app.ctrlHeld = false;
                if (Shell_Hooks().setMarkerCursor) Shell_Hooks().setMarkerCursor();
            }
            return 0;
        case WM_CHAR:
            OnChar(wParam);
            return 0;
        case WM_COMMAND:
            if (Shell_Win32Hooks().dispatchCommand && Shell_Win32Hooks().dispatchCommand(window, wParam, lParam))
                return 0;
            break;
        case WM_TIMER:
            if (wParam == kTriggerClickTimer) App_OnTriggerClickTimer(window);
            return 0;
        case WM_MENUSELECT:
            OnMenuSelect(wParam, lParam);
            return 0;
        case WM_MOUSEWHEEL:
            if (Shell().view) return SendMessageA(Shell().view, message, wParam, lParam);
            return 0;
        case WM_EXITMENULOOP:
            StatusBar_Update();
            return 0;
        case WM_POWERBROADCAST:
            OnPowerBroadcast(wParam);
            return TRUE;
        case WM_HOTKEY:
            OnHotKey(window);
            return 0;
        case kMsgStartup:
            MainWnd_OnStartup(window);
            return 0;
        default:
            if (message >= kMsgHardwareFirst && message <= kMsgHardwareLast) {
                App_OnHardwareMessage(window, message, lParam);
                return 0;
            }
            break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

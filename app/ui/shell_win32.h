// The Windows shell's globals and the entry points the rest of the program
// calls: the main window and its children, the modeless-window slots, the
// outbound pipe, the status bar, message boxes and the hardware-event
// callback. User-interface thread only, unless said.
#pragma once

#include <windows.h>

#include <cstdint>

// Private messages.
constexpr UINT kMsgHardwareFirst = WM_APP + 0;  // .. WM_APP + 12: hardware events
constexpr UINT kMsgHardwareLast = WM_APP + 12;
constexpr UINT kMsgStartup = WM_APP + 20;
constexpr UINT kMsgPanelRefresh = WM_APP + 64;
constexpr UINT kMsgBeepRequest = WM_APP + 66;

constexpr UINT_PTR kTriggerClickTimer = 1;
constexpr int kStatusBarId = 1;

// The modeless-window slots, in the order the message loop offers them
// messages. A slot is null or holds a window that may be destroyed already.
enum ModelessSlot {
    kSlotLightingColors = 0,
    kSlotGenerateSurface,
    kSlotTextureCamera,
    kSlotSweepsList1,
    kSlotSweepsList2,
    kSlotStylusProperties,
    kSlotTarrelPanel,
    kSlotTimerMode,
    kSlotExtents,
    kSlotClip,
    kModelessSlotCount
};

struct ShellWindows {
    HINSTANCE instance = nullptr;
    HWND main = nullptr;
    HWND view = nullptr;
    HWND statusBar = nullptr;
    HWND toolbar = nullptr;
    HANDLE pipe = INVALID_HANDLE_VALUE;
    HACCEL accelerators = nullptr;
    HWND modeless[kModelessSlotCount] = {};
    HWND markerDialog = nullptr;  // the mouse-as-marker dialog's window
};

ShellWindows& Shell();

// Parts of the shell that other parts of the program provide for Windows;
// each is optional and the shell runs without it as described.
struct ShellWin32Hooks {
    // The view window's procedure (class "KorvGraph"); default processing
    // until one is installed.
    WNDPROC viewWindowProc = nullptr;
    // Toolbars: created at window creation (none: the window lays out
    // without one); their notifications come first (true: taken).
    bool (*createToolbars)(HWND main) = nullptr;
    bool (*toolbarNotify)(HWND main, NMHDR* header, LRESULT& result) = nullptr;
    // Menus: built at window creation; the info text of a command for the
    // status bar; the table freed at close.
    void (*buildMenus)(HWND main) = nullptr;
    // The info text of a command, or with byPosition of the popup at that
    // position of the menu.
    const char* (*menuInfoText)(UINT id, HMENU menu, bool byPosition) = nullptr;
    void (*freeMenus)() = nullptr;
    // The factory menu: shown or removed; the password dialog (1: right).
    void (*showFactoryMenu)(bool show) = nullptr;
    int (*passwordDialog)(HWND owner) = nullptr;
    // Command dispatch: true when the command was handled.
    bool (*dispatchCommand)(HWND main, WPARAM wParam, LPARAM lParam) = nullptr;
    // The 3D mouse: its link and its message filter (true: consumed).
    void (*openSpaceMouse)(const char* applicationName) = nullptr;
    void (*closeSpaceMouse)() = nullptr;
    bool (*spaceMouseFilter)(MSG& message) = nullptr;
    // Start-up and close of the further windows.
    void (*startupWindows)() = nullptr;  // Extents window, edition panel, marker dialog
    void (*closeWindows)() = nullptr;    // marker dialog, stylus-list callback
    void (*freeBranding)() = nullptr;
};

ShellWin32Hooks& Shell_Win32Hooks();

// Registers the window classes, creates the main window, shows it and sends
// it the start-up message. Null when the window was not made.
HWND App_CreateMainWindow(HINSTANCE instance, int showCommand);

// The message loop until the quit message; returns its code.
int App_RunMessageLoop();
// One message through the loop's filters; false when a filter took it.
bool App_FilterLoopMessage(MSG& message);
// The loop's key filter: true when it turned the message into a command.
bool App_KeyFilter(HWND window, const MSG& message);

// The main window's procedure.
LRESULT CALLBACK MainWnd_Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Message boxes through the shell's sink: owned by the main window, captioned
// with the product name.
void App_InstallMessageBoxes();

// The status bar.
void StatusBar_Update();
void SetStatusText(const char* text);
void App_ShowWaitStatus(const char* text);
void App_RefreshUi();
void App_UpdateTitle();
void App_PostRepaint(int level);
void App_SendRepaint(int level);

// The hardware event callback (acquisition thread): posts the event.
void OnHardwareEvent(int32_t code, intptr_t parameter);

// The outbound pipe "\\.\Pipe\TolvaranPipe": created at window creation,
// closed at exit. INVALID_HANDLE_VALUE when closed.
// A writer thread delivers the records in order; a listener that stops
// reading gets records up to a bound and the rest are dropped and counted;
// with no listener a record is lost. After a listener leaves, the pipe waits
// for the next one.
void Pipe_Create();
void Pipe_Close();
// Queues one record; never waits for the listener.
void Pipe_Write(const unsigned char* record, size_t size);
HANDLE App_GetPipe();
// What became of the records handed over (kept from the last pipe once it is closed).
struct PipeQueueCounts;
PipeQueueCounts Pipe_Counts();

// Ends the modeless tool windows (the tool windows registered here and the
// scanner tool windows) and refreshes the menu states before scan or file
// operations. `which`: -1 all.
void CloseToolWindows(int which);
// Tool windows that CloseToolWindows ends.
void ToolWindows_Register(HWND window);
void ToolWindows_Unregister(HWND window);

// The window text with the brand placeholders expanded (texts up to 1024
// characters); every window of a dialog tree.
void ExpandWindowText(HWND window);
void ExpandDialogTexts(HWND window);

// "KorvDialog" class procedure and the colour swatch control.
LRESULT CALLBACK KorvDialog_WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ColourSample_WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void ColourSample_Set(HWND sample, COLORREF colour);
void ColourSample_SetItem(HWND dialog, int item, COLORREF colour);
constexpr UINT kMsgColourSampleSet = WM_USER + 64;

// The view window: created over the main window's client area.
HWND Graph_CreateWindow(HWND main);

// Applies the cast-inversion consistency rule, sends the panel refresh to the
// Generate Surface dialog and the edition panel, and updates the menu states.
void App_NotifyPanels();

// Opens the manual of that name in the program folder with the shell's
// "open" verb; an error box when there is no such file.
void Help_OpenManual(const char* name);

// Restarts the screen saver's idle time.
void App_ResetScreenSaverTimer();
